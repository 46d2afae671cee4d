#include "ui/administration/SoPinPage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace FormControls;

SoPinPage::SoPinPage(PageHost& host, QWidget* parent)
    : Page(host, parent), gbSOPIN(new QGroupBox(this)), LAdmin_Old_SOPIN(label(this, "LAdmin_Old_SOPIN")),
      edtSPIN(pinEdit(this, "edtSPIN")), LAdmin_New_SOPIN1(label(this, "LAdmin_New_SOPIN1")),
      edtNewSPIN1(pinEdit(this, "edtNewSPIN1")), LAdmin_new_SOPIN2(label(this, "LAdmin_new_SOPIN2")),
      edtNewSPIN2(pinEdit(this, "edtNewSPIN2")), btnSetSOPIN(button(this, "btnSetSOPIN")),
      AcSetSOPIN(makeAction("AcSetSOPIN")) {
    setObjectName(QStringLiteral("setsopin"));
    gbSOPIN->setObjectName(QStringLiteral("gbSOPIN"));
    QFormLayout* fields = form();
    fields->addRow(LAdmin_Old_SOPIN, edtSPIN);
    fields->addRow(LAdmin_New_SOPIN1, edtNewSPIN1);
    fields->addRow(LAdmin_new_SOPIN2, edtNewSPIN2);
    auto* groupLayout = new QVBoxLayout(gbSOPIN);
    groupLayout->addWidget(formPanel(gbSOPIN, fields, {btnSetSOPIN}));
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(gbSOPIN);
    layout->addStretch(1);
    tabOrder({edtSPIN, edtNewSPIN1, edtNewSPIN2, btnSetSOPIN});
    bindToAction(btnSetSOPIN, AcSetSOPIN);
}

void SoPinPage::applyTexts() {
    LAdmin_Old_SOPIN->setText(labelText(TextKey::Admin_label_OldSOPIN));
    LAdmin_New_SOPIN1->setText(labelText(TextKey::Admin_label_NewSOPIN1));
    LAdmin_new_SOPIN2->setText(labelText(TextKey::Admin_label_NewSOPIN2));
    AcSetSOPIN->setText(textOf(TextKey::Admin_btn_SOPIN));
}
