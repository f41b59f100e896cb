// The settings that finish an installation: registry flags through the system's registry tool,
// the environment broadcast and the reboot request, the reboot and removal properties, the readme
// of the programs list, the cluster resource type and the extra files of an administrative image.
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnLaunch.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const DWORD kBroadcastTimeoutMs = 10000;
const WORD kSuiteEnterprise = 0x0002;
const DWORD kCchRemove = 2048;

struct FinalState {
    char szUiSeq[ZEB_CCH_FLAG];
    BOOL bRemoveRead; // REMOVE is looked at once per load
};

FinalState g_final;

BOOL GetOsVersion(LPCSTR pszFunction, OSVERSIONINFOEXA& info) {
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA((LPOSVERSIONINFOA)&info)) {
        TraceText(pszFunction, "Unable to determine operating system version");
        return FALSE;
    }
    return TRUE;
}

UINT RunRegTool(LPCSTR pszArguments) {
    DWORD dwExit = 0;
    return LaunchAndWait("reg.exe", pszArguments, NULL, SW_HIDE, &dwExit, INFINITE);
}

// ---- iwiFinalizeRegistry -------------------------------------------------------------------------

void FinalizeRegistryBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiFinalizeRegistry";
    if (!RunModeGuard(hInstall, ZEB_FORBID_COMMIT, puiStat))
        return;
    OSVERSIONINFOEXA info;
    if (!GetOsVersion(kFunction, info))
        return;
    if (info.dwMajorVersion < 6) {
        TraceText(kFunction, "Windows version is earlier than Vista so no need to set the DONT_VIRTUALIZE "
                             "flag on the HX registry entry");
        return;
    }
    TraceText(kFunction,
              "Windows version is Vista or later, so attempting to set the DONT_VIRTUALIZE flag on "
              "the HX registry entry");
    *puiStat = RunRegTool("FLAGS \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Hexline\" set DONT_VIRTUALIZE /s");

    char szCode[ZEB_CCH_CODE];
    if (!GetPropertyValue(hInstall, kFunction, PROP_PRODUCTCODE, szCode, sizeof(szCode), puiStat))
        return;
    if (szCode[0] == '\0') {
        // The key would end in \" and reg.exe would read the quote as part of it.
        TraceText(kFunction, "***No product code: the programs list entry is left as it is");
        return;
    }
    char szArguments[ZEB_CCH_MSG];
    snprintf(szArguments, sizeof(szArguments),
             "ADD \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s\"  /v "
             "NoModify /t REG_DWORD /d \"1\" /f",
             szCode);
    TraceText(kFunction,
              "Disabling \"Change\" in ADD\\REMOVE PROGRAMS by setting the following registry flag: %s",
              szArguments);
    *puiStat = RunRegTool(szArguments);
}

// ---- iwiSetEnvironment ---------------------------------------------------------------------------

void Broadcast(void) {
    static const char kFunction[] = "iwiSetEnvironment";
    TraceText(kFunction, "broadcasting environment update message");
    DWORD_PTR dwResult = 0;
    if (SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM) "Environment", SMTO_ABORTIFHUNG,
                            kBroadcastTimeoutMs, &dwResult) != 0) {
        TraceText(kFunction, "Broadcast successful");
        return;
    }
    DWORD dwError = GetLastError();
    TraceText(kFunction, "***Broadcast failure");
    if (dwError == ERROR_TIMEOUT)
        TraceText(kFunction, "***Broadcast of environment change message failed rc=%d (ERROR_TIMEOUT)",
                  (int)dwError);
    else if (dwError == ERROR_ACCESS_DENIED)
        TraceText(kFunction, "***Broadcast of environment change message failed rc=%d (ERROR_ACCESS_DENIED)",
                  (int)dwError);
    else
        TraceText(kFunction, "***Broadcast of environment change message failed rc=%d", (int)dwError);
}

void SetEnvironmentBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetEnvironment";
    Broadcast();
    char szRemove[kCchRemove];
    char szBypass[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBBYPASSREBOOTCHECK, szBypass, sizeof(szBypass),
                          puiStat))
        return;
    if (szRemove[0] != '1' || szBypass[0] != '\0')
        return;
    char szTemp[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBTEMP, szTemp, sizeof(szTemp), puiStat))
        return;
    NormalizePath(FALSE, szTemp);
    char szMarker[ZEB_CCH_PATH];
    if (szTemp[0] == '\0' || !MakeFilePath(szMarker, szTemp, "zebreboot.txt") || !FileExists(szMarker))
        return;
    TraceText(kFunction, "'%s' found: a reboot is needed at the end", szMarker);
    // Deferred, Windows refuses the mode: say so rather than lose the reboot without a word.
    UINT uiRc = MsiSetMode(hInstall, MSIRUNMODE_REBOOTATEND, TRUE);
    if (uiRc != ERROR_SUCCESS)
        TraceText(kFunction, "***MsiSetMode(MSIRUNMODE_REBOOTATEND) failed rc=%u", uiRc);
}

// ---- iwiSetZebBoot -------------------------------------------------------------------------------

void SetZebBootBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetZebBoot";
    if (!RunModeGuard(hInstall, ZEB_FORBID_ROLLBACK | ZEB_FORBID_COMMIT, puiStat))
        return;
    if (MsiGetMode(hInstall, MSIRUNMODE_SCHEDULED))
        TraceText(kFunction, "Deferred execution");
    else
        TraceText(kFunction, "Executing in script generation");
    char szReplaced[ZEB_CCH_CODE];
    if (!GetPropertyValue(hInstall, kFunction, PROP_REPLACEDINUSEFILES, szReplaced, sizeof(szReplaced),
                          puiStat))
        return;
    BOOL bScheduled = MsiGetMode(hInstall, MSIRUNMODE_REBOOTATEND);
    if (bScheduled)
        TraceText(kFunction, "Reboot is scheduled");
    SetPropertyValue(hInstall, kFunction, PROP_ZEBBOOT, szReplaced[0] != '\0' || bScheduled ? "1" : "",
                     puiStat);
}

// ---- iwiSetARPREADME -----------------------------------------------------------------------------

void SetArpReadmeBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetARPREADME";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szReadme[ZEB_CCH_PATH];
    BOOL bFound = GetReadmePath(szReadme, FALSE);
    TraceText(kFunction, "Readme path '%s' (%s)", szReadme, bFound ? "found" : "not found");
    SetPropertyValue(hInstall, kFunction, PROP_ARPREADME, szReadme, puiStat);
}

// ---- iwiSetZebRemove -----------------------------------------------------------------------------

BOOL IsInstalledState(INSTALLSTATE i) {
    return i == INSTALLSTATE_LOCAL || i == INSTALLSTATE_SOURCE || i == INSTALLSTATE_ADVERTISED ||
           i == INSTALLSTATE_DEFAULT || i == INSTALLSTATE_BROKEN || i == INSTALLSTATE_SOURCEABSENT ||
           i == INSTALLSTATE_INCOMPLETE || i == INSTALLSTATE_BADCONFIG;
}

BOOL IsInstallAction(INSTALLSTATE i) {
    return i == INSTALLSTATE_LOCAL || i == INSTALLSTATE_SOURCE || i == INSTALLSTATE_ADVERTISED ||
           i == INSTALLSTATE_DEFAULT;
}

// "1" stays only when every listed feature is gone; *pbAdded when one is being installed.
BOOL AllFeaturesGone(MSIHANDLE hInstall, BOOL* pbAdded) {
    static const char kFunction[] = "iwiSetZebRemove";
    BOOL bClient = IsClientInstall();
    BOOL bAllGone = TRUE;
    for (int i = 0; SummaryFeature(i).pszName[0] != '\0'; i++) {
        if (!IsListedSummaryFeature(i, bClient))
            continue;
        LPCSTR pszName = SummaryFeature(i).pszName;
        INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
        INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
        UINT uiRc = MsiGetFeatureStateA(hInstall, pszName, &iInstalled, &iAction);
        BOOL bError = FALSE;
        if (uiRc == ERROR_UNKNOWN_FEATURE) {
            iInstalled = iAction = INSTALLSTATE_UNKNOWN;
        } else if (uiRc != ERROR_SUCCESS) {
            TraceText(kFunction, "Error %d from MsiGetFeatureState(%s)", (int)uiRc, pszName);
            bError = TRUE; // never taken for a removed feature
        }
        TraceText(kFunction, "'%s' Installed: %d Action: %d", pszName, (int)iInstalled, (int)iAction);
        if (bError) {
            bAllGone = FALSE;
            continue;
        }
        BOOL bGone =
            iAction == INSTALLSTATE_ABSENT || (!IsInstalledState(iInstalled) && !IsInstallAction(iAction));
        if (!bGone)
            bAllGone = FALSE;
        if (IsInstallAction(iAction))
            *pbAdded = TRUE;
    }
    return bAllGone;
}

// Every feature of the package set absent; failures of the walk are traced only.
void RemoveEveryFeature(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetZebRemove";
    static const char kQuery[] = "SELECT * FROM Feature";
    ZebMsiHandle hDb(MsiGetActiveDatabase(hInstall));
    if (!hDb.IsValid()) {
        TraceText(kFunction, "***MsiGetActiveDatabase() failed");
        return;
    }
    ZebMsiHandle hView;
    UINT uiRc = MsiDatabaseOpenViewA(hDb.Get(), kQuery, hView.Out());
    if (uiRc != ERROR_SUCCESS) {
        TraceText(kFunction, "MsiDatabaseOpenView() error %d. Query '%s'", (int)uiRc, kQuery);
        return;
    }
    uiRc = MsiViewExecute(hView.Get(), 0);
    if (uiRc != ERROR_SUCCESS) {
        TraceText(kFunction, "MsiViewExecute() error %d. Query '%s'", (int)uiRc, kQuery);
        return;
    }
    for (BOOL bFirst = TRUE;; bFirst = FALSE) {
        ZebMsiHandle hRecord;
        uiRc = MsiViewFetch(hView.Get(), hRecord.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            return;
        if (uiRc != ERROR_SUCCESS) {
            TraceText(kFunction,
                      bFirst ? "MsiViewFetch(1) error %d. Query '%s'"
                             : "MsiViewFetch(2) error %d. Query '%s'",
                      (int)uiRc, kQuery);
            return;
        }
        char szFeature[ZEB_CCH_PATH];
        DWORD cch = sizeof(szFeature);
        uiRc = MsiRecordGetStringA(hRecord.Get(), 1, szFeature, &cch);
        if (uiRc != ERROR_SUCCESS) {
            TraceText(kFunction, "MsiRecordGetString(1) error %d. Query '%s'", (int)uiRc, kQuery);
            return;
        }
        INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
        INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
        uiRc = MsiGetFeatureStateA(hInstall, szFeature, &iInstalled, &iAction);
        if (uiRc != ERROR_SUCCESS)
            TraceText(kFunction, "MsiGetFeatureState(%s) error %d.", szFeature, (int)uiRc);
        else
            TraceText(kFunction, "'%s' Installed: %d Action: %d", szFeature, (int)iInstalled, (int)iAction);
        if (SetFeatureState(szFeature, INSTALLSTATE_ABSENT) != ZEB_RC_SUCCESS) {
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
    }
}

// An installed product gaining a feature needs its maintenance level applied again, unless
// nothing was applied on top of the shipped level.
void CheckReapplyService(MSIHANDLE hInstall, LPCSTR pszName, UINT* puiStat) {
    static const char kFunction[] = "iwiSetZebRemove";
    char szShippedMod[ZEB_CCH_LEVEL], szShippedFix[ZEB_CCH_LEVEL];
    char szLatestMod[ZEB_CCH_LEVEL], szLatestFix[ZEB_CCH_LEVEL];
    if (!icsGetMaintenanceLevels(ZEB_KEY_INSTALLATION, pszName, &szShippedMod, &szShippedFix, NULL, NULL,
                                 &szLatestMod, &szLatestFix, NULL)) {
        TraceText(kFunction, "***Unable to read the maintenance levels of '%s'", pszName);
        return;
    }
    if (strcmp(szLatestMod, szShippedMod) == 0 && strcmp(szLatestFix, szShippedFix) == 0)
        return;
    char szKey[ZEB_CCH_MSG];
    if (!MakeInstallationKey(szKey, pszName))
        return;
    char szVrmf[ZEB_CCH_VRMF];
    if (!GetRegistryText(szKey, "VRMF", szVrmf, sizeof(szVrmf), FALSE))
        return;
    SetPropertyValue(hInstall, kFunction, PROP_ZEBREAPPLYSERVICE, szVrmf, puiStat);
}

void SetZebRemoveBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetZebRemove";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szInstalled[ZEB_CCH_PATH];
    char szName[ZEB_CCH_INSTNAME];
    char szPatch[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_PATCH, szPatch, sizeof(szPatch), puiStat))
        return;
    BOOL bAdded = FALSE;
    if (!MsiGetMode(hInstall, MSIRUNMODE_ADMIN) && szPatch[0] == '\0') {
        BOOL bAll = AllFeaturesGone(hInstall, &bAdded);
        if (!g_final.bRemoveRead) {
            char szRemove[kCchRemove];
            if (!GetPropertyValue(hInstall, kFunction, PROP_REMOVE, szRemove, sizeof(szRemove), puiStat))
                return;
            g_final.bRemoveRead = TRUE;
            if (lstrcmpiA(szRemove, "all") == 0)
                bAll = TRUE;
        }
        if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, bAll ? "1" : "0", puiStat))
            return;
        if (bAll) {
            if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBUISEQ, g_final.szUiSeq,
                                  sizeof(g_final.szUiSeq), puiStat))
                return;
            if (g_final.szUiSeq[0] != '1') {
                if (SetInstallLevel(0) != ZEB_RC_SUCCESS) {
                    TraceText(kFunction, "***Unable to set the install level 0");
                    *puiStat = ZEB_RC_FAILURE;
                    return;
                }
                RemoveEveryFeature(hInstall, puiStat);
                if (*puiStat != ZEB_RC_SUCCESS)
                    return;
            }
        }
    }
    if (szInstalled[0] != '\0' && bAdded)
        CheckReapplyService(hInstall, szName, puiStat);
}

// ---- iwiServerClusterSupport ---------------------------------------------------------------------

void ServerClusterSupportBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiServerClusterSupport";
    if (!RunModeGuard(hInstall, ZEB_FORBID_COMMIT, puiStat))
        return;
    OSVERSIONINFOEXA info;
    if (!GetOsVersion(kFunction, info))
        return;
    if ((info.wSuiteMask & kSuiteEnterprise) == 0) {
        TraceText(kFunction,
                  "Not an Enterprise version of Windows, so no need to set up the MSCS environment");
        return;
    }
    TraceText(kFunction, "This is an Enterprise version of Windows, so need to set up the MSCS environment");
    char szProgram[ZEB_CCH_PATH];
    lstrcpynA(szProgram, WorkingFolders().szProgram, sizeof(szProgram));
    if (szProgram[0] == '\0') {
        if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgram, sizeof(szProgram), puiStat))
            return;
        NormalizePath(FALSE, szProgram);
    }
    char szTool[ZEB_CCH_PATH];
    int cch =
        snprintf(szTool, sizeof(szTool), "%s\\%s\\%s", szProgram, ProgramBinSubfolder(), "haregtyp.exe");
    if (cch < 0 || cch >= (int)sizeof(szTool)) {
        TraceText(kFunction, "***Path too long: '%s\\%s\\%s'", szProgram, ProgramBinSubfolder(),
                  "haregtyp.exe");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    if (!FileExists(szTool)) {
        TraceText(kFunction, "Skipping haregtyp call as haregtyp.exe not found");
        return;
    }
    char szRemove[kCchRemove];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat))
        return;
    DWORD dwExit = 0;
    *puiStat = LaunchAndWait(szTool, szRemove[0] == '1' ? "/u" : "/r", NULL, SW_HIDE, &dwExit, INFINITE);
}

// ---- iwiDirectCopyAdminFiles ---------------------------------------------------------------------

// The folder without its last part; FALSE (traced) for a root, which has none.
BOOL AdminParent(LPCSTR pszPath, char (&szParent)[ZEB_CCH_PATH]) {
    lstrcpynA(szParent, pszPath, sizeof(szParent));
    LPSTR p = strrchr(szParent, '\\');
    if (p == NULL || p == szParent || p[1] == '\0') {
        TraceText("iwiDirectCopyAdminFiles", "***No parent folder of '%s'", pszPath);
        szParent[0] = '\0';
        return FALSE;
    }
    *p = '\0';
    return TRUE;
}

BOOL ReadAdminFolders(MSIHANDLE hInstall, char (&szSource)[ZEB_CCH_PATH], char (&szTarget)[ZEB_CCH_PATH],
                      UINT* puiStat) {
    static const char kFunction[] = "iwiDirectCopyAdminFiles";
    if (!GetPropertyValue(hInstall, kFunction, PROP_SOURCEDIR, szSource, sizeof(szSource), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_TARGETDIR, szTarget, sizeof(szTarget), puiStat))
        return FALSE;
    NormalizePath(FALSE, szSource);
    NormalizePath(FALSE, szTarget);
    return szSource[0] != '\0' && szTarget[0] != '\0';
}

void KeepFailure(UINT uiRc, UINT* puiStat) {
    if (uiRc != ZEB_RC_SUCCESS)
        *puiStat = uiRc;
}

void CopyAdminFiles(MSIHANDLE hInstall, UINT* puiStat) {
    char szSource[ZEB_CCH_PATH], szTarget[ZEB_CCH_PATH];
    if (!ReadAdminFolders(hInstall, szSource, szTarget, puiStat))
        return;
    char szFrom[ZEB_CCH_PATH], szTo[ZEB_CCH_PATH];
    if (!AdminParent(szSource, szFrom) || !AdminParent(szTarget, szTo))
        return;
    BOOL bServer = !IsClientInstall();
    KeepFailure(CopyFilePattern(szFrom, szTo, "HX*", FALSE), puiStat);
    KeepFailure(CopyFilePattern(szFrom, szTo, "Response*", FALSE), puiStat);
    KeepFailure(CopyOneFile(FALSE, szFrom, szTo, "setup.exe"), puiStat);
    if (bServer)
        KeepFailure(CopyOneFile(FALSE, szFrom, szTo, "sethxipw.exe"), puiStat);
    KeepFailure(CopyFilePattern(szFrom, szTo, "*.pdf", FALSE), puiStat);
    KeepFailure(CopyFilePattern(szFrom, szTo, "*.sms", FALSE), puiStat);
    char szFromPrereqs[ZEB_CCH_PATH], szToPrereqs[ZEB_CCH_PATH];
    if (MakeFilePath(szFromPrereqs, szFrom, "Prereqs") && MakeFilePath(szToPrereqs, szTo, "Prereqs"))
        KeepFailure(CopyFilePattern(szFromPrereqs, szToPrereqs, "*.*", TRUE), puiStat);
    else
        KeepFailure(ZEB_RC_FAILURE, puiStat);
    KeepFailure(CopyFilePattern(szSource, szTarget, "*.mst", FALSE), puiStat);
    if (*puiStat == ZEB_RC_FAILURE)
        TraceText("iwiDirectCopyAdminFiles", "***Copying the administrative image files failed");
}

// Deletes in pszTarget what matches the pattern and also lies at the same place under pszSource,
// so files the image had of its own are kept. With bTree, subfolders the same way.
void DeleteCopied(LPCSTR pszSource, LPCSTR pszTarget, LPCSTR pszPattern, BOOL bTree) {
    char szSearch[ZEB_CCH_PATH];
    if (!MakeFilePath(szSearch, pszTarget, pszPattern))
        return;
    std::vector<std::string> files, folders;
    {
        WIN32_FIND_DATAA fd;
        ZebFindHandle hFind(FindFirstFileA(szSearch, &fd));
        if (!hFind.IsValid())
            return;
        do {
            if (strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0)
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(fd.cFileName);
            else
                files.push_back(fd.cFileName);
        } while (FindNextFileA(hFind.Get(), &fd));
    }
    for (const std::string& name : files) {
        char szFrom[ZEB_CCH_PATH], szPath[ZEB_CCH_PATH];
        if (!MakeFilePath(szFrom, pszSource, name.c_str()) || !MakeFilePath(szPath, pszTarget, name.c_str()))
            continue;
        if (FileExists(szFrom))
            iiiDeleteFile(FALSE, TRUE, NULL, szPath, FALSE, NULL, NULL, 0);
        else
            TraceText("iwiDirectCopyAdminFiles", "Keeping '%s': not on the installation media", szPath);
    }
    if (!bTree)
        return;
    for (const std::string& name : folders) {
        char szFrom[ZEB_CCH_PATH], szPath[ZEB_CCH_PATH];
        if (!MakeFilePath(szFrom, pszSource, name.c_str()) || !MakeFilePath(szPath, pszTarget, name.c_str()))
            continue;
        DeleteCopied(szFrom, szPath, "*", TRUE);
        DeleteEmptyFolder(szPath);
    }
}

void DeleteCopiedTree(LPCSTR pszSource, LPCSTR pszTarget, LPCSTR pszFolder) {
    char szFrom[ZEB_CCH_PATH], szPath[ZEB_CCH_PATH];
    if (!MakeFilePath(szFrom, pszSource, pszFolder) || !MakeFilePath(szPath, pszTarget, pszFolder))
        return;
    DeleteCopied(szFrom, szPath, "*", TRUE);
    DeleteEmptyFolder(szPath);
}

void RollbackAdminFiles(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiDirectCopyAdminFiles";
    char szSource[ZEB_CCH_PATH], szTarget[ZEB_CCH_PATH];
    if (!ReadAdminFolders(hInstall, szSource, szTarget, puiStat)) {
        if (*puiStat == ZEB_RC_SUCCESS)
            TraceText(kFunction, "No source or target folder: nothing to delete");
        return;
    }
    char szFrom[ZEB_CCH_PATH], szFolder[ZEB_CCH_PATH];
    if (!AdminParent(szSource, szFrom) || !AdminParent(szTarget, szFolder))
        return;
    BOOL bServer = !IsClientInstall();
    DeleteCopied(szFrom, szFolder, "*.pdf", FALSE);
    DeleteCopied(szFrom, szFolder, "*.sms", FALSE);
    DeleteCopied(szFrom, szFolder, "setup.exe", FALSE);
    if (bServer) {
        DeleteCopied(szFrom, szFolder, "HXLaunch.exe", FALSE);
        DeleteCopied(szFrom, szFolder, "sethxipw.exe", FALSE);
    }
    DeleteCopied(szFrom, szFolder, "hx*", FALSE);
    DeleteCopied(szFrom, szFolder, "response*", FALSE);
    DeleteCopiedTree(szFrom, szFolder, "Prereqs");
    DeleteCopiedTree(szFrom, szFolder, "Readmes");
    DeleteCopied(szSource, szTarget, "*.mst", FALSE);
}

void DirectCopyAdminFilesBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiDirectCopyAdminFiles";
    if (!RunModeGuard(hInstall, ZEB_FORBID_COMMIT, puiStat))
        return;
    // Wine sets the scheduled mode in rollback too: rollback is asked first.
    if (MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK)) {
        TraceText(kFunction, "Executing in rollback");
        RollbackAdminFiles(hInstall, puiStat);
    } else if (MsiGetMode(hInstall, MSIRUNMODE_SCHEDULED)) {
        TraceText(kFunction, "Deferred execution");
        CopyAdminFiles(hInstall, puiStat);
    } else {
        TraceText(kFunction, "Executing in script generation");
    }
}

} // namespace

void ResetFinalState(void) {
    memset(&g_final, 0, sizeof(g_final));
}

LPCSTR UiSeqValue(void) {
    return g_final.szUiSeq;
}

ZEB_ACTION iwiFinalizeRegistry(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiFinalizeRegistry", NULL))
        FinalizeRegistryBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetEnvironment(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetEnvironment", NULL))
        SetEnvironmentBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetZebBoot(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetZebBoot", NULL))
        SetZebBootBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetARPREADME(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetARPREADME", NULL))
        SetArpReadmeBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetZebRemove(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetZebRemove", NULL))
        SetZebRemoveBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiServerClusterSupport(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiServerClusterSupport", NULL))
        ServerClusterSupportBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiDirectCopyAdminFiles(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiDirectCopyAdminFiles", NULL))
        DirectCopyAdminFilesBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
