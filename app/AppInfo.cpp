#include "app/AppInfo.h"

#include <QFileInfo>

#include "app/IniFile.h"
#include "app/IntegerText.h"

#include <QStringList>

namespace {

// The items of a "|"-separated list under the relaxed delimited-text rule: blanks and control characters end an
// item and are skipped between items, a double-quoted item runs to its closing quote ("" inside stands for one
// quote), and a "|" at the very end adds one empty item.
QStringList splitDelimited(QStringView text) {
    const auto isBlank = [](QChar c) { return c.unicode() >= 1 && c.unicode() <= u' '; };
    QStringList items;
    qsizetype p = 0;
    const qsizetype end = text.size();
    while (p < end && isBlank(text[p]))
        ++p;
    while (p < end) {
        QString item;
        if (text[p] == u'"') {
            ++p;
            while (p < end) {
                if (text[p] == u'"') {
                    if (p + 1 < end && text[p + 1] == u'"') {
                        item += u'"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += text[p++];
            }
        } else {
            const qsizetype start = p;
            while (p < end && text[p].unicode() > u' ' && text[p] != u'|')
                ++p;
            item = text.sliced(start, p - start).toString();
        }
        items.append(item);
        while (p < end && isBlank(text[p]))
            ++p;
        if (p < end && text[p] == u'|') {
            if (p + 1 == end)
                items.append(QString());
            do
                ++p;
            while (p < end && isBlank(text[p]));
        }
    }
    return items;
}

} // namespace

QString AppInfoPath(const QString& programDirectory) {
    const QString beside = programDirectory + QStringLiteral("APPInfo.ini");
    return QFileInfo::exists(beside) ? beside : QLatin1String(InstalledAppInfoPath);
}

int ReadAppInfo(const QString& path, TAPPInfo& info) {
    const IniFile ini(path);
    if (!ini.isReadable())
        return 1;
    const auto text = [&ini](const char* section, const char* key) {
        return ini.readString(QLatin1String(section), QLatin1String(key), QString());
    };
    info.ZovevOduLib = text("APPLib", "ZovevOduLib");
    info.PKCS11Lib = text("APPLib", "PKCS11Lib");
    info.CSPLib = text("APPLib", "CSPLib");
    info.SKFLib = text("APPLib", "SKFLib");
    info.CSPName = text("APPLib", "CSPName");
    info.CSP_RootKey = text("CSPLanguage", "CSP_RootKey");
    info.CSP_MainKey = text("CSPLanguage", "CSP_MainKey");
    info.CSP_LanguageKey = text("CSPLanguage", "CSP_LanguageKey");
    info.CfgPath = text("UserInfo", "CfgPath");
    info.Plugin = text("UserInfo", "Plugin");
    info.CloseAPP = text("UserInfo", "CloseAPP");
    info.APPName = text("APPFlag", "APPName");
    info.OEMID = text("APPFlag", "OEMID");
    info.USBEnumString = text("APPFlag", "USBEnumString");
    info.PID = text("APPFlag", "PID");
    info.RegCertMode = ini.readInteger(QStringLiteral("APPFlag"), QStringLiteral("RegCertMode"), 0);
    info.APPMgrName = text("APPFlag", "APPMgrName");
    info.APPMonName = text("APPFlag", "APPMonName");
    info.FingerRegTimes = ini.readInteger(QStringLiteral("APPFlag"), QStringLiteral("FingerRegTimes"), 3);
    info.FingerStudy = ini.readInteger(QStringLiteral("APPFlag"), QStringLiteral("FingerStudy"), 0);
    info.AdminTools = ini.readInteger(QStringLiteral("APPFlag"), QStringLiteral("AdminTools"), 0);
    return 0;
}

void ParseProductIds(const QString& text, ProductIdTable& table) {
    table = ProductIdTable{};
    for (const QString& item : splitDelimited(text)) {
        if (table.count == ProductIdTable::Capacity)
            break;
        if (const auto id = parseInteger(item))
            table.ids[table.count++] = *id;
    }
}
