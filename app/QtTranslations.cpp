#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

struct QtLanguage {
    int32_t languageId;
    const char* locale;
};

// The catalogue's languages that Qt translates into; Qt's own texts are English already.
constexpr QtLanguage Translated[] = {{2052, "zh_CN"}, {1028, "zh_TW"}};

QLocale followedLocale = QLocale(QLocale::English);

} // namespace

bool QtTranslations::follow(int32_t languageId) {
    static QTranslator translator;
    QCoreApplication::removeTranslator(&translator);
    followedLocale = QLocale(QLocale::English);
    for (const QtLanguage& language : Translated) {
        if (language.languageId != languageId)
            continue;
        followedLocale = QLocale(QLatin1String(language.locale));
        return translator.load(QLatin1String("qtbase_") + QLatin1String(language.locale),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
               QCoreApplication::installTranslator(&translator);
    }
    return false;
}

bool QtTranslations::desktopSpeaksTheProgramLanguage() {
    const QLocale system = QLocale::system();
    return system.language() == followedLocale.language() && system.script() == followedLocale.script();
}
