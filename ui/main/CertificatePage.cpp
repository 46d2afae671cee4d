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
      btnRefreshCert(button(this, "btnRefreshCert")), PBCert(new QProgressBar(this)),
      m_images({{},
                QStringLiteral(":/cert-container.png"),
                QStringLiteral(":/cert-container-open.png"),
                QStringLiteral(":/cert-subject.png"),
                QStringLiteral(":/cert-publickey.png"),
                QStringLiteral(":/cert-privatekey.png")}) {
    tvCert->setObjectName(QStringLiteral("tvCert"));
    tvCert->setHeaderHidden(true);
    tvCert->setIndentation(19);
    tvCert->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvCert->setMouseTracking(true); // hot tracking
    tvCert->setContextMenuPolicy(Qt::CustomContextMenu);
    tvCert->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(tvCert, &QTreeWidget::itemExpanded, this, &CertificatePage::showNodeImage);
    connect(tvCert, &QTreeWidget::itemCollapsed, this, &CertificatePage::showNodeImage);
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

QTreeWidgetItem* CertificatePage::addNode(QTreeWidgetItem* parent, const QString& text, Image image,
                                          int expandedImage) {
    auto* node = parent ? new QTreeWidgetItem(parent, {text}) : new QTreeWidgetItem(tvCert, {text});
    node->setData(0, ImageRole, int(image));
    node->setData(0, ExpandedImageRole, expandedImage);
    showNodeImage(node);
    return node;
}

void CertificatePage::showNodeImage(QTreeWidgetItem* node) {
    const int expanded = node->data(0, ExpandedImageRole).toInt();
    node->setIcon(0, m_images.icon(node->isExpanded() && expanded >= 0 ? expanded : node->data(0, ImageRole).toInt()));
}
