#include "app/EntrySequence.h"

#include "app/LanguageTable.h"
#include "app/QtTranslations.h"

StartupState RunEntrySequence(const QString& programDirectory, LanguageTable& table) {
    StartupState state;
    state.programDirectory = programDirectory;
    ReadAppInfo(AppInfoPath(programDirectory), state.appInfo);
    ReadUserConfig(UserConfigDir(state.appInfo.CfgPath) + QLatin1String(UserConfigFileName), state.userConfig);
    const int32_t configuredLanguage = state.userConfig.LanguageID;
    ReadLanguageCatalogue(programDirectory + QLatin1String(LanguagesDirectoryName) +
                              QStringLiteral("/LanguageInfo.ini"),
                          state.languages);

    state.SelectedLanguage = findCatalogueLanguage(state.languages, configuredLanguage);
    const int entry = state.SelectedLanguage >= 0 ? state.SelectedLanguage : 0;
    // With an empty catalogue the name is empty, the path names the directory itself and nothing loads.
    const QString file = entry < state.languages.Count() ? state.languages.entries[entry].LanguageFile : QString();
    const QString path = languageFilePath(programDirectory, file);
    if (!path.isEmpty())
        table.LoadLanguageFile(path);
    if (entry < state.languages.Count())
        QtTranslations::follow(catalogueLanguageId(state.languages.entries[entry]).value_or(0));
    return state;
}
