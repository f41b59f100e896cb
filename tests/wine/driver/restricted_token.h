// A copy of the process token without the local Administrators group: the group stays in the
// token for deny only, as in an administrator's token that is not elevated.
#pragma once

#include <windows.h>

#include <cstdio>

// The restricted primary token, or NULL after printing "<tag> failed <step> <error>".
inline HANDLE RestrictedToken(const char* tag) {
    HANDLE process = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(),
                          TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY | TOKEN_IMPERSONATE,
                          &process)) {
        std::printf("%s failed OpenProcessToken %lu\n", tag, GetLastError());
        return nullptr;
    }
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &admins)) {
        std::printf("%s failed AllocateAndInitializeSid %lu\n", tag, GetLastError());
        CloseHandle(process);
        return nullptr;
    }
    SID_AND_ATTRIBUTES disable = {admins, 0};
    HANDLE restricted = nullptr;
    if (!CreateRestrictedToken(process, 0, 1, &disable, 0, nullptr, 0, nullptr, &restricted)) {
        std::printf("%s failed CreateRestrictedToken %lu\n", tag, GetLastError());
        restricted = nullptr;
    }
    FreeSid(admins);
    CloseHandle(process);
    return restricted;
}

// The attributes of Administrators in a token, printed as "<tag> ADMINISTRATORS 0xXXXXXXXX" (or
// "none"), so that a test sees which token it got.
inline void PrintAdministrators(const char* tag, HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    void* buffer = size ? LocalAlloc(LPTR, size) : nullptr;
    if (!buffer || !GetTokenInformation(token, TokenGroups, buffer, size, &size)) {
        std::printf("%s failed GetTokenInformation %lu\n", tag, GetLastError());
        if (buffer)
            LocalFree(buffer);
        return;
    }
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID admins = nullptr;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                             &admins);
    const TOKEN_GROUPS* groups = static_cast<const TOKEN_GROUPS*>(buffer);
    bool found = false;
    for (DWORD i = 0; i < groups->GroupCount && admins; ++i) {
        if (EqualSid(groups->Groups[i].Sid, admins)) {
            std::printf("%s ADMINISTRATORS 0x%08lX\n", tag, groups->Groups[i].Attributes);
            found = true;
            break;
        }
    }
    if (!found)
        std::printf("%s ADMINISTRATORS none\n", tag);
    if (admins)
        FreeSid(admins);
    LocalFree(buffer);
}
