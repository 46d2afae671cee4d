#pragma once

#include "token/CertificateDetails.h"

#include <QDateTime>
#include <QDialog>

#include <cstdint>
#include <functional>

class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The program's certificate dialog, standing in for the operating system's: a General page with the purposes, the
// subject, the issuer and the validity (with a warning when the certificate is out of date), and a Details page that
// lists every field with its full value below. The token library calls it through showFromLibrary.
class CertificateViewer : public QDialog {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    // details must be valid (readCertificateDetails succeeded).
    explicit CertificateViewer(const CertificateDetails& details, QWidget* parent = nullptr);

    // The viewer to register with helper_register_cert_viewer: shows the certificate modally over owner (the
    // calling window as a QWidget*, or null) and returns 0 once the dialog is closed. ZV_ERR_CERT_INVALID when the
    // bytes are not a certificate, ZV_ERR_ARGUMENTS for no bytes, ZV_ERR_NOT_SUPPORTED off the GUI thread; nothing
    // is shown then.
    static int32_t showFromLibrary(void* owner, const uint8_t* certificate, int32_t certificateLength);
    // Writes a certificate's DER whole into path, replacing the file, or says that it could not; true when written.
    static bool saveCertificate(QWidget* owner, const QString& path, const QByteArray& der);

    // Test seam: the time the validity warning is judged against; an empty clock restores the system's.
    static void setClock(Clock clock);

private:
    QWidget* buildGeneralPage();
    QWidget* buildDetailsPage();
    void addField(const QString& name, const QString& summary, const QString& detail, bool critical = false);
    void addExtensionFields();
    void copyToFile();

    CertificateDetails m_details;
    QTreeWidget* m_fields = nullptr;
    QPlainTextEdit* m_fieldValue = nullptr;
    QPushButton* m_copyToFile = nullptr;
};
