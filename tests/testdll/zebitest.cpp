// Test-only exports of zebitest.dll: the library's own objects with a few extra entry points that
// the real-engine tests call through the driver. Never part of zebiwicn.dll.
#include "zebitest.h"

#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnDelete.h"
#include "zebiwicnUtil.h"

#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kWriteTraceLines[] = "tstWriteTraceLines";
const char kIniLookups[] = "tstIniLookups";
const char kFileOperations[] = "tstFileOperations";
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

void IniLookupsBody(MSIHANDLE hInstall, UINT* puiStat) {
    char szName[ZEB_CCH_MSG];
    char szFeatures[ZEB_CCH_FEATURELIST];
    if (!GetPropertyValue(hInstall, kIniLookups, "ZEBTESTINIPROPERTY", szName, sizeof(szName), puiStat) ||
        !GetPropertyValue(hInstall, kIniLookups, "ZEBTESTINIFEATURES", szFeatures, sizeof(szFeatures),
                          puiStat))
        return;
    if (szName[0] != '\0') {
        char szValue[ZEB_CCH_MSG];
        char szSource[ZEB_CCH_PATH];
        UINT uiRc = iwiGetIniProperty(szName, szValue, &szSource);
        if (uiRc != ZEB_RC_SUCCESS) {
            *puiStat = uiRc;
            return;
        }
        if (!SetPropertyValue(hInstall, kIniLookups, "ZEBTESTINIVALUE", szValue, puiStat) ||
            !SetPropertyValue(hInstall, kIniLookups, "ZEBTESTINISOURCE", szSource, puiStat))
            return;
    }

    char szStates[ZEB_CCH_FEATURELIST] = "";
    size_t cchStates = 0;
    for (char* pszItem = strtok(szFeatures, ","); pszItem != NULL; pszItem = strtok(NULL, ",")) {
        char* pszParent = strchr(pszItem, ':');
        if (pszParent != NULL)
            *pszParent++ = '\0';
        int iState;
        UINT uiRc = iwiGetIniFeature(pszItem, pszParent, &iState);
        if (uiRc != ZEB_RC_SUCCESS) {
            *puiStat = uiRc;
            return;
        }
        int cch = snprintf(szStates + cchStates, sizeof(szStates) - cchStates, "%s=%d;", pszItem, iState);
        if (cch < 0 || (size_t)cch >= sizeof(szStates) - cchStates) {
            TraceText(kIniLookups, "***Too many features");
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        cchStates += (size_t)cch;
    }
    SetPropertyValue(hInstall, kIniLookups, "ZEBTESTINISTATES", szStates, puiStat);
}

void LaunchBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "tstLaunch";
    char szMode[ZEB_CCH_FLAG];
    char szProgram[ZEB_CCH_MSG];
    char szParameters[ZEB_CCH_MSG];
    char szFolder[ZEB_CCH_PATH];
    char szTimeout[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, "ZEBTESTLAUNCH", szMode, sizeof(szMode), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, "ZEBTESTPROGRAM", szProgram, sizeof(szProgram), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, "ZEBTESTPARAMETERS", szParameters, sizeof(szParameters),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, "ZEBTESTFOLDER", szFolder, sizeof(szFolder), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, "ZEBTESTTIMEOUT", szTimeout, sizeof(szTimeout), puiStat))
        return;
    char* pszEnd = NULL;
    unsigned long ulTimeout = szTimeout[0] == '\0' ? INFINITE : strtoul(szTimeout, &pszEnd, 10);
    if (pszEnd != NULL && *pszEnd != '\0') {
        TraceText(kFunction, "***Invalid time-out '%s'", szTimeout);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    DWORD dwExitCode = 0xFFFFFFFF;
    if (strcmp(szMode, "process") == 0) {
        *puiStat = LaunchProcess(szProgram, szParameters, szFolder, SW_HIDE, NULL);
    } else if (strcmp(szMode, "wait") == 0) {
        *puiStat = LaunchAndWait(szProgram, szParameters, szFolder, SW_HIDE, &dwExitCode, (DWORD)ulTimeout);
    } else if (strcmp(szMode, "log") == 0) {
        *puiStat = LaunchAppAndWaitWithLog(szParameters, (DWORD)ulTimeout);
    } else {
        TraceText(kFunction, "***Invalid launch '%s'", szMode);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szCode[ZEB_CCH_FLAG];
    snprintf(szCode, sizeof(szCode), "0x%8.8lx", (unsigned long)dwExitCode);
    UINT uiStat = ZEB_RC_SUCCESS;
    SetPropertyValue(hInstall, kFunction, "ZEBTESTEXITCODE", szCode, &uiStat);
}

void FileOperationsBody(MSIHANDLE hInstall, UINT* puiStat) {
    char szOp[ZEB_CCH_FLAG];
    char szPath[ZEB_CCH_PATH];
    char szTarget[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFileOperations, "ZEBTESTOP", szOp, sizeof(szOp), puiStat) ||
        !GetPropertyValue(hInstall, kFileOperations, "ZEBTESTPATH", szPath, sizeof(szPath), puiStat) ||
        !GetPropertyValue(hInstall, kFileOperations, "ZEBTESTTARGET", szTarget, sizeof(szTarget), puiStat))
        return;
    if (strcmp(szOp, "deletelocked") == 0) {
        // Sharing is per handle: our own open without sharing blocks the delete as another's would.
        ZebKernelHandle hFile(
            CreateFileA(szPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
        if (!hFile.IsValid()) {
            TraceText(kFileOperations, "***Can't open '%s' %lu", szPath, (unsigned long)GetLastError());
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        DWORD dwErr = 0;
        BOOL bDone = iiiDeleteFile(FALSE, TRUE, NULL, szPath, TRUE, &dwErr, "", 2);
        TraceText(kFileOperations, "Delete result %d error %lu", (int)bDone, (unsigned long)dwErr);
    } else if (strcmp(szOp, "copy") == 0) {
        *puiStat = CopyOneFile(FALSE, szPath, szTarget, NULL);
    } else if (strcmp(szOp, "cancel") == 0) {
        SetCancelFlag(); // what a cancel in another process that has this library loaded does
    } else {
        TraceText(kFileOperations, "***Unknown operation '%s'", szOp);
        *puiStat = ZEB_RC_FAILURE;
    }
}

} // namespace

// Runs a launcher as the actions do: ZEBTESTLAUNCH "process" (LaunchProcess), "wait"
// (LaunchAndWait) or "log" (LaunchAppAndWaitWithLog, with ZEBTESTPARAMETERS as the cmd
// arguments), the program ZEBTESTPROGRAM with ZEBTESTPARAMETERS in ZEBTESTFOLDER, hidden, waiting
// ZEBTESTTIMEOUT milliseconds (empty: no limit). The launcher's result is the status, 1604 included;
// the exit code goes to ZEBTESTEXITCODE ("0x%8.8lx").
ZEB_ACTION tstLaunch(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "tstLaunch", NULL))
        LaunchBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

// File operations whose outcome is the system's own: ZEBTESTOP names one, ZEBTESTPATH its file.
//   deletelocked  deletes the file now (strict) while holding it open without sharing; traces
//                 "Delete result <TRUE/FALSE> error <code>"
//   copy          CopyOneFile to the full path ZEBTESTTARGET; the status is its result
//   cancel        sets the shared cancel flag, as a cancel in another process does
ZEB_ACTION tstFileOperations(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kFileOperations, NULL))
        FileOperationsBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

// Looks a setting and features up as the actions do: ZEBTESTINIPROPERTY names the setting
// (iwiGetIniProperty), ZEBTESTINIFEATURES lists "Feature" or "Feature:Parent" items separated by
// commas (iwiGetIniFeature). The answers go to ZEBTESTINIVALUE, ZEBTESTINISOURCE and
// ZEBTESTINISTATES ("Feature=state;" each); a failed lookup is the call's status.
ZEB_ACTION tstIniLookups(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kIniLookups, NULL))
        IniLookupsBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

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

namespace {

const char kStackRemovals[] = "tstStackRemovals";

// One stacking operation "kind|path|component|mode[|removeFolders|descend]", cut up in place.
UINT StackOne(char* pszOp) {
    char* apszField[6] = {NULL, NULL, NULL, NULL, NULL, NULL};
    int cFields = 0;
    for (char* p = pszOp; p != NULL && cFields < 6; cFields++) {
        apszField[cFields] = p;
        p = strchr(p, '|');
        if (p != NULL)
            *p++ = '\0';
    }
    BOOL bScan = cFields == 6 && strcmp(apszField[0], "scan") == 0;
    if (cFields != 4 && !bScan) {
        TraceText(kStackRemovals, "***Unknown stacking operation '%s'", pszOp);
        return ZEB_RC_FAILURE;
    }
    int iMode = atoi(apszField[3]);
    if (strcmp(apszField[0], "file") == 0)
        return StackDeleteFiles(apszField[1], apszField[2], iMode);
    if (strcmp(apszField[0], "folder") == 0)
        return StackDeleteFolder(apszField[1], apszField[2], iMode);
    if (strcmp(apszField[0], "key") == 0)
        return StackDeleteRegistryKey(apszField[1], apszField[2], iMode);
    if (bScan)
        return ScanAndStackDeleteFolderFiles(apszField[1], apszField[2], iMode, atoi(apszField[4]) != 0,
                                             atoi(apszField[5]) != 0);
    TraceText(kStackRemovals, "***Unknown stacking operation '%s'", pszOp);
    return ZEB_RC_FAILURE;
}

void StackRemovalsBody(MSIHANDLE hInstall, UINT* puiStat) {
    char szOps[ZEB_CCH_FEATURELIST];
    if (!GetPropertyValue(hInstall, kStackRemovals, "ZEBTESTSTACK", szOps, sizeof(szOps), puiStat))
        return;
    for (char* pszOp = szOps; pszOp != NULL && *pszOp != '\0';) {
        char* pszNext = strchr(pszOp, ';');
        if (pszNext != NULL)
            *pszNext++ = '\0';
        if (StackOne(pszOp) != ZEB_RC_SUCCESS) {
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        pszOp = pszNext;
    }
}

void ListboxBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "tstListbox";
    char szProperty[ZEB_CCH_PATH];
    char szTexts[ZEB_CCH_FEATURELIST];
    if (!GetPropertyValue(hInstall, kFunction, "ZEBTESTLISTPROPERTY", szProperty, sizeof(szProperty),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, "ZEBTESTLISTTEXTS", szTexts, sizeof(szTexts), puiStat))
        return;
    UINT uiRc = ClearListbox(szProperty);
    for (char* pszText = szTexts; uiRc == ZEB_RC_SUCCESS && pszText != NULL && *pszText != '\0';) {
        char* pszNext = strchr(pszText, '|');
        if (pszNext != NULL)
            *pszNext++ = '\0';
        uiRc = AddListboxItemValue(szProperty, pszText, NULL);
        pszText = pszNext;
    }
    if (uiRc != ZEB_RC_SUCCESS)
        *puiStat = uiRc;
}

void BinaryFileBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "tstBinaryFile";
    char szPrefix[ZEB_CCH_PATH];
    char szContinuation[ZEB_CCH_PATH];
    char szOutput[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, "ZEBTESTBINARYPREFIX", szPrefix, sizeof(szPrefix), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, "ZEBTESTBINARYCONT", szContinuation, sizeof(szContinuation),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, "ZEBTESTBINARYOUT", szOutput, sizeof(szOutput), puiStat))
        return;
    char szSuffix[ZEB_CCH_MSG];
    if (!iwiGetFileFromBinary(szPrefix, szContinuation[0] != '\0' ? szContinuation : NULL, szOutput,
                              &szSuffix)) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    SetPropertyValue(hInstall, kFunction, "ZEBTESTBINARYSUFFIX", szSuffix, puiStat);
}

} // namespace

// Stacks removal rows as ZEBTESTSTACK lists them, in order: "file|PATH|COMPONENT|MODE",
// "folder|PATH\|COMPONENT|MODE", "key|KEYPATH|COMPONENT|MODE" or
// "scan|PATH\PATTERN|COMPONENT|MODE|REMOVEFOLDERS|DESCEND" (0 or 1), separated by ";". The first
// operation that fails ends the call with 1603.
ZEB_ACTION tstStackRemovals(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kStackRemovals, NULL))
        StackRemovalsBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

// Clears the list box of property ZEBTESTLISTPROPERTY, then adds the texts of ZEBTESTLISTTEXTS
// (separated by "|") with their order numbers as values.
ZEB_ACTION tstListbox(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "tstListbox", NULL))
        ListboxBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

// Writes the Binary row ZEBTESTBINARYPREFIX (+ ZEBTESTBINARYCONT when set) to ZEBTESTBINARYOUT and
// sets ZEBTESTBINARYSUFFIX to its component suffix; 1603 when no row was written.
ZEB_ACTION tstBinaryFile(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "tstBinaryFile", NULL))
        BinaryFileBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

// Reads the previous installation record (GetHxRegistryInfo) and sets ZEBTESTQB17 to
// "java=<0|1> samples=<0|1> level=<level>"; the status is the record's.
ZEB_ACTION tstHxRegistryInfo(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "tstHxRegistryInfo", NULL)) {
        uiStat = GetHxRegistryInfo();
        const ZebPrevRecord& r = PrevRecord();
        char szResult[ZEB_CCH_MSG];
        snprintf(szResult, sizeof(szResult), "java=%d samples=%d level=%ld", r.bQb17Java ? 1 : 0,
                 r.bQb17Samples ? 1 : 0, (long)r.lProduct);
        SetPropertyValue(hInstall, "tstHxRegistryInfo", "ZEBTESTQB17", szResult, &uiStat);
    }
    return CaEpilog(hInstall, uiStat);
}

// ---- Shortcuts ---------------------------------------------------------------------------------

namespace {

const char kMakeShortcuts[] = "tstMakeShortcuts";

// One shortcut file made as an installer or a user would: the shell's shortcut object, saved.
UINT MakeOneShortcut(LPCSTR pszLink, LPCSTR pszTarget) {
    ZebCom<IShellLinkA> link;
    HRESULT hr =
        CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)link.Out());
    ZebCom<IPersistFile> file;
    if (SUCCEEDED(hr))
        hr = link.Get()->SetPath(pszTarget);
    if (SUCCEEDED(hr))
        hr = link.Get()->QueryInterface(IID_IPersistFile, (void**)file.Out());
    WCHAR wszLink[ZEB_CCH_PATH];
    if (SUCCEEDED(hr) && MultiByteToWideChar(CP_ACP, 0, pszLink, -1, wszLink, ZEB_CCH_PATH) == 0)
        hr = E_INVALIDARG;
    if (SUCCEEDED(hr))
        hr = file.Get()->Save(wszLink, TRUE);
    TraceText(kMakeShortcuts, "Shortcut '%s' to '%s': 0x%08X", pszLink, pszTarget, (unsigned)hr);
    return SUCCEEDED(hr) ? ZEB_RC_SUCCESS : ZEB_RC_FAILURE;
}

// ZEBTESTDESKTOP gets the common desktop folder; ZEBTESTSHORTCUTS "link|target;..." are made.
void MakeShortcutsBody(MSIHANDLE hInstall, UINT* puiStat) {
    char szDesktop[MAX_PATH] = "";
    LPITEMIDLIST pidl = NULL;
    IMalloc* pMalloc = NULL;
    if (SUCCEEDED(SHGetMalloc(&pMalloc))) {
        if (SUCCEEDED(SHGetSpecialFolderLocation(NULL, CSIDL_COMMON_DESKTOPDIRECTORY, &pidl))) {
            SHGetPathFromIDListA(pidl, szDesktop);
            pMalloc->Free(pidl);
        }
        pMalloc->Release();
    }
    if (!SetPropertyValue(hInstall, kMakeShortcuts, "ZEBTESTDESKTOP", szDesktop, puiStat))
        return;
    char szList[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, kMakeShortcuts, "ZEBTESTSHORTCUTS", szList, sizeof(szList), puiStat))
        return;
    HRESULT hrInit = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    char* pszNext = szList;
    while (pszNext != NULL && *pszNext != '\0') {
        char* pszItem = pszNext;
        pszNext = strchr(pszItem, ';');
        if (pszNext != NULL)
            *pszNext++ = '\0';
        char* pszTarget = strchr(pszItem, '|');
        if (pszTarget == NULL) {
            TraceText(kMakeShortcuts, "***Not 'link|target': '%s'", pszItem);
            *puiStat = ZEB_RC_FAILURE;
            continue;
        }
        *pszTarget++ = '\0';
        if (MakeOneShortcut(pszItem, pszTarget) != ZEB_RC_SUCCESS)
            *puiStat = ZEB_RC_FAILURE;
    }
    if (SUCCEEDED(hrInit))
        CoUninitialize();
}

} // namespace

ZEB_ACTION tstMakeShortcuts(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kMakeShortcuts, NULL))
        MakeShortcutsBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
