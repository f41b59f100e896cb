// Machine-wide installer registrations: products by upgrade code, their states and information,
// features and components of installed products.
#include "msi_internal.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

using namespace winsim::msi::impl;

// Product, upgrade and component codes are braced GUIDs: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
bool IsGuid(const char* s) {
    if (!s || std::strlen(s) != 38 || s[0] != '{' || s[37] != '}')
        return false;
    for (int i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i])))
            return false;
    }
    return true;
}

Product* FindProduct(const std::string& code) {
    for (Product& p : S().products)
        if (winsim::detail::IEquals(p.code, code))
            return &p;
    return nullptr;
}

Product& EnsureProduct(const std::string& code) {
    if (Product* p = FindProduct(code))
        return *p;
    Product p;
    p.code = code;
    S().products.push_back(p);
    return S().products.back();
}

std::string RegistrationKey(const std::string& product, const std::string& component) {
    return winsim::detail::Lower(product) + "|" + winsim::detail::Lower(component);
}

ComponentRegistration* FindRegistration(const std::string& product, const std::string& component) {
    auto it = S().registrationIndex.find(RegistrationKey(product, component));
    return it == S().registrationIndex.end() ? nullptr : &S().componentRegistrations[it->second];
}

void CopyCode(const std::string& code, char* buffer) {
    std::memcpy(buffer, code.c_str(), std::min<size_t>(code.size(), 38));
    buffer[std::min<size_t>(code.size(), 38)] = '\0';
}

} // namespace

// ---- fixture API -----------------------------------------------------------------------------

namespace winsim::msi {

using winsim::detail::Guard;
using winsim::detail::MachineLock;

void AddProduct(const std::string& productCode, const std::string& upgradeCode, int state,
                const std::string& name) {
    Guard g(MachineLock());
    Product& p = EnsureProduct(productCode);
    p.upgradeCode = upgradeCode;
    p.state = state;
    if (!name.empty()) {
        p.info["ProductName"] = name;
        p.info["InstalledProductName"] = name;
    }
}

void SetProductInfo(const std::string& productCode, const std::string& property, const std::string& value) {
    Guard g(MachineLock());
    EnsureProduct(productCode).info[property] = value;
}

void SetProductFeature(const std::string& productCode, const std::string& feature, int state) {
    Guard g(MachineLock());
    EnsureProduct(productCode).features[feature] = state;
}

void SetProductComponent(const std::string& productCode, const std::string& componentCode, int state,
                         const std::string& path) {
    Guard g(MachineLock());
    if (ComponentRegistration* r = FindRegistration(productCode, componentCode)) {
        r->state = state;
        r->path = path;
        return;
    }
    S().registrationIndex[RegistrationKey(productCode, componentCode)] = S().componentRegistrations.size();
    S().componentRegistrations.push_back(ComponentRegistration{productCode, componentCode, state, path});
    if (S().distinctIndex.insert(winsim::detail::Lower(componentCode)).second)
        S().distinctComponents.push_back(componentCode);
}

} // namespace winsim::msi

// ---- simulated functions ---------------------------------------------------------------------

using winsim::detail::Guard;
using winsim::detail::MachineLock;

UINT WINAPI MsiEnumRelatedProductsA(LPCSTR lpUpgradeCode, DWORD dwReserved, DWORD iProductIndex,
                                    LPSTR lpProductBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiEnumRelatedProductsA", lpUpgradeCode))
        return *e;
    if (!IsGuid(lpUpgradeCode) || dwReserved != 0 || !lpProductBuf)
        return ERROR_INVALID_PARAMETER;
    DWORD index = 0;
    for (const Product& p : S().products) {
        if (!winsim::detail::IEquals(p.upgradeCode, lpUpgradeCode))
            continue;
        if (index++ == iProductIndex) {
            CopyCode(p.code, lpProductBuf);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_NO_MORE_ITEMS;
}

INSTALLSTATE WINAPI MsiQueryProductStateA(LPCSTR szProduct) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiQueryProductStateA", szProduct))
        return static_cast<INSTALLSTATE>(static_cast<int>(*e));
    if (!IsGuid(szProduct))
        return INSTALLSTATE_INVALIDARG;
    const Product* p = FindProduct(szProduct);
    return p ? static_cast<INSTALLSTATE>(p->state) : INSTALLSTATE_UNKNOWN;
}

UINT WINAPI MsiGetProductInfoA(LPCSTR szProduct, LPCSTR szAttribute, LPSTR lpValueBuf, LPDWORD pcchValueBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiGetProductInfoA", szProduct))
        return *e;
    if (!IsGuid(szProduct) || !szAttribute || (lpValueBuf && !pcchValueBuf))
        return ERROR_INVALID_PARAMETER;
    const Product* p = FindProduct(szProduct);
    if (!p || p->state == INSTALLSTATE_UNKNOWN)
        return ERROR_UNKNOWN_PRODUCT;
    auto it = p->info.find(szAttribute);
    if (it == p->info.end())
        return ERROR_UNKNOWN_PROPERTY;
    return CopyValue(it->second, lpValueBuf, pcchValueBuf, false);
}

INSTALLSTATE WINAPI MsiQueryFeatureStateA(LPCSTR szProduct, LPCSTR szFeature) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiQueryFeatureStateA", szProduct))
        return static_cast<INSTALLSTATE>(static_cast<int>(*e));
    if (!IsGuid(szProduct) || !szFeature || std::strlen(szFeature) > 38)
        return INSTALLSTATE_INVALIDARG;
    const Product* p = FindProduct(szProduct);
    if (!p)
        return INSTALLSTATE_UNKNOWN;
    auto it = p->features.find(szFeature);
    return it == p->features.end() ? INSTALLSTATE_UNKNOWN : static_cast<INSTALLSTATE>(it->second);
}

INSTALLSTATE WINAPI MsiGetComponentPathA(LPCSTR szProduct, LPCSTR szComponent, LPSTR lpPathBuf,
                                         LPDWORD pcchBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiGetComponentPathA", szProduct))
        return static_cast<INSTALLSTATE>(static_cast<int>(*e));
    if (!IsGuid(szProduct) || !IsGuid(szComponent) || (lpPathBuf && !pcchBuf))
        return INSTALLSTATE_INVALIDARG;
    const ComponentRegistration* r = FindRegistration(szProduct, szComponent);
    if (!r)
        return INSTALLSTATE_UNKNOWN;
    if (pcchBuf && CopyValue(r->path, lpPathBuf, pcchBuf, false) == ERROR_MORE_DATA)
        return INSTALLSTATE_MOREDATA;
    return static_cast<INSTALLSTATE>(r->state);
}

UINT WINAPI MsiEnumComponentsA(DWORD iComponentIndex, LPSTR lpComponentBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiEnumComponentsA"))
        return *e;
    if (!lpComponentBuf)
        return ERROR_INVALID_PARAMETER;
    // Each index is answered at once, as the installer answers it from its own list.
    if (iComponentIndex >= S().distinctComponents.size())
        return ERROR_NO_MORE_ITEMS;
    CopyCode(S().distinctComponents[iComponentIndex], lpComponentBuf);
    return ERROR_SUCCESS;
}

UINT WINAPI MsiGetProductCodeA(LPCSTR szComponent, LPSTR lpBuf39) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiGetProductCodeA", szComponent))
        return *e;
    if (!IsGuid(szComponent) || !lpBuf39)
        return ERROR_INVALID_PARAMETER;
    // A component shared by several products answers with the first that has it installed.
    const ComponentRegistration* found = nullptr;
    for (const ComponentRegistration& r : S().componentRegistrations) {
        if (!winsim::detail::IEquals(r.component, szComponent))
            continue;
        if (!found || (found->state != INSTALLSTATE_LOCAL && r.state == INSTALLSTATE_LOCAL))
            found = &r;
    }
    if (!found)
        return ERROR_UNKNOWN_COMPONENT;
    CopyCode(found->product, lpBuf39);
    return ERROR_SUCCESS;
}
