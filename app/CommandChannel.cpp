#include "app/CommandChannel.h"

#include "platform/TextEncoding.h"

#include <QLocalSocket>
#include <QtEndian>

namespace {

QString socketPath(const QString& runtimeDirectory,
                   const QString& name = QLatin1String(CommandChannel::WindowClassName)) {
    return runtimeDirectory + u'/' + name;
}

// The end of the zero-terminated UTF-16LE text in bytes, or -1 while it has not arrived.
qsizetype terminatorOffset(const QByteArray& bytes) {
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        if (bytes[i] == 0 && bytes[i + 1] == 0)
            return i;
    return -1;
}

} // namespace

CommandChannel::CommandChannel(QString runtimeDirectory) : m_runtimeDirectory(std::move(runtimeDirectory)) {
    connect(&m_server, &UserOnlyServer::bytesArrived, this, &CommandChannel::readCommand);
}

QString CommandChannel::serverName() const {
    return socketPath(m_runtimeDirectory);
}

bool CommandChannel::listen() {
    if (m_runtimeDirectory.isEmpty())
        return false;
    // Only the instance that holds the single-instance lock listens, so a socket left here is a dead one's.
    return m_server.listen(serverName());
}

void CommandChannel::readCommand(QLocalSocket* socket) {
    const QByteArray received = socket->peek(socket->bytesAvailable());
    const qsizetype end = terminatorOffset(received);
    if (end < 0) {
        if (received.size() > MaximumMessageBytes)
            socket->abort();
        return;
    }
    socket->read(end + 2);
    const QString command = TextEncoding::fromUtf16Le(received.first(end));
    int32_t result = 0;
    Q_EMIT commandReceived(command, &result);
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    char answer[4];
    qToLittleEndian(result, answer);
    socket->write(answer, sizeof answer);
    socket->flush();
    socket->disconnectFromServer();
}

std::optional<int32_t> CommandChannel::send(const QString& runtimeDirectory, const QString& command, int timeoutMs,
                                            const QString& program) {
    QLocalSocket socket;
    socket.connectToServer(socketPath(runtimeDirectory, program));
    if (!socket.waitForConnected(timeoutMs))
        return std::nullopt;
    QByteArray message = TextEncoding::toUtf16Le(command);
    message.append(2, '\0');
    socket.write(message);
    socket.flush();
    while (socket.bytesAvailable() < 4 && socket.waitForReadyRead(timeoutMs)) {
    }
    if (socket.bytesAvailable() < 4)
        return std::nullopt;
    return qFromLittleEndian<int32_t>(socket.read(4).constData());
}
