// Probes of the running product (locked files, services) and the small stop actions.
#include "zebiwicnStop.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnUtil.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace {

struct StopState {
    char szProgramFolder[ZEB_CCH_PATH];
    BOOL bProgramFolderKnown;
};
StopState g_stop;

struct ZebServiceTraits {
    typedef SC_HANDLE Type;
    static Type Empty() { return NULL; }
    static BOOL IsValid(Type h) { return h != NULL; }
    static BOOL Close(Type h) { return CloseServiceHandle(h); }
};
typedef ZebHolder<ZebServiceTraits> ZebService;

const DWORD kTaskbarSleepMs = 10000;

// The first locked file of the list under the program folder's subfolder, traced.
BOOL IsProgramLocked(LPCSTR pszSubfolder, LPCSTR pszFile) {
    char szPath[ZEB_CCH_PATH];
    if (!MakeProgramPath(szPath, pszSubfolder, pszFile))
        return FALSE;
    return IsFileLocked(szPath);
}

} // namespace

void ResetStopState(void) {
    memset(&g_stop, 0, sizeof(g_stop));
}

BOOL EnsureStopProgramFolder(void) {
    if (g_stop.bProgramFolderKnown && g_stop.szProgramFolder[0] != '\0')
        return TRUE;
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!GetPropertyValue(FrameSession(), NULL, PROP_ZEBPGMFOLDER, g_stop.szProgramFolder,
                          sizeof(g_stop.szProgramFolder), &uiStat))
        return FALSE;
    NormalizePath(FALSE, g_stop.szProgramFolder);
    g_stop.bProgramFolderKnown = TRUE;
    return TRUE;
}

LPCSTR StopProgramFolder(void) {
    return g_stop.szProgramFolder;
}

void SetStopProgramFolder(LPCSTR pszFolder) {
    lstrcpynA(g_stop.szProgramFolder, pszFolder, sizeof(g_stop.szProgramFolder));
    NormalizePath(FALSE, g_stop.szProgramFolder);
    g_stop.bProgramFolderKnown = TRUE;
}

BOOL MakeProgramPath(char (&szPath)[ZEB_CCH_PATH], LPCSTR pszSubfolder, LPCSTR pszFile) {
    szPath[0] = '\0';
    if (g_stop.szProgramFolder[0] == '\0')
        return FALSE;
    char szFolder[ZEB_CCH_PATH];
    if (!MakeFilePath(szFolder, g_stop.szProgramFolder, pszSubfolder) ||
        !MakeFilePath(szPath, szFolder, pszFile)) {
        TraceText(NULL, "***Path too long: '%s\\%s\\%s'", g_stop.szProgramFolder, pszSubfolder, pszFile);
        return FALSE;
    }
    return TRUE;
}

BOOL IsFileLocked(LPCSTR pszPath) {
    DWORD dwAttributes = GetFileAttributesA(pszPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES) {
        DWORD dwError = GetLastError();
        if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND)
            TraceText(NULL, "GetFileAttribues() failed %d '%s'", (int)dwError, pszPath);
    } else if (dwAttributes & FILE_ATTRIBUTE_READONLY) {
        DWORD dwNew = dwAttributes & ~(DWORD)FILE_ATTRIBUTE_READONLY;
        if (!SetFileAttributesA(pszPath, dwNew != 0 ? dwNew : FILE_ATTRIBUTE_NORMAL))
            TraceText(NULL, "SetFileAttribues() failed %d '%s'", (int)GetLastError(), pszPath);
    }
    SetLastError(ERROR_SUCCESS);
    ZebKernelHandle hFile(
        CreateFileA(pszPath, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    BOOL bLocked = GetLastError() == ERROR_SHARING_VIOLATION;
    TraceText(NULL, bLocked ? "'%s' is in use" : "'%s' is not in use", pszPath);
    return bLocked;
}

BOOL AreQmsRunning(void) {
    if (!EnsureStopProgramFolder())
        return FALSE;
    char szPath[ZEB_CCH_PATH];
    if (MakeProgramPath(szPath, ProgramBinSubfolder(), "zebzxma0.exe") && IsFileLocked(szPath)) {
        TraceText(NULL, "'%s' is locked", szPath);
        return TRUE;
    }
    WriteTrace(NULL, "No queue managers running");
    return FALSE;
}

BOOL AreListenersRunning(void) {
    if (!EnsureStopProgramFolder())
        return FALSE;
    if (IsProgramLocked(ProgramBinSubfolder(), "runhxlsr.exe"))
        return TRUE;
    WriteTrace(NULL, "No listeners running");
    return FALSE;
}

BOOL HxFilesInUse(void) {
    static const char* const kFiles[] = {"zebxssvn.exe", "zebsvc.exe", "zebxcs2.dll"};
    if (!EnsureStopProgramFolder())
        return FALSE;
    for (LPCSTR pszFile : kFiles) {
        if (IsProgramLocked(ProgramBinSubfolder(), pszFile) || IsProgramLocked("bin", pszFile))
            return TRUE;
    }
    return FALSE;
}

BOOL icsIsServiceRunning(LPCSTR pszService, DWORD* pdwState) {
    if (pdwState != NULL)
        *pdwState = 0;
    // Querying needs no more than these rights; asking for all access fails when not elevated.
    BOOL bRunning = FALSE;
    ZebService hManager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
    if (hManager.IsValid()) {
        ZebService hService(OpenServiceA(hManager.Get(), pszService, SERVICE_QUERY_STATUS));
        SERVICE_STATUS status;
        if (hService.IsValid() && QueryServiceStatus(hService.Get(), &status)) {
            bRunning = status.dwCurrentState != SERVICE_STOPPED;
            if (pdwState != NULL)
                *pdwState = status.dwCurrentState;
        }
    }
    TraceText(NULL, bRunning ? "Service '%s' is running" : "Service '%s' is not running", pszService);
    return bRunning;
}

BOOL icsStopService(LPCSTR pszService, BOOL bProgress) {
    TraceText(NULL, "Stopping service '%s'", pszService);
    ZebService hManager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
    if (!hManager.IsValid()) {
        TraceText(NULL, "***Error %d opening service '%s'", (int)GetLastError(), pszService);
        return FALSE;
    }
    ZebService hService(OpenServiceA(hManager.Get(), pszService, SERVICE_STOP));
    if (!hService.IsValid())
        return TRUE;
    if (bProgress && IsDeferredMode(FrameSession())) {
        char szTemplate[ZEB_CCH_MSG] = "";
        char szText[ZEB_CCH_MSG];
        iwiLoadNlsString(szTemplate, ZEB_MSG_STOPPING_SERVICE);
        FillPathInsert(szText, szTemplate, pszService);
        // A cancel reply sets the cancel flag, which the caller tests.
        if (iwiUpdateActionDataField(szText) == ZEB_RC_SUCCESS)
            iwiMoveProgressBar(0, 10 * ZEB_STEP_TICKS);
    }
    SERVICE_STATUS status;
    if (ControlService(hService.Get(), SERVICE_CONTROL_STOP, &status))
        return TRUE;
    DWORD dwError = GetLastError();
    switch (dwError) {
    case ERROR_SERVICE_DOES_NOT_EXIST:
        TraceText(NULL, "***Service '%s' does not exist", pszService);
        break;
    case ERROR_SERVICE_CANNOT_ACCEPT_CTRL:
        TraceText(NULL, "Service '%s' already stopping", pszService);
        break;
    case ERROR_SERVICE_NOT_ACTIVE:
        TraceText(NULL, "Service '%s' not running", pszService);
        break;
    case ERROR_EXCEPTION_IN_SERVICE:
        TraceText(NULL, "***Exception in service '%s'", pszService);
        break;
    default:
        TraceText(NULL, "***Error %d stopping service '%s'", (int)dwError, pszService);
        break;
    }
    return FALSE;
}

BOOL HxServiceExists(LPCSTR pszService) {
    ZebService hManager(OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT));
    ZebService hService;
    if (hManager.IsValid())
        hService.Reset(OpenServiceA(hManager.Get(), pszService, SERVICE_QUERY_STATUS));
    if (hService.IsValid()) {
        TraceText(NULL, "Service '%s' exists", pszService);
        return TRUE;
    }
    DWORD dwError = GetLastError();
    if (dwError == ERROR_SERVICE_DOES_NOT_EXIST)
        TraceText(NULL, "Service '%s' not found", pszService);
    else
        TraceText(NULL, "Couldn't open service '%s' %d", pszService, (int)dwError);
    return FALSE;
}

UINT StartHxServiceAndGo(void) {
    if (!EnsureStopProgramFolder())
        return ZEB_RC_FAILURE;
    char szProgram[ZEB_CCH_PATH];
    if (!MakeProgramPath(szProgram, ProgramBinSubfolder(), "strhxsvc.exe") || !FileExists(szProgram)) {
        TraceText(NULL, "***Can't find '%s'", szProgram);
        return ZEB_RC_FAILURE;
    }
    if (LaunchProcess(szProgram, "", NULL, SW_HIDE, NULL) != ZEB_RC_SUCCESS) {
        TraceText(NULL, "***Unable to launch '%s'", szProgram);
        return ZEB_RC_FAILURE;
    }
    return ZEB_RC_SUCCESS;
}

BOOL icsStopTaskbars(LPCSTR pszInstallation) {
    static const char kValue[] = "Identifier";
    TraceText(NULL, "Stopping taskbar for install '%s'.", pszInstallation);
    char szKey[ZEB_CCH_MSG];
    char szIdentifier[ZEB_CCH_PATH] = "";
    if (MakeInstallationKey(szKey, pszInstallation) &&
        !GetRegistryText(szKey, kValue, szIdentifier, sizeof(szIdentifier), FALSE))
        GetRegistryText(szKey, kValue, szIdentifier, sizeof(szIdentifier), TRUE);
    if (szIdentifier[0] == '\0') {
        TraceText(NULL, "WARNING: Could not open key %s, value %s - Ignoring but may give files in use.",
                  szKey, kValue);
        return TRUE;
    }
    char szEvent[ZEB_CCH_MSG];
    snprintf(szEvent, sizeof(szEvent), "Global\\ZEBMTBRN.EVENT.%s", szIdentifier);
    ZebKernelHandle hEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, szEvent));
    if (!hEvent.IsValid()) {
        TraceText(NULL, "Could not open event %s gle(%d) - should mean no taskbars running", szEvent,
                  (int)GetLastError());
        return TRUE;
    }
    WriteTrace(NULL, "Posting handle to close all outstanding zebmtbrns, then sleeping for 10 seconds.");
    SetEvent(hEvent.Get());
    hEvent.Close();
    Sleep(kTaskbarSleepMs);
    WriteTrace(NULL, "Continuing after 10 second sleep.... zebmtbrn should now be gone!");
    return TRUE;
}

UINT SetTickCount(LONGLONG llTicks) {
    // Many queue managers would take a 32-bit total past its limit.
    int iTicks = llTicks > INT_MAX ? INT_MAX : (llTicks < 0 ? 0 : (int)llTicks);
    WriteTrace(NULL, "Total ticks = %d", iTicks);
    ZebMsiHandle hRec(MsiCreateRecord(4));
    if (!hRec.IsValid()) {
        WriteTrace(NULL, "***Unable to create record");
        return ZEB_RC_SUCCESS;
    }
    MsiRecordSetInteger(hRec.Get(), 1, 3);
    MsiRecordSetInteger(hRec.Get(), 2, iTicks);
    MsiRecordSetInteger(hRec.Get(), 3, 0);
    MsiRecordSetInteger(hRec.Get(), 4, 0);
    UINT uiStat = ZEB_RC_SUCCESS;
    CheckMsiPmRc("INSTALLMESSAGE_PROGRESS",
                 MsiProcessMessage(FrameSession(), INSTALLMESSAGE_PROGRESS, hRec.Get()), &uiStat);
    return uiStat;
}

// ---- The small actions -------------------------------------------------------------------------

namespace {

void IsHxRunningBody(MSIHANDLE hInstall, UINT* puiStat) {
    BOOL bRunning = HxFilesInUse();
    SetPropertyValue(hInstall, "iwiIsHxRunning", PROP_ZEBHXISRUNNING, bRunning ? "1" : "", puiStat);
}

void StopIfOnlyIniBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStopIfOnlyIni";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szLevel[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_UILEVEL, szLevel, sizeof(szLevel), puiStat))
        return;
    if (atoi(szLevel) == 5)
        return;
    char szOnlyIni[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ONLYINI, szOnlyIni, sizeof(szOnlyIni), puiStat))
        return;
    if (szOnlyIni[0] != '\0')
        *puiStat = ZEB_RC_CANCEL;
}

} // namespace

ZEB_ACTION iwiStartStopping(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStartStopping", NULL))
        RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiIsHxRunning(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiIsHxRunning", NULL))
        IsHxRunningBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiStopIfOnlyIni(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStopIfOnlyIni", NULL))
        StopIfOnlyIniBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
