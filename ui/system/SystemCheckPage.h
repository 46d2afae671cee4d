#pragma once

#include <QWidget>

class QProgressBar;
class QPushButton;
class QTreeWidget;

// Page 5: the workstation summary and check, the report and the online update.
class SystemCheckPage : public QWidget {
    Q_OBJECT
public:
    explicit SystemCheckPage(QWidget* parent = nullptr);
    void applyTexts();

    QTreeWidget* const LVSystemInfo;
    QPushButton* const btnMore;
    QPushButton* const btnSave;
    QPushButton* const btnUpdate;
    QProgressBar* const pbURLDownFile;
};
