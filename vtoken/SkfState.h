#pragma once

#include "shared/SkfApi.h"
#include "vtoken/Store.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The SKF library's entry points carry their C names and are the only symbols the library exports.
#define VX_SKF_EXPORT extern "C" __attribute__((visibility("default")))

namespace vtoken::skf {

// Samples one enrolment takes until SKF_SetFingerMode says otherwise.
inline constexpr int DefaultSamplesPerEnrolment = 3;

// A connected device: its token and the plug it was connected in. Once the token is pulled out, the handle stays
// dead, also after the token comes back.
struct Device {
    int64_t tokenId = 0;
    int64_t plugCount = 0;
};

// An enrolment under way: the finger, the samples it takes and those accepted so far.
struct Enrolment {
    int finger = 0;
    int samples = 0;
    int progress = 0;
};

// The token's one application as opened in one plug, with its secure state. The arrays are indexed by PIN type:
// SKF_PIN_ADMIN (the SO PIN and the administrator's fingers) and SKF_PIN_USER.
struct Application {
    int64_t tokenId = 0;
    int64_t plugCount = 0;
    std::array<bool, 2> verified{};
    std::array<std::optional<Enrolment>, 2> enrolments{};
    std::array<bool, 2> testing{}; // a finger test started by SKF_VerifyFingerInit and not yet answered
};

// What this process's use of the library holds, under one lock. Handles are small numbers cast to pointers, devices
// and applications drawing from one sequence so that one kind never passes for the other. Callers never free them,
// so connecting to or opening the same token in the same plug again hands out the same handle: the maps grow with
// plugs, not with calls.
struct LibraryState {
    std::mutex mutex;
    std::unique_ptr<Store> store; // opened by the first call
    std::string storePath;
    std::map<uintptr_t, Device> devices;
    std::map<uintptr_t, Application> applications;
    uintptr_t nextHandle = 1;
    std::map<int64_t, int> samplesPerEnrolment; // by token id, as SKF_SetFingerMode set them
};

LibraryState& libraryState();

// Opens the store that VTOKEN_HOME names now. There is no call that initializes an SKF library, so a process that
// points it at another set of tokens gets that set at its next call; handles into the old set die with it.
void useCurrentStore(LibraryState& state);

// Runs an entry point's body under the library lock with the store open. A store that fails, exhausted memory or any
// other exception gives SAR_FAIL, never an exception across the C boundary.
template <typename Body> SKF_ULONG guarded(Body&& body) {
    LibraryState& state = libraryState();
    std::lock_guard lock(state.mutex);
    try {
        useCurrentStore(state);
        const Store::Call call(state.store.get());
        return body(state);
    } catch (...) {
        return SAR_FAIL;
    }
}

// The token behind a handle: SAR_INVALIDHANDLEERR for a handle this library never gave out, SAR_DEVICE_REMOVED when
// the token was pulled out (or removed) since the handle was given.
SKF_ULONG findDevice(LibraryState& state, DEVHANDLE handle, Device*& device, TokenRecord& token);
SKF_ULONG findApplication(LibraryState& state, HAPPLICATION handle, Application*& application, TokenRecord& token);

// Runs a body on a device or an application of a present token, with the library lock held.
template <typename Body> SKF_ULONG onDevice(DEVHANDLE handle, Body&& body) {
    return guarded([&](LibraryState& state) -> SKF_ULONG {
        Device* device = nullptr;
        TokenRecord token;
        if (const SKF_ULONG rv = findDevice(state, handle, device, token); rv != SAR_OK)
            return rv;
        return body(state, *device, token);
    });
}

template <typename Body> SKF_ULONG onApplication(HAPPLICATION handle, Body&& body) {
    return guarded([&](LibraryState& state) -> SKF_ULONG {
        Application* application = nullptr;
        TokenRecord token;
        if (const SKF_ULONG rv = findApplication(state, handle, application, token); rv != SAR_OK)
            return rv;
        return body(state, *application, token);
    });
}

// The handle for a new device or application.
void* newHandle(LibraryState& state);

int samplesPerEnrolment(const LibraryState& state, int64_t tokenId);

// Whether the holder of pinType has proved themselves to the token: by a PIN verified through this library, or by a
// login of the virtual token's PKCS#11 module in this process, whose state the token shares as a card would (a
// login by finger verifies no PIN here).
bool holderProven(const Application& application, SKF_ULONG pinType);

// Hands a byte list to a caller's buffer of *size bytes: nothing is written when list is null (*size tells what it
// needs) or too small (SAR_BUFFER_TOO_SMALL, *size tells what it needs).
SKF_ULONG returnBytes(const std::vector<uint8_t>& bytes, uint8_t* list, SKF_ULONG* size);

} // namespace vtoken::skf
