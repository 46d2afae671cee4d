#include "app/OnlineUpdate.h"

#include "app/IniFile.h"
#include "app/MessageFormat.h"
#include "app/OwnTexts.h"
#include "platform/Download.h"
#include "platform/TextEncoding.h"
#include "platform/UserDirectories.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

QString OnlineUpdate::UpdateFolder() {
    const QString base = UserDirectories::appDataDirectory();
    if (base.isEmpty())
        return {};
    const QString folder = base + QStringLiteral("/quorvex/VX7100/update/");
    return QDir().mkpath(folder) ? folder : QString();
}

OnlineUpdate::ReadResult OnlineUpdate::ReadUpdateVersions(Versions& versions,
                                                          const std::function<bool(qint64, qint64)>& progress) {
    versions.client.clear();
    versions.server.clear();
    const QString folder = UpdateFolder();
    const QString client = folder + QLatin1String(ClientConfigName);
    if (folder.isEmpty() || !QFileInfo::exists(client))
        return NoClientConfig;
    const IniFile clientConfig(client);
    versions.client = clientConfig.readString(QStringLiteral("Mgr"), QStringLiteral("Version"), QString());
    const QString versionFile =
        clientConfig.readString(QStringLiteral("URL"), QStringLiteral("VersionFile"), QString());
    // Fetched on every check: an old copy never stands in for the server's answer.
    const QString server = folder + QLatin1String(ServerConfigName);
    QFile::remove(server);
    if (versionFile.isEmpty() || Download::fetch(versionFile, server, progress).code != 0 || !QFileInfo::exists(server))
        return NoServerConfig;
    const IniFile serverConfig(server);
    versions.server = serverConfig.readString(QStringLiteral("Mgr"), QStringLiteral("Version"), QString());
    versions.installerUrl = serverConfig.readString(QStringLiteral("URL"), QStringLiteral("UpdateFile"), QString());
    versions.installerSha256 =
        serverConfig.readString(QStringLiteral("URL"), QStringLiteral("UpdateSha256"), QString()).toLower();
    return Read;
}

bool OnlineUpdate::isNewer(const QString& server, const QString& client) {
    return QString::compare(server, client, Qt::CaseSensitive) > 0;
}

QString OnlineUpdate::WriteUpdateLog(const QString& text) {
    const QString folder = UpdateFolder();
    if (folder.isEmpty())
        return ownText(OwnKey::Update_NoLogFolder).arg(UserDirectories::appDataDirectory());
    const QByteArray line = TextEncoding::toLocal8(ShortDateLongTime(QDateTime::currentDateTime()) +
                                                   QStringLiteral("：") + text + QStringLiteral("\r\n"));
    QFile log(folder + QStringLiteral("Logs.txt"));
    if (!log.open(QIODevice::Append) || log.write(line) != line.size() || !log.flush())
        return log.errorString();
    return {};
}
