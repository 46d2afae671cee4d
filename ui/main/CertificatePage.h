#pragma once

#include "ui/main/ImageList.h"
#include "ui/main/Page.h"

#include <cstdint>
#include <optional>

class QMenu;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// Page 4: the logged-in token's containers, certificates and keys, with the certificate operations.
class CertificatePage : public Page {
    Q_OBJECT
public:
    // Indexes of the page's image list.
    enum Image { Folder = 1, OpenFolder = 2, Subject = 3, PublicKey = 4, PrivateKey = 5 };
    // The role under which a node keeps its image index, and its expanded image index.
    static constexpr int ImageRole = Qt::UserRole + 1;
    static constexpr int ExpandedImageRole = Qt::UserRole + 2;

    struct CertificateChoice {
        int container; // position in the token's container list
        int32_t usage;
    };

    // logout is the login page's; the page offers it with a button.
    CertificatePage(PageHost& host, QAction* logout, QWidget* parent);
    void applyTexts() override;

    // Rebuilds the certificate tree of token index and the container flags the certificate operations read.
    void BuildCertTree(int32_t index);
    // Enables the certificate operations that the selection in the tree allows.
    void UpdateCertActions();
    // The certificate whose subject node is selected; none for any other node.
    std::optional<CertificateChoice> SelectedCertificate();
    // The refresh action, as its button runs it: reads the token's objects again and rebuilds the tree.
    void refresh();
    void focusTree();

private:
    // Adds a node to tvCert (at the top when parent is null); expandedImage, when given, shows while it is open.
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, Image image, int expandedImage = -1);
    void showNodeImage(QTreeWidgetItem* node);
    // The selected certificate as the token holds it; false, once the user has been told, when none can be read.
    bool readSelectedCertificate(QByteArray& certificate);
    void AcListCertExecute();
    void AcOutputExecute();
    void AcrefreshExecute();
    void tvCertContextMenu(const QPoint& position);

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
    QAction* const AcListCert;
    QAction* const AcOutput;
    QAction* const AcDel;
    QAction* const AcDelCert;
    QAction* const AcInputCert;
    QAction* const AcRegCert;
    QAction* const AcUnRegCert;
    QAction* const Acrefresh;
    // The import's progress and the store registration after it.
    QTimer* const TimerCert;
    QTimer* const TRegCert;

    ImageList m_images;
};
