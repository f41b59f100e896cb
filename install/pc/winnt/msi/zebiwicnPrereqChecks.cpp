// Prerequisite checks: the eight checks over the probes, the list-box lines naming the features
// that need a missing item, and the checks that no selected feature loses a feature it needs.
#include "zebhold.h"
#include "zebiprqn.h"
#include "zebilogn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kFeatureQuery[] = "SELECT * FROM Feature";
const char kFallbackHeading[] = "    (Required for: ";
const char kFallbackIndent[] = "     ";
const char kFallbackSeparator[] = ", ";
const char kFallbackClosing[] = ".)";
const char kFallbackNoneMissing[] = "All the prerequisites are present.";
const char kFallbackCipherStrength[] = "    (Current cipher strength is %1-bit)";

// Names to a line of a pass.
const int kNamesPerLine = 3;

// ---- The eight checks ---------------------------------------------------------------------------

struct PrereqCheck {
    UINT uItem;
    LPCSTR pszFunction;
    LPCSTR pszWord; // begins its four trace lines
    LPCSTR pszOverride;
    ZebProbeResult (*pfnProbe)(LPCSTR pszFunction);
};

// In the order the list actions run them.
const PrereqCheck kChecks[] = {
    {ZEB_PREREQ_MMC, "CheckPrereqMmc", "MMC", PROP_ZEBPREREQMMC, ProbeMmc},
    {ZEB_PREREQ_ADSI, "CheckPrereqAdsi", "ADSI", PROP_ZEBPREREQADSI, ProbeAdsi},
    {ZEB_PREREQ_HTMLHELP, "CheckPrereqHtml", "HTML Help", PROP_ZEBPREREQHTMLHELP, ProbeHtmlHelp},
    {ZEB_PREREQ_IE, "CheckPrereqIe", "IE", PROP_ZEBPREREQIE, ProbeIe},
    {ZEB_PREREQ_JVM, "CheckPrereqJvm", "JVM", PROP_ZEBPREREQJVM, ProbeJvm},
    {ZEB_PREREQ_WTS_SP6, "CheckPrereqSp6", "WTS service pack", PROP_ZEBPREREQWTSSP, ProbeWtsServicePack},
    {ZEB_PREREQ_SP6A, "CheckPrereqSp6A", "Service pack", PROP_ZEBPREREQSP, ProbeServicePack},
    {ZEB_PREREQ_ENCRYPT, "CheckPrereqEncrypt", "Encryption", PROP_ZEBPREREQENCRYPT, ProbeEncryption},
};
const int kCheckCount = sizeof(kChecks) / sizeof(kChecks[0]);

// Order in which missing items are listed.
const UINT kListOrder[] = {ZEB_PREREQ_WTS_SP6, ZEB_PREREQ_SP6A, ZEB_PREREQ_ENCRYPT, ZEB_PREREQ_HTMLHELP,
                           ZEB_PREREQ_MMC,     ZEB_PREREQ_IE,   ZEB_PREREQ_JVM,     ZEB_PREREQ_ADSI};

BOOL CheckPrereq(const PrereqCheck& check, BOOL bProbe) {
    BOOL bMissing = FALSE;
    if (bProbe) {
        switch (check.pfnProbe(check.pszFunction)) {
        case ZEB_PROBE_SATISFIED:
            TraceText(check.pszFunction, "%s prereq satisfied", check.pszWord);
            break;
        case ZEB_PROBE_MISSING:
            TraceText(check.pszFunction, "%s prereq NOT satisfied", check.pszWord);
            bMissing = TRUE;
            break;
        case ZEB_PROBE_NOT_APPLICABLE:
            break;
        }
    }
    // An override that cannot be read leaves the probe's answer.
    UINT uiIgnored = ZEB_RC_SUCCESS;
    char szOverride[ZEB_CCH_FLAG];
    if (!GetPropertyValue(FrameSession(), check.pszFunction, check.pszOverride, szOverride,
                          sizeof(szOverride), &uiIgnored))
        return bMissing;
    if (strcmp(szOverride, "0") == 0) {
        if (bMissing)
            TraceText(check.pszFunction, "%s prereq overridden", check.pszWord);
        return FALSE;
    }
    if (szOverride[0] != '\0') {
        TraceText(check.pszFunction, "%s prereq set", check.pszWord);
        return TRUE;
    }
    return bMissing;
}

// ---- List lines ---------------------------------------------------------------------------------

// Appends without cutting: FALSE (the line unchanged) when the text does not fit.
BOOL AppendText(char (&szLine)[ZEB_CCH_MSG], LPCSTR pszText) {
    size_t cchLine = strlen(szLine);
    size_t cchText = strlen(pszText);
    if (cchLine + cchText >= sizeof(szLine))
        return FALSE;
    memcpy(szLine + cchLine, pszText, cchText + 1);
    return TRUE;
}

UINT AddLine(LPCSTR pszFunction, LPCSTR pszList, LPCSTR pszLine) {
    if (AddListboxItemValue(pszList, pszLine, NULL) == ZEB_RC_SUCCESS)
        return ZEB_RC_SUCCESS;
    TraceText(pszFunction, "***Unable to add '%s' to the list '%s'", pszLine, pszList);
    return ZEB_RC_FAILURE;
}

BOOL IsInstallState(INSTALLSTATE iState) {
    return iState == INSTALLSTATE_LOCAL || iState == INSTALLSTATE_SOURCE ||
           iState == INSTALLSTATE_ADVERTISED || iState == INSTALLSTATE_DEFAULT;
}

struct PassNames {
    LPCSTR apszNames[ZEB_FEATURE_ROWS];
    int iCount;
};

// The distinct features of the summary rows that need the item in this pass.
UINT CollectPassNames(LPCSTR pszFunction, UINT uItem, BOOL bHard, BOOL bNewOnly, BOOL bClient,
                      PassNames& names) {
    names.iCount = 0;
    for (int i = 0; i < ZEB_FEATURE_ROWS; i++) {
        const ZebSummaryFeature& row = SummaryFeature(i);
        if (row.pszName[0] == '\0')
            break;
        if (row.uPrereq != uItem || (bClient && !row.bClient) || !row.bHard != !bHard)
            continue;
        if (bNewOnly) {
            INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
            INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
            UINT uiRc = MsiGetFeatureStateA(FrameSession(), row.pszName, &iInstalled, &iAction);
            if (uiRc == ERROR_UNKNOWN_FEATURE)
                continue;
            if (uiRc != ERROR_SUCCESS) {
                TraceText(pszFunction, "Error %d from MsiGetFeatureState(%s)", (int)uiRc, row.pszName);
                return ZEB_RC_FAILURE;
            }
            if (!IsInstallState(iAction) || IsInstallState(iInstalled))
                continue;
        }
        LPCSTR pszName = row.uDisplay != 0 ? row.pszName : row.pszListed;
        BOOL bKnown = FALSE;
        for (int j = 0; j < names.iCount && !bKnown; j++)
            bKnown = strcmp(names.apszNames[j], pszName) == 0;
        if (!bKnown)
            names.apszNames[names.iCount++] = pszName;
    }
    return ZEB_RC_SUCCESS;
}

// The heading, the names three to a line, the closing text: one list line per three names.
UINT AddPassLines(LPCSTR pszFunction, LPCSTR pszList, UINT uHeading, const PassNames& names) {
    char szSeparator[ZEB_CCH_MSG];
    char szIndent[ZEB_CCH_MSG];
    char szClosing[ZEB_CCH_MSG];
    char szLine[ZEB_CCH_MSG];
    LoadNlsStringOr(szSeparator, ZEB_MSG_PREREQ_SEPARATOR, kFallbackSeparator);
    LoadNlsStringOr(szIndent, ZEB_MSG_PREREQ_INDENT, kFallbackIndent);
    LoadNlsStringOr(szClosing, ZEB_MSG_PREREQ_CLOSING, kFallbackClosing);
    LoadNlsStringOr(szLine, uHeading, kFallbackHeading);
    for (int i = 0; i < names.iCount; i++) {
        char szTitle[ZEB_CCH_FEATURE_TITLE];
        if (GetFeatureDisplayName(names.apszNames[i], szTitle) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
        BOOL bLast = i == names.iCount - 1;
        // A line ends after its third name only when another name follows.
        BOOL bBreak = !bLast && (i + 1) % kNamesPerLine == 0;
        if (!AppendText(szLine, szTitle) || !AppendText(szLine, bLast ? szClosing : szSeparator)) {
            TraceText(pszFunction, "***List line too long at '%s'", szTitle);
            return ZEB_RC_FAILURE;
        }
        if (bLast || bBreak) {
            if (AddLine(pszFunction, pszList, szLine) != ZEB_RC_SUCCESS)
                return ZEB_RC_FAILURE;
            lstrcpynA(szLine, szIndent, sizeof(szLine));
        }
    }
    return ZEB_RC_SUCCESS;
}

// ---- List actions -------------------------------------------------------------------------------

void ListPrereqs(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszFunction, BOOL bFeatureList) {
    LPCSTR pszList = bFeatureList ? PROP_ZEBFEATUREPREREQLIST : PROP_ZEBPRODUCTPREREQLIST;
    char szVersionNt[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, pszFunction, PROP_VERSIONNT, szVersionNt, sizeof(szVersionNt), puiStat))
        return;
    BOOL bProbe = szVersionNt[0] != '\0';
    BOOL abMissing[kCheckCount];
    for (int i = 0; i < kCheckCount; i++)
        abMissing[i] = CheckPrereq(kChecks[i], bProbe);

    if (ClearListbox(pszList) != ZEB_RC_SUCCESS) {
        TraceText(pszFunction, "***Unable to clear the list '%s'", pszList);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    // The two service-pack items share their flags: a system has only one of them.
    BOOL abHard[kCheckCount] = {FALSE};
    BOOL abSoft[kCheckCount] = {FALSE};
    BOOL bAnyHard = FALSE;
    BOOL bAnySoft = FALSE;
    for (int iSlot = 0; iSlot < kCheckCount; iSlot++) {
        UINT uItem = kListOrder[iSlot];
        int iCheck = 0;
        while (kChecks[iCheck].uItem != uItem)
            iCheck++;
        if (!abMissing[iCheck])
            continue;
        int iFlags = uItem == ZEB_PREREQ_SP6A ? 0 : iSlot;
        if (CheckAndAddPrereqItem(pszList, uItem, NULL, &abHard[iFlags], &abSoft[iFlags]) != ZEB_RC_SUCCESS) {
            TraceText(pszFunction, "***Prerequisite %u not listed", uItem);
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
    }
    for (int i = 0; i < kCheckCount; i++) {
        bAnyHard = bAnyHard || abHard[i];
        bAnySoft = bAnySoft || abSoft[i];
    }

    BOOL bCounted = TRUE;
    if (!bFeatureList) {
        char szCheck[ZEB_CCH_MSG];
        if (!GetPropertyValue(hInstall, pszFunction, PROP_ZEBCHECKPRODUCTPREREQS, szCheck, sizeof(szCheck),
                              puiStat))
            return;
        bCounted = szCheck[0] != '\0';
    }
    LPCSTR pszResult = bFeatureList ? PROP_ZEBFEATUREPREREQ : PROP_ZEBPRODUCTPREREQ;
    LPCSTR pszMissing = "0";
    LPCSTR pszSoft = "0";
    if (bCounted && bAnyHard) {
        pszMissing = "1";
    } else if (bCounted && bAnySoft) {
        pszMissing = "1";
        pszSoft = "1";
    } else {
        char szNone[ZEB_CCH_MSG];
        LoadNlsStringOr(szNone, ZEB_MSG_PREREQ_NONE_MISSING, kFallbackNoneMissing);
        if (AddLine(pszFunction, pszList, szNone) != ZEB_RC_SUCCESS) {
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
    }
    if (!SetPropertyValue(hInstall, pszFunction, pszResult, pszMissing, puiStat) ||
        !SetPropertyValue(hInstall, pszFunction, PROP_ZEBSOFTPREREQ, pszSoft, puiStat) || !bFeatureList)
        return;
    char szOnlyIni[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, pszFunction, PROP_ONLYINI, szOnlyIni, sizeof(szOnlyIni), puiStat))
        return;
    if (szOnlyIni[0] != '\0')
        SetPropertyValue(hInstall, pszFunction, PROP_ZEBSOFTPREREQ, "1", puiStat);
}

// ---- Feature dependencies -----------------------------------------------------------------------

// Reads a feature's states for the dependency checker. FALSE when they are not known (traced).
BOOL ReadDependencyStates(LPCSTR pszFunction, LPCSTR pszFeature, BOOL bQuoted, INSTALLSTATE* piInstalled,
                          INSTALLSTATE* piAction, UINT* puiStat) {
    *piInstalled = *piAction = INSTALLSTATE_UNKNOWN;
    UINT uiRc = MsiGetFeatureStateA(FrameSession(), pszFeature, piInstalled, piAction);
    if (uiRc == ERROR_SUCCESS)
        return TRUE;
    *piInstalled = *piAction = INSTALLSTATE_UNKNOWN;
    if (uiRc == ERROR_INVALID_HANDLE) {
        TraceText(pszFunction, "***ERROR: Invalid handle");
        *puiStat = ZEB_RC_FAILURE;
    } else if (uiRc == ERROR_UNKNOWN_FEATURE) {
        if (bQuoted)
            TraceText(pszFunction, "***ERROR: Unknown feature '%s'", pszFeature);
        else
            TraceText(pszFunction, "***ERROR: Unknown feature %s", pszFeature);
    } else {
        TraceText(pszFunction, "Unexpected return code (%d) from MsiGetFeatureState", (int)uiRc);
    }
    return FALSE;
}

BOOL IsSelected(INSTALLSTATE iInstalled, INSTALLSTATE iAction) {
    return iAction == INSTALLSTATE_LOCAL ||
           (iInstalled == INSTALLSTATE_LOCAL && iAction == INSTALLSTATE_UNKNOWN);
}

void CheckPrereqAction(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszFunction, LPCSTR pszFeature,
                       LPCSTR pszProperty) {
    BOOL bConsistent = iwiCheckOneFeaturePrereqs(pszFeature, puiStat);
    if (*puiStat != ZEB_RC_SUCCESS)
        return;
    TraceText(pszFunction, "Generic checker for '%s' returns %s", pszFeature, bConsistent ? "true" : "false");
    if (bConsistent)
        TraceText(pszFunction,
                  "Selected features are compatible, either '%s' is installed or no features require it",
                  pszFeature);
    else
        TraceText(pszFunction, "Selected features are *incompatible*, requires '%s'", pszFeature);
    SetPropertyValue(hInstall, pszFunction, pszProperty, bConsistent ? "1" : "0", puiStat);
}

void AddPrereqAction(UINT* puiStat, LPCSTR pszFunction, LPCSTR pszFeature) {
    BOOL bConsistent = iwiCheckOneFeaturePrereqs(pszFeature, puiStat);
    if (*puiStat != ZEB_RC_SUCCESS)
        return;
    if (bConsistent) {
        TraceText(pszFunction, "Nothing requires '%s' or it is to be installed", pszFeature);
        return;
    }
    TraceText(pszFunction, "'%s' required but not present, adding...", pszFeature);
    *puiStat = SetFeatureState(pszFeature, INSTALLSTATE_LOCAL);
}

} // namespace

BOOL CheckPrereqMmc(BOOL bProbe) {
    return CheckPrereq(kChecks[0], bProbe);
}

BOOL CheckPrereqAdsi(BOOL bProbe) {
    return CheckPrereq(kChecks[1], bProbe);
}

BOOL CheckPrereqHtml(BOOL bProbe) {
    return CheckPrereq(kChecks[2], bProbe);
}

BOOL CheckPrereqIe(BOOL bProbe) {
    return CheckPrereq(kChecks[3], bProbe);
}

BOOL CheckPrereqJvm(BOOL bProbe) {
    return CheckPrereq(kChecks[4], bProbe);
}

BOOL CheckPrereqSp6(BOOL bProbe) {
    return CheckPrereq(kChecks[5], bProbe);
}

BOOL CheckPrereqSp6A(BOOL bProbe) {
    return CheckPrereq(kChecks[6], bProbe);
}

BOOL CheckPrereqEncrypt(BOOL bProbe) {
    return CheckPrereq(kChecks[7], bProbe);
}

UINT GetFeatureDisplayName(LPCSTR pszFeature, char (&szTitle)[ZEB_CCH_FEATURE_TITLE]) {
    static const char kFunction[] = "GetFeatureDisplayName";
    lstrcpynA(szTitle, pszFeature, sizeof(szTitle));
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(FrameSession(), kFunction, kFeatureQuery, hDb, hView))
        return ZEB_RC_FAILURE;
    UINT uiStat = ZEB_RC_SUCCESS;
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        if (CheckMsiRc("MsiViewFetch", kFeatureQuery, uiRc, &uiStat) != ERROR_SUCCESS)
            return ZEB_RC_FAILURE;
        char szName[ZEB_CCH_MSG];
        DWORD cch = sizeof(szName);
        if (MsiRecordGetStringA(hRec.Get(), 1, szName, &cch) != ERROR_SUCCESS ||
            strcmp(szName, pszFeature) != 0)
            continue;
        // Titles are shown up to 95 characters.
        char szText[ZEB_CCH_MSG];
        cch = sizeof(szText);
        uiRc = MsiRecordGetStringA(hRec.Get(), 3, szText, &cch);
        if (CheckMsiRc("MsiRecordGetString", pszFeature, uiRc, &uiStat) != ERROR_SUCCESS)
            return ZEB_RC_FAILURE;
        if (szText[0] != '\0')
            lstrcpynA(szTitle, szText, sizeof(szTitle));
        return ZEB_RC_SUCCESS;
    }
    TraceText(kFunction, "Feature '%s' not in the Feature table", pszFeature);
    return ZEB_RC_SUCCESS;
}

UINT CheckAndAddPrereqItem(LPCSTR pszList, UINT uItem, LPCSTR pszInsert, BOOL* pbHard, BOOL* pbSoft) {
    static const char kFunction[] = "CheckAndAddPrereqItem";
    char szFallback[ZEB_CCH_FLAG];
    snprintf(szFallback, sizeof(szFallback), "%u", uItem);
    char szItem[ZEB_CCH_MSG];
    LoadNlsStringOr(szItem, uItem, szFallback);
    if (pszInsert != NULL) {
        char szFormatted[ZEB_CCH_MSG];
        iwiFormatMsgBuffer(szFormatted, szItem, pszInsert, NULL, NULL, NULL);
        lstrcpynA(szItem, szFormatted, sizeof(szItem));
    }
    char szCipher[ZEB_CCH_MSG];
    szCipher[0] = '\0';
    if (uItem == ZEB_PREREQ_ENCRYPT) {
        DWORD dwStrength = GetCipherStrength(kFunction);
        TraceText(kFunction, "Current cipher strength is %d-bit", (int)dwStrength);
        char szStrength[ZEB_CCH_FLAG];
        snprintf(szStrength, sizeof(szStrength), "%d", (int)dwStrength);
        char szTemplate[ZEB_CCH_MSG];
        LoadNlsStringOr(szTemplate, ZEB_MSG_CIPHER_STRENGTH, kFallbackCipherStrength);
        iwiFormatMsgBuffer(szCipher, szTemplate, szStrength, NULL, NULL, NULL);
    }

    BOOL bNewOnly = strcmp(pszList, PROP_ZEBFEATUREPREREQLIST) == 0;
    BOOL bClient = IsClientInstall();
    BOOL bItemAdded = FALSE;
    for (int iPass = 0; iPass < 2; iPass++) {
        BOOL bHard = iPass == 0;
        BOOL* pbFound = bHard ? pbHard : pbSoft;
        *pbFound = FALSE;
        PassNames names;
        if (CollectPassNames(kFunction, uItem, bHard, bNewOnly, bClient, names) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
        if (names.iCount == 0)
            continue;
        if (!bItemAdded && AddLine(kFunction, pszList, szItem) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
        bItemAdded = TRUE;
        UINT uHeading = bHard ? ZEB_MSG_PREREQ_REQUIRED : ZEB_MSG_PREREQ_RECOMMENDED;
        if (AddPassLines(kFunction, pszList, uHeading, names) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
        if (szCipher[0] != '\0' && AddLine(kFunction, pszList, szCipher) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
        *pbFound = TRUE;
    }
    return ZEB_RC_SUCCESS;
}

BOOL iwiCheckOneFeaturePrereqs(LPCSTR pszFeature, UINT* puiStat) {
    static const char kFunction[] = "iwiCheckOneFeaturePrereqs";
    TraceText(kFunction, "Check whether '%s' feature is to be installed", pszFeature);
    INSTALLSTATE iInstalled;
    INSTALLSTATE iAction;
    if (ReadDependencyStates(kFunction, pszFeature, TRUE, &iInstalled, &iAction, puiStat)) {
        char szInstalled[ZEB_CCH_FLAG];
        char szAction[ZEB_CCH_FLAG];
        TraceText(kFunction, "'%s' Feature - Installed: %s Action: %s", pszFeature,
                  FeatureStateText(szInstalled, iInstalled), FeatureStateText(szAction, iAction));
    } else if (*puiStat != ZEB_RC_SUCCESS) {
        return TRUE;
    }
    if (iAction == INSTALLSTATE_LOCAL) {
        TraceText(kFunction, "'%s' feature WILL BE installed - so no need to check dependant features",
                  pszFeature);
        return TRUE;
    }
    if (iInstalled == INSTALLSTATE_LOCAL && iAction == INSTALLSTATE_UNKNOWN) {
        TraceText(kFunction, "'%s' feature ALREADY installed - so no need to check dependant features",
                  pszFeature);
        return TRUE;
    }
    TraceText(kFunction, "checking features for dependance on '%s'", pszFeature);
    BOOL bServer = strcmp(pszFeature, "Server") == 0;
    BOOL bClient = IsClientInstall();
    BOOL bConsistent = TRUE;
    char szDependants[ZEB_CCH_MSG];
    szDependants[0] = '\0';
    for (int i = 0; i < ZEB_FEATURE_ROWS; i++) {
        const ZebProductFeature& row = ProductFeature(i);
        if (row.pszName[0] == '\0') {
            TraceText(kFunction, "Found end of table");
            break;
        }
        if (bClient && !row.bClient) {
            TraceText(kFunction, "Feature '%s' does NOT exist on client", row.pszName);
            continue;
        }
        if (!(bServer ? row.bNeedsServer : row.bNeedsJre)) {
            TraceText(kFunction, "Feature '%s' does NOT prereq '%s'", row.pszName, pszFeature);
            continue;
        }
        INSTALLSTATE iRowInstalled;
        INSTALLSTATE iRowAction;
        if (!ReadDependencyStates(kFunction, row.pszName, FALSE, &iRowInstalled, &iRowAction, puiStat)) {
            if (*puiStat != ZEB_RC_SUCCESS)
                return TRUE;
            continue;
        }
        if (!IsSelected(iRowInstalled, iRowAction)) {
            TraceText(kFunction, "'%s' Feature not selected", row.pszName);
            continue;
        }
        TraceText(kFunction,
                  "WARNING: '%s' feature will be installed (or already is) but prereqs '%s' feature  which "
                  "will NOT",
                  row.pszName, pszFeature);
        bConsistent = FALSE;
        // The product table's names always fit; the list is only traced.
        if ((szDependants[0] == '\0' || AppendText(szDependants, ",")) &&
            !AppendText(szDependants, row.pszName))
            TraceText(kFunction, "List of features requiring '%s' too long for '%s'", pszFeature,
                      row.pszName);
    }
    if (bConsistent) {
        TraceText(kFunction, "Features are compatible, '%s' will not be installed but no features require it",
                  pszFeature);
        return TRUE;
    }
    TraceText(kFunction, "The selected features are *incompatible*, they require '%s'", pszFeature);
    TraceText(kFunction, "The following selectable features require '%s': %s", pszFeature, szDependants);
    return FALSE;
}

ZEB_ACTION iwiListProductPrereqs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiListProductPrereqs", NULL))
        ListPrereqs(hInstall, &uiStat, "iwiListProductPrereqs", FALSE);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiListFeaturePrereqs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiListFeaturePrereqs", NULL))
        ListPrereqs(hInstall, &uiStat, "iwiListFeaturePrereqs", TRUE);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiCheckServerPrereqs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiCheckServerPrereqs", NULL))
        CheckPrereqAction(hInstall, &uiStat, "iwiCheckServerPrereqs", "Server", PROP_ZEBSERVERCOMPATIBLE);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiCheckJREPrereqs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiCheckJREPrereqs", NULL))
        CheckPrereqAction(hInstall, &uiStat, "iwiCheckJREPrereqs", "JRE", PROP_ZEBJRECOMPATIBLE);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiAddServerPrereq(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiAddServerPrereq", NULL))
        AddPrereqAction(&uiStat, "iwiAddServerPrereq", "Server");
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiAddJREPrereq(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiAddJREPrereq", NULL))
        AddPrereqAction(&uiStat, "iwiAddJREPrereq", "JRE");
    return CaEpilog(hInstall, uiStat);
}
