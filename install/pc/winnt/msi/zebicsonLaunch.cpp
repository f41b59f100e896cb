// Starting programs through the shell, waiting for them, and running a command through the
// command interpreter with its output traced.
#include "zebicson.h"
#include "zebhold.h"
#include "zebilogn.h"

#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kLaunchWithLog[] = "LaunchAppAndWaitWithLog";
const DWORD kUnknownExitCode = 0xFFFFFFFF;

struct LaunchState {
    BOOL bProgramFolderRead;
    char szProgramFolder[ZEB_CCH_PATH];
};
LaunchState g_launch;

LPCSTR LastPart(LPCSTR pszPath) {
    LPCSTR p = strrchr(pszPath, '\\');
    return p != NULL ? p + 1 : pszPath;
}

// The folder a program runs in: the one given or else the program's own (the text before its
// last backslash, "" when it has none), in a buffer of its length. FALSE when there is no memory.
BOOL WorkingFolder(LPCSTR pszProgram, LPCSTR pszFolder, ZebHeap<char>& folder) {
    LPCSTR pszFrom = pszFolder;
    size_t cch = 0;
    if (pszFolder != NULL && pszFolder[0] != '\0') {
        cch = strlen(pszFolder);
    } else {
        pszFrom = pszProgram;
        LPCSTR pszLast = strrchr(pszProgram, '\\');
        cch = pszLast != NULL ? (size_t)(pszLast - pszProgram) : 0;
    }
    folder.Reset((char*)malloc(cch + 1));
    if (!folder.IsValid()) {
        TraceText(NULL, "***Unable to allocate working folder buffer 0x%8.8lx", (unsigned long)(cch + 1));
        return FALSE;
    }
    memcpy(folder.Get(), pszFrom, cch);
    folder.Get()[cch] = '\0';
    return TRUE;
}

// The shell's "Open"; the process handle, when the shell gives one, goes to *phProcess.
BOOL ShellOpen(LPCSTR pszProgram, LPCSTR pszParameters, LPCSTR pszFolder, int nShow, ULONG fMask,
               HANDLE* phProcess) {
    SHELLEXECUTEINFOA sei;
    memset(&sei, 0, sizeof(sei));
    sei.cbSize = sizeof(sei);
    sei.fMask = fMask;
    sei.lpVerb = "Open";
    sei.lpFile = pszProgram;
    sei.lpParameters = pszParameters;
    sei.lpDirectory = pszFolder[0] != '\0' ? pszFolder : NULL;
    sei.nShow = nShow;
    *phProcess = NULL;
    if (!ShellExecuteExA(&sei))
        return FALSE;
    *phProcess = sei.hProcess;
    return TRUE;
}

BOOL IsCommandInterpreter(LPCSTR pszName) {
    return _stricmp(pszName, "cmd") == 0 || _strnicmp(pszName, "cmd.", 4) == 0;
}

// ZEBPGMFOLDER, read once per load, without a trailing backslash.
BOOL ReadProgramFolder(void) {
    if (g_launch.bProgramFolderRead)
        return TRUE;
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!GetPropertyValue(FrameSession(), kLaunchWithLog, PROP_ZEBPGMFOLDER, g_launch.szProgramFolder,
                          sizeof(g_launch.szProgramFolder), &uiStat))
        return FALSE;
    NormalizePath(FALSE, g_launch.szProgramFolder);
    g_launch.bProgramFolderRead = TRUE;
    return TRUE;
}

// Traces the output file line by line, in pieces of at most 515 characters.
UINT TraceOutputFile(LPCSTR pszPath) {
    if (!FileExists(pszPath)) {
        TraceText(NULL, "***Can't find '%s'", pszPath);
        return ZEB_RC_FAILURE;
    }
    TraceText(NULL, "Reading '%s'", pszPath);
    ZebFile file(fopen(pszPath, "rt"));
    if (!file.IsValid()) {
        TraceText(NULL, "***Can't open '%s'", pszPath);
        return ZEB_RC_FAILURE;
    }
    char szPiece[ZEB_CCH_MSG];
    while (fgets(szPiece, sizeof(szPiece), file.Get()) != NULL) {
        szPiece[strcspn(szPiece, "\r\n")] = '\0';
        WriteTraceText(szPiece, kLaunchWithLog);
    }
    return ZEB_RC_SUCCESS;
}

} // namespace

void ResetLaunchState(void) {
    memset(&g_launch, 0, sizeof(g_launch));
}

UINT LaunchProcess(LPCSTR pszProgram, LPCSTR pszParameters, LPCSTR pszFolder, int nShow, HANDLE* phProcess) {
    if (phProcess != NULL)
        *phProcess = NULL;
    if (pszParameters == NULL)
        pszParameters = "";
    ZebHeap<char> folder;
    if (!WorkingFolder(pszProgram, pszFolder, folder))
        return ZEB_RC_FAILURE;
    if (strchr(pszProgram, '\\') != NULL && !FileExists(pszProgram)) {
        TraceText(NULL, "***Unable to find and run '%s'", pszProgram);
        return ZEB_RC_FAILURE;
    }

    TraceText(NULL, "Launching process '%s' '%s'; dir '%s'.", pszProgram, pszParameters, folder.Get());
    HANDLE hStarted = NULL;
    if (!ShellOpen(pszProgram, pszParameters, folder.Get(), nShow, SEE_MASK_NOCLOSEPROCESS, &hStarted)) {
        TraceText(NULL, "***Unable to launch process; code %d.", (int)GetLastError());
        return ZEB_RC_FAILURE;
    }
    ZebKernelHandle process(hStarted);
    TraceText(NULL, "Launched OK");
    if (phProcess != NULL)
        *phProcess = process.Detach();
    return ZEB_RC_SUCCESS;
}

UINT LaunchAndWait(LPCSTR pszProgram, LPCSTR pszParameters, LPCSTR pszFolder, int nShow, DWORD* pdwExitCode,
                   DWORD dwTimeoutMs) {
    if (pdwExitCode != NULL)
        *pdwExitCode = kUnknownExitCode;
    if (pszParameters == NULL)
        pszParameters = "";
    ZebHeap<char> folder;
    if (!WorkingFolder(pszProgram, pszFolder, folder))
        return ZEB_RC_FAILURE;

    // The command interpreter is always the system's, whatever folder the caller put in front.
    LPCSTR pszRun = pszProgram;
    if (IsCommandInterpreter(LastPart(pszProgram))) {
        pszRun = "cmd";
    } else if (strchr(pszProgram, '\\') != NULL && !FileExists(pszProgram)) {
        TraceText(NULL, "***Unable to find and run '%s'", pszProgram);
        return ZEB_RC_FAILURE;
    }

    TraceText(NULL, "Launching process '%s' '%s'; dir '%s'.", pszRun, pszParameters, folder.Get());
    HANDLE hStarted = NULL;
    if (!ShellOpen(pszRun, pszParameters, folder.Get(), nShow, SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI,
                   &hStarted)) {
        TraceText(NULL, "***Unable to launch process '%s'; code %d.", pszRun, (int)GetLastError());
        return ZEB_RC_FAILURE;
    }
    ZebKernelHandle process(hStarted);

    DWORD dwWait = WaitForSingleObject(process.Get(), dwTimeoutMs);
    if (dwWait == WAIT_TIMEOUT) {
        TraceText(NULL, "Process '%s' timed out.", pszRun);
        return ZEB_RC_SUSPEND; // left running
    }
    if (dwWait != WAIT_OBJECT_0) {
        TraceText(NULL, "***Process '%s' wait error.", pszRun);
        return ZEB_RC_SUCCESS;
    }
    DWORD dwCode = 0;
    if (!GetExitCodeProcess(process.Get(), &dwCode))
        TraceText(NULL, "***Error %d getting process '%s' exit code.", (int)GetLastError(), pszRun);
    else if (dwCode == STILL_ACTIVE)
        TraceText(NULL, "Process '%s' still active", pszRun); // or it ended with that code
    else {
        TraceText(NULL, "Process '%s' ended; exit code 0x%8.8lx", pszRun, (unsigned long)dwCode);
        if (pdwExitCode != NULL)
            *pdwExitCode = dwCode;
    }
    return ZEB_RC_SUCCESS;
}

UINT LaunchAppAndWaitWithLog(LPCSTR pszArguments, DWORD dwTimeoutMs) {
    if (!ReadProgramFolder())
        return ZEB_RC_FAILURE;
    // An empty folder would make "\bin64" of the current drive the folder searched first.
    if (g_launch.szProgramFolder[0] == '\0') {
        TraceText(NULL, "***Property '%s' is empty; not running '%s'", PROP_ZEBPGMFOLDER, pszArguments);
        return ZEB_RC_FAILURE;
    }
    char szBin[ZEB_CCH_PATH];
    if (!MakeFilePath(szBin, g_launch.szProgramFolder, ProgramBinSubfolder())) {
        TraceText(NULL, "***Path too long: '%s\\%s'", g_launch.szProgramFolder, ProgramBinSubfolder());
        return ZEB_RC_FAILURE;
    }
    char szOutput[ZEB_CCH_PATH];
    lstrcpynA(szOutput, iiiGetTempFileName("zebt", ".txt"), sizeof(szOutput));
    if (szOutput[0] == '\0') {
        TraceText(NULL, "***No temporary file name for the output of '%s'", pszArguments);
        return ZEB_RC_FAILURE;
    }
    iiiDeleteFile(FALSE, TRUE, NULL, szOutput, FALSE, NULL, "", 0); // now; a failure is traced
    // A file left from an earlier run would be traced as this command's output.
    if (FileExists(szOutput)) {
        TraceText(NULL, "***Can't remove the old output file '%s'", szOutput);
        return ZEB_RC_FAILURE;
    }

    static const char kRedirect[] = "%s 1>\"%s\" 2>&1";
    size_t cchParameters = strlen(pszArguments) + strlen(szOutput) + sizeof(kRedirect);
    ZebHeap<char> parameters((char*)malloc(cchParameters));
    if (!parameters.IsValid()) {
        TraceText(NULL, "***Unable to allocate cmd parameter buffer 0x%8.8lx", (unsigned long)cchParameters);
        return ZEB_RC_FAILURE;
    }
    snprintf(parameters.Get(), cchParameters, kRedirect, pszArguments, szOutput);

    UINT uiRc = LaunchAndWait("cmd", parameters.Get(), szBin, SW_HIDE, NULL, dwTimeoutMs);
    if (TraceOutputFile(szOutput) != ZEB_RC_SUCCESS)
        return ZEB_RC_FAILURE;
    return uiRc;
}
