// The module's one exported PKCS#11 entry point: the table of its functions.
#include "vtoken/ModuleFunctions.h"

namespace vtoken::pkcs11 {
namespace {

// A function the token does not offer, with the exact signature the table expects.
template <typename> struct Unsupported;
template <typename... Arguments> struct Unsupported<CK_RV (*)(Arguments...)> {
    static CK_RV call(Arguments...) { return CKR_FUNCTION_NOT_SUPPORTED; }
};

CK_RV C_GetFunctionStatus(CK_SESSION_HANDLE) {
    return CKR_FUNCTION_NOT_PARALLEL;
}

CK_RV C_CancelFunction(CK_SESSION_HANDLE) {
    return CKR_FUNCTION_NOT_PARALLEL;
}

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list);

CK_FUNCTION_LIST buildFunctionList() {
    CK_FUNCTION_LIST list{};
    list.version = {2, 40};
#define VX_OFFERED(name) list.name = name
#define VX_NOT_OFFERED(name) list.name = Unsupported<decltype(list.name)>::call
    VX_OFFERED(C_Initialize);
    VX_OFFERED(C_Finalize);
    VX_OFFERED(C_GetInfo);
    VX_OFFERED(C_GetFunctionList);
    VX_OFFERED(C_GetSlotList);
    VX_OFFERED(C_GetSlotInfo);
    VX_OFFERED(C_GetTokenInfo);
    VX_OFFERED(C_GetMechanismList);
    VX_OFFERED(C_GetMechanismInfo);
    VX_OFFERED(C_InitToken);
    VX_OFFERED(C_InitPIN);
    VX_OFFERED(C_SetPIN);
    VX_OFFERED(C_OpenSession);
    VX_OFFERED(C_CloseSession);
    VX_OFFERED(C_CloseAllSessions);
    VX_OFFERED(C_GetSessionInfo);
    VX_NOT_OFFERED(C_GetOperationState);
    VX_NOT_OFFERED(C_SetOperationState);
    VX_OFFERED(C_Login);
    VX_OFFERED(C_Logout);
    VX_OFFERED(C_CreateObject);
    VX_NOT_OFFERED(C_CopyObject);
    VX_OFFERED(C_DestroyObject);
    VX_OFFERED(C_GetObjectSize);
    VX_OFFERED(C_GetAttributeValue);
    VX_OFFERED(C_SetAttributeValue);
    VX_OFFERED(C_FindObjectsInit);
    VX_OFFERED(C_FindObjects);
    VX_OFFERED(C_FindObjectsFinal);
    VX_NOT_OFFERED(C_EncryptInit);
    VX_NOT_OFFERED(C_Encrypt);
    VX_NOT_OFFERED(C_EncryptUpdate);
    VX_NOT_OFFERED(C_EncryptFinal);
    VX_NOT_OFFERED(C_DecryptInit);
    VX_NOT_OFFERED(C_Decrypt);
    VX_NOT_OFFERED(C_DecryptUpdate);
    VX_NOT_OFFERED(C_DecryptFinal);
    VX_NOT_OFFERED(C_DigestInit);
    VX_NOT_OFFERED(C_Digest);
    VX_NOT_OFFERED(C_DigestUpdate);
    VX_NOT_OFFERED(C_DigestKey);
    VX_NOT_OFFERED(C_DigestFinal);
    VX_OFFERED(C_SignInit);
    VX_OFFERED(C_Sign);
    VX_OFFERED(C_SignUpdate);
    VX_OFFERED(C_SignFinal);
    VX_NOT_OFFERED(C_SignRecoverInit);
    VX_NOT_OFFERED(C_SignRecover);
    VX_NOT_OFFERED(C_VerifyInit);
    VX_NOT_OFFERED(C_Verify);
    VX_NOT_OFFERED(C_VerifyUpdate);
    VX_NOT_OFFERED(C_VerifyFinal);
    VX_NOT_OFFERED(C_VerifyRecoverInit);
    VX_NOT_OFFERED(C_VerifyRecover);
    VX_NOT_OFFERED(C_DigestEncryptUpdate);
    VX_NOT_OFFERED(C_DecryptDigestUpdate);
    VX_NOT_OFFERED(C_SignEncryptUpdate);
    VX_NOT_OFFERED(C_DecryptVerifyUpdate);
    VX_NOT_OFFERED(C_GenerateKey);
    VX_NOT_OFFERED(C_GenerateKeyPair);
    VX_NOT_OFFERED(C_WrapKey);
    VX_NOT_OFFERED(C_UnwrapKey);
    VX_NOT_OFFERED(C_DeriveKey);
    VX_OFFERED(C_SeedRandom);
    VX_OFFERED(C_GenerateRandom);
    VX_OFFERED(C_GetFunctionStatus);
    VX_OFFERED(C_CancelFunction);
    VX_OFFERED(C_WaitForSlotEvent);
#undef VX_OFFERED
#undef VX_NOT_OFFERED
    return list;
}

CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    static CK_FUNCTION_LIST functions = buildFunctionList();
    if (!list)
        return CKR_ARGUMENTS_BAD;
    *list = &functions;
    return CKR_OK;
}

} // namespace
} // namespace vtoken::pkcs11

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list) {
    return vtoken::pkcs11::C_GetFunctionList(list);
}
