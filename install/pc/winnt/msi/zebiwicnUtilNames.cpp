// Installation names and identifiers: the name rule, free identifiers and default names, and the
// action that settles the identity of the installation from the supplied name, description and
// program folder.
#include "zebiwicnUtil.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"

#include <stdio.h>
#include <string.h>

namespace {

const int kIdentifiers = 128; // 0, the old record's, to 127
const int kMaxDefaultNumber = 999;
const char kDefaultNamePrefix[] = "Installation";
const int kMaxDescription = 64;

const char kFallbackNameInvalid[] =
    "Invalid InstallationName. The name '%1' is invalid, it must be a maximum of 16, "
    "a-z, A-Z, 0-9 characters only (ZEB4769)";
const char kFallbackNameReserved[] =
    "Invalid Installation Name. The name '%1' is reserved and cannot be specified for "
    "the Installation Name. (ZEB4770)";
const char kFallbackNameInUse[] =
    "Invalid Installation Name. The name '%1' is already in use and cannot be specified "
    "for the Installation Name, select a new unique name. (ZEB4771)";
const char kFallbackDescTooLong[] =
    "Invalid Installation Description. The description is longer than the 64 characters permitted.";
const char kFallbackNameMismatch[] =
    "Supplied InstallationName '%1' does not match actual name '%2' (ZEB4774)";
const char kFallbackNotUpgradable[] =
    "This installation is not permitted to upgrade installation '%1' (ZEB4776)";
const char kFallbackNoIdentifier[] =
    "Failed to assign installation identifier to installation '%1', perhaps too "
    "many installations already? (ZEB4777)";
const char kFallbackNoInstallName[] =
    "Cannot proceed as installed product has no associated HX Installation name "
    "(ZEB4778)";
const char kFallbackPathInUse[] = "Invalid Installation Path. The path '%s' is already in use and cannot be "
                                  "specified for the installation path, select a different path. (ZEB4780)";
const char kFallbackPathMismatch[] =
    "Supplied installation path '%1' does not match actual installed path '%2' "
    "(ZEB4783)";
const char kFallbackNameChange[] = "Cannot change installation name (ZEB4785)";

// Places of message 2108 in this action; the primary initialisation uses " (1)".
const char kUpgradeRefusedNamed[] = " (2)";
const char kUpgradeRefusedOldRecord[] = " (3)";
const char kUpgradeRefusedFolder[] = " (4)";

BOOL IsAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A decimal number as atoi reads it, its size held to llLimit so that a long digit string never
// overflows.
long long ReadBoundedNumber(LPCSTR psz, long long llLimit) {
    while (*psz == ' ' || *psz == '\t')
        psz++;
    BOOL bNegative = *psz == '-';
    if (*psz == '-' || *psz == '+')
        psz++;
    long long ll = 0;
    for (; *psz >= '0' && *psz <= '9'; psz++) {
        ll = ll * 10 + (*psz - '0');
        if (ll > llLimit) {
            ll = llLimit;
            break;
        }
    }
    return bNegative ? -ll : ll;
}

// An empty product code (a record without one) is in every list but upgrades nothing.
BOOL IsInList(LPCSTR pszCode, LPCSTR pszList) {
    return pszCode[0] != '\0' && strstr(pszList, pszCode) != NULL;
}

// One run of the action: its session and status, and what it has read (the supplied settings
// and the upgradable lists).
struct IdentityRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    char szInstalled[ZEB_CCH_CODE];
    char szName[ZEB_CCH_MSG];
    char szDescription[ZEB_CCH_MSG];
    char szFolder[ZEB_CCH_PATH];
    char szOldServer[ZEB_CCH_UPGRADELIST];
    char szOldClient[ZEB_CCH_UPGRADELIST];
};

const char kFunction[] = "iwiProcessUserInstallationName";

BOOL Fail(IdentityRun& r) {
    *r.puiStat = ZEB_RC_FAILURE;
    return FALSE;
}

BOOL SetValue(IdentityRun& r, LPCSTR pszName, LPCSTR pszValue) {
    return SetPropertyValue(r.hInstall, kFunction, pszName, pszValue, r.puiStat);
}

BOOL SetIdentifier(IdentityRun& r, int iIdentifier) {
    char szIdentifier[ZEB_CCH_FLAG];
    snprintf(szIdentifier, sizeof(szIdentifier), "%d", iIdentifier);
    return SetValue(r, PROP_ZEBINSTANCEID, szIdentifier);
}

// A new identifier set as ZEBINSTANCEID; FALSE (status 1603) when there is none.
BOOL SetNewIdentifier(IdentityRun& r, LPCSTR pszName) {
    int iIdentifier = GetNewInstallationIdentifier(pszName);
    if (iIdentifier < 0)
        return Fail(r);
    return SetIdentifier(r, iIdentifier);
}

LPCSTR DescriptionOr(const IdentityRun& r, LPCSTR pszFound) {
    return r.szDescription[0] != '\0' ? r.szDescription : pszFound;
}

BOOL ReadSupplied(IdentityRun& r) {
    if (!GetPropertyValue(r.hInstall, kFunction, PROP_INSTALLED, r.szInstalled, sizeof(r.szInstalled),
                          r.puiStat))
        return FALSE;
    char szFolder[ZEB_CCH_MSG];
    UINT uiRc = iwiGetIniProperty(PROP_INSTALLATIONNAME, r.szName, NULL);
    if (uiRc == ZEB_RC_SUCCESS)
        uiRc = iwiGetIniProperty(PROP_INSTALLATIONDESC, r.szDescription, NULL);
    if (uiRc == ZEB_RC_SUCCESS)
        uiRc = iwiGetIniProperty(PROP_PGMFOLDER, szFolder, NULL);
    if (uiRc != ZEB_RC_SUCCESS) {
        *r.puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    if (strlen(szFolder) >= sizeof(r.szFolder)) {
        // No folder is that long; a cut one would name another.
        TraceText(kFunction, "***Supplied path '%s' is too long (%d characters)", szFolder,
                  (int)strlen(szFolder));
        return Fail(r);
    }
    lstrcpynA(r.szFolder, szFolder, sizeof(r.szFolder));
    NormalizePath(FALSE, r.szFolder);
    return GetPropertyValue(r.hInstall, kFunction, PROP_ZEBOLDSERVER, r.szOldServer, sizeof(r.szOldServer),
                            r.puiStat) &&
           GetPropertyValue(r.hInstall, kFunction, PROP_ZEBOLDCLIENT, r.szOldClient, sizeof(r.szOldClient),
                            r.puiStat);
}

// The supplied folder against the record's "FilePath": 2113 when they differ. bBothViews: the
// 32-bit view when the 64-bit one has no value.
BOOL CheckFolder(IdentityRun& r, LPCSTR pszKey, BOOL bBothViews) {
    char szFound[ZEB_CCH_PATH];
    if (!GetRegistryText(pszKey, "FilePath", szFound, sizeof(szFound), FALSE) && bBothViews) {
        TraceText(kFunction, "Not found in 64 bit tree, lets check 32 bit");
        GetRegistryText(pszKey, "FilePath", szFound, sizeof(szFound), TRUE);
    }
    NormalizePath(FALSE, szFound);
    TraceText(kFunction, "Supplied path %s, found path %s", r.szFolder, szFound);
    if (_stricmp(r.szFolder, szFound) != 0) {
        ShowNlsError(ZEB_MSG_PATH_MISMATCH, kFallbackPathMismatch, r.szFolder, szFound);
        return Fail(r);
    }
    return TRUE;
}

void Installed(IdentityRun& r) {
    TraceText(kFunction, "Product installed - uninstalling / modifying");
    char szCode[ZEB_CCH_CODE];
    if (!GetPropertyValue(r.hInstall, kFunction, PROP_PRODUCTCODE, szCode, sizeof(szCode), r.puiStat))
        return;
    char szName[ZEB_CCH_INSTNAME];
    char szDescription[ZEB_CCH_INSTDESC];
    char szIdentifier[ZEB_CCH_INSTID];
    char szVrmf[ZEB_CCH_VRMF];
    if (!RetrieveInstallDetails(szName, szDescription, szIdentifier, &szVrmf, NULL, FALSE, szCode, NULL,
                                ZEB_VIEW_64)) {
        ShowNlsError(ZEB_MSG_NO_INSTALL_NAME, kFallbackNoInstallName, NULL, NULL);
        Fail(r);
        return;
    }
    TraceText(kFunction, "Retrieved %s (VRMF %s, id %s)", szName, szVrmf, szIdentifier);
    if (r.szName[0] != '\0') {
        TraceText(kFunction, "Supplied name %s, found name %s", r.szName, szName);
        if (strcmp(r.szName, szName) != 0) {
            ShowNlsError(ZEB_MSG_NAME_MISMATCH, kFallbackNameMismatch, r.szName, szName);
            Fail(r);
            return;
        }
    }
    char szKey[ZEB_CCH_MSG];
    MakeInstallationKey(szKey, szName);
    if (r.szFolder[0] != '\0' && !CheckFolder(r, szKey, FALSE))
        return;
    TraceText(kFunction, "No installation name supplied but we have calculated it to be '%s'", szName);
    if (SetValue(r, PROP_ZEBINSTALLINSTANCENAME, szName) &&
        SetValue(r, PROP_ZEBOLDINSTALLINSTANCENAME, szName) &&
        SetValue(r, PROP_ZEBINSTALLINSTANCEDESC, DescriptionOr(r, szDescription)) &&
        SetValue(r, PROP_ZEBINSTANCEID, szIdentifier) && SetValue(r, PROP_ZEBOLDSERVER, ""))
        SetValue(r, PROP_ZEBOLDCLIENT, "");
}

void NamedNotInstalled(IdentityRun& r) {
    TraceText(kFunction, "user installation name supplied and is '%s'", r.szName);
    // Both halves are checked whole (up to 515 characters) before they go into name buffers, so a
    // long name is refused rather than cut into a valid one.
    char szOldWhole[ZEB_CCH_MSG];
    char szNewWhole[ZEB_CCH_MSG];
    lstrcpynA(szOldWhole, r.szName, sizeof(szOldWhole));
    lstrcpynA(szNewWhole, r.szName, sizeof(szNewWhole));
    LPSTR pszComma = strchr(szOldWhole, ',');
    if (pszComma != NULL) {
        *pszComma = '\0';
        lstrcpynA(szNewWhole, pszComma + 1, sizeof(szNewWhole));
    }
    if (iwiIsInstallNameInvalid(szOldWhole)) {
        ShowNlsError(ZEB_MSG_NAME_INVALID, kFallbackNameInvalid, szOldWhole, NULL);
        Fail(r);
        return;
    }
    if (pszComma != NULL && iwiIsInstallNameInvalid(szNewWhole)) {
        ShowNlsError(ZEB_MSG_NAME_INVALID, kFallbackNameInvalid, szNewWhole, NULL);
        Fail(r);
        return;
    }
    char szOld[ZEB_CCH_INSTNAME];
    char szNew[ZEB_CCH_INSTNAME];
    lstrcpynA(szOld, szOldWhole, sizeof(szOld));
    lstrcpynA(szNew, szNewWhole, sizeof(szNew));

    if (IsReservedInstallName(szNew)) {
        ShowNlsError(ZEB_MSG_NAME_RESERVED, kFallbackNameReserved, szNew, NULL);
        Fail(r);
        return;
    }
    BOOL bOldReserved = IsReservedInstallName(szOld);
    if (!bOldReserved && _stricmp(szOld, szNew) != 0) {
        ShowNlsError(ZEB_MSG_NAME_CHANGE, kFallbackNameChange, NULL, NULL);
        Fail(r);
        return;
    }

    char szCode[ZEB_CCH_PRODUCTCODE];
    char szDescription[ZEB_CCH_INSTDESC];
    char szIdentifier[ZEB_CCH_INSTID];
    char szVrmf[ZEB_CCH_VRMF];
    if (RetrieveInstallDetailsByName(szOld, &szCode, &szDescription, &szIdentifier, &szVrmf, TRUE,
                                     ZEB_VIEW_64_THEN_32)) {
        TraceText(kFunction, "Nothing installed yet, check for '%s' in registry", szOld);
        BOOL bServer = IsInList(szCode, r.szOldServer);
        if (!bServer && !IsInList(szCode, r.szOldClient)) {
            if (szCode[0] == '\0')
                TraceText(kFunction, "***Installation '%s' has no product code", szOld);
            ShowNlsError(ZEB_MSG_NOT_UPGRADABLE, kFallbackNotUpgradable, szOld, NULL, NULL,
                         kUpgradeRefusedNamed);
            Fail(r);
            return;
        }
        char szKey[ZEB_CCH_MSG];
        if (bOldReserved) {
            int iIdentifier = GetNewInstallationIdentifier(szOld);
            if (iIdentifier < 0) {
                Fail(r);
                return;
            }
            TraceText(kFunction, "upgrading from pre-7.1");
            if (!SetIdentifier(r, iIdentifier))
                return;
            lstrcpynA(szKey, ZEB_KEY_OLD_RECORD, sizeof(szKey));
            if (RetrieveInstallDetailsByName(szNew, NULL, NULL, NULL, NULL, FALSE, ZEB_VIEW_64_THEN_32)) {
                ShowNlsError(ZEB_MSG_NAME_IN_USE, kFallbackNameInUse, szNew, NULL);
                Fail(r);
                return;
            }
        } else {
            MakeInstallationKey(szKey, szNew);
        }
        if (r.szFolder[0] != '\0' && !CheckFolder(r, szKey, TRUE))
            return;
        if (bServer) {
            TraceText(kFunction, "product '%s' code is an upgradable server '%s'", szOld, szCode);
            if (!SetValue(r, PROP_ZEBOLDSERVER, szCode) || !SetValue(r, PROP_ZEBOLDCLIENT, ""))
                return;
        } else {
            TraceText(kFunction, "product '%s' code is an upgradable client '%s'", szOld, szCode);
            if (!SetValue(r, PROP_ZEBOLDCLIENT, szCode) || !SetValue(r, PROP_ZEBOLDSERVER, ""))
                return;
        }
        // The old record's new identifier is set already.
        if ((bOldReserved || SetValue(r, PROP_ZEBINSTANCEID, szIdentifier)) &&
            SetValue(r, PROP_ZEBOLDINSTALLINSTANCENAME, szOld) &&
            SetValue(r, PROP_ZEBINSTALLINSTANCENAME, szNew))
            SetValue(r, PROP_ZEBINSTALLINSTANCEDESC, DescriptionOr(r, szDescription));
        return;
    }

    if (bOldReserved) {
        ShowNlsError(ZEB_MSG_NOT_UPGRADABLE, kFallbackNotUpgradable, szOld, NULL, NULL,
                     kUpgradeRefusedOldRecord);
        Fail(r);
        return;
    }
    TraceText(kFunction, "provided name '%s' does not exist, assuming new installation", r.szName);
    if (r.szFolder[0] != '\0') {
        char szName[ZEB_CCH_INSTNAME];
        char szFoundDescription[ZEB_CCH_INSTDESC];
        if (RetrieveInstallDetails(szName, szFoundDescription, szIdentifier, NULL, NULL, TRUE, NULL,
                                   r.szFolder, ZEB_VIEW_64_THEN_32)) {
            ShowNlsPathError(ZEB_MSG_PATH_IN_USE, kFallbackPathInUse, r.szFolder);
            Fail(r);
            return;
        }
    }
    if (SetValue(r, PROP_ZEBOLDSERVER, "") && SetValue(r, PROP_ZEBOLDCLIENT, "") &&
        SetNewIdentifier(r, szNew) && SetValue(r, PROP_ZEBOLDINSTALLINSTANCENAME, "") &&
        SetValue(r, PROP_ZEBINSTALLINSTANCENAME, szNew))
        SetValue(r, PROP_ZEBINSTALLINSTANCEDESC, r.szDescription);
}

void UnnamedNotInstalled(IdentityRun& r) {
    if (r.szFolder[0] == '\0') {
        TraceText(kFunction, "Not installed, and no user name supplied - skipping.");
        if (SetNewIdentifier(r, kDefaultNamePrefix) && SetValue(r, PROP_ZEBINSTALLINSTANCENAME, "") &&
            SetValue(r, PROP_ZEBOLDINSTALLINSTANCENAME, ""))
            SetValue(r, PROP_ZEBINSTALLINSTANCEDESC, r.szDescription);
        return;
    }

    char szName[ZEB_CCH_INSTNAME];
    char szDescription[ZEB_CCH_INSTDESC];
    char szIdentifier[ZEB_CCH_INSTID];
    char szCode[ZEB_CCH_PRODUCTCODE];
    if (!RetrieveInstallDetails(szName, szDescription, szIdentifier, NULL, &szCode, TRUE, NULL, r.szFolder,
                                ZEB_VIEW_64_THEN_32)) {
        TraceText(kFunction, "install alongside");
        if (SetValue(r, PROP_ZEBOLDSERVER, "") && SetValue(r, PROP_ZEBOLDCLIENT, "") &&
            SetNewIdentifier(r, kDefaultNamePrefix) && SetValue(r, PROP_ZEBOLDINSTALLINSTANCENAME, "") &&
            SetValue(r, PROP_ZEBINSTALLINSTANCENAME, ""))
            SetValue(r, PROP_ZEBINSTALLINSTANCEDESC, r.szDescription);
        return;
    }

    TraceText(kFunction, "Although no name supplied we have calculated it to be '%s'", szName);
    if (IsReservedInstallName(szName)) {
        // The old record's name is chosen later; only its new identifier is settled here.
        if (!SetNewIdentifier(r, szName) || !SetValue(r, PROP_ZEBINSTALLINSTANCENAME, ""))
            return;
    } else if (!SetValue(r, PROP_ZEBINSTALLINSTANCENAME, szName) ||
               !SetValue(r, PROP_ZEBINSTANCEID, szIdentifier)) {
        return;
    }
    if (!SetValue(r, PROP_ZEBOLDINSTALLINSTANCENAME, szName) ||
        !SetValue(r, PROP_ZEBINSTALLINSTANCEDESC, DescriptionOr(r, szDescription)))
        return;
    if (IsInList(szCode, r.szOldServer)) {
        TraceText(kFunction, "upgrade server '%s'", szCode);
        if (SetValue(r, PROP_ZEBOLDSERVER, szCode))
            SetValue(r, PROP_ZEBOLDCLIENT, "");
    } else if (IsInList(szCode, r.szOldClient)) {
        TraceText(kFunction, "upgrade client '%s'", szCode);
        if (SetValue(r, PROP_ZEBOLDCLIENT, szCode))
            SetValue(r, PROP_ZEBOLDSERVER, "");
    } else {
        ShowNlsError(ZEB_MSG_NOT_UPGRADABLE, kFallbackNotUpgradable, szName, NULL, NULL,
                     kUpgradeRefusedFolder);
        Fail(r);
    }
}

void ProcessUserInstallationName(MSIHANDLE hInstall, UINT* puiStat) {
    IdentityRun r;
    memset(&r, 0, sizeof(r));
    r.hInstall = hInstall;
    r.puiStat = puiStat;
    if (!ReadSupplied(r))
        return;
    if (strlen(r.szDescription) > (size_t)kMaxDescription) {
        TraceText(kFunction,
                  "***Error Invalid Installation Description. The description is larger than the 64 "
                  "characters permitted.");
        ShowNlsError(ZEB_MSG_DESC_TOO_LONG, kFallbackDescTooLong, NULL, NULL);
        Fail(r);
        return;
    }
    if (r.szInstalled[0] != '\0') {
        Installed(r);
        return;
    }
    TraceText(kFunction, "Not already installed");
    if (r.szName[0] != '\0')
        NamedNotInstalled(r);
    else
        UnnamedNotInstalled(r);
}

} // namespace

BOOL iwiIsInstallNameInvalid(LPCSTR pszName) {
    static const char kFunction[] = "iwiIsInstallNameInvalid";
    size_t cch = strlen(pszName);
    if (cch == 0 || cch > ZEB_CCH_INSTNAME - 1) {
        TraceText(kFunction, "***The length of the name '%s' is invalid (%d chars)", pszName, (int)cch);
        return TRUE;
    }
    for (LPCSTR p = pszName; *p != '\0'; p++) {
        if (!IsAsciiLetterOrDigit(*p)) {
            TraceText(kFunction, "***The contents of the name '%s' is invalid", pszName);
            return TRUE;
        }
    }
    TraceText(kFunction, "The contents of the name '%s' are valid", pszName);
    return FALSE;
}

int GetNewInstallationIdentifier(LPCSTR pszName) {
    static const char kFunction[] = "GetNewInstallationIdentifier";
    BOOL abInUse[kIdentifiers] = {};
    for (int iView = 0; iView < 2; iView++) {
        BOOL bView32 = iView == 1;
        ZebRegKey hKey;
        LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_KEY_INSTALLATION, 0,
                                 KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | (bView32 ? KEY_WOW64_32KEY : 0),
                                 hKey.Out());
        if (lRc == ERROR_FILE_NOT_FOUND) {
            TraceText(kFunction, "INFO: registry key not found '%s'", ZEB_KEY_INSTALLATION);
            continue;
        }
        if (lRc != ERROR_SUCCESS) {
            TraceText(kFunction, "***Open key error %d '%s'", (int)lRc, ZEB_KEY_INSTALLATION);
            continue;
        }
        for (DWORD dwIndex = 0;; dwIndex++) {
            TraceText(kFunction, "Searching index %d", (int)dwIndex);
            char szSubkey[ZEB_CCH_PATH];
            DWORD cchSubkey = sizeof(szSubkey);
            if (RegEnumKeyExA(hKey.Get(), dwIndex, szSubkey, &cchSubkey, NULL, NULL, NULL, NULL) !=
                ERROR_SUCCESS)
                break;
            TraceText(kFunction, "Found subkey '%s'", szSubkey);
            char szKey[ZEB_CCH_MSG];
            char szIdentifier[ZEB_CCH_PATH];
            if (!MakeInstallationKey(szKey, szSubkey) ||
                !GetRegistryText(szKey, "Identifier", szIdentifier, sizeof(szIdentifier), bView32) ||
                szIdentifier[0] == '\0')
                continue;
            // Held to the range, so a long digit string reads as too big rather than overflowing.
            long long llIdentifier = ReadBoundedNumber(szIdentifier, kIdentifiers);
            TraceText(kFunction, "%s value is '%s' (%d)", "Identifier", szIdentifier, (int)llIdentifier);
            if (llIdentifier >= 0 && llIdentifier < kIdentifiers)
                abInUse[llIdentifier] = TRUE;
        }
    }
    for (int iIdentifier = 1; iIdentifier < kIdentifiers; iIdentifier++) {
        TraceText(kFunction, "%d installation id in use? (%d)", iIdentifier, abInUse[iIdentifier] ? 1 : 0);
        if (!abInUse[iIdentifier]) {
            TraceText(kFunction, "Returning installation id %d", iIdentifier);
            return iIdentifier;
        }
    }
    ShowNlsError(ZEB_MSG_NO_IDENTIFIER, kFallbackNoIdentifier, pszName, NULL);
    return -1;
}

void GetUniqueDefaultInstallationName(char (&szName)[ZEB_CCH_INSTNAME], LPCSTR pszSuggestedId) {
    static const char kFunction[] = "GetUniqueDefaultInstallationName";
    int iNumber = (int)ReadBoundedNumber(pszSuggestedId, kMaxDefaultNumber + 1);
    TraceText(kFunction, "Supplied instance id %d", iNumber);
    for (; iNumber >= 1 && iNumber <= kMaxDefaultNumber; iNumber++) {
        char szCandidate[ZEB_CCH_INSTNAME];
        snprintf(szCandidate, sizeof(szCandidate), "%s%d", kDefaultNamePrefix, iNumber);
        TraceText(kFunction, "Checking for existance of %s", szCandidate);
        if (!RetrieveInstallDetailsByName(szCandidate, NULL, NULL, NULL, NULL, FALSE, ZEB_VIEW_64_THEN_32)) {
            TraceText(kFunction, "Not found - we shall use that for our name");
            lstrcpynA(szName, szCandidate, sizeof(szName));
            return;
        }
    }
}

ZEB_ACTION iwiProcessUserInstallationName(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiProcessUserInstallationName", NULL))
        ProcessUserInstallationName(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
