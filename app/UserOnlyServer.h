#pragma once

#include <QLocalServer>
#include <QObject>

class QLocalSocket;

// A local socket that only this user's processes may talk to: the socket file is user-only and every connection
// whose peer runs as another user is dropped at once. Listening takes over a socket file left behind by a
// crashed process, so only the process that owns the single-instance lock may listen.
class UserOnlyServer : public QObject {
    Q_OBJECT
public:
    UserOnlyServer();
    bool listen(const QString& path);
    void close() { m_server.close(); }

Q_SIGNALS:
    // A connected peer has sent bytes that wait to be read; the receiver answers and disconnects it.
    void bytesArrived(QLocalSocket* socket);

private:
    QLocalServer m_server;
};
