#include "ui/administration/SoPinPage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/TokenLibrary.h"
#include "ui/administration/AdministratorChecks.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace FormControls;

SoPinPage::SoPinPage(PageHost& host, QWidget* parent)
    : Page(host, parent), gbSOPIN(new QGroupBox(this)), LAdmin_Old_SOPIN(label(this, "LAdmin_Old_SOPIN")),
      edtSPIN(pinEdit(this, "edtSPIN")), LAdmin_New_SOPIN1(label(this, "LAdmin_New_SOPIN1")),
      edtNewSPIN1(pinEdit(this, "edtNewSPIN1")), LAdmin_new_SOPIN2(label(this, "LAdmin_new_SOPIN2")),
      edtNewSPIN2(pinEdit(this, "edtNewSPIN2")), btnSetSOPIN(button(this, "btnSetSOPIN")),
      AcSetSOPIN(makeAction("AcSetSOPIN")) {
    setObjectName(QStringLiteral("setsopin"));
    gbSOPIN->setObjectName(QStringLiteral("gbSOPIN"));
    QFormLayout* fields = form();
    fields->addRow(LAdmin_Old_SOPIN, edtSPIN);
    fields->addRow(LAdmin_New_SOPIN1, edtNewSPIN1);
    fields->addRow(LAdmin_new_SOPIN2, edtNewSPIN2);
    auto* groupLayout = new QVBoxLayout(gbSOPIN);
    groupLayout->addWidget(formPanel(gbSOPIN, fields, {btnSetSOPIN}));
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(gbSOPIN);
    layout->addStretch(1);
    tabOrder({edtSPIN, edtNewSPIN1, edtNewSPIN2, btnSetSOPIN});
    bindToAction(btnSetSOPIN, AcSetSOPIN);
    connect(AcSetSOPIN, &QAction::triggered, this, &SoPinPage::AcSetSOPINExecute);
    // Enter in the confirmation runs the change, whether the button is enabled or not.
    connect(edtNewSPIN2, &QLineEdit::returnPressed, this, &SoPinPage::AcSetSOPINExecute);
    for (QLineEdit* field : {edtSPIN, edtNewSPIN2})
        connect(field, &QLineEdit::textChanged, this, &SoPinPage::updateActions);
    updateActions();
}

// Only the current SO PIN and the confirmation are measured, against the token's shortest SO PIN.
void SoPinPage::updateActions() {
    const KeySlot* slot = m_host.state().currentSlot();
    const int minimum = slot ? slot->info.soMinPinLength : 0;
    AcSetSOPIN->setEnabled(characterCount(edtSPIN->text()) >= minimum &&
                           characterCount(edtNewSPIN2->text()) >= minimum);
}

void SoPinPage::AcSetSOPINExecute() {
    QWidget* owner = m_host.dialogOwner();
    const int32_t index = m_host.state().CurrentKey;
    KeySlot* slot = m_host.state().slot(index);
    if (!slot)
        return;
    if (edtNewSPIN1->text() != edtNewSPIN2->text()) {
        DialogService::information(owner, textOf(TextKey::S_PIN_equal));
        return;
    }
    if (AdministratorChecks::refusedSoPin(m_host, index))
        return;
    TokenLibrary& tokens = m_host.tokenLibrary();
    const Pin current(edtSPIN->text());
    if (!AdministratorChecks::loggedInSo(m_host, index, current))
        return;
    if (const int32_t rv = tokens.token_change_sopin(index, current, Pin(edtNewSPIN1->text())); rv != 0) {
        DialogService::information(owner, textOf(TextKey::K_Set_No) + textOf(TextKey::K_ErrorCODE_Str) +
                                              QStringLiteral(" 0x") + Format(QStringLiteral("%.8x"), {rv}));
        return;
    }
    tokens.token_logout(index);
    slot->KeyState = KeySlot::Present;
    DialogService::information(owner, textOf(TextKey::Change_Yes));
}

void SoPinPage::applyTexts() {
    LAdmin_Old_SOPIN->setText(labelText(TextKey::Admin_label_OldSOPIN));
    LAdmin_New_SOPIN1->setText(labelText(TextKey::Admin_label_NewSOPIN1));
    LAdmin_new_SOPIN2->setText(labelText(TextKey::Admin_label_NewSOPIN2));
    AcSetSOPIN->setText(textOf(TextKey::Admin_btn_SOPIN));
}
