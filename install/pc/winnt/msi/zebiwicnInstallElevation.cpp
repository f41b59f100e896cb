// Elevation: the run goes on only as LocalSystem or with the local Administrators group enabled
// in the token. A member of Administrators whose token is filtered (not elevated) has the group
// for deny only, and fails.
#include "zebiwicnInstall.h"
#include "zebhold.h"
#include "zebilogn.h"

#include <stdlib.h>
#include <string.h>

namespace {

// One identifier: its ready bit, its field, authority and sub-authorities.
struct WellKnownSid {
    DWORD dwBit;
    DWORD* pdwField;
    size_t cbField;
    SID_IDENTIFIER_AUTHORITY authority;
    BYTE cSubAuthorities;
    DWORD adwSubAuthorities[2];
};

// Builds a SID in its field; FALSE with the system error when a step fails.
BOOL BuildSid(const WellKnownSid& sid) {
    if (GetSidLengthRequired(sid.cSubAuthorities) > sid.cbField) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    SID_IDENTIFIER_AUTHORITY authority = sid.authority;
    if (!InitializeSid(sid.pdwField, &authority, sid.cSubAuthorities))
        return FALSE;
    for (BYTE i = 0; i < sid.cSubAuthorities; i++) {
        PDWORD pdwSub = GetSidSubAuthority(sid.pdwField, i);
        if (pdwSub == NULL)
            return FALSE;
        *pdwSub = sid.adwSubAuthorities[i];
    }
    return TRUE;
}

// Reads one class of token information into a buffer of its own. The size query must fail with
// 122; the texts for an unexpected answer differ between the two classes the check reads.
template <typename T>
BOOL ReadTokenInformation(HANDLE hToken, TOKEN_INFORMATION_CLASS infoClass, LPCSTR pszUnexpectedSuccess,
                          LPCSTR pszSizeError, ZebHeap<T>& info) {
    static const char kFunction[] = "checkCurrentUserMemberships";
    DWORD cbInfo = 0;
    if (GetTokenInformation(hToken, infoClass, NULL, 0, &cbInfo)) {
        TraceText(kFunction, "%s", pszUnexpectedSuccess);
        return FALSE;
    }
    DWORD dwErr = GetLastError();
    if (dwErr != ERROR_INSUFFICIENT_BUFFER) {
        TraceText(kFunction, pszSizeError, (int)dwErr);
        return FALSE;
    }
    info.Reset((T*)malloc(cbInfo > 0 ? cbInfo : 1));
    if (!info.IsValid())
        return FALSE;
    if (!GetTokenInformation(hToken, infoClass, info.Get(), cbInfo, &cbInfo)) {
        TraceText(kFunction, "Error -> GetTokenInformation: %d", (int)GetLastError());
        return FALSE;
    }
    return TRUE;
}

void CheckIfElevatedBody(UINT* puiStat) {
    static const char kFunction[] = "iwiCheckIfElevated";
    ZebSecurityData data;
    memset(&data, 0, sizeof(data));
    // Without the identifiers nothing can be compared; the run is let through.
    if (initSecurityData(&data) != 0)
        return;
    if (checkCurrentUserMemberships(&data, ZEB_CHECK_SYSTEM_USER | ZEB_CHECK_ADMINS_GROUP) != 0) {
        TraceText(kFunction,
                  "***Error -> User does not have the required administrator privileges (ZEB4353)\n");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    TraceText(kFunction, "Success -> User has the required administrator privileges");
}

} // namespace

UINT initSecurityData(ZebSecurityData* pData) {
    static const char kFunction[] = "initSecurityData";
    const WellKnownSid sids[] = {
        {ZEB_SEC_SYSTEM_READY,
         pData->adwSystemSid,
         sizeof(pData->adwSystemSid),
         {SECURITY_NT_AUTHORITY},
         1,
         {SECURITY_LOCAL_SYSTEM_RID, 0}},
        {ZEB_SEC_EVERYONE_READY,
         pData->adwEveryoneSid,
         sizeof(pData->adwEveryoneSid),
         {SECURITY_WORLD_SID_AUTHORITY},
         1,
         {SECURITY_WORLD_RID, 0}},
        {ZEB_SEC_ADMINS_READY,
         pData->adwAdminsSid,
         sizeof(pData->adwAdminsSid),
         {SECURITY_NT_AUTHORITY},
         2,
         {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}},
    };
    for (const WellKnownSid& sid : sids) {
        if (pData->dwFlags & sid.dwBit)
            continue;
        if (!BuildSid(sid)) {
            TraceText(kFunction, "Error -> InitializeSid: %d", (int)GetLastError());
            return 1;
        }
        pData->dwFlags |= sid.dwBit;
    }
    pData->dwFlags |= ZEB_SEC_ALL_READY;
    return 0;
}

UINT checkCurrentUserMemberships(const ZebSecurityData* pData, DWORD dwCheck) {
    static const char kFunction[] = "checkCurrentUserMemberships";
    // An impersonating thread is judged by its own token.
    ZebKernelHandle hToken;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, hToken.Out())) {
        DWORD dwErr = GetLastError();
        if (dwErr != ERROR_NO_TOKEN) {
            TraceText(kFunction, "Error -> OpenProcessToken: %d", (int)dwErr);
            return 1;
        }
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, hToken.Out())) {
            TraceText(kFunction, "Error -> OpenProcessToken: %d", (int)GetLastError());
            return 1;
        }
    }

    if (dwCheck & ZEB_CHECK_SYSTEM_USER) {
        ZebHeap<TOKEN_USER> user;
        if (!ReadTokenInformation(hToken.Get(), TokenUser,
                                  "Error -> GetTokenInformation:", "Error -> GetTokenInformation:  %d", user))
            return 1;
        if (EqualSid(user.Get()->User.Sid, (PSID)pData->adwSystemSid)) {
            TraceText(kFunction, "User id matches the SYSTEM SID");
            return 0;
        }
    }

    UINT uiAnswer = 1;
    if (dwCheck & ZEB_CHECK_ADMINS_GROUP) {
        ZebHeap<TOKEN_GROUPS> groups;
        if (!ReadTokenInformation(hToken.Get(), TokenGroups, "Error -> GetTokenInformation",
                                  "Error -> GetTokenInformation: %d", groups))
            return 1;
        const TOKEN_GROUPS* pGroups = groups.Get();
        for (DWORD i = 0; i < pGroups->GroupCount; i++) {
            if (!EqualSid(pGroups->Groups[i].Sid, (PSID)pData->adwAdminsSid))
                continue;
            TraceText(kFunction, "User id belongs to local Administrators");
            if (pGroups->Groups[i].Attributes & SE_GROUP_ENABLED) {
                uiAnswer = 0;
            } else {
                TraceText(kFunction, "Group Attributes show it is not enabled (0x%08X)",
                          (unsigned)pGroups->Groups[i].Attributes);
            }
            break;
        }
    }
    return uiAnswer;
}

ZEB_ACTION iwiCheckIfElevated(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiCheckIfElevated", NULL))
        CheckIfElevatedBody(&uiStat);
    return CaEpilog(hInstall, uiStat);
}
