#include "ui/biometric/AdminLoginPage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

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
