#include "ui/administration/UnlockPage.h"

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
}

void UnlockPage::applyTexts() {
    LAdmin_SOPIN->setText(labelText(TextKey::Admin_label_SOPIN));
    LAdmin_New_UPIN1->setText(labelText(TextKey::Admin_label_NewUPIN1));
    LAdmin_New_UPIN2->setText(labelText(TextKey::Admin_label_NewUPIN2));
    AcUnlock->setText(textOf(TextKey::Admin_btn_Unlock));
}
