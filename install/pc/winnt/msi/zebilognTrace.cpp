// Trace log: every line goes to the installer log and to up to three trace files.
#include "zebilogn.h"
#include "zebhold.h"
#include "zebicson.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct TraceState {
    BOOL bWriting; // set while a line is written; lines produced meanwhile are dropped
    BOOL bDataFolderSwitch;
    BOOL bTempLogClosed;
    char szUserTrace[ZEB_CCH_PATH];
    char szUserLog[ZEB_CCH_PATH];
    char szTempLog[ZEB_CCH_PATH];
    char szDataFolder[ZEB_CCH_PATH];
    char szMergeSource[ZEB_CCH_PATH];
};
TraceState g_trace;

const char kLevel[] = "info";
const char kBanner1[] = "=============|||| Error, failure, problem, warning ||||=============";
const char kBanner2[] = "             vvvv                                  vvvv             ";

void TimeField(char (&szTime)[32]) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    snprintf(szTime, sizeof(szTime), "%2.2u:%2.2u:%2.2u", (unsigned)st.wHour, (unsigned)st.wMinute,
             (unsigned)st.wSecond);
}

// Reads a cached target path while the cache is empty. FALSE when the read failed.
BOOL ResolveCached(LPCSTR pszProperty, char (&szCache)[ZEB_CCH_PATH]) {
    if (szCache[0] != '\0')
        return TRUE;
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!GetPropertyValue(FrameSession(), NULL, pszProperty, szCache, sizeof(szCache), &uiStat))
        return FALSE;
    NormalizePath(FALSE, szCache);
    return TRUE;
}

// Several processes append to the same files. A stream opened with "a" finds the end and then
// writes, so two writers can both write at the same end and one line is lost. Each line therefore
// goes out in one write, as text mode would write it ("\n" as "\r\n"), through a handle that
// appends only, while the writer holds a lock on one byte far beyond any end of file: every writer
// of this library takes it, and readers are not hindered. A lock not had within a second (a
// writer hung while holding it) does not stop the line.
const DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;
const DWORD kAppendLockWaitMs = 1000;

BOOL LockForAppend(HANDLE hFile) {
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (LockFile(hFile, 0, kAppendLockOffsetHigh, 1, 0))
            return TRUE;
        if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount() - dwStart >= kAppendLockWaitMs)
            return FALSE;
        Sleep(1);
    }
}

void AppendToFile(LPCSTR pszPath, LPCSTR pszLine) {
    if (pszPath == NULL || pszPath[0] == '\0')
        return;
    size_t cbText = strlen(pszLine) + 2;
    for (const char* p = pszLine; (p = strchr(p, '\n')) != NULL; p++)
        cbText++;
    ZebHeap<char> text(cbText <= 0xFFFFFFFFu ? (char*)malloc(cbText) : NULL);
    if (!text.IsValid())
        return;
    char* pOut = text.Get();
    for (const char* p = pszLine; *p != '\0'; p++) {
        if (*p == '\n')
            *pOut++ = '\r';
        *pOut++ = *p;
    }
    *pOut++ = '\r';
    *pOut++ = '\n';

    // Read access only because a lock needs read or write access; writes still go to the end.
    ZebKernelHandle hFile(CreateFileA(pszPath, FILE_READ_DATA | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, NULL));
    if (!hFile.IsValid())
        return;
    BOOL bLocked = LockForAppend(hFile.Get());
    DWORD cbWritten = 0;
    WriteFile(hFile.Get(), text.Get(), (DWORD)cbText, &cbWritten, NULL);
    if (bLocked)
        UnlockFile(hFile.Get(), 0, kAppendLockOffsetHigh, 1, 0);
}

// Writes prefix and text as one line; the text may have any length.
UINT WritePrefixed(const char (&szTime)[32], LPCSTR pszFunction, LPCSTR pszText) {
    LPCSTR pszAction = FrameTraceAction();
    size_t cch = strlen(pszText) + strlen(pszAction) + (pszFunction ? strlen(pszFunction) : 0) + 64;
    ZebHeap<char> line((char*)malloc(cch));
    if (!line.IsValid())
        return ZEB_RC_FAILURE;
    if (pszFunction != NULL)
        snprintf(line.Get(), cch, "%s HXCA %s(%s) %s: %s", szTime, pszAction, pszFunction, kLevel, pszText);
    else
        snprintf(line.Get(), cch, "%s HXCA %s %s: %s", szTime, pszAction, kLevel, pszText);
    return WriteLogLine(line.Get());
}

} // namespace

static UINT DeliverLine(LPCSTR pszLine);

void ResetTraceState(void) {
    memset(&g_trace, 0, sizeof(g_trace));
}

void SetTraceDataFolderSwitch(BOOL bOn) {
    g_trace.bDataFolderSwitch = bOn;
}
void SetTempLogClosedSwitch(BOOL bOn) {
    g_trace.bTempLogClosed = bOn;
}

static char (&TraceFileCache(int iFile))[ZEB_CCH_PATH] {
    switch (iFile) {
    case ZEB_TRACE_USER_TRACE:
        return g_trace.szUserTrace;
    case ZEB_TRACE_USER_LOG:
        return g_trace.szUserLog;
    default:
        return g_trace.szTempLog;
    }
}

LPCSTR TraceFilePath(int iFile) {
    return TraceFileCache(iFile);
}

void SetTraceFilePath(int iFile, LPCSTR pszPath) {
    char(&szCache)[ZEB_CCH_PATH] = TraceFileCache(iFile);
    lstrcpynA(szCache, pszPath, sizeof(szCache));
    NormalizePath(FALSE, szCache);
}

void SetTraceMergeSource(LPCSTR pszPath) {
    lstrcpynA(g_trace.szMergeSource, pszPath, sizeof(g_trace.szMergeSource));
    NormalizePath(FALSE, g_trace.szMergeSource);
}

UINT WriteLogLine(LPCSTR pszLine) {
    // The property reads below trace; those lines must be dropped, never recurse.
    BOOL bWasWriting = g_trace.bWriting;
    g_trace.bWriting = TRUE;
    UINT uiRc = DeliverLine(pszLine);
    g_trace.bWriting = bWasWriting;
    return uiRc;
}

static UINT DeliverLine(LPCSTR pszLine) {
    UINT uiRc = ZEB_RC_SUCCESS;
    // A line the installer log cannot take still goes to the trace files: it may be the only
    // report of a failure.
    ZebMsiHandle hRec(MsiCreateRecord(1));
    // The text goes in as a field value, not as the template, so brackets in paths and values
    // are logged as they are instead of being formatted by the engine.
    if (!hRec.IsValid() || MsiRecordSetStringA(hRec.Get(), 0, "[1]") != ERROR_SUCCESS ||
        MsiRecordSetStringA(hRec.Get(), 1, pszLine) != ERROR_SUCCESS)
        uiRc = ZEB_RC_FAILURE;
    else
        CheckMsiPmRc("INSTALLMESSAGE_INFO",
                     MsiProcessMessage(FrameSession(), INSTALLMESSAGE_INFO, hRec.Get()), &uiRc);
    if (!hRec.Close())
        uiRc = ZEB_RC_FAILURE;

    if (!ResolveCached(PROP_ZEBUSERTRACEPATH, g_trace.szUserTrace) ||
        !ResolveCached(PROP_ZEBUSERLOGPATH, g_trace.szUserLog))
        return ZEB_RC_FAILURE;
    char szTempLog[ZEB_CCH_PATH] = "";
    if (g_trace.bDataFolderSwitch) {
        if (!ResolveCached(PROP_ZEBDATFOLDER, g_trace.szDataFolder))
            return ZEB_RC_FAILURE;
        if (g_trace.szDataFolder[0] != '\0')
            MakeFilePath(szTempLog, g_trace.szDataFolder, ZEB_DATA_TRACE_FILE);
    } else if (!g_trace.bTempLogClosed) {
        if (!ResolveCached(PROP_ZEBTEMPLOGPATH, g_trace.szTempLog))
            return ZEB_RC_FAILURE;
        lstrcpynA(szTempLog, g_trace.szTempLog, sizeof(szTempLog));
    }

    const LPCSTR apszFiles[] = {g_trace.szUserTrace, g_trace.szUserLog, szTempLog};
    for (LPCSTR pszFile : apszFiles) {
        // A line never goes into the file being merged: it would be read back without end.
        if (g_trace.szMergeSource[0] == '\0' || lstrcmpiA(pszFile, g_trace.szMergeSource) != 0)
            AppendToFile(pszFile, pszLine);
    }
    return uiRc;
}

UINT WriteTrace(LPCSTR pszFunction, LPCSTR pszFormat, ...) {
    if (g_trace.bWriting)
        return ZEB_RC_SUCCESS;
    g_trace.bWriting = TRUE;

    char szText[ZEB_CCH_MSG];
    va_list args;
    va_start(args, pszFormat);
    vsnprintf(szText, sizeof(szText), pszFormat, args);
    va_end(args);

    char szTime[32];
    TimeField(szTime);
    char szLine[ZEB_CCH_MSG];
    int cchLine; // longer lines are cut at 515 characters
    if (pszFunction != NULL)
        cchLine = snprintf(szLine, sizeof(szLine), "%s HXCA %s(%s) %s: %s", szTime, FrameTraceAction(),
                           pszFunction, kLevel, szText);
    else
        cchLine =
            snprintf(szLine, sizeof(szLine), "%s HXCA %s %s: %s", szTime, FrameTraceAction(), kLevel, szText);
    (void)cchLine;

    UINT uiRc = WriteLogLine(szLine);
    g_trace.bWriting = FALSE;
    return uiRc;
}

UINT WriteTraceText(LPCSTR pszText, LPCSTR pszFunction) {
    if (g_trace.bWriting)
        return ZEB_RC_SUCCESS;
    g_trace.bWriting = TRUE;
    // One time for the banner and the line it announces.
    char szTime[32];
    TimeField(szTime);
    if (strncmp(pszText, "***", 3) == 0) {
        WritePrefixed(szTime, NULL, kBanner1);
        WritePrefixed(szTime, NULL, kBanner2);
    }
    UINT uiRc = WritePrefixed(szTime, pszFunction, pszText);
    g_trace.bWriting = FALSE;
    return uiRc;
}

UINT WriteTraceRaw(LPCSTR pszLine) {
    if (g_trace.bWriting)
        return ZEB_RC_SUCCESS;
    g_trace.bWriting = TRUE;
    UINT uiRc = WriteLogLine(pszLine);
    g_trace.bWriting = FALSE;
    return uiRc;
}

UINT TraceText(LPCSTR pszFunction, LPCSTR pszFormat, ...) {
    if (g_trace.bWriting)
        return ZEB_RC_SUCCESS;
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    int cch = vsnprintf(NULL, 0, pszFormat, copy);
    va_end(copy);
    UINT uiRc = ZEB_RC_FAILURE;
    ZebHeap<char> text(cch >= 0 ? (char*)malloc((size_t)cch + 1) : NULL);
    if (text.IsValid()) {
        vsnprintf(text.Get(), (size_t)cch + 1, pszFormat, args);
        uiRc = WriteTraceText(text.Get(), pszFunction);
    }
    va_end(args);
    return uiRc;
}

UINT CheckMsiPmRc(LPCSTR pszType, int iReply, UINT* puiStat) {
    if (iReply != IDCANCEL)
        return ZEB_RC_SUCCESS;
    SetCancelFlag();
    *puiStat = ZEB_RC_CANCEL;
    WriteTrace(NULL, "***MsiProcessMessage('%s') cancelled (IDCANCEL)", pszType);
    return ZEB_RC_CANCEL;
}

BOOL iwiFormatMsgBuffer(char (&szOut)[ZEB_CCH_MSG], LPCSTR pszMessage, LPCSTR pszInsert1, LPCSTR pszInsert2,
                        LPCSTR pszInsert3, LPCSTR pszInsert4) {
    DWORD_PTR args[4] = {(DWORD_PTR)(pszInsert1 ? pszInsert1 : ""), (DWORD_PTR)(pszInsert2 ? pszInsert2 : ""),
                         (DWORD_PTR)(pszInsert3 ? pszInsert3 : ""),
                         (DWORD_PTR)(pszInsert4 ? pszInsert4 : "")};
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, pszMessage, 0, 0,
                               szOut, sizeof(szOut), (va_list*)args);
    DWORD dwErr = cch == 0 ? GetLastError() : ERROR_SUCCESS;
    if (cch == 0 && dwErr == ERROR_INSUFFICIENT_BUFFER) {
        // Long inserts (a refused name of hundreds of characters) still show, cut at the buffer,
        // rather than the message with its inserts unfilled.
        LPSTR pszAll = NULL;
        cch = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                 FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             pszMessage, 0, 0, (LPSTR)&pszAll, 0, (va_list*)args);
        if (cch != 0 && pszAll != NULL)
            lstrcpynA(szOut, pszAll, sizeof(szOut));
        else
            dwErr = GetLastError();
        if (pszAll != NULL)
            LocalFree(pszAll);
    }
    if (cch == 0) {
        TraceText(NULL, "***Error %d from FormatMessage(), '%s'", (int)dwErr, pszMessage);
        lstrcpynA(szOut, pszMessage, sizeof(szOut));
        return FALSE;
    }
    return TRUE;
}
