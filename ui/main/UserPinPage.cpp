#include "ui/main/UserPinPage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/UserPinChecks.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

using namespace FormControls;

UserPinPage::UserPinPage(PageHost& host, QWidget* parent)
    : Page(host, parent), Label2(label(this, "Label2")), edtOldUPin(pinEdit(this, "edtOldUPin")),
      Label3(label(this, "Label3")), edtNewUPin1(pinEdit(this, "edtNewUPin1")), Label4(label(this, "Label4")),
      edtNewUPin2(pinEdit(this, "edtNewUPin2")), btnOK(button(this, "btnOK")),
      AcSetUserPIN(makeAction("AcSetUserPIN")) {
    QFormLayout* fields = form();
    fields->addRow(Label2, edtOldUPin);
    fields->addRow(Label3, edtNewUPin1);
    fields->addRow(Label4, edtNewUPin2);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {btnOK}));
    layout->addStretch(1);
    tabOrder({edtOldUPin, edtNewUPin1, edtNewUPin2, btnOK});

    bindToAction(btnOK, AcSetUserPIN);
    connect(AcSetUserPIN, &QAction::triggered, this, &UserPinPage::AcSetUserPINExecute);
    connect(edtNewUPin2, &QLineEdit::returnPressed, this, &UserPinPage::AcSetUserPINExecute);
    for (QLineEdit* edit : edits())
        connect(edit, &QLineEdit::textChanged, this, &UserPinPage::updateActions);
}

void UserPinPage::applyTexts() {
    Label2->setText(labelText(TextKey::UPINSet_Form_OldPIN));
    Label3->setText(labelText(TextKey::UPINSet_Form_NewPIN1));
    Label4->setText(labelText(TextKey::UPINSet_Form_NewPIN2));
    AcSetUserPIN->setText(textOf(TextKey::C_btn_Set));
}

void UserPinPage::updateActions() {
    const KeySlot* slot = m_host.state().currentSlot();
    const QList<QLineEdit*> all = edits();
    AcSetUserPIN->setEnabled(slot && std::all_of(all.begin(), all.end(), [slot](const QLineEdit* edit) {
                                 return characterCount(edit->text()) >= slot->info.minPinLength;
                             }));
}

void UserPinPage::Prepare() {
    for (QLineEdit* edit : edits())
        edit->clear();
}

void UserPinPage::AcSetUserPINExecute() {
    TokenLibrary& tokens = m_host.tokenLibrary();
    const int32_t index = m_host.state().CurrentKey;
    KeySlot* slot = m_host.state().slot(index);
    if (!slot || UserPinChecks::refusedUserPin(m_host, index))
        return;
    QWidget* owner = m_host.dialogOwner();
    if (edtNewUPin1->text() != edtNewUPin2->text()) {
        DialogService::information(owner, textOf(TextKey::S_PIN_equal));
        return;
    }
    const Pin current(edtOldUPin->text());
    const Pin newPin(edtNewUPin1->text());
    // The token counts the PIN's bytes, as the library sends them.
    const auto bytes = qsizetype(newPin.size());
    if (bytes < slot->info.minPinLength || bytes > slot->info.maxPinLength) {
        DialogService::information(
            owner, Format(QStringLiteral("%s(%d--%d)"),
                          {textOf(TextKey::UPIN_E2), slot->info.minPinLength, slot->info.maxPinLength}));
        return;
    }
    const auto showRefusal = [owner](int32_t rv, int32_t remaining) {
        DialogService::information(owner,
                                   UserPinChecks::refusalText(rv, remaining, TextKey::K_Set_No, [](int32_t count) {
                                       return Format(textOf(TextKey::K_OldCheck), {count});
                                   }));
    };

    tokens.token_logout(index);
    slot->KeyState = KeySlot::Present;
    int32_t remaining = 0;
    if (const int32_t login = tokens.token_login(index, current, remaining); login != 0) {
        showRefusal(login, remaining);
        return;
    }
    tokens.token_logout(index);
    const int32_t rv = tokens.token_change_upin(index, current, newPin);
    if (rv == 0) {
        DialogService::information(owner, textOf(TextKey::K_Set_Yes));
        Prepare();
        return;
    }
    // Whether the current PIN still opens the token tells a refused change from a PIN gone wrong meanwhile.
    const int32_t check = tokens.token_login(index, current, remaining);
    if (check == 0 || !TokenLibrary::isPinRefusal(check))
        DialogService::information(owner, UserPinChecks::failureWithCode(TextKey::K_Set_No, rv));
    else
        showRefusal(check, remaining);
}
