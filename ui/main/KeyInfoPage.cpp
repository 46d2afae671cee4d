#include "ui/main/KeyInfoPage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

KeyInfoPage::KeyInfoPage(QWidget* parent)
    : QWidget(parent), lvKeyInfo(new QTreeWidget(this)), btnRefreshKeys(FormControls::button(this, "btnRefreshKeys")) {
    lvKeyInfo->setObjectName(QStringLiteral("lvKeyInfo"));
    lvKeyInfo->setColumnCount(2);
    lvKeyInfo->setRootIsDecorated(false);
    lvKeyInfo->setAllColumnsShowFocus(true);
    lvKeyInfo->setAlternatingRowColors(true);
    lvKeyInfo->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvKeyInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvKeyInfo->header()->setStretchLastSection(true);
    lvKeyInfo->setColumnWidth(0, 200);

    QBoxLayout* layout = FormControls::pageLayout(this);
    layout->addWidget(lvKeyInfo, 1);
    layout->addLayout(FormControls::buttonRow({btnRefreshKeys}));
}

void KeyInfoPage::applyTexts() {
    lvKeyInfo->setHeaderLabels({textOf(TextKey::Main_Form_ListView_Item1), textOf(TextKey::Main_Form_ListView_ITem2)});
}
