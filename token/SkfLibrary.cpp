#include "token/SkfLibrary.h"

#include "platform/TextEncoding.h"

#include <QThread>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int DeviceRetryWait = 1000;
constexpr int ApplicationRetryWait = 100;
constexpr int RemoteRequestBuffer = 32;
constexpr qsizetype SerialCompared = 16;

// A device's serial and a token's are compared on their first 16 bytes.
bool sameSerial(const QByteArray& device, const QByteArray& token) {
    return device.left(SerialCompared) == token.left(SerialCompared);
}

// The names of an SKF name list: zero bytes separate, empty pieces are dropped, blanks belong to the names. Only
// the reported length counts, and never more than the buffer holds, whatever the library claims.
std::vector<QByteArray> splitNames(const QByteArray& buffer, SKF_ULONG size) {
    std::vector<QByteArray> names;
    for (const QByteArray& piece : buffer.first(qsizetype(std::min<SKF_ULONG>(size, SKF_NAME_LIST_BYTES))).split('\0'))
        if (!piece.isEmpty())
            names.push_back(piece);
    return names;
}

// A DEVINFO text field: up to its first zero byte, never beyond the field.
template <size_t Size> QByteArray fieldText(const char (&field)[Size]) {
    return QByteArray(field, qsizetype(std::find(field, field + Size, '\0') - field));
}

} // namespace

SkfLibrary::SkfLibrary(Sleep sleep)
    : m_sleep(sleep ? std::move(sleep) : Sleep([](int milliseconds) { QThread::msleep(ulong(milliseconds)); })) {}

void SkfLibrary::Load(const QString& path) {
    if (m_library.isLoaded() || path.isEmpty())
        return;
    m_library.setFileName(path);
    m_library.load();
}

template <typename Function, typename... Arguments>
SKF_ULONG SkfLibrary::call(const char* name, Arguments... arguments) {
    // Looked up at every call: QLibrary::resolve would load a library that is not loaded, and a library that was
    // missing at start stays missing for the whole run.
    if (!m_library.isLoaded())
        return SKF_ENTRY_MISSING;
    const auto function = reinterpret_cast<Function>(m_library.resolve(name));
    return function ? function(arguments...) : SKF_ENTRY_MISSING;
}

#define VX_SKF_CALL(name, ...) call<name##_t>(#name __VA_OPT__(, ) __VA_ARGS__)

DEVHANDLE SkfLibrary::deviceHandle(int device) const {
    return device >= 0 && device < TSkfDevInfo::Capacity ? m_deviceHandles[size_t(device)] : nullptr;
}

// Nothing of an earlier discovery survives a new one, whatever it finds: not a device, nor a handle, nor the
// current application.
void SkfLibrary::clearDevices() {
    m_devices = TSkfDevInfo();
    m_deviceHandles.fill(nullptr);
    m_applications.fill(TSkfAppInfo());
    m_currentApplication = nullptr;
}

void SkfLibrary::makeFirstApplicationCurrent() {
    m_currentApplication = m_applications[0].handles[0];
    m_fingerPinType = SKF_PIN_USER;
}

SKF_ULONG SkfLibrary::OpenSkfDevices() {
    QByteArray buffer(SKF_NAME_LIST_BYTES, '\0');
    SKF_ULONG size = SKF_NAME_LIST_BYTES;
    SKF_ULONG rv = VX_SKF_CALL(SKF_EnumDev, SKF_BOOL(1), buffer.data(), &size);
    if (rv == SKF_ENTRY_MISSING)
        return rv;
    // Only the list tells whether there are devices; the code is that of the last call, the enumeration's when
    // no device was connected.
    if (size < 1)
        return SKF_NO_DEVICE;
    const std::vector<QByteArray> names = splitNames(buffer, size);
    m_devices.count = uint32_t(std::min<size_t>(names.size(), TSkfDevInfo::Capacity));
    for (uint32_t i = 0; i < m_devices.count; ++i) {
        m_devices.names[i] = names[i];
        rv = VX_SKF_CALL(SKF_ConnectDev, names[i].constData(), &m_deviceHandles[i]);
        if (rv != 0)
            return rv; // later names are not stored; the count still counts them
    }
    return rv;
}

SKF_ULONG SkfLibrary::ListSkfApplications(int device) {
    if (device < 0 || device >= TSkfDevInfo::Capacity)
        return SAR_INVALIDPARAMERR;
    TSkfAppInfo& applications = m_applications[size_t(device)];
    QByteArray buffer(SKF_NAME_LIST_BYTES, '\0');
    SKF_ULONG size = SKF_NAME_LIST_BYTES;
    if (const SKF_ULONG rv = VX_SKF_CALL(SKF_EnumApplication, deviceHandle(device), buffer.data(), &size); rv != 0)
        return rv;
    if (size < 1)
        return 0;
    const std::vector<QByteArray> names = splitNames(buffer, size);
    applications.count = uint32_t(std::min<size_t>(names.size(), TSkfAppInfo::Capacity));
    SKF_ULONG rv = 0;
    for (uint32_t i = 0; i < applications.count; ++i) {
        applications.names[i] = names[i];
        // A failed open does not stop the others; the last one decides.
        rv = VX_SKF_CALL(SKF_OpenApplication, deviceHandle(device), names[i].constData(), &applications.handles[i]);
    }
    return rv;
}

std::optional<QByteArray> SkfLibrary::deviceSerial(int device) {
    DEVINFO info{};
    if (GetSkfDevInfo(device, info) != 0)
        return std::nullopt;
    return fieldText(info.SerialNumber);
}

SKF_ULONG SkfLibrary::GetSkfDevInfo(int device, DEVINFO& info) {
    return VX_SKF_CALL(SKF_GetDevInfo, deviceHandle(device), &info);
}

SKF_ULONG SkfLibrary::GetSkfFingerInfo(HAPPLICATION application, SKF_ULONG pinType, TSkfFingerInfo& info) {
    SKF_ULONG length = SKF_FINGER_LIST_BYTES;
    // A failed call leaves an empty list of the full length, not the form of an earlier answer.
    info.listLength = SKF_FINGER_LIST_BYTES;
    info.list.fill(0);
    info.enrolledCount = 0;
    const SKF_ULONG rv = VX_SKF_CALL(SKF_GetFingerInfo, application, pinType, &info.outputs[0], &info.outputs[1],
                                     &info.outputs[2], &info.outputs[3], info.list.data(), &length);
    if (rv != 0)
        return rv;
    // A short list is the ten-finger form; a model with a long list says so by a length of 100 or more.
    info.listLength = length < 100 ? 10 : std::min<SKF_ULONG>(length, SKF_FINGER_LIST_BYTES);
    info.enrolledCount = uint32_t(
        std::count_if(info.list.begin(), info.list.begin() + info.listLength, [](uint8_t byte) { return byte != 0; }));
    return 0;
}

SKF_ULONG SkfLibrary::SkfDiscover() {
    clearDevices();
    SKF_ULONG rv = OpenSkfDevices();
    // A library that is not there cannot appear a second later.
    if (rv == SKF_ENTRY_MISSING)
        return rv;
    if (rv != 0) {
        m_sleep(DeviceRetryWait);
        clearDevices();
        rv = OpenSkfDevices();
        if (rv != 0)
            return rv;
    }
    for (uint32_t d = 0; d < m_devices.count; ++d) {
        m_applications[d] = TSkfAppInfo();
        rv = ListSkfApplications(int(d));
        if (rv != 0) {
            m_sleep(ApplicationRetryWait);
            rv = ListSkfApplications(int(d));
        }
        m_devices.names[d] = deviceSerial(int(d)).value_or(QByteArray());
    }
    makeFirstApplicationCurrent();
    if (m_refreshBiometricPage)
        m_refreshBiometricPage();
    return rv;
}

SKF_ULONG SkfLibrary::SkfQuickOpen() {
    clearDevices();
    if (const SKF_ULONG rv = OpenSkfDevices(); rv != 0)
        return rv;
    for (uint32_t d = 0; d < m_devices.count; ++d) {
        m_applications[d] = TSkfAppInfo();
        ListSkfApplications(int(d));
    }
    makeFirstApplicationCurrent();
    return 0;
}

void SkfLibrary::SelectSkfApplication(const QByteArray& tokenSerial) {
    for (uint32_t d = 0; d < m_devices.count; ++d)
        if (sameSerial(m_devices.names[d], tokenSerial))
            m_currentApplication = m_applications[d].handles[0]; // the last match wins
}

bool SkfLibrary::SelectSkfApplicationAskingSerials(const QByteArray& tokenSerial) {
    bool found = false;
    for (uint32_t d = 0; d < m_devices.count; ++d) {
        const std::optional<QByteArray> serial = deviceSerial(int(d));
        if (!serial)
            continue;
        // Kept as the discovery keeps them, so that later selections by serial find the device too.
        m_devices.names[d] = *serial;
        if (sameSerial(m_devices.names[d], tokenSerial)) {
            m_currentApplication = m_applications[d].handles[0];
            found = true;
        }
    }
    return found;
}

SKF_ULONG SkfLibrary::SKF_VerifyPIN(HAPPLICATION application, SKF_ULONG pinType, const Pin& pin,
                                    SKF_ULONG& retryCount) {
    return VX_SKF_CALL(SKF_VerifyPIN, application, pinType, pin.data(), &retryCount);
}

SKF_ULONG SkfLibrary::SKF_InitializeFinger(HAPPLICATION application, SKF_ULONG userRetryCount,
                                           SKF_ULONG adminRetryCount, SKF_ULONG userLevel, SKF_ULONG adminLevel) {
    return VX_SKF_CALL(SKF_InitializeFinger, application, userRetryCount, adminRetryCount, userLevel, adminLevel);
}

SKF_ULONG SkfLibrary::SKF_EnrollFingerInit(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger) {
    return VX_SKF_CALL(SKF_EnrollFingerInit, application, pinType, finger);
}

SKF_ULONG SkfLibrary::SKF_EnrollFinger(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger,
                                       SKF_ULONG& progress) {
    return VX_SKF_CALL(SKF_EnrollFinger, application, pinType, finger, &progress);
}

SKF_ULONG SkfLibrary::SKF_VerifyFingerInit(HAPPLICATION application, SKF_ULONG pinType) {
    return VX_SKF_CALL(SKF_VerifyFingerInit, application, pinType);
}

SKF_ULONG SkfLibrary::SKF_TestFinger(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG& finger) {
    return VX_SKF_CALL(SKF_TestFinger, application, pinType, &finger);
}

SKF_ULONG SkfLibrary::SKF_DeleteFinger(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger) {
    return VX_SKF_CALL(SKF_DeleteFinger, application, pinType, finger);
}

SKF_ULONG SkfLibrary::SKF_UnblockFinger(HAPPLICATION application, SKF_ULONG pinType) {
    return VX_SKF_CALL(SKF_UnblockFinger, application, pinType);
}

SKF_ULONG SkfLibrary::SKF_ClearSecureState(HAPPLICATION application) {
    return VX_SKF_CALL(SKF_ClearSecureState, application);
}

SKF_ULONG SkfLibrary::SKF_RemoteUnblockPIN(HAPPLICATION application, const QByteArray& response) {
    SKF_ULONG unused = 0;
    // The whole cleared area goes, with the response's own length: a library that reads past the length it is
    // told still reads zeros, never past the buffer.
    uint8_t area[RemoteResponseArea] = {};
    const qsizetype length = std::min<qsizetype>(response.size(), RemoteResponseArea);
    std::memcpy(area, response.constData(), size_t(length));
    return VX_SKF_CALL(SKF_RemoteUnblockPIN, application, static_cast<const uint8_t*>(area), SKF_ULONG(length),
                       &unused);
}

SKF_ULONG SkfLibrary::SKF_GenRemoteUnblockRequest(HAPPLICATION application, QByteArray& request) {
    uint8_t buffer[RemoteRequestBuffer] = {};
    const SKF_ULONG rv = VX_SKF_CALL(SKF_GenRemoteUnblockRequest, application, static_cast<uint8_t*>(buffer),
                                     SKF_ULONG(SKF_REMOTE_REQUEST_BYTES));
    request = QByteArray(reinterpret_cast<const char*>(buffer), SKF_REMOTE_REQUEST_BYTES);
    return rv;
}

SKF_ULONG SkfLibrary::ZKF_GetDeviceCaps(int device, SKF_ULONG& deviceType) {
    uint8_t caps[ZKF_DEVICE_CAPS_BYTES] = {};
    SKF_ULONG capsLength = 0, type = 0;
    const SKF_ULONG rv =
        VX_SKF_CALL(ZKF_GetDeviceCaps, deviceHandle(device), static_cast<uint8_t*>(caps), &capsLength, &type);
    if (rv == 0) // what a failing library left in the output is no type
        deviceType = type;
    return rv;
}

SKF_ULONG SkfLibrary::SKF_SetFingerMode(int device, SKF_ULONG samplesPerEnrolment) {
    return VX_SKF_CALL(SKF_SetFingerMode, deviceHandle(device), samplesPerEnrolment);
}
