// Named and script initialisation: the installation chosen in the user interface or a default one,
// coexistence with an old release, the version, title, service-level and account properties, and
// the upgrade permission of the installation being upgraded; the maintenance consistency check.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnInstall.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnStop.h"
#include "zebiwicnUtil.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <initializer_list>

namespace {

const char kFunction[] = "iwiInstallInitNamed";
const char kScriptFunction[] = "iwiInstallInitScript";

const char kFallbackMultipleUpgrades[] =
    "Cannot upgrade multiple products. Please provide an installation name (ZEB4786)";
const char kCannotCoexist[] =
    "The existing installation does not support coexistence with this installation (ZEB4784)";
const char kFallbackTitle[] = "HX V%s Setup";
const char kFallbackTitleClient[] = "HX V%s Client Setup";
const char kFallbackTitlePatch[] = "HX V%s Patch Setup";
const char kCreatedAccount[] = "CreatedAccount";
const char kAllowUpgrade[] = "AllowUpgrade";

struct NamedState {
    BOOL bProgramRead;
    char szProgram[ZEB_CCH_PATH]; // ZEBPGMFOLDER of iwiInstallInitScript, normalised
};
NamedState g_named;

// One run of iwiInstallInitNamed: its session and status, and what it has read and settled.
struct NamedRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    BOOL bAdmin;
    char szInstalled[ZEB_CCH_FLAG];
    char szOldServer[ZEB_CCH_UPGRADELIST];
    char szOldClient[ZEB_CCH_UPGRADELIST];
    char szInstanceId[ZEB_CCH_INSTID];
    char szName[ZEB_CCH_INSTNAME];
    char szChoice[ZEB_CCH_CODE];
    char szDescription[ZEB_CCH_INSTDESC]; // the user's
};

BOOL Fail(NamedRun& r) {
    *r.puiStat = ZEB_RC_FAILURE;
    return FALSE;
}

BOOL Get(NamedRun& r, LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    return GetPropertyValue(r.hInstall, kFunction, pszName, pszValue, cchValue, r.puiStat);
}

BOOL Set(NamedRun& r, LPCSTR pszName, LPCSTR pszValue) {
    return SetPropertyValue(r.hInstall, kFunction, pszName, pszValue, r.puiStat);
}

// Publishes the settled name: the user's description wins over the found one.
BOOL SetNaming(NamedRun& r, LPCSTR pszName, LPCSTR pszFoundDescription, LPCSTR pszOldName) {
    lstrcpynA(r.szName, pszName, sizeof(r.szName));
    return Set(r, PROP_ZEBINSTALLINSTANCENAME, pszName) &&
           Set(r, PROP_ZEBINSTALLINSTANCEDESC,
               r.szDescription[0] != '\0' ? r.szDescription : pszFoundDescription) &&
           Set(r, PROP_ZEBLASTPGM, "") && Set(r, PROP_ZEBOLDINSTALLINSTANCENAME, pszOldName);
}

// The name saved in the data folder (bSaved), or else the first free default name (the saved
// description then goes too).
void SavedOrDefaultName(NamedRun& r, BOOL bSaved, char (&szName)[ZEB_CCH_INSTNAME],
                        char (&szDescription)[ZEB_CCH_INSTDESC]) {
    if (bSaved)
        GetPreviousInstallationDetails(szName, szDescription);
    if (szName[0] == '\0') {
        szDescription[0] = '\0';
        GetUniqueDefaultInstallationName(szName, r.szInstanceId);
    }
}

// The user-interface choice names an installation of an old single-record release: TRUE (done)
// when the choice is its product code.
BOOL ChoseOldRelease(NamedRun& r, BOOL* pbOk) {
    *pbOk = TRUE;
    char szCode[ZEB_CCH_CODE];
    char szName[ZEB_CCH_INSTNAME];
    if (!GetRegistryText(ZEB_KEY_OLD_RECORD, "ProductCode", szCode, sizeof(szCode), TRUE) ||
        GetRegistryText(ZEB_KEY_OLD_RECORD, "Name", szName, sizeof(szName), TRUE))
        return FALSE;
    TraceText(kFunction, "Found key: '%s'", szCode);
    if (strcmp(szCode, r.szChoice) != 0) {
        TraceText(kFunction, "Product code doesnt match");
        return FALSE;
    }
    TraceText(kFunction, "Request to upgrade earlier release!");
    szName[0] = '\0';
    GetUniqueDefaultInstallationName(szName, r.szInstanceId);
    lstrcpynA(r.szName, szName, sizeof(r.szName));
    *pbOk = Set(r, PROP_ZEBINSTALLINSTANCENAME, szName) &&
            Set(r, PROP_ZEBOLDINSTALLINSTANCENAME, ZEB_OLD_RECORD_NAME);
    return TRUE;
}

BOOL NarrowUpgradeLists(NamedRun& r) {
    if (strstr(r.szOldServer, r.szChoice) != NULL) {
        lstrcpynA(r.szOldServer, r.szChoice, sizeof(r.szOldServer));
        r.szOldClient[0] = '\0';
    } else if (strstr(r.szOldClient, r.szChoice) != NULL) {
        lstrcpynA(r.szOldClient, r.szChoice, sizeof(r.szOldClient));
        r.szOldServer[0] = '\0';
    } else {
        TraceText(kFunction, "***Selected upgrade isnt in the list of upgradeables!");
        return Fail(r);
    }
    return Set(r, PROP_ZEBOLDSERVER, r.szOldServer) && Set(r, PROP_ZEBOLDCLIENT, r.szOldClient);
}

BOOL TakeChoice(NamedRun& r) {
    TraceText(kFunction, "User chose: '%s'", r.szChoice);
    char szName[ZEB_CCH_INSTNAME] = "";
    char szDescription[ZEB_CCH_INSTDESC] = "";
    if (strcmp(r.szChoice, ZEB_UPGRADE_NEW_ENTRY) == 0) {
        r.szOldServer[0] = '\0';
        r.szOldClient[0] = '\0';
        if (!Set(r, PROP_ZEBOLDSERVER, "") || !Set(r, PROP_ZEBOLDCLIENT, ""))
            return FALSE;
        TraceText(kFunction, "Request to install alongside!");
        SavedOrDefaultName(r, TRUE, szName, szDescription);
        return SetNaming(r, szName, szDescription, "");
    }
    BOOL bOk = TRUE;
    if (!ChoseOldRelease(r, &bOk)) {
        char szIdentifier[ZEB_CCH_INSTID];
        if (!RetrieveInstallDetails(szName, szDescription, szIdentifier, NULL, NULL, FALSE, r.szChoice, NULL,
                                    ZEB_VIEW_64_THEN_32)) {
            TraceText(kFunction, "***User selected option in GUI which isnt in registry");
            TraceText(kFunction,
                      "***dont know how this happened - iwiListAvailableUpgrades should have caught this.");
            return Fail(r);
        }
        TraceText(kFunction, "Request to upgrade installation %s", szName);
        lstrcpynA(r.szName, szName, sizeof(r.szName));
        bOk =
            Set(r, PROP_ZEBINSTALLINSTANCENAME, szName) && Set(r, PROP_ZEBOLDINSTALLINSTANCENAME, szName) &&
            Set(r, PROP_ZEBINSTANCEID, szIdentifier) &&
            Set(r, PROP_ZEBINSTALLINSTANCEDESC, r.szDescription[0] != '\0' ? r.szDescription : szDescription);
    }
    return bOk && NarrowUpgradeLists(r);
}

BOOL SettleWithoutChoice(NamedRun& r) {
    if (r.szName[0] != '\0')
        return TRUE;
    BOOL bServer = r.szOldServer[0] != '\0';
    BOOL bClient = r.szOldClient[0] != '\0';
    if ((bServer && bClient) || strchr(r.szOldServer, ';') != NULL || strchr(r.szOldClient, ';') != NULL) {
        TraceText(kFunction, "***More than one upgradable product and no installation name");
        ShowNlsError(ZEB_MSG_MULTIPLE_UPGRADES, kFallbackMultipleUpgrades, NULL);
        return Fail(r);
    }
    char szName[ZEB_CCH_INSTNAME] = "";
    char szDescription[ZEB_CCH_INSTDESC] = "";
    char szFoundName[ZEB_CCH_INSTNAME] = "";
    if (bServer || bClient) {
        TraceText(kFunction, "Single upgradable product so lets just upgrade it!");
        char szIdentifier[ZEB_CCH_INSTID];
        char szFoundDescription[ZEB_CCH_INSTDESC];
        if (RetrieveInstallDetails(szFoundName, szFoundDescription, szIdentifier, NULL, NULL, TRUE,
                                   bServer ? r.szOldServer : r.szOldClient, NULL, ZEB_VIEW_64_THEN_32)) {
            TraceText(kFunction, "Found details from registry!");
            if (!IsReservedInstallName(szFoundName)) {
                lstrcpynA(szName, szFoundName, sizeof(szName));
                lstrcpynA(szDescription, szFoundDescription, sizeof(szDescription));
                if (!Set(r, PROP_ZEBINSTANCEID, szIdentifier))
                    return FALSE;
            }
        }
    }
    SavedOrDefaultName(r, !bServer && !bClient, szName, szDescription);
    return SetNaming(r, szName, szDescription, szFoundName);
}

BOOL CheckCoexistence(NamedRun& r) {
    char szUiLevel[ZEB_CCH_FLAG];
    if (!Get(r, PROP_UILEVEL, szUiLevel, sizeof(szUiLevel)))
        return FALSE;
    long long llUiLevel = 0;
    ReadClampedDecimal(szUiLevel, 0, 0x7fffffff, &llUiLevel);
    if (llUiLevel == 5 || r.szInstalled[0] != '\0' || r.szOldServer[0] != '\0' || r.szOldClient[0] != '\0')
        return TRUE;
    char szVrmf[ZEB_CCH_VRMF];
    if (!GetRegistryText(ZEB_KEY_OLD_RECORD, "VRMF", szVrmf, sizeof(szVrmf), TRUE) ||
        CompareDottedVersions(szVrmf, ZEB_LEGACY_COEXIST_LEVEL) >= 0)
        return TRUE;
    char szCoexist[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBCOEXISTANY, szCoexist, sizeof(szCoexist)))
        return FALSE;
    if (szCoexist[0] == '\0') {
        TraceText(kFunction, "Cannot coexist with '%s'", szVrmf);
        TraceText(kFunction, "***%s", kCannotCoexist);
        iiiDisplayMsgBox(kCannotCoexist, MB_ICONERROR);
        return Fail(r);
    }
    TraceText(kFunction, "Coexisting with '%s' due to '%s'", szVrmf, PROP_ZEBCOEXISTANY);
    return TRUE;
}

BOOL SetVersions(NamedRun& r, const char (&szVersion)[ZEB_CCH_MSG]) {
    char szMajor[ZEB_CCH_PATH];
    char szRelease[ZEB_CCH_PATH];
    lstrcpynA(szMajor, DottedVersionField(szVersion, 1), sizeof(szMajor));
    lstrcpynA(szRelease, DottedVersionField(szVersion, 2), sizeof(szRelease));
    char szNormal[2 * ZEB_CCH_PATH + 3];
    snprintf(szNormal, sizeof(szNormal), "%s%s000", szMajor, szRelease);
    return Set(r, PROP_ZEBVERSION, szMajor) && Set(r, PROP_ZEBRELEASE, szRelease) &&
           Set(r, PROP_ZEBNORMALVERSION, szNormal);
}

BOOL SetTaskbar(NamedRun& r, BOOL bClient) {
    if (r.bAdmin || bClient)
        return Set(r, PROP_ZEBSTARTTASKBAR, "");
    char szSetting[ZEB_CCH_MSG];
    if (iwiGetIniProperty(PROP_STARTTASKBAR, szSetting, NULL) != ZEB_RC_SUCCESS)
        return Fail(r);
    if (szSetting[0] != '\0')
        return Set(r, PROP_ZEBSTARTTASKBAR, icsIsNo(szSetting, "yes") ? "" : "1");
    // An old taskbar program that nothing holds open was not running: leave it off.
    BOOL bStart = TRUE;
    char szBin[ZEB_CCH_PATH];
    char szProgram[ZEB_CCH_PATH];
    if (PrevRecord().szProgramFolder[0] != '\0' &&
        MakeFilePath(szBin, PrevRecord().szProgramFolder, ProgramBinSubfolder()) &&
        MakeFilePath(szProgram, szBin, "zebmtbrn.exe") && FileExists(szProgram) && !IsFileLocked(szProgram))
        bStart = FALSE;
    return Set(r, PROP_ZEBSTARTTASKBAR, bStart ? "1" : "");
}

BOOL SetTitle(NamedRun& r, BOOL bClient) {
    char szPatch[ZEB_CCH_MSG];
    char szVersion[ZEB_CCH_MSG];
    if (!Get(r, PROP_PATCH, szPatch, sizeof(szPatch)) ||
        !Get(r, PROP_PRODUCTVERSION, szVersion, sizeof(szVersion)))
        return FALSE;
    char szFormat[ZEB_CCH_MSG];
    if (szPatch[0] != '\0')
        LoadNlsStringOr(szFormat, ZEB_MSG_TITLE_PATCH, kFallbackTitlePatch);
    else if (bClient)
        LoadNlsStringOr(szFormat, ZEB_MSG_TITLE_CLIENT, kFallbackTitleClient);
    else
        LoadNlsStringOr(szFormat, ZEB_MSG_TITLE, kFallbackTitle);
    size_t cch = strlen(szVersion);
    while (cch > 3 && strcmp(szVersion + cch - 2, ".0") == 0) {
        cch -= 2;
        szVersion[cch] = '\0';
    }
    char szTitle[ZEB_CCH_MSG];
    FillPathInsert(szTitle, szFormat, szVersion);
    return Set(r, PROP_ZEBSETUPTITLE, szTitle);
}

BOOL IsAllOf(LPCSTR pszText, int (*pfnIs)(int)) {
    for (LPCSTR p = pszText; *p != '\0'; p++) {
        if (!pfnIs((unsigned char)*p))
            return FALSE;
    }
    return *pszText != '\0';
}

// "007" is "7", "000" is "0"; anything but digits is left.
void DropLeadingZeros(LPSTR pszPart) {
    if (!IsAllOf(pszPart, isdigit))
        return;
    size_t iFirst = strspn(pszPart, "0");
    if (pszPart[iFirst] == '\0')
        iFirst--;
    memmove(pszPart, pszPart + iFirst, strlen(pszPart + iFirst) + 1);
}

// A given service level must read M.F: M all digits or all letters, F all digits.
BOOL CheckShippedLevel(NamedRun& r) {
    char szLevel[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBSERVICESHIPLEVEL, szLevel, sizeof(szLevel)))
        return FALSE;
    if (szLevel[0] == '\0')
        return TRUE;
    LPSTR pszFix = strchr(szLevel, '.');
    if (pszFix != NULL) {
        *pszFix++ = '\0';
        if (strchr(pszFix, '.') != NULL) {
            TraceText(kFunction, "***Invalid Modification.Fix Level '%s'", PROP_ZEBSERVICESHIPLEVEL);
            return Fail(r);
        }
    } else {
        pszFix = szLevel + strlen(szLevel); // no fix level at all
    }
    DropLeadingZeros(szLevel);
    DropLeadingZeros(pszFix);
    if (!IsAllOf(szLevel, isdigit) && !IsAllOf(szLevel, isalpha)) {
        TraceText(kFunction, "***Modification Level '%s' must be all numeric or all alphabetic", szLevel);
        return Fail(r);
    }
    if (!IsAllOf(pszFix, isdigit)) {
        TraceText(kFunction, "***Fix Level '%s' must be numeric", pszFix);
        return Fail(r);
    }
    TraceText(kFunction, "Shipped level '%s.%s' is valid", szLevel, pszFix);
    return TRUE;
}

BOOL SettleServiceLevel(NamedRun& r) {
    if (r.szInstalled[0] != '\0') {
        TraceText(kFunction, "Get Installed service level info for an installed product");
        char szShippedMod[ZEB_CCH_LEVEL], szShippedFix[ZEB_CCH_LEVEL];
        char szLatestMod[ZEB_CCH_LEVEL], szLatestFix[ZEB_CCH_LEVEL];
        if (icsGetMaintenanceLevels(ZEB_KEY_INSTALLATION, r.szName, &szShippedMod, &szShippedFix, NULL, NULL,
                                    &szLatestMod, &szLatestFix, NULL))
            TraceText(kFunction, "Shipped level '%s.%s', latest level '%s.%s'", szShippedMod, szShippedFix,
                      szLatestMod, szLatestFix);
    } else {
        TraceText(kFunction, "Product not installed, process shipped level");
        if (!CheckShippedLevel(r))
            return FALSE;
    }
    char szVersion[ZEB_CCH_MSG];
    if (!Get(r, PROP_PRODUCTVERSION, szVersion, sizeof(szVersion)))
        return FALSE;
    LPCSTR pszPrevVrmf = PrevRecord().szVrmf;
    TraceText(kFunction, "Product Version being installed is '%s'", szVersion);
    TraceText(kFunction, "previous product version was: '%s'", pszPrevVrmf);
    char szModification[ZEB_CCH_PATH];
    lstrcpynA(szModification, DottedVersionField(szVersion, 3), sizeof(szModification));
    char szFix[ZEB_CCH_PATH];
    lstrcpynA(szFix, DottedVersionField(szVersion, 4), sizeof(szFix));
    char szShipped[2 * ZEB_CCH_PATH];
    snprintf(szShipped, sizeof(szShipped), "%s.%s", szModification, szFix);
    TraceText(kFunction, "In an upgrade, 'Shipped' registry value will be set to '%s'", szShipped);
    if (!Set(r, PROP_ZEBSERVICESHIPLEVEL, szShipped))
        return FALSE;
    TraceText(kFunction, "In an upgrade, 'VRMF' registry value will be set to '%s'", szVersion);
    if (!Set(r, PROP_ZEBVRMF, szVersion))
        return FALSE;

    TraceText(kFunction, "szPrevVersionReleaseModFix='%s'", pszPrevVrmf);
    char szFormat[ZEB_CCH_MSG];
    if (pszPrevVrmf[0] == '\0' || strcmp(pszPrevVrmf, "0.0.0.0") == 0 ||
        !iwiLoadNlsString(szFormat, ZEB_MSG_SERVICE_LEVEL))
        return TRUE;
    char szWelcome[ZEB_CCH_MSG];
    FillPathInsert(szWelcome, szFormat, pszPrevVrmf);
    TraceText(kFunction, "Welcome message is '%s'", szWelcome);
    return Set(r, PROP_ZEBSERVICELEVELMESSAGE, szWelcome);
}

// The old single record's account: only a 32-bit number counts.
BOOL ReadOldCreatedAccount(DWORD* pdwAccount) {
    ZebRegKey hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_KEY_OLD_RECORD, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                      hKey.Out()) != ERROR_SUCCESS)
        return FALSE;
    DWORD dwType = 0;
    DWORD cbData = sizeof(*pdwAccount);
    LONG lRc = RegQueryValueExA(hKey.Get(), kCreatedAccount, NULL, &dwType, (LPBYTE)pdwAccount, &cbData);
    if (lRc == ERROR_SUCCESS && dwType == REG_DWORD && cbData == sizeof(*pdwAccount))
        return TRUE;
    if (lRc != ERROR_FILE_NOT_FOUND)
        TraceText(kFunction, "Value '%s' of '%s' is not a 32-bit number; ignored", kCreatedAccount,
                  ZEB_KEY_OLD_RECORD);
    return FALSE;
}

BOOL SettleAccounts(NamedRun& r) {
    if (r.szInstalled[0] != '\0') {
        char szKey[ZEB_CCH_MSG];
        char szAccount[ZEB_CCH_PATH];
        if (MakeInstallationKey(szKey, r.szName) &&
            GetRegistryText(szKey, kCreatedAccount, szAccount, sizeof(szAccount), FALSE)) {
            TraceText(kFunction, "Found CreatedAccount value: '%s'", szAccount);
            if (!Set(r, PROP_ZEBCREATEDACCOUNTNUMBER, szAccount))
                return FALSE;
        } else {
            TraceText(kFunction, "No value for CreatedAccount in '%s' - no account to delete", szKey);
        }
    }
    char szOldName[ZEB_CCH_INSTNAME];
    if (!Get(r, PROP_ZEBOLDINSTALLINSTANCENAME, szOldName, sizeof(szOldName)))
        return FALSE;
    if (szOldName[0] == '\0')
        return TRUE;
    if (IsReservedInstallName(szOldName)) {
        DWORD dwAccount = 0;
        if (!ReadOldCreatedAccount(&dwAccount))
            return TRUE;
        char szAccount[ZEB_CCH_FLAG];
        snprintf(szAccount, sizeof(szAccount), "%d", (int)dwAccount);
        return Set(r, PROP_ZEBUPGRADEDACCOUNTNUMBER, szAccount);
    }
    if (r.szOldServer[0] == '\0' && r.szOldClient[0] == '\0') {
        TraceText(kFunction, "Not attempting to upgrade 7.1+");
        return TRUE;
    }
    TraceText(kFunction, "Permitting an upgrade to occur");
    char szKey[ZEB_CCH_MSG];
    if (!MakeInstallationKey(szKey, szOldName))
        return TRUE;
    // The old package's removal checks this; the key is the old installation's and is never made.
    for (REGSAM samView : {(REGSAM)0, (REGSAM)KEY_WOW64_32KEY}) {
        ZebRegKey hKey;
        LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_SET_VALUE | samView, hKey.Out());
        if (lRc != ERROR_SUCCESS) {
            TraceText(kFunction, "***Can't open key '%s' %d", szKey, (int)lRc);
            continue;
        }
        lRc = RegSetValueExA(hKey.Get(), kAllowUpgrade, 0, REG_SZ, (const BYTE*)"1", 1);
        if (lRc != ERROR_SUCCESS)
            TraceText(kFunction, "***Can't set value '%s' key '%s' %d", kAllowUpgrade, szKey, (int)lRc);
    }
    return TRUE;
}

void InstallInitNamed(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    NamedRun r;
    memset(&r, 0, sizeof(r));
    r.hInstall = hInstall;
    r.puiStat = puiStat;
    r.bAdmin = MsiGetMode(hInstall, MSIRUNMODE_ADMIN);
    if (!Get(r, PROP_INSTALLED, r.szInstalled, sizeof(r.szInstalled)) ||
        !Get(r, PROP_ZEBOLDSERVER, r.szOldServer, sizeof(r.szOldServer)) ||
        !Get(r, PROP_ZEBOLDCLIENT, r.szOldClient, sizeof(r.szOldClient)) ||
        !Get(r, PROP_ZEBINSTANCEID, r.szInstanceId, sizeof(r.szInstanceId)) ||
        !Get(r, PROP_ZEBINSTALLINSTANCENAME, r.szName, sizeof(r.szName)) ||
        !Get(r, PROP_ZEBSELECTUPGRADELISTBOX, r.szChoice, sizeof(r.szChoice)) ||
        !Get(r, PROP_ZEBINSTALLINSTANCEDESC, r.szDescription, sizeof(r.szDescription)))
        return;
    // One character is what an untouched list box leaves: no choice.
    if (strlen(r.szChoice) >= 2 ? !TakeChoice(r) : !SettleWithoutChoice(r))
        return;
    if (!CheckCoexistence(r))
        return;
    UINT uiRc = GetHxRegistryInfo();
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = uiRc;
        return;
    }
    if (!r.bAdmin)
        iwiCalculatePrimary();
    char szVersion[ZEB_CCH_MSG];
    if (!Get(r, PROP_PRODUCTVERSION, szVersion, sizeof(szVersion)) || !SetVersions(r, szVersion))
        return;
    BOOL bClient = IsClientInstall();
    if (!SetTaskbar(r, bClient) || !SetTitle(r, bClient) || !SettleServiceLevel(r))
        return;
    SettleAccounts(r);
}

void InstallInitScript(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szUiLevel[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kScriptFunction, PROP_UILEVEL, szUiLevel, sizeof(szUiLevel), puiStat))
        return;
    long long llUiLevel = 0;
    ReadClampedDecimal(szUiLevel, 0, 0x7fffffff, &llUiLevel);
    if (!g_named.bProgramRead) {
        if (!GetPropertyValue(hInstall, kScriptFunction, PROP_ZEBPGMFOLDER, g_named.szProgram,
                              sizeof(g_named.szProgram), puiStat))
            return;
        NormalizePath(FALSE, g_named.szProgram);
        g_named.bProgramRead = TRUE;
    }
    char szInstalled[ZEB_CCH_FLAG];
    if (llUiLevel != 5 || g_named.szProgram[0] == '\0' ||
        !GetPropertyValue(hInstall, kScriptFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled),
                          puiStat) ||
        szInstalled[0] == '\0')
        return;
    char szProductCode[ZEB_CCH_CODE];
    if (!GetPropertyValue(hInstall, kScriptFunction, PROP_PRODUCTCODE, szProductCode, sizeof(szProductCode),
                          puiStat))
        return;
    char szName[ZEB_CCH_INSTNAME], szDescription[ZEB_CCH_INSTDESC], szIdentifier[ZEB_CCH_INSTID];
    char szKey[ZEB_CCH_MSG];
    if (!RetrieveInstallDetails(szName, szDescription, szIdentifier, NULL, NULL, FALSE, szProductCode, NULL,
                                ZEB_VIEW_64) ||
        !MakeInstallationKey(szKey, szName)) {
        TraceText(kScriptFunction, "***No installation has product code '%s'", szProductCode);
        ShowNlsMessage(ZEB_MSG_NO_INSTALL_NAME, MB_ICONERROR, NULL, NULL);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szRecorded[ZEB_CCH_PATH];
    if (!GetRegistryText(szKey, "FilePath", szRecorded, sizeof(szRecorded), FALSE))
        szRecorded[0] = '\0';
    NormalizePath(FALSE, szRecorded);
    if (_stricmp(szRecorded, g_named.szProgram) != 0) {
        TraceText(kScriptFunction, "***Program folder '%s' is not the recorded '%s'", g_named.szProgram,
                  szRecorded);
        ShowNlsMessage(ZEB_MSG_PATH_MISMATCH, MB_ICONERROR, g_named.szProgram, szRecorded);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szPropertyName[ZEB_CCH_INSTNAME];
    if (!GetPropertyValue(hInstall, kScriptFunction, PROP_ZEBINSTALLINSTANCENAME, szPropertyName,
                          sizeof(szPropertyName), puiStat))
        return;
    if (_stricmp(szPropertyName, szName) != 0) {
        TraceText(kScriptFunction, "***Installation name '%s' is not the recorded '%s'", szPropertyName,
                  szName);
        ShowNlsMessage(ZEB_MSG_NAME_MISMATCH, MB_ICONERROR, szPropertyName, szName);
        *puiStat = ZEB_RC_FAILURE;
    }
}

} // namespace

void ResetNamedState(void) {
    memset(&g_named, 0, sizeof(g_named));
}

ZEB_ACTION iwiInstallInitNamed(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiInstallInitNamed", NULL))
        InstallInitNamed(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiInstallInitScript(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiInstallInitScript", NULL))
        InstallInitScript(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
