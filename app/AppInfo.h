#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The application profile "APPInfo.ini" that the installer writes beside the program; this program only reads it.
struct TAPPInfo {
    QString ZovevOduLib;
    QString PKCS11Lib;
    QString CSPLib;
    QString SKFLib;
    QString CSPName;
    QString CSP_RootKey;
    QString CSP_MainKey;
    QString CSP_LanguageKey;
    QString CfgPath;
    QString Plugin;
    QString CloseAPP;
    QString APPName;
    QString OEMID;
    QString USBEnumString;
    QString PID;
    int32_t RegCertMode = 0;
    QString APPMgrName;
    QString APPMonName;
    int32_t FingerRegTimes = 3;
    int32_t FingerStudy = 0;
    // 1 offers the administrator's tools (store registration, token administration); 0 keeps them hidden.
    int32_t AdminTools = 0;
};

// The USB product ids of the product's tokens, from the profile's PID list.
struct ProductIdTable {
    static constexpr int Capacity = 33;
    std::array<int32_t, Capacity> ids{};
    int32_t count = 0;
};

// The installed profile, a configuration file of the package.
inline constexpr char InstalledAppInfoPath[] = "/etc/vx7100-mgr/APPInfo.ini";

// The profile: APPInfo.ini beside the program when there is one (a build tree, a copy of one's own), else the
// installed one.
QString AppInfoPath(const QString& programDirectory);

// Returns 0 when the profile was read (a missing file reads as all defaults) and 1 when the file could not be read;
// fields keep what the record held for every key that was not read.
int ReadAppInfo(const QString& path, TAPPInfo& info);

// Splits the PID text at "|" (blanks around items dropped, a double-quoted item taken whole) and converts each
// item as an integer. Items that are not numbers are skipped and only the first 33 numbers are kept, so a faulty
// profile cannot overrun the table.
void ParseProductIds(const QString& text, ProductIdTable& table);
