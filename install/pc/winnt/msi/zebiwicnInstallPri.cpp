// Primary initialisation: which package and build runs, whether Windows can run it, the temporary
// folder, high contrast, the user's choices about queue-manager data and removal, the upgrade
// permission of an installation being removed, the reinstall mode and the feature lists.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnInstall.h"
#include "zebiwicnUtil.h"

#include <msidefs.h>
#include <wtypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kFunction[] = "iwiInstallInitPri";
const char kCheckFunction[] = "CheckValidFeatures";

const char kDashes[] = "--------------------------------------";
const char kRequirementsPage[] = "https://www.corvane.example/hx/sysreq";
const char kSendrillKey[] = "SOFTWARE\\Corvane\\Sendrill for .NET";
const char kResponseFileName[] = "Hexline.ini";
const char kFeatureQuery[] = "SELECT * FROM Feature";
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A light text colour (red + green + blue at least this) means a dark background.
const int kLightTextSum = 383;
// Below Windows 2000 the reinstall mode must not ask for every file again.
const int kVersionNtAllFiles = 401;

const char kFallbackStartFolder[] = "Corvane Skyloft HX";
const char kFallbackUnsupportedWindows[] =
    "Install Cannot proceed as the Windows version is unsupported and HX would not function (ZEB4752)";
const char kFallbackNoInstallName[] =
    "Cannot proceed as installed product has no associated HX Installation name (ZEB4778)";
const char kFallbackNotUpgradable[] =
    "This installation is not permitted to upgrade installation '%1' (ZEB4776)";
const char kUpgradeRefusedRemoval[] = " (1)";
const char kFallbackSaveIni[] = "Cannot create the response file '%2' (error %1). (ZEB4735)";
const char kFallbackUnknownFeaturesIni[] = "Unknown feature(s) '%1' in property '%2' in '%3'. (ZEB4742)";
const char kFallbackUnknownFeatures[] = "Unknown feature(s) '%1' in command-line property '%2'. (ZEB4740)";
const char kFallbackIniOpen[] = "Can't open file '%s'. (ZEB4734)";
const char kFallbackOldDotNetClient[] =
    "An old, separately installed Corvane Sendrill for .NET client is installed. Remove it before installing "
    "HX. (ZEB4787)";

// The feature-list settings, in the order they are checked.
const LPCSTR kFeatureLists[] = {PROP_ADDLOCAL,   PROP_REMOVE,    PROP_ADDSOURCE,
                                PROP_ADDDEFAULT, PROP_REINSTALL, PROP_ADVERTISE};

struct InstallState {
    BOOL bRemoveRead;
    char szRemove[ZEB_CCH_FEATURELIST];
};
InstallState g_install;

// One run of the action: its session and status, and what it has read.
struct PriRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    BOOL bAdmin;
    char szInstalled[ZEB_CCH_CODE];
    char szTemp[ZEB_CCH_PATH];
};

BOOL Fail(PriRun& r) {
    *r.puiStat = ZEB_RC_FAILURE;
    return FALSE;
}

BOOL Get(PriRun& r, LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    return GetPropertyValue(r.hInstall, kFunction, pszName, pszValue, cchValue, r.puiStat);
}

BOOL Set(PriRun& r, LPCSTR pszName, LPCSTR pszValue) {
    return SetPropertyValue(r.hInstall, kFunction, pszName, pszValue, r.puiStat);
}

BOOL ReadSetting(PriRun& r, LPCSTR pszName, char (&szValue)[ZEB_CCH_MSG]) {
    if (iwiGetIniProperty(pszName, szValue, NULL) != ZEB_RC_SUCCESS)
        return Fail(r);
    return TRUE;
}

BOOL IsBlank(char c) {
    return c == ' ' || c == '\t';
}

void TraceWindowsVersion(void) {
    OSVERSIONINFOEXA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA((LPOSVERSIONINFOA)&info)) {
        TraceText(kFunction, "***GetVersionEx failed (%d)", (int)GetLastError());
        return;
    }
    TraceText(kFunction, "Windows version %d.%d.%d platform %d '%s'", (int)info.dwMajorVersion,
              (int)info.dwMinorVersion, (int)info.dwBuildNumber, (int)info.dwPlatformId, info.szCSDVersion);
    TraceText(kFunction, "Service pack %d.%d reserved 0x%4.4hx", (int)info.wServicePackMajor,
              (int)info.wServicePackMinor, (unsigned short)info.wSuiteMask);
}

// The package's creation time (summary property 12): TRUE when there is one.
BOOL ReadCreationTime(MSIHANDLE hSummary, FILETIME* pft) {
    UINT uType = VT_EMPTY;
    INT iValue = 0;
    char szText[ZEB_CCH_FLAG];
    DWORD cch = sizeof(szText);
    UINT uiRc = MsiSummaryInfoGetPropertyA(hSummary, PID_CREATE_DTM, &uType, &iValue, pft, szText, &cch);
    if (uiRc != ERROR_SUCCESS) {
        TraceText(kFunction, "***MsiSummaryInfoGetProperty(%d) failed (%u)", (int)PID_CREATE_DTM, uiRc);
        return FALSE;
    }
    return uType == VT_FILETIME;
}

// The package code (summary property 9); empty when there is none.
void ReadPackageCode(MSIHANDLE hSummary, char (&szCode)[ZEB_CCH_CODE]) {
    UINT uType = VT_EMPTY;
    INT iValue = 0;
    FILETIME ft;
    DWORD cch = sizeof(szCode);
    UINT uiRc = MsiSummaryInfoGetPropertyA(hSummary, PID_REVNUMBER, &uType, &iValue, &ft, szCode, &cch);
    if (uiRc != ERROR_SUCCESS || uType != VT_LPSTR) {
        if (uiRc != ERROR_SUCCESS)
            TraceText(kFunction, "***MsiSummaryInfoGetProperty(%d) failed (%u)", (int)PID_REVNUMBER, uiRc);
        szCode[0] = '\0';
    }
}

BOOL SetPackageIdentity(PriRun& r) {
    ZebMsiHandle hDb(MsiGetActiveDatabase(r.hInstall));
    ZebMsiHandle hSummary;
    if (!hDb.IsValid()) {
        TraceText(kFunction, "***MsiGetActiveDatabase() failed");
    } else {
        UINT uiRc = MsiGetSummaryInformationA(hDb.Get(), NULL, 0, hSummary.Out());
        if (uiRc != ERROR_SUCCESS)
            TraceText(kFunction, "***MsiGetSummaryInformation() failed (%u)", uiRc);
    }

    char szDate[ZEB_CCH_MSG] = "";
    FILETIME ft;
    if (hSummary.IsValid() && ReadCreationTime(hSummary.Get(), &ft)) {
        SYSTEMTIME st;
        if (FileTimeToSystemTime(&ft, &st)) {
            char szMonth[ZEB_CCH_FLAG];
            if (st.wMonth >= 1 && st.wMonth <= 12)
                lstrcpynA(szMonth, kMonths[st.wMonth - 1], sizeof(szMonth));
            else
                snprintf(szMonth, sizeof(szMonth), "%d", (int)st.wMonth);
            snprintf(szDate, sizeof(szDate),
                     "Packaged on %s %2.2d %4.4d at %2.2d:%2.2d; version %s, build %s", szMonth, (int)st.wDay,
                     (int)st.wYear, (int)st.wHour, (int)st.wMinute, ZebProductVersion(), ZebBuildLevel());
            if (!Set(r, PROP_ZEBBUILDDATE, szDate))
                return FALSE;
        }
        unsigned long long ullTime = ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
        char szTime[ZEB_CCH_FLAG];
        snprintf(szTime, sizeof(szTime), "%llu", ullTime);
        if (!Set(r, PROP_ZEBBUILDTIME, szTime))
            return FALSE;
        TraceText(kFunction, "Build Time is '%s'", szTime);
    }
    char szCode[ZEB_CCH_CODE] = "";
    if (hSummary.IsValid())
        ReadPackageCode(hSummary.Get(), szCode);
    if (!Set(r, PROP_ZEBPACKAGECODE, szCode))
        return FALSE;
    if (szDate[0] == '\0') {
        snprintf(szDate, sizeof(szDate), "Packaged* on %s at %s; version %s, build %s", ZebBuildDate(),
                 ZebBuildTime(), ZebProductVersion(), ZebBuildLevel());
        if (!Set(r, PROP_ZEBBUILDDATE, szDate))
            return FALSE;
    }
    return Set(r, PROP_BRANDHXS, "HX") && Set(r, PROP_BRANDHXV, "Corvane");
}

BOOL SetPackageKind(PriRun& r) {
    static const struct {
        LPCSTR pszUpgradeCode;
        LPCSTR pszKind;
    } kKinds[] = {{ZEB_UPGRADE_SERVER, "server"}, {ZEB_UPGRADE_CLIENT, "client"}, {ZEB_UPGRADE_TEST, "test"}};
    for (const auto& kind : kKinds) {
        int iMatch = 0;
        if (iwiCompareProduct(kind.pszUpgradeCode, &iMatch) != ZEB_RC_SUCCESS)
            return Fail(r);
        if (!iMatch)
            continue;
        if (strcmp(kind.pszKind, "test") == 0)
            TraceText(kFunction, "TEST EXECUTION");
        return Set(r, PROP_ZEBPRODUCT, kind.pszKind);
    }
    TraceText(kFunction, "***Unknown product");
    Set(r, PROP_ZEBPRODUCT, "");
    return Fail(r);
}

void ListInstalledPackages(void) {
    static const struct {
        LPCSTR pszUpgradeCode;
        LPCSTR pszKind;
    } kPackages[] = {{ZEB_UPGRADE_SERVER, "Server"}, {ZEB_UPGRADE_CLIENT, "Client"}};
    for (const auto& package : kPackages) {
        TraceText(kFunction, "Listing of existing %s installations:", package.pszKind);
        for (DWORD dwIndex = 0;; dwIndex++) {
            char szProduct[ZEB_CCH_PRODUCTCODE];
            UINT uiRc = MsiEnumRelatedProductsA(package.pszUpgradeCode, 0, dwIndex, szProduct);
            if (uiRc != ERROR_SUCCESS) {
                if (uiRc != ERROR_NO_MORE_ITEMS)
                    TraceText(kFunction, "***MsiEnumRelatedProducts(%s, %lu) failed (%u)",
                              package.pszUpgradeCode, (unsigned long)dwIndex, uiRc);
                break;
            }
            INSTALLSTATE iState = MsiQueryProductStateA(szProduct);
            switch (iState) {
            case INSTALLSTATE_DEFAULT:
            case INSTALLSTATE_ADVERTISED:
            case INSTALLSTATE_ABSENT:
            case INSTALLSTATE_UNKNOWN:
                TraceText(kFunction, "Product %s (%s) state is %s", szProduct, package.pszKind,
                          InstallStateName(iState));
                break;
            case INSTALLSTATE_BADCONFIG:
            case INSTALLSTATE_INVALIDARG:
                TraceText(kFunction, "***Product %s (%s) state is %s", szProduct, package.pszKind,
                          InstallStateName(iState));
                break;
            default:
                TraceText(kFunction, "***Product %s (%s) state is %8.8lx", szProduct, package.pszKind,
                          (unsigned long)(unsigned)iState);
                break;
            }
        }
    }
}

BOOL CheckWindows(PriRun& r) {
    HMODULE hKernel = GetModuleHandleA("kernel32");
    if (hKernel == NULL) {
        TraceText(kFunction, "***kernel32 not available");
        return TRUE;
    }
    if (GetProcAddress(hKernel, "GetSystemTimePreciseAsFileTime") != NULL) {
        TraceText(kFunction, "GetSystemTimePreciseAsFileTime is available");
        return TRUE;
    }
    TraceText(kFunction, "***GetSystemTimePreciseAsFileTime not available");
    TraceText(kFunction, "***This Windows version is not supported by Corvane HX and HX will not function");
    TraceText(kFunction, "The Windows versions HX supports are listed at %s", kRequirementsPage);
    ShowNlsError(ZEB_MSG_UNSUPPORTED_WINDOWS, kFallbackUnsupportedWindows, NULL, NULL, NULL);
    return Fail(r);
}

BOOL SettleTempFolder(PriRun& r) {
    if (!Get(r, PROP_ZEBTEMP, r.szTemp, sizeof(r.szTemp)))
        return FALSE;
    NormalizePath(FALSE, r.szTemp);
    if (r.szTemp[0] != '\0')
        return TRUE;
    if (!Get(r, PROP_TEMPFOLDER, r.szTemp, sizeof(r.szTemp)))
        return FALSE;
    NormalizePath(FALSE, r.szTemp);
    return Set(r, PROP_ZEBTEMP, r.szTemp);
}

// The installation of this installed package, by its product code; 2110 when it has none.
BOOL FindInstallation(PriRun& r, char (&szKey)[ZEB_CCH_MSG], char (&szName)[ZEB_CCH_INSTNAME]) {
    char szCode[ZEB_CCH_CODE];
    if (!Get(r, PROP_PRODUCTCODE, szCode, sizeof(szCode)))
        return FALSE;
    char szDescription[ZEB_CCH_INSTDESC];
    char szIdentifier[ZEB_CCH_INSTID];
    if (!RetrieveInstallDetails(szName, szDescription, szIdentifier, NULL, NULL, FALSE, szCode, NULL,
                                ZEB_VIEW_64) ||
        !MakeInstallationKey(szKey, szName)) {
        TraceText(kFunction, "***Could not retrieve installation details - cannot continue");
        ShowNlsError(ZEB_MSG_NO_INSTALL_NAME, kFallbackNoInstallName, NULL, NULL, NULL);
        return Fail(r);
    }
    return TRUE;
}

// ZEBHIGHCONTRAST from the installation's record, then the system's setting, then the text colour,
// each only while the one before left it empty.
BOOL DetectHighContrast(PriRun& r) {
    if (r.szInstalled[0] != '\0') {
        TraceText(kFunction, "Product installed - uninstalling / modifying");
        char szKey[ZEB_CCH_MSG];
        char szName[ZEB_CCH_INSTNAME];
        if (!FindInstallation(r, szKey, szName))
            return FALSE;
        char szFlag[ZEB_CCH_PATH];
        if (GetRegistryText(szKey, "HighContrastMode", szFlag, sizeof(szFlag), FALSE)) {
            TraceText(kFunction, "HX registry high contrast flag is '%s'", szFlag);
            if (szFlag[0] != 'N' && !Set(r, PROP_ZEBHIGHCONTRAST, "1"))
                return FALSE;
        } else {
            TraceText(kFunction, "Can't find HX registry high contrast flag");
        }
    }

    char szHigh[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBHIGHCONTRAST, szHigh, sizeof(szHigh)))
        return FALSE;
    if (szHigh[0] == '\0') {
        TraceText(kFunction, "Checking operating system for high contrast mode");
        HIGHCONTRASTA hc;
        memset(&hc, 0, sizeof(hc));
        hc.cbSize = sizeof(hc);
        if (!SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0)) {
            TraceText(kFunction, "RC %d from SystemParametersInfo(SPI_GETHIGHCONTRAST)", (int)GetLastError());
            hc.dwFlags = 0;
        }
        if ((hc.dwFlags & HCF_HIGHCONTRASTON) != 0) {
            TraceText(kFunction, "Accessibility high contrast mode is on");
            if (!Set(r, PROP_ZEBHIGHCONTRAST, "1"))
                return FALSE;
        } else {
            TraceText(kFunction, "Accessibility high contrast mode is off");
        }
    }

    if (!Get(r, PROP_ZEBHIGHCONTRAST, szHigh, sizeof(szHigh)))
        return FALSE;
    if (szHigh[0] != '\0')
        return TRUE;
    DWORD dwColour = GetSysColor(COLOR_WINDOWTEXT);
    int iRed = GetRValue(dwColour), iGreen = GetGValue(dwColour), iBlue = GetBValue(dwColour);
    TraceText(kFunction, "Text colour is R:%d G:%d B:%d", iRed, iGreen, iBlue);
    if (iRed + iGreen + iBlue >= kLightTextSum) {
        TraceText(kFunction, "Setting high contrast mode because of text colour");
        return Set(r, PROP_ZEBHIGHCONTRAST, "1");
    }
    return Set(r, PROP_ZEBHIGHCONTRAST, "0");
}

BOOL SettleHighContrast(PriRun& r) {
    char szSetting[ZEB_CCH_MSG];
    if (!ReadSetting(r, PROP_HIGHCONTRAST, szSetting))
        return FALSE;
    if (szSetting[0] == '\0') {
        if (!DetectHighContrast(r))
            return FALSE;
    } else if (!Set(r, PROP_ZEBHIGHCONTRAST, icsIsNo(szSetting, "yes") ? "0" : "1")) {
        return FALSE;
    }
    LPCSTR pszChosen = "";
    if (szSetting[0] != '\0' && icsIsNo(szSetting, "yes"))
        pszChosen = "0";
    else if (szSetting[0] != '\0' && icsIsYes(szSetting, "no"))
        pszChosen = "1";
    return Set(r, PROP_ZEBSETHIGHCONTRAST, pszChosen);
}

BOOL SettleUserChoice(PriRun& r) {
    char szSetting[ZEB_CCH_MSG];
    return ReadSetting(r, PROP_USERCHOICE, szSetting) &&
           Set(r, PROP_ZEBUSERCHOICE, icsIsNo(szSetting, "yes") ? "" : "1");
}

void DeleteCancelMarker(PriRun& r) {
    char szMarker[ZEB_CCH_PATH];
    if (r.szTemp[0] != '\0' && MakeFilePath(szMarker, r.szTemp, ZEB_CANCEL_MARKER))
        iiiDeleteFile(FALSE, TRUE, NULL, szMarker, FALSE, NULL, "", 0);
}

BOOL SettleResponseFileName(PriRun& r) {
    char szOnlyIni[ZEB_CCH_CODE];
    if (!Get(r, PROP_ONLYINI, szOnlyIni, sizeof(szOnlyIni)))
        return FALSE;
    if (szOnlyIni[0] == '\0')
        return TRUE;
    char szSaveIni[ZEB_CCH_PATH];
    if (!Get(r, PROP_SAVEINI, szSaveIni, sizeof(szSaveIni)))
        return FALSE;
    if (szSaveIni[0] != '\0')
        return TRUE;
    if (!MakeFilePath(szSaveIni, r.szTemp, kResponseFileName)) {
        TraceText(kFunction, "***Temporary folder '%s' too long for the response file", r.szTemp);
        return Fail(r);
    }
    return Set(r, PROP_SAVEINI, szSaveIni);
}

BOOL SettleQmData(PriRun& r) {
    char szKeep[ZEB_CCH_MSG];
    if (!ReadSetting(r, PROP_KEEPQMDATA, szKeep))
        return FALSE;
    LPCSTR pszChoice = _stricmp(szKeep, "delete") == 0 ? "delete" : "keep";
    return Set(r, PROP_ZEBLEAVEQMDATAINSTALL, pszChoice) && Set(r, PROP_ZEBLEAVEQMDATAREMOVE, pszChoice);
}

// An installed package removed by an upgrading one: its installation must allow being upgraded.
BOOL CheckUpgradePermission(PriRun& r) {
    char szBypass[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBBYPASSUPGRADECHECK, szBypass, sizeof(szBypass)))
        return FALSE;
    if (szBypass[0] != '\0') {
        TraceText(kFunction, "Permitting upgrade skipping AllowUpgrade check");
        return TRUE;
    }
    char szUpgrading[ZEB_CCH_MSG];
    if (!Get(r, PROP_UPGRADINGPRODUCTCODE, szUpgrading, sizeof(szUpgrading)))
        return FALSE;
    if (r.szInstalled[0] == '\0' || szUpgrading[0] == '\0')
        return TRUE;
    TraceText(kFunction, "Upgrade occurring - checking we are allowed to be upgraded");
    char szKey[ZEB_CCH_MSG];
    char szName[ZEB_CCH_INSTNAME];
    if (!FindInstallation(r, szKey, szName))
        return FALSE;
    char szAllow[ZEB_CCH_PATH];
    BOOL bAllowed = FALSE;
    if (GetRegistryText(szKey, "AllowUpgrade", szAllow, sizeof(szAllow), FALSE)) {
        TraceText(kFunction, "AllowUpgrade value is '%s'", szAllow);
        bAllowed = szAllow[0] == '1';
    } else {
        TraceText(kFunction, "***AllowUpgrade value not found???");
    }
    if (bAllowed)
        return TRUE;
    ShowNlsError(ZEB_MSG_NOT_UPGRADABLE, kFallbackNotUpgradable, szName, NULL, NULL, kUpgradeRefusedRemoval);
    return Fail(r);
}

BOOL SettleRemoval(PriRun& r) {
    LPCSTR pszRemove;
    if (!GetRemoveValue(r.hInstall, kFunction, &pszRemove, r.puiStat))
        return FALSE;
    if (_stricmp(pszRemove, "all") != 0)
        return Set(r, PROP_ZEBREMOVE, "0");
    return Set(r, PROP_ZEBREMOVE, "1") && CheckUpgradePermission(r);
}

BOOL SettleStartFolder(PriRun& r) {
    char szFolder[ZEB_CCH_MSG];
    LoadNlsStringOr(szFolder, ZEB_MSG_START_FOLDER, kFallbackStartFolder);
    return Set(r, PROP_ZEBSTARTFOLDER, szFolder);
}

// The response file the user asked for is made now, with its folders, so that a path that cannot
// be written is refused before anything is installed.
BOOL CreateResponseFile(PriRun& r) {
    char szSaveIni[ZEB_CCH_PATH];
    if (!Get(r, PROP_SAVEINI, szSaveIni, sizeof(szSaveIni)))
        return FALSE;
    NormalizePath(FALSE, szSaveIni);
    if (szSaveIni[0] == '\0')
        return TRUE;
    CreateFolderPath(szSaveIni);
    // The file this run reads its settings from is kept as it is: emptied, every later action would
    // read no settings, and a failed run would leave the user's file empty.
    char szUseIni[ZEB_CCH_PATH];
    if (!Get(r, PROP_USEINI, szUseIni, sizeof(szUseIni)))
        return FALSE;
    NormalizePath(FALSE, szUseIni);
    BOOL bInUse = _stricmp(szSaveIni, szUseIni) == 0;
    if (bInUse)
        TraceText(kFunction, "Response file '%s' is the one in use; its content is kept", szSaveIni);
    ZebKernelHandle hFile(CreateFileA(szSaveIni, GENERIC_WRITE, 0, NULL, bInUse ? OPEN_ALWAYS : CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, NULL));
    if (!hFile.IsValid()) {
        char szError[ZEB_CCH_FLAG];
        snprintf(szError, sizeof(szError), "%lu", (unsigned long)GetLastError());
        TraceText(kFunction, "***Can't create response file '%s' (%s)", szSaveIni, szError);
        ShowNlsError(ZEB_MSG_SAVEINI_CREATE, kFallbackSaveIni, szError, szSaveIni, NULL);
        return Fail(r);
    }
    return TRUE;
}

BOOL SettleReinstallMode(PriRun& r) {
    char szMode[ZEB_CCH_MSG];
    if (!Get(r, PROP_REINSTALLMODE, szMode, sizeof(szMode)))
        return FALSE;
    if (szMode[0] != '\0')
        return TRUE;
    char szVersionNT[ZEB_CCH_MSG];
    if (!Get(r, PROP_VERSIONNT, szVersionNT, sizeof(szVersionNT)))
        return FALSE;
    return Set(r, PROP_REINSTALLMODE, atoi(szVersionNT) < kVersionNtAllFiles ? "omus" : "amus");
}

// A server run needs the configuration wizard's parameter file it names.
void CheckWizardFile(PriRun& r) {
    char szSetting[ZEB_CCH_MSG];
    if (iwiGetIniProperty(PROP_WIZPARMFILE, szSetting, NULL) != ZEB_RC_SUCCESS) {
        Fail(r);
        return;
    }
    char szFile[ZEB_CCH_PATH];
    BOOL bFits = strlen(szSetting) < sizeof(szFile);
    lstrcpynA(szFile, szSetting, sizeof(szFile));
    NormalizePath(FALSE, szFile);
    if (szFile[0] == '\0' || (bFits && FileExists(szFile)))
        return;
    ShowNlsPathError(ZEB_MSG_INI_OPEN, kFallbackIniOpen, bFits ? szFile : szSetting);
    Fail(r);
}

void CheckOldDotNetClient(PriRun& r) {
    ZebRegKey hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSendrillKey, 0, KEY_READ | KEY_WOW64_32KEY, hKey.Out()) !=
        ERROR_SUCCESS)
        return;
    ShowNlsError(ZEB_MSG_OLD_DOTNET_CLIENT, kFallbackOldDotNetClient, NULL, NULL, NULL);
    Fail(r);
}

void InstallInitPri(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    PriRun r;
    memset(&r, 0, sizeof(r));
    r.hInstall = hInstall;
    r.puiStat = puiStat;

    TraceText(kFunction, "%s", kDashes);
    TraceText(kFunction, "Running from a 64 bit HX install image");
    TraceText(kFunction, "%s", kDashes);
    TraceWindowsVersion();
    if (!SetPackageIdentity(r) || !SetPackageKind(r))
        return;
    IsClientInstall();
    if (!Get(r, PROP_INSTALLED, r.szInstalled, sizeof(r.szInstalled)))
        return;
    ListInstalledPackages();
    if (!CheckWindows(r) || !SettleTempFolder(r) || !SettleHighContrast(r) || !SettleUserChoice(r))
        return;
    DeleteCancelMarker(r);
    if (!SettleResponseFileName(r) || !Set(r, PROP_ALLUSERS, "1") ||
        !Set(r, PROP_ZEBDISKFOLDERNAME, iwiGetProductStaticData(2, NULL)))
        return;
    r.bAdmin = MsiGetMode(hInstall, MSIRUNMODE_ADMIN);
    if (r.bAdmin ? !Set(r, PROP_LAUNCHWIZ, "0") : !SettleQmData(r))
        return;
    if (!SettleRemoval(r))
        return;
    if (!r.bAdmin && (!Set(r, PROP_ZEBREINSTALLOPTIONS, "refresh") || !Set(r, PROP_ZEBHXISRUNNING, "") ||
                      !Set(r, PROP_ZEBPRODUCTPREREQ, "0")))
        return;
    if (!Set(r, PROP_ZEBENDUI, "0"))
        return;
    if (!r.bAdmin && (!SettleStartFolder(r) || !CreateResponseFile(r) || !SettleReinstallMode(r)))
        return;
    for (LPCSTR pszList : kFeatureLists) {
        if (*puiStat != ZEB_RC_SUCCESS)
            break;
        *puiStat = CheckValidFeatures(pszList);
    }
    if (!IsClientInstall())
        CheckWizardFile(r);
    CheckOldDotNetClient(r);
}

// Removes from the list each whole occurrence of the name (between the start, a comma or a blank and
// a comma, a blank or the end), with the comma that follows it.
void RemoveListedName(LPSTR pszList, LPCSTR pszName) {
    size_t cchName = strlen(pszName);
    for (LPSTR p = strstr(pszList, pszName); p != NULL; p = strstr(p, pszName)) {
        BOOL bStarts = p == pszList || p[-1] == ',' || IsBlank(p[-1]);
        char cAfter = p[cchName];
        if (!bStarts || !(cAfter == '\0' || cAfter == ',' || IsBlank(cAfter))) {
            p++;
            continue;
        }
        size_t cchCut = cchName + (cAfter == ',' ? 1 : 0);
        memmove(p, p + cchCut, strlen(p + cchCut) + 1);
    }
}

} // namespace

void ResetInstallState(void) {
    memset(&g_install, 0, sizeof(g_install));
}

BOOL GetRemoveValue(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR* ppszValue, UINT* puiStat) {
    *ppszValue = "";
    if (!g_install.bRemoveRead) {
        if (!GetPropertyValue(hInstall, pszFunction, PROP_REMOVE, g_install.szRemove,
                              sizeof(g_install.szRemove), puiStat))
            return FALSE;
        g_install.bRemoveRead = TRUE;
    }
    *ppszValue = g_install.szRemove;
    return TRUE;
}

UINT CheckValidFeatures(LPCSTR pszProperty) {
    MSIHANDLE hInstall = FrameSession();
    char szList[ZEB_CCH_MSG];
    UINT uiRc = iwiGetIniProperty(pszProperty, szList, NULL);
    if (uiRc != ZEB_RC_SUCCESS)
        return uiRc;
    if (szList[0] == '\0' || _stricmp(szList, "all") == 0)
        return ZEB_RC_SUCCESS;
    size_t cchList = strlen(szList);
    BOOL bTrailingComma = szList[cchList - 1] == ',';

    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(hInstall, NULL, kFeatureQuery, hDb, hView))
        return ZEB_RC_FAILURE;
    UINT uiStat = ZEB_RC_SUCCESS;
    for (;;) {
        ZebMsiHandle hRec;
        uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        if (CheckMsiRc("MsiViewFetch", kFeatureQuery, uiRc, &uiStat) != ERROR_SUCCESS)
            return ZEB_RC_FAILURE;
        char szFeature[ZEB_CCH_MSG];
        DWORD cch = sizeof(szFeature);
        uiRc = MsiRecordGetStringA(hRec.Get(), 1, szFeature, &cch);
        if (uiRc != ERROR_SUCCESS) {
            TraceText(kCheckFunction, "Name of a Feature row not readable (%u); skipped", uiRc);
            continue;
        }
        if (szFeature[0] != '\0')
            RemoveListedName(szList, szFeature);
    }
    if (CheckMsiRc("MsiViewClose", kFeatureQuery, MsiViewClose(hView.Get()), &uiStat) != ERROR_SUCCESS)
        return ZEB_RC_FAILURE;

    // Blanks left between known names are no unknown feature; a comma left over is.
    if (szList[strspn(szList, " \t")] == '\0')
        szList[0] = '\0';
    cchList = strlen(szList);
    if (bTrailingComma && (cchList == 0 || szList[cchList - 1] != ',') && cchList + 1 < sizeof(szList))
        strcat(szList, ",");
    if (szList[0] == '\0')
        return ZEB_RC_SUCCESS;

    UINT uiIgnored = ZEB_RC_SUCCESS;
    char szUseIni[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kCheckFunction, PROP_USEINI, szUseIni, sizeof(szUseIni), &uiIgnored))
        return ZEB_RC_FAILURE;
    NormalizePath(FALSE, szUseIni);
    if (szUseIni[0] != '\0')
        ShowNlsError(ZEB_MSG_UNKNOWN_FEATURES_INI, kFallbackUnknownFeaturesIni, szList, pszProperty,
                     szUseIni);
    else
        ShowNlsError(ZEB_MSG_UNKNOWN_FEATURES, kFallbackUnknownFeatures, szList, pszProperty, NULL);
    TraceText(kCheckFunction, "***Stopping because of unknown features");
    return ZEB_RC_FAILURE;
}

ZEB_ACTION iwiInstallInitPri(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiInstallInitPri", NULL))
        InstallInitPri(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
