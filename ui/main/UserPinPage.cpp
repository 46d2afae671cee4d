#include "ui/main/UserPinPage.h"

#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace FormControls;

UserPinPage::UserPinPage(QWidget* parent)
    : QWidget(parent), Label2(label(this, "Label2")), edtOldUPin(pinEdit(this, "edtOldUPin")),
      Label3(label(this, "Label3")), edtNewUPin1(pinEdit(this, "edtNewUPin1")), Label4(label(this, "Label4")),
      edtNewUPin2(pinEdit(this, "edtNewUPin2")), btnOK(button(this, "btnOK")) {
    QFormLayout* fields = form();
    fields->addRow(Label2, edtOldUPin);
    fields->addRow(Label3, edtNewUPin1);
    fields->addRow(Label4, edtNewUPin2);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {btnOK}));
    layout->addStretch(1);
    tabOrder({edtOldUPin, edtNewUPin1, edtNewUPin2, btnOK});
}

void UserPinPage::applyTexts() {
    Label2->setText(labelText(TextKey::UPINSet_Form_OldPIN));
    Label3->setText(labelText(TextKey::UPINSet_Form_NewPIN1));
    Label4->setText(labelText(TextKey::UPINSet_Form_NewPIN2));
}
