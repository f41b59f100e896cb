// Program, data and log folders: the path checks (length by kind, installations' program folders,
// drives, the first free default), the trace of the previous installation, and iwiSetDirs, which
// chooses the three folders of the installation.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnUninstall.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kFunction[] = "iwiSetDirs";
const char kFilePath[] = "FilePath";
const char kValidFunction[] = "IsValidPath";
const char kInUseFunction[] = "iwiIsInstallPathInUse";
const char kAccessibleFunction[] = "iwiIsFolderAccessible";
const char kDefaultFunction[] = "iwiCalcAvailableDefaultPath";
const char kSummaryFunction[] = "LogSummary";

const char kFallbackDataNoDrive[] =
    "The data folder '%1' recommended by an earlier installation is on a drive this machine does not have. "
    "Choose another data folder, or make the drive available, and run the installation again.";
const char kFallbackLogNoDrive[] =
    "The log folder '%1' recommended by an earlier installation is on a drive this machine does not have. "
    "Choose another log folder, or make the drive available, and run the installation again.";

ZebWorkingFolders g_folders;

// The levels LogSummary names in words; any other is written as a dotted version.
const struct {
    LONG lLevel;
    LPCSTR pszText;
} kLevelTexts[] = {
    {0, "Hexline is not installed"},
    {20000, "Installed Hexline version is 2.0"},
    {50000, "Installed Hexline version is 5.0"},
    {50100, "Installed Hexline version is 5.1"},
    {50200, "Installed Hexline version is 5.2"},
    {50201, "Installed Hexline version is 5.2.1"},
    {50300, "Installed Skyloft HX version is 5.3"},
    {60000, "Installed Skyloft HX version is 6.0"},
    {70000, "Installed Skyloft HX version is 7.0"},
};

// A registered program folder in the form with separator; FALSE when the value is missing or
// empty, which claims no path.
BOOL ReadProgramFolder(LPCSTR pszKey, BOOL bView32, char (&szFolder)[ZEB_CCH_MSG]) {
    if (!GetRegistryText(pszKey, kFilePath, szFolder, sizeof(szFolder), bView32))
        return FALSE;
    NormalizePath(FALSE, szFolder);
    if (szFolder[0] == '\0')
        return FALSE;
    NormalizePath(TRUE, szFolder);
    return TRUE;
}

// One registry view of the installations: TRUE when one of them claims the path.
BOOL IsClaimedInView(LPCSTR pszCheck, BOOL bView32) {
    ZebRegKey hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_KEY_INSTALLATION, 0,
                      KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | (bView32 ? KEY_WOW64_32KEY : 0),
                      hKey.Out()) != ERROR_SUCCESS)
        return FALSE;
    for (DWORD dwIndex = 0;; dwIndex++) {
        char szName[ZEB_CCH_PATH];
        DWORD cchName = sizeof(szName);
        if (RegEnumKeyExA(hKey.Get(), dwIndex, szName, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            return FALSE;
        char szKey[ZEB_CCH_MSG];
        int cch = snprintf(szKey, sizeof(szKey), "%s\\%s", ZEB_KEY_INSTALLATION, szName);
        if (cch < 0 || cch >= (int)sizeof(szKey))
            continue;
        char szFolder[ZEB_CCH_MSG];
        if (ReadProgramFolder(szKey, bView32, szFolder) && OverlapsPath(szFolder, pszCheck)) {
            TraceText(kInUseFunction, "In use by installation %s with path %s - skipping", szName, szFolder);
            return TRUE;
        }
    }
}

// Sets the property to the value tidied without separator; FALSE (status 1603) when that failed.
BOOL SetTidied(MSIHANDLE hInstall, LPCSTR pszName, LPCSTR pszValue, UINT* puiStat) {
    char szValue[ZEB_CCH_PATH];
    lstrcpynA(szValue, pszValue, sizeof(szValue));
    NormalizePath(FALSE, szValue);
    return SetPropertyValue(hInstall, kFunction, pszName, szValue, puiStat);
}

// One run of iwiSetDirs: its session and status, the last-install recommendations it works on.
struct DirsRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    char szLastPgm[ZEB_CCH_PATH];
    char szLastDat[ZEB_CCH_PATH];
    char szLastLog[ZEB_CCH_PATH];
};

BOOL Fail(DirsRun& r) {
    *r.puiStat = ZEB_RC_FAILURE;
    return FALSE;
}

BOOL Get(DirsRun& r, LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    return GetPropertyValue(r.hInstall, kFunction, pszName, pszValue, cchValue, r.puiStat);
}

BOOL Set(DirsRun& r, LPCSTR pszName, LPCSTR pszValue) {
    return SetPropertyValue(r.hInstall, kFunction, pszName, pszValue, r.puiStat);
}

// A folder setting of the response file, tidied without separator. FALSE (status 1603) when it
// cannot be read or is too long for its kind; an empty value is no failure.
BOOL ReadFolderSetting(DirsRun& r, LPCSTR pszSetting, int iKind, char (&szFolder)[ZEB_CCH_PATH]) {
    szFolder[0] = '\0';
    char szValue[ZEB_CCH_MSG];
    if (iwiGetIniProperty(pszSetting, szValue, NULL) != ZEB_RC_SUCCESS)
        return Fail(r);
    NormalizePath(FALSE, szValue);
    if (szValue[0] == '\0')
        return TRUE;
    if (!IsValidPath(iKind, szValue)) {
        TraceText(kFunction, "***%s not valid: '%s'", pszSetting, szValue);
        return Fail(r);
    }
    lstrcpynA(szFolder, szValue, sizeof(szFolder));
    return TRUE;
}

// A recommended folder on a drive the machine lacks: refused after the message unless the full
// interface runs, which warns the user later through the property and chooses the default.
BOOL AcceptMissingDrive(DirsRun& r, LPCSTR pszFolder, UINT uMessage, LPCSTR pszFallback, LPCSTR pszProperty) {
    char szLevel[ZEB_CCH_FLAG];
    if (!Get(r, PROP_UILEVEL, szLevel, sizeof(szLevel)))
        return FALSE;
    long long llLevel = 0;
    ReadClampedDecimal(szLevel, 0, 0xFFFF, &llLevel);
    if (llLevel == INSTALLUILEVEL_FULL)
        return Set(r, pszProperty, "1");
    TraceText(kFunction, "***Recommended folder '%s' is on no drive of this machine", pszFolder);
    ShowNlsError(uMessage, pszFallback, pszFolder);
    return Fail(r);
}

// The queue managers of the recommended data folder, then whether the previous data and log
// folders still bind: they do while queue managers or other installations exist.
BOOL SettlePreviousFolders(DirsRun& r) {
    TraceText(kFunction, "Building a list of existing qmgrs");
    isuBuildQmList(r.szLastDat);
    BOOL bHaveQms = isuQmCount() > 0;
    isuFreeQmList();
    if (bHaveQms)
        TraceText(kFunction, "One or more qmgrs already exist, cannot move the data directory");
    else
        TraceText(kFunction, "No qmgrs already exist, CAN choose another data directory");
    if (!Set(r, PROP_ZEBHAVEQMS, bHaveQms ? "1" : ""))
        return FALSE;

    if (icsCheckForInstalls("", FALSE, FALSE)) {
        TraceText(kFunction, "Other installation(s) exist, cannot move the data directory");
        return TRUE;
    }
    TraceText(kFunction, "Nothing is installed - candidate for data/log/pgm path modifications");
    ZebPrevRecord& prev = PrevRecord();
    lstrcpynA(r.szLastDat, prev.szDataFolder, sizeof(r.szLastDat));
    lstrcpynA(r.szLastLog, prev.szLogFolder, sizeof(r.szLastLog));
    char szHaveQms[ZEB_CCH_FLAG];
    if (!Get(r, PROP_ZEBHAVEQMS, szHaveQms, sizeof(szHaveQms)))
        return FALSE;
    if (szHaveQms[0] != '1') {
        TraceText(kFunction, "We didnt find queue managers so lets let data path and log path be moved");
        prev.szDataFolder[0] = '\0';
        prev.szLogFolder[0] = '\0';
    } else {
        TraceText(kFunction, "Argh... we have qmgrs... better not let the data path change then!");
    }
    return TRUE;
}

BOOL ChooseProgramFolder(DirsRun& r) {
    TraceText(kFunction, "---PROGRAM FOLDER---");
    ZebPrevRecord& prev = PrevRecord();
    char szFolder[ZEB_CCH_PATH] = "";
    if (prev.szProgramFolder[0] != '\0' && IsValidPath(ZEB_FOLDER_PROGRAM, prev.szProgramFolder)) {
        lstrcpynA(szFolder, prev.szProgramFolder, sizeof(szFolder));
    } else {
        if (!ReadFolderSetting(r, PROP_PGMFOLDER, ZEB_FOLDER_PROGRAM, szFolder))
            return FALSE;
        if (szFolder[0] == '\0' && r.szLastPgm[0] != '\0' && IsValidPath(ZEB_FOLDER_PROGRAM, r.szLastPgm)) {
            if (!iwiIsInstallPathInUse(r.szLastPgm)) {
                TraceText(kFunction, "Setting pgm recommendation from lastinstall.reg");
                lstrcpynA(szFolder, r.szLastPgm, sizeof(szFolder));
            } else {
                TraceText(kFunction, "Not using lastinstall.reg pgm recommendation as its busy.");
            }
        }
        if (szFolder[0] == '\0') {
            TraceText(kFunction, "Pgm Folder still not defined, so set to default");
            char szDisk[ZEB_CCH_PATH];
            char szProgramFiles[ZEB_CCH_PATH];
            char szManufacturer[ZEB_CCH_PATH];
            if (!Get(r, PROP_ZEBDISKFOLDERNAME, szDisk, sizeof(szDisk)) ||
                !Get(r, PROP_PROGRAMFILES64FOLDER, szProgramFiles, sizeof(szProgramFiles)) ||
                !Get(r, PROP_MANUFACTURER, szManufacturer, sizeof(szManufacturer)))
                return FALSE;
            NormalizePath(FALSE, szProgramFiles);
            int cch =
                snprintf(szFolder, sizeof(szFolder), "%s\\%s\\%s", szProgramFiles, szManufacturer, szDisk);
            if (cch < 0 || cch >= (int)sizeof(szFolder))
                szFolder[0] = '\0'; // a default that does not fit is no default
            else
                iwiCalcAvailableDefaultPath(szFolder);
        }
    }
    if (szFolder[0] == '\0' || !IsValidPath(ZEB_FOLDER_PROGRAM, szFolder)) {
        TraceText(kFunction, "Final fallback for Pgm Folder");
        snprintf(szFolder, sizeof(szFolder), "c:\\Program Files\\Corvane\\%s",
                 iwiGetProductStaticData(2, NULL));
    }
    NormalizePath(FALSE, szFolder);
    lstrcpynA(g_folders.szProgram, szFolder, sizeof(g_folders.szProgram));
    return Set(r, PROP_ZEBPGMFOLDER, szFolder) && Set(r, PROP_INSTALLDIR, szFolder) &&
           SetTidied(r.hInstall, PROP_ZEBPREVPGM, prev.szProgramFolder, r.puiStat);
}

BOOL ChooseDataFolder(DirsRun& r) {
    TraceText(kFunction, "---DATA FOLDER---");
    ZebPrevRecord& prev = PrevRecord();
    char szFolder[ZEB_CCH_PATH] = "";
    if (prev.szDataFolder[0] != '\0' && IsValidPath(ZEB_FOLDER_DATA, prev.szDataFolder)) {
        lstrcpynA(szFolder, prev.szDataFolder, sizeof(szFolder));
    } else {
        if (!ReadFolderSetting(r, PROP_DATFOLDER, ZEB_FOLDER_DATA, szFolder))
            return FALSE;
        if (szFolder[0] == '\0' && r.szLastDat[0] != '\0' && IsValidPath(ZEB_FOLDER_DATA, r.szLastDat)) {
            if (iwiIsFolderAccessible(r.szLastDat)) {
                TraceText(kFunction, "Setting dat recommendation from last install");
                lstrcpynA(szFolder, r.szLastDat, sizeof(szFolder));
            } else if (!AcceptMissingDrive(r, r.szLastDat, ZEB_MSG_DATA_FOLDER_NO_DRIVE, kFallbackDataNoDrive,
                                           PROP_ZEBINACCESSIBLELASTDAT)) {
                return FALSE;
            }
        }
        if (szFolder[0] == '\0') {
            TraceText(kFunction, "Data Folder still not defined, so set to default");
            char szAppData[ZEB_CCH_PATH];
            if (!Get(r, PROP_COMMONAPPDATAFOLDER, szAppData, sizeof(szAppData)))
                return FALSE;
            NormalizePath(FALSE, szAppData);
            int cch = snprintf(szFolder, sizeof(szFolder), "%s\\Corvane\\HX", szAppData);
            if (cch < 0 || cch >= (int)sizeof(szFolder))
                szFolder[0] = '\0';
        }
    }
    if (szFolder[0] == '\0' || !IsValidPath(ZEB_FOLDER_DATA, szFolder)) {
        TraceText(kFunction, "Final fallback for Data Folder");
        lstrcpynA(szFolder, "c:\\ProgramData\\Corvane\\HX", sizeof(szFolder));
    }
    NormalizePath(FALSE, szFolder);
    lstrcpynA(g_folders.szData, szFolder, sizeof(g_folders.szData));
    return Set(r, PROP_ZEBDATFOLDER, szFolder) &&
           SetTidied(r.hInstall, PROP_ZEBPREVDAT, prev.szDataFolder, r.puiStat);
}

BOOL ChooseLogFolder(DirsRun& r) {
    TraceText(kFunction, "---LOG FOLDER---");
    ZebPrevRecord& prev = PrevRecord();
    // A log folder chosen earlier in this copy stays while it is valid.
    char szFolder[ZEB_CCH_PATH];
    lstrcpynA(szFolder, g_folders.szLog, sizeof(szFolder));
    if (prev.szLogFolder[0] != '\0' && IsValidPath(ZEB_FOLDER_LOG, prev.szLogFolder)) {
        TraceText(kFunction, "szPrevLogFolder '%s' being used as log folder", prev.szLogFolder);
        lstrcpynA(szFolder, prev.szLogFolder, sizeof(szFolder));
    } else {
        if (szFolder[0] == '\0' || !IsValidPath(ZEB_FOLDER_LOG, szFolder)) {
            TraceText(kFunction, "szLogFolder not yet set to useful value (1)");
            if (!ReadFolderSetting(r, PROP_LOGFOLDER, ZEB_FOLDER_LOG, szFolder))
                return FALSE;
            TraceText(kFunction, "szLogFolder now set to '%s' (1)", szFolder);
        }
        if (szFolder[0] == '\0') {
            TraceText(kFunction, "szLogFolder not yet set to useful value (2)");
            if (r.szLastLog[0] != '\0' && IsValidPath(ZEB_FOLDER_LOG, r.szLastLog)) {
                TraceText(kFunction, "szLogFolder not yet set to useful value (3)");
                if (iwiIsFolderAccessible(r.szLastLog)) {
                    TraceText(kFunction, "Setting log recommendation from last install");
                    lstrcpynA(szFolder, r.szLastLog, sizeof(szFolder));
                    TraceText(kFunction, "szLogFolder now set to '%s' (2)", szFolder);
                } else if (!AcceptMissingDrive(r, r.szLastLog, ZEB_MSG_LOG_FOLDER_NO_DRIVE,
                                               kFallbackLogNoDrive, PROP_ZEBINACCESSIBLELASTLOG)) {
                    return FALSE;
                }
            }
        }
        if (szFolder[0] == '\0') {
            TraceText(kFunction, "szLogFolder not yet set to useful value (4)");
            MakeFilePath(szFolder, g_folders.szData, "log"); // a valid data folder always leaves room
            TraceText(kFunction, "szLogFolder now set to '%s' (3)", szFolder);
        }
    }
    if (szFolder[0] == '\0' || !IsValidPath(ZEB_FOLDER_LOG, szFolder))
        snprintf(szFolder, sizeof(szFolder), "c:\\Program Files\\Corvane\\%s\\log",
                 iwiGetProductStaticData(2, NULL));
    NormalizePath(FALSE, szFolder);
    lstrcpynA(g_folders.szLog, szFolder, sizeof(g_folders.szLog));
    return Set(r, PROP_ZEBLOGFOLDER, szFolder) &&
           SetTidied(r.hInstall, PROP_ZEBPREVLOG, prev.szLogFolder, r.puiStat) &&
           SetTidied(r.hInstall, PROP_ZEBPREVSTARTFOLDER, prev.szStartFolder, r.puiStat);
}

void SetDirs(MSIHANDLE hInstall, UINT* puiStat) {
    g_folders.szProgram[0] = '\0';
    g_folders.szData[0] = '\0';
    if (GetHxRegistryInfo() != ZEB_RC_SUCCESS) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    DirsRun r;
    memset(&r, 0, sizeof(r));
    r.hInstall = hInstall;
    r.puiStat = puiStat;
    if (!Get(r, PROP_ZEBLASTPGM, r.szLastPgm, sizeof(r.szLastPgm)) ||
        !Get(r, PROP_ZEBLASTDAT, r.szLastDat, sizeof(r.szLastDat)) ||
        !Get(r, PROP_ZEBLASTLOG, r.szLastLog, sizeof(r.szLastLog)) || !SettlePreviousFolders(r))
        return;
    LogSummary();
    if (ChooseProgramFolder(r) && ChooseDataFolder(r))
        ChooseLogFolder(r);
}

} // namespace

BOOL OverlapsPath(LPCSTR pszA, LPCSTR pszB) {
    size_t cchA = strlen(pszA);
    size_t cchB = strlen(pszB);
    if (cchA == 0 || cchB == 0)
        return FALSE;
    return _strnicmp(pszA, pszB, cchA < cchB ? cchA : cchB) == 0;
}

BOOL KnownFolder(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszChosen, LPCSTR pszProperty,
                 char (&szFolder)[ZEB_CCH_PATH], UINT* puiStat) {
    lstrcpynA(szFolder, pszChosen, sizeof(szFolder));
    if (szFolder[0] != '\0')
        return TRUE;
    if (!GetPropertyValue(hInstall, pszFunction, pszProperty, szFolder, sizeof(szFolder), puiStat))
        return FALSE;
    NormalizePath(FALSE, szFolder);
    return TRUE;
}

ZebWorkingFolders& WorkingFolders(void) {
    return g_folders;
}

void ResetDirsState(void) {
    memset(&g_folders, 0, sizeof(g_folders));
}

BOOL IsValidPath(int iKind, LPCSTR pszPath) {
    TraceText(kValidFunction, "IsValidPath: '%s' type %d", pszPath, iKind);
    size_t cchLimit = 0;
    switch (iKind) {
    case ZEB_FOLDER_PROGRAM:
        cchLimit = ZEB_MAX_PROGRAM_PATH;
        break;
    case ZEB_FOLDER_DATA:
        cchLimit = ZEB_MAX_DATA_PATH;
        break;
    case ZEB_FOLDER_LOG:
        cchLimit = ZEB_MAX_LOG_PATH;
        break;
    default:
        return TRUE;
    }
    if (strlen(pszPath) <= cchLimit)
        return TRUE;
    TraceText(kValidFunction, "***Path '%s' type %d is not valid", pszPath, iKind);
    return FALSE;
}

BOOL iwiIsInstallPathInUse(LPCSTR pszPath) {
    TraceText(kInUseFunction, "Checking path %s for an HX Installation", pszPath);
    // Room for the separator whatever the path's length: without it "C:\HX" would claim "C:\HX_1".
    char szCheck[ZEB_CCH_MSG];
    lstrcpynA(szCheck, pszPath, sizeof(szCheck));
    NormalizePath(TRUE, szCheck);
    for (int iLoop = 0; iLoop < 2; iLoop++) {
        TraceText(kInUseFunction, "Loop %d (0==64 bit tree, 1==32 bit tree)", iLoop);
        if (IsClaimedInView(szCheck, iLoop == 1))
            return TRUE;
    }
    char szLegacy[ZEB_CCH_MSG];
    if (ReadProgramFolder(ZEB_KEY_OLD_RECORD, TRUE, szLegacy) && OverlapsPath(szLegacy, szCheck)) {
        TraceText(kInUseFunction, "In use by legacy installation with path %s - skipping", szLegacy);
        return TRUE;
    }
    TraceText(kInUseFunction, "..its safe!");
    return FALSE;
}

BOOL iwiIsFolderAccessible(LPCSTR pszPath) {
    char szDrives[ZEB_CCH_MSG];
    DWORD cch = GetLogicalDriveStringsA(sizeof(szDrives) - 1, szDrives);
    if (cch == 0 || cch >= sizeof(szDrives) - 1) {
        TraceText(kAccessibleFunction, "***GetLogicalDriveStrings failed (%d, error %d)", (int)cch,
                  (int)GetLastError());
        return FALSE;
    }
    szDrives[cch] = '\0';
    for (LPCSTR pszRoot = szDrives; *pszRoot != '\0'; pszRoot += strlen(pszRoot) + 1) {
        TraceText(kAccessibleFunction, "Valid Drive '%s'", pszRoot);
        if (_strnicmp(pszPath, pszRoot, strlen(pszRoot)) == 0)
            return TRUE;
    }
    return FALSE;
}

void iwiCalcAvailableDefaultPath(char (&szPath)[ZEB_CCH_PATH]) {
    for (int n = 0; n <= ZEB_MAX_DEFAULT_SUFFIX; n++) {
        char szCandidate[ZEB_CCH_PATH];
        int cch = n == 0 ? snprintf(szCandidate, sizeof(szCandidate), "%s", szPath)
                         : snprintf(szCandidate, sizeof(szCandidate), "%s_%d", szPath, n);
        if (cch < 0 || cch >= (int)sizeof(szCandidate)) {
            TraceText(kDefaultFunction, "Path '%s_%d' is too long - skipping", szPath, n);
            continue;
        }
        TraceText(kDefaultFunction, "Checking acceptability of path: '%s'", szCandidate);
        if (!iwiIsInstallPathInUse(szCandidate)) {
            lstrcpynA(szPath, szCandidate, sizeof(szPath));
            break;
        }
    }
    TraceText(kDefaultFunction, "Returning default path: '%s'", szPath);
}

void LogSummary(void) {
    const ZebPrevRecord& prev = PrevRecord();
    LPCSTR pszText = NULL;
    for (const auto& level : kLevelTexts) {
        if (level.lLevel == prev.lProduct)
            pszText = level.pszText;
    }
    if (pszText != NULL)
        TraceText(kSummaryFunction, "%s", pszText);
    else
        TraceText(kSummaryFunction, "Installed Hexline version is %s", LevelToText(prev.lProduct));
    TraceText(kSummaryFunction, "Installed language is '%s'", prev.szLanguage);
    TraceText(kSummaryFunction, "Program files directory is '%s'", prev.szProgramFolder);
    TraceText(kSummaryFunction, "Data files directory is '%s'", prev.szDataFolder);
    TraceText(kSummaryFunction, "QM log files directory is '%s'", prev.szLogFolder);
}

ZEB_ACTION iwiSetDirs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kFunction, NULL))
        SetDirs(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
