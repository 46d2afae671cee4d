#include "platform/OperatingSystem.h"

#include <QTest>

using namespace Qt::StringLiterals;

// The operating system's name as the system check shows it, from os-release's text and the kernel release.
class OperatingSystemTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void name_data() {
        QTest::addColumn<QString>("osRelease");
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<bool>("is64Bit");
        QTest::addColumn<QString>("name");
        QTest::newRow("Debian 12, 64-bit")
            << u"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n"_s
            << u"6.1.0-18-amd64"_s << true << u"Debian GNU/Linux 12 (bookworm) 6.1.0-18-amd64 (x64)"_s;
        QTest::newRow("unquoted, 32-bit")
            << u"PRETTY_NAME=Alpine\n"_s << u"6.6.8"_s << false << u"Alpine 6.6.8 (x86)"_s;
        QTest::newRow("single quotes and an escape")
            << u"PRETTY_NAME='My \\\"OS\\\"'\n"_s << u"5.10"_s << true << u"My \"OS\" 5.10 (x64)"_s;
        QTest::newRow("no os-release, no kernel") << QString() << QString() << true << u"Linux (x64)"_s;
    }
    void name() {
        QFETCH(QString, osRelease);
        QFETCH(QString, kernel);
        QFETCH(bool, is64Bit);
        QTEST(OperatingSystem::name(osRelease, kernel, is64Bit), "name");
    }
};

QTEST_GUILESS_MAIN(OperatingSystemTest)
#include "OperatingSystemTest.moc"
