#include "shared/UsbEventFile.h"
#include "token/TUSB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>

using namespace Qt::StringLiterals;

// The device watch as the main window sees it, fed by the virtual token's event file through the writer the vtoken
// command uses: which events arrive, with which product id, and what the reader makes of replaced, cut and damaged
// files.
class UsbWatchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QStringList m_events;

    QString folder() const { return m_home->filePath(u"vtoken"_s); }
    QString eventFile() const { return folder() + u"/usb-events"_s; }

    std::unique_ptr<TUSB> watch(std::unique_ptr<TUSB> usb = {}) {
        if (!usb)
            usb = std::make_unique<TUSB>(folder());
        usb->OnArrival = [this](TUSB& sender) {
            m_events << u"arrival %1"_s.arg(sender.ProductId(), 4, 16, QLatin1Char('0'));
        };
        usb->OnRemoval = [this](TUSB& sender) {
            m_events << u"removal %1"_s.arg(sender.ProductId(), 4, 16, QLatin1Char('0'));
        };
        return usb;
    }

    void event(bool arrival, int productId) {
        vtoken::appendUsbEvent(folder().toStdString(), arrival, 0x1D99, productId, "3F2A9C01B7E45D60");
    }

    static QByteArray line(bool arrival, int productId) {
        return QByteArray(arrival ? "arrival " : "removal ") +
               QByteArray::fromStdString(vtoken::usbInterfacePath(0x1D99, productId, "3F2A9C01B7E45D60")) + '\n';
    }

    void append(const QByteArray& bytes) {
        QFile file(eventFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(folder()));
        m_events.clear();
    }

    void productIdFromPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("productId");
        QTest::newRow("upper case") << uR"(\\?\USB#VID_1D99&PID_0101#3F2A#{A5DCBF10-6530-11D2-901F-00C04FB951ED})"_s
                                    << 0x0101;
        QTest::newRow("lower case") << uR"(\\?\usb#vid_1d99&pid_0a1b#3f2a#{a5dcbf10-6530-11d2-901f-00c04fb951ed})"_s
                                    << 0x0A1B;
        QTest::newRow("mixed case") << u"USB#VID_1D99&Pid_aBcD#1"_s << 0xABCD;
        QTest::newRow("no PID_") << uR"(\\?\USB#UNKNOWN#1-1.2#{A5DCBF10-6530-11D2-901F-00C04FB951ED})"_s << 0;
        QTest::newRow("short at the end") << u"USB#VID_1D99&PID_12"_s << 0;
        QTest::newRow("not hexadecimal") << u"USB#VID_1D99&PID_12G4#1"_s << 0;
        QTest::newRow("sign") << u"USB#PID_+123#1"_s << 0;
        QTest::newRow("first of two") << u"USB#PID_1234&PID_5678#1"_s << 0x1234;
        QTest::newRow("first of two, unreadable") << u"USB#PID_ZZZZ&PID_5678#1"_s << 0;
        QTest::newRow("non-ASCII digits") << u"USB#PID_\u0661\u0662\u0663\u0664#1"_s << 0;
    }

    void productIdFromPath() {
        QFETCH(QString, path);
        QFETCH(int, productId);
        QCOMPARE(TUSB::productIdFromPath(path), productId);
    }

    void interfacePath_data() {
        QTest::addColumn<int>("vendorId");
        QTest::addColumn<int>("productId");
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QString>("path");
        QTest::newRow("token")
            << 0x1D99 << 0x0A1B << "3F2A9C01B7E45D60"_ba
            << uR"(\\?\USB#VID_1D99&PID_0A1B#3F2A9C01B7E45D60#{A5DCBF10-6530-11D2-901F-00C04FB951ED})"_s;
        QTest::newRow("unknown ids") << -1 << -1 << "1-1.2"_ba
                                     << uR"(\\?\USB#UNKNOWN#1-1.2#{A5DCBF10-6530-11D2-901F-00C04FB951ED})"_s;
        QTest::newRow("id out of range") << 0x1D99 << 0x10000 << "S"_ba
                                         << uR"(\\?\USB#UNKNOWN#S#{A5DCBF10-6530-11D2-901F-00C04FB951ED})"_s;
        QTest::newRow("serial needing care")
            << 0x1D99 << 0x0101 << "A B,C#D\nE\xC3\xA9"_ba
            << uR"(\\?\USB#VID_1D99&PID_0101#A_B_C_D_E__#{A5DCBF10-6530-11D2-901F-00C04FB951ED})"_s;
    }

    // The path the watch reports gives back the product id it was built from.
    void interfacePath() {
        QFETCH(int, vendorId);
        QFETCH(int, productId);
        QFETCH(QByteArray, serial);
        QFETCH(QString, path);
        const QString built =
            QString::fromStdString(vtoken::usbInterfacePath(vendorId, productId, serial.toStdString()));
        QCOMPARE(built, path);
        QCOMPARE(TUSB::productIdFromPath(built), productId >= 0 && productId <= 0xFFFF ? productId : 0);
    }

    void eventsReachTheirHandlers() {
        const auto usb = watch();
        event(true, 0x0101);
        event(false, 0x0102);
        QTRY_COMPARE(m_events, (QStringList{u"arrival 0101"_s, u"removal 0102"_s}));
        QCOMPARE(usb->ProductId(), 0x0102);
        // Without a handler the event still sets the product id.
        usb->OnArrival = nullptr;
        event(true, 0x0A1B);
        QTRY_COMPARE(usb->ProductId(), 0x0A1B);
        QCOMPARE(m_events.size(), 2);
    }

    void earlierEventsAreNotDelivered() {
        event(true, 0x0001);
        event(false, 0x0002);
        const auto usb = watch();
        event(true, 0x0003);
        QTRY_COMPARE(m_events, QStringList{u"arrival 0003"_s});
    }

    void partialLineWaitsForItsEnd() {
        const auto usb = watch();
        const QByteArray second = line(true, 0x0102);
        // The complete line shows when the reader has been through the partial one behind it.
        append(line(false, 0x0101) + second.first(30));
        QTRY_COMPARE(m_events, QStringList{u"removal 0101"_s});
        append(second.sliced(30));
        QTRY_COMPARE(m_events, (QStringList{u"removal 0101"_s, u"arrival 0102"_s}));
    }

    void fullFileIsStartedAfresh() {
        // History the watch never reports: 65 KiB of lines that are no events.
        const QByteArray filler = QByteArray(99, 'x') + '\n';
        append(filler.repeated(665));
        const auto usb = watch();
        event(true, 0x0101);
        QTRY_COMPARE(m_events, QStringList{u"arrival 0101"_s});
        QCOMPARE(QFileInfo(eventFile()).size(), line(true, 0x0101).size());
        event(false, 0x0101);
        QTRY_COMPARE(m_events, (QStringList{u"arrival 0101"_s, u"removal 0101"_s}));
        QVERIFY(QDir(folder()).entryList(QDir::Files | QDir::Hidden) == QStringList{u"usb-events"_s});
    }

    // Several vtoken commands at once, the file starting afresh under them: every line lands where the reader finds it.
    void concurrentWritersLoseNothing() {
        append(QByteArray(99, 'x').append('\n').repeated(650));
        const auto usb = watch();
        std::vector<std::thread> writers;
        for (int writer = 0; writer < 8; ++writer)
            writers.emplace_back([this, writer] {
                for (int i = 0; i < 50; ++i)
                    event(true, writer);
            });
        for (std::thread& writer : writers)
            writer.join();
        QTRY_COMPARE(m_events.size(), 400);
        for (int writer = 0; writer < 8; ++writer)
            QCOMPARE(m_events.count(u"arrival %1"_s.arg(writer, 4, 16, QLatin1Char('0'))), 50);
        QVERIFY(QFileInfo(eventFile()).size() < 400 * line(true, 0).size());
    }

    void replacedFileIsReadFromItsStart() {
        event(true, 0x0001);
        const auto usb = watch();
        // A line for the old file and a new file in its place, seen together: the old line still comes first.
        event(true, 0x0101);
        QFile replacement(folder() + u"/next"_s);
        QVERIFY(replacement.open(QIODevice::WriteOnly));
        replacement.write(line(false, 0x0101) + line(true, 0x0102));
        replacement.close();
        QVERIFY(::rename(qPrintable(replacement.fileName()), qPrintable(eventFile())) == 0);
        QTRY_COMPARE(m_events, (QStringList{u"arrival 0101"_s, u"removal 0101"_s, u"arrival 0102"_s}));
        event(false, 0x0102);
        QTRY_COMPARE(m_events.size(), 4);
        QCOMPARE(m_events.last(), u"removal 0102"_s);
    }

    void truncatedFileIsReadFromItsStart() {
        event(true, 0x0001);
        event(true, 0x0002);
        const auto usb = watch();
        QFile file(eventFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(line(false, 0x0002));
        file.close();
        QTRY_COMPARE(m_events, QStringList{u"removal 0002"_s});
    }

    void removedFileIsFollowedWhenItComesBack() {
        const auto usb = watch();
        event(true, 0x0101);
        QTRY_COMPARE(m_events.size(), 1);
        QVERIFY(QFile::remove(eventFile()));
        event(false, 0x0101);
        QTRY_COMPARE(m_events, (QStringList{u"arrival 0101"_s, u"removal 0101"_s}));
    }

    void unreadableLinesAreSkipped_data() {
        const QByteArray path = QByteArray::fromStdString(vtoken::usbInterfacePath(0x1D99, 0x0777, "S"));
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("arrival") << "arrival " + path + '\n' << true;
        QTest::newRow("no path") << "arrival\n"_ba << false;
        QTest::newRow("empty path") << "removal \n"_ba << false;
        QTest::newRow("upper-case kind") << "ARRIVAL " + path + '\n' << false;
        QTest::newRow("leading blank") << " arrival " + path + '\n' << false;
        QTest::newRow("not UTF-8") << "arrival " + path + "\xFF\n" << false;
        const QByteArray longPath = path.first(path.indexOf("#{")) + QByteArray(1024, 'S');
        QTest::newRow("1024 bytes") << ("arrival " + longPath).first(1024) + '\n' << true;
        QTest::newRow("1025 bytes") << ("arrival " + longPath).first(1025) + '\n' << false;
        // The reader takes 64 KiB at a time: the rest of this line must not pass for a line of its own.
        QTest::newRow("event after 64 KiB of one line") << QByteArray(64 * 1024, 'S') + "arrival " + path + '\n'
                                                        << false;
    }

    // Each line is followed by a good one, which must come through whatever came before it.
    void unreadableLinesAreSkipped() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, delivered);
        const auto usb = watch();
        append(bytes + line(false, 0x0202));
        const QStringList expected =
            delivered ? QStringList{u"arrival 0777"_s, u"removal 0202"_s} : QStringList{u"removal 0202"_s};
        QTRY_COMPARE(m_events, expected);
    }

    void failingHandlerLeavesTheWatchRunning() {
        const auto usb = watch();
        usb->OnArrival = [this](TUSB& sender) {
            m_events << u"arrival %1"_s.arg(sender.ProductId(), 4, 16, QLatin1Char('0'));
            throw std::runtime_error("no window");
        };
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"OnArrival failed .*PID_0101.*: no window"_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"OnArrival failed .*PID_0102.*: no window"_s));
        event(true, 0x0101);
        event(true, 0x0102);
        event(false, 0x0102);
        QTRY_COMPARE(m_events, (QStringList{u"arrival 0101"_s, u"arrival 0102"_s, u"removal 0102"_s}));
    }

    void handlerMayReplaceItself() {
        const auto usb = watch();
        // The running handler's own state is used after the replacement (the sanitizer build sees a use after free).
        const QString first = u"first"_s;
        usb->OnArrival = [this, &usb, first](TUSB&) {
            usb->OnArrival = [this](TUSB&) { m_events << u"second"_s; };
            m_events << first;
        };
        event(true, 0x0101);
        event(true, 0x0101);
        QTRY_COMPARE(m_events, (QStringList{u"first"_s, u"second"_s}));
    }

    // The program's watch starts without USB hardware and follows VTOKEN_HOME, even before the folder exists.
    void programWatchFollowsVtokenHome() {
        QVERIFY(QDir().rmdir(folder()));
        qputenv("VTOKEN_HOME", folder().toUtf8());
        const auto usb = watch(std::make_unique<TUSB>());
        qunsetenv("VTOKEN_HOME");
        event(true, 0x0101);
        QTRY_COMPARE(m_events, QStringList{u"arrival 0101"_s});
        QCOMPARE(QFileInfo(folder()).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(QFileInfo(eventFile()).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }
};

QTEST_GUILESS_MAIN(UsbWatchTest)
#include "UsbWatchTest.moc"
