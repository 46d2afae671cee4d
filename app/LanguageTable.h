#pragma once

#include "app/TextKey.h"

#include <QString>

#include <array>
#include <cstdint>

// The integer settings a language file may carry beside its texts; read with every load, acted on by nothing.
struct LanguageFileSettings {
    int32_t config_Cert_Del = 0;
    int32_t config_Cert_Input = 0;
    int32_t config_Cert_Output = 1;
    int32_t config_Cont_Del = 0;
};

// Every user-visible text of the program: one slot per key, holding the built-in Simplified Chinese default until a
// language file replaces it. Texts are read from the table at the moment of use, never copied ahead.
class LanguageTable {
public:
    static constexpr int KeyCount = static_cast<int>(TextKey::Count);
    static constexpr int BiometricKeyCount = 41;

    enum BiometricWording { SnapshotWording = 0, FingerprintWording = 1, FingerVeinWording = 2 };

    LanguageTable();

    // The process-wide table that the program's windows read.
    static LanguageTable& instance();

    const QString& text(TextKey key) const { return m_texts[static_cast<int>(key)]; }
    void setText(TextKey key, const QString& text) { m_texts[static_cast<int>(key)] = text; }
    const LanguageFileSettings& settings() const { return m_settings; }

    static QString keyName(TextKey key);
    static QString defaultText(TextKey key);
    // What a key missing from a language file becomes: a single blank for some keys, empty text for the others.
    static QString fallbackText(TextKey key);
    // The 41 biometric texts, in the order the wording switch walks them, and their finger-vein wording.
    static const std::array<TextKey, BiometricKeyCount>& biometricKeys();
    static QString fingerVeinText(int biometricIndex);

    // Replaces every text slot from section "Caption" of the file; a key the file lacks takes its fallback text.
    // A file that is missing or unreadable changes nothing.
    void LoadLanguageFile(const QString& path);
    // The language file the texts were last loaded from; empty while the built-in texts are in use.
    const QString& loadedFile() const { return m_loadedFile; }

    // 0 keeps the current biometric texts as the fingerprint wording; 1 brings that wording back; 2 puts the
    // finger-vein wording in place: the language file's ("Vein_" before the key's name), else the built-in one.
    void SwitchBiometricWording(int mode);

private:
    std::array<QString, KeyCount> m_texts;
    QString m_loadedFile;
    std::array<QString, BiometricKeyCount> m_fingerprintWording;
    std::array<QString, BiometricKeyCount> m_fingerVeinWording;
    LanguageFileSettings m_settings;
};

// Shorthand for the current text of a key in the process-wide table.
inline const QString& textOf(TextKey key) {
    return LanguageTable::instance().text(key);
}
