#include "platform/UserDirectories.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace UserDirectories {

QString appDataDirectory() {
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configHome.isEmpty() && QDir::isAbsolutePath(configHome))
        return QDir::cleanPath(configHome);
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        return {};
    return QDir::cleanPath(home + QStringLiteral("/.config"));
}

QString runtimeDirectory() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return QDir::cleanPath(runtime);

    const QString fallback = QDir::tempPath() + QStringLiteral("/vx7100-%1").arg(::getuid());
    const QByteArray path = QFile::encodeName(fallback);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & 077) != 0)
        return {};
    return fallback;
}

} // namespace UserDirectories
