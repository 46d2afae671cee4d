#include "ui/main/KeyLabelPage.h"

#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace FormControls;

KeyLabelPage::KeyLabelPage(QWidget* parent)
    : QWidget(parent), Label8(label(this, "Label8")), edtKeyName(edit(this, "edtKeyName", LabelMaxLength)),
      RzButton1(button(this, "RzButton1")) {
    QFormLayout* fields = form();
    fields->addRow(Label8, edtKeyName);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {RzButton1}));
    layout->addStretch(1);
}

void KeyLabelPage::applyTexts() {
    Label8->setText(labelText(TextKey::KeyName_Form_Lable));
}
