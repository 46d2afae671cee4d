#include "ui/administration/InitializationPage.h"

#include "app/AppInfo.h"
#include "app/LanguageTable.h"
#include "app/UserConfig.h"
#include "platform/TextEncoding.h"
#include "ui/main/FormControls.h"

#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

using namespace FormControls;

namespace {

constexpr int TemplateTextMaxLength = 32;

// A spin field with its fixed range hint, e.g. "(4--16)", beside it.
QLayout* withRangeHint(QSpinBox* spin) {
    auto* row = new QHBoxLayout;
    row->addWidget(spin);
    row->addWidget(new QLabel(QStringLiteral("(%1--%2)").arg(spin->minimum()).arg(spin->maximum())));
    row->addStretch(1);
    return row;
}

QWidget* tabSheet(QTabWidget* tabs, const char* name, std::initializer_list<std::pair<QLabel*, QObject*>> rows) {
    auto* sheet = new QWidget(tabs);
    sheet->setObjectName(QLatin1String(name));
    QFormLayout* fields = form();
    for (const auto& [caption, field] : rows) {
        if (auto* spin = qobject_cast<QSpinBox*>(field))
            fields->addRow(caption, withRangeHint(spin));
        else
            fields->addRow(caption, qobject_cast<QWidget*>(field));
    }
    auto* layout = new QVBoxLayout(sheet);
    layout->addLayout(fields);
    layout->addStretch(1);
    tabs->addTab(sheet, QString());
    return sheet;
}

} // namespace

InitializationPage::InitializationPage(PageHost& host, QWidget* parent)
    : Page(host, parent), tcInit(new QTabWidget(this)), lblInit_KeyName(label(this, "lblInit_KeyName")),
      edtInit_KeyName(edit(this, "edtInit_KeyName", 31)), lblInit_GS(label(this, "lblInit_GS")),
      edtInit_GS(edit(this, "edtInit_GS", TemplateTextMaxLength)), lblInit_UnLockPIN(label(this, "lblInit_UnLockPIN")),
      edtInit_UnLockPIN(edit(this, "edtInit_UnLockPIN", TemplateTextMaxLength)),
      lblInit_SPIN(label(this, "lblInit_SPIN")), edtInit_SPIN(edit(this, "edtInit_SPIN", PinMaxLength)),
      lblInit_SOPINlenMin(label(this, "lblInit_SOPINlenMin")),
      edtInit_SOPINlenMin(spinEdit(this, "edtInit_SOPINlenMin", 4, 16, 4)),
      lblInit_SOPINlenMax(label(this, "lblInit_SOPINlenMax")),
      edtInit_SOPINlenMax(spinEdit(this, "edtInit_SOPINlenMax", 4, 16, 16)),
      lblInit_MaxCount_SOPIN(label(this, "lblInit_MaxCount_SOPIN")),
      edtInit_MaxCount_SOPIN(spinEdit(this, "edtInit_MaxCount_SOPIN", 1, 15, 10)),
      lblInit_UPIN(label(this, "lblInit_UPIN")), edtInit_UPIN(edit(this, "edtInit_UPIN", PinMaxLength)),
      lblInit_PINlenMin(label(this, "lblInit_PINlenMin")),
      edtInit_PINlenMin(spinEdit(this, "edtInit_PINlenMin", 4, 16, 4)),
      lblInit_PINLenMax(label(this, "lblInit_PINLenMax")),
      edtInit_PINLenMax(spinEdit(this, "edtInit_PINLenMax", 4, 16, 16)),
      lblInit_MaxCount(label(this, "lblInit_MaxCount")),
      edtInit_MaxCount(spinEdit(this, "edtInit_MaxCount", 1, 15, 10)),
      lblInit_SOPINTry(label(this, "lblInit_SOPINTry")),
      edtInit_SOPINTry(spinEdit(this, "edtInit_SOPINTry", 1, 15, 10)),
      lblInit_SOPINLeve(label(this, "lblInit_SOPINLeve")),
      edtInit_SOPINLeve(spinEdit(this, "edtInit_SOPINLeve", 1, 3, 1)), lblInit_UPINTry(label(this, "lblInit_UPINTry")),
      edtInit_UPINTry(spinEdit(this, "edtInit_UPINTry", 1, 15, 10)), lblInit_UPINLeve(label(this, "lblInit_UPINLeve")),
      edtInit_UPINLeve(spinEdit(this, "edtInit_UPINLeve", 1, 3, 1)), btnInit(button(this, "btnInit")),
      AcInit(makeAction("AcInit")) {
    setObjectName(QStringLiteral("init"));
    tcInit->setObjectName(QStringLiteral("tcInit"));
    edtInit_GS->setText(QStringLiteral("Quorvex"));
    edtInit_UnLockPIN->setText(QStringLiteral("Ravuvor"));
    edtInit_SPIN->setText(QStringLiteral("tavok"));
    edtInit_UPIN->setText(QStringLiteral("58203716"));

    tabSheet(tcInit, "tsInitBase",
             {{lblInit_KeyName, edtInit_KeyName}, {lblInit_GS, edtInit_GS}, {lblInit_UnLockPIN, edtInit_UnLockPIN}});
    tabSheet(tcInit, "tsInitSOPIN",
             {{lblInit_SPIN, edtInit_SPIN},
              {lblInit_SOPINlenMin, edtInit_SOPINlenMin},
              {lblInit_SOPINlenMax, edtInit_SOPINlenMax},
              {lblInit_MaxCount_SOPIN, edtInit_MaxCount_SOPIN}});
    tabSheet(tcInit, "tsInitUPIN",
             {{lblInit_UPIN, edtInit_UPIN},
              {lblInit_PINlenMin, edtInit_PINlenMin},
              {lblInit_PINLenMax, edtInit_PINLenMax},
              {lblInit_MaxCount, edtInit_MaxCount}});
    tabSheet(tcInit, "tsInitFinger",
             {{lblInit_SOPINTry, edtInit_SOPINTry},
              {lblInit_SOPINLeve, edtInit_SOPINLeve},
              {lblInit_UPINTry, edtInit_UPINTry},
              {lblInit_UPINLeve, edtInit_UPINLeve}});

    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(tcInit, 1);
    layout->addLayout(buttonRow({btnInit}));
    bindToAction(btnInit, AcInit);
    edtInit_KeyName->setText(QStringLiteral("VX7100"));
    tcInit->setCurrentIndex(BaseTab);
    hideBiometricTab();

    connect(AcInit, &QAction::triggered, this, &InitializationPage::AcInitExecute);
    // A token needs a label and a manufacturer.
    const auto updateInit = [this] {
        AcInit->setEnabled(!edtInit_KeyName->text().isEmpty() && !edtInit_GS->text().isEmpty());
    };
    connect(edtInit_KeyName, &QLineEdit::textChanged, this, updateInit);
    connect(edtInit_GS, &QLineEdit::textChanged, this, updateInit);
    updateInit();
}

QString InitializationPage::templatePath(ProgramFileUse use) const {
    return ProgramFilePath(m_host.programDirectory(), m_host.appInfo().CfgPath, QLatin1String(InitTemplateFileName),
                           use);
}

void InitializationPage::ShowInitTemplate() {
    TTokenBaseInfo info;
    if (LoadInitTemplate(templatePath(ProgramFileUse::Read), info) != 0)
        return;
    edtInit_KeyName->setText(info.LabelName);
    edtInit_GS->setText(TextEncoding::fromLocal8(info.manufacture));
    edtInit_UnLockPIN->setText(TextEncoding::fromLocal8(info.Issuer));
    edtInit_SPIN->setText(TextEncoding::fromLocal8(info.default_sopin));
    edtInit_UPIN->setText(TextEncoding::fromLocal8(info.default_upin));
    // A value outside a field's range is brought into it by the field (a maximum length of 32 shows as 16).
    edtInit_PINLenMax->setValue(info.maxUPINLen);
    edtInit_PINlenMin->setValue(info.minUPINLen);
    edtInit_MaxCount->setValue(info.uPinRetryTimes);
    edtInit_SOPINlenMax->setValue(info.maxSOPINLen);
    edtInit_SOPINlenMin->setValue(info.minSOPINLen);
    edtInit_MaxCount_SOPIN->setValue(info.soPinRetryTimes);
    edtInit_SOPINTry->setValue(info.F_AdminRetryTimes);
    edtInit_SOPINLeve->setValue(info.F_AdminLevel);
    edtInit_UPINTry->setValue(info.F_UserRetryTimes);
    edtInit_UPINLeve->setValue(info.F_UserLevel);
}

void InitializationPage::applyTexts() {
    lblInit_KeyName->setText(labelText(TextKey::K_Info_labelName));
    lblInit_GS->setText(labelText(TextKey::K_Info_manufacture));
    lblInit_SPIN->setText(labelText(TextKey::Admin_label_SOPIN));
    lblInit_UPIN->setText(labelText(TextKey::Admin_label_UPIN));
    lblInit_PINLenMax->setText(labelText(TextKey::K_Info_maxPinLen));
    lblInit_PINlenMin->setText(labelText(TextKey::K_Info_minPinLen));
    lblInit_MaxCount->setText(labelText(TextKey::Admin_label_TryCount));
    lblInit_UnLockPIN->setText(labelText(TextKey::K_Info_Issuer));
    lblInit_SOPINlenMax->setText(labelText(TextKey::K_Info_SOPIN_maxPinLen));
    lblInit_SOPINlenMin->setText(labelText(TextKey::K_Info_SOPIN_minPinLen));
    lblInit_MaxCount_SOPIN->setText(labelText(TextKey::K_Info_SOPIN_TryCount));
    tcInit->setTabText(BaseTab, textOf(TextKey::K_Info_Base));
    tcInit->setTabText(SoPinTab, textOf(TextKey::Admin_label_SOPIN));
    tcInit->setTabText(UserPinTab, textOf(TextKey::Admin_label_UPIN));
    tcInit->setTabText(BiometricTab, textOf(TextKey::F_Finger_Set));
    // The biometric settings carry no colon.
    lblInit_SOPINTry->setText(textOf(TextKey::F_Admin_MAXTry));
    lblInit_SOPINLeve->setText(textOf(TextKey::F_Admin_Level));
    lblInit_UPINTry->setText(textOf(TextKey::F_User_MAXTry));
    lblInit_UPINLeve->setText(textOf(TextKey::F_User_Level));
    AcInit->setText(textOf(TextKey::Admin_btn_Init));
}

void InitializationPage::hideBiometricTab() {
    tcInit->setTabVisible(BiometricTab, false);
}
