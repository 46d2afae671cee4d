#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <memory>
#include <optional>

// A TLS server whose sockets are its children, so that they and their TLS state go with it whatever their handshake
// came to.
class TlsServer : public QTcpServer {
public:
    explicit TlsServer(const QSslConfiguration& tls) : m_tls(tls) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSslConfiguration(m_tls);
        socket->startServerEncryption();
        addPendingConnection(socket);
    }

private:
    QSslConfiguration m_tls;
};

// A web server on 127.0.0.1 for the tests, on a thread of its own so that a client blocking the test's thread is
// still answered: each GET of a published path gets its bytes, a held path never an answer, anything else 404.
// It counts the requests per path. Given a TLS configuration it speaks HTTPS.
class LocalHttpServer {
public:
    explicit LocalHttpServer(const std::optional<QSslConfiguration>& tls = std::nullopt)
        : m_tls(tls.has_value()), m_server(tls ? new TlsServer(*tls) : new QTcpServer) {
        m_thread.start();
        m_server->moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            m_server.get(),
            [this] {
                QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, m_server.get(),
                                 [this] { answerAll(); });
                m_server->listen(QHostAddress::LocalHost);
                m_port = m_server->serverPort();
            },
            Qt::BlockingQueuedConnection);
    }
    ~LocalHttpServer() {
        QMetaObject::invokeMethod(
            m_server.get(), [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    QString url(const QString& path) const {
        return QStringLiteral("%1://127.0.0.1:%2%3")
            .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
            .arg(m_port)
            .arg(path);
    }
    void publish(const QByteArray& path, const QByteArray& content) {
        QMutexLocker lock(&m_mutex);
        m_files.insert(path, content);
    }
    void hold(const QByteArray& path) {
        QMutexLocker lock(&m_mutex);
        m_held.insert(path);
    }
    int requests(const QByteArray& path) {
        QMutexLocker lock(&m_mutex);
        return m_requests.value(path);
    }

private:
    void answerAll() {
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_pending[socket] += socket->readAll();
                if (!m_pending[socket].contains("\r\n\r\n"))
                    return;
                const QByteArray path = m_pending.take(socket).split(' ').value(1);
                QMutexLocker lock(&m_mutex);
                ++m_requests[path];
                if (m_held.contains(path))
                    return;
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

    bool m_tls;
    QThread m_thread;
    std::unique_ptr<QTcpServer> m_server;
    quint16 m_port = 0;
    QMutex m_mutex;
    QMap<QByteArray, QByteArray> m_files;
    QSet<QByteArray> m_held;
    QMap<QByteArray, int> m_requests;
    QMap<QTcpSocket*, QByteArray> m_pending; // used on the server's thread only
};
