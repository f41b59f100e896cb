// Custom-action frame: registration of the running action, hand-over to a second copy of the
// library, run-mode guards and the shared cancel flag.
#include "zebilogn.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebiwicn.h"

#include <stdio.h>
#include <string.h>

// The cancel flag. On Windows every process that maps this DLL file shares the CANCEL section:
// the engine's UI process and its custom-action servers all see a cancel. The native build keeps
// it as an exported variable of the image; the simulated loader maps one copy per path, so loads
// of one path share it in the same way.
extern "C" {
#if defined(_WIN32)
__attribute__((section("CANCEL"), shared)) volatile LONG g_lCancel = 0;
#else
__attribute__((visibility("default"))) volatile LONG g_lCancel = 0;
#endif
}

namespace {

struct FrameState {
    MSIHANDLE hSession;
    char szOuterAction[ZEB_CCH_ACTION];
    char szNestedAction[ZEB_CCH_ACTION];
    LONG lDepth;
    BOOL bErrorShown;
    HMODULE hExternal; // second copy loaded by CaProlog
    BOOL bHandedOver;  // the call went to the second copy and was not registered here
    HANDLE hMutex;
    HMODULE hLanguage; // language library loaded as a data file
};
FrameState g_frame;

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

void CopyActionName(char (&szOut)[ZEB_CCH_ACTION], LPCSTR pszAction) {
    lstrcpynA(szOut, pszAction, sizeof(szOut));
}

} // namespace

void ResetFrameState(void) {
    memset(&g_frame, 0, sizeof(g_frame));
}

MSIHANDLE FrameSession(void) {
    return g_frame.hSession;
}
void FrameSetSession(MSIHANDLE hInstall) {
    g_frame.hSession = hInstall;
}
LPCSTR FrameOuterAction(void) {
    return g_frame.szOuterAction;
}
LPCSTR FrameTraceAction(void) {
    if (g_frame.szNestedAction[0] != '\0')
        return g_frame.szNestedAction;
    if (g_frame.szOuterAction[0] != '\0')
        return g_frame.szOuterAction;
    return "(CaProlog)";
}
LONG FrameDepth(void) {
    return g_frame.lDepth;
}
void FrameSetErrorShown(void) {
    g_frame.bErrorShown = TRUE;
}
HMODULE FrameLanguageLibrary(void) {
    return g_frame.hLanguage;
}
void FrameSetLanguageLibrary(HMODULE hLanguage) {
    g_frame.hLanguage = hLanguage;
}

void FrameReleaseLanguageLibrary(void) {
    if (g_frame.hLanguage == NULL)
        return;
    WriteTrace(NULL, "Freeing NLS library");
    // Released until the release fails; bounded so a module that never reports failure
    // cannot hold the action forever.
    for (int i = 0; i < 64 && FreeLibrary(g_frame.hLanguage); i++) {
    }
    g_frame.hLanguage = NULL;
}

void SetCancelFlag(void) {
    g_lCancel = 1;
}
BOOL IsCancelFlagSet(void) {
    return g_lCancel != 0;
}
LPBOOL CancelFlagAddress(void) {
    static_assert(sizeof(g_lCancel) == sizeof(BOOL), "the copy reads the flag as a BOOL");
    return (LPBOOL)&g_lCancel;
}

namespace {

// Counts the action in and makes it the one the trace names.
void RegisterAction(LPCSTR pszAction) {
    if (g_frame.szOuterAction[0] != '\0') {
        if (g_frame.lDepth < 1) {
            WriteTrace(NULL, "Invalid depth count entering '%s' from '%s': %d", pszAction,
                       g_frame.szOuterAction, (int)g_frame.lDepth);
            g_frame.lDepth = 1;
        }
        CopyActionName(g_frame.szNestedAction, pszAction);
        g_frame.lDepth++;
    } else {
        if (g_frame.lDepth != 0)
            WriteTrace(NULL, "Invalid depth count entering '%s': %d", pszAction, (int)g_frame.lDepth);
        g_frame.lDepth = 1;
        CopyActionName(g_frame.szOuterAction, pszAction);
        g_frame.szNestedAction[0] = '\0';
    }
}

// Hands the call to the copy in the folder; TRUE when that copy ran the action.
BOOL HandOver(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszAction, LPCSTR pszFolder) {
    char szPath[ZEB_CCH_PATH];
    size_t cchFolder = strlen(pszFolder);
    BOOL bSeparator = cchFolder > 0 && pszFolder[cchFolder - 1] == '\\';
    int cchPath =
        snprintf(szPath, sizeof(szPath), "%s%s%s", pszFolder, bSeparator ? "" : "\\", ZebModuleName());

    SetLastError(0);
    ZebKernelHandle hMutex(CreateMutexA(NULL, FALSE, ZEB_INSTALL_MUTEX));
    DWORD dwErr = GetLastError();
    if (!hMutex.IsValid()) {
        WriteTrace(NULL, "Can't create mutex %d", (int)dwErr);
        return FALSE;
    }
    // Held until the outermost exit; a copy that holds one from an earlier entry closes this one.
    if (g_frame.hMutex == NULL)
        g_frame.hMutex = hMutex.Detach();
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
    g_frame.hExternal = hLib; // released by CaEpilog

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
    g_frame.bHandedOver = TRUE;
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
    if (g_frame.szOuterAction[0] == '\0') {
        g_frame.hSession = hInstall;
        g_frame.bErrorShown = FALSE;
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
    if (g_frame.bHandedOver)
        g_frame.bHandedOver = FALSE;
    else
        g_frame.lDepth--;

    if (g_frame.hExternal != NULL) {
        FreeLibrary(g_frame.hExternal);
        g_frame.hExternal = NULL;
    } else if (g_frame.lDepth < 1 && !g_frame.bErrorShown && uiStat == ZEB_RC_FAILURE) {
        char szText[ZEB_CCH_MSG];
        iwiLoadNlsString(szText, ZEB_MSG_GENERIC_FAILURE);
        iiiDisplayMsgBox(szText, MB_ICONERROR);
    }

    if (g_frame.lDepth < 1)
        FrameReleaseLanguageLibrary();

    if (g_frame.lDepth < 1 && g_frame.hMutex != NULL) {
        CloseHandle(g_frame.hMutex);
        g_frame.hMutex = NULL;
    }

    UINT uiResult = uiStat;
    if (iiiIsCancelled() && uiResult == ZEB_RC_SUCCESS)
        uiResult = ZEB_RC_CANCEL;

    WriteTrace(NULL, "Returning with rc %d", (int)uiResult);
    g_frame.szNestedAction[0] = '\0';
    return uiResult;
}

void CaEnterUnframed(MSIHANDLE hInstall, LPCSTR pszAction) {
    CopyActionName(g_frame.szOuterAction, pszAction);
    g_frame.hSession = hInstall;
}

void CaLeaveUnframed(void) {
    g_frame.szOuterAction[0] = '\0';
    g_frame.szNestedAction[0] = '\0';
}

BOOL iiiIsCancelled(void) {
    if (IsCancelFlagSet())
        return TRUE;
    if (!EnsureTempFolder(g_frame.hSession, "iiiIsCancelled")) {
        SetCancelFlag();
        return TRUE;
    }
    if (TempFolder()[0] != '\0') {
        char szMarker[ZEB_CCH_PATH];
        if (MakeFilePath(szMarker, TempFolder(), ZEB_CANCEL_MARKER) && FileExists(szMarker))
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
