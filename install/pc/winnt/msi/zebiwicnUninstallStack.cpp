// Removal of queue-manager data: the user's request checked against the other installations on
// the machine, and the data and log folders stacked for the engine's removal step.
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnDelete.h"
#include "zebiwicnUninstall.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kDelete[] = "delete";

BOOL IsDeleteRequested(LPCSTR pszInstall, LPCSTR pszRemove) {
    return _stricmp(pszInstall, kDelete) == 0 || _stricmp(pszRemove, kDelete) == 0;
}

BOOL ReadLeaveQmData(MSIHANDLE hInstall, LPCSTR pszFunction, char (&szInstall)[ZEB_CCH_PATH],
                     char (&szRemove)[ZEB_CCH_PATH], UINT* puiStat) {
    return GetPropertyValue(hInstall, pszFunction, PROP_ZEBLEAVEQMDATAINSTALL, szInstall, sizeof(szInstall),
                            puiStat) &&
           GetPropertyValue(hInstall, pszFunction, PROP_ZEBLEAVEQMDATAREMOVE, szRemove, sizeof(szRemove),
                            puiStat);
}

void ValidateLeaveQMBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiValidateLeaveQM";
    char szInstall[ZEB_CCH_PATH];
    char szRemove[ZEB_CCH_PATH];
    if (!ReadLeaveQmData(hInstall, kFunction, szInstall, szRemove, puiStat))
        return;
    if (!IsDeleteRequested(szInstall, szRemove)) {
        TraceText(kFunction, "Not attempting to remove the Qmgr data, so nothing to do.");
        return;
    }
    TraceText(kFunction, "User requesting qmgr data removal, but only valid for final uninstall.");
    char szName[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName), puiStat))
        return;
    if (!icsCheckForInstalls(szName, TRUE, TRUE)) {
        TraceText(kFunction, "No other server installs exist, so it's fine!");
        return;
    }
    TraceText(kFunction, "Cannot delete qmgr data as other server installs exist");
    if (SetPropertyValue(hInstall, kFunction, PROP_ZEBLEAVEQMDATAINSTALL, "keep", puiStat))
        SetPropertyValue(hInstall, kFunction, PROP_ZEBLEAVEQMDATAREMOVE, "keep", puiStat);
}

// Everything in one folder of a queue manager, the folder itself included.
UINT StackQmFolder(LPCSTR pszName, LPCSTR pszFolder, LPCSTR pszKind, LPCSTR pszComponent, int iInstallMode) {
    static const char kFunction[] = "StackDeleteQMgr";
    if (pszFolder[0] == '\0') {
        TraceText(kFunction, "***Queue manager '%s' has no %s folder to stack", pszName, pszKind);
        return ZEB_RC_FAILURE;
    }
    char szPattern[ZEB_CCH_PATH];
    if (!MakeFilePath(szPattern, pszFolder, "*")) {
        TraceText(kFunction, "***Invalid path: '%s\\*'", pszFolder);
        return ZEB_RC_FAILURE;
    }
    // Refuses a relative folder or a drive's root with a *** line.
    return ScanAndStackDeleteFolderFiles(szPattern, pszComponent, iInstallMode, TRUE, TRUE);
}

void StackDeleteQMgrsBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStackDeleteQMgrs";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    UINT uiRc = iwiValidateLeaveQM(hInstall);
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = uiRc;
        return;
    }
    char szInstall[ZEB_CCH_PATH];
    char szRemove[ZEB_CCH_PATH];
    if (!ReadLeaveQmData(hInstall, kFunction, szInstall, szRemove, puiStat))
        return;
    BOOL bDelete = IsDeleteRequested(szInstall, szRemove);
    char szDataFolder[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPREVDAT, szDataFolder, sizeof(szDataFolder), puiStat))
        return;
    NormalizePath(FALSE, szDataFolder);
    isuBuildQmList(szDataFolder);
    char szComponent[ZEB_CCH_PATH];
    snprintf(szComponent, sizeof(szComponent), "%s.%s", ZEB_QM_COMPONENT_PREFIX, ZEB_QM_COMPONENT_GUID);
    StackDeleteQMgr(bDelete, szComponent, ZEB_STACK_ON_REMOVE); // a failure is traced, not returned
    isuFreeQmList();
}

} // namespace

UINT StackDeleteQMgr(BOOL bDelete, LPCSTR pszComponent, int iInstallMode) {
    static const char kFunction[] = "StackDeleteQMgr";
    TraceText(kFunction, "Deleting all queue manager registry entries");
    if (!bDelete)
        return ZEB_RC_SUCCESS;
    TraceText(kFunction, "Deleting all queue manager files");
    UINT uiResult = ZEB_RC_SUCCESS;
    char szName[ZEB_CCH_MSG];
    char szData[ZEB_CCH_PATH];
    char szLog[ZEB_CCH_PATH];
    for (BOOL bMore = isuGetFirstQm(&szName, &szData, &szLog, NULL); bMore;
         bMore = isuGetNextQm(&szName, &szData, &szLog, NULL)) {
        if (StackQmFolder(szName, szData, "data", pszComponent, iInstallMode) != ZEB_RC_SUCCESS)
            uiResult = ZEB_RC_FAILURE;
        if (StackQmFolder(szName, szLog, "log", pszComponent, iInstallMode) != ZEB_RC_SUCCESS)
            uiResult = ZEB_RC_FAILURE;
    }
    return uiResult;
}

ZEB_ACTION iwiValidateLeaveQM(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiValidateLeaveQM", NULL))
        ValidateLeaveQMBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiStackDeleteQMgrs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStackDeleteQMgrs", NULL))
        StackDeleteQMgrsBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
