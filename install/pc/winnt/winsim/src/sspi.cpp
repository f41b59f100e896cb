// The secure-channel package: outbound credentials and their cipher strengths, behind the function
// table that schannel's InitSecurityInterfaceA gives.
#include "internal.h"

#include "winsim/sim_core.h"
#include "winsim/sspi.h"

namespace winsim {
namespace {

using detail::Guard;

struct Strengths {
    DWORD minimum = 128;
    DWORD maximum = 256;
};

Strengths MakeInitial() {
    return Strengths{};
}

Strengths& S() {
    static Strengths state = MakeInitial();
    return state;
}

const bool kRegistered = detail::ResetTo<S, MakeInitial>();

struct Credential : detail::KernelObject {
    Strengths strengths;
    std::string Describe() const override { return "a credential"; }
};

std::shared_ptr<Credential> Find(PCredHandle phCredential) {
    if (!phCredential)
        return nullptr;
    return detail::Lookup<Credential>(reinterpret_cast<HANDLE>(phCredential->dwLower));
}

SECURITY_STATUS WINAPI Acquire(SEC_CHAR*, SEC_CHAR* pszPackage, DWORD fCredentialUse, void*, void* pAuthData,
                               SEC_GET_KEY_FN, void*, PCredHandle phCredential, PTimeStamp ptsExpiry) {
    Guard g(detail::MachineLock());
    if (auto e = Faulted("AcquireCredentialsHandleA", pszPackage))
        return static_cast<SECURITY_STATUS>(*e);
    if (!pszPackage || !detail::IEquals(pszPackage, UNISP_NAME_A))
        return SEC_E_SECPKG_NOT_FOUND;
    if (!phCredential)
        return SEC_E_INVALID_HANDLE;
    // A server's credentials need a certificate, which the machine has none of.
    if (!(fCredentialUse & SECPKG_CRED_OUTBOUND))
        return SEC_E_NO_CREDENTIALS;
    if (pAuthData && static_cast<const SCHANNEL_CRED*>(pAuthData)->dwVersion != SCHANNEL_CRED_VERSION)
        return SEC_E_UNKNOWN_CREDENTIALS;
    auto credential = std::make_shared<Credential>();
    credential->strengths = S();
    phCredential->dwLower = reinterpret_cast<ULONG_PTR>(detail::AddHandle(credential));
    phCredential->dwUpper = 0;
    if (ptsExpiry)
        ptsExpiry->QuadPart = 0x7FFFFFFFFFFFFFFFLL;
    return SEC_E_OK;
}

SECURITY_STATUS WINAPI Query(PCredHandle phCredential, DWORD ulAttribute, void* pBuffer) {
    Guard g(detail::MachineLock());
    if (auto e = Faulted("QueryCredentialsAttributesA"))
        return static_cast<SECURITY_STATUS>(*e);
    auto credential = Find(phCredential);
    if (!credential)
        return SEC_E_INVALID_HANDLE;
    if (ulAttribute != SECPKG_ATTR_CIPHER_STRENGTHS || !pBuffer)
        return SEC_E_UNSUPPORTED_FUNCTION;
    auto* out = static_cast<SecPkgCred_CipherStrengths*>(pBuffer);
    out->dwMinimumCipherStrength = credential->strengths.minimum;
    out->dwMaximumCipherStrength = credential->strengths.maximum;
    return SEC_E_OK;
}

SECURITY_STATUS WINAPI Free(PCredHandle phCredential) {
    Guard g(detail::MachineLock());
    if (detail::Fail("FreeCredentialsHandle"))
        return SEC_E_INVALID_HANDLE;
    if (!Find(phCredential) || !detail::RemoveHandle(reinterpret_cast<HANDLE>(phCredential->dwLower)))
        return SEC_E_INVALID_HANDLE;
    return SEC_E_OK;
}

SecurityFunctionTableA g_table = [] {
    SecurityFunctionTableA t{};
    t.dwVersion = 1;
    t.QueryCredentialsAttributesA = Query;
    t.AcquireCredentialsHandleA = Acquire;
    t.FreeCredentialsHandle = Free;
    return t;
}();

PSecurityFunctionTableA WINAPI InitSecurityInterface() {
    Guard g(detail::MachineLock());
    if (detail::Fail("InitSecurityInterfaceA"))
        return nullptr;
    return &g_table;
}

} // namespace

void SetCipherStrengths(DWORD minimum, DWORD maximum) {
    Guard g(detail::MachineLock());
    S().minimum = minimum;
    S().maximum = maximum;
}

namespace detail {

FARPROC SchannelEntryPoint() {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&InitSecurityInterface));
}

} // namespace detail
} // namespace winsim
