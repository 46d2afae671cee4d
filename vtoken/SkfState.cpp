#include "vtoken/SkfState.h"

#include <p11-kit/pkcs11.h>

#include <cstring>
#include <dlfcn.h>
#include <string>

namespace vtoken::skf {
namespace {

// Whether the token is still in the plug the handle was given in.
SKF_ULONG checkPresent(Store& store, int64_t tokenId, int64_t plugCount, TokenRecord& token) {
    const std::optional<TokenRecord> current = store.token(tokenId);
    if (!current || !current->plugged || current->plugCount != plugCount)
        return SAR_DEVICE_REMOVED;
    token = *current;
    return SAR_OK;
}

// The PKCS#11 module beside this library, when this process has loaded it: its VX_LoggedInHolder, else null.
using LoggedInHolder = CK_ULONG (*)(CK_SLOT_ID, int64_t);
LoggedInHolder pkcs11LoginState(void*& module) {
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&pkcs11LoginState), &self) || !self.dli_fname)
        return nullptr;
    std::string path = self.dli_fname;
    path = path.substr(0, path.find_last_of('/') + 1) + "libvtoken-pkcs11.so";
    module = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    return module ? reinterpret_cast<LoggedInHolder>(dlsym(module, "VX_LoggedInHolder")) : nullptr;
}

} // namespace

bool holderProven(const Application& application, SKF_ULONG pinType) {
    if (application.verified[pinType])
        return true;
    void* module = nullptr;
    const LoggedInHolder loggedIn = pkcs11LoginState(module);
    const bool proven = loggedIn && loggedIn(CK_SLOT_ID(application.tokenId), application.plugCount) ==
                                        (pinType == SKF_PIN_ADMIN ? CKU_SO : CKU_USER);
    if (module)
        dlclose(module);
    return proven;
}

LibraryState& libraryState() {
    static LibraryState state;
    return state;
}

void useCurrentStore(LibraryState& state) {
    const std::string path = Store::defaultPath();
    if (state.store && path == state.storePath) {
        // The vtoken command made the file since: no handle can point into the empty store it replaces.
        if (std::unique_ptr<Store> file = state.store->replacedByFile(path))
            state.store = std::move(file);
        return;
    }
    state.devices.clear();
    state.applications.clear();
    state.samplesPerEnrolment.clear();
    state.store.reset();
    state.store = Store::openIfPresent(path);
    state.storePath = path;
}

SKF_ULONG findDevice(LibraryState& state, DEVHANDLE handle, Device*& device, TokenRecord& token) {
    const auto found = state.devices.find(reinterpret_cast<uintptr_t>(handle));
    if (found == state.devices.end())
        return SAR_INVALIDHANDLEERR;
    device = &found->second;
    return checkPresent(*state.store, device->tokenId, device->plugCount, token);
}

SKF_ULONG findApplication(LibraryState& state, HAPPLICATION handle, Application*& application, TokenRecord& token) {
    const auto found = state.applications.find(reinterpret_cast<uintptr_t>(handle));
    if (found == state.applications.end())
        return SAR_INVALIDHANDLEERR;
    application = &found->second;
    return checkPresent(*state.store, application->tokenId, application->plugCount, token);
}

void* newHandle(LibraryState& state) {
    return reinterpret_cast<void*>(state.nextHandle++);
}

int samplesPerEnrolment(const LibraryState& state, int64_t tokenId) {
    const auto found = state.samplesPerEnrolment.find(tokenId);
    return found == state.samplesPerEnrolment.end() ? DefaultSamplesPerEnrolment : found->second;
}

SKF_ULONG returnBytes(const std::vector<uint8_t>& bytes, uint8_t* list, SKF_ULONG* size) {
    if (!size)
        return SAR_INVALIDPARAMERR;
    const SKF_ULONG room = *size;
    *size = SKF_ULONG(bytes.size());
    if (!list)
        return SAR_OK;
    if (room < bytes.size())
        return SAR_BUFFER_TOO_SMALL;
    if (!bytes.empty())
        std::memcpy(list, bytes.data(), bytes.size());
    return SAR_OK;
}

} // namespace vtoken::skf
