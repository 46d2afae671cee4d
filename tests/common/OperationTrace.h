#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

// Everything the operation log wrote into folder, its daily files one after another.
inline QByteArray readOperationTrace(const QString& folder) {
    QByteArray all;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files, QDir::Name)) {
        QFile log(file.filePath());
        if (log.open(QIODevice::ReadOnly))
            all += log.readAll();
    }
    return all;
}
