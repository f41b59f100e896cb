// Feature selection: the install level, the two preset selections, the guard against removing
// every feature, the features that need the Java runtime and the feature-action lister of the
// install summaries.
#include "zebilogn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

BOOL g_bInstallLevelSet = FALSE;

const char kFallbackNoFeature[] = "Select at least one feature to install.";

// The display name of a language message, or the fallback when the message cannot be loaded.
void DisplayName(char (&szOut)[ZEB_CCH_MSG], UINT uId, LPCSTR pszFallback) {
    if (uId == 0 || !iwiLoadNlsString(szOut, uId))
        lstrcpynA(szOut, pszFallback, sizeof(szOut));
}

// ---- Presets ------------------------------------------------------------------------------------

void ApplyPreset(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszFunction, BOOL bTypical) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szProduct[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, pszFunction, PROP_ZEBPRODUCT, szProduct, sizeof(szProduct), puiStat))
        return;
    if (SetInstallLevel(100) != ZEB_RC_SUCCESS) {
        TraceText(pszFunction, "***Install level 100 not set");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    BOOL bClient = IsClientInstall();
    BOOL bServerPackage = _stricmp(szProduct, "server") == 0;

    SwitchFeature("Base", TRUE, puiStat);
    if (bTypical) {
        SwitchFeature("JavaMsg", TRUE, puiStat);
        SwitchFeature("Toolkit", TRUE, puiStat);
    } else {
        SwitchFeature("Toolkit", FALSE, puiStat);
        SwitchFeature("JavaMsg", FALSE, puiStat);
    }
    SwitchFeature("JRE", TRUE, puiStat);
    if (!bClient) {
        SwitchFeature("Server", TRUE, puiStat);
        SwitchFeature("Web", bTypical, puiStat);
        SwitchFeature("Client", FALSE, puiStat);
        return;
    }
    // A client run of the server package leaves out what only a server has.
    if (bServerPackage) {
        SwitchFeature("Server", FALSE, puiStat);
        SwitchFeature("Web", FALSE, puiStat);
    }
    SwitchFeature("Client", TRUE, puiStat);
}

// ---- Java-runtime dependants --------------------------------------------------------------------

void AddFeaturesNeedingJre(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiAddFeaturesNeedingJRE";
    TraceText(kFunction, "Clear the listbox");
    if (ClearListbox(PROP_ZEBREMOVEJREFEATURES) != ZEB_RC_SUCCESS) {
        TraceText(kFunction, "***ERROR: Failed to clear the listbox");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    TraceText(kFunction, "checking JRE dependant features install state");
    for (int i = 0; i < ZEB_FEATURE_ROWS; i++) {
        const ZebProductFeature& row = ProductFeature(i);
        if (row.pszName[0] == '\0') {
            TraceText(kFunction, "Found end of table");
            break;
        }
        if (!row.bNeedsJre) {
            TraceText(kFunction, "feature '%s' does not depend on the JRE", row.pszName);
            continue;
        }
        INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
        INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
        UINT uiRc = MsiGetFeatureStateA(hInstall, row.pszName, &iInstalled, &iAction);
        if (uiRc != ERROR_SUCCESS) {
            if (uiRc == ERROR_INVALID_HANDLE)
                TraceText(kFunction, "***ERROR: Invalid handle");
            else if (uiRc == ERROR_UNKNOWN_FEATURE)
                TraceText(kFunction, "***ERROR: Unknown feature %s", row.pszName);
            else
                TraceText(kFunction, "***ERROR: %d from MsiGetFeatureState(%s)", (int)uiRc, row.pszName);
            iInstalled = iAction = INSTALLSTATE_UNKNOWN;
        }
        char szInstalled[ZEB_CCH_FLAG];
        char szAction[ZEB_CCH_FLAG];
        TraceText(kFunction, "'%s' Feature - Installed: %s Action: %s", row.pszName,
                  FeatureStateText(szInstalled, iInstalled), FeatureStateText(szAction, iAction));
        if (iAction == INSTALLSTATE_LOCAL ||
            (iInstalled == INSTALLSTATE_LOCAL && iAction == INSTALLSTATE_UNKNOWN)) {
            TraceText(kFunction, "feature '%s' will be installed (or already is) and prereqs JRE",
                      row.pszName);
            char szName[ZEB_CCH_MSG];
            DisplayName(szName, row.uDisplay, row.pszName);
            TraceText(kFunction, "Add (NLS) '%s' to ListBox", szName);
            if (AddListboxItemValue(PROP_ZEBREMOVEJREFEATURES, szName, NULL) != ZEB_RC_SUCCESS) {
                TraceText(kFunction, "***ERROR: Failed to add '%s' to the listbox", szName);
                *puiStat = ZEB_RC_FAILURE;
                return;
            }
        } else {
            TraceText(kFunction, "feature '%s' will NOT be installed", row.pszName);
        }
    }
}

void CheckAtLeastOneFeature(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiCheckAtLeastOneFeature";
    char szRemove[ZEB_CCH_FEATURELIST];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat))
        return;
    if (szRemove[0] == '1') {
        char szText[ZEB_CCH_MSG];
        DisplayName(szText, ZEB_MSG_NO_FEATURE, kFallbackNoFeature);
        iiiDisplayMsgBox(szText, MB_ICONERROR);
        SetPropertyValue(hInstall, kFunction, PROP_ZEBSTAYHERE, "1", puiStat);
        return;
    }
    SetPropertyValue(hInstall, kFunction, PROP_ZEBSTAYHERE, "", puiStat);
}

// ---- Feature-action lister ----------------------------------------------------------------------

BOOL IsListed(int iMode, BOOL bRemove, BOOL bReinstall, INSTALLSTATE iInstalled, INSTALLSTATE iAction,
              LPCSTR pszFeature) {
    BOOL bLocal = iInstalled == INSTALLSTATE_LOCAL;
    switch (iMode) {
    case ZEB_LIST_ADDED:
        return !bRemove && iAction == INSTALLSTATE_LOCAL && !bLocal;
    case ZEB_LIST_REINSTALLED:
        return bLocal && (bReinstall || (!bRemove && iAction == INSTALLSTATE_LOCAL));
    case ZEB_LIST_REMOVED:
        if ((bLocal || iInstalled == INSTALLSTATE_ADVERTISED) && (bRemove || iAction == INSTALLSTATE_ABSENT))
            return TRUE;
        return iAction != INSTALLSTATE_LOCAL && IsOldFeatureInstalled(pszFeature) != 0;
    case ZEB_LIST_UNCHANGED:
        return !bRemove &&
               (bLocal || iInstalled == INSTALLSTATE_SOURCE || iInstalled == INSTALLSTATE_ADVERTISED) &&
               iAction == INSTALLSTATE_UNKNOWN;
    default:
        return FALSE;
    }
}

} // namespace

LPCSTR FeatureStateText(char (&szOut)[ZEB_CCH_FLAG], INSTALLSTATE iState) {
    switch (iState) {
    case INSTALLSTATE_ADVERTISED:
        return "INSTALLSTATE_ADVERTISED";
    case INSTALLSTATE_ABSENT:
        return "INSTALLSTATE_ABSENT";
    case INSTALLSTATE_LOCAL:
        return "INSTALLSTATE_LOCAL";
    case INSTALLSTATE_SOURCE:
        return "INSTALLSTATE_SOURCE";
    case INSTALLSTATE_UNKNOWN:
        return "INSTALLSTATE_UNKNOWN";
    default:
        snprintf(szOut, sizeof(szOut), "%08X", (unsigned)iState);
        return szOut;
    }
}

void ResetFeatureSelectState(void) {
    g_bInstallLevelSet = FALSE;
}

UINT SetInstallLevel(int iLevel) {
    static const char kFunction[] = "SetInstallLevel";
    if (g_bInstallLevelSet) {
        TraceText(kFunction, "Install level already set");
        return ZEB_RC_SUCCESS;
    }
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    char szLevel[ZEB_CCH_FLAG];
    snprintf(szLevel, sizeof(szLevel), "%d", iLevel);
    if (!SetPropertyValue(hInstall, kFunction, PROP_INSTALLLEVEL, szLevel, &uiStat))
        return ZEB_RC_FAILURE;
    UINT uiRc = MsiSetInstallLevel(hInstall, iLevel);
    TraceText(kFunction, "MsiSetInstallLevel(%d) rc=%d", iLevel, (int)uiRc);
    if (uiRc != ERROR_SUCCESS)
        return ZEB_RC_FAILURE;
    g_bInstallLevelSet = TRUE;
    return ZEB_RC_SUCCESS;
}

UINT ListFeatureAction(BOOL* pbAdded, int iMode, LPCSTR pszRemove) {
    static const char kFunction[] = "ListFeatureAction";
    MSIHANDLE hInstall = FrameSession();
    UINT uiResult = ZEB_RC_SUCCESS;
    if (pszRemove == NULL)
        pszRemove = "";
    BOOL bRemove = _stricmp(pszRemove, "Remove") == 0;
    BOOL bReinstall = _stricmp(pszRemove, "Reinstall") == 0;
    BOOL bClient = IsClientInstall();
    LPCSTR pszPrevious = "";
    for (int i = 0; i < ZEB_FEATURE_ROWS; i++) {
        const ZebSummaryFeature& row = SummaryFeature(i);
        if (row.pszName[0] == '\0')
            break;
        BOOL bRepeated = strcmp(row.pszName, pszPrevious) == 0;
        pszPrevious = row.pszName;
        if ((bClient && !row.bClient) || row.uDisplay == 0 || bRepeated)
            continue;
        INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
        INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
        UINT uiRc = MsiGetFeatureStateA(hInstall, row.pszName, &iInstalled, &iAction);
        if (uiRc == ERROR_UNKNOWN_FEATURE) {
            iInstalled = INSTALLSTATE_UNKNOWN;
            iAction = INSTALLSTATE_ABSENT;
        } else if (uiRc != ERROR_SUCCESS) {
            TraceText(kFunction, "Error %d from MsiGetFeatureState(%s)", (int)uiRc, row.pszName);
            uiResult = ZEB_RC_FAILURE;
            continue;
        }
        TraceText(kFunction, "'%s' Installed: %d Action: %d", row.pszName, (int)iInstalled, (int)iAction);
        if (!IsListed(iMode, bRemove, bReinstall, iInstalled, iAction, row.pszName))
            continue;
        char szName[ZEB_CCH_MSG];
        DisplayName(szName, row.uDisplay, row.pszName);
        char szLine[ZEB_CCH_MSG];
        // Listed lines are cut at the message capacity, as the list box shows them.
        lstrcpynA(szLine, "     ", sizeof(szLine));
        lstrcpynA(szLine + 5, szName, sizeof(szLine) - 5);
        if (AddListboxItemValue(PROP_ZEBSUMMARYLIST, szLine, NULL) != ZEB_RC_SUCCESS) {
            uiResult = ZEB_RC_FAILURE;
            continue;
        }
        if (pbAdded != NULL)
            *pbAdded = TRUE;
    }
    return uiResult;
}

ZEB_ACTION iwiSetFeaturesMinimum(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetFeaturesMinimum", NULL))
        ApplyPreset(hInstall, &uiStat, "iwiSetFeaturesMinimum", FALSE);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetFeaturesTypical(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetFeaturesTypical", NULL))
        ApplyPreset(hInstall, &uiStat, "iwiSetFeaturesTypical", TRUE);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiCheckAtLeastOneFeature(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiCheckAtLeastOneFeature", NULL))
        CheckAtLeastOneFeature(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiAddFeaturesNeedingJRE(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiAddFeaturesNeedingJRE", NULL))
        AddFeaturesNeedingJre(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
