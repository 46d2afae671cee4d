#pragma once

#include <QWidget>

class QMenu;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// Page 4: the logged-in token's containers, certificates and keys, with the certificate operations.
class CertificatePage : public QWidget {
    Q_OBJECT
public:
    explicit CertificatePage(QWidget* parent = nullptr);

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
};
