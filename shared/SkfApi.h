/*
 * The SKF interface (GM/T 0016) as the program calls it: the nineteen entry points it looks up by name in the
 * library that APPInfo.ini names under SKFLib, with their types, the device information record, and the result
 * codes the program tells apart. Seven of the functions are the standard's; the others are the biometric and
 * remote-unblock extensions that token makers add under SKF_ and ZKF_ names. Plain C, so that an SKF library
 * can be built against the very declarations the program uses.
 *
 * Texts are zero-terminated byte strings in the locale's encoding; numbers are 32-bit unsigned. Name lists are
 * names one after another, each ending in a zero byte, the whole list ending in one more zero byte.
 */
#ifndef VX_SKF_API_H
#define VX_SKF_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t SKF_ULONG;
typedef int32_t SKF_BOOL;
typedef void* DEVHANDLE;
typedef void* HAPPLICATION;

#define SKF_PIN_ADMIN 0u
#define SKF_PIN_USER 1u

/* Result codes of GM/T 0016 that the program or the virtual token's SKF library use. */
#define SAR_OK 0x00000000u
#define SAR_FAIL 0x0A000001u
#define SAR_NOTSUPPORTYETERR 0x0A000003u
#define SAR_INVALIDHANDLEERR 0x0A000005u
#define SAR_INVALIDPARAMERR 0x0A000006u
#define SAR_NAMELENERR 0x0A000009u
#define SAR_GENRANDERR 0x0A000012u
#define SAR_BUFFER_TOO_SMALL 0x0A000020u
#define SAR_DEVICE_REMOVED 0x0A000023u
#define SAR_PIN_INCORRECT 0x0A000024u
#define SAR_PIN_LOCKED 0x0A000025u
#define SAR_PIN_INVALID 0x0A000026u
#define SAR_USER_PIN_NOT_INITIALIZED 0x0A000029u
#define SAR_USER_TYPE_INVALID 0x0A00002Au
#define SAR_APPLICATION_NAME_INVALID 0x0A00002Bu
#define SAR_USER_NOT_LOGGED_IN 0x0A00002Du
#define SAR_APPLICATION_NOT_EXISTS 0x0A00002Eu

/* Codes of the biometric extension. */
#define SAR_FINGER_NO_CERT 0x0B000035u        /* the finger is not bound to a certificate */
#define SAR_FINGER_CONTINUE 0x0B000039u       /* in progress: call again (next sample, finger not yet there) */
#define SAR_FINGER_CAPTURE_FAILED 0x0B000040u /* the sensor could not capture or match */
#define SAR_FINGER_EXIST 0x0C000001u          /* the finger is enrolled already */
#define SAR_FINGER_NOT_EXIST 0x0C000002u      /* no such finger is enrolled */

/* Device types that ZKF_GetDeviceCaps reports in its second out value. */
#define ZKF_DEVICE_NO_SENSOR 0u
#define ZKF_DEVICE_FINGERPRINT 2u
#define ZKF_DEVICE_FINGER_VEIN 5u

#define SKF_NAME_LIST_BYTES 4096u
#define SKF_FINGER_LIST_BYTES 255u
#define ZKF_DEVICE_CAPS_BYTES 2052u
#define SKF_REMOTE_REQUEST_BYTES 8u

#pragma pack(push, 1)
typedef struct SKF_VERSION {
    uint8_t major;
    uint8_t minor;
} SKF_VERSION;

typedef struct DEVINFO {
    SKF_VERSION Version;
    char Manufacturer[64];
    char Issuer[64];
    char Label[32];
    char SerialNumber[32];
    SKF_VERSION HWVersion;
    SKF_VERSION FirmwareVersion;
    SKF_ULONG AlgSymCap;
    SKF_ULONG AlgAsymCap;
    SKF_ULONG AlgHashCap;
    SKF_ULONG DevAuthAlgId;
    SKF_ULONG TotalSpace;
    SKF_ULONG FreeSpace;
    SKF_ULONG MaxECCBufferSize;
    SKF_ULONG MaxBufferSize;
    uint8_t Reserved[64];
} DEVINFO;
#pragma pack(pop)

/* The standard's functions. */
typedef SKF_ULONG (*SKF_EnumDev_t)(SKF_BOOL presentOnly, char* nameList, SKF_ULONG* size);
typedef SKF_ULONG (*SKF_ConnectDev_t)(const char* name, DEVHANDLE* device);
typedef SKF_ULONG (*SKF_GetDevInfo_t)(DEVHANDLE device, DEVINFO* info);
typedef SKF_ULONG (*SKF_EnumApplication_t)(DEVHANDLE device, char* nameList, SKF_ULONG* size);
typedef SKF_ULONG (*SKF_OpenApplication_t)(DEVHANDLE device, const char* name, HAPPLICATION* application);
typedef SKF_ULONG (*SKF_VerifyPIN_t)(HAPPLICATION application, SKF_ULONG pinType, const char* pin,
                                     SKF_ULONG* retryCount);
typedef SKF_ULONG (*SKF_ClearSecureState_t)(HAPPLICATION application);

/* The biometric extension. pinType chooses the user's (1) or the administrator's (0) fingers. */
typedef SKF_ULONG (*SKF_InitializeFinger_t)(HAPPLICATION application, SKF_ULONG userRetryCount,
                                            SKF_ULONG adminRetryCount, SKF_ULONG userLevel, SKF_ULONG adminLevel);
typedef SKF_ULONG (*SKF_SetFingerMode_t)(DEVHANDLE device, SKF_ULONG samplesPerEnrolment);
typedef SKF_ULONG (*SKF_EnrollFingerInit_t)(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger);
typedef SKF_ULONG (*SKF_EnrollFinger_t)(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger,
                                        SKF_ULONG* progress);
typedef SKF_ULONG (*SKF_VerifyFingerInit_t)(HAPPLICATION application, SKF_ULONG pinType);
typedef SKF_ULONG (*SKF_TestFinger_t)(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG* finger);
typedef SKF_ULONG (*SKF_DeleteFinger_t)(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger);
/* maximumRetries, level and samples describe the biometric settings; retriesLeft is the remaining retry count.
 * The list holds *listLength bytes on return: ten flags (byte k is 1 when finger k+1 is enrolled) or finger
 * numbers (0 = empty entry). */
typedef SKF_ULONG (*SKF_GetFingerInfo_t)(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG* maximumRetries,
                                         SKF_ULONG* level, SKF_ULONG* samples, SKF_ULONG* retriesLeft, uint8_t* list,
                                         SKF_ULONG* listLength);
typedef SKF_ULONG (*SKF_UnblockFinger_t)(HAPPLICATION application, SKF_ULONG pinType);
/* caps receives ZKF_DEVICE_CAPS_BYTES bytes: the sensor's description as text; capsLength its length. */
typedef SKF_ULONG (*ZKF_GetDeviceCaps_t)(DEVHANDLE device, uint8_t* caps, SKF_ULONG* capsLength, SKF_ULONG* deviceType);

/* The remote unblock: the token draws a request, the issuer answers it, the answer unblocks the user PIN. */
typedef SKF_ULONG (*SKF_GenRemoteUnblockRequest_t)(HAPPLICATION application, uint8_t* request, SKF_ULONG length);
typedef SKF_ULONG (*SKF_RemoteUnblockPIN_t)(HAPPLICATION application, const uint8_t* response, SKF_ULONG length,
                                            SKF_ULONG* retryCount);

#ifdef __cplusplus
}
#endif

#endif
