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
