#pragma once

#include "app/UserOnlyServer.h"

#include <QLockFile>
#include <QObject>

#include <memory>

class QLocalSocket;

// Makes sure one copy of the program runs per user. The first instance holds a lock file and listens on a
// user-only local socket; a later instance asks it to restore and raise its window, waits until that is done, and
// ends silently. The lock file, not the socket, decides who is first: a lock left by a crashed instance (its
// process gone, its file unreadable, or nobody answering on its socket) is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr char InstanceName[] = "{VX7100Mgr-94AD-4211-B821-1CD5AC3F08E1}";

    explicit SingleInstance(QString runtimeDirectory);
    ~SingleInstance() override;

    // True when another instance runs: it has been asked to restore and raise its window (or its active modal
    // dialog). False when this process is the first instance, and when no guard can be set up here (no private
    // runtime directory), in which case this process runs unguarded.
    bool IsAnotherInstanceRunning();

Q_SIGNALS:
    // The first instance's window should come back from minimized and to the front.
    void restoreRequested();

private:
    void answerRestoreRequest(QLocalSocket* socket);
    bool askFirstInstanceToRestore();
    // Removes a lock nobody stands behind and takes it; false when another process took it first.
    bool takeOver(const QString& base);

    QString m_runtimeDirectory;
    std::unique_ptr<QLockFile> m_lock;
    UserOnlyServer m_server;
};
