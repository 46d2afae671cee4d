#pragma once

#include "app/LanguageTable.h"

#include <array>

struct TextDefault {
    const char* name;
    const char* defaultText; // UTF-8
    bool blankFallback;
};

// Indexed by TextKey.
extern const std::array<TextDefault, LanguageTable::KeyCount> TextDefaults;
extern const std::array<TextKey, LanguageTable::BiometricKeyCount> BiometricKeys;
// Indexed like BiometricKeys; no language file replaces these.
extern const std::array<const char*, LanguageTable::BiometricKeyCount> FingerVeinTexts;
