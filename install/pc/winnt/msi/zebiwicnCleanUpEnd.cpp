// End of an installation: the library's temporary files go, the dialogs' temporary log is merged
// and closed, and after a silent success the configuration is launched.
#include "zebiwicnCleanUp.h"

#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnLaunch.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUtil.h"

#include <stdlib.h>
#include <windows.h>

namespace {

#define ZEB_UILEVEL_FULL 5

// UILevel as a number: decimal, empty (or no digits) is 0.
BOOL ReadUiLevel(MSIHANDLE hInstall, LPCSTR pszFunction, int* piLevel, UINT* puiStat) {
    char szLevel[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, pszFunction, PROP_UILEVEL, szLevel, sizeof(szLevel), puiStat))
        return FALSE;
    *piLevel = atoi(szLevel);
    return TRUE;
}

BOOL IsRollbackRun(MSIHANDLE hInstall) {
    return MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK);
}

// The deferred-property file stays while a full dialog sequence may still read it, unless the
// installation is being rolled back.
void DeletePropertyFileUnlessFullUi(MSIHANDLE hInstall, int iUiLevel) {
    if (iUiLevel != ZEB_UILEVEL_FULL || IsRollbackRun(hInstall))
        DeleteTempFileNow("zebp", ".txt");
}

// A folder property read once per load, normalised; FALSE after a failed read.
BOOL EnsureFolder(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszProperty, char (&szFolder)[ZEB_CCH_PATH],
                  UINT* puiStat) {
    return szFolder[0] != '\0' || KnownFolder(hInstall, pszFunction, "", pszProperty, szFolder, puiStat);
}

void CleanUpBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiCleanUp";
    // Closed first: merging the dialogs' log must not append to the file it reads.
    SetTempLogClosedSwitch(TRUE);
    if (DeleteTempFiles() != ZEB_RC_SUCCESS)
        *puiStat = ZEB_RC_FAILURE;
    if (!EnsureFolder(hInstall, kFunction, PROP_ZEBDATFOLDER, WorkingFolders().szData, puiStat) ||
        !EnsureTempFolder(hInstall, kFunction)) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    if (UiSeqValue()[0] != '1')
        iwiUnSetTempLogPath(hInstall); // merges nothing twice; its outcome is its own trace
    int iUiLevel = 0;
    if (!ReadUiLevel(hInstall, kFunction, &iUiLevel, puiStat))
        return;
    DeletePropertyFileUnlessFullUi(hInstall, iUiLevel);
}

void CleanUpSuccessBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiCleanUpSuccess";
    if (!EnsureTempFolder(hInstall, kFunction)) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szRemove[ZEB_CCH_FEATURELIST];
    int iUiLevel = 0;
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat) ||
        !ReadUiLevel(hInstall, kFunction, &iUiLevel, puiStat))
        return;

    // After the commit a failure here would fail an installed product: the nested results are
    // only traced.
    UINT uiNested = iwiCleanUp(hInstall);
    TraceText(kFunction, "iwiCleanUp returned %u", uiNested);
    BOOL bRemoving = szRemove[0] == '1';
    if (bRemoving) {
        uiNested = iwiUninstallCleanUp(hInstall);
        TraceText(kFunction, "iwiUninstallCleanUp returned %u", uiNested);
    }
    if (iUiLevel != ZEB_UILEVEL_FULL && !bRemoving && !IsClientInstall()) {
        uiNested = iwiTestAndLaunchConfig(hInstall);
        TraceText(kFunction, "iwiTestAndLaunchConfig returned %u", uiNested);
    }
    DeleteTempFileNow("zebg", ".txt");
    if (!ReadUiLevel(hInstall, kFunction, &iUiLevel, puiStat))
        return;
    DeletePropertyFileUnlessFullUi(hInstall, iUiLevel);
}

void CleanUpFinalBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiCleanUpFinal";
    if (!EnsureTempFolder(hInstall, kFunction)) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szStarted[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_UPDATESTARTED, szStarted, sizeof(szStarted), puiStat))
        return;
    // Nothing on the machine was changed yet: nothing of the library needs to stay.
    if (szStarted[0] == '\0') {
        SetTempLogClosedSwitch(TRUE);
        if (DeleteTempFiles() != ZEB_RC_SUCCESS)
            *puiStat = ZEB_RC_FAILURE;
    }
    DeleteTempFileNow("zebp", ".txt");
}

void UninstallCleanUpBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiUninstallCleanUp";
    if (!EnsureTempFolder(hInstall, kFunction) ||
        !EnsureFolder(hInstall, kFunction, PROP_ZEBPGMFOLDER, WorkingFolders().szProgram, puiStat) ||
        !EnsureFolder(hInstall, kFunction, PROP_ZEBDATFOLDER, WorkingFolders().szData, puiStat))
        *puiStat = ZEB_RC_FAILURE;
}

// Every way out of a clean-up action ends the temporary log.
UINT RunCleanUpAction(MSIHANDLE hInstall, LPCSTR pszAction, void (*pfnBody)(MSIHANDLE, UINT*)) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, pszAction, NULL))
        pfnBody(hInstall, &uiStat);
    SetTempLogClosedSwitch(TRUE);
    return CaEpilog(hInstall, uiStat);
}

} // namespace

ZEB_ACTION iwiCleanUp(MSIHANDLE hInstall) {
    return RunCleanUpAction(hInstall, "iwiCleanUp", CleanUpBody);
}

ZEB_ACTION iwiCleanUpSuccess(MSIHANDLE hInstall) {
    return RunCleanUpAction(hInstall, "iwiCleanUpSuccess", CleanUpSuccessBody);
}

ZEB_ACTION iwiCleanUpFinal(MSIHANDLE hInstall) {
    return RunCleanUpAction(hInstall, "iwiCleanUpFinal", CleanUpFinalBody);
}

ZEB_ACTION iwiUninstallCleanUp(MSIHANDLE hInstall) {
    return RunCleanUpAction(hInstall, "iwiUninstallCleanUp", UninstallCleanUpBody);
}
