#pragma once

#include <QString>

#include <functional>

// The files of the online update, in the user's update folder: the client configuration (what is installed and
// where to ask), the server configuration fetched from there, the installer, and the update log.
namespace OnlineUpdate {

inline constexpr char ClientConfigName[] = "ClientConfig.txt";
inline constexpr char ServerConfigName[] = "ServerConfig.txt";

// $XDG_CONFIG_HOME/quorvex/VX7100/update/ (else under ~/.config), created when missing; ends with "/". Empty when
// no folder can be made.
QString UpdateFolder();

struct Versions {
    QString client;
    QString server;
    QString installerUrl;
    QString installerSha256; // [URL] UpdateSha256 of the server's file: the installer's digest, when it names one
};

enum ReadResult { Read = 0, NoClientConfig = 2, NoServerConfig = 3 };

// The client's version, then the server's configuration fetched afresh (the old copy deleted first) and its
// version and installer. progress hears the server file's transfer and ends it by answering false.
ReadResult ReadUpdateVersions(Versions& versions, const std::function<bool(qint64 done, qint64 total)>& progress);

// Whether the server's version is newer: plain ordinal comparison of the texts, so 1.10 sorts below 1.9.
bool isNewer(const QString& server, const QString& client);

// Appends "date time：text" with CR LF to the folder's Logs.txt, in the locale's encoding. Returns what went wrong,
// empty when the line was written.
QString WriteUpdateLog(const QString& text);

} // namespace OnlineUpdate
