#include "platform/LibraryLocation.h"

#include <QDir>
#include <QFileInfo>

QString LibraryLocation(const QString& programDirectory, const QString& name) {
    const QString path = QString(name).replace(u'\\', u'/');
    if (path.isEmpty() || QDir::isAbsolutePath(path))
        return path;
    const QString beside = QDir(programDirectory).filePath(path);
    return QFileInfo::exists(beside) ? beside : path;
}

QString NativeLibraryDirectory() {
    const QString directory = QStringLiteral("/usr/lib/" VX_LIBRARY_ARCHITECTURE);
    return QFileInfo(directory).isDir() ? directory : QStringLiteral("/usr/lib");
}

QString ThirtyTwoBitLibraryDirectory() {
    if (sizeof(void*) != 8)
        return {};
    const QString directory = QStringLiteral("/usr/lib/i386-linux-gnu");
    return QFileInfo(directory).isDir() ? directory : QString();
}

QString InstalledLibrary(const QString& programDirectory, const QString& name, const QString& directory) {
    QString path =
        programDirectory.isEmpty() ? QString(name).replace(u'\\', u'/') : LibraryLocation(programDirectory, name);
    if (path.isEmpty())
        return {};
    if (!QDir::isAbsolutePath(path)) {
        if (directory.isEmpty())
            return {};
        path = QDir(directory).filePath(path);
    }
    return QFileInfo(path).isFile() ? path : QString();
}
