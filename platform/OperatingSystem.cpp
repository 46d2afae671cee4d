#include "platform/OperatingSystem.h"

#include <QFile>
#include <QStringList>

#include <sys/utsname.h>

namespace {

// A value of os-release: unquoted, or in double or single quotes with backslash escapes.
QString unquoted(QString value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
        value = value.mid(1, value.size() - 2);
        QString plain;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == u'\\' && i + 1 < value.size())
                ++i;
            plain += value[i];
        }
        return plain;
    }
    return value;
}

QString kernelRelease() {
    utsname system{};
    return uname(&system) == 0 ? QString::fromLocal8Bit(system.release) : QString();
}

} // namespace

QString OperatingSystem::name(const QString& osRelease, const QString& kernelRelease, bool is64Bit) {
    QString pretty = QStringLiteral("Linux");
    for (const QString& line : osRelease.split(u'\n')) {
        if (line.startsWith(QLatin1String("PRETTY_NAME=")))
            pretty = unquoted(line.mid(12).trimmed());
    }
    const QString release = kernelRelease.isEmpty() ? QString() : u' ' + kernelRelease;
    return pretty + release + (is64Bit ? QStringLiteral(" (x64)") : QStringLiteral(" (x86)"));
}

QString OperatingSystem::name() {
    QString osRelease;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file{QString::fromLatin1(path)};
        if (file.open(QIODevice::ReadOnly)) {
            osRelease = QString::fromUtf8(file.readAll());
            break;
        }
    }
    return name(osRelease, kernelRelease(), is64Bit());
}

bool OperatingSystem::is64Bit() {
    utsname system{};
    if (uname(&system) != 0)
        return sizeof(void*) == 8;
    const QString machine = QString::fromLatin1(system.machine);
    return machine.contains(QLatin1String("64")) || machine == QLatin1String("s390x");
}
