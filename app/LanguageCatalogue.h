#pragma once

#include <QList>
#include <QString>

#include <optional>

// The languages listed in "Languages/LanguageInfo.ini": one section per language, in file order.
struct TLanguageInfo {
    static constexpr int Capacity = 129;
    struct Entry {
        QString LanguageID; // numeric identifier, kept as written
        QString LnaguageName;
        QString LanguageFile; // relative to the Languages directory
        QString LanguageCSP;
    };
    QList<Entry> entries; // at most Capacity; further sections are ignored

    int Count() const { return static_cast<int>(entries.size()); }
};

inline constexpr char LanguagesDirectoryName[] = "Languages";

// Returns 0 when the catalogue was read (a missing file reads as empty) and 1 when it could not be read.
int ReadLanguageCatalogue(const QString& path, TLanguageInfo& catalogue);

// The entry's identifier as a number; nothing when it is not a whole number, and such an entry never matches.
std::optional<int32_t> catalogueLanguageId(const TLanguageInfo::Entry& entry);

// Index of the first entry whose identifier equals the configured language, or -1.
int findCatalogueLanguage(const TLanguageInfo& catalogue, int32_t configuredLanguage);

// The full path of a language file named in the catalogue. Empty when the name leads out of the Languages directory
// (for example "../../x"): the catalogue is data, and may not make the program read files elsewhere.
QString languageFilePath(const QString& programDirectory, const QString& languageFile);

// The run-time language switch: reads the catalogue afresh, writes entry index's identifier as the remembered
// choice in "Languages/LanguageConfig.ini" (where ProgramFilePath puts it) and returns the path of that entry's
// language file. Empty, and nothing written, when there is no such entry or its identifier is not a whole number.
QString SwitchLanguageFile(const QString& programDirectory, const QString& cfgPath, int index);
