#include "ui/main/LoginPage.h"

#include "app/LanguageTable.h"
#include "app/MessageFormat.h"
#include "token/SkfLibrary.h"
#include "token/TokenLibrary.h"
#include "ui/main/BusyCursor.h"
#include "ui/main/DialogService.h"
#include "ui/main/FormControls.h"
#include "ui/main/UserPinChecks.h"
#include "ui/main/WindowState.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTimer>

using namespace FormControls;

LoginPage::LoginPage(PageHost& host, QWidget* parent)
    : Page(host, parent), Label14(label(this, "Label14")), Lkeyname(label(this, "Lkeyname")),
      RzLabel1(label(this, "RzLabel1")), edtUPIN(pinEdit(this, "edtUPIN")), Label10(label(this, "Label10")),
      btnlogon(button(this, "btnlogon")), RzButton3(button(this, "RzButton3")), Button20(button(this, "Button20")),
      AcLogin(makeAction("AcLogin")), AcCancel(makeAction("AcCancel")), AcFingerlogon(makeAction("AcFingerlogon")),
      Aclogout(makeAction("Aclogout")), TSetFocusUPIN(timer(this, "TSetFocusUPIN", 100)) {
    Lkeyname->setTextFormat(Qt::PlainText);
    Label10->setMinimumWidth(24);
    auto* pinRow = new QHBoxLayout;
    pinRow->addWidget(edtUPIN, 1);
    pinRow->addWidget(Label10);

    QFormLayout* fields = form();
    fields->addRow(Label14, Lkeyname);
    fields->addRow(RzLabel1, pinRow);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {btnlogon, RzButton3, Button20}));
    layout->addStretch(1);
    tabOrder({edtUPIN, btnlogon, RzButton3, Button20});
    edtUPIN->installEventFilter(this);

    bindToAction(btnlogon, AcLogin);
    bindToAction(RzButton3, AcCancel);
    bindToAction(Button20, AcFingerlogon);
    RzButton3->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(AcLogin, &QAction::triggered, this, &LoginPage::AcLoginExecute);
    // Enter logs in whatever the button's state: the token judges the PIN.
    connect(edtUPIN, &QLineEdit::returnPressed, this, &LoginPage::AcLoginExecute);
    connect(edtUPIN, &QLineEdit::textChanged, this, &LoginPage::showPinLength);
    connect(edtUPIN, &QLineEdit::textChanged, this, &LoginPage::updateActions);
    connect(AcCancel, &QAction::triggered, edtUPIN, &QLineEdit::clear);
    connect(Aclogout, &QAction::triggered, this, &LoginPage::AclogoutExecute);
    connect(AcFingerlogon, &QAction::triggered, this, &LoginPage::AcFingerlogonExecute);

    connect(TSetFocusUPIN, &QTimer::timeout, this, &LoginPage::TSetFocusUPINTimer);
    showPinLength();
    enableFingerLogon(false);
}

bool LoginPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtUPIN && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        QPalette colours = edtUPIN->palette();
        // Outside the focus the box has an edit's own colour, so that it never looks disabled.
        colours.setColor(QPalette::Base, event->type() == QEvent::FocusIn
                                             ? QColor(Qt::yellow)
                                             : QApplication::palette(edtUPIN).color(QPalette::Base));
        edtUPIN->setPalette(colours);
        if (event->type() == QEvent::FocusIn)
            QMetaObject::invokeMethod(edtUPIN, &QLineEdit::deselect, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void LoginPage::applyTexts() {
    Label14->setText(labelText(TextKey::Login_Form_label_keyname));
    RzLabel1->setText(labelText(TextKey::Lonin_Form_lable_Key));
    AcLogin->setText(textOf(TextKey::Login_Form_btn_OK));
    AcCancel->setText(textOf(TextKey::C_Btn_Cancel));
    AcFingerlogon->setText(textOf(TextKey::F_Logon));
    Aclogout->setText(textOf(TextKey::K_Logout));
}

void LoginPage::updateActions() {
    const KeySlot* slot = m_host.state().currentSlot();
    AcLogin->setEnabled(slot && characterCount(edtUPIN->text()) >= slot->info.minPinLength);
}

void LoginPage::Prepare(const QString& label) {
    Lkeyname->setText(label);
    edtUPIN->clear();
    TSetFocusUPIN->start();
}

void LoginPage::cancelPinFocus() {
    TSetFocusUPIN->stop();
}

void LoginPage::offerFingerLogon(bool offered) {
    AcFingerlogon->setVisible(offered);
}

void LoginPage::enableFingerLogon(bool enabled) {
    AcFingerlogon->setEnabled(enabled);
}

void LoginPage::showPinLength() {
    Label10->setText(QString::number(characterCount(edtUPIN->text())));
}

void LoginPage::AcFingerlogonExecute() {
    WindowState& state = m_host.state();
    const int32_t index = state.CurrentKey;
    if (!m_verifyFinger || m_verifyFinger() != 0)
        return;
    // The selected token is the one logged in, not always the first.
    if (KeySlot* slot = state.slot(index))
        slot->KeyState = KeySlot::LoggedIn;
    state.LoginRole = WindowState::UserRole;
    m_host.ShowPage(PageHost::Certificates);
    m_host.tokenLibrary().token_reload_all_objects(index);
    m_host.ShowCertificatesAfterLogin(index);
}

void LoginPage::AcLoginExecute() {
    WindowState& state = m_host.state();
    TokenLibrary& tokens = m_host.tokenLibrary();
    const int32_t index = state.CurrentKey;
    KeySlot* slot = state.slot(index);
    if (!slot || UserPinChecks::refusedUserPin(m_host, index))
        return;
    // A login always starts from nobody logged in, so a failed one leaves the token logged out.
    tokens.token_logout(index);
    slot->KeyState = KeySlot::Present;
    Pin pin(edtUPIN->text());
    int32_t remaining = 0;
    if (const int32_t rv = tokens.token_login(index, pin, remaining); rv != 0) {
        DialogService::information(
            m_host.dialogOwner(), UserPinChecks::refusalText(rv, remaining, TextKey::Change_No, [](int32_t count) {
                return textOf(TextKey::K_PIN_Error) + u'\r' + Format(textOf(TextKey::K_Try_Time), {count});
            }));
        return;
    }
    state.LastUserPin = std::move(pin);
    // Nobody at the desk may log back in with Enter once the user has logged out.
    edtUPIN->clear();

    const BusyCursor busy;
    tokens.token_reload_all_objects(index);
    slot->KeyState = KeySlot::LoggedIn;
    state.LoginRole = WindowState::UserRole;
    m_host.ShowCertificatesAfterLogin(index);
    if (state.FingerKey) {
        // The SKF side of a biometric token wants the same PIN before fingers can be enrolled; its answer is not
        // looked at, as the enrolment reports a missing login itself.
        SkfLibrary& skf = m_host.skfLibrary();
        SKF_ULONG retries = 0;
        skf.SKF_VerifyPIN(skf.CurrentApplication(), skf.FingerPinType(), state.LastUserPin, retries);
    }
}

void LoginPage::AclogoutExecute() {
    WindowState& state = m_host.state();
    KeySlot* slot = state.currentSlot();
    if (!slot)
        return;
    m_host.tokenLibrary().token_logout(state.CurrentKey);
    if (state.FingerKey)
        m_host.skfLibrary().SKF_ClearSecureState(m_host.skfLibrary().CurrentApplication());
    state.LastUserPin.clear();
    slot->KeyState = KeySlot::Present;
    m_host.ShowPage(PageHost::Login);
}

void LoginPage::TSetFocusUPINTimer() {
    TSetFocusUPIN->stop();
    if (isVisible())
        edtUPIN->setFocus();
}
