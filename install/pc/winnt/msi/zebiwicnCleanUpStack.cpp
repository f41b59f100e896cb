// Stacked clean-up: what a removal leaves behind that the package does not list, stacked as
// temporary rows for the engine's own removal steps.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnCleanUp.h"
#include "zebiwicnDelete.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnProcessReg.h"
#include "zebiwicnUtil.h"

#include <errno.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kBaseComponent[] = "Base_base_Instance1";
const char kLastInstall[] = "Config\\LastInstall.reg";

void Fail(UINT* puiStat) {
    *puiStat = ZEB_RC_FAILURE;
}

// ---- iwiStackCleanUpLastInstall ------------------------------------------------------------------

void StackCleanUpLastInstallBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStackCleanUpLastInstall";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    ZebWorkingFolders& folders = WorkingFolders();
    char szData[ZEB_CCH_PATH], szProgram[ZEB_CCH_PATH], szLog[ZEB_CCH_PATH];
    char szRemove[ZEB_CCH_FLAG], szName[ZEB_CCH_PATH];
    if (!KnownFolder(hInstall, kFunction, folders.szData, PROP_ZEBDATFOLDER, szData, puiStat) ||
        !KnownFolder(hInstall, kFunction, folders.szProgram, PROP_ZEBPGMFOLDER, szProgram, puiStat) ||
        !KnownFolder(hInstall, kFunction, folders.szLog, PROP_ZEBLOGFOLDER, szLog, puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName), puiStat))
        return;
    if (szRemove[0] != '1' || icsCheckForInstalls(szName, TRUE, FALSE))
        return;

    if (szData[0] != '\0') {
        CopyDataFile("hxclient.ini", szData);
        CopyDataFile("hxs.ini", szData);
    }
    char szList[ZEB_CCH_PATH];
    if (szProgram[0] != '\0' && MakeFilePath(szList, szProgram, "uninst\\lastinstall.u03") &&
        FileExists(szList) &&
        !DeleteFileList(TRUE, FALSE, NULL, ZEB_LIST_UNINSTALL, "lastinstall.u03", szList, szProgram, szData,
                        kBaseComponent, ZEB_STACK_ON_REMOVE, szName))
        return Fail(puiStat);
    if (szLog[0] != '\0') {
        char szFolder[ZEB_CCH_PATH];
        if (!MakeFilePath(szFolder, szLog, "")) {
            TraceText(kFunction, "***Path too long: '%s\\'", szLog);
            return Fail(puiStat);
        }
        TraceText(kFunction, "Stacking up delete of %s", szFolder);
        if (StackDeleteFolder(szFolder, kBaseComponent, ZEB_STACK_ON_REMOVE) != ZEB_RC_SUCCESS)
            return Fail(puiStat);
    }
    if (szData[0] != '\0') {
        char szSockets[ZEB_CCH_PATH];
        if (!MakeFilePath(szSockets, szData, "sockets\\*")) {
            TraceText(kFunction, "***Path too long: '%s\\sockets\\*'", szData);
            return Fail(puiStat);
        }
        TraceText(kFunction, "Stacking up recursive delete of '%s'", szSockets);
        if (ScanAndStackDeleteFolderFiles(szSockets, kBaseComponent, ZEB_STACK_ON_REMOVE, TRUE, TRUE) !=
            ZEB_RC_SUCCESS)
            return Fail(puiStat);
    }
}

// ---- iwiStackCleanUpFinal ------------------------------------------------------------------------

void DeleteLastInstallAtRollback(MSIHANDLE hInstall, LPCSTR pszFunction, UINT* puiStat) {
    TraceText(pszFunction, "Running iwiStackCleanUpFinal in ROLLBACK mode");
    char szData[ZEB_CCH_PATH];
    if (!KnownFolder(hInstall, pszFunction, WorkingFolders().szData, PROP_ZEBDATFOLDER, szData, puiStat))
        return;
    char szFile[ZEB_CCH_PATH];
    if (szData[0] == '\0' || !MakeFilePath(szFile, szData, kLastInstall)) {
        TraceText(pszFunction, "***No LastInstall.reg file in data folder '%s'", szData);
        return Fail(puiStat);
    }
    if (!FileExists(szFile)) {
        TraceText(pszFunction, "File '%s' does not exist.  Nothing to do.", szFile);
        return;
    }
    TraceText(pszFunction, "File '%s' exists so must be deleted at rollback", szFile);
    if (DeleteFileA(szFile)) {
        TraceText(pszFunction, "Delete file '%s' - SUCCESS", szFile);
    } else {
        TraceText(pszFunction, "***Delete file '%s' - FAILED", szFile);
        Fail(puiStat);
    }
}

// The exit libraries of the installation in one exit folder, then the folders.
void StackExits(LPCSTR pszData, LPCSTR pszExit, LPCSTR pszName, UINT* puiStat) {
    static const char* const kFiles[] = {"%s%s\\%s\\symbols\\dll\\zebrspin.pdb", "%s%s\\%s\\zebrspin.dll",
                                         "%s%s\\%s\\symbols\\dll\\hxccred.pdb", "%s%s\\%s\\hxccred.dll"};
    static const char* const kFolders[] = {"%s%s\\%s\\symbols\\dll\\", "%s%s\\%s\\symbols\\", "%s%s\\%s\\",
                                           "%s%s\\"};
    for (const char* pszFormat : kFiles) {
        char szPath[ZEB_CCH_PATH];
        int cch = snprintf(szPath, sizeof(szPath), pszFormat, pszData, pszExit, pszName);
        if (cch < 0 || cch >= (int)sizeof(szPath)) {
            TraceText(NULL, "***Path too long: '%s%s\\%s\\...'", pszData, pszExit, pszName);
            return Fail(puiStat);
        }
        if (FileExists(szPath) &&
            StackDeleteFiles(szPath, kBaseComponent, ZEB_STACK_ON_REMOVE) != ZEB_RC_SUCCESS)
            Fail(puiStat);
    }
    for (const char* pszFormat : kFolders) {
        char szPath[ZEB_CCH_PATH];
        int cch = snprintf(szPath, sizeof(szPath), pszFormat, pszData, pszExit, pszName);
        if (cch < 0 || cch >= (int)sizeof(szPath)) {
            TraceText(NULL, "***Path too long: '%s%s\\%s\\...'", pszData, pszExit, pszName);
            return Fail(puiStat);
        }
        if (StackDeleteFolder(szPath, kBaseComponent, ZEB_STACK_ON_REMOVE) != ZEB_RC_SUCCESS)
            Fail(puiStat);
    }
}

// The installation's key as Config\LastInstall.reg; a failure leaves what was written.
void WriteLastInstall(LPCSTR pszFunction, LPCSTR pszData, LPCSTR pszName) {
    char szFile[ZEB_CCH_PATH];
    int cch = snprintf(szFile, sizeof(szFile), "%s%s", pszData, kLastInstall);
    if (cch < 0 || cch >= (int)sizeof(szFile)) {
        TraceText(pszFunction, "***Path too long: '%s%s'", pszData, kLastInstall);
        return;
    }
    TraceText(pszFunction, "Creating LastInstall.reg file %s", szFile);
    ZebFile fp(fopen(szFile, "w+N"));
    if (!fp.IsValid()) {
        TraceText(pszFunction, "Failed tocreate LastInstall.reg file %s(%d)", szFile, errno);
        return;
    }
    char szKey[ZEB_CCH_MSG];
    snprintf(szKey, sizeof(szKey), "%s\\%s", ZEB_KEY_INSTALLATION, pszName); // a name is short
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, szKey, 0, KEY_READ, hKey.Out());
    if (lRc != ERROR_SUCCESS) {
        TraceText(pszFunction, "Ignoring failure to open key: '%s' %d", szKey, (int)lRc);
        return;
    }
    SaveKeysAndValues(hKey.Get(), szKey, fp.Get());
}

void StackCleanUpFinalBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStackCleanUpFinal";
    // Rollback first: Wine's engine runs rollback actions with the scheduled mode set as well.
    if (MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK))
        return DeleteLastInstallAtRollback(hInstall, kFunction, puiStat);
    if (!RunModeGuard(hInstall, ZEB_FORBID_SCHEDULED | ZEB_FORBID_COMMIT, puiStat))
        return;

    ZebWorkingFolders& folders = WorkingFolders();
    char szProgram[ZEB_CCH_PATH], szData[ZEB_CCH_PATH], szName[ZEB_CCH_PATH];
    if (!KnownFolder(hInstall, kFunction, folders.szProgram, PROP_ZEBPGMFOLDER, szProgram, puiStat) ||
        !KnownFolder(hInstall, kFunction, folders.szData, PROP_ZEBDATFOLDER, szData, puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName), puiStat))
        return;
    if (szData[0] == '\0' || szName[0] == '\0') {
        TraceText(kFunction, "Ignoring failure to get logdir or installation name");
        return;
    }
    NormalizePath(TRUE, szData);
    StackExits(szData, "exits", szName, puiStat);
    StackExits(szData, "exits64", szName, puiStat);
    WriteLastInstall(kFunction, szData, szName);
}

// ---- iwiStackDeleteCsds
// --------------------------------------------------------------------------

void StackDeleteCsdsBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStackDeleteCsds";
    ZebWorkingFolders& folders = WorkingFolders();
    char szProgram[ZEB_CCH_PATH], szData[ZEB_CCH_PATH], szStart[ZEB_CCH_PATH];
    if (!KnownFolder(hInstall, kFunction, folders.szProgram, PROP_ZEBPGMFOLDER, szProgram, puiStat) ||
        !KnownFolder(hInstall, kFunction, folders.szData, PROP_ZEBDATFOLDER, szData, puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBSTARTFOLDER, szStart, sizeof(szStart), puiStat))
        return;
    TraceText(kFunction, "Delete CSD stuff in pgm directory");
    if (!DeleteCsds(TRUE, FALSE, szProgram, kBaseComponent, ZEB_STACK_ON_REMOVE))
        return Fail(puiStat);
    TraceText(kFunction, "Delete CSD stuff in data directory");
    if (!DeleteCsds(TRUE, FALSE, szData, kBaseComponent, ZEB_STACK_ON_REMOVE))
        return Fail(puiStat);
    TraceText(kFunction, "Delete 'Remove Latest Service' shortcut");
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    BOOL bOld = GetVersionExA(&info) && info.dwMajorVersion < 6;
    char szTarget[ZEB_CCH_PATH];
    int cch = snprintf(szTarget, sizeof(szTarget), "%s\\%s\\%s", szProgram, ProgramBinSubfolder(),
                       bOld ? "zebicsdn.exe" : "zebilaunchelevated.exe");
    if (cch < 0 || cch >= (int)sizeof(szTarget)) {
        TraceText(kFunction, "***Path too long: '%s'", szProgram);
        return Fail(puiStat);
    }
    if (!DeleteShortcut(TRUE, FALSE, NULL, szTarget, CSIDL_COMMON_PROGRAMS, szStart, kBaseComponent,
                        ZEB_STACK_ON_REMOVE))
        Fail(puiStat);
}

// ---- iwiStackSetHighContrast ---------------------------------------------------------------------

void StackSetHighContrastBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStackSetHighContrast";
    char szSet[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBSETHIGHCONTRAST, szSet, sizeof(szSet), puiStat))
        return;
    if (strcmp(szSet, "1") != 0 && strcmp(szSet, "0") != 0)
        return;
    char szName[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName), puiStat))
        return;
    char szKey[ZEB_CCH_MSG];
    int cch = snprintf(szKey, sizeof(szKey), "HKEY_LOCAL_MACHINE\\%s\\%s", ZEB_KEY_INSTALLATION, szName);
    if (szName[0] == '\0' || cch < 0 || cch >= (int)sizeof(szKey)) {
        TraceText(kFunction, "***No installation key for '%s'", szName);
        return Fail(puiStat);
    }
    if (UpdateRegistryTable(szKey, GetInstallingComponent(kBaseComponent), "HighContrastMode",
                            szSet[0] == '1' ? "Yes" : "No") != ZEB_RC_SUCCESS)
        Fail(puiStat);
}

} // namespace

ZEB_ACTION iwiStackCleanUpLastInstall(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStackCleanUpLastInstall", NULL))
        StackCleanUpLastInstallBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiStackCleanUpFinal(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStackCleanUpFinal", NULL))
        StackCleanUpFinalBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiStackDeleteCsds(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStackDeleteCsds", NULL)) {
        // Maintenance levels list thousands of files: one line per thousand.
        iiiSetReducedCSDLogging(TRUE);
        StackDeleteCsdsBody(hInstall, &uiStat);
        iiiSetReducedCSDLogging(FALSE);
    }
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiStackSetHighContrast(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStackSetHighContrast", NULL))
        StackSetHighContrastBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
