#include "token/ModuleRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <dlfcn.h>
#include <gnu/libc-version.h>

// The token's module registered for the user on a temporary HOME, read back with modutil and from p11-kit's folder.
class ModuleRegistrationTest : public QObject {
    Q_OBJECT

    static QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Every module file of the user's p11-kit folder with its content.
    static QMap<QString, QByteArray> p11KitFiles(const QString& folder) {
        QMap<QString, QByteArray> files;
        for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
            files.insert(file.fileName(), read(file.filePath()));
        return files;
    }

    // modutil loads the module to add it; a module built with the sanitizers needs their runtime loaded first, as
    // this test has it.
    static void preloadSanitizerRuntime() {
        QFile maps(QStringLiteral("/proc/self/maps"));
        if (!maps.open(QIODevice::ReadOnly))
            return;
        QByteArrayList runtime;
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const QByteArray path = line.mid(line.indexOf('/'));
            if (line.contains('/') && (path.contains("/libasan.") || path.contains("/libubsan.")) &&
                !runtime.contains(path))
                runtime.append(path);
        }
        if (runtime.isEmpty())
            return;
        // The address sanitizer's runtime must come first.
        std::sort(runtime.begin(), runtime.end(), [](const QByteArray& a, const QByteArray& b) {
            return a.contains("/libasan.") > b.contains("/libasan.");
        });
        qputenv("LD_PRELOAD", runtime.join(' '));
        if (!qgetenv("ASAN_OPTIONS").contains("detect_leaks=0")) // modutil's own leaks are not ours
            qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":detect_leaks=0");
    }

    static QByteArray nssModules(const QString& home) {
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(QStringLiteral("modutil"), {"-dbdir", "sql:" + home + "/.pki/nssdb", "-list"});
        if (!process.waitForFinished(30000))
            qFatal("modutil did not finish");
        return process.readAllStandardOutput();
    }

private Q_SLOTS:
    void absoluteModulePathAsksTheLoader_data() {
        QTest::addColumn<QString>("located");
        QTest::addColumn<QString>("expected");
        // The C library is loaded by a bare name, as a module left to the system search is.
        Dl_info info{};
        // (A function no sanitizer runtime stands in for.)
        QVERIFY(dladdr(reinterpret_cast<void*>(&::gnu_get_libc_version), &info) && info.dli_fname);
        QTest::newRow("bare name of a loaded library") << "libc.so.6" << canonical(QFile::decodeName(info.dli_fname));
        QTest::newRow("bare name of nothing loaded") << "libzv-not-loaded.so" << QString();
        QTest::newRow("absolute path") << QStringLiteral(VTOKEN_MODULE_DIR "/./" VTOKEN_MODULE_FILE)
                                       << canonical(QStringLiteral(VTOKEN_MODULE));
        QTest::newRow("absolute path of no file") << "/nonexistent/libx.so" << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void absoluteModulePathAsksTheLoader() {
        QFETCH(QString, located);
        QTEST(ModuleRegistration::absoluteModulePath(located), "expected");
    }

    // Once for p11-kit and once for NSS, however often it is called; a module file of the user's that names the
    // module already, through a link of its own ($HOME stands for the home folder), counts as registered.
    void registersOnceForUser_data() {
        QTest::addColumn<QByteArray>("existing");
        QTest::newRow("nothing registered") << QByteArray();
        QTest::newRow("named by another file") << QByteArray("# mine\n  module:  $HOME/link.so\n");
    }
    void registersOnceForUser() {
        QFETCH(QByteArray, existing);
        if (QStandardPaths::findExecutable(QStringLiteral("modutil")).isEmpty())
            QSKIP("modutil (libnss3-tools) is not installed");
        preloadSanitizerRuntime();
        QTemporaryDir home;
        QVERIFY(home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("VTOKEN_HOME", QFile::encodeName(home.path()));
        qunsetenv("XDG_CONFIG_HOME");
        const QString folder = home.filePath(QStringLiteral(".config/pkcs11/modules"));
        QMap<QString, QByteArray> expected;
        if (!existing.isEmpty()) {
            existing.replace("$HOME", QFile::encodeName(home.path()));
            QVERIFY(QFile::link(QStringLiteral(VTOKEN_MODULE), home.filePath(QStringLiteral("link.so"))));
            QVERIFY(QDir().mkpath(folder));
            QFile file(folder + "/mine.module");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(existing);
            expected.insert("mine.module", existing);
        } else {
            expected.insert("vtoken-pkcs11.module", "module: " + QFile::encodeName(canonical(VTOKEN_MODULE)) + "\n");
        }
        const QString module = ModuleRegistration::absoluteModulePath(QStringLiteral(VTOKEN_MODULE));
        const QByteArray listed = "library name: " + QFile::encodeName(module) + "\n";

        QVERIFY(!ModuleRegistration::isRegisteredForUser(module));
        ModuleRegistration::registerForUser(module);
        QVERIFY(ModuleRegistration::isRegisteredForUser(module));
        QCOMPARE(p11KitFiles(folder), expected);
        if (existing.isEmpty()) // the folders made are the user's alone
            for (const QString& made : {home.filePath(QStringLiteral(".config")), folder})
                QCOMPARE(QFileInfo(made).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(nssModules(home.path()).count(listed), 1);
        const QByteArray moduleList = read(home.filePath(QStringLiteral(".pki/nssdb/pkcs11.txt")));

        ModuleRegistration::registerForUser(module);
        QCOMPARE(p11KitFiles(folder), expected);
        QCOMPARE(read(home.filePath(QStringLiteral(".pki/nssdb/pkcs11.txt"))), moduleList);
        QCOMPARE(nssModules(home.path()).count(listed), 1);
    }
};

QTEST_GUILESS_MAIN(ModuleRegistrationTest)
#include "ModuleRegistrationTest.moc"
