#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

// Page 10: write an ISO image into the token's CD-ROM partition.
class CdromImagePage : public QWidget {
    Q_OBJECT
public:
    explicit CdromImagePage(QWidget* parent = nullptr);
    void applyTexts();

    QLabel* const LAdmin_UPIN;
    QLineEdit* const edtUPINForDownISO;
    QLabel* const LAdmin_ISOPath;
    QLineEdit* const edtPath;
    QToolButton* const btnBrowseISO;
    QProgressBar* const PBISO;
    QPushButton* const btnDownISO;
};
