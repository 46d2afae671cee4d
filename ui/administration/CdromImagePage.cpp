#include "ui/administration/CdromImagePage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

#include <QAction>
#include <QBoxLayout>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

using namespace FormControls;

CdromImagePage::CdromImagePage(PageHost& host, QWidget* parent)
    : Page(host, parent), LAdmin_UPIN(label(this, "LAdmin_UPIN")),
      edtUPINForDownISO(pinEdit(this, "edtUPINForDownISO")), LAdmin_ISOPath(label(this, "LAdmin_ISOPath")),
      edtPath(edit(this, "edtPath")), btnBrowseISO(new QToolButton(this)), PBISO(new QProgressBar(this)),
      btnDownISO(button(this, "btnDownISO")), AcDownISO(makeAction("AcDownISO")) {
    btnBrowseISO->setObjectName(QStringLiteral("btnBrowseISO"));
    btnBrowseISO->setText(QStringLiteral("..."));
    PBISO->setObjectName(QStringLiteral("PBISO"));
    PBISO->setRange(0, 100);
    PBISO->setValue(0);

    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(edtPath, 1);
    pathRow->addWidget(btnBrowseISO);
    QFormLayout* fields = form();
    fields->addRow(LAdmin_UPIN, edtUPINForDownISO);
    fields->addRow(LAdmin_ISOPath, pathRow);
    fields->addRow(QString(), PBISO);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(formPanel(this, fields, {btnDownISO}));
    layout->addStretch(1);
    tabOrder({edtUPINForDownISO, edtPath, btnBrowseISO, btnDownISO});
    bindToAction(btnDownISO, AcDownISO);
}

void CdromImagePage::applyTexts() {
    LAdmin_UPIN->setText(labelText(TextKey::Admin_label_UPIN));
    LAdmin_ISOPath->setText(labelText(TextKey::Admin_label_ISOPath));
    AcDownISO->setText(textOf(TextKey::Admin_btn_DownISO));
}
