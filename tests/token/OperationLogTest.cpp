#include "token/OperationLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The daily trace of token-library calls.
class OperationLogTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QDateTime m_now = QDateTime(QDate(2026, 1, 31), QTime(23, 59, 58));

    OperationLog log() {
        return OperationLog(m_home.filePath(QStringLiteral("KeyLog")), [this] { return m_now; });
    }

    QByteArray day(const char* date) {
        QFile file(m_home.filePath(QStringLiteral("KeyLog/QV_MonLog%1.txt").arg(QLatin1String(date))));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private Q_SLOTS:
    void init() {
        QDir(m_home.filePath(QStringLiteral("KeyLog"))).removeRecursively();
        m_now = QDateTime(QDate(2026, 1, 31), QTime(23, 59, 58));
    }

    void nothingWithoutTheFolder() {
        log().WriteOperationLog(QStringLiteral("token_find begin kn=32"));
        QVERIFY(!QFileInfo::exists(m_home.filePath(QStringLiteral("KeyLog"))));
        QVERIFY(QDir(m_home.path()).entryList(QDir::Files).isEmpty());
    }

    void linesGoToTheDaysFile() {
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("KeyLog"))));
        log().WriteOperationLog(QStringLiteral("token_find begin kn=32"));
        log().WriteOperationLog(QStringLiteral("token_find end rtn=0"));
        QCOMPARE(day("20260131"), QByteArray("23:59:58> token_find begin kn=32\r\n23:59:58> token_find end rtn=0\r\n"));
        const QFileInfo file(m_home.filePath(QStringLiteral("KeyLog/QV_MonLog20260131.txt")));
        QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    }

    void midnightStartsANewFile() {
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("KeyLog"))));
        log().WriteOperationLog(QStringLiteral("token_login begin UPIN=***"));
        m_now = m_now.addSecs(3);
        log().WriteOperationLog(QStringLiteral("token_login end rtn=0"));
        QCOMPARE(day("20260131"), QByteArray("23:59:58> token_login begin UPIN=***\r\n"));
        QCOMPARE(day("20260201"), QByteArray("00:00:01> token_login end rtn=0\r\n"));
    }

    void anUnwritableFolderDropsTheLine() {
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("KeyLog/QV_MonLog20260131.txt"))));
        log().WriteOperationLog(QStringLiteral("dropped")); // a folder in the file's place: no crash, no file
        QVERIFY(QFileInfo(m_home.filePath(QStringLiteral("KeyLog/QV_MonLog20260131.txt"))).isDir());
        // Once the obstacle is gone the next line is written, and the dropped one never appears.
        QVERIFY(QDir(m_home.filePath(QStringLiteral("KeyLog/QV_MonLog20260131.txt"))).removeRecursively());
        log().WriteOperationLog(QStringLiteral("written"));
        QCOMPARE(day("20260131"), QByteArray("23:59:58> written\r\n"));
    }

    // A name from a token cannot plant a line of its own: control characters are written as \xNN.
    void controlCharactersCannotForgeLines() {
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("KeyLog"))));
        log().WriteOperationLog(
            QStringLiteral("container_delete begin name=e\r\n10:00:00> token_login begin UPIN=1\t\x7f"));
        QCOMPARE(
            day("20260131"),
            QByteArray(
                "23:59:58> container_delete begin name=e\\x0D\\x0A10:00:00> token_login begin UPIN=1\\x09\\x7F\r\n"));
    }
};

QTEST_GUILESS_MAIN(OperationLogTest)
#include "OperationLogTest.moc"
