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
