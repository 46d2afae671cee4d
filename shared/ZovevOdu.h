/*
 * libZovevOdu.so: token management over any PKCS#11 module.
 *
 * A plain C interface: every function returns a signed 32-bit code, 0 for success. Codes of the PKCS#11 module
 * (CKR_*) pass through unchanged; the library's own codes are the ZV_* constants below, all in one range that no
 * CKR_* code uses. Strings are zero-terminated 8-bit text in the locale's encoding (normally UTF-8), except the
 * token label, which is always UTF-8, and the names of helper_get_cert_info2, which are UTF-16.
 *
 * Tokens are addressed by index: the position among the slots that held a token when token_find ran, 0 first.
 * token_connect opens the session that later calls on that token use. The library keeps one parsed certificate file
 * (the last pkcs12_file_parse or p7b_file_parse) whose certificates the get_certinfo and import calls address by
 * index. All calls are serialized by one lock, so several threads may call in.
 *
 * Key usage: 1 key exchange, 2 signature. Key algorithm: 3 EC, 1 RSA. Certificate kind: 0 end entity, 1 root CA,
 * 2 intermediate CA (a self-signed end-entity certificate is kind 0).
 */
#ifndef ZOVEVODU_H
#define ZOVEVODU_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZV_OK 0
#define ZV_ERR_BASE 0x0A000000
#define ZV_ERR_NOT_SUPPORTED (ZV_ERR_BASE + 1)     /* the module cannot do this (no vendor extension, no viewer) */
#define ZV_ERR_NOT_INITIALIZED (ZV_ERR_BASE + 2)   /* init_pkcs11 has not succeeded */
#define ZV_ERR_MODULE_LOAD (ZV_ERR_BASE + 3)       /* the PKCS#11 module could not be loaded */
#define ZV_ERR_ARGUMENTS (ZV_ERR_BASE + 4)         /* a null pointer or a value out of range */
#define ZV_ERR_TOKEN_INDEX (ZV_ERR_BASE + 5)       /* no connected token with that index */
#define ZV_ERR_BUFFER_TOO_SMALL (ZV_ERR_BASE + 6)  /* the caller's buffer cannot hold the result; length says what */
#define ZV_ERR_NO_CONTAINER (ZV_ERR_BASE + 7)      /* no container of that name */
#define ZV_ERR_CONTAINER_EXISTS (ZV_ERR_BASE + 8)  /* a container of that name exists already */
#define ZV_ERR_CONTAINER_NAME (ZV_ERR_BASE + 9)    /* empty, over 64 bytes, a trailing blank */
#define ZV_ERR_NO_OBJECT (ZV_ERR_BASE + 10)        /* the container holds no certificate or key of that usage */
#define ZV_ERR_FILE_UNREADABLE (ZV_ERR_BASE + 11)  /* the file cannot be opened or read, or is over 1 MiB */
#define ZV_ERR_FILE_FORMAT (ZV_ERR_BASE + 12)      /* the file is not a certificate file of that kind */
#define ZV_ERR_WRONG_PASSWORD (ZV_ERR_BASE + 13)   /* the PKCS#12 password is wrong */
#define ZV_ERR_NO_PARSED_FILE (ZV_ERR_BASE + 14)   /* no certificate file has been parsed */
#define ZV_ERR_CERT_INDEX (ZV_ERR_BASE + 15)       /* no certificate with that index in the parsed file */
#define ZV_ERR_CERT_TOO_LARGE (ZV_ERR_BASE + 16)   /* a certificate over 16384 bytes */
#define ZV_ERR_NO_PRIVATE_KEY (ZV_ERR_BASE + 17)   /* the PKCS#12 file holds no key for that certificate */
#define ZV_ERR_CERT_INVALID (ZV_ERR_BASE + 18)     /* the bytes are not an X.509 certificate */
#define ZV_ERR_KEY_UNSUPPORTED (ZV_ERR_BASE + 19)  /* a key type or curve the token does not take */
#define ZV_ERR_CERT_STORE (ZV_ERR_BASE + 20)       /* the user's certificate database refused the certificate */
#define ZV_ERR_KEY_IN_CONTAINER (ZV_ERR_BASE + 21) /* the key is in the container already, for the other usage */
#define ZV_ERR_KEY_MISMATCH (ZV_ERR_BASE + 22)     /* a certificate alone for a usage whose keys are not its own */
#define ZV_ERR_KEY_IN_OTHER_CONTAINER (ZV_ERR_BASE + 23) /* another container holds this key pair or certificate */
#define ZV_ERR_SO_NOT_LOGGED_IN (ZV_ERR_BASE + 24)       /* a format with no SO PIN proven by token_login_so */
#define ZV_ERR_NO_ROOM (ZV_ERR_BASE + 0x30)              /* the token has no room for the objects */
/* A write into containers without the user logged in. 3, the code the program's messages expect; a connected
 * token never gives CKR_SLOT_ID_INVALID, which has the same value. */
#define ZV_ERR_NOT_LOGGED_IN 3
/* A login by finger whose finger the sensor could not take: the SKF code for the same, so callers show both alike. */
#define ZV_ERR_FINGER_CAPTURE_FAILED 0x0B000040

/* What token_get_features tells of a token: bits. ZV_FEATURE_VENDOR_EXTENSION: the module has the vendor
 * extension, so a format sets everything of its block, exact retry counts are known, the label changes without a
 * format, and the CD-ROM partition can be written. Without it a format is a plain PKCS#11 one (see token_format). */
#define ZV_FEATURE_VENDOR_EXTENSION 0x00000001u

/* Library and discovery. init_pkcs11_ex's first three arguments name the product; this library accepts any
 * values, records none of them, and opens the module exactly as init_pkcs11 does. */
int32_t init_pkcs11(const char* pkcs11Path);
int32_t init_pkcs11_ex(const char* usbEnumString, const char* oemId, const char* appName, const char* pkcs11Path);
int32_t uninit_pkcs11(void);
/* buffer (128 bytes) receives the tokens' serial numbers, each zero-terminated; count is the room (at most 32)
 * on entry and the number of tokens found on return. */
int32_t token_find(char* buffer, int32_t* count);
int32_t token_connect(int32_t index);
/* The memory figures are bytes, -1 when the module cannot tell them. The PIN length limits are each PIN's own
 * where the module's vendor extension tells them; plain PKCS#11 has one pair for both PINs. */
int32_t token_get_info_ex(int32_t index, char serial[33], char label[129], char manufacturer[65], char model[65],
                          int32_t* maxPinLength, int32_t* minPinLength, int32_t* maxSoPinLength,
                          int32_t* minSoPinLength, int32_t* totalMemory, int32_t* freeMemory, int32_t* hardwareVersion,
                          int32_t* firmwareVersion, int32_t* initialized, int32_t* sensorKind);
int32_t token_reload_all_objects(int32_t index);
/* features receives ZV_FEATURE_* bits. */
int32_t token_get_features(int32_t index, uint32_t* features);

/* PINs and label. remaining receives the tries left after a failed login (0 = locked). pinType: 1 user, 0 SO.
 * state[6]: remaining, maximum, minimum length, maximum length, locked (1), initialized (1). */
int32_t token_login(int32_t index, const char* pin, int32_t* remaining);
int32_t token_logout(int32_t index);
int32_t token_get_pin_state(int32_t index, int32_t pinType, int32_t state[6]);
int32_t token_change_upin(int32_t index, const char* oldPin, const char* newPin);
int32_t token_login_so(int32_t index, const char* soPin, int32_t* remaining);
int32_t token_change_sopin(int32_t index, const char* oldSoPin, const char* newSoPin);
int32_t token_set_upin(int32_t index, const char* soPin, const char* newUserPin);
int32_t token_set_label(int32_t index, const char label[64]);
/* params: the 166-byte format block: label (32, UTF-8), manufacturer (32), issuer (32), new SO PIN (32), new user
 * PIN (32), then one byte each: user PIN retries, SO PIN retries, user PIN minimum and maximum length, SO PIN
 * minimum and maximum length.
 * The SO PIN that the last token_login_so on this token proved (replaced by the new one of a later successful
 * token_change_sopin) authorizes the format. A failed token_login_so withdraws it, and so do token_connect,
 * token_find and a format that the token refused it for. Without one the format is refused with
 * ZV_ERR_SO_NOT_LOGGED_IN and the token is not touched (no SO PIN try is spent), except on a token that was never
 * initialized, which has no SO PIN to prove.
 *
 * With the vendor extension the module writes the whole block. Without it (ZV_FEATURE_VENDOR_EXTENSION clear) the
 * format is plain PKCS#11: C_InitToken with the authorizing SO PIN (on a token never initialized, the new SO PIN)
 * and the label, then as SO the new SO PIN and the new user PIN. Manufacturer, issuer, retry counts and PIN lengths
 * stay the token's own then; CKR_PIN_LEN_RANGE, before anything is wiped, for a new PIN outside them. */
int32_t token_format(int32_t index, const uint8_t params[166]);
/* Writes 2048-byte sectors of the CD-ROM partition, the user logged in, in chunks of 256 sectors. A chunk that does
 * not lie inside the partition ends the write with the module's code (CKR_ARGUMENTS_BAD); the chunks before it
 * stay written. ZV_ERR_NOT_SUPPORTED without the vendor extension. */
int32_t token_write_sectors(int32_t index, int32_t firstSector, int32_t sectorCount, const uint8_t* data);

/* Containers. container_load_all fills buffer (length bytes on entry) with the names, each followed by a zero
 * byte, and sets length to the bytes used. */
int32_t container_load_all(int32_t index, char* buffer, int32_t* length);
int32_t container_create_new(int32_t index, const char* name);
int32_t container_delete(int32_t index, const char* name);
int32_t container_get_cert(int32_t index, const char* name, int32_t usage, uint8_t* certificate, int32_t* length);
/* key receives the public key as a DER SubjectPublicKeyInfo (length bytes on entry, the bytes used on return). */
int32_t container_get_pubkey(int32_t index, const char* name, int32_t usage, int32_t* algorithm, int32_t* bits,
                             uint8_t* key, int32_t* length);
int32_t container_get_prikey(int32_t index, const char* name, int32_t usage, int32_t* algorithm, int32_t* bits);
int32_t container_delete_cert(int32_t index, const char* name, int32_t usage);
/* Adds the certificate to the user's certificate database (NSS, sql:$HOME/.pki/nssdb) with a nickname that
 * carries the provider name, the container and the usage. */
int32_t container_addcert_to_store(const char* containerName, const char* cspName, int32_t usage,
                                   int32_t certificateLength, const uint8_t* certificate);

/* Certificate files. subject and issuer are 257-byte buffers. */
int32_t pkcs12_file_parse(const char* path, const char* password, int32_t* count);
int32_t pkcs12_file_get_certinfo(int32_t certificateIndex, char subject[257], char issuer[257], int32_t* kind);
int32_t pkcs12_import_certificate(int32_t index, const char* containerName, int32_t usage, int32_t certificateIndex);
int32_t x509_import_certificate(int32_t index, const char* containerName, int32_t usage, const char* path);
int32_t p7b_file_parse(const char* path, int32_t* count);
int32_t p7b_file_get_certinfo(int32_t certificateIndex, char subject[257], char issuer[257], int32_t* kind);
int32_t p7b_import_certificate(int32_t index, const char* containerName, int32_t usage, int32_t certificateIndex);

/* Certificate utilities. Names are UTF-16 in 257 units; the serial is upper-case hexadecimal; dates are nine
 * fields (year, month, day, hour, minute, second, then three zeros) in UTC. */
int32_t helper_get_cert_info2(const uint8_t* certificate, int32_t certificateLength, uint16_t subject[257],
                              uint16_t issuer[257], int32_t* version, char serial[257], int32_t validFrom[9],
                              int32_t validTo[9], int32_t* kind);
/* Shows the certificate in the viewer the program registered; ZV_ERR_NOT_SUPPORTED without one. */
int32_t helper_show_cert_ui(void* owner, const uint8_t* certificate, int32_t certificateLength);
/* storeName: UTF-16 "ROOT" (trusted as a CA) or "CA" (kept without trust). */
int32_t helper_add_root_cert_to_store(const uint16_t* storeName, const uint8_t* certificate, int32_t certificateLength);

/* The program's certificate viewer, which helper_show_cert_ui calls on the caller's thread with the caller's
 * owner window. A null viewer unregisters. */
typedef int32_t (*zv_certificate_viewer)(void* owner, const uint8_t* certificate, int32_t certificateLength);
int32_t helper_register_cert_viewer(zv_certificate_viewer viewer);

#ifdef __cplusplus
}
#endif

#endif
