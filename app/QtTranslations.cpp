#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool QtTranslations::follow(int32_t languageId) {
    static QTranslator translator;
    QCoreApplication::removeTranslator(&translator);
    // The catalogue's languages that Qt translates into; Qt's own texts are English already.
    const char* const name = languageId == 2052 ? "qtbase_zh_CN" : languageId == 1028 ? "qtbase_zh_TW" : nullptr;
    if (!name || !translator.load(QLatin1String(name), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}
