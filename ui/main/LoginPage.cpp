#include "ui/main/LoginPage.h"

#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

using namespace FormControls;

LoginPage::LoginPage(QWidget* parent)
    : QWidget(parent), Label14(label(this, "Label14")), Lkeyname(label(this, "Lkeyname")),
      RzLabel1(label(this, "RzLabel1")), edtUPIN(pinEdit(this, "edtUPIN")), Label10(label(this, "Label10")),
      btnlogon(button(this, "btnlogon")), RzButton3(button(this, "RzButton3")), Button20(button(this, "Button20")) {
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
}

bool LoginPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtUPIN && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        QPalette colours = edtUPIN->palette();
        colours.setColor(QPalette::Base, event->type() == QEvent::FocusIn ? QColor(Qt::yellow)
                                                                          : palette().color(QPalette::Window));
        edtUPIN->setPalette(colours);
        if (event->type() == QEvent::FocusIn)
            QMetaObject::invokeMethod(edtUPIN, &QLineEdit::deselect, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void LoginPage::applyTexts() {
    Label14->setText(labelText(TextKey::Login_Form_label_keyname));
    RzLabel1->setText(labelText(TextKey::Lonin_Form_lable_Key));
}

void LoginPage::showPinLength() {
    Label10->setText(QString::number(edtUPIN->text().size()));
}
