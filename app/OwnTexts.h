#pragma once

#include <QString>

#include <array>

class IniFile;

// The texts that the text table has no keys for: the certificate viewer's ("Viewer_"), the finger study dialog's and
// the biometric page's own ("Study_"), and the online update's ("Update_"). Keys of their own beside the 256 of the
// text table, read from the same section "Caption" of the language files.
enum class OwnKey : int {
    Viewer_Title,
    Viewer_General,
    Viewer_Details,
    Viewer_Information,
    Viewer_Purposes,
    Viewer_IssuedTo,
    Viewer_IssuedBy,
    Viewer_ValidFrom,
    Viewer_ValidTo,
    Viewer_Expired,
    Viewer_NotYetValid,
    Viewer_Field,
    Viewer_Value,
    Viewer_CopyToFile,
    Viewer_OK,
    Viewer_SaveCaption,
    Viewer_SaveFilter,
    Viewer_SaveFailed,
    Viewer_Version,
    Viewer_SerialNumber,
    Viewer_SignatureAlgorithm,
    Viewer_SignatureHash,
    Viewer_Issuer,
    Viewer_Subject,
    Viewer_PublicKey,
    Viewer_PublicKeyValue,
    Viewer_Thumbprint,
    Viewer_Critical,
    Viewer_BasicConstraints,
    Viewer_KeyUsage,
    Viewer_ExtendedKeyUsage,
    Viewer_SubjectKeyId,
    Viewer_AuthorityKeyId,
    Viewer_SubjectAltName,
    Viewer_IssuerAltName,
    Viewer_CrlDistributionPoints,
    Viewer_AuthorityInfoAccess,
    Viewer_CertificatePolicies,
    Viewer_ServerAuth,
    Viewer_ClientAuth,
    Viewer_CodeSigning,
    Viewer_SecureEmail,
    Viewer_TimeStamping,
    Viewer_OcspSigning,
    Viewer_AllPurposes,
    Viewer_DigitalSignature,
    Viewer_NonRepudiation,
    Viewer_KeyEncipherment,
    Viewer_DataEncipherment,
    Viewer_KeyAgreement,
    Viewer_CertificateSigning,
    Viewer_CrlSigning,
    Viewer_EncipherOnly,
    Viewer_DecipherOnly,
    Study_Title,
    Study_Adjust,
    Study_Prompt,
    Study_Close,
    Study_Again,
    Study_Closing,
    Study_Passed,
    Study_Done,
    Study_NotMatched,
    Study_NoCertificate,
    Study_TestFailed,
    Study_Exists,
    Study_NotEnrolled,
    Study_VendorTool,
    Update_NoLogFolder,
    Count
};

class OwnTexts {
public:
    static constexpr int KeyCount = static_cast<int>(OwnKey::Count);

    OwnTexts();

    // The process-wide table; LanguageTable::LoadLanguageFile on the process-wide text table fills it too.
    static OwnTexts& instance();

    const QString& text(OwnKey key) const { return m_texts[static_cast<int>(key)]; }
    static QString keyName(OwnKey key);
    static QString defaultText(OwnKey key);

    // Replaces every text from section "Caption". A key the file lacks takes its built-in text: language files
    // written before these keys existed know none of them, and a blank dialog would help nobody.
    void load(const IniFile& file);

private:
    std::array<QString, KeyCount> m_texts;
};

inline const QString& ownText(OwnKey key) {
    return OwnTexts::instance().text(key);
}
