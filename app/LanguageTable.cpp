#include "app/LanguageTable.h"

#include "app/IniFile.h"
#include "app/LanguageTableDefaults.h"
#include "app/OwnTexts.h"

#include <QFileInfo>

LanguageTable::LanguageTable() {
    for (int i = 0; i < KeyCount; ++i)
        m_texts[i] = QString::fromUtf8(TextDefaults[i].defaultText);
    m_fingerprintWording.fill(QString());
    for (int i = 0; i < BiometricKeyCount; ++i)
        m_fingerVeinWording[i] = fingerVeinText(i);
}

LanguageTable& LanguageTable::instance() {
    static LanguageTable table;
    return table;
}

QString LanguageTable::keyName(TextKey key) {
    return QString::fromLatin1(TextDefaults[static_cast<int>(key)].name);
}

QString LanguageTable::defaultText(TextKey key) {
    return QString::fromUtf8(TextDefaults[static_cast<int>(key)].defaultText);
}

QString LanguageTable::fallbackText(TextKey key) {
    return TextDefaults[static_cast<int>(key)].blankFallback ? QStringLiteral(" ") : QString();
}

const std::array<TextKey, LanguageTable::BiometricKeyCount>& LanguageTable::biometricKeys() {
    return BiometricKeys;
}

QString LanguageTable::fingerVeinText(int biometricIndex) {
    return QString::fromUtf8(FingerVeinTexts[biometricIndex]);
}

void LanguageTable::LoadLanguageFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        return;
    const IniFile ini(path);
    // A file that exists but cannot be read would otherwise blank every text of the window.
    if (!ini.isReadable())
        return;
    const QString section = QStringLiteral("Caption");
    for (int i = 0; i < KeyCount; ++i) {
        const auto key = static_cast<TextKey>(i);
        m_texts[i] = ini.readString(section, keyName(key), fallbackText(key));
    }
    for (int i = 0; i < BiometricKeyCount; ++i)
        m_fingerVeinWording[i] =
            ini.readString(section, QStringLiteral("Vein_") + keyName(BiometricKeys[i]), fingerVeinText(i));
    m_settings.config_Cert_Del = ini.readInteger(section, QStringLiteral("config_Cert_Del"), 0);
    m_settings.config_Cert_Input = ini.readInteger(section, QStringLiteral("config_Cert_Input"), 0);
    m_settings.config_Cert_Output = ini.readInteger(section, QStringLiteral("config_Cert_Output"), 1);
    m_settings.config_Cont_Del = ini.readInteger(section, QStringLiteral("config_Cont_Del"), 0);
    m_loadedFile = QFileInfo(path).canonicalFilePath();
    // The certificate viewer's texts live in the same file but in a table of their own.
    if (this == &instance())
        OwnTexts::instance().load(ini);
}

void LanguageTable::SwitchBiometricWording(int mode) {
    for (int i = 0; i < BiometricKeyCount; ++i) {
        QString& active = m_texts[static_cast<int>(BiometricKeys[i])];
        switch (mode) {
        case SnapshotWording:
            m_fingerprintWording[i] = active;
            break;
        case FingerprintWording:
            active = m_fingerprintWording[i];
            break;
        case FingerVeinWording:
            active = m_fingerVeinWording[i];
            break;
        default:
            return;
        }
    }
}
