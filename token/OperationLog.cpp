#include "token/OperationLog.h"

#include "platform/TextEncoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Labels and container names come from tokens: a line break in one would plant a line of its own in the trace.
QString escapedControls(const QString& line) {
    QString escaped;
    escaped.reserve(line.size());
    for (const QChar character : line) {
        if (character.unicode() < 0x20 || character.unicode() == 0x7F)
            escaped +=
                QStringLiteral("\\x") + QString::number(character.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            escaped += character;
    }
    return escaped;
}

} // namespace

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
    file.write(TextEncoding::toLocal8(now.time().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("> ") +
                                      escapedControls(line) + QStringLiteral("\r\n")));
}
