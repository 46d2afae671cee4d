#pragma once

#include "app/AppInfo.h"
#include "app/LanguageCatalogue.h"
#include "app/UserConfig.h"

class LanguageTable;

// What the start-up reads before the single-instance check, kept for the life of the process.
struct StartupState {
    QString programDirectory; // with a trailing "/"
    TAPPInfo appInfo;
    TUserConfigInfo userConfig;
    TLanguageInfo languages;
    int SelectedLanguage = -1; // catalogue index of the configured language, -1 when none matched
};

// Reads the profile and the user configuration (creating the configuration directory), reads the language
// catalogue and loads the configured language's file into the table; with no match, the first entry's file.
// A second instance runs this too before it finds the first one.
StartupState RunEntrySequence(const QString& programDirectory, LanguageTable& table);
