// A scripted SKF library for the binding's tests: devices, applications and finger lists as the test sets them.
// Handles are numbers: device i is i+1, application j of device i is (i+1)*100 + j+1.

#include "FakeSkf.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

FakeSkfState state;
int connections = 0;

uintptr_t number(void* handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

void* handle(uintptr_t number) {
    return reinterpret_cast<void*>(number);
}

void copyList(const std::string& list, char* buffer, SKF_ULONG* size) {
    std::memcpy(buffer, list.data(), std::min<size_t>(list.size(), *size));
}

} // namespace

FAKE_EXPORT FakeSkfState* FakeSkf_State() {
    return &state;
}

FAKE_EXPORT SKF_ULONG SKF_EnumDev(SKF_BOOL, char* nameList, SKF_ULONG* size) {
    state.calls.push_back("SKF_EnumDev");
    connections = 0;
    if (state.emptyDeviceListsLeft > 0) {
        --state.emptyDeviceListsLeft;
        *size = 0;
        return 0;
    }
    copyList(state.deviceList, nameList, size);
    *size = state.deviceListSize;
    return state.enumDevResult;
}

FAKE_EXPORT SKF_ULONG SKF_ConnectDev(const char* name, DEVHANDLE* device) {
    state.calls.push_back(std::string("SKF_ConnectDev ") + name);
    if (connections == state.connectFailsAt)
        return SAR_FAIL;
    *device = handle(uintptr_t(++connections));
    return 0;
}

FAKE_EXPORT SKF_ULONG SKF_GetDevInfo(DEVHANDLE device, DEVINFO* info) {
    *info = DEVINFO{};
    const size_t index = number(device) - 1;
    if (index < state.serials.size())
        std::memcpy(info->SerialNumber, state.serials[index].data(),
                    std::min(state.serials[index].size(), sizeof info->SerialNumber));
    return 0;
}

FAKE_EXPORT SKF_ULONG SKF_EnumApplication(DEVHANDLE device, char* nameList, SKF_ULONG* size) {
    state.calls.push_back("SKF_EnumApplication " + std::to_string(number(device)));
    if (state.applicationListFailuresLeft > 0) {
        --state.applicationListFailuresLeft;
        return SAR_FAIL;
    }
    copyList(state.applicationList, nameList, size);
    *size = state.applicationListSize;
    return 0;
}

FAKE_EXPORT SKF_ULONG SKF_OpenApplication(DEVHANDLE device, const char* name, HAPPLICATION* application) {
    state.calls.push_back("SKF_OpenApplication " + std::to_string(number(device)) + " " + name);
    const std::string names = state.applicationList;
    const size_t position = names.find(name);
    const uintptr_t index = uintptr_t(std::count(names.begin(), names.begin() + std::ptrdiff_t(position), '\0'));
    *application = handle(number(device) * 100 + index + 1);
    return 0;
}

FAKE_EXPORT SKF_ULONG SKF_VerifyPIN(HAPPLICATION application, SKF_ULONG pinType, const char* pin,
                                    SKF_ULONG* retryCount) {
    state.calls.push_back("SKF_VerifyPIN " + std::to_string(number(application)) + " " + std::to_string(pinType) + " " +
                          pin);
    *retryCount = 5;
    return std::strcmp(pin, "12345678") == 0 ? 0 : SAR_PIN_INCORRECT;
}

FAKE_EXPORT SKF_ULONG SKF_GetFingerInfo(HAPPLICATION, SKF_ULONG, SKF_ULONG*, SKF_ULONG*, SKF_ULONG*,
                                        SKF_ULONG* retriesLeft, uint8_t* list, SKF_ULONG* listLength) {
    std::copy_n(state.fingerList.begin(), std::min<size_t>(state.fingerList.size(), *listLength), list);
    *listLength = state.fingerListLength;
    *retriesLeft = state.fingerRetriesLeft;
    return state.fingerInfoResult;
}

FAKE_EXPORT SKF_ULONG ZKF_GetDeviceCaps(DEVHANDLE, uint8_t*, SKF_ULONG*, SKF_ULONG* deviceType) {
    *deviceType = state.deviceType;
    return state.deviceCapsResult;
}

FAKE_EXPORT SKF_ULONG SKF_GenRemoteUnblockRequest(HAPPLICATION, uint8_t* request, SKF_ULONG length) {
    for (SKF_ULONG i = 0; i < length; ++i)
        request[i] = uint8_t(0xA0 + i);
    return 0;
}

FAKE_EXPORT SKF_ULONG SKF_SetFingerMode(DEVHANDLE device, SKF_ULONG samples) {
    state.calls.push_back("SKF_SetFingerMode " + std::to_string(number(device)) + " " + std::to_string(samples));
    return 0;
}

FAKE_EXPORT SKF_ULONG SKF_EnrollFingerInit(HAPPLICATION application, SKF_ULONG pinType, SKF_ULONG finger) {
    state.calls.push_back("SKF_EnrollFingerInit " + std::to_string(number(application)) + " " +
                          std::to_string(pinType) + " " + std::to_string(finger));
    return state.enrolInitResult;
}

FAKE_EXPORT SKF_ULONG SKF_EnrollFinger(HAPPLICATION, SKF_ULONG, SKF_ULONG, SKF_ULONG* progress) {
    if (state.enrolment.empty())
        return SAR_FAIL;
    const auto [rv, value] = state.enrolment.front();
    state.enrolment.erase(state.enrolment.begin());
    *progress = value;
    return rv;
}
