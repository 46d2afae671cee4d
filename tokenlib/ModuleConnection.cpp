#include "tokenlib/ModuleConnection.h"

#include "shared/ZovevOdu.h"

#include <dlfcn.h>

namespace zv {

int32_t ModuleConnection::open(const std::string& path, std::unique_ptr<ModuleConnection>& connection) {
    if (path.empty())
        return ZV_ERR_MODULE_LOAD;
    std::unique_ptr<ModuleConnection> opened(new ModuleConnection);
    opened->m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!opened->m_handle)
        return ZV_ERR_MODULE_LOAD;
    auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(opened->m_handle, "C_GetFunctionList"));
    if (!getFunctionList || getFunctionList(&opened->m_functions) != CKR_OK || !opened->m_functions)
        return ZV_ERR_MODULE_LOAD;
    CK_C_INITIALIZE_ARGS arguments{};
    arguments.flags = CKF_OS_LOCKING_OK;
    const CK_RV rv = opened->m_functions->C_Initialize(&arguments);
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED)
        return int32_t(rv);
    opened->m_finalize = rv == CKR_OK;
    if (auto getExtension =
            reinterpret_cast<VX_GetVendorExtension_t>(dlsym(opened->m_handle, VX_VENDOR_EXTENSION_SYMBOL))) {
        const VX_VENDOR_EXTENSION* extension = nullptr;
        if (getExtension(&extension) == CKR_OK && extension &&
            extension->version.major == VX_VENDOR_EXTENSION_VERSION_MAJOR)
            opened->m_extension = extension;
    }
    connection = std::move(opened);
    return ZV_OK;
}

ModuleConnection::~ModuleConnection() {
    if (m_functions && m_finalize)
        m_functions->C_Finalize(nullptr);
    if (m_handle)
        dlclose(m_handle);
}

} // namespace zv
