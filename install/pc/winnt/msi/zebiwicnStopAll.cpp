// iwiStopAllHx: stops everything of an installation that may hold its files. The immediate run
// sends the stop requests and reserves progress; the deferred run waits for their effects and
// ends the listeners, the taskbar and the trace.
#include "zebiwicnStop.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnUninstall.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kFunction[] = "iwiStopAllHx";
const DWORD kStepMs = 500;
// A tool that hangs must not hang the installation.
const DWORD kToolTimeoutMs = 600000;

// Wait bounds in half-second steps, read by both runs: the immediate run reserves 100000 ticks
// per step, the deferred run counts the same steps down.
const struct {
    int iService;
    int iPause;
    int iPerQm;       // each queue manager of this installation
    int iPerListener; // each queue manager in the list
    int iFiles;
    int iOldService; // the immediate run's wait for the old levels' service
} kBounds = {240, 6, 90, 20, 120, 240};

struct StopRun {
    MSIHANDLE hInstall;
    BOOL bDeferred;
    UINT* puiStat;
    ZebMsiHandle hProgress; // deferred only: (2, 100000, 0)
    ZebMsiHandle hData;     // deferred only: the action-data fields
    LONGLONG llTicks;
    char szProgramFolder[ZEB_CCH_PATH];
    char szDataFolder[ZEB_CCH_PATH];
    char szInstance[ZEB_CCH_MSG];
    char szOldInstance[ZEB_CCH_MSG];
    char szService[ZEB_CCH_MSG];
};

// A launch that failed makes the action fail, whatever launches succeed after it.
void LaunchResult(StopRun& run, UINT uiRc) {
    if (uiRc != ZEB_RC_SUCCESS && *run.puiStat == ZEB_RC_SUCCESS)
        *run.puiStat = ZEB_RC_FAILURE;
}

// FALSE when the user cancelled (the status is then 1602).
BOOL Send(StopRun& run, INSTALLMESSAGE eType, LPCSTR pszType, MSIHANDLE hRec) {
    return CheckMsiPmRc(pszType, MsiProcessMessage(run.hInstall, eType, hRec), run.puiStat) == ZEB_RC_SUCCESS;
}

BOOL Cancelled(StopRun& run, UINT uiRc) {
    if (uiRc == ZEB_RC_CANCEL || IsCancelFlagSet()) {
        *run.puiStat = ZEB_RC_CANCEL;
        return TRUE;
    }
    return FALSE;
}

BOOL ServiceRuns(const StopRun& run) {
    return icsIsServiceRunning(run.szService);
}
BOOL QmsRun(const StopRun&) {
    return AreQmsRunning();
}
BOOL ListenersRun(const StopRun&) {
    return AreListenersRunning();
}
BOOL FilesInUse(const StopRun&) {
    return HxFilesInUse();
}

// Counts the bound down, showing the seconds left in the field while the condition holds and
// moving the bar one step each time, so that it always moves by the reserved ticks. Sleeps only
// while the condition holds. bShow FALSE: no messages at all. FALSE when the user cancelled.
BOOL WaitWhile(StopRun& run, int iBound, BOOL (*pfnHolds)(const StopRun&), UINT uField, BOOL bShow) {
    BOOL bHeld = TRUE;
    long lShown = -1;
    DWORD dwSlept = 0;
    bShow = bShow && run.hProgress.IsValid() && run.hData.IsValid();
    for (int n = iBound; n >= 1; n--) {
        long lSecondsLeft = (long)((unsigned long)n * kStepMs / 1000);
        if (bShow && bHeld && lSecondsLeft != lShown) {
            lShown = lSecondsLeft;
            MsiRecordSetInteger(run.hData.Get(), uField, (int)lSecondsLeft);
            if (!Send(run, INSTALLMESSAGE_ACTIONDATA, "INSTALLMESSAGE_ACTIONDATA", run.hData.Get()))
                return FALSE;
        }
        if (bShow && !Send(run, INSTALLMESSAGE_PROGRESS, "INSTALLMESSAGE_PROGRESS", run.hProgress.Get()))
            return FALSE;
        if (bHeld)
            bHeld = pfnHolds(run);
        if (bHeld) {
            Sleep(kStepMs);
            dwSlept += kStepMs;
        }
        if (IsCancelFlagSet()) {
            *run.puiStat = ZEB_RC_CANCEL;
            return FALSE;
        }
    }
    if (bHeld)
        WriteTrace(kFunction, "Wait timed out after %d seconds",
                   (int)((unsigned long)iBound * kStepMs / 1000));
    else
        WriteTrace(kFunction, "Waited %d seconds", (int)(dwSlept / 1000));
    return TRUE;
}

// The deferred run's pause: a countdown shown with the wait texts.
BOOL Pause(StopRun& run) {
    if (!run.bDeferred) {
        run.llTicks += (LONGLONG)kBounds.iPause * ZEB_STEP_TICKS;
        return TRUE;
    }
    return !Cancelled(run, ActionWait(kBounds.iPause));
}

BOOL StartText(StopRun& run, UINT uTemplate) {
    return !Cancelled(run, LoadActionTextAndData(ZEB_MSG_WAIT_TEXT, uTemplate));
}

BOOL ReadSettings(StopRun& run) {
    MSIHANDLE h = run.hInstall;
    if (!GetPropertyValue(h, kFunction, PROP_ZEBPGMFOLDER, run.szProgramFolder, sizeof(run.szProgramFolder),
                          run.puiStat) ||
        !GetPropertyValue(h, kFunction, PROP_ZEBDATFOLDER, run.szDataFolder, sizeof(run.szDataFolder),
                          run.puiStat))
        return FALSE;
    NormalizePath(FALSE, run.szProgramFolder);
    NormalizePath(FALSE, run.szDataFolder);
    SetStopProgramFolder(run.szProgramFolder);
    return TRUE;
}

BOOL CreateRecords(StopRun& run) {
    run.hProgress.Reset(MsiCreateRecord(3));
    if (!run.hProgress.IsValid()) {
        WriteTrace(kFunction, "***Unable to create record");
    } else {
        // One tick per action-data message, which does not move the bar.
        MsiRecordSetInteger(run.hProgress.Get(), 1, 1);
        MsiRecordSetInteger(run.hProgress.Get(), 2, 1);
        MsiRecordSetInteger(run.hProgress.Get(), 3, 0);
        if (!Send(run, INSTALLMESSAGE_PROGRESS, "INSTALLMESSAGE_PROGRESS", run.hProgress.Get()))
            return FALSE;
        MsiRecordSetInteger(run.hProgress.Get(), 1, 2);
        MsiRecordSetInteger(run.hProgress.Get(), 2, ZEB_STEP_TICKS);
        MsiRecordSetInteger(run.hProgress.Get(), 3, 0);
    }
    run.hData.Reset(MsiCreateRecord(2));
    if (!run.hData.IsValid())
        WriteTrace(kFunction, "***Unable to create record");
    return TRUE;
}

BOOL ReadNames(StopRun& run) {
    MSIHANDLE h = run.hInstall;
    if (!GetPropertyValue(h, kFunction, PROP_ZEBOLDINSTALLINSTANCENAME, run.szOldInstance,
                          sizeof(run.szOldInstance), run.puiStat) ||
        !GetPropertyValue(h, kFunction, PROP_ZEBINSTALLINSTANCENAME, run.szInstance, sizeof(run.szInstance),
                          run.puiStat) ||
        !GetPropertyValue(h, kFunction, PROP_ZEBSERVICENAME, run.szService, sizeof(run.szService),
                          run.puiStat))
        return FALSE;
    if (IsReservedInstallName(run.szOldInstance))
        lstrcpynA(run.szService, ZEB_OLD_SERVICE_NAME, sizeof(run.szService));
    return TRUE;
}

// Step 5. *pbOldService: the immediate run stopped the old levels' service and waits for it last.
BOOL StopTheService(StopRun& run, BOOL* pbOldService) {
    DWORD dwState = 0;
    if (!icsIsServiceRunning(run.szService, &dwState))
        return TRUE;
    if (!run.bDeferred) {
        icsStopService(run.szService, TRUE);
        if (Cancelled(run, ZEB_RC_SUCCESS))
            return FALSE;
        *pbOldService = strcmp(run.szService, ZEB_OLD_SERVICE_NAME) == 0;
        run.llTicks += (LONGLONG)kBounds.iService * ZEB_STEP_TICKS;
        return TRUE;
    }
    // Still running and not stopping: the immediate run's request did not reach it.
    if (dwState == SERVICE_RUNNING)
        icsStopService(run.szService, FALSE);
    if (!StartText(run, ZEB_MSG_WAIT_SERVICE))
        return FALSE;
    if (run.hData.IsValid())
        MsiRecordSetStringA(run.hData.Get(), 1, run.szService);
    return WaitWhile(run, kBounds.iService, ServiceRuns, 2, TRUE);
}

// Step 7.
BOOL StopQueueManagers(StopRun& run) {
    char szEnd[ZEB_CCH_PATH];
    if (!MakeProgramPath(szEnd, ProgramBinSubfolder(), "endhxm.exe") || !FileExists(szEnd))
        return TRUE;
    int iBound = 0;
    char szName[ZEB_CCH_MSG];
    char szOwner[ZEB_CCH_MSG];
    for (BOOL bMore = isuGetFirstQm(&szName, NULL, NULL, &szOwner); bMore;
         bMore = isuGetNextQm(&szName, NULL, NULL, &szOwner)) {
        if (_stricmp(szOwner, run.szInstance) != 0) {
            TraceText(kFunction, "Not stopping Qmgr %s as its another installation", szName);
            continue;
        }
        TraceText(kFunction, "Stopping Qmgr %s", szName);
        if (!run.bDeferred) {
            char szParameters[ZEB_CCH_MSG + 8];
            snprintf(szParameters, sizeof(szParameters), "-i %s", szName);
            UINT uiRc = LaunchProcess(szEnd, szParameters, NULL, SW_HIDE, NULL);
            if (uiRc != ZEB_RC_SUCCESS)
                TraceText(kFunction, "Unable to launch '%s'", szEnd);
            LaunchResult(run, uiRc);
        }
        iBound += kBounds.iPerQm;
    }
    if (!run.bDeferred) {
        run.llTicks += (LONGLONG)iBound * ZEB_STEP_TICKS;
        return TRUE;
    }
    return StartText(run, ZEB_MSG_WAIT_QMGRS) && WaitWhile(run, iBound, QmsRun, 1, TRUE);
}

// Step 8.
BOOL StopListeners(StopRun& run) {
    char szEnd[ZEB_CCH_PATH];
    BOOL bFound = MakeProgramPath(szEnd, ProgramBinSubfolder(), "endhxlsr.exe") && FileExists(szEnd);
    WriteTrace(kFunction, bFound ? "Found endhxlsr" : "Not found endhxlsr");
    int iBound = 0;
    char szName[ZEB_CCH_MSG];
    char szOwner[ZEB_CCH_MSG];
    for (BOOL bMore = isuGetFirstQm(&szName, NULL, NULL, &szOwner); bMore;
         bMore = isuGetNextQm(&szName, NULL, NULL, &szOwner)) {
        iBound += kBounds.iPerListener;
        if (!run.bDeferred)
            continue;
        if (_stricmp(szOwner, run.szInstance) != 0) {
            TraceText(kFunction, "Not stopping Qmgr %s listeners as its another installation", szName);
            continue;
        }
        TraceText(kFunction, "Stopping Qmgr %s listeners", szName);
        if (bFound) {
            char szParameters[ZEB_CCH_MSG + 8];
            snprintf(szParameters, sizeof(szParameters), "-m %s", szName);
            UINT uiRc = LaunchProcess(szEnd, szParameters, NULL, SW_HIDE, NULL);
            if (uiRc != ZEB_RC_SUCCESS)
                TraceText(kFunction, "Unable to launch '%s'", szEnd);
            LaunchResult(run, uiRc);
        }
    }
    if (!run.bDeferred) {
        run.llTicks += (LONGLONG)iBound * ZEB_STEP_TICKS;
        return TRUE;
    }
    return StartText(run, ZEB_MSG_WAIT_LISTENERS) && WaitWhile(run, iBound, ListenersRun, 1, TRUE);
}

// Step 10: the trace tool, waited for at most kToolTimeoutMs; its result is ignored.
void EndTrace(StopRun& run) {
    (void)run;
    char szEnd[ZEB_CCH_PATH];
    if (!MakeProgramPath(szEnd, ProgramBinSubfolder(), "endhxtrc.exe") || !FileExists(szEnd))
        return;
    if (LaunchAndWait(szEnd, "-a", NULL, SW_HIDE, NULL, kToolTimeoutMs) == ZEB_RC_SUSPEND)
        TraceText(kFunction, "***'%s' did not end within %d seconds", szEnd, (int)(kToolTimeoutMs / 1000));
}

// Step 13: on removal, the display tool tells whether a restart is needed (exit code 5).
void MarkReboot(StopRun& run) {
    char szRemove[ZEB_CCH_PATH];
    char szBypass[ZEB_CCH_PATH];
    if (!GetPropertyValue(run.hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), run.puiStat) ||
        !GetPropertyValue(run.hInstall, kFunction, PROP_ZEBBYPASSREBOOTCHECK, szBypass, sizeof(szBypass),
                          run.puiStat))
        return;
    char szDisplay[ZEB_CCH_PATH];
    if (szRemove[0] != '1' || szBypass[0] != '\0' ||
        !MakeProgramPath(szDisplay, ProgramBinSubfolder(), "dsphx.exe") || !FileExists(szDisplay))
        return;
    DWORD dwExit = 0;
    UINT uiRc = LaunchAndWait(szDisplay, "-a", NULL, SW_HIDE, &dwExit, kToolTimeoutMs);
    if (uiRc == ZEB_RC_SUSPEND) {
        TraceText(kFunction, "***'%s' did not end within %d seconds", szDisplay,
                  (int)(kToolTimeoutMs / 1000));
        return; // what it would have said is not known
    }
    LaunchResult(run, uiRc);
    if (uiRc != ZEB_RC_SUCCESS || dwExit != 5)
        return;
    if (!EnsureTempFolder(run.hInstall, kFunction)) {
        *run.puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szMarker[ZEB_CCH_PATH];
    if (TempFolder()[0] == '\0' || !MakeFilePath(szMarker, TempFolder(), ZEB_REBOOT_MARKER)) {
        TraceText(kFunction, "Unable to create reboot file '%s\\%s'", TempFolder(), ZEB_REBOOT_MARKER);
        return;
    }
    ZebKernelHandle hFile(
        CreateFileA(szMarker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!hFile.IsValid()) {
        TraceText(kFunction, "Unable to create reboot file '%s'", szMarker);
        return;
    }
    hFile.Close();
    TraceText(kFunction, "Created reboot file '%s'", szMarker);
}

void StopAllBody(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeBypass(hInstall, ZEB_FORBID_ROLLBACK))
        return;
    StopRun run;
    run.hInstall = hInstall;
    run.bDeferred = MsiGetMode(hInstall, MSIRUNMODE_SCHEDULED);
    run.puiStat = puiStat;
    run.llTicks = 0;
    WriteTrace(kFunction, run.bDeferred ? "Deferred execution" : "Executing in script generation");
    if (!ReadSettings(run))
        return;
    if (run.bDeferred && !CreateRecords(run))
        return;
    if (!isuBuildQmList(run.szDataFolder))
        TraceText(kFunction, "***Queue-manager list of '%s' incomplete", run.szDataFolder);
    BOOL bOldService = FALSE;
    if (!ReadNames(run) || !StopTheService(run, &bOldService) || !Pause(run) || !StopQueueManagers(run) ||
        !StopListeners(run))
        return;
    if (run.bDeferred) {
        WriteTrace(kFunction, "Closing the taskbar if it is still active");
        icsStopTaskbars(run.szInstance);
        EndTrace(run);
    }
    if (!Pause(run))
        return;
    if (run.bDeferred) {
        if (!StartText(run, ZEB_MSG_WAIT_FILES) || !WaitWhile(run, kBounds.iFiles, FilesInUse, 1, TRUE))
            return;
        MarkReboot(run);
        return;
    }
    run.llTicks += (LONGLONG)kBounds.iFiles * ZEB_STEP_TICKS;
    if (Cancelled(run, SetTickCount(run.llTicks)))
        return;
    if (bOldService)
        WaitWhile(run, kBounds.iOldService, ServiceRuns, 0, FALSE);
}

} // namespace

ZEB_ACTION iwiStopAllHx(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStopAllHx", NULL)) {
        StopAllBody(hInstall, &uiStat);
        isuFreeQmList();
    }
    return CaEpilog(hInstall, uiStat);
}
