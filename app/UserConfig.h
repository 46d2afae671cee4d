#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The per-user settings file "UserConfig.ini"; this program reads it and acts on LanguageID only.
struct TUserConfigInfo {
    int32_t URLOpenMode = 0;
    QByteArray URL; // in the locale's 8-bit encoding, as the libraries and the browser launch take it
    int32_t BrowserMode = 0;
    int32_t CertTips = 0;
    int32_t CertDay = 0;
    int32_t LanguageID = 0;
    int32_t DefaultPINMode = 1;
};

inline constexpr char UserConfigFileName[] = "UserConfig.ini";

// The configuration directory below the application-data directory, with exactly one trailing "/"; "\" in CfgPath
// counts as a separator. Created, with its parents, when missing; a failure to create is not reported.
QString UserConfigDir(const QString& cfgPath);

// Where a file that the program keeps beside itself (relative: "Initconfig.ini", "Languages/LanguageConfig.ini") is
// written: the user's configuration directory when a copy is there already, when the program is an installed one
// (no profile of its own beside it) or when its directory cannot be written, else the program directory. It is read
// from the same place, except that a copy the administrator left beside an installed program serves until the user has
// one of their own.
enum class ProgramFileUse { Read, Write };
QString ProgramFilePath(const QString& programDirectory, const QString& cfgPath, const QString& relative,
                        ProgramFileUse use);

// Returns 0 when the file was read (a missing file reads as all defaults) and 1 when it could not be read.
int ReadUserConfig(const QString& path, TUserConfigInfo& config);
