#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The initialization template: what an administrator gives every token initialized from this workstation. It lives
// in "Initconfig.ini" beside the program, section [InitData], and is rewritten by every successful initialization.
struct TTokenBaseInfo {
    QString LabelName;
    QByteArray manufacture; // the locale's 8-bit encoding, as the token takes it
    QByteArray Issuer;
    QByteArray default_sopin;
    QByteArray default_upin;
    int32_t uPinRetryTimes = 10;
    int32_t soPinRetryTimes = 10;
    int32_t minUPINLen = 4;
    int32_t maxUPINLen = 32;
    int32_t minSOPINLen = 4;
    int32_t maxSOPINLen = 32;
    QByteArray ISOFile;
    int32_t F_AdminRetryTimes = 10;
    int32_t F_AdminLevel = 1;
    int32_t F_UserRetryTimes = 10;
    int32_t F_UserLevel = 1;
};

inline constexpr char InitTemplateFileName[] = "Initconfig.ini";

// 0 when the file was read into info, 1 when it does not exist or cannot be read; keys missing from the file give
// the record's defaults.
int LoadInitTemplate(const QString& path, TTokenBaseInfo& info);
// Writes the sixteen keys in their order, integers in decimal, through a temporary file; false when it failed.
bool SaveInitTemplate(const QString& path, const TTokenBaseInfo& info);
