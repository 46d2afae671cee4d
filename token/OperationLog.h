#pragma once

#include "token/Pin.h"

#include <QDateTime>
#include <QString>

#include <functional>

// The daily trace of every token-library call: "QV_MonLog" + yyyymmdd + ".txt" in the log folder, one line per
// begin and end of a call, time of day first. The program never creates the folder: the trace stays off until
// somebody makes it. A line that cannot be written is dropped without a word; the call goes on.
class OperationLog {
public:
    using Clock = std::function<QDateTime()>;

    // $HOME/KeyLog.
    static QString defaultFolder();

    explicit OperationLog(QString folder = defaultFolder(), Clock clock = &QDateTime::currentDateTime);

    void WriteOperationLog(const QString& line) const;

    // What a begin line shows in place of a PIN, an SO PIN or a password: anyone may read the log.
    static constexpr char SecretMask[] = "***";
    static QString shown(const Pin&) { return QLatin1String(SecretMask); }

private:
    QString m_folder;
    Clock m_clock;
};
