#include "ui/administration/UnlockPage.h"

#include "app/LanguageTable.h"
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

UnlockPage::UnlockPage(PageHost& host, QWidget* parent)
    : Page(host, parent), gbUnlock(new QGroupBox(this)), LAdmin_SOPIN(label(this, "LAdmin_SOPIN")),
      edtSPINForUnLock(pinEdit(this, "edtSPINForUnLock")), LAdmin_New_UPIN1(label(this, "LAdmin_New_UPIN1")),
      edtUPINForUnlock1(pinEdit(this, "edtUPINForUnlock1")), LAdmin_New_UPIN2(label(this, "LAdmin_New_UPIN2")),
      edtUPINForUnlock2(pinEdit(this, "edtUPINForUnlock2")), btnUnlock(button(this, "btnUnlock")),
      AcUnlock(makeAction("AcUnlock")) {
    setObjectName(QStringLiteral("Unlock"));
    gbUnlock->setObjectName(QStringLiteral("gbUnlock"));
    QFormLayout* fields = form();
    fields->addRow(LAdmin_SOPIN, edtSPINForUnLock);
    fields->addRow(LAdmin_New_UPIN1, edtUPINForUnlock1);
    fields->addRow(LAdmin_New_UPIN2, edtUPINForUnlock2);
    auto* groupLayout = new QVBoxLayout(gbUnlock);
    groupLayout->addWidget(formPanel(gbUnlock, fields, {btnUnlock}));
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(gbUnlock);
    layout->addStretch(1);
    tabOrder({edtSPINForUnLock, edtUPINForUnlock1, edtUPINForUnlock2, btnUnlock});
    bindToAction(btnUnlock, AcUnlock);
    connect(AcUnlock, &QAction::triggered, this, &UnlockPage::AcUnlockExecute);
    // Enter in the confirmation runs the unlock, whether the button is enabled or not.
    connect(edtUPINForUnlock2, &QLineEdit::returnPressed, this, &UnlockPage::AcUnlockExecute);
    for (QLineEdit* field : {edtSPINForUnLock, edtUPINForUnlock1, edtUPINForUnlock2})
        connect(field, &QLineEdit::textChanged, this, &UnlockPage::updateActions);
    updateActions();
}

void UnlockPage::updateActions() {
    const KeySlot* slot = m_host.state().currentSlot();
    const int soMinimum = slot ? slot->info.soMinPinLength : 0;
    const int userMinimum = slot ? slot->info.minPinLength : 0;
    AcUnlock->setEnabled(characterCount(edtSPINForUnLock->text()) >= soMinimum &&
                         characterCount(edtUPINForUnlock1->text()) >= userMinimum &&
                         characterCount(edtUPINForUnlock2->text()) >= userMinimum);
}

void UnlockPage::AcUnlockExecute() {
    QWidget* owner = m_host.dialogOwner();
    const int32_t index = m_host.state().CurrentKey;
    KeySlot* slot = m_host.state().slot(index);
    if (!slot)
        return;
    if (edtUPINForUnlock1->text() != edtUPINForUnlock2->text()) {
        DialogService::information(owner, textOf(TextKey::S_PIN_equal));
        return;
    }
    if (AdministratorChecks::refusedSoPin(m_host, index))
        return;
    TokenLibrary& tokens = m_host.tokenLibrary();
    tokens.token_logout(index);
    slot->KeyState = KeySlot::Present;
    const Pin soPin(edtSPINForUnLock->text());
    if (tokens.token_set_upin(index, soPin, Pin(edtUPINForUnlock1->text())) == 0) {
        tokens.token_logout(index);
        slot->KeyState = KeySlot::Present;
        DialogService::information(owner, textOf(TextKey::Change_Yes));
        return;
    }
    // Whether the SO PIN was the cause, a login with it tells.
    int32_t remaining = 0;
    DialogService::information(
        owner, textOf(tokens.token_login_so(index, soPin, remaining) != 0 ? TextKey::SOPIN_Error : TextKey::Change_No));
}

void UnlockPage::applyTexts() {
    LAdmin_SOPIN->setText(labelText(TextKey::Admin_label_SOPIN));
    LAdmin_New_UPIN1->setText(labelText(TextKey::Admin_label_NewUPIN1));
    LAdmin_New_UPIN2->setText(labelText(TextKey::Admin_label_NewUPIN2));
    AcUnlock->setText(textOf(TextKey::Admin_btn_Unlock));
}
