#pragma once

#include "ui/main/ImageList.h"
#include "ui/main/ImportJob.h"
#include "ui/main/Page.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QMenu;
class QProgressBar;
class QPushButton;
class QThread;
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
    ~CertificatePage() override;
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
    // Waits for import workers that may still run: they use the token library, which must outlive them.
    void waitForImportWorkers();
    // Registering the certificates in the user's store, and taking them out, are an administrator's tools.
    void offerStoreRegistration(bool offered);

    // The import waits this many polls of 200 ms for a worker before it reports the import as failed (code 259,
    // still running); tests shorten the wait.
    static constexpr int ImportPolls = 2500;
    static void setImportPollLimit(int polls);

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

    // The import (CertificatePageImport.cpp).
    void AcInputCertExecute();
    // The position of the container whose node is selected; none for any other node.
    std::optional<int> selectedContainer();
    bool isLoggedIn(int32_t index);
    // The container position the import dialog proposes for the selected node.
    int preselectedContainer() const;
    // Imports each certificate of the parsed file as the dialog chose; the last code.
    int32_t importFile(int32_t fileType, int32_t count, ImportJob& choice);
    // Runs the job's worker on a thread of its own and waits for it, at most polls times 200 ms when given.
    int32_t runWorker(const std::shared_ptr<ImportJob>& job, std::optional<int> polls);
    void startProgress();
    void stopProgress();
    void TimerCertTimer();
    void showImportFailure(int32_t rv);

    // Deletion and the store (CertificatePageStore.cpp).
    void AcDelCertExecute();
    void AcDelExecute();
    // Asks whether to delete; on Yes runs deletion and reports its failure, or follows a success up.
    void deleteWhenConfirmed(const std::function<int32_t()>& deletion);
    // After a deletion: the provider's certificates leave the store, and every token's come back.
    void afterDeletion();
    void AcRegCertExecute();
    void AcUnRegCertExecute();
    void TRegCertTimer();
    // Registers the certificates of token index in the user's store, and on success the token's module for the
    // user; the registration's code.
    int32_t registerCertificates(int32_t index);
    int32_t removeProviderCertificates();

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
    // The job of the import running now, whose step the progress ticker adds.
    std::shared_ptr<ImportJob> m_job;
    // Workers that may still run: an import that gave up waiting leaves its worker to finish.
    std::vector<QPointer<QThread>> m_workers;
    // The module registered for the user in this session.
    QString m_registeredModule;
};
