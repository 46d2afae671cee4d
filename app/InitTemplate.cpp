#include "app/InitTemplate.h"

#include "app/IniFile.h"
#include "platform/TextEncoding.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString Section = QStringLiteral("InitData");

} // namespace

int LoadInitTemplate(const QString& path, TTokenBaseInfo& info) {
    if (!QFileInfo(path).isFile())
        return 1;
    const IniFile ini(path);
    if (!ini.isReadable())
        return 1;
    const auto text = [&](const char* key) { return ini.readString(Section, QLatin1String(key), QString()); };
    const auto bytes = [&](const char* key) { return TextEncoding::toLocal8(text(key)); };
    const auto number = [&](const char* key, int32_t fallback) {
        return ini.readInteger(Section, QLatin1String(key), fallback);
    };
    const TTokenBaseInfo defaults;
    info.LabelName = text("LabelName");
    info.manufacture = bytes("manufacture");
    info.Issuer = bytes("Issuer");
    info.default_sopin = bytes("default_sopin");
    info.default_upin = bytes("default_upin");
    info.uPinRetryTimes = number("uPinRetryTimes", defaults.uPinRetryTimes);
    info.soPinRetryTimes = number("soPinRetryTimes", defaults.soPinRetryTimes);
    info.minUPINLen = number("minUPINLen", defaults.minUPINLen);
    info.maxUPINLen = number("maxUPINLen", defaults.maxUPINLen);
    info.minSOPINLen = number("minSOPINLen", defaults.minSOPINLen);
    info.maxSOPINLen = number("maxSOPINLen", defaults.maxSOPINLen);
    info.ISOFile = bytes("ISOFile");
    info.F_AdminRetryTimes = number("F_AdminRetryTimes", defaults.F_AdminRetryTimes);
    info.F_AdminLevel = number("F_AdminLevel", defaults.F_AdminLevel);
    info.F_UserRetryTimes = number("F_UserRetryTimes", defaults.F_UserRetryTimes);
    info.F_UserLevel = number("F_UserLevel", defaults.F_UserLevel);
    return 0;
}

bool SaveInitTemplate(const QString& path, const TTokenBaseInfo& info) {
    // The whole file is the template, in this order: nothing of an older one is kept.
    IniFile ini{QString()};
    const auto text = [&](const char* key, const QString& value) {
        ini.writeString(Section, QLatin1String(key), value);
    };
    const auto bytes = [&](const char* key, const QByteArray& value) { text(key, TextEncoding::fromLocal8(value)); };
    const auto number = [&](const char* key, int32_t value) { ini.writeInteger(Section, QLatin1String(key), value); };
    text("LabelName", info.LabelName);
    bytes("manufacture", info.manufacture);
    bytes("Issuer", info.Issuer);
    bytes("default_sopin", info.default_sopin);
    bytes("default_upin", info.default_upin);
    number("uPinRetryTimes", info.uPinRetryTimes);
    number("soPinRetryTimes", info.soPinRetryTimes);
    number("minUPINLen", info.minUPINLen);
    number("maxUPINLen", info.maxUPINLen);
    number("minSOPINLen", info.minSOPINLen);
    number("maxSOPINLen", info.maxSOPINLen);
    bytes("ISOFile", info.ISOFile);
    number("F_AdminRetryTimes", info.F_AdminRetryTimes);
    number("F_AdminLevel", info.F_AdminLevel);
    number("F_UserRetryTimes", info.F_UserRetryTimes);
    number("F_UserLevel", info.F_UserLevel);
    QSaveFile file(path);
    return ini.saveTo(file);
}
