#include "ui/main/CertificatePage.h"

#include "ui/main/FormControls.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

using namespace FormControls;

CertificatePage::CertificatePage(QWidget* parent)
    : QWidget(parent), tvCert(new QTreeWidget(this)), PMCertInfo(new QMenu(this)), btnDel(button(this, "btnDel")),
      btnListCert(button(this, "btnListCert")), btnOutput(button(this, "btnOutput")),
      btnInputCert(button(this, "btnInputCert")), btnUnRegCert(button(this, "btnUnRegCert")),
      btnRegCert(button(this, "btnRegCert")), btnLogout(button(this, "btnLogout")),
      btnRefreshCert(button(this, "btnRefreshCert")), PBCert(new QProgressBar(this)) {
    tvCert->setObjectName(QStringLiteral("tvCert"));
    tvCert->setHeaderHidden(true);
    tvCert->setIndentation(19);
    tvCert->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvCert->setMouseTracking(true); // hot tracking
    tvCert->setContextMenuPolicy(Qt::CustomContextMenu);
    PMCertInfo->setObjectName(QStringLiteral("PMCertInfo"));
    PBCert->setObjectName(QStringLiteral("PBCert"));
    PBCert->setRange(0, 100);
    PBCert->setVisible(false);

    QBoxLayout* layout = pageLayout(this);
    layout->addWidget(tvCert, 1);
    layout->addLayout(
        buttonRow({btnDel, btnListCert, btnOutput, btnInputCert, btnUnRegCert, btnRegCert, btnLogout, btnRefreshCert}));
    layout->addWidget(PBCert);
}
