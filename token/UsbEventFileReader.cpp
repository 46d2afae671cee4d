#include "token/UsbEventFileReader.h"

#include "shared/UsbEventFile.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <utility>

namespace {

constexpr int RetryInterval = 1000;
constexpr qint64 ChunkBytes = 64 * 1024;

} // namespace

UsbEventFileReader::UsbEventFileReader(const QString& folder, Event event)
    : m_folder(folder), m_path(folder + u'/' + QLatin1String(vtoken::UsbEventFileName)), m_event(std::move(event)) {
    m_retry.setInterval(RetryInterval);
    QObject::connect(&m_retry, &QTimer::timeout, &m_retry, [this] { poll(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_watcher, [this] { poll(); });
    QObject::connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_watcher, [this] { poll(); });
    // What the file holds already happened before the program started.
    reopen();
    if (m_file.isOpen())
        m_offset = m_file.size();
    watch();
}

void UsbEventFileReader::poll() {
    if (m_reading) {
        m_again = true;
        return;
    }
    m_reading = true;
    do {
        m_again = false;
        follow();
    } while (m_again);
    m_reading = false;
}

void UsbEventFileReader::follow() {
    // Lines that reached the old file before it was replaced or removed still count, and come first.
    if (m_file.isOpen())
        readLines();
    struct stat named {};
    struct stat opened {};
    const bool exists = ::stat(QFile::encodeName(m_path).constData(), &named) == 0;
    const bool same = m_file.isOpen() && exists && ::fstat(m_file.handle(), &opened) == 0 &&
                      opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
    if (!same) {
        reopen();
        readLines();
    }
    watch();
}

void UsbEventFileReader::reopen() {
    m_file.close();
    m_offset = 0;
    m_skipping = false;
    m_watcher.removePath(m_path);
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return;
    // The watch stays with the file it was set on, so a file put in its place needs a new one.
    m_watcher.addPath(m_path);
}

void UsbEventFileReader::readLines() {
    if (!m_file.isOpen())
        return;
    if (m_file.size() < m_offset) {
        m_offset = 0;
        m_skipping = false;
    }
    for (;;) {
        if (!m_file.seek(m_offset))
            return;
        const QByteArray chunk = m_file.read(ChunkBytes);
        const qint64 start = m_offset;
        qsizetype begin = 0;
        for (qsizetype end = chunk.indexOf('\n'); end >= 0; begin = end + 1, end = chunk.indexOf('\n', begin)) {
            m_offset = start + end + 1;
            if (!std::exchange(m_skipping, false))
                report(chunk.sliced(begin, end - begin));
        }
        // A line already longer than any event is not waited for to its end.
        if (chunk.size() - begin > qsizetype(vtoken::UsbEventLineLimit)) {
            m_skipping = true;
            m_offset = start + chunk.size();
        }
        if (chunk.size() < ChunkBytes)
            return;
    }
}

void UsbEventFileReader::report(const QByteArray& line) {
    static constexpr QByteArrayView Arrival("arrival "), Removal("removal ");
    if (line.size() > qsizetype(vtoken::UsbEventLineLimit) || !line.isValidUtf8())
        return;
    const bool arrival = line.startsWith(Arrival);
    if (!arrival && !line.startsWith(Removal))
        return;
    const QByteArray path = line.sliced(Arrival.size());
    if (!path.isEmpty())
        m_event(arrival, QString::fromUtf8(path));
}

void UsbEventFileReader::watch() {
    if (m_watcher.directories().isEmpty() && QFileInfo(m_folder).isDir())
        m_watcher.addPath(m_folder);
    // Until the folder and the open file are both watched, nothing would call; a timer does.
    const bool watched = !m_watcher.directories().isEmpty() && (!m_file.isOpen() || m_watcher.files().contains(m_path));
    if (watched)
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start();
}
