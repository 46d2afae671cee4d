#include "ui/system/SystemCheckPage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

using namespace FormControls;

SystemCheckPage::SystemCheckPage(QWidget* parent)
    : QWidget(parent), LVSystemInfo(new QTreeWidget(this)), btnMore(button(this, "btnMore")),
      btnSave(button(this, "btnSave")), btnUpdate(button(this, "btnUpdate")), pbURLDownFile(new QProgressBar(this)) {
    LVSystemInfo->setObjectName(QStringLiteral("LVSystemInfo"));
    LVSystemInfo->setColumnCount(2);
    LVSystemInfo->setRootIsDecorated(false);
    LVSystemInfo->setAllColumnsShowFocus(true);
    LVSystemInfo->setAlternatingRowColors(true);
    LVSystemInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LVSystemInfo->setColumnWidth(0, 150);
    LVSystemInfo->setColumnWidth(1, 240);
    pbURLDownFile->setObjectName(QStringLiteral("pbURLDownFile"));

    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(LVSystemInfo, 1);
    layout->addWidget(pbURLDownFile);
    layout->addLayout(buttonRow({btnMore, btnSave, btnUpdate}));
}

void SystemCheckPage::applyTexts() {
    LVSystemInfo->setHeaderLabels({textOf(TextKey::CheckSys_Form_lv_Item1), textOf(TextKey::CheckSys_Form_lv_Item2)});
}
