// Installation initialisation: what this run of the installer is and whether it may run.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// ---- Elevation ---------------------------------------------------------------------------------

// Ready bits of the security data.
#define ZEB_SEC_ALL_READY 0x1u
#define ZEB_SEC_SYSTEM_READY 0x2u
#define ZEB_SEC_ADMINS_READY 0x4u
#define ZEB_SEC_EVERYONE_READY 0x8u

// What checkCurrentUserMemberships looks at.
#define ZEB_CHECK_SYSTEM_USER 0x1u  // the token's user is LocalSystem
#define ZEB_CHECK_ADMINS_GROUP 0x2u // Administrators is among the token's groups, enabled

// The well-known identifiers the token is compared with; zeroed by the caller before use. Each
// field holds one SID built in place (DWORD-aligned, as a SID must be).
struct ZebSecurityData {
    DWORD dwFlags;
    DWORD adwSystemSid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];   // S-1-5-18
    DWORD adwAdminsSid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];   // S-1-5-32-544
    DWORD adwEveryoneSid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)]; // S-1-1-0
};

// 0 when every identifier is ready, 1 otherwise. Only identifiers whose bit is clear are built.
UINT initSecurityData(ZebSecurityData* pData);
// 0 when the current token qualifies for one of the checks asked for; 1 when it does not or
// cannot be read.
UINT checkCurrentUserMemberships(const ZebSecurityData* pData, DWORD dwCheck);

ZEB_ACTION iwiCheckIfElevated(MSIHANDLE hInstall);

// ---- Primary initialisation ---------------------------------------------------------------------

// REMOVE, read by the first action of the loaded copy that needs it and kept. FALSE (status 1603)
// when that read failed; a later call reads again.
BOOL GetRemoveValue(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR* ppszValue, UINT* puiStat);
void ResetInstallState(void);

// A feature-list setting (ADDLOCAL, REMOVE, ...) against the package's Feature table: 0, or 1603
// after message 2037 or 2038 showing what names no feature.
UINT CheckValidFeatures(LPCSTR pszProperty);

ZEB_ACTION iwiInstallInitPri(MSIHANDLE hInstall);

// ---- Named and script initialisation --------------------------------------------------------------

void ResetNamedState(void);

ZEB_ACTION iwiInstallInitNamed(MSIHANDLE hInstall);
ZEB_ACTION iwiInstallInitScript(MSIHANDLE hInstall);

// ---- Secondary initialisation -------------------------------------------------------------------

// The response file's and the session's feature choices applied to each feature of this kind of
// run. 0, or 1603 when a change failed (the walk goes on) or a choice could not be read (it stops).
UINT ApplyPreselect(void);

ZEB_ACTION iwiInstallInitSec(MSIHANDLE hInstall);
