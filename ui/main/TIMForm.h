#pragma once

#include "ui/main/ImportJob.h"

#include <QDialog>
#include <QStringList>

#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TokenLibrary;

// The import dialog: the certificate file and its password, the container (a new one or one the token has) and the
// usage. Confirming parses the file through the token library, which keeps it for the imports that follow; the
// dialog closes only on a file that parsed and a container name it can use.
class TIMForm : public QDialog {
    Q_OBJECT
public:
    TIMForm(TokenLibrary& tokens, QWidget* parent);
    ~TIMForm() override;

    // A token without containers: only a new container can be chosen.
    void offerNewContainerOnly();
    // The token's containers in list order, preselected chosen, and the choice set to an existing container.
    void offerContainers(const QStringList& names, int preselected);

    bool newContainer() const;
    // The new container's name as typed.
    QString newContainerName() const;
    // The position of the chosen existing container.
    int chosenContainer() const;
    int32_t usage() const;
    ImportJob::FileType fileType() const { return m_fileType; }
    int32_t certificateCount() const { return m_count; }
    QString filePath() const;

    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", a fresh GUID in upper case: a random container name.
    static QString NewGuidName();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void applyTexts();
    void updateChoice();
    void chooseFile(const QString& path);
    void setPasswordEnabled(bool enabled);
    void btnOKClick();
    // Parses the file in edtPath; false, once the user has been told, when it cannot be imported.
    bool parseFile();

    TokenLibrary& m_tokens;
    QGroupBox* const GroupBox3;
    QLineEdit* const edtPath;
    QPushButton* const btnpath;
    QLabel* const Label2;
    QLineEdit* const edtpwd;
    QLabel* const Label1;
    QGroupBox* const GroupBox1;
    QRadioButton* const rb1;
    QLineEdit* const edtContname;
    QPushButton* const btnRandom;
    QRadioButton* const rb2;
    QComboBox* const cbContName;
    QGroupBox* const GroupBox2;
    QRadioButton* const rb3;
    QRadioButton* const rb4;
    QPushButton* const btnOK;
    QPushButton* const btnNO;

    ImportJob::FileType m_fileType = ImportJob::Pkcs12;
    int32_t m_count = 0;
};
