#include "app/UserConfig.h"

#include "app/AppInfo.h"
#include "app/IniFile.h"
#include "platform/TextEncoding.h"
#include "platform/UserDirectories.h"

#include <QDir>
#include <QFileInfo>

QString UserConfigDir(const QString& cfgPath) {
    QString directory = UserDirectories::appDataDirectory() + u'/' + QString(cfgPath).replace(u'\\', u'/');
    directory = QDir::cleanPath(directory);
    while (directory.endsWith(u'/'))
        directory.chop(1);
    directory += u'/';
    QDir().mkpath(directory);
    return directory;
}

QString ProgramFilePath(const QString& programDirectory, const QString& cfgPath, const QString& relative,
                        ProgramFileUse use) {
    const QString beside = programDirectory + relative;
    const QString user = UserConfigDir(cfgPath) + relative;
    if (QFileInfo::exists(user))
        return user;
    // An installed program, whose profile is the one in /etc, keeps nothing beside itself, even when it runs as
    // the root user, who could write there: the package owns that directory.
    const bool installed = AppInfoPath(programDirectory) == QLatin1String(InstalledAppInfoPath);
    if (!installed && QFileInfo(QFileInfo(beside).absolutePath()).isWritable())
        return beside;
    if (use == ProgramFileUse::Read && QFileInfo::exists(beside))
        return beside;
    QDir().mkpath(QFileInfo(user).absolutePath());
    return user;
}

int ReadUserConfig(const QString& path, TUserConfigInfo& config) {
    const IniFile ini(path);
    if (!ini.isReadable())
        return 1;
    const QString section = QStringLiteral("UserConfig");
    config.URLOpenMode = ini.readInteger(section, QStringLiteral("URLOpenMode"), 0);
    config.URL = TextEncoding::toLocal8(ini.readString(section, QStringLiteral("URL"), QString()));
    config.BrowserMode = ini.readInteger(section, QStringLiteral("BrowserMode"), 0);
    config.CertTips = ini.readInteger(section, QStringLiteral("CertTips"), 0);
    config.CertDay = ini.readInteger(section, QStringLiteral("CertDay"), 0);
    config.LanguageID = ini.readInteger(section, QStringLiteral("LanguageID"), 0);
    config.DefaultPINMode = ini.readInteger(section, QStringLiteral("DefaultPINMode"), 1);
    return 0;
}
