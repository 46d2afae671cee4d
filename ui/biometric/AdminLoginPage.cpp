#include "ui/biometric/AdminLoginPage.h"

#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace FormControls;

AdminLoginPage::AdminLoginPage(QWidget* parent)
    : QWidget(parent), Label12(label(this, "Label12")), LFingerKeyName(label(this, "LFingerKeyName")),
      lblSOPIN(label(this, "lblSOPIN")), edtFingerSPIN(pinEdit(this, "edtFingerSPIN")),
      btnSOPINLogin(button(this, "btnSOPINLogin")), btnFingerLoginCancel(button(this, "btnFingerLoginCancel")),
      btnSOPINFingerLogin(button(this, "btnSOPINFingerLogin")) {
    setObjectName(QStringLiteral("SOPINLogin"));
    LFingerKeyName->setTextFormat(Qt::PlainText);
    QFormLayout* fields = form();
    fields->addRow(Label12, LFingerKeyName);
    fields->addRow(lblSOPIN, edtFingerSPIN);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {btnSOPINLogin, btnFingerLoginCancel, btnSOPINFingerLogin}));
    layout->addStretch(1);
    tabOrder({edtFingerSPIN, btnSOPINLogin, btnFingerLoginCancel, btnSOPINFingerLogin});
}

void AdminLoginPage::applyTexts() {
    Label12->setText(labelText(TextKey::Login_Form_label_keyname));
    lblSOPIN->setText(QStringLiteral("SO PIN:"));
}
