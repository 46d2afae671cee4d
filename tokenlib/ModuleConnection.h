#pragma once

#include "shared/VendorExtension.h"

#include <p11-kit/pkcs11.h>

#include <cstdint>
#include <memory>
#include <string>

namespace zv {

// A loaded and initialized PKCS#11 module, finalized and unloaded when the connection goes.
class ModuleConnection {
public:
    // 0, a ZV_ERR_* code, or the module's C_Initialize code.
    static int32_t open(const std::string& path, std::unique_ptr<ModuleConnection>& connection);
    ~ModuleConnection();
    ModuleConnection(const ModuleConnection&) = delete;
    ModuleConnection& operator=(const ModuleConnection&) = delete;

    CK_FUNCTION_LIST_PTR functions() const { return m_functions; }
    // The module's vendor extension, or null when it has none.
    const VX_VENDOR_EXTENSION* extension() const { return m_extension; }

private:
    ModuleConnection() = default;

    void* m_handle = nullptr;
    CK_FUNCTION_LIST_PTR m_functions = nullptr;
    const VX_VENDOR_EXTENSION* m_extension = nullptr;
    bool m_finalize = false; // false when another user in the process had initialized the module already
};

} // namespace zv
