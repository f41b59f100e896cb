// Test-only exports of zebitest.dll: the library's own objects with a few extra entry points that
// the real-engine tests call through the driver. Never part of zebiwicn.dll.
#include "zebitest.h"

#include "zebilogn.h"

#include <stdlib.h>
#include <string.h>

namespace {

const char kWriteTraceLines[] = "tstWriteTraceLines";
const long kMaxTraceLines = 1000000;
const long kDefaultWaitSteps = 20;
const long kMaxWaitSteps = 1200; // ten minutes

// Reads a property without the read pattern: its trace lines would land in the files under test.
BOOL ReadQuietly(MSIHANDLE hInstall, LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    DWORD cch = cchValue;
    if (MsiGetPropertyA(hInstall, pszName, pszValue, &cch) != ERROR_SUCCESS) {
        pszValue[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

} // namespace

// Writes ZEBTESTLINES trace lines "<ZEBTESTTAG> line <i> of <n>" and nothing else, so that a trace
// file shared with other processes holds exactly the lines written to it. No frame: the prolog's
// banner and property lines would go to the same files.
ZEB_ACTION tstWriteTraceLines(MSIHANDLE hInstall) {
    CaEnterUnframed(hInstall, kWriteTraceLines);

    UINT uiStat = ZEB_RC_SUCCESS;
    char szCount[ZEB_CCH_FLAG];
    char szTag[ZEB_CCH_FLAG];
    if (!ReadQuietly(hInstall, "ZEBTESTLINES", szCount, sizeof(szCount)) ||
        !ReadQuietly(hInstall, "ZEBTESTTAG", szTag, sizeof(szTag))) {
        TraceText(NULL, "***Can't read ZEBTESTLINES or ZEBTESTTAG");
        uiStat = ZEB_RC_FAILURE;
    } else {
        char* pszEnd = NULL;
        long lCount = strtol(szCount, &pszEnd, 10);
        if (szCount[0] == '\0' || *pszEnd != '\0' || lCount < 1 || lCount > kMaxTraceLines) {
            TraceText(NULL, "***Invalid line count '%s'", szCount);
            uiStat = ZEB_RC_FAILURE;
        } else {
            const char* pszSep = szTag[0] != '\0' ? " " : "";
            for (long i = 1; i <= lCount && uiStat == ZEB_RC_SUCCESS; i++) {
                // A cancel reply stops the loop, as it would stop an action.
                if (WriteTrace(NULL, "%s%sline %ld of %ld", szTag, pszSep, i, lCount) == ZEB_RC_CANCEL)
                    uiStat = ZEB_RC_CANCEL;
            }
        }
    }
    CaLeaveUnframed();
    return uiStat;
}

// ActionWait inside the frame: ZEBTESTSTEPS half-second steps (20 when not set).
ZEB_ACTION tstActionWait(MSIHANDLE hInstall) {
    static const char kFunction[] = "tstActionWait";
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kFunction, NULL)) {
        char szSteps[ZEB_CCH_FLAG];
        if (GetPropertyValue(hInstall, kFunction, "ZEBTESTSTEPS", szSteps, sizeof(szSteps), &uiStat)) {
            char* pszEnd = NULL;
            long lSteps = szSteps[0] == '\0' ? kDefaultWaitSteps : strtol(szSteps, &pszEnd, 10);
            if (pszEnd != NULL && (*pszEnd != '\0' || lSteps < 1 || lSteps > kMaxWaitSteps)) {
                TraceText(kFunction, "***Invalid step count '%s'", szSteps);
                uiStat = ZEB_RC_FAILURE;
            } else {
                uiStat = ActionWait((int)lSteps);
            }
        }
    }
    return CaEpilog(hInstall, uiStat);
}
