#pragma once

#include "ui/main/ImageList.h"

#include <QWidget>

class QMenu;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Page 4: the logged-in token's containers, certificates and keys, with the certificate operations.
class CertificatePage : public QWidget {
    Q_OBJECT
public:
    // Indexes of the page's image list.
    enum Image { Folder = 1, OpenFolder = 2, Subject = 3, PublicKey = 4, PrivateKey = 5 };

    explicit CertificatePage(QWidget* parent = nullptr);

    // Adds a node to tvCert (at the top when parent is null); expandedImage, when given, shows while it is open.
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, Image image, int expandedImage = -1);

    QTreeWidget* const tvCert;
    QMenu* const PMCertInfo;
    QPushButton* const btnDel;
    QPushButton* const btnListCert;
    QPushButton* const btnOutput;
    QPushButton* const btnInputCert;
    QPushButton* const btnUnRegCert;
    QPushButton* const btnRegCert;
    QPushButton* const btnLogout;
    QPushButton* const btnRefreshCert;
    QProgressBar* const PBCert;

    // The role under which a node keeps its image index, and its expanded image index.
    static constexpr int ImageRole = Qt::UserRole + 1;
    static constexpr int ExpandedImageRole = Qt::UserRole + 2;

private:
    void showNodeImage(QTreeWidgetItem* node);

    ImageList m_images;
};
