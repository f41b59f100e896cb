// What an upgrade or removal would lose: the separately installed Java support, the documentation
// of the legacy level-5.2.1 product, and whether the user may be asked about the queue managers'
// data.
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kFunction[] = "iwiTestLosingFeatures";

struct LosingRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    int iLines; // lines added to the list this run
    char szWarning[2];
    char szLosingJava[2];
    char szQueryQmData[ZEB_CCH_PATH];
};

void DisplayName(char (&szOut)[ZEB_CCH_MSG], UINT uId, LPCSTR pszFallback) {
    if (uId == 0 || !iwiLoadNlsString(szOut, uId))
        lstrcpynA(szOut, pszFallback, sizeof(szOut));
}

BOOL AddLine(LosingRun& r, LPCSTR pszText) {
    if (AddListboxItemValue(PROP_ZEBLOSEFEATURESLIST, pszText, NULL) != ZEB_RC_SUCCESS) {
        TraceText(kFunction, "***Failed to add '%s' to the listbox", pszText);
        *r.puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    r.iLines++;
    return TRUE;
}

// A blank separator after earlier entries, the heading, and the reason indented by five blanks.
BOOL AddLoss(LosingRun& r, LPCSTR pszHeading, UINT uReason) {
    if (r.iLines > 0 && !AddLine(r, " "))
        return FALSE;
    char szTemplate[ZEB_CCH_MSG];
    char szReason[ZEB_CCH_MSG];
    char szLine[ZEB_CCH_MSG];
    DisplayName(szTemplate, ZEB_MSG_LOSE_FEATURE, "(%1)");
    DisplayName(szReason, uReason, "");
    char szFormatted[ZEB_CCH_MSG];
    iwiFormatMsgBuffer(szFormatted, szTemplate, szReason, NULL, NULL, NULL);
    // Listed lines are cut at the message capacity, as the list box shows them.
    lstrcpynA(szLine, "     ", sizeof(szLine));
    lstrcpynA(szLine + 5, szFormatted, sizeof(szLine) - 5);
    return AddLine(r, pszHeading) && AddLine(r, szLine);
}

BOOL JavaSupport(LosingRun& r) {
    char szProgramFolder[ZEB_CCH_PATH];
    if (!GetPropertyValue(r.hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgramFolder, sizeof(szProgramFolder),
                          r.puiStat))
        return FALSE;
    NormalizePath(FALSE, szProgramFolder);
    char szJavaFolder[ZEB_CCH_PATH];
    char szMsiJavaFolder[ZEB_CCH_PATH];
    if (GetQb17Info(szJavaFolder, szMsiJavaFolder, NULL) != ZEB_RC_SUCCESS) {
        *r.puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    if (szJavaFolder[0] == '\0' && szMsiJavaFolder[0] == '\0') {
        TraceText(kFunction, "Java SupportPac is not installed");
        return TRUE;
    }
    lstrcpynA(r.szLosingJava, "1", sizeof(r.szLosingJava));
    char szOwnJava[ZEB_CCH_PATH];
    BOOL bHaveOwn = MakeFilePath(szOwnJava, szProgramFolder, "java");
    BOOL bMsi = szMsiJavaFolder[0] != '\0';
    char szFound[ZEB_CCH_PATH];
    lstrcpynA(szFound, bMsi ? szMsiJavaFolder : szJavaFolder, sizeof(szFound));
    NormalizePath(FALSE, szFound);
    // The installer gives the path of a file in the folder; the other form gives the folder.
    size_t cchOwn = strlen(szOwnJava);
    BOOL bSame = bHaveOwn && _strnicmp(szFound, szOwnJava, cchOwn) == 0 &&
                 (szFound[cchOwn] == '\0' || szFound[cchOwn] == '\\');
    if (bMsi)
        TraceText(kFunction, bSame ? "MSI Java SupportPac is installed; same path"
                                   : "MSI Java SupportPac is installed; different path");
    else
        TraceText(kFunction, bSame ? "Non-MSI Java SupportPac is installed; same path"
                                   : "Non-MSI Java SupportPac is installed; different path");
    lstrcpynA(r.szWarning, "1", sizeof(r.szWarning));
    char szHeading[ZEB_CCH_MSG];
    DisplayName(szHeading, ZEB_MSG_JAVA_SUPPORTPAC, "Java SupportPac");
    return AddLoss(r, szHeading, ZEB_MSG_LOSE_JAVA);
}

BOOL QueueManagerQuestion(LosingRun& r, BOOL bRemoving, LPCSTR pszInstalled) {
    INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
    INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
    if (MsiGetFeatureStateA(r.hInstall, "Server", &iInstalled, &iAction) != ERROR_SUCCESS)
        iInstalled = iAction = INSTALLSTATE_UNKNOWN;
    TraceText(kFunction, "'%s' Installed: %d Action: %d", "Server", (int)iInstalled, (int)iAction);
    BOOL bAsk = iAction == INSTALLSTATE_ABSENT || bRemoving ||
                (pszInstalled[0] == '\0' && PrevRecord().bServer && iAction != INSTALLSTATE_LOCAL);
    if (!bAsk)
        return TRUE;
    if (!GetPropertyValue(r.hInstall, kFunction, PROP_ZEBHAVEQMS, r.szQueryQmData, sizeof(r.szQueryQmData),
                          r.puiStat))
        return FALSE;
    if (r.szQueryQmData[0] == '\0')
        return TRUE;
    char szName[ZEB_CCH_INSTNAME];
    if (!GetPropertyValue(r.hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName),
                          r.puiStat))
        return FALSE;
    if (icsCheckForInstalls(szName, TRUE, TRUE)) {
        TraceText(kFunction,
                  "Disallowing querying of whether to remove the QMgr data - other servers exist.");
        r.szQueryQmData[0] = '\0';
    } else {
        TraceText(kFunction, "Permitting querying of whether to remove the QMgr data");
    }
    return TRUE;
}

BOOL LegacyFeatures(LosingRun& r) {
    LPCSTR pszPrevious = "";
    for (int i = 0; i < ZEB_FEATURE_ROWS; i++) {
        const ZebSummaryFeature& row = SummaryFeature(i);
        if (row.pszName[0] == '\0')
            break;
        BOOL bRepeated = strcmp(row.pszName, pszPrevious) == 0;
        pszPrevious = row.pszName;
        BOOL bFlag = IsSummaryFeaturePrevInstalled(i);
        if (bRepeated || (!bFlag && row.pszLegacyComponent[0] == '\0'))
            continue;
        int iState;
        if (bFlag) {
            iState = INSTALLSTATE_LOCAL;
            TraceText(kFunction, "V5.2.1 feature '%s' flag set", row.pszName);
        } else {
            iState = MsiGetComponentPathA(ZEB_LEGACY_PRODUCT_CODE, row.pszLegacyComponent, NULL, NULL);
        }
        if (iState != INSTALLSTATE_LOCAL && iState != INSTALLSTATE_SOURCE &&
            iState != INSTALLSTATE_SOURCEABSENT) {
            TraceText(kFunction, "V5.2.1 feature '%s' is not installed", row.pszName);
            continue;
        }
        TraceText(kFunction, "V5.2.1 feature '%s' is installed (state '%d')", row.pszName, iState);
        if (row.uDisplay == 0)
            continue;
        lstrcpynA(r.szWarning, "1", sizeof(r.szWarning));
        char szName[ZEB_CCH_MSG];
        DisplayName(szName, row.uDisplay, row.pszName);
        if (!AddLoss(r, szName, ZEB_MSG_LOSE_LEGACY))
            return FALSE;
    }
    return TRUE;
}

void TestLosingFeatures(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    LosingRun r = {hInstall, puiStat, 0, "0", "", ""};
    char szInstalled[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled), puiStat))
        return;
    if (ClearListbox(PROP_ZEBLOSEFEATURESLIST) != ZEB_RC_SUCCESS) {
        TraceText(kFunction, "***Failed to clear the listbox");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }

    char szZebRemove[ZEB_CCH_FEATURELIST];
    char szRemove[ZEB_CCH_FEATURELIST];
    char szMaintenance[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szZebRemove, sizeof(szZebRemove), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_REMOVE, szRemove, sizeof(szRemove), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ISMAINTENANCE, szMaintenance, sizeof(szMaintenance),
                          puiStat))
        return;
    BOOL bRemoving =
        szZebRemove[0] == '1' || _stricmp(szRemove, "all") == 0 || strcmp(szMaintenance, "Remove") == 0;

    if (GetHxRegistryInfo() != ZEB_RC_SUCCESS) {
        TraceText(kFunction, "***Failed to read the previous installation's record");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    if (!JavaSupport(r) || !QueueManagerQuestion(r, bRemoving, szInstalled) || !LegacyFeatures(r))
        return;
    if (SetPropertyValue(hInstall, kFunction, PROP_ZEBWARNFEATURES, r.szWarning, puiStat) &&
        SetPropertyValue(hInstall, kFunction, PROP_ZEBLOSINGJAVA, r.szLosingJava, puiStat))
        SetPropertyValue(hInstall, kFunction, PROP_ZEBQUERYQMDATA, r.szQueryQmData, puiStat);
}

} // namespace

ZEB_ACTION iwiTestLosingFeatures(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiTestLosingFeatures", NULL))
        TestLosingFeatures(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
