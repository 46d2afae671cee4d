#include "platform/DefaultBrowser.h"

#include "platform/UserDirectories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace {

constexpr int QueryTimeout = 3000;

QString environmentPath(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? value : fallback;
}

QStringList environmentPaths(const char* name, const QString& fallback) {
    QStringList paths;
    for (const QString& path : qEnvironmentVariable(name, fallback).split(u':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(path))
            paths << path;
    return paths;
}

// The value of key in one group of a desktop entry or mimeapps.list file (QSettings would take the semicolon lists
// apart and stumble on the locale keys).
QString groupValue(const QString& file, const QString& group, const QString& key) {
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    while (!input.atEnd()) {
        const QString line = QString::fromUtf8(input.readLine()).trimmed();
        if (line.startsWith(u'['))
            inGroup = line == u'[' + group + u']';
        else if (inGroup && line.section(u'=', 0, 0).trimmed() == key)
            return line.section(u'=', 1).trimmed();
    }
    return {};
}

// The desktop entry that the mimeapps.list files name first for the scheme's links, in their order of precedence.
QString defaultHandler(const QString& scheme) {
    const QString home = QDir::homePath();
    QStringList lists{UserDirectories::appDataDirectory() + QStringLiteral("/mimeapps.list")};
    for (const QString& dir : environmentPaths("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")))
        lists << dir + QStringLiteral("/mimeapps.list");
    lists << environmentPath("XDG_DATA_HOME", home + QStringLiteral("/.local/share")) +
                 QStringLiteral("/applications/mimeapps.list");
    for (const QString& dir : environmentPaths("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        lists << dir + QStringLiteral("/applications/mimeapps.list");
    for (const QString& list : lists) {
        const QString entries =
            groupValue(list, QStringLiteral("Default Applications"), QStringLiteral("x-scheme-handler/") + scheme);
        if (const QString first = entries.section(u';', 0, 0).trimmed(); !first.isEmpty())
            return first;
    }
    return {};
}

QString desktopEntryFile(const QString& id) {
    const QString home = QDir::homePath();
    QStringList dirs{environmentPath("XDG_DATA_HOME", home + QStringLiteral("/.local/share"))};
    dirs += environmentPaths("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (const QString& dir : dirs)
        if (const QString file = dir + QStringLiteral("/applications/") + id; QFileInfo(file).isFile())
            return file;
    return {};
}

QString query(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("dpkg-query"), arguments);
    if (!process.waitForFinished(QueryTimeout) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The version of the package that installed file, if one did.
QString packageVersion(const QString& file) {
    if (file.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("dpkg-query")).isEmpty())
        return {};
    const QString package = query({QStringLiteral("-S"), file}).section(u':', 0, 0).section(u',', 0, 0).trimmed();
    return package.isEmpty() ? QString() : query({QStringLiteral("-W"), QStringLiteral("-f=${Version}"), package});
}

} // namespace

DefaultBrowser DefaultBrowser::find() {
    DefaultBrowser browser;
    QString handler = defaultHandler(QStringLiteral("https"));
    if (handler.isEmpty())
        handler = defaultHandler(QStringLiteral("http"));
    if (const QString entry = handler.isEmpty() ? QString() : desktopEntryFile(handler); !entry.isEmpty()) {
        browser.name = groupValue(entry, QStringLiteral("Desktop Entry"), QStringLiteral("Name"));
        browser.version = packageVersion(entry);
        return browser;
    }
    const QFileInfo alternative(QStringLiteral("/etc/alternatives/x-www-browser"));
    if (alternative.exists()) {
        const QString program = alternative.canonicalFilePath();
        browser.name = QFileInfo(program).fileName();
        browser.version = packageVersion(program);
    }
    return browser;
}

QString DefaultBrowser::rowText() const {
    return shownName() + QStringLiteral(" Version：") + version;
}

QString DefaultBrowser::checkText() const {
    return shownName() + u' ' + version;
}

QString DefaultBrowser::shownName() const {
    return name.isEmpty() ? QStringLiteral("Web Browser") : name;
}
