#include "platform/SmartCardService.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

bool SmartCardService::running() {
    QByteArray path = qgetenv("PCSCLITE_CSOCK_NAME");
    if (path.isEmpty())
        path = "/run/pcscd/pcscd.comm";
    sockaddr_un address{};
    if (size_t(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    // Connecting is enough: nothing is sent, and pcscd forgets a client that says nothing.
    const bool answered = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return answered;
}

QString SmartCardService::ccidVersion() {
    QFile plist(QStringLiteral(VX_PCSC_DRIVER_DIRECTORY "/ifd-ccid.bundle/Contents/Info.plist"));
    if (!plist.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression version(
        QStringLiteral("<key>CFBundleShortVersionString</key>\\s*<string>([^<]*)</string>"));
    const QRegularExpressionMatch match = version.match(QString::fromUtf8(plist.readAll()));
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}
