#pragma once

#include "ui/main/Page.h"

class QProgressBar;
class QPushButton;
class QTreeWidget;

// Page 5: the workstation summary and check, the report and the online update.
class SystemCheckPage : public Page {
    Q_OBJECT
public:
    SystemCheckPage(PageHost& host, QWidget* parent);
    void applyTexts() override;

    // The short list the system node shows: the operating system, the browser, whether the token's module is
    // registered for the user, and the versions of the CSP and PKCS#11 libraries.
    void ShowSystemSummary();

private:
    QTreeWidget* const LVSystemInfo;
    QPushButton* const btnMore;
    QPushButton* const btnSave;
    QPushButton* const btnUpdate;
    QProgressBar* const pbURLDownFile;
    QAction* const AcMore;
    QAction* const AcSave;
    QAction* const AcUpdate;
};
