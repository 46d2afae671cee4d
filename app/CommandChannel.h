#pragma once

#include "app/UserOnlyServer.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QLocalSocket;

// Commands that companion programs send to the main window ("CLOSE", "LoadCert"), over a user-only local socket
// named after the window class. A message is the command as zero-terminated UTF-16LE text; the sender waits until
// the window has handled it and receives the handler's 32-bit result, as with a sent copy-data message.
class CommandChannel : public QObject {
    Q_OBJECT
public:
    static constexpr char WindowClassName[] = "TVX7100_Mgr";
    // Longer messages are not commands; reading stops there so a sender cannot make the window hoard memory.
    static constexpr qint64 MaximumMessageBytes = 64 * 1024;

    explicit CommandChannel(QString runtimeDirectory);

    bool listen();
    QString serverName() const;

    // Sends one command to the running program (this one, or the companion listening under the name program) and
    // returns its result, or nothing when none answers within the time given.
    static std::optional<int32_t> send(const QString& runtimeDirectory, const QString& command, int timeoutMs = 5000,
                                       const QString& program = QLatin1String(WindowClassName));

Q_SIGNALS:
    // Handled synchronously by the window; the slot sets *result (0 unless it says otherwise).
    void commandReceived(const QString& command, int32_t* result);

private:
    void readCommand(QLocalSocket* socket);

    QString m_runtimeDirectory;
    UserOnlyServer m_server;
};
