#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

// A web server on 127.0.0.1 for the tests, on a thread of its own so that a client blocking the test's thread is
// still answered: each GET of a published path gets its bytes, anything else 404. It counts the requests per path.
class LocalHttpServer {
public:
    LocalHttpServer() {
        m_thread.start();
        m_server.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_server,
            [this] {
                QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { answerAll(); });
                m_server.listen(QHostAddress::LocalHost);
            },
            Qt::BlockingQueuedConnection);
    }
    ~LocalHttpServer() {
        QMetaObject::invokeMethod(
            &m_server, [this] { m_server.close(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    void publish(const QByteArray& path, const QByteArray& content) {
        QMutexLocker lock(&m_mutex);
        m_files.insert(path, content);
    }
    int requests(const QByteArray& path) {
        QMutexLocker lock(&m_mutex);
        return m_requests.value(path);
    }

private:
    void answerAll() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_pending[socket] += socket->readAll();
                if (!m_pending[socket].contains("\r\n\r\n"))
                    return;
                const QByteArray path = m_pending.take(socket).split(' ').value(1);
                QMutexLocker lock(&m_mutex);
                ++m_requests[path];
                const bool known = m_files.contains(path);
                const QByteArray body = m_files.value(path);
                socket->write((known ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                              ("Content-Length: " + QByteArray::number(body.size()) + "\r\n") +
                              "Connection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    QThread m_thread;
    QTcpServer m_server;
    QMutex m_mutex;
    QMap<QByteArray, QByteArray> m_files;
    QMap<QByteArray, int> m_requests;
    QMap<QTcpSocket*, QByteArray> m_pending; // used on the server's thread only
};
