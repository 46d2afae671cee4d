/*
 * What plain PKCS#11 cannot do for a token manager: exact PIN retry counts, a label change that keeps the
 * token's content, a format with parameters, the CD-ROM partition and a login by finger. A module that can do
 * these exports one function under the name VX_VENDOR_EXTENSION_SYMBOL; libZovevOdu.so looks it up after loading
 * the module and works without it (reporting "not supported") when it is absent.
 *
 * The functions follow PKCS#11 conventions: they return CKR_* codes, must be called between C_Initialize and
 * C_Finalize, and take the module's slot and session handles. A minor version adds members at the end of the
 * table only: a caller reads a member only when the module's minor version is at least the one that added it.
 */
#ifndef VX_VENDOR_EXTENSION_H
#define VX_VENDOR_EXTENSION_H

#include <p11-kit/pkcs11.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VX_VENDOR_EXTENSION_SYMBOL "VX_GetVendorExtension"
#define VX_VENDOR_EXTENSION_VERSION_MAJOR 1
#define VX_VENDOR_EXTENSION_VERSION_MINOR 1

/* Returned by BiometricLogin when the token holds no finger of that user. */
#define VX_CKR_FINGER_NOT_ENROLLED (CKR_VENDOR_DEFINED | 0x5658001UL)
/* Returned by BiometricLogin when the finger presented did not match (a retry was counted). */
#define VX_CKR_FINGER_NOT_MATCHED (CKR_VENDOR_DEFINED | 0x5658002UL)
/* Returned by BiometricLogin when the sensor could not take the finger, or none came in time (no retry counted). */
#define VX_CKR_FINGER_CAPTURE_FAILED (CKR_VENDOR_DEFINED | 0x5658003UL)

/* The retry state of one PIN. */
typedef struct VX_PIN_STATE {
    CK_ULONG remaining; /* tries left before the PIN locks */
    CK_ULONG maximum;   /* tries a correct PIN restores */
    CK_BBOOL locked;    /* no try left */
} VX_PIN_STATE;

/* Everything a format writes; texts are zero-terminated. */
typedef struct VX_FORMAT_PARAMS {
    CK_UTF8CHAR label[33];        /* at most 32 bytes of UTF-8 */
    CK_UTF8CHAR manufacturer[33]; /* shown as the token's manufacturer */
    CK_UTF8CHAR issuer[33];       /* free text of the issuing organisation */
    CK_UTF8CHAR soPin[33];        /* the new SO PIN */
    CK_UTF8CHAR userPin[33];      /* the new user PIN */
    CK_ULONG userPinRetries;      /* 1 to 15 */
    CK_ULONG soPinRetries;        /* 1 to 15 */
    CK_ULONG userPinMinLength;    /* 4 to maximum */
    CK_ULONG userPinMaxLength;    /* at most 32 */
    CK_ULONG soPinMinLength;
    CK_ULONG soPinMaxLength;
} VX_FORMAT_PARAMS;

typedef struct VX_VENDOR_EXTENSION {
    CK_VERSION version;

    /* The retry state of the user PIN (CKU_USER) or the SO PIN (CKU_SO). */
    CK_RV (*GetPinState)(CK_SLOT_ID slot, CK_USER_TYPE user, VX_PIN_STATE* state);

    /* Renames the token and keeps everything on it. Like the label printed on a case, it needs no PIN: a token
     * manager renames tokens for their holders. CKR_ARGUMENTS_BAD for an empty label or one over 32 bytes. */
    CK_RV (*SetTokenLabel)(CK_SLOT_ID slot, const CK_UTF8CHAR* label, CK_ULONG labelLength);

    /* Wipes every object and writes the parameters; the serial and the CD-ROM partition stay. The current SO PIN
     * is checked first, and counts a retry when wrong, unless the token has never been initialized (its SO PIN
     * is then the factory one, and none is asked). Sessions of the calling application on the token stay open
     * and are logged out. CKR_PIN_LEN_RANGE when a new PIN does not fit its own limits. */
    CK_RV(*FormatToken)
    (CK_SLOT_ID slot, const CK_UTF8CHAR* currentSoPin, CK_ULONG currentSoPinLength, const VX_FORMAT_PARAMS* params);

    /* The size of the CD-ROM partition in 2048-byte sectors; 0 when the token has none. */
    CK_RV (*GetCdromInfo)(CK_SLOT_ID slot, CK_ULONG* sectorCount);

    /* Writes count sectors of 2048 bytes from first on. The session must be logged in as the user.
     * CKR_ARGUMENTS_BAD when the sectors do not lie inside the partition; nothing is written then. */
    CK_RV (*WriteCdromSectors)(CK_SESSION_HANDLE session, CK_ULONG first, CK_ULONG count, const CK_BYTE* data);

    /* Logs the session in as user or SO by a finger on the token's sensor, like C_Login through the protected
     * authentication path. Waits for the finger. CKR_PIN_LOCKED once the biometric retry counter is spent. */
    CK_RV (*BiometricLogin)(CK_SESSION_HANDLE session, CK_USER_TYPE user);

    /* Since 1.1. The length limits of the user PIN (CKU_USER) or the SO PIN (CKU_SO), in bytes. C_GetTokenInfo
     * has one pair of limits for both PINs, and tells the user PIN's. */
    CK_RV (*GetPinLengths)(CK_SLOT_ID slot, CK_USER_TYPE user, CK_ULONG* minLength, CK_ULONG* maxLength);
} VX_VENDOR_EXTENSION;

typedef CK_RV (*VX_GetVendorExtension_t)(const VX_VENDOR_EXTENSION** extension);

#ifdef __cplusplus
}
#endif

#endif
