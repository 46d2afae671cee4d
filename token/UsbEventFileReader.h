#pragma once

#include <QFile>
#include <QFileSystemWatcher>
#include <QString>
#include <QTimer>

#include <functional>

// Follows the virtual token's event file (see vtoken/UsbEventFile.h) and reports every event written to it after the
// reader started, on the thread that made it, which must run an event loop. The rest of a partial line is waited
// for; a file that was replaced or cut short is read again from its start; lines it cannot read are skipped. The
// folder and the file need not exist yet: a missing folder is looked for every second.
class UsbEventFileReader {
public:
    using Event = std::function<void(bool arrival, const QString& interfacePath)>;

    UsbEventFileReader(const QString& folder, Event event);

private:
    void poll();
    void follow();
    void reopen();
    void readLines();
    void report(const QByteArray& line);
    void watch();

    QString m_folder;
    QString m_path;
    Event m_event;
    QFileSystemWatcher m_watcher;
    QTimer m_retry;
    QFile m_file;
    qint64 m_offset = 0;
    // Inside a line too long to be an event: everything up to its end is dropped.
    bool m_skipping = false;
    // A handler that runs a nested event loop must not bring the reader back in mid-way; the outer pass reads again.
    bool m_reading = false;
    bool m_again = false;
};
