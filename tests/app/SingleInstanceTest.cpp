#include "app/SingleInstance.h"
#include "app/CommandChannel.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

// One copy of the program per user, and the commands other programs send to it; with real processes.
class SingleInstanceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_runtime;

    std::unique_ptr<QProcess> startProgram() {
        auto program = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program->setProcessEnvironment(environment);
        program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program->start(QStringLiteral(VX_PROGRAM), QStringList());
        return program;
    }

    // The program answers commands once its window exists.
    bool waitUntilRunning(QProcess& program) {
        for (int attempt = 0; attempt < 200; ++attempt) {
            if (program.state() == QProcess::NotRunning)
                return false;
            if (CommandChannel::send(m_runtime.path(), QStringLiteral("ping"), 100))
                return true;
            QTest::qWait(50);
        }
        return false;
    }

private Q_SLOTS:
    void secondProgramAsksTheFirstToRestoreAndEnds() {
        SingleInstance first(m_runtime.path());
        QVERIFY(!first.IsAnotherInstanceRunning());
        QSignalSpy restore(&first, &SingleInstance::restoreRequested);

        auto second = startProgram();
        QTRY_COMPARE_WITH_TIMEOUT(restore.count(), 1, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 15000);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        // It never became a window that takes commands.
        QVERIFY(!CommandChannel::send(m_runtime.path(), QStringLiteral("ping"), 200));
    }

    void secondProgramEndsWhileTheFirstRuns() {
        auto first = startProgram();
        QVERIFY(waitUntilRunning(*first));
        auto second = startProgram();
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        QCOMPARE(CommandChannel::send(m_runtime.path(), QStringLiteral("CLOSE")), std::optional<int32_t>(0));
        QVERIFY(first->waitForFinished(15000));
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
    }

    void crashedProgramNeverBlocksTheNextStart() {
        auto crashed = startProgram();
        QVERIFY(waitUntilRunning(*crashed));
        ::kill(static_cast<pid_t>(crashed->processId()), SIGKILL);
        QVERIFY(crashed->waitForFinished(5000));

        auto next = startProgram();
        QVERIFY2(waitUntilRunning(*next), "the program after a crash did not become the first instance");
        QCOMPARE(CommandChannel::send(m_runtime.path(), QStringLiteral("CLOSE")), std::optional<int32_t>(0));
        QVERIFY(next->waitForFinished(15000));
        QCOMPARE(next->exitCode(), 0);
    }

    // Only the exact text "CLOSE" closes; anything else is answered with 0 and ignored, and a sender that never
    // ends its message is cut off without harm.
    void onlyTheExactCommandCloses() {
        auto program = startProgram();
        QVERIFY(waitUntilRunning(*program));
        for (const char* ignored : {"close", "CLOSE ", "LoadCertX", ""})
            QCOMPARE(CommandChannel::send(m_runtime.path(), QLatin1String(ignored)), std::optional<int32_t>(0));

        QLocalSocket flood;
        flood.connectToServer(m_runtime.filePath(QLatin1String(CommandChannel::WindowClassName)));
        QVERIFY(flood.waitForConnected(2000));
        flood.write(QByteArray(CommandChannel::MaximumMessageBytes + 4096, 'A'));
        flood.flush();
        QTRY_COMPARE_WITH_TIMEOUT(flood.state(), QLocalSocket::UnconnectedState, 10000);

        QTest::qWait(100);
        QCOMPARE(program->state(), QProcess::Running);
        QCOMPARE(CommandChannel::send(m_runtime.path(), QStringLiteral("CLOSE")), std::optional<int32_t>(0));
        QVERIFY(program->waitForFinished(15000));
        QCOMPARE(program->exitCode(), 0);
    }

    // A crash between creating the lock and writing it, or a lock whose owner does not answer, never blocks a
    // start: the lock is removed and taken.
    void aLockNobodyStandsBehindIsTaken_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbled") << QByteArray("\x01\x02 not a lock\n");
        // This very process, alive, but listening on nothing.
        QTest::newRow("owner not answering") << QByteArray::number(QCoreApplication::applicationPid()) +
                                                    "\nSingleInstanceTest\n" + QSysInfo::machineHostName().toUtf8() +
                                                    "\n";
    }
    void aLockNobodyStandsBehindIsTaken() {
        QFETCH(QByteArray, content);
        QFile lock(m_runtime.filePath(QLatin1String(SingleInstance::InstanceName) + QStringLiteral(".lock")));
        QVERIFY(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lock.write(content);
        lock.close();
        SingleInstance next(m_runtime.path());
        QVERIFY(!next.IsAnotherInstanceRunning());
        // It is the first instance now: a later one is answered.
        SingleInstance later(m_runtime.path());
        QSignalSpy restore(&next, &SingleInstance::restoreRequested);
        bool running = false;
        QTimer::singleShot(0, this, [&] { running = later.IsAnotherInstanceRunning(); });
        QTRY_VERIFY(restore.count() == 1);
        QTRY_VERIFY(running);
    }

    // Without a window system the program says so in one line and ends with status 1, not with Qt's abort.
    void withoutADisplayTheProgramSaysSoAndEnds() {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VX_PROGRAM), QStringList());
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(program.readAllStandardError(),
                 QByteArray("vx7100-mgr: no display to open: neither DISPLAY nor WAYLAND_DISPLAY is set\n"));
    }

    void noPrivateDirectoryMeansNoGuard() {
        SingleInstance unguarded{QString()};
        QVERIFY(!unguarded.IsAnotherInstanceRunning());
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "SingleInstanceTest.moc"
