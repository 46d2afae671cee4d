#pragma once

#include "common/TestFiles.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A program directory as an installation leaves it (the language files, APPInfo.ini, the pictures, the token
// library beside the program) and a private virtual-token home, for tests that run the main window on virtual tokens.
class TestProgram {
public:
    TestProgram() {
        // The user's files (configuration, operation log) and the virtual tokens stay inside the test.
        qputenv("HOME", QFile::encodeName(m_tokens.path()));
        qunsetenv("XDG_CONFIG_HOME");
        qputenv("VTOKEN_HOME", QFile::encodeName(m_tokens.path()));
        const QString shipped = QStringLiteral(VX_SOURCE_DIR "/resources/Languages/");
        for (const char* name : {"LanguageInfo.ini", "ZH_2052.lng", "EN_1033.lng"}) {
            QFile file(shipped + QLatin1String(name));
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", name);
            writeFile(QStringLiteral("Languages/") + QLatin1String(name), file.readAll());
        }
        if (!QFile::link(QStringLiteral(ZV_LIBRARY), m_program.filePath(QStringLiteral("libZovevOdu.so"))) ||
            !QFile::link(QStringLiteral(VX_SOURCE_DIR "/resources/res"), m_program.filePath(QStringLiteral("res"))))
            qFatal("cannot link the token library or the pictures");
        writeProfile();
    }

    // Ends with "/", as the main window expects.
    QString directory() const { return m_program.path() + u'/'; }
    QString filePath(const QString& name) const { return m_program.filePath(name); }
    void writeFile(const QString& name, const QByteArray& content) const { writeTestFile(filePath(name), content); }

    // The profile points at the virtual token's modules unless told otherwise; extra lines are added to [APPFlag].
    void writeProfile(const QByteArray& flags = "PID=0x0101|0x0102\n", const QByteArray& pkcs11 = VTOKEN_MODULE,
                      const QByteArray& skf = VTOKEN_SKF_LIBRARY, const QByteArray& cspName = {}) const {
        writeFile(QStringLiteral("APPInfo.ini"), "[APPLib]\nPKCS11Lib=" + pkcs11 + "\nSKFLib=" + skf + "\nCSPName=" +
                                                     cspName + "\n[UserInfo]\nCfgPath=q\n[APPFlag]\n" + flags);
    }

    // Runs the vtoken command; the test stops when it fails.
    static QByteArray vtoken(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(VTOKEN_PROGRAM), arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            qFatal("vtoken %s failed: %s", qPrintable(arguments.join(u' ')),
                   process.readAllStandardError().constData());
        return process.readAllStandardOutput();
    }

private:
    QTemporaryDir m_program;
    QTemporaryDir m_tokens;
};
