#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

namespace {

constexpr char RestoreRequest[] = "restore\n";
constexpr char RestoreDone = '1';
// The first instance may hold the lock a moment before it listens, and is busy while it starts up.
constexpr int ConnectPatienceMs = 5000;
constexpr int AnswerPatienceMs = 10000;

} // namespace

SingleInstance::SingleInstance(QString runtimeDirectory) : m_runtimeDirectory(std::move(runtimeDirectory)) {
    connect(&m_server, &UserOnlyServer::bytesArrived, this, &SingleInstance::answerRestoreRequest);
}

SingleInstance::~SingleInstance() {
    m_server.close();
}

bool SingleInstance::IsAnotherInstanceRunning() {
    if (m_runtimeDirectory.isEmpty())
        return false;
    const QString base = m_runtimeDirectory + u'/' + QLatin1String(InstanceName);
    m_lock = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // only a dead owner makes the lock stale, never its age
    if (m_lock->tryLock(0)) {
        m_server.listen(base);
        return false;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_lock.reset();
        return false; // the directory refuses the lock file: run unguarded, as without the shared cell
    }
    // A lock that cannot be read was left half-written by a crash, and QLockFile never calls it stale: nobody
    // stands behind it. Nor does anybody behind a lock whose owner does not answer on the instance's socket.
    if (!m_lock->getLockInfo(nullptr, nullptr, nullptr) && takeOver(base))
        return false;
    if (askFirstInstanceToRestore()) {
        m_lock.reset();
        return true;
    }
    if (takeOver(base))
        return false;
    m_lock.reset();
    return true;
}

bool SingleInstance::takeOver(const QString& base) {
    m_lock->removeStaleLockFile();
    if (!m_lock->tryLock(0))
        return false;
    m_server.listen(base);
    return true;
}

bool SingleInstance::askFirstInstanceToRestore() {
    const QString name = m_runtimeDirectory + u'/' + QLatin1String(InstanceName);
    QLocalSocket socket;
    const QDeadlineTimer deadline(ConnectPatienceMs);
    for (;;) {
        socket.connectToServer(name);
        if (socket.waitForConnected(500))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    socket.write(RestoreRequest);
    socket.flush();
    // Like a sent message, the request returns once the first instance has handled it.
    while (socket.bytesAvailable() == 0 && socket.waitForReadyRead(AnswerPatienceMs)) {
    }
    return socket.read(1) == QByteArray(1, RestoreDone);
}

void SingleInstance::answerRestoreRequest(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > qint64(sizeof RestoreRequest))
            socket->abort();
        return;
    }
    if (socket->readLine() == QByteArray(RestoreRequest))
        Q_EMIT restoreRequested();
    socket->write(QByteArray(1, RestoreDone));
    socket->flush();
    socket->disconnectFromServer();
}
