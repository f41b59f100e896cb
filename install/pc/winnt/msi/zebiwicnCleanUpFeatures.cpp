// Removal: what the features' uninstall lists (".u02") name, the features' uninstall libraries,
// and the server's leftovers (RunOnce value, desktop shortcuts).
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnCleanUp.h"
#include "zebiwicnDelete.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnProcessReg.h"

#include <ctype.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kComponentSuffix[] = "_base_Instance1";
const char kServerComponent[] = "Server_base_Instance1";
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

typedef UINT(__stdcall* ZebUninstProc)(MSIHANDLE);

LPSTR TrimBlanks(LPSTR pszText) {
    while (*pszText == ' ' || *pszText == '\t')
        ++pszText;
    size_t cch = strlen(pszText);
    while (cch > 0 && (pszText[cch - 1] == ' ' || pszText[cch - 1] == '\t'))
        pszText[--cch] = '\0';
    return pszText;
}

// One line of a feature's list: "type;text" or a file. 0 or 1603.
UINT ProcessListLine(LPCSTR pszFunction, LPSTR pszLine, LPCSTR pszFeature, LPCSTR pszComponent) {
    char* pszSemi = strchr(pszLine, ';');
    if (pszSemi == NULL)
        return StackDeleteFiles(pszLine, pszComponent, ZEB_STACK_ON_REMOVE);
    *pszSemi = '\0';
    LPCSTR pszType = TrimBlanks(pszLine);
    char szText[ZEB_CCH_MSG];
    lstrcpynA(szText, TrimBlanks(pszSemi + 1), sizeof(szText));
    TraceText(pszFunction, "Type: '%s'", pszType);
    if (SubstituteLine(szText) != ZEB_RC_SUCCESS)
        return ZEB_RC_FAILURE;
    TraceText(pszFunction, "Line: '%s'", szText);
    if (lstrcmpiA(pszType, "file") == 0)
        return StackDeleteFiles(szText, pszComponent, ZEB_STACK_ON_REMOVE);
    if (lstrcmpiA(pszType, "folder") == 0) {
        NormalizePath(TRUE, szText);
        return StackDeleteFolder(szText, pszComponent, ZEB_STACK_ON_REMOVE);
    }
    if (lstrcmpiA(pszType, "dll") == 0)
        return InvokeUninstDll(szText, pszFeature) == ZEB_RC_SUCCESS ? ZEB_RC_SUCCESS : ZEB_RC_FAILURE;
    return ZEB_RC_SUCCESS;
}

// One ".u02" list, then the list itself. Every line is handled; 1603 when one failed.
UINT ProcessFeatureList(LPCSTR pszFunction, LPCSTR pszList, LPCSTR pszFeature, LPCSTR pszComponent) {
    TraceText(pszFunction, "Processing '%s'", pszList);
    UINT uiResult = ZEB_RC_SUCCESS;
    {
        ZebFile fp(fopen(pszList, "rt"));
        if (!fp.IsValid()) {
            TraceText(pszFunction, "***Can't open '%s'", pszList);
            return ZEB_RC_FAILURE;
        }
        char szLine[ZEB_CCH_MSG];
        while (fgets(szLine, sizeof(szLine), fp.Get()) != NULL) {
            size_t cch = strcspn(szLine, "\r\n");
            if (szLine[cch] == '\0' && !feof(fp.Get())) {
                // The rest of an overlong line would read as a line of its own: skip it whole.
                TraceText(pszFunction, "***Line too long in '%s': '%.40s...'", pszList, szLine);
                int c;
                while ((c = fgetc(fp.Get())) != EOF && c != '\n') {
                }
                uiResult = ZEB_RC_FAILURE;
                continue;
            }
            szLine[cch] = '\0';
            LPSTR pszLine = TrimBlanks(szLine);
            if (pszLine[0] == '\0' || pszLine[0] == ';' || pszLine[0] == '#')
                continue;
            if (ProcessListLine(pszFunction, pszLine, pszFeature, pszComponent) != ZEB_RC_SUCCESS)
                uiResult = ZEB_RC_FAILURE;
        }
    }
    if (StackDeleteFiles(pszList, pszComponent, ZEB_STACK_ON_REMOVE) != ZEB_RC_SUCCESS)
        uiResult = ZEB_RC_FAILURE;
    return uiResult;
}

void StackCleanUpFeaturesBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStackCleanUpFeatures";
    static const char kQuery[] = "SELECT * FROM Feature";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(hInstall, kFunction, kQuery, hDb, hView)) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        // The installer's own code is traced; the action's status is the usual failure.
        UINT uiCall = ZEB_RC_SUCCESS;
        if (CheckMsiRc("MsiViewFetch", kQuery, uiRc, &uiCall) != ERROR_SUCCESS) {
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        char szFeature[ZEB_CCH_PATH];
        DWORD cch = sizeof(szFeature);
        if (CheckMsiRc("MsiRecordGetString", "Feature", MsiRecordGetStringA(hRec.Get(), 1, szFeature, &cch),
                       &uiCall) != ERROR_SUCCESS) {
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        char szComponent[ZEB_CCH_PATH];
        if (snprintf(szComponent, sizeof(szComponent), "%s%s", szFeature, kComponentSuffix) >=
            (int)sizeof(szComponent)) {
            TraceText(kFunction, "***Invalid component: '%s%s'", szFeature, kComponentSuffix);
            *puiStat = ZEB_RC_FAILURE;
            continue;
        }
        // Every feature gets its turn; one failing fails the action.
        if (CleanUpOneFeature(szFeature, szComponent) != ZEB_RC_SUCCESS) {
            TraceText(kFunction, "***Clean-up of feature '%s' failed", szFeature);
            *puiStat = ZEB_RC_FAILURE;
        }
    }
}

void StackCleanUpServerBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStackCleanUpServer";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szProgram[ZEB_CCH_PATH];
    char szData[ZEB_CCH_PATH];
    if (!KnownFolder(hInstall, kFunction, WorkingFolders().szProgram, PROP_ZEBPGMFOLDER, szProgram,
                     puiStat) ||
        !KnownFolder(hInstall, kFunction, WorkingFolders().szData, PROP_ZEBDATFOLDER, szData, puiStat))
        return;
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, hKey.Out());
    if (lRc == ERROR_SUCCESS)
        lRc = RegDeleteValueA(hKey.Get(), "HXPrepWiz");
    // A leftover start of the preparation wizard is no reason to stop the removal.
    if (lRc != ERROR_SUCCESS && lRc != ERROR_FILE_NOT_FOUND)
        TraceText(kFunction, "***Can't delete value 'HXPrepWiz' of '%s'; error %d", kRunOnceKey, (int)lRc);
    hKey.Close();
    if (szProgram[0] == '\0')
        return;
    char szTarget[ZEB_CCH_PATH];
    if (snprintf(szTarget, sizeof(szTarget), "%s\\bin64\\zebmjpse.exe", szProgram) >= (int)sizeof(szTarget)) {
        TraceText(kFunction, "***Invalid path: '%s\\bin64\\zebmjpse.exe'", szProgram);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    if (!DeleteShortcut(TRUE, FALSE, NULL, szTarget, CSIDL_COMMON_DESKTOPDIRECTORY, NULL, kServerComponent,
                        ZEB_STACK_ON_REMOVE))
        *puiStat = ZEB_RC_FAILURE;
}

} // namespace

UINT InvokeUninstDll(LPCSTR pszLibrary, LPCSTR pszFeature) {
    static const char kFunction[] = "InvokeUninstDll";
    static const char kExport[] = "CA";
    ZebModule hLib(LoadLibraryExA(pszLibrary, NULL, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!hLib.IsValid()) {
        TraceText(kFunction, "***LoadLibraryEx(%s) failed %d.", pszLibrary, (int)GetLastError());
        return ZEB_RC_SUCCESS;
    }
    ZebUninstProc pfnCA = (ZebUninstProc)(void*)GetProcAddress(hLib.Get(), kExport);
    if (pfnCA == NULL) {
        TraceText(kFunction, "***Unable to get '%s(%s)'; code %d.", pszLibrary, kExport, (int)GetLastError());
        return ZEB_RC_SUCCESS;
    }
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBUNINSTFEATURE, pszFeature, &uiStat))
        return ZEB_RC_FAILURE;
    TraceText(kFunction, "Executing '%s(%s)'", pszLibrary, pszFeature);
    return pfnCA(hInstall);
}

UINT CleanUpOneFeature(LPCSTR pszFeature, LPCSTR pszComponent) {
    static const char kFunction[] = "CleanUpOneFeature";
    MSIHANDLE hInstall = FrameSession();
    TraceText(kFunction, "Checking feature '%s' (%s)", pszFeature, pszComponent);
    INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
    INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
    UINT uiRc = MsiGetFeatureStateA(hInstall, pszFeature, &iInstalled, &iAction);
    if (uiRc == ERROR_UNKNOWN_FEATURE) {
        iInstalled = iAction = INSTALLSTATE_UNKNOWN;
    } else if (uiRc != ERROR_SUCCESS) {
        TraceText(kFunction, "Error %d from MsiGetFeatureState(%s)", (int)uiRc, pszFeature);
        return ZEB_RC_FAILURE;
    }
    if (iAction != INSTALLSTATE_ABSENT && iInstalled != INSTALLSTATE_ADVERTISED)
        return ZEB_RC_SUCCESS;
    TraceText(kFunction, "Feature '%s' is being uninstalled", pszFeature);

    UINT uiStat = ZEB_RC_SUCCESS;
    char szProgram[ZEB_CCH_PATH];
    if (!KnownFolder(hInstall, kFunction, WorkingFolders().szProgram, PROP_ZEBPGMFOLDER, szProgram, &uiStat))
        return ZEB_RC_FAILURE;
    if (szProgram[0] == '\0')
        return ZEB_RC_SUCCESS; // no program folder, no lists
    char szPattern[ZEB_CCH_PATH];
    if (snprintf(szPattern, sizeof(szPattern), "%s\\%s\\%s*%s", szProgram, "uninst", pszFeature, ".u02") >=
        (int)sizeof(szPattern)) {
        TraceText(kFunction, "***Invalid path: '%s\\uninst\\%s*.u02'", szProgram, pszFeature);
        return ZEB_RC_FAILURE;
    }
    WIN32_FIND_DATAA fd;
    ZebFindHandle hFind(FindFirstFileA(szPattern, &fd));
    if (!hFind.IsValid()) {
        DWORD dwErr = GetLastError();
        if (dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND || dwErr == ERROR_INVALID_NAME)
            return ZEB_RC_SUCCESS;
        TraceText(kFunction, "***FindFirstFile(10) error %d, path '%s'", (int)dwErr, szPattern);
        return ZEB_RC_FAILURE;
    }
    UINT uiResult = ZEB_RC_SUCCESS;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char szList[ZEB_CCH_PATH];
        if (snprintf(szList, sizeof(szList), "%s\\uninst\\%s", szProgram, fd.cFileName) >=
            (int)sizeof(szList)) {
            TraceText(kFunction, "***Invalid path: '%s\\uninst\\%s'", szProgram, fd.cFileName);
            uiResult = ZEB_RC_FAILURE;
            continue;
        }
        if (ProcessFeatureList(kFunction, szList, pszFeature, pszComponent) != ZEB_RC_SUCCESS)
            uiResult = ZEB_RC_FAILURE;
    } while (FindNextFileA(hFind.Get(), &fd));
    return uiResult;
}

ZEB_ACTION iwiStackCleanUpFeatures(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStackCleanUpFeatures", NULL))
        StackCleanUpFeaturesBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiStackCleanUpServer(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStackCleanUpServer", NULL))
        StackCleanUpServerBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
