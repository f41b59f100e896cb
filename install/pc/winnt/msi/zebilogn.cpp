// Custom-action frame: registration of the running action, hand-over to a second copy of the
// library, run-mode guards and the shared cancel flag.
#include "zebilogn.h"
#include "zebicson.h"
#include "zebiwicn.h"

#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
// One flag for every process that has the library loaded: the engine's UI process and its
// custom-action servers all see a cancel.
extern "C" {
__attribute__((section("CANCEL"), shared)) volatile LONG g_lCancel = 0;
}
#define ZEB_CANCEL_FLAG g_lCancel
#else
#include "winsim/sim_core.h"
#define ZEB_CANCEL_FLAG (*winsim::CancelFlag())
#endif

ZebFrame g_zebFrame;

void ResetFrameState(void) {
    memset(&g_zebFrame, 0, sizeof(g_zebFrame));
}

void SetCancelFlag(void) {
    ZEB_CANCEL_FLAG = 1;
}
BOOL IsCancelFlagSet(void) {
    return ZEB_CANCEL_FLAG != 0;
}

namespace {

struct RunModeName {
    int iMode;
    LPCSTR pszName;
};

// The order in which WhatMode lists the modes that hold.
const RunModeName kRunModes[] = {
    {MSIRUNMODE_SCHEDULED, "MSIRUNMODE_SCHEDULED"},
    {MSIRUNMODE_COMMIT, "MSIRUNMODE_COMMIT"},
    {MSIRUNMODE_ROLLBACK, "MSIRUNMODE_ROLLBACK"},
    {MSIRUNMODE_REBOOTNOW, "MSIRUNMODE_REBOOTNOW"},
    {MSIRUNMODE_REBOOTATEND, "MSIRUNMODE_REBOOTATEND"},
    {MSIRUNMODE_OPERATIONS, "MSIRUNMODE_OPERATIONS"},
    {MSIRUNMODE_LOGENABLED, "MSIRUNMODE_LOGENABLED"},
    {MSIRUNMODE_ROLLBACKENABLED, "MSIRUNMODE_ROLLBACKENABLED"},
    {MSIRUNMODE_MAINTENANCE, "MSIRUNMODE_MAINTENANCE"},
    {MSIRUNMODE_ADVERTISE, "MSIRUNMODE_ADVERTISE"},
    {MSIRUNMODE_ADMIN, "MSIRUNMODE_ADMIN"},
};

// The order in which the guards test the deferred modes.
const struct {
    UINT uFlag;
    int iMode;
    LPCSTR pszName;
} kGuardModes[] = {
    {ZEB_FORBID_SCHEDULED, MSIRUNMODE_SCHEDULED, "MSIRUNMODE_SCHEDULED"},
    {ZEB_FORBID_ROLLBACK, MSIRUNMODE_ROLLBACK, "MSIRUNMODE_ROLLBACK"},
    {ZEB_FORBID_COMMIT, MSIRUNMODE_COMMIT, "MSIRUNMODE_COMMIT"},
};

void CopyActionName(LPSTR pszOut, LPCSTR pszAction) {
    lstrcpynA(pszOut, pszAction, ZEB_CCH_ACTION);
}

// Step 4 of the prolog: count the action in and make it the one the trace names.
void RegisterAction(LPCSTR pszAction) {
    if (g_zebFrame.szOuterAction[0] != '\0') {
        if (g_zebFrame.lDepth < 1) {
            WriteTrace(NULL, "Invalid depth count entering '%s' from '%s': %d", pszAction,
                       g_zebFrame.szOuterAction, (int)g_zebFrame.lDepth);
            g_zebFrame.lDepth = 1;
        }
        CopyActionName(g_zebFrame.szNestedAction, pszAction);
        g_zebFrame.lDepth++;
    } else {
        if (g_zebFrame.lDepth != 0)
            WriteTrace(NULL, "Invalid depth count entering '%s': %d", pszAction, (int)g_zebFrame.lDepth);
        g_zebFrame.lDepth = 1;
        CopyActionName(g_zebFrame.szOuterAction, pszAction);
        g_zebFrame.szNestedAction[0] = '\0';
    }
}

// Step 3 of the prolog: TRUE when the second copy ran the action.
BOOL HandOver(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszAction, LPCSTR pszFolder) {
    char szPath[ZEB_CCH_PATH];
    size_t cchFolder = strlen(pszFolder);
    BOOL bSeparator = cchFolder > 0 && pszFolder[cchFolder - 1] == '\\';
    int cchPath =
        snprintf(szPath, sizeof(szPath), "%s%s%s", pszFolder, bSeparator ? "" : "\\", ZebModuleName());

    SetLastError(0);
    HANDLE hMutex = CreateMutexA(NULL, FALSE, ZEB_INSTALL_MUTEX);
    DWORD dwErr = GetLastError();
    if (hMutex == NULL) {
        WriteTrace(NULL, "Can't create mutex %d", (int)dwErr);
        return FALSE;
    }
    if (g_zebFrame.hMutex == NULL)
        g_zebFrame.hMutex = hMutex;
    else
        CloseHandle(hMutex); // this copy already holds one from an earlier entry
    if (dwErr == ERROR_ALREADY_EXISTS) {
        WriteTrace(NULL, "External invocation of '%s'", ZebModuleName());
        return FALSE;
    }

    WhatMode(hInstall);
    if (cchPath < 0 || cchPath >= (int)sizeof(szPath)) {
        // A cut path could name another library: no library can be at a path this long.
        TraceText(NULL, "Can't find '%s%s%s'", pszFolder, bSeparator ? "" : "\\", ZebModuleName());
        return FALSE;
    }
    HMODULE hLib = LoadLibraryExA(szPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (hLib == NULL) {
        dwErr = GetLastError();
        if (dwErr == ERROR_MOD_NOT_FOUND)
            TraceText(NULL, "Can't find '%s'", szPath);
        else
            TraceText(NULL, "LoadLibraryEx(%s) failed %d.", szPath, (int)dwErr);
        return FALSE;
    }
    g_zebFrame.hExternal = hLib; // released by CaEpilog

    typedef UINT(__stdcall * ActionProc)(MSIHANDLE);
    ActionProc pfn = (ActionProc)(void*)GetProcAddress(hLib, pszAction);
    if (pfn == NULL) {
        dwErr = GetLastError();
        if (dwErr == ERROR_PROC_NOT_FOUND)
            TraceText(NULL, "Can't find proc '%s(%s)'", szPath, pszAction);
        else
            TraceText(NULL, "***Unable to get proc '%s(%s)'; code %d.", szPath, pszAction, (int)dwErr);
        return FALSE;
    }
    TraceText(NULL, "Executing '%s(%s)'", szPath, pszAction);
    *puiStat = pfn(hInstall);
    g_zebFrame.bHandedOver = TRUE;
    return TRUE;
}

} // namespace

BOOL IsDeferredMode(MSIHANDLE hInstall) {
    return MsiGetMode(hInstall, MSIRUNMODE_SCHEDULED) || MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK) ||
           MsiGetMode(hInstall, MSIRUNMODE_COMMIT);
}

void WhatMode(MSIHANDLE hInstall) {
    char szUser[ZEB_CCH_USERNAME];
    DWORD cchUser = sizeof(szUser);
    if (GetUserNameA(szUser, &cchUser))
        TraceText(NULL, "User name is '%s'", szUser);
    else
        WriteTrace(NULL, "Can't get user name %d", (int)GetLastError());
    for (const RunModeName& mode : kRunModes) {
        if (MsiGetMode(hInstall, (MSIRUNMODE)mode.iMode))
            WriteTrace(NULL, "%s", mode.pszName);
    }
}

BOOL CaProlog(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszAction, LPCSTR pszBanner) {
    if (g_zebFrame.szOuterAction[0] == '\0') {
        g_zebFrame.hSession = hInstall;
        g_zebFrame.bErrorShown = FALSE;
        WriteTrace(NULL, "%s", pszBanner != NULL ? pszBanner : ZebBanner());

        char szValue[ZEB_CCH_PATH];
        UINT uiReadStat = ZEB_RC_SUCCESS;
        if (!GetPropertyValue(hInstall, "CaProlog", PROP_PRODUCTNAME, szValue, sizeof(szValue),
                              &uiReadStat) ||
            !GetPropertyValue(hInstall, "CaProlog", PROP_ZEBEXTCA60000, szValue, sizeof(szValue),
                              &uiReadStat)) {
            // The action is counted in so that its epilog balances, and fails without its body.
            RegisterAction(pszAction);
            *puiStat = uiReadStat;
            return TRUE;
        }
        if (szValue[0] == '\0')
            WhatMode(hInstall);
        else if (HandOver(hInstall, puiStat, pszAction, szValue))
            return TRUE;
    }
    RegisterAction(pszAction);
    return FALSE;
}

UINT CaEpilog(MSIHANDLE hInstall, UINT uiStat) {
    (void)hInstall;
    // A call handed to the second copy was never counted in here.
    if (g_zebFrame.bHandedOver)
        g_zebFrame.bHandedOver = FALSE;
    else
        g_zebFrame.lDepth--;

    if (g_zebFrame.hExternal != NULL) {
        FreeLibrary(g_zebFrame.hExternal);
        g_zebFrame.hExternal = NULL;
    } else if (g_zebFrame.lDepth < 1 && !g_zebFrame.bErrorShown && uiStat == ZEB_RC_FAILURE) {
        char szText[ZEB_CCH_MSG];
        iwiLoadNlsString(szText, ZEB_MSG_GENERIC_FAILURE);
        iiiDisplayMsgBox(szText, MB_ICONERROR);
    }

    if (g_zebFrame.hLanguage != NULL && g_zebFrame.lDepth < 1) {
        WriteTrace(NULL, "Freeing NLS library");
        // Released until the release fails; bounded so a module that never reports failure
        // cannot hold the action forever.
        for (int i = 0; i < 64 && FreeLibrary(g_zebFrame.hLanguage); i++) {
        }
        g_zebFrame.hLanguage = NULL;
    }

    if (g_zebFrame.lDepth < 1 && g_zebFrame.hMutex != NULL) {
        CloseHandle(g_zebFrame.hMutex);
        g_zebFrame.hMutex = NULL;
    }

    UINT uiResult = uiStat;
    if (iiiIsCancelled() && uiResult == ZEB_RC_SUCCESS)
        uiResult = ZEB_RC_CANCEL;

    WriteTrace(NULL, "Returning with rc %d", (int)uiResult);
    g_zebFrame.szNestedAction[0] = '\0';
    return uiResult;
}

BOOL EnsureTempFolder(MSIHANDLE hInstall, LPCSTR pszFunction) {
    if (g_zebFrame.szTempFolder[0] != '\0')
        return TRUE;
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!GetPropertyValue(hInstall, pszFunction, PROP_ZEBTEMP, g_zebFrame.szTempFolder,
                          sizeof(g_zebFrame.szTempFolder), &uiStat))
        return FALSE;
    NormalizePath(FALSE, g_zebFrame.szTempFolder);
    return TRUE;
}

BOOL iiiIsCancelled(void) {
    if (IsCancelFlagSet())
        return TRUE;
    if (!EnsureTempFolder(g_zebFrame.hSession, "iiiIsCancelled")) {
        SetCancelFlag();
        return TRUE;
    }
    if (g_zebFrame.szTempFolder[0] != '\0') {
        char szMarker[ZEB_CCH_PATH];
        if (MakeFilePath(szMarker, g_zebFrame.szTempFolder, ZEB_CANCEL_MARKER) && FileExists(szMarker))
            SetCancelFlag();
    }
    return IsCancelFlagSet();
}

BOOL RunModeGuard(MSIHANDLE hInstall, UINT uForbidden, UINT* puiStat) {
    for (const auto& mode : kGuardModes) {
        if ((uForbidden & mode.uFlag) != 0 && MsiGetMode(hInstall, (MSIRUNMODE)mode.iMode)) {
            TraceText(NULL, "***CA execute error; run mode must not be '%s'.", mode.pszName);
            *puiStat = ZEB_RC_FAILURE;
            return FALSE;
        }
    }
    return TRUE;
}

BOOL RunModeBypass(MSIHANDLE hInstall, UINT uForbidden) {
    for (const auto& mode : kGuardModes) {
        if ((uForbidden & mode.uFlag) != 0 && MsiGetMode(hInstall, (MSIRUNMODE)mode.iMode)) {
            WriteTrace(NULL, "CA bypassed; run mode must not be '%s'.", mode.pszName);
            return FALSE;
        }
    }
    return TRUE;
}
