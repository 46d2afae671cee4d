#pragma once

#include "ui/main/Page.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

// Page 10: write an ISO image into the token's CD-ROM partition.
class CdromImagePage : public Page {
    Q_OBJECT
public:
    CdromImagePage(PageHost& host, QWidget* parent);
    void applyTexts() override;

private:
    QLabel* const LAdmin_UPIN;
    QLineEdit* const edtUPINForDownISO;
    QLabel* const LAdmin_ISOPath;
    QLineEdit* const edtPath;
    QToolButton* const btnBrowseISO;
    QProgressBar* const PBISO;
    QPushButton* const btnDownISO;
    QAction* const AcDownISO;
};
