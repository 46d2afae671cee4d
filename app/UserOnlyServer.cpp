#include "app/UserOnlyServer.h"

#include "platform/PeerCredentials.h"

#include <QLocalSocket>

UserOnlyServer::UserOnlyServer() {
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!PeerCredentials::isSameUser(socket->socketDescriptor())) {
                socket->abort();
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Q_EMIT bytesArrived(socket); });
            if (socket->bytesAvailable() > 0)
                Q_EMIT bytesArrived(socket);
        }
    });
}

bool UserOnlyServer::listen(const QString& path) {
    QLocalServer::removeServer(path);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(path);
}
