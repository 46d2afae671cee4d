#include "ui/administration/RemoteUnlockPage.h"

#include "app/LanguageTable.h"
#include "ui/main/FormControls.h"

#include <QAction>
#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace FormControls;

RemoteUnlockPage::RemoteUnlockPage(PageHost& host, QWidget* parent)
    : Page(host, parent), gbRemoteUnlock(new QGroupBox(this)), Label44(label(this, "Label44")),
      edtRequestStr(edit(this, "edtRequestStr")), btnRequest(button(this, "btnRequest")),
      Label45(label(this, "Label45")), edtUnlockCode(new QPlainTextEdit(this)),
      btnRemoteUnLock(button(this, "btnRemoteUnLock")), AcRequest(makeAction("AcRequest")),
      AcRemoteUnLock(makeAction("AcRemoteUnLock")) {
    setObjectName(QStringLiteral("RemoteUnlock"));
    gbRemoteUnlock->setObjectName(QStringLiteral("gbRemoteUnlock"));
    edtRequestStr->setReadOnly(true);
    edtRequestStr->setBackgroundRole(QPalette::Window);
    edtUnlockCode->setObjectName(QStringLiteral("edtUnlockCode"));
    edtUnlockCode->setTabChangesFocus(true);
    edtUnlockCode->setFixedHeight(edtUnlockCode->fontMetrics().lineSpacing() * 4 + 12);

    auto* grid = new QGridLayout(gbRemoteUnlock);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(10);
    grid->addWidget(Label44, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(edtRequestStr, 0, 1);
    grid->addWidget(btnRequest, 0, 2);
    grid->addWidget(Label45, 1, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(edtUnlockCode, 1, 1);
    grid->addWidget(btnRemoteUnLock, 1, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(gbRemoteUnlock);
    layout->addStretch(1);
    tabOrder({btnRequest, edtUnlockCode, btnRemoteUnLock});
    bindToAction(btnRequest, AcRequest);
    bindToAction(btnRemoteUnLock, AcRemoteUnLock);
}

void RemoteUnlockPage::applyTexts() {
    gbRemoteUnlock->setTitle(textOf(TextKey::P_Remoteunlock));
    Label44->setText(labelText(TextKey::P_Request));
    Label45->setText(labelText(TextKey::P_Resporse));
    AcRequest->setText(textOf(TextKey::P_Gen));
    AcRemoteUnLock->setText(textOf(TextKey::P_Unlock));
}
