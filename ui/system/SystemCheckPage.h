#pragma once

#include "token/TokenInfo.h"
#include "ui/main/Page.h"

#include <functional>
#include <optional>

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
    // The full check, a row at a time with a random pause of 0 to pause - 1 ms after each, so that the rows appear
    // one by one; token 0's rows when a token is connected.
    void RunSystemCheck(int pause);
    // Whatever the list shows, into a text file the user names, which then opens.
    void SaveSystemReport();
    // The check, the report and the online update, offered with the administrator's tools.
    void offerAdminTools(bool offered);

    enum RowStatus { Good = 0, Problem = 2 }; // kept in a row's Qt::UserRole of column 0
    // Tests replace the random pause, and may pretend a 32-bit system.
    static void setForTests(std::function<void(int pause)> pauseAfterRow, std::optional<bool> is64Bit = {});

private:
    void AcUpdateExecute();
    void addRow(const QString& label, const QString& value, RowStatus status, int pause);

    QTreeWidget* const LVSystemInfo;
    QPushButton* const btnMore;
    QPushButton* const btnSave;
    QPushButton* const btnUpdate;
    QProgressBar* const pbURLDownFile;
    QAction* const AcMore;
    QAction* const AcSave;
    QAction* const AcUpdate;
    PinState m_pinState; // token 0's user PIN, as the last check read it
};
