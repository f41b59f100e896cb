// The install summaries: the summary dialog's list box, the "@" block support staff look for in
// the trace, the feature and component dump, and the reminder to apply service again.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUninstall.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kIndent[] = "     ";
const char kFallbackTitle[] = "Skyloft HX Installation Summary for Computer '%1'";
const char kFallbackMigrating[] = "Migrating from %1 V%2";
const char kFallbackQmgr[] = "'%s'";
const char kNoLevel[] = "0.0.0.0";
const char kUnknownType[] = "<unknown>";
const char kDelete[] = "delete";

// ---- iwiListInstallSummary ---------------------------------------------------------------------

struct SummaryRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    char szMode[ZEB_CCH_PATH];
};

// A row that cannot be added is traced and the list goes on: a summary with a missing line is
// still worth showing.
void AddRow(LPCSTR pszText) {
    UINT uiRc = AddListboxItemValue(PROP_ZEBSUMMARYLIST, pszText, pszText);
    if (uiRc != ZEB_RC_SUCCESS)
        TraceText("iwiListInstallSummary", "***Summary line '%s' not added (%u)", pszText, uiRc);
}

void AddIndentedRow(LPCSTR pszText) {
    char szRow[ZEB_CCH_MSG];
    snprintf(szRow, sizeof(szRow), "%s%s", kIndent, pszText);
    AddRow(szRow);
}

// A language text as a row; one that cannot be loaded is left out (the loader traced it).
void AddTextRow(UINT uId, BOOL bIndent) {
    char szText[ZEB_CCH_MSG];
    if (!iwiLoadNlsString(szText, uId))
        return;
    if (bIndent)
        AddIndentedRow(szText);
    else
        AddRow(szText);
}

// A section: the blank row, then its heading.
void AddSection(UINT uId) {
    AddRow(" ");
    AddTextRow(uId, FALSE);
}

void AddFormattedRow(UINT uId, LPCSTR pszInsert, BOOL bIndent) {
    char szText[ZEB_CCH_MSG];
    if (!iwiLoadNlsString(szText, uId))
        return;
    char szRow[ZEB_CCH_MSG];
    iwiFormatMsgBuffer(szRow, szText, pszInsert, NULL, NULL, NULL);
    if (bIndent)
        AddIndentedRow(szRow);
    else
        AddRow(szRow);
}

// The features of one listing kind under their heading, or "none".
void AddFeatureSection(UINT uHeading, int iKind, LPCSTR pszMode) {
    AddSection(uHeading);
    BOOL bAdded = FALSE;
    if (ListFeatureAction(&bAdded, iKind, pszMode) != ZEB_RC_SUCCESS)
        TraceText("iwiListInstallSummary", "***Features of kind %d not completely listed", iKind);
    if (!bAdded)
        AddTextRow(ZEB_MSG_SUMMARY_NONE, TRUE);
}

void FeatureStates(MSIHANDLE hInstall, LPCSTR pszFeature, INSTALLSTATE* piInstalled, INSTALLSTATE* piAction) {
    *piInstalled = INSTALLSTATE_UNKNOWN;
    *piAction = INSTALLSTATE_UNKNOWN;
    UINT uiRc = MsiGetFeatureStateA(hInstall, pszFeature, piInstalled, piAction);
    if (uiRc != ERROR_SUCCESS) {
        if (uiRc != ERROR_UNKNOWN_FEATURE)
            TraceText("iwiListInstallSummary", "***Error %u from MsiGetFeatureState(%s)", uiRc, pszFeature);
        *piInstalled = INSTALLSTATE_UNKNOWN;
        *piAction = INSTALLSTATE_UNKNOWN;
    }
    TraceText("iwiListInstallSummary", "'%s' Installed: %d Action: %d", pszFeature, (int)*piInstalled,
              (int)*piAction);
}

void AddTitle(void) {
    char szName[ZEB_CCH_MSG] = "";
    DWORD cch = sizeof(szName);
    if (!GetComputerNameA(szName, &cch) && !iwiLoadNlsString(szName, ZEB_MSG_SUMMARY_NO_COMPUTER))
        szName[0] = '\0';
    char szText[ZEB_CCH_MSG];
    LoadNlsStringOr(szText, ZEB_MSG_SUMMARY_TITLE, kFallbackTitle);
    char szRow[ZEB_CCH_MSG];
    iwiFormatMsgBuffer(szRow, szText, szName, NULL, NULL, NULL);
    AddRow(szRow);
    AddRow(" ");
    AddTextRow(ZEB_MSG_SUMMARY_TYPE, FALSE);
}

// The first installation over an older product names it; otherwise the mode's own line.
void AddModeRow(const SummaryRun& r, BOOL bFirstInstall) {
    const ZebPrevRecord& prev = PrevRecord();
    char szProduct[ZEB_CCH_MSG];
    if (bFirstInstall && prev.lProduct != 0 && prev.uSummaryMessage != 0 &&
        iwiLoadNlsString(szProduct, prev.uSummaryMessage)) {
        char szText[ZEB_CCH_MSG];
        LoadNlsStringOr(szText, ZEB_MSG_SUMMARY_MIGRATING, kFallbackMigrating);
        char szRow[ZEB_CCH_MSG];
        iwiFormatMsgBuffer(szRow, szText, szProduct, prev.szVrmf, NULL, NULL);
        AddIndentedRow(szRow);
        return;
    }
    UINT uId = ZEB_MSG_SUMMARY_NEW;
    if (_stricmp(r.szMode, "Remove") == 0)
        uId = ZEB_MSG_SUMMARY_REMOVE;
    else if (_stricmp(r.szMode, "Resume") == 0)
        uId = ZEB_MSG_SUMMARY_RESUME;
    else if (_stricmp(r.szMode, "Reinstall") == 0)
        uId = ZEB_MSG_SUMMARY_REINSTALL;
    else if (_stricmp(r.szMode, "Change") == 0)
        uId = ZEB_MSG_SUMMARY_CHANGE;
    AddTextRow(uId, TRUE);
}

// Only on a server installation. FALSE after a failed property read.
BOOL AddQueueManagers(const SummaryRun& r, BOOL bServerRemoved) {
    static const char kFunction[] = "iwiListInstallSummary";
    if (IsClientInstall())
        return TRUE;
    BOOL bShow = FALSE;
    if (bServerRemoved) {
        if (iwiValidateLeaveQM(r.hInstall) != ZEB_RC_SUCCESS)
            TraceText(kFunction, "***Queue manager data check failed");
        char szInstall[ZEB_CCH_PATH];
        char szRemove[ZEB_CCH_PATH];
        if (!GetPropertyValue(r.hInstall, kFunction, PROP_ZEBLEAVEQMDATAINSTALL, szInstall, sizeof(szInstall),
                              r.puiStat) ||
            !GetPropertyValue(r.hInstall, kFunction, PROP_ZEBLEAVEQMDATAREMOVE, szRemove, sizeof(szRemove),
                              r.puiStat))
            return FALSE;
        if (_stricmp(szInstall, kDelete) == 0 || _stricmp(szRemove, kDelete) == 0) {
            TraceText(kFunction, "No other server installs exist, and qmgrs being removed");
            bShow = TRUE;
        }
    } else {
        char szName[ZEB_CCH_PATH];
        if (!GetPropertyValue(r.hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName),
                              r.puiStat))
            return FALSE;
        if (!icsCheckForInstalls(szName, TRUE, TRUE)) {
            TraceText(kFunction, "No other server installs exist, so show discovered qmgrs");
            bShow = TRUE;
        }
    }
    if (!bShow) {
        TraceText(kFunction,
                  "Other server installs exist or requested to keep the data, so hiding qmgr information");
        return TRUE;
    }
    char szData[ZEB_CCH_PATH];
    if (!GetPropertyValue(r.hInstall, kFunction, PROP_ZEBDATFOLDER, szData, sizeof(szData), r.puiStat))
        return FALSE;
    if (!isuBuildQmList(szData))
        TraceText(kFunction, "***Queue manager list of '%s' incomplete", szData);
    if (isuQmCount() == 0)
        return TRUE;
    AddSection(bServerRemoved ? ZEB_MSG_SUMMARY_QM_DELETED : ZEB_MSG_SUMMARY_QM_KEPT);
    // Loaded once: the list may hold thousands of queue managers.
    char szTemplate[ZEB_CCH_MSG];
    LoadNlsStringOr(szTemplate, ZEB_MSG_SUMMARY_QM, kFallbackQmgr);
    char szQm[ZEB_CCH_MSG];
    for (BOOL bMore = isuGetFirstQm(&szQm, NULL, NULL, NULL); bMore;
         bMore = isuGetNextQm(&szQm, NULL, NULL, NULL)) {
        char szRow[ZEB_CCH_MSG];
        FillPathInsert(szRow, szTemplate, szQm);
        AddIndentedRow(szRow);
    }
    isuFreeQmList();
    return TRUE;
}

// The rows as the file's lines, in the list's order.
void WriteSummaryFile(HANDLE hFile, LPCSTR pszPath) {
    static const char kFunction[] = "iwiListInstallSummary";
    static const char kQuery[] = "SELECT * FROM ListBox WHERE `Property` = 'ZEBSUMMARYLIST'";
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(FrameSession(), kFunction, kQuery, hDb, hView))
        return;
    UINT uiStat = ZEB_RC_SUCCESS;
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS || CheckMsiRc("MsiViewFetch", kQuery, uiRc, &uiStat) != ERROR_SUCCESS)
            break;
        char szText[ZEB_CCH_MSG + 2];
        DWORD cch = ZEB_CCH_MSG;
        if (CheckMsiRc("MsiRecordGetString", "Text", MsiRecordGetStringA(hRec.Get(), 4, szText, &cch),
                       &uiStat) != ERROR_SUCCESS)
            break;
        memcpy(szText + cch, "\r\n", 2);
        DWORD dwWritten = 0;
        if (!WriteFile(hFile, szText, cch + 2, &dwWritten, NULL) || dwWritten != cch + 2) {
            TraceText(kFunction, "***Error %d writing summary file '%s'", (int)GetLastError(), pszPath);
            break;
        }
    }
    MsiViewClose(hView.Get());
}

void ListInstallSummaryBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiListInstallSummary";
    SummaryRun r = {hInstall, puiStat, ""};
    char szInstalled[ZEB_CCH_PATH], szPrevVersion[ZEB_CCH_PATH], szLosingJava[ZEB_CCH_PATH];
    char szUseIni[ZEB_CCH_PATH], szOnlyIni[ZEB_CCH_PATH], szSaveIni[ZEB_CCH_PATH];
    char szName[ZEB_CCH_PATH], szDescription[ZEB_CCH_PATH], szRemove[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBPREVVERSION, szPrevVersion, sizeof(szPrevVersion),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ISMAINTENANCE, r.szMode, sizeof(r.szMode), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBLOSINGJAVA, szLosingJava, sizeof(szLosingJava),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_USEINI, szUseIni, sizeof(szUseIni), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ONLYINI, szOnlyIni, sizeof(szOnlyIni), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_SAVEINI, szSaveIni, sizeof(szSaveIni), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCEDESC, szDescription,
                          sizeof(szDescription), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat))
        return;
    szDescription[ZEB_CCH_INSTDESC - 1] = '\0'; // a description is at most 64 characters
    NormalizePath(FALSE, szUseIni);
    NormalizePath(FALSE, szSaveIni);
    if (strcmp(szRemove, "1") == 0)
        lstrcpynA(r.szMode, "Remove", sizeof(r.szMode));
    BOOL bFirstInstall = szInstalled[0] == '\0';
    if (bFirstInstall && GetHxRegistryInfo() != ZEB_RC_SUCCESS) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szPgm[ZEB_CCH_PATH], szData[ZEB_CCH_PATH], szLog[ZEB_CCH_PATH];
    char szStart[ZEB_CCH_PATH], szPrevStart[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szPgm, sizeof(szPgm), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBDATFOLDER, szData, sizeof(szData), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBLOGFOLDER, szLog, sizeof(szLog), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBSTARTFOLDER, szStart, sizeof(szStart), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBPREVSTARTFOLDER, szPrevStart, sizeof(szPrevStart),
                          puiStat))
        return;

    BOOL bRemoveMode = _stricmp(r.szMode, "Remove") == 0;
    INSTALLSTATE iServer, iServerAction, iClient, iClientAction;
    FeatureStates(hInstall, "Server", &iServer, &iServerAction);
    FeatureStates(hInstall, "Client", &iClient, &iClientAction);
    BOOL bServerKept = !bRemoveMode && (iServer == INSTALLSTATE_LOCAL || iServerAction == INSTALLSTATE_LOCAL);
    BOOL bServerRemoved = (iServerAction == INSTALLSTATE_ABSENT && iServer != INSTALLSTATE_ABSENT) ||
                          (iServerAction == INSTALLSTATE_UNKNOWN && iServer == INSTALLSTATE_ADVERTISED) ||
                          (iServer == INSTALLSTATE_LOCAL && bRemoveMode);
    BOOL bClientKept =
        !bRemoveMode && (iClientAction == INSTALLSTATE_LOCAL ||
                         (iClient == INSTALLSTATE_LOCAL && iClientAction != INSTALLSTATE_ABSENT));

    LPCSTR pszFile = iiiGetTempFileName("zebs", ".txt");
    ZebKernelHandle hFile(
        CreateFileA(pszFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    char szFile[ZEB_CCH_PATH];
    lstrcpynA(szFile, pszFile, sizeof(szFile));
    if (hFile.IsValid())
        TraceText(kFunction, "Writing summary file '%s'", szFile);
    else
        TraceText(kFunction, "Error %d opening summary file '%s'", (int)GetLastError(), szFile);

    if (ClearListbox(PROP_ZEBSUMMARYLIST) != ZEB_RC_SUCCESS)
        TraceText(kFunction, "***Summary list not cleared");
    AddTitle();
    AddModeRow(r, bFirstInstall);
    if (szLosingJava[0] != '\0')
        AddTextRow(ZEB_MSG_SUMMARY_LOSING_JAVA, TRUE);
    if (szUseIni[0] != '\0' || szOnlyIni[0] != '\0' || szSaveIni[0] != '\0') {
        AddSection(ZEB_MSG_SUMMARY_RESPONSE);
        if (szUseIni[0] != '\0')
            AddFormattedRow(ZEB_MSG_SUMMARY_USEINI, szUseIni, TRUE);
        if (szSaveIni[0] != '\0')
            AddFormattedRow(ZEB_MSG_SUMMARY_SAVEINI, szSaveIni, TRUE);
        if (szOnlyIni[0] != '\0')
            AddTextRow(ZEB_MSG_SUMMARY_ONLYINI, TRUE);
    }
    if (!AddQueueManagers(r, bServerRemoved))
        return;

    AddSection(ZEB_MSG_SUMMARY_NAME);
    char szRow[ZEB_CCH_MSG];
    if (szDescription[0] != '\0')
        snprintf(szRow, sizeof(szRow), "%s%s (%.64s)", kIndent, szName, szDescription);
    else
        snprintf(szRow, sizeof(szRow), "%s%s", kIndent, szName);
    AddRow(szRow);
    AddSection(ZEB_MSG_SUMMARY_PROGRAM);
    NormalizePath(TRUE, szPgm);
    AddIndentedRow(szPgm);
    if (bServerKept || bClientKept) {
        AddSection(ZEB_MSG_SUMMARY_DATA);
        AddIndentedRow(szData);
    }
    if (bServerKept) {
        AddSection(ZEB_MSG_SUMMARY_LOG);
        AddIndentedRow(szLog);
    }
    AddSection(ZEB_MSG_SUMMARY_START);
    AddIndentedRow(szStart);
    if (szPrevStart[0] != '\0' && _stricmp(szPrevStart, szStart) != 0) {
        AddSection(ZEB_MSG_SUMMARY_PREV_START);
        AddIndentedRow(szPrevStart);
    }
    if (szLosingJava[0] != '\0')
        AddSection(ZEB_MSG_SUMMARY_JAVA_REMOVED);
    if (!bRemoveMode)
        AddFeatureSection(ZEB_MSG_SUMMARY_ADDED, ZEB_LIST_ADDED, r.szMode);
    if (!bFirstInstall || strlen(szPrevVersion) >= 2)
        AddFeatureSection(ZEB_MSG_SUMMARY_REMOVED, ZEB_LIST_REMOVED, r.szMode);
    if (!bRemoveMode && !bFirstInstall) {
        AddFeatureSection(ZEB_MSG_SUMMARY_REINSTALLED, ZEB_LIST_REINSTALLED, r.szMode);
        AddFeatureSection(ZEB_MSG_SUMMARY_UNCHANGED, ZEB_LIST_UNCHANGED, r.szMode);
    }
    if (hFile.IsValid())
        WriteSummaryFile(hFile.Get(), szFile);
}

// ---- iwiDisplayHelpfulSummary ------------------------------------------------------------------

// The properties of the "@" block, in the order they are read.
enum HelpfulProp {
    kName,
    kProduct,
    kPgm,
    kData,
    kLog,
    kMinor,
    kMajor,
    kRemove,
    kAddLocal,
    kRemoveList,
    kMaintenance,
    kDatabase,
    kOriginalDatabase,
    kComputer,
    kAction,
    kExecuteAction,
    kVersion,
    kBuildDate,
    kHelpfulProps
};
const LPCSTR kHelpfulNames[kHelpfulProps] = {PROP_ZEBINSTALLINSTANCENAME,
                                             PROP_ZEBPRODUCT,
                                             PROP_ZEBPGMFOLDER,
                                             PROP_ZEBDATFOLDER,
                                             PROP_ZEBLOGFOLDER,
                                             PROP_IS_MINOR_UPGRADE,
                                             PROP_IS_MAJOR_UPGRADE,
                                             PROP_ZEBREMOVE,
                                             PROP_ADDLOCAL,
                                             PROP_REMOVE,
                                             PROP_ISMAINTENANCE,
                                             PROP_DATABASE,
                                             PROP_ORIGINALDATABASE,
                                             PROP_COMPUTERNAME,
                                             PROP_ACTION,
                                             PROP_EXECUTEACTION,
                                             PROP_PRODUCTVERSION,
                                             PROP_ZEBBUILDDATE};

LPCSTR ProductTypeShown(LPCSTR pszType) {
    return _stricmp(pszType, "server") == 0 || _stricmp(pszType, "client") == 0 ? pszType : kUnknownType;
}

// The installation's "ProductType" as first recorded: 64-bit view, then 32-bit view.
void OriginalProductType(LPCSTR pszName, char (&szType)[ZEB_CCH_PATH]) {
    static const char kFunction[] = "iwiDisplayHelpfulSummary";
    char szKey[ZEB_CCH_MSG];
    if (MakeInstallationKey(szKey, pszName)) {
        TraceText(kFunction, "Looking up value in '%s'", szKey);
        if (GetRegistryText(szKey, "ProductType", szType, sizeof(szType), FALSE) && szType[0] != '\0') {
            TraceText(kFunction, "Original ProductProperty value (x64): %s", szType);
            return;
        }
        if (GetRegistryText(szKey, "ProductType", szType, sizeof(szType), TRUE) && szType[0] != '\0') {
            TraceText(kFunction, "Original ProductProperty value (x86): %s", szType);
            return;
        }
    }
    lstrcpynA(szType, kUnknownType, sizeof(szType));
    TraceText(kFunction, "Original ProductProperty value: %s", szType);
}

BOOL IsFlagSet(LPCSTR pszValue) {
    return _stricmp(pszValue, "yes") == 0 || strcmp(pszValue, "1") == 0;
}

void DisplayHelpfulSummaryBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiDisplayHelpfulSummary";
    char aszValues[kHelpfulProps][ZEB_CCH_FEATURELIST];
    for (int i = 0; i < kHelpfulProps; i++)
        if (!GetPropertyValue(hInstall, kFunction, kHelpfulNames[i], aszValues[i], sizeof(aszValues[i]),
                              puiStat))
            return;
    // A folder too long for a path is shown as it was read, never cut.
    LPCSTR pszProgram = aszValues[kPgm];
    char szProgram[ZEB_CCH_PATH];
    if (strlen(pszProgram) < sizeof(szProgram)) {
        lstrcpynA(szProgram, pszProgram, sizeof(szProgram));
        pszProgram = NormalizePath(FALSE, szProgram);
    }

    // Each action runs in a fresh load: the record is filled here.
    if (GetHxRegistryInfo() != ZEB_RC_SUCCESS)
        TraceText(kFunction, "***Previous installation record not read");
    const ZebPrevRecord& prev = PrevRecord();
    TraceText(kFunction, "nPrevProduct = %ld", (long)prev.lProduct);
    char szPrevLevel[ZEB_CCH_VRMF];
    lstrcpynA(szPrevLevel, prev.lProduct != 0 ? prev.szVrmf : kNoLevel, sizeof(szPrevLevel));
    char szPrevType[ZEB_CCH_PATH];
    OriginalProductType(aszValues[kName], szPrevType);

    BOOL bMajor = IsFlagSet(aszValues[kMajor]);
    BOOL bMinor = IsFlagSet(aszValues[kMinor]);
    INSTALLSTATE iBase = INSTALLSTATE_UNKNOWN, iBaseAction = INSTALLSTATE_UNKNOWN;
    BOOL bBase = MsiGetFeatureStateA(hInstall, "Base", &iBase, &iBaseAction) == ERROR_SUCCESS;
    if (bBase)
        TraceText(kFunction, "Feature %s - Installed: %s Action: %s", "Base", InstallStateName(iBase),
                  InstallStateName(iBaseAction));
    else
        TraceText(kFunction, "Feature %s - Unknown? Odd!", "Base");

    LPCSTR pszProduct = ProductTypeShown(aszValues[kProduct]);
    LPCSTR pszPrevProduct = ProductTypeShown(szPrevType);
    LPCSTR pszVersion = aszValues[kVersion];
    char szAts[73];
    memset(szAts, '@', 72);
    szAts[72] = '\0';
    TraceText(NULL, "%s", szAts);
    TraceText(NULL, "@ Start of Install Summary");
    TraceText(NULL, "@ ========================");
    TraceText(NULL, "@ ");
    if (bBase && iBase == INSTALLSTATE_ABSENT && strcmp(szPrevLevel, kNoLevel) != 0)
        TraceText(NULL, "@ SUMMARY: upgrade from HX %s version %s to HX %s version %s", pszPrevProduct,
                  szPrevLevel, pszProduct, pszVersion);
    else if (bBase && iBase == INSTALLSTATE_ABSENT)
        TraceText(NULL, "@ SUMMARY: new install of HX %s version %s", pszProduct, pszVersion);
    else if (bBase && iBase == INSTALLSTATE_LOCAL && iBaseAction == INSTALLSTATE_ABSENT)
        TraceText(NULL, "@ SUMMARY: uninstall of HX %s version %s", pszProduct, pszVersion);
    else if (bBase && iBase == INSTALLSTATE_LOCAL && iBaseAction == INSTALLSTATE_DEFAULT)
        TraceText(NULL, "@ SUMMARY: MSI Minor upgrade of HX %s version %s to HX %s version %s",
                  pszPrevProduct, szPrevLevel, pszProduct, pszVersion);
    else if (bBase && iBase == INSTALLSTATE_LOCAL)
        TraceText(NULL, "@ SUMMARY: modification of HX %s version %s", pszProduct, pszVersion);
    else
        TraceText(NULL, "@ SUMMARY: %s", "<unable to parse properties> ");
    TraceText(NULL, "@ ");
    TraceText(NULL, "@ Installation name:         '%s'", aszValues[kName]);
    TraceText(NULL, "@ Server or Client:          '%s'", pszProduct);
    TraceText(NULL, "@ Program Directory:         '%s'", pszProgram);
    TraceText(NULL, "@ Data directory:            '%s'", aszValues[kData]);
    TraceText(NULL, "@ Log directory:             '%s'", aszValues[kLog]);
    TraceText(NULL, "@ ");
    TraceText(NULL, "@ HX Build Date Message:     '%s'", aszValues[kBuildDate]);
    TraceText(NULL, "@ This HX install level:     '%s'", pszVersion);
    TraceText(NULL, "@ Previous HX install level: '%s'", szPrevLevel);
    if (bMajor && bMinor) {
        TraceText(NULL, "@ Upgrade type:              Both Major and Minor???");
        TraceText(NULL,
                  "@ ***Installer properties claim this is both major and minor upgrade, which is nonsense.");
    } else if (bMajor) {
        TraceText(NULL, "@ Upgrade type:              Major");
    } else if (bMinor) {
        TraceText(NULL, "@ Upgrade type:              Minor");
        if (!IsClientInstall())
            TraceText(NULL, "@ ***Server minor upgrades ARE NOT SUPPORTED, use the server fix pack instead.");
    } else {
        TraceText(NULL, "@ Upgrade type:              None");
    }
    TraceText(NULL, "@ ");
    TraceText(NULL, "@ Removing HX?:              %s", strcmp(aszValues[kRemove], "1") == 0 ? "yes" : "no");
    TraceText(NULL, "@ Adding features:           '%s'", aszValues[kAddLocal]);
    TraceText(NULL, "@ Removing features:         '%s'", aszValues[kRemoveList]);
    TraceText(NULL, "@ ");
    TraceText(NULL, "@ Database:                  '%s'", aszValues[kDatabase]);
    TraceText(NULL, "@ Original Database:         '%s'", aszValues[kOriginalDatabase]);
    TraceText(NULL, "@ ComputerName:              '%s'", aszValues[kComputer]);
    TraceText(NULL, "%s", szAts);
}

// ---- iwiDumpDiagnostics ------------------------------------------------------------------------

// One name (and for components the identifier) per row; an installer failure ends the walk.
void DumpTable(MSIHANDLE hInstall, BOOL bComponents) {
    static const char kFunction[] = "iwiDumpDiagnostics";
    LPCSTR pszQuery = bComponents ? "SELECT * FROM Component" : "SELECT * FROM Feature";
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(hInstall, kFunction, pszQuery, hDb, hView))
        return;
    UINT uiStat = ZEB_RC_SUCCESS;
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS ||
            CheckMsiRc("MsiViewFetch", pszQuery, uiRc, &uiStat) != ERROR_SUCCESS)
            break;
        char szName[ZEB_CCH_MSG];
        DWORD cch = sizeof(szName);
        if (CheckMsiRc("MsiRecordGetString", "1", MsiRecordGetStringA(hRec.Get(), 1, szName, &cch),
                       &uiStat) != ERROR_SUCCESS)
            break;
        INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN, iAction = INSTALLSTATE_UNKNOWN;
        if (!bComponents) {
            if (MsiGetFeatureStateA(hInstall, szName, &iInstalled, &iAction) == ERROR_SUCCESS)
                TraceText(NULL, "   Feature %s - Installed: %s Action: %s", szName,
                          InstallStateName(iInstalled), InstallStateName(iAction));
            else
                TraceText(NULL, "   Feature %s - Unknown? Odd!", szName);
            continue;
        }
        char szId[ZEB_CCH_MSG];
        cch = sizeof(szId);
        if (CheckMsiRc("MsiRecordGetString", "2", MsiRecordGetStringA(hRec.Get(), 2, szId, &cch), &uiStat) !=
            ERROR_SUCCESS)
            break;
        if (MsiGetComponentStateA(hInstall, szName, &iInstalled, &iAction) == ERROR_SUCCESS)
            TraceText(NULL, "   Component %s(%s) - Installed: %s Action: %s", szName, szId,
                      InstallStateName(iInstalled), InstallStateName(iAction));
        else
            TraceText(NULL, "   Component %s(%s) - Unknown? Odd!", szName, szId);
    }
    MsiViewClose(hView.Get());
}

void DumpDiagnosticsBody(MSIHANDLE hInstall) {
    TraceText(NULL, "General information");
    TraceText(NULL, "===================");
    TraceText(NULL, "Level Information: %s", ZebBuildLevel());
    TraceText(NULL, "Feature information");
    TraceText(NULL, "===================");
    DumpTable(hInstall, FALSE);
    TraceText(NULL, "Component information");
    TraceText(NULL, "=====================");
    DumpTable(hInstall, TRUE);
}

// ---- iwiDisplayApplyService, iwiPrintSummary ---------------------------------------------------

void DisplayApplyServiceBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiDisplayApplyService";
    char szLevel[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBREAPPLYSERVICE, szLevel, sizeof(szLevel), puiStat))
        return;
    ShowNlsMessage(ZEB_MSG_REAPPLY_SERVICE, MB_ICONERROR, szLevel, NULL);
}

void PrintSummaryBody(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    if (!EnsureTempFolder(hInstall, "iwiPrintSummary"))
        *puiStat = ZEB_RC_FAILURE;
}

} // namespace

ZEB_ACTION iwiListInstallSummary(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiListInstallSummary", NULL))
        ListInstallSummaryBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiDisplayHelpfulSummary(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiDisplayHelpfulSummary", NULL))
        DisplayHelpfulSummaryBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiDumpDiagnostics(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiDumpDiagnostics", NULL))
        DumpDiagnosticsBody(hInstall);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiDisplayApplyService(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiDisplayApplyService", NULL))
        DisplayApplyServiceBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiPrintSummary(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiPrintSummary", NULL))
        PrintSummaryBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
