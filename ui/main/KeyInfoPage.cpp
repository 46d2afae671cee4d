#include "ui/main/KeyInfoPage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "platform/TextEncoding.h"
#include "token/SkfLibrary.h"
#include "token/TokenLibrary.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include <cmath>

KeyInfoPage::KeyInfoPage(PageHost& host, QWidget* parent)
    : Page(host, parent), lvKeyInfo(new QTreeWidget(this)),
      btnRefreshKeys(FormControls::button(this, "btnRefreshKeys")), AcKeyRefresh(makeAction("AcKeyRefresh")) {
    lvKeyInfo->setObjectName(QStringLiteral("lvKeyInfo"));
    lvKeyInfo->setColumnCount(2);
    lvKeyInfo->setRootIsDecorated(false);
    lvKeyInfo->setAllColumnsShowFocus(true);
    lvKeyInfo->setAlternatingRowColors(true);
    lvKeyInfo->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvKeyInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvKeyInfo->header()->setStretchLastSection(true);
    lvKeyInfo->setColumnWidth(0, 200);

    QBoxLayout* layout = FormControls::pageLayout(this);
    layout->addWidget(lvKeyInfo, 1);
    layout->addLayout(FormControls::buttonRow({btnRefreshKeys}));
    FormControls::bindToAction(btnRefreshKeys, AcKeyRefresh);
    connect(AcKeyRefresh, &QAction::triggered, this, &KeyInfoPage::AcKeyRefreshExecute);
}

void KeyInfoPage::applyTexts() {
    lvKeyInfo->setHeaderLabels({textOf(TextKey::Main_Form_ListView_Item1), textOf(TextKey::Main_Form_ListView_ITem2)});
    AcKeyRefresh->setText(textOf(TextKey::Main_Form_btn_Refresh));
}

// A refresh that finds every token warns again about those that were never initialized.
void KeyInfoPage::AcKeyRefreshExecute() {
    if (m_host.DiscoverKeys() == 0)
        m_host.CheckInitSoon();
}

void KeyInfoPage::clear() {
    lvKeyInfo->clear();
}

void KeyInfoPage::AddInfoRow(QTreeWidget* list, const QString& caption, const QString& value) {
    new QTreeWidgetItem(list, {caption, value});
}

QString KeyInfoPage::FormatSize(int32_t bytes) {
    // nearbyint rounds in the default mode: to the nearest, ties to even.
    const auto kilobytes = qint64(std::nearbyint(double(bytes) / 1024));
    if (kilobytes <= 1000)
        return Format(QStringLiteral("%d KB"), {kilobytes});
    return Format(QStringLiteral("%.2f MB"), {double(kilobytes) / 1024});
}

QString KeyInfoPage::VersionText(int32_t version) {
    return Format(QStringLiteral("%d.%.2d"), {version / 256, version % 256});
}

void KeyInfoPage::ShowKeyInfo(int32_t index) {
    KeySlot* slot = m_host.state().slot(index);
    TokenLibrary& tokens = m_host.tokenLibrary();
    if (!slot || tokens.token_get_info_ex(index, slot->info) != 0)
        return;
    const TTokenInfo& info = slot->info;
    // Unread values stay 0: a failed read shows "0", "0" and "not locked".
    PinState pin;
    tokens.token_get_pin_state(index, UserPinType, pin);

    lvKeyInfo->clear();
    const auto row = [this](TextKey caption, const QString& value) { AddInfoRow(lvKeyInfo, textOf(caption), value); };
    const auto number = [](int32_t value) { return QString::number(value); };
    row(TextKey::K_Info_labelName, info.labelText());
    row(TextKey::K_Info_manufacture, TextEncoding::fromLocal8(fieldBytes(info.manufacturer)));
    row(TextKey::K_Info_Sn, TextEncoding::fromLocal8(info.serialBytes()));
    row(TextKey::K_Info_maxPinLen, number(info.maxPinLength));
    row(TextKey::K_Info_minPinLen, number(info.minPinLength));
    row(TextKey::Admin_label_TryCount, number(pin.maximum));
    row(TextKey::S_KeyTryTime, number(pin.remaining));
    row(TextKey::S_Key_Dead_State, textOf(pin.locked != 0 ? TextKey::S_Key_Dead_Yes : TextKey::S_Key_Dead_No));
    // A module that cannot tell its memory says so, rather than showing an empty token as full.
    const auto size = [](int32_t bytes) { return bytes < 0 ? textOf(TextKey::K_Info_Unknown) : FormatSize(bytes); };
    row(TextKey::K_Info_totalMemory, size(info.totalMemory));
    row(TextKey::K_Info_freeMemory, size(info.freeMemory));
    row(TextKey::K_Info_hardwareVer, VersionText(info.hardwareVersion));
    row(TextKey::K_Info_firmVer, VersionText(info.firmwareVersion));

    if (!m_host.state().FingerKey)
        return;
    SkfLibrary& skf = m_host.skfLibrary();
    TSkfFingerInfo& fingers = skf.FingerInfo();
    if (skf.GetSkfFingerInfo(skf.CurrentApplication(), SKF_PIN_USER, fingers) == 0) {
        row(TextKey::F_User_Try, number(int32_t(fingers.outputs[3])));
        row(TextKey::F_User_Count, number(int32_t(fingers.enrolledCount)));
    } else {
        row(TextKey::F_Finger_State, textOf(TextKey::P_SAR_APPLICATION_NOT_EXISTS));
    }
}
