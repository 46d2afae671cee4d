#include "ui/biometric/AdminLoginPage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/SkfLibrary.h"
#include "token/TokenLibrary.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace FormControls;

AdminLoginPage::AdminLoginPage(PageHost& host, QWidget* parent)
    : Page(host, parent), Label12(label(this, "Label12")), LFingerKeyName(label(this, "LFingerKeyName")),
      lblSOPIN(label(this, "lblSOPIN")), edtFingerSPIN(pinEdit(this, "edtFingerSPIN")),
      btnSOPINLogin(button(this, "btnSOPINLogin")), btnFingerLoginCancel(button(this, "btnFingerLoginCancel")),
      btnSOPINFingerLogin(button(this, "btnSOPINFingerLogin")),
      AcFinger_SOPIN_Login(makeAction("AcFinger_SOPIN_Login")), AcFingerLoginCancel(makeAction("AcFingerLoginCancel")),
      AcFinger_SOPINFinger_Login(makeAction("AcFinger_SOPINFinger_Login")) {
    setObjectName(QStringLiteral("SOPINLogin"));
    LFingerKeyName->setTextFormat(Qt::PlainText);
    QFormLayout* fields = form();
    fields->addRow(Label12, LFingerKeyName);
    fields->addRow(lblSOPIN, edtFingerSPIN);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {btnSOPINLogin, btnFingerLoginCancel, btnSOPINFingerLogin}));
    layout->addStretch(1);
    tabOrder({edtFingerSPIN, btnSOPINLogin, btnFingerLoginCancel, btnSOPINFingerLogin});
    bindToAction(btnSOPINLogin, AcFinger_SOPIN_Login);
    bindToAction(btnFingerLoginCancel, AcFingerLoginCancel);
    bindToAction(btnSOPINFingerLogin, AcFinger_SOPINFinger_Login);
    connect(AcFinger_SOPIN_Login, &QAction::triggered, this, &AdminLoginPage::AcFinger_SOPIN_LoginExecute);
    connect(AcFinger_SOPINFinger_Login, &QAction::triggered, this, &AdminLoginPage::AcFinger_SOPINFinger_LoginExecute);
    connect(edtFingerSPIN, &QLineEdit::returnPressed, this, &AdminLoginPage::AcFinger_SOPIN_LoginExecute);
    connect(AcFingerLoginCancel, &QAction::triggered, edtFingerSPIN, &QLineEdit::clear);
    connect(edtFingerSPIN, &QLineEdit::textChanged, this, &AdminLoginPage::updateActions);
    updateActions();
    enableFingerLogin(false);
}

void AdminLoginPage::enableFingerLogin(bool enabled) {
    AcFinger_SOPINFinger_Login->setEnabled(enabled);
}

void AdminLoginPage::updateActions() {
    AcFinger_SOPIN_Login->setEnabled(characterCount(edtFingerSPIN->text()) > 3);
}

void AdminLoginPage::administratorLoggedIn() {
    // The selected token's state, not always the first token's.
    if (KeySlot* slot = m_host.state().currentSlot())
        slot->KeyState = KeySlot::Present;
    m_host.state().LoginRole = WindowState::AdministratorRole;
    m_host.MoveSelectionForward();
}

void AdminLoginPage::AcFinger_SOPINFinger_LoginExecute() {
    if (m_verifyFinger && m_verifyFinger() == 0)
        administratorLoggedIn();
}

void AdminLoginPage::AcFinger_SOPIN_LoginExecute() {
    WindowState& state = m_host.state();
    KeySlot* slot = state.currentSlot();
    if (!slot)
        return;
    QWidget* owner = m_host.dialogOwner();
    if (slot->info.initialized == 0) {
        DialogService::information(owner, textOf(TextKey::Init_Info));
        return;
    }
    PinState so;
    m_host.tokenLibrary().token_get_pin_state(state.CurrentKey, SoPinType, so);
    if (so.locked == PinState::Locked) {
        DialogService::information(owner, textOf(TextKey::K_Dead));
        return;
    }
    SkfLibrary& skf = m_host.skfLibrary();
    SKF_ULONG retries = 0;
    if (skf.SKF_VerifyPIN(skf.CurrentApplication(), SKF_PIN_ADMIN, Pin(edtFingerSPIN->text()), retries) == SAR_OK) {
        administratorLoggedIn();
        return;
    }
    DialogService::information(owner, retries != 0 ? textOf(TextKey::K_PIN_Error) + u'\r' +
                                                         Format(textOf(TextKey::K_Try_Time), {qlonglong(retries)})
                                                   : textOf(TextKey::K_Dead));
}

void AdminLoginPage::applyTexts() {
    Label12->setText(labelText(TextKey::Login_Form_label_keyname));
    lblSOPIN->setText(QStringLiteral("SO PIN:"));
    AcFinger_SOPIN_Login->setText(textOf(TextKey::F_Admin_Longin));
    AcFingerLoginCancel->setText(textOf(TextKey::C_Btn_Cancel));
    AcFinger_SOPINFinger_Login->setText(textOf(TextKey::F_Logon));
}

void AdminLoginPage::Prepare(const QString& label) {
    LFingerKeyName->setText(label);
}
