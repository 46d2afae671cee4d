#pragma once

#include <cstdint>

// Qt's own texts (the standard buttons, the file dialogs, the context menus of text fields) in the program's
// language: Qt's translations for Chinese, Qt's English for every other language.
namespace QtTranslations {

// Installs the translations of the language with this identifier (2052 Simplified Chinese), or removes them.
// Returns whether Qt now speaks that language; false also when its translations are not installed.
bool follow(int32_t languageId);

// Whether the desktop's own dialogs, which speak the system's language, speak the language last followed (English
// when none was): a native file dialog is only used when they do.
bool desktopSpeaksTheProgramLanguage();

} // namespace QtTranslations
