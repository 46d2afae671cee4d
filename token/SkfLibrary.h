#pragma once

#include "shared/SkfApi.h"
#include "token/Pin.h"
#include "token/SkfInfo.h"

#include <QLibrary>
#include <QString>

#include <array>
#include <functional>
#include <optional>

// The program's only way to the token's SKF interface and its biometric and remote-unblock extensions, in the
// library that the profile names under SKFLib. The library is loaded once and never linked: each call looks its
// entry point up by name, so a library lacking one function still serves the others. Holds the SKF state of the
// whole program: the devices, their applications, the current application and whose fingers are handled.
// GUI thread only.
class SkfLibrary {
public:
    // Produced by the binding: no library, or the function is not exported; nothing was called.
    static constexpr SKF_ULONG SKF_ENTRY_MISSING = 0x0EEEEEEE;
    // Produced by OpenSkfDevices: the device list is empty.
    static constexpr SKF_ULONG SKF_NO_DEVICE = 100;
    // The token's remote-unblock response area: a longer response is refused, never cut.
    static constexpr int RemoteResponseArea = 65;

    using Sleep = std::function<void(int milliseconds)>;

    // sleep waits between discovery retries; tests pass one that only counts.
    explicit SkfLibrary(Sleep sleep = {});

    // Loads the library once; the outcome is not reported, a missing library makes every call SKF_ENTRY_MISSING.
    void Load(const QString& path);

    // Runs after every SkfDiscover, for the user: the biometric page shows the fingers of the token found.
    void SetBiometricPageRefresh(std::function<void()> refresh) { m_refreshBiometricPage = std::move(refresh); }

    // Composite operations.
    SKF_ULONG OpenSkfDevices();
    SKF_ULONG ListSkfApplications(int device);
    SKF_ULONG GetSkfDevInfo(int device, DEVINFO& info);
    SKF_ULONG GetSkfFingerInfo(HAPPLICATION application, SKF_ULONG pinType, TSkfFingerInfo& info);
    SKF_ULONG SkfDiscover();
    SKF_ULONG SkfQuickOpen();
    void SelectSkfApplication(const QByteArray& tokenSerial);
    // As SelectSkfApplication after SkfQuickOpen, which lists devices without their serial numbers: each device is
    // asked for its own, and the table keeps them. False, the current application unchanged, without a match.
    bool SelectSkfApplicationAskingSerials(const QByteArray& tokenSerial);

    // Pass-throughs on an application.
    SKF_ULONG SKF_VerifyPIN(HAPPLICATION application, SKF_ULONG pinType, const Pin& pin, SKF_ULONG& retryCount);
    SKF_ULONG SKF_InitializeFinger(HAPPLICATION application, SKF_ULONG userRetryCount, SKF_ULONG adminRetryCount,
                                   SKF_ULONG userLevel, SKF_ULONG adminLevel);
    SKF_ULONG SKF_EnrollFingerInit(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger);
    SKF_ULONG SKF_EnrollFinger(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger, SKF_ULONG& progress);
    SKF_ULONG SKF_VerifyFingerInit(HAPPLICATION application, SKF_ULONG pinType);
    SKF_ULONG SKF_TestFinger(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG& finger);
    SKF_ULONG SKF_DeleteFinger(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger);
    SKF_ULONG SKF_UnblockFinger(HAPPLICATION application, SKF_ULONG pinType);
    SKF_ULONG SKF_ClearSecureState(HAPPLICATION application);
    // The whole of response goes to the token, its size as the length.
    SKF_ULONG SKF_RemoteUnblockPIN(HAPPLICATION application, const QByteArray& response);
    // request receives the 8 bytes of the request.
    SKF_ULONG SKF_GenRemoteUnblockRequest(HAPPLICATION application, QByteArray& request);
    // Pass-throughs on a device of the table. deviceType is written only when the call succeeds.
    SKF_ULONG ZKF_GetDeviceCaps(int device, SKF_ULONG& deviceType);
    SKF_ULONG SKF_SetFingerMode(int device, SKF_ULONG samplesPerEnrolment);

    // State.
    const TSkfDevInfo& Devices() const { return m_devices; }
    const TSkfAppInfo& Applications(int device) const { return m_applications.at(size_t(device)); }
    HAPPLICATION CurrentApplication() const { return m_currentApplication; }
    SKF_ULONG FingerPinType() const { return m_fingerPinType; }
    void SetFingerPinType(SKF_ULONG pinType) { m_fingerPinType = pinType; }
    // The record the biometric page and its dialogs share.
    TSkfFingerInfo& FingerInfo() { return m_fingerInfo; }

private:
    template <typename Function, typename... Arguments> SKF_ULONG call(const char* name, Arguments... arguments);
    DEVHANDLE deviceHandle(int device) const;
    void clearDevices();
    // The serial number the device reports; nothing when it cannot be asked.
    std::optional<QByteArray> deviceSerial(int device);
    void makeFirstApplicationCurrent();

    QLibrary m_library;
    Sleep m_sleep;
    std::function<void()> m_refreshBiometricPage;

    TSkfDevInfo m_devices;
    std::array<DEVHANDLE, TSkfDevInfo::Capacity> m_deviceHandles{};
    std::array<TSkfAppInfo, TSkfDevInfo::Capacity> m_applications;
    HAPPLICATION m_currentApplication = nullptr;
    SKF_ULONG m_fingerPinType = SKF_PIN_USER;
    TSkfFingerInfo m_fingerInfo;
};
