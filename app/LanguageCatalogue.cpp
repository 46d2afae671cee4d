#include "app/LanguageCatalogue.h"

#include "app/IniFile.h"
#include "app/IntegerText.h"
#include "app/QtTranslations.h"
#include "app/UserConfig.h"

#include <QDir>

int ReadLanguageCatalogue(const QString& path, TLanguageInfo& catalogue) {
    catalogue.entries.clear();
    const IniFile ini(path);
    if (!ini.isReadable())
        return 1;
    for (const QString& section : ini.sectionNames()) {
        if (catalogue.entries.size() == TLanguageInfo::Capacity)
            break;
        catalogue.entries.append({
            ini.readString(section, QStringLiteral("LanguageID"), QStringLiteral("1033")),
            ini.readString(section, QStringLiteral("LnaguageName"), QStringLiteral("English")),
            ini.readString(section, QStringLiteral("LanguageFile"), QStringLiteral("EN_1033.lng")),
            ini.readString(section, QStringLiteral("LanguageCSP"), QString()),
        });
    }
    return 0;
}

std::optional<int32_t> catalogueLanguageId(const TLanguageInfo::Entry& entry) {
    return parseInteger(entry.LanguageID);
}

int findCatalogueLanguage(const TLanguageInfo& catalogue, int32_t configuredLanguage) {
    for (int i = 0; i < catalogue.Count(); ++i)
        if (catalogueLanguageId(catalogue.entries[i]) == configuredLanguage)
            return i;
    return -1;
}

QString languageFilePath(const QString& programDirectory, const QString& languageFile) {
    const QString directory = QDir::cleanPath(programDirectory + u'/' + QLatin1String(LanguagesDirectoryName));
    const QString path = QDir::cleanPath(directory + u'/' + QString(languageFile).replace(u'\\', u'/'));
    if (path != directory && !path.startsWith(directory + u'/'))
        return {};
    return path;
}

QString SwitchLanguageFile(const QString& programDirectory, const QString& cfgPath, int index) {
    const QString directory = programDirectory + QLatin1String(LanguagesDirectoryName) + u'/';
    TLanguageInfo catalogue;
    ReadLanguageCatalogue(directory + QStringLiteral("LanguageInfo.ini"), catalogue);
    if (index < 0 || index >= catalogue.Count())
        return {};
    const auto id = catalogueLanguageId(catalogue.entries[index]);
    if (!id)
        return {};
    IniFile choice(ProgramFilePath(programDirectory, cfgPath,
                                   QLatin1String(LanguagesDirectoryName) + QStringLiteral("/LanguageConfig.ini"),
                                   ProgramFileUse::Write));
    choice.writeInteger(QStringLiteral("Language"), QStringLiteral("LanguageID"), *id);
    choice.save();
    QtTranslations::follow(*id);
    return languageFilePath(programDirectory, catalogue.entries[index].LanguageFile);
}
