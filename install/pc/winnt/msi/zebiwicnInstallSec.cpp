// Secondary initialisation: whether this package may replace the installation it upgrades, the
// old installation's features carried over, and the silent run's prerequisite and feature checks.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnInstall.h"
#include "zebiwicnLaunch.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnUtil.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kFunction[] = "iwiInstallInitSec";
const char kPreselectFunction[] = "ApplyPreselect";

const char kFallbackDownLevelFix[] = "Cannot overwrite Skyloft HX Version '%1' with Version '%2'. (ZEB4763)";
const char kFallbackDownLevel[] =
    "Setup cannot continue; a similar or later version of the product is already installed. (ZEB4350)";
const char kFallbackUnsupported[] =
    "Setup cannot continue as migration from this earlier releaseof the product "
    "is not supported. (ZEB4773)";
const char kFallbackServerOrigin[] =
    "You cannot install the Windows Client from the client CD because Skyloft HX server features are already "
    "installed on this computer. To install the Windows Client on this computer, use the server CD. "
    "(ZEB4729)";

// The oldest release a migration is supported from lies above this level.
const LONG kLastUnsupportedLevel = 50300;

struct SecRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    BOOL bPatch;
    BOOL bRemoval;
    BOOL bDownLevel;
    BOOL bUnsupported;
    int iUiLevel;
    char szVrmf[ZEB_CCH_MSG];
    char szOldName[ZEB_CCH_MSG];
};

BOOL Get(SecRun& r, LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    return GetPropertyValue(r.hInstall, kFunction, pszName, pszValue, cchValue, r.puiStat);
}

BOOL Set(SecRun& r, LPCSTR pszName, LPCSTR pszValue) {
    return SetPropertyValue(r.hInstall, kFunction, pszName, pszValue, r.puiStat);
}

BOOL Fail(SecRun& r) {
    *r.puiStat = ZEB_RC_FAILURE;
    return FALSE;
}

// V x 10000 + R x 100 + M of a dotted level; missing parts count 0, and a level too large for a
// LONG counts as the largest, as the previous record's level does.
LONG LevelOf(LPCSTR pszVrmf) {
    const long long allScale[3] = {10000, 100, 1};
    long long llLevel = 0;
    LPCSTR p = pszVrmf;
    for (int i = 0; i < 3 && p != NULL && *p != '\0'; i++) {
        long long llPart = strtoll(p, NULL, 10);
        if (llPart < 0)
            llPart = 0;
        if (llPart > INT_MAX / allScale[i])
            return INT_MAX;
        llLevel += llPart * allScale[i];
        p = strchr(p, '.');
        if (p != NULL)
            p++;
    }
    return llLevel > INT_MAX ? INT_MAX : (LONG)llLevel;
}

// A build time as written in the record (text or a 32-bit number); 0 when unusable.
unsigned long long ParseBuildTime(LPCSTR pszText) {
    if (pszText[0] < '0' || pszText[0] > '9')
        return 0;
    char* pEnd = NULL;
    unsigned long long ull = strtoull(pszText, &pEnd, 10);
    return *pEnd == '\0' ? ull : 0;
}

unsigned long long InstalledBuildTime(LPCSTR pszOldName) {
    if (IsReservedInstallName(pszOldName))
        return 0; // the old single record has no build time
    char szKey[ZEB_CCH_MSG];
    if (!MakeInstallationKey(szKey, pszOldName))
        return 0;
    char szText[ZEB_CCH_FLAG];
    if (GetRegistryText(szKey, "BuildTime", szText, sizeof(szText), FALSE) ||
        GetRegistryText(szKey, "BuildTime", szText, sizeof(szText), TRUE))
        return ParseBuildTime(szText);
    return 0;
}

BOOL ReadPreviousFolders(SecRun& r) {
    ZebPrevRecord& prev = PrevRecord();
    return Get(r, PROP_ZEBPREVPGM, prev.szProgramFolder, sizeof(prev.szProgramFolder)) &&
           Get(r, PROP_ZEBPREVDAT, prev.szDataFolder, sizeof(prev.szDataFolder)) &&
           Get(r, PROP_ZEBPREVLOG, prev.szLogFolder, sizeof(prev.szLogFolder)) &&
           Get(r, PROP_ZEBPREVSTARTFOLDER, prev.szStartFolder, sizeof(prev.szStartFolder));
}

BOOL CheckMedia(SecRun& r) {
    char szReadme[ZEB_CCH_PATH] = "";
    BOOL bReadme = GetReadmePath(szReadme, FALSE) && FileExists(szReadme);
    if (!Set(r, PROP_ZEBHAVEREADME, bReadme ? "1" : ""))
        return FALSE;

    char szSource[ZEB_CCH_PATH];
    if (!Get(r, PROP_SOURCEDIR, szSource, sizeof(szSource)))
        return FALSE;
    NormalizePath(FALSE, szSource);
    BOOL bLaunchpad = FALSE;
    if (szSource[0] != '\0' && !IsClientInstall()) {
        GetParentFolder(FALSE, szSource);
        char szLaunchpad[ZEB_CCH_PATH];
        bLaunchpad = MakeFilePath(szLaunchpad, szSource, "HXLaunch.exe") && FileExists(szLaunchpad);
    }
    return Set(r, PROP_ZEBHAVELAUNCHPAD, bLaunchpad ? "1" : "");
}

// Same VRMF: a build of this package no later than the installed one is down-level, unless a
// server package replaces a client installation.
BOOL CompareBuildTimes(SecRun& r) {
    TraceText(kFunction, "Installed and this have an equal VRMF");
    int iServer = 0, iClient = 0;
    if (iwiCompareProduct(ZEB_UPGRADE_SERVER, &iServer) != ZEB_RC_SUCCESS)
        return Fail(r);
    if (!iServer) {
        TraceText(kFunction, "I'm not a server product");
        if (iwiCompareProduct(ZEB_UPGRADE_CLIENT, &iClient) != ZEB_RC_SUCCESS)
            return Fail(r);
        if (!iClient)
            return TRUE;
    }
    char szOldServer[ZEB_CCH_UPGRADELIST];
    char szOldClient[ZEB_CCH_UPGRADELIST] = "";
    if (!Get(r, PROP_ZEBOLDSERVER, szOldServer, sizeof(szOldServer)) ||
        (szOldServer[0] == '\0' && !Get(r, PROP_ZEBOLDCLIENT, szOldClient, sizeof(szOldClient))))
        return FALSE;
    if (szOldServer[0] == '\0' && szOldClient[0] == '\0')
        return TRUE;

    unsigned long long ullInstalled = InstalledBuildTime(r.szOldName);
    if (ullInstalled == 0) {
        TraceText(kFunction, "***Installed build time not available.");
        return TRUE;
    }
    TraceText(kFunction, "Installed BuildTime is '%llu'", ullInstalled);
    char szNew[ZEB_CCH_CODE];
    if (!Get(r, PROP_ZEBBUILDTIME, szNew, sizeof(szNew)))
        return FALSE;
    unsigned long long ullNew = ParseBuildTime(szNew);
    TraceText(kFunction, "New BuildTime is '%llu'", ullNew);
    if (ullNew > ullInstalled) {
        TraceText(kFunction, "Installed version is earlier than current version");
    } else if ((iServer != 0) == (szOldServer[0] != '\0')) {
        TraceText(kFunction, "***Installed version not earlier than current version");
        r.bDownLevel = TRUE;
    } else {
        TraceText(kFunction, "Installed version not earlier than current version");
        TraceText(kFunction, " - allowed because server overwrites client");
    }
    return TRUE;
}

BOOL CheckVersions(SecRun& r) {
    ZebPrevRecord& prev = PrevRecord();
    if (!Get(r, PROP_ZEBVRMF, r.szVrmf, sizeof(r.szVrmf)))
        return FALSE;
    LONG lLevel = LevelOf(r.szVrmf);
    int iCompare = CompareDottedVersions(prev.szVrmf, r.szVrmf);
    if (prev.lProduct > lLevel) {
        TraceText(kFunction, "***This is Downlevel VR compared to installed product");
        r.bDownLevel = TRUE;
    } else if (prev.lProduct <= kLastUnsupportedLevel) {
        TraceText(kFunction, "***Unsupported VR as migration from 5.3 or earlier is unsupported");
        r.bUnsupported = TRUE;
    } else if (iCompare > 0) {
        int iServer = 0;
        if (iwiCompareProduct(ZEB_UPGRADE_SERVER, &iServer) != ZEB_RC_SUCCESS)
            return Fail(r);
        char szOldClient[ZEB_CCH_UPGRADELIST] = "";
        if (iServer) {
            TraceText(kFunction, "I'm a server product, am I upgrading a client");
            if (!Get(r, PROP_ZEBOLDCLIENT, szOldClient, sizeof(szOldClient)))
                return FALSE;
        } else {
            TraceText(kFunction, "I'm a client product, so should never go backlevel VRMF");
        }
        if (szOldClient[0] != '\0') {
            TraceText(kFunction, "I'm a server product upgrading a client, which is slightly backlevel.");
            if (!Set(r, PROP_ZEBREAPPLYSERVICE, prev.szVrmf))
                return FALSE;
        } else {
            TraceText(kFunction, "***Downlevel MF compared to installed product");
            r.bDownLevel = TRUE;
            char szCheck[ZEB_CCH_MSG];
            if (!Get(r, PROP_ZEBCHECKSERVICELEVEL, szCheck, sizeof(szCheck)))
                return FALSE;
            if (szCheck[0] != '\0') {
                ShowNlsError(ZEB_MSG_DOWNLEVEL_FIX, kFallbackDownLevelFix, prev.szVrmf, r.szVrmf);
                return Fail(r);
            }
            TraceText(kFunction, "Ignoring down-level service");
        }
    } else if (iCompare == 0 && !CompareBuildTimes(r)) {
        return FALSE;
    }

    if (!r.bDownLevel && !r.bUnsupported)
        return TRUE;
    char szCheck[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBCHECKVERSION, szCheck, sizeof(szCheck)))
        return FALSE;
    if (szCheck[0] == '\0') {
        TraceText(kFunction, "Ignoring down-level/unsupported product version");
        return TRUE;
    }
    if (r.bDownLevel)
        ShowNlsError(ZEB_MSG_DOWNLEVEL, kFallbackDownLevel, NULL);
    else
        ShowNlsError(ZEB_MSG_UNSUPPORTED_RELEASE, kFallbackUnsupported, NULL);
    return Fail(r);
}

// The old installation's features onto this package. Typical comes first, so that it cannot
// overwrite what is carried over.
BOOL CarryFeaturesOver(SecRun& r) {
    ZebPrevRecord& prev = PrevRecord();
    if (SetInstallLevel(100) != ZEB_RC_SUCCESS) {
        TraceText(kFunction, "***Install level 100 not set");
        return Fail(r);
    }
    char szProduct[ZEB_CCH_FLAG];
    char szInstalled[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBPRODUCT, szProduct, sizeof(szProduct)) ||
        !Get(r, PROP_INSTALLED, szInstalled, sizeof(szInstalled)))
        return FALSE;
    if (szInstalled[0] == '\0' && iwiSetFeaturesTypical(r.hInstall) == ZEB_RC_FAILURE)
        return Fail(r);

    UINT* puiStat = r.puiStat;
    SwitchFeature("Base", TRUE, puiStat);
    if (CompareDottedVersions(prev.szVrmf, "9.0.2.0") >= 0) {
        TraceText(
            kFunction,
            "Previous install was version '%s' (9.0.2 or after) so add JRE only if previously installed (%d)",
            prev.szVrmf, prev.bJre ? 1 : 0);
        SwitchFeature("JRE", prev.bJre, puiStat);
    } else {
        TraceText(kFunction, "Previous install was version '%s' (pre-9.0.2) so add JRE at upgrade time",
                  prev.szVrmf);
        SwitchFeature("JRE", TRUE, puiStat);
    }
    if (IsClientInstall()) {
        if (_stricmp(szProduct, "server") == 0)
            SwitchFeature("Server", FALSE, puiStat);
    } else {
        SwitchFeature("Server", prev.bServer, puiStat);
    }
    SwitchFeature("Client", prev.bWindowsClient, puiStat);
    SwitchFeature("JavaMsg", prev.bJavaClient || prev.bQb17Java, puiStat);
    SwitchFeature("Toolkit", prev.bToolkit || prev.bQb17Samples, puiStat);
    if (!IsClientInstall()) {
        const struct {
            LPCSTR pszFeature;
            BOOL bOn;
        } kServerFeatures[] = {{"XR_Service", prev.bTelemetryService},
                               {"MFT_Agent", prev.bMftAgent},
                               {"MFT_Logger", prev.bMftLogger},
                               {"MFT_Service", prev.bMftService},
                               {"MFT_Tools", prev.bMftTools},
                               {"AMS", prev.bMessageSecurity},
                               {"AMQP", prev.bAmqp},
                               {"Web", prev.bWeb}};
        for (const auto& feature : kServerFeatures)
            SwitchFeature(feature.pszFeature, feature.bOn, puiStat);
    }
    return *puiStat == ZEB_RC_SUCCESS;
}

BOOL CheckSilentPrereqs(SecRun& r) {
    if (r.iUiLevel == 5 || r.bPatch || r.bRemoval)
        return TRUE;
    iwiListFeaturePrereqs(r.hInstall); // its outcome is read from the properties below
    char szPrereq[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBFEATUREPREREQ, szPrereq, sizeof(szPrereq)))
        return FALSE;
    if (strcmp(szPrereq, "1") != 0)
        return TRUE;
    char szSoft[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBSOFTPREREQ, szSoft, sizeof(szSoft)))
        return FALSE;
    if (strcmp(szSoft, "0") == 0) {
        TraceText(kFunction, "***Software prerequisites not satisfied");
        return Fail(r);
    }
    TraceText(kFunction, "Some soft software prerequisites not satisfied");
    return TRUE;
}

BOOL CheckLosingFeatures(SecRun& r) {
    if (iwiTestLosingFeatures(r.hInstall) != ZEB_RC_SUCCESS)
        return Fail(r);
    if (r.bPatch || r.bRemoval)
        return TRUE;
    char szWarn[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBWARNFEATURES, szWarn, sizeof(szWarn)))
        return FALSE;
    if (strcmp(szWarn, "1") != 0 || r.iUiLevel == 5)
        return TRUE;
    char szConsent[ZEB_CCH_MSG];
    if (iwiGetIniProperty(PROP_REMOVEFEATURES, szConsent, NULL) != ZEB_RC_SUCCESS)
        return Fail(r);
    if (icsIsYes(szConsent, "no"))
        return TRUE;
    TraceText(kFunction, "***Property %s is set to '%s'; unacceptable for silent installation",
              PROP_REMOVEFEATURES, szConsent);
    return Fail(r);
}

void InstallInitSecBody(MSIHANDLE hInstall, UINT* puiStat) {
    ZebPrevRecord& prev = PrevRecord();
    prev.bServerOrigin = prev.bClientOrigin = FALSE;
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    SecRun r = {};
    r.hInstall = hInstall;
    r.puiStat = puiStat;
    if (!ReadPreviousFolders(r) || !CheckMedia(r))
        return;

    LPCSTR pszRemove = NULL;
    if (!GetRemoveValue(hInstall, kFunction, &pszRemove, puiStat))
        return;
    if (_stricmp(pszRemove, "all") == 0) {
        r.bRemoval = TRUE;
        if (!Set(r, PROP_ZEBREMOVE, "1"))
            return;
    }
    char szPatch[ZEB_CCH_MSG];
    if (!Get(r, PROP_PATCH, szPatch, sizeof(szPatch)))
        return;
    r.bPatch = szPatch[0] != '\0';

    if (GetHxRegistryInfo() != ZEB_RC_SUCCESS) {
        Fail(r);
        return;
    }
    char szNewName[ZEB_CCH_MSG];
    char szInstalled[ZEB_CCH_MSG];
    if (!Get(r, PROP_ZEBINSTALLINSTANCENAME, szNewName, sizeof(szNewName)))
        return;
    TraceText(kFunction, "New InstallationName is '%s'", szNewName);
    if (!Get(r, PROP_ZEBOLDINSTALLINSTANCENAME, r.szOldName, sizeof(r.szOldName)))
        return;
    TraceText(kFunction, "Old InstallationName is '%s'", r.szOldName);
    if (!Get(r, PROP_INSTALLED, szInstalled, sizeof(szInstalled)))
        return;

    if (szInstalled[0] == '\0' && prev.lProduct != 0 && !CheckVersions(r))
        return;
    if (IsClientInstall() && prev.bServerOrigin) {
        ShowNlsError(ZEB_MSG_CLIENT_OVER_SERVER, kFallbackServerOrigin, NULL);
        Fail(r);
        return;
    }
    char szLevel[ZEB_CCH_FLAG];
    snprintf(szLevel, sizeof(szLevel), "%ld", (long)prev.lProduct);
    if (!Set(r, PROP_ZEBPREVVERSION, szLevel))
        return;

    if (!r.bPatch && !r.bRemoval) {
        if (prev.lProduct != 0 && !CarryFeaturesOver(r))
            return;
        if (ApplyPreselect() != ZEB_RC_SUCCESS) {
            Fail(r);
            return;
        }
    }

    char szPreselected[ZEB_CCH_MSG];
    if (!Get(r, PROP_PRESELECTED, szPreselected, sizeof(szPreselected)))
        return;
    if (szPreselected[0] == '\0') {
        char szUseIni[ZEB_CCH_PATH];
        if (!Get(r, PROP_USEINI, szUseIni, sizeof(szUseIni)))
            return;
        NormalizePath(FALSE, szUseIni);
        lstrcpynA(szPreselected, szUseIni, sizeof(szPreselected));
    }
    if (!Set(r, PROP_ZEBPRESELECT, szPreselected[0] != '\0' ? "1" : ""))
        return;

    char szUiLevel[ZEB_CCH_FLAG];
    if (!Get(r, PROP_UILEVEL, szUiLevel, sizeof(szUiLevel)))
        return;
    r.iUiLevel = atoi(szUiLevel);
    if (CheckSilentPrereqs(r))
        CheckLosingFeatures(r);
}

} // namespace

UINT ApplyPreselect(void) {
    MSIHANDLE hInstall = FrameSession();
    if (SetInstallLevel(100) != ZEB_RC_SUCCESS) {
        TraceText(kPreselectFunction, "***Install level 100 not set");
        return ZEB_RC_FAILURE;
    }
    BOOL bClient = IsClientInstall();
    UINT uiResult = ZEB_RC_SUCCESS;
    for (int i = 0; i < ZEB_FEATURE_ROWS; i++) {
        const ZebProductFeature& feature = ProductFeature(i);
        if (feature.pszName[0] == '\0')
            break;
        if (!(bClient ? feature.bClient : feature.bServer))
            continue;
        TraceText(kPreselectFunction, "Looking up existing feature state:");
        INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN, iAction = INSTALLSTATE_UNKNOWN;
        if (MsiGetFeatureStateA(hInstall, feature.pszName, &iInstalled, &iAction) == ERROR_SUCCESS) {
            TraceText(kPreselectFunction, "  feature '%s', installed %d, action %d", feature.pszName,
                      (int)iInstalled, (int)iAction);
        } else {
            TraceText(kPreselectFunction, "Feature '%s', caused an MsiGetFeatureState error",
                      feature.pszName);
            iInstalled = iAction = INSTALLSTATE_UNKNOWN;
        }
        TraceText(kPreselectFunction, "Checking Feature ini selection for '%s'", feature.pszName);
        int iChoice = ZEB_FEATURE_UNSPECIFIED;
        if (iwiGetIniFeature(feature.pszName, feature.pszParent, &iChoice) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
        if (iChoice != ZEB_FEATURE_UNSPECIFIED)
            iAction = (INSTALLSTATE)iChoice;
        TraceText(kPreselectFunction, "Feature '%s', action state '%d'", feature.pszName, (int)iAction);
        if (iAction == INSTALLSTATE_UNKNOWN) {
            TraceText(kPreselectFunction, "Feature '%s' has no feature state set", feature.pszName);
        } else if (SetFeatureState(feature.pszName, iAction) != ZEB_RC_SUCCESS) {
            // Every failed change counts, not only the last; the walk goes on.
            TraceText(kPreselectFunction, "Feature '%s', caused an MsiSetFeatureState error",
                      feature.pszName);
            uiResult = ZEB_RC_FAILURE;
        }
    }
    return uiResult;
}

ZEB_ACTION iwiInstallInitSec(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kFunction, NULL))
        InstallInitSecBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
