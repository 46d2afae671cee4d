#include "token/OperationLog.h"

#include "platform/TextEncoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString OperationLog::defaultFolder() {
    return QDir::homePath() + QStringLiteral("/KeyLog");
}

OperationLog::OperationLog(QString folder, Clock clock) : m_folder(std::move(folder)), m_clock(std::move(clock)) {}

void OperationLog::WriteOperationLog(const QString& line) const {
    if (!QFileInfo(m_folder).isDir())
        return;
    // The date is taken at each line, so a call either side of midnight goes to two files.
    const QDateTime now = m_clock();
    QFile file(m_folder + QStringLiteral("/QV_MonLog") + now.date().toString(QStringLiteral("yyyyMMdd")) +
               QStringLiteral(".txt"));
    // Created readable by its owner only: the trace names containers, files and tokens.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return;
    file.write(TextEncoding::toLocal8(now.time().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("> ") + line +
                                      QStringLiteral("\r\n")));
}
