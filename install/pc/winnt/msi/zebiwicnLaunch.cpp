// Launch actions at the end of an installation.
#include "zebiwicnLaunch.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnStop.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>

namespace {

const char kLaunchFailedFallback[] = "Unable to launch program '%s'. (ZEB4733)";
const size_t kParameterStep = ZEB_CCH_MSG;

struct LaunchActionState {
    char szSource[ZEB_CCH_PATH]; // the installation source, normalised
};
LaunchActionState g_launchActions;

void ShowLaunchFailed(LPCSTR pszProgram) {
    ShowNlsPathError(ZEB_MSG_LAUNCH_FAILED, kLaunchFailedFallback, pszProgram);
}

// Cuts the last element of a folder, never past its drive or share: FALSE when there is none.
BOOL CutLastElement(char (&szFolder)[ZEB_CCH_PATH]) {
    NormalizePath(FALSE, szFolder);
    size_t iRoot = FolderWalkStart(szFolder);
    LPSTR p = strrchr(szFolder, '\\');
    if (p == NULL || (size_t)(p - szFolder) + 1 <= iRoot) {
        if (strlen(szFolder) <= iRoot)
            return FALSE; // the drive itself
        // The element after the drive: what stays is the drive.
        szFolder[iRoot > 0 && szFolder[iRoot - 1] == '\\' ? iRoot - 1 : iRoot] = '\0';
        return TRUE;
    }
    *p = '\0';
    return TRUE;
}

// The shared source folder: SourceDir, after the engine's ResolveSource when it is empty.
UINT ResolveSourceFolder(MSIHANDLE hInstall, LPCSTR pszFunction) {
    if (g_launchActions.szSource[0] != '\0')
        return ZEB_RC_SUCCESS;
    UINT uiStat = ZEB_RC_SUCCESS;
    char(&szSource)[ZEB_CCH_PATH] = g_launchActions.szSource;
    if (!GetPropertyValue(hInstall, pszFunction, PROP_SOURCEDIR, szSource, sizeof(szSource), &uiStat))
        return uiStat;
    if (szSource[0] == '\0') {
        UINT uiRc = MsiDoActionA(hInstall, "ResolveSource");
        if (uiRc != ERROR_SUCCESS) {
            TraceText(pszFunction, "***Error %d from ResolveSource", (int)uiRc);
            return ZEB_RC_FAILURE;
        }
        if (!GetPropertyValue(hInstall, pszFunction, PROP_SOURCEDIR, szSource, sizeof(szSource), &uiStat))
            return uiStat;
    }
    NormalizePath(FALSE, szSource);
    return ZEB_RC_SUCCESS;
}

LPCSTR LanguageFolder(LPCSTR pszCode) {
    static const struct {
        char cCode;
        LPCSTR pszFolder;
    } kLanguages[] = {{'a', "en_us"}, {'b', "pt_br"}, {'c', "cs_cz"}, {'f', "fr_fr"}, {'g', "de_de"},
                      {'h', "hu_hu"}, {'i', "it_it"}, {'j', "ja_jp"}, {'k', "ko_kr"}, {'p', "pl_pl"},
                      {'r', "ru_ru"}, {'s', "es_es"}, {'t', "zh_tw"}, {'z', "zh_cn"}};
    for (const auto& language : kLanguages) {
        if (pszCode[0] == language.cCode)
            return language.pszFolder;
    }
    TraceText(NULL, "Unknown language code '%s'; using English", pszCode);
    return "en_us";
}

// folder + each element, refused (FALSE) when it does not fit.
BOOL JoinPath(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFolder, std::initializer_list<LPCSTR> elements) {
    char szWork[ZEB_CCH_PATH];
    lstrcpynA(szWork, pszFolder, sizeof(szWork));
    for (LPCSTR pszElement : elements) {
        if (!MakeFilePath(szOut, szWork, pszElement))
            return FALSE;
        lstrcpynA(szWork, szOut, sizeof(szWork));
    }
    return TRUE;
}

// "/c <command>" through the command interpreter, its output traced; failures only traced.
void RunTool(LPCSTR pszFunction, LPCSTR pszCommand, DWORD dwTimeoutMs, LPCSTR pszTimeoutText) {
    TraceText(pszFunction, "Running '%s' with %s timeout", pszCommand, pszTimeoutText);
    size_t cch = strlen(pszCommand) + 4;
    ZebHeap<char> arguments((char*)malloc(cch));
    if (!arguments.IsValid() || snprintf(arguments.Get(), cch, "/c %s", pszCommand) < 0 ||
        LaunchAppAndWaitWithLog(arguments.Get(), dwTimeoutMs) != ZEB_RC_SUCCESS)
        TraceText(pszFunction, "***failed, but ok to ignore - run '%s' manually to fix", pszCommand);
}

void SetHxInstBody(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszFunction, LPCSTR pszSwitch) {
    char szName[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, pszFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName),
                          puiStat))
        return;
    // The name goes onto an elevated command line: only a valid name, never one with & or quotes.
    if (iwiIsInstallNameInvalid(szName)) {
        TraceText(pszFunction, "***Installation name '%s' is not valid; not running sethxinst.exe", szName);
        return;
    }
    char szCommand[ZEB_CCH_MSG];
    snprintf(szCommand, sizeof(szCommand), "sethxinst.exe %s -n %s", pszSwitch, szName);
    RunTool(pszFunction, szCommand, 1800000, "30 minute");
}

void ResolveSourceBody(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    UINT uiRc = ResolveSourceFolder(hInstall, "iwiResolveSource");
    if (uiRc != ZEB_RC_SUCCESS)
        *puiStat = uiRc;
}

void LaunchPadBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiLaunchLaunchPad";
    static const char kProgram[] = "HXLaunch.exe";
    char szProgramFolder[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgramFolder, sizeof(szProgramFolder),
                          puiStat))
        return;
    UINT uiRc = iwiResolveSource(hInstall);
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = uiRc;
        return;
    }
    if (g_launchActions.szSource[0] == '\0') {
        if (!GetPropertyValue(hInstall, kFunction, PROP_SOURCEDIR, g_launchActions.szSource,
                              sizeof(g_launchActions.szSource), puiStat))
            return;
        NormalizePath(FALSE, g_launchActions.szSource);
    }
    if (g_launchActions.szSource[0] == '\0')
        return;
    char szFolder[ZEB_CCH_PATH];
    lstrcpynA(szFolder, g_launchActions.szSource, sizeof(szFolder));
    CutLastElement(szFolder);
    char szPath[ZEB_CCH_PATH];
    if (!MakeFilePath(szPath, szFolder, kProgram)) {
        TraceText(kFunction, "***Path too long: '%s\\%s'", szFolder, kProgram);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    // The user closes the launchpad; the installation waits for it.
    uiRc = LaunchAndWait(szPath, "INSTALL", NULL, SW_SHOW, NULL, INFINITE);
    if (uiRc != ZEB_RC_SUCCESS) {
        ShowLaunchFailed(kProgram);
        *puiStat = uiRc;
    }
}

void ReadmeBody(MSIHANDLE hInstall, UINT* puiStat) {
    (void)hInstall;
    char szReadme[ZEB_CCH_PATH];
    if (!GetReadmePath(szReadme, FALSE) || !FileExists(szReadme))
        return; // the web page is no file for Notepad
    char szFolder[ZEB_CCH_PATH];
    lstrcpynA(szFolder, szReadme, sizeof(szFolder));
    CutLastElement(szFolder);
    char szQuoted[ZEB_CCH_PATH + 2];
    snprintf(szQuoted, sizeof(szQuoted), "\"%s\"", szReadme);
    UINT uiRc = LaunchProcess("Notepad.exe", szQuoted, szFolder, SW_SHOWNORMAL, NULL);
    if (uiRc != ZEB_RC_SUCCESS) {
        ShowLaunchFailed("Notepad.exe");
        *puiStat = uiRc;
    }
}

// The feature's states, traced; TRUE when it is or will be installed locally.
BOOL QueryFeature(MSIHANDLE hInstall, LPCSTR pszFeature, INSTALLSTATE* piAction) {
    INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
    *piAction = INSTALLSTATE_UNKNOWN;
    if (MsiGetFeatureStateA(hInstall, pszFeature, &iInstalled, piAction) != ERROR_SUCCESS) {
        iInstalled = INSTALLSTATE_UNKNOWN;
        *piAction = INSTALLSTATE_UNKNOWN;
    }
    TraceText(NULL, "'%s' Installed: %d Action: %d", pszFeature, (int)iInstalled, (int)*piAction);
    return iInstalled == INSTALLSTATE_LOCAL || *piAction == INSTALLSTATE_LOCAL;
}

void SetLaunchWizBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetLaunchWiz";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szRemove[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat))
        return;
    BOOL bRemoving = szRemove[0] == '1';
    INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
    BOOL bKept = QueryFeature(hInstall, "Server", &iAction) && !bRemoving;
    if (!bKept) {
        bKept = QueryFeature(hInstall, "Client", &iAction) && !bRemoving;
        if (!bKept && !SetPropertyValue(hInstall, kFunction, PROP_LAUNCHWIZ, "0", puiStat))
            return;
    }
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBGUI, iAction == INSTALLSTATE_LOCAL ? "1" : "",
                          puiStat))
        return;

    char szName[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName), puiStat))
        return;
    char szService[ZEB_CCH_MSG];
    snprintf(szService, sizeof(szService), "HX_%s", szName);
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBSERVICENAME, szService, puiStat))
        return;
    if (IsClientInstall()) {
        SetPropertyValue(hInstall, kFunction, PROP_ZEBSTARTSERVICE, "", puiStat);
        return;
    }

    char szStart[ZEB_CCH_MSG];
    UINT uiRc = iwiGetIniProperty("STARTSERVICE", szStart, NULL);
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = uiRc;
        return;
    }
    LPCSTR pszStart = "1";
    if (szStart[0] != '\0') {
        if (icsIsNo(szStart, "yes"))
            pszStart = "";
    } else {
        char szOld[ZEB_CCH_PATH];
        if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBOLDINSTALLINSTANCENAME, szOld, sizeof(szOld),
                              puiStat))
            return;
        LPCSTR pszLook = IsReservedInstallName(szOld) ? ZEB_OLD_SERVICE_NAME : szService;
        // A service the user had stopped stays stopped.
        if (HxServiceExists(pszLook) && !icsIsServiceRunning(pszLook))
            pszStart = "";
    }
    SetPropertyValue(hInstall, kFunction, PROP_ZEBSTARTSERVICE, pszStart, puiStat);
}

// The wizard's parameters; FALSE when memory ran out.
BOOL BuildWizardParameters(MSIHANDLE hInstall, UINT* puiStat, ZebParameters* pParameters,
                           BOOL* pbReadFailed) {
    static const char kFunction[] = "iwiTestAndLaunchConfig";
    *pbReadFailed = TRUE;
    char szLevel[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_UILEVEL, szLevel, sizeof(szLevel), puiStat))
        return TRUE;
    if (atoi(szLevel) == 2 && !AppendParameter(pParameters, "-s"))
        return FALSE;
    char szFile[ZEB_CCH_MSG];
    UINT uiRc = iwiGetIniProperty("WIZPARMFILE", szFile, NULL);
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = uiRc;
        return TRUE;
    }
    if (szFile[0] != '\0') {
        if (FileExists(szFile)) {
            char szQuoted[ZEB_CCH_MSG + 2];
            snprintf(szQuoted, sizeof(szQuoted), "\"%s\"", szFile);
            if (!AppendParameter(pParameters, "-p") || !AppendParameter(pParameters, szQuoted))
                return FALSE;
        } else {
            TraceText(kFunction, "***Can't find wizard parm file '%s'", szFile);
        }
    }
    char szSecurity[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBNCSEC, szSecurity, sizeof(szSecurity), puiStat))
        return TRUE;
    if (szSecurity[0] != '\0') {
        char szWord[ZEB_CCH_MSG + 2];
        snprintf(szWord, sizeof(szWord), "-%c%s", 'd', szSecurity);
        if (!AppendParameter(pParameters, szWord))
            return FALSE;
    }
    *pbReadFailed = FALSE;
    return TRUE;
}

// Steps after the wizard: the service and the taskbar, when no wizard runs.
void StartServiceAndTaskbar(MSIHANDLE hInstall, UINT* puiStat) {
    char szValue[ZEB_CCH_MSG];
    UINT uiRc = iwiGetIniProperty(PROP_ZEBSTARTSERVICE, szValue, NULL);
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    if (szValue[0] != '\0')
        StartHxServiceAndGo(); // a failure is traced; the installation is done
    uiRc = iwiGetIniProperty(PROP_ZEBSTARTTASKBAR, szValue, NULL);
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szTaskbar[ZEB_CCH_PATH];
    (void)hInstall;
    if (szValue[0] != '\0' && MakeProgramPath(szTaskbar, ProgramBinSubfolder(), "zebmtbrn.exe") &&
        FileExists(szTaskbar))
        LaunchProcess(szTaskbar, "", NULL, SW_SHOWNORMAL, NULL);
}

void TestAndLaunchConfigBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiTestAndLaunchConfig";
    SetTraceDataFolderSwitch(TRUE);
    char szProgramFolder[ZEB_CCH_PATH];
    char szDataFolder[ZEB_CCH_PATH];
    char szBoot[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgramFolder, sizeof(szProgramFolder),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBDATFOLDER, szDataFolder, sizeof(szDataFolder),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBBOOT, szBoot, sizeof(szBoot), puiStat))
        return;
    NormalizePath(FALSE, szProgramFolder);
    SetStopProgramFolder(szProgramFolder);
    BOOL bReboot = szBoot[0] != '\0' || MsiGetMode(hInstall, MSIRUNMODE_REBOOTATEND);
    WriteTrace(kFunction, bReboot ? "Reboot required" : "Reboot not required");

    char szProduct[ZEB_CCH_CODE];
    if (!GetPropertyValue(hInstall, kFunction, PROP_PRODUCTCODE, szProduct, sizeof(szProduct), puiStat))
        return;
    LPCSTR pszWizard = NULL;
    INSTALLSTATE iServer = MsiQueryFeatureStateA(szProduct, "Server");
    TraceText(kFunction, "'%s' Installed: %d", "Server", (int)iServer);
    if (iServer == INSTALLSTATE_LOCAL) {
        pszWizard = "zebmjpse.exe";
    } else {
        INSTALLSTATE iClient = MsiQueryFeatureStateA(szProduct, "Client");
        TraceText(kFunction, "'%s' Installed: %d", "Client", (int)iClient);
        if (iClient == INSTALLSTATE_LOCAL)
            pszWizard = "zebmjpce.exe";
    }
    if (pszWizard == NULL) {
        WriteTrace(kFunction, "Prep wizard is not installed");
        return;
    }

    char szLaunch[ZEB_CCH_MSG];
    UINT uiRc = iwiGetIniProperty(PROP_LAUNCHWIZ, szLaunch, NULL);
    if (uiRc != ZEB_RC_SUCCESS) {
        *puiStat = uiRc;
        return;
    }
    BOOL bLaunch = FALSE;
    if (icsIsNo(szLaunch, "yes")) {
        WriteTrace(kFunction, "Not Launching prep wizard.");
    } else if (icsIsYes(szLaunch, "no")) {
        bLaunch = TRUE;
    } else {
        char szGui[ZEB_CCH_FLAG];
        if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBGUI, szGui, sizeof(szGui), puiStat))
            return;
        bLaunch = szGui[0] != '\0';
    }

    if (bLaunch) {
        char szPath[ZEB_CCH_PATH];
        if (!MakeProgramPath(szPath, ProgramBinSubfolder(), pszWizard)) {
            TraceText(kFunction, "***No path for the wizard '%s'", pszWizard);
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        TraceText(kFunction, "Launching prep wizard: '%s'", szPath);
        ZebParameters parameters;
        InitParameters(&parameters);
        BOOL bReadFailed = FALSE;
        BOOL bBuilt = BuildWizardParameters(hInstall, puiStat, &parameters, &bReadFailed);
        if (!bBuilt) {
            TraceText(kFunction, "***Error allocating parameter string (%d)", (int)parameters.cchCapacity);
            ShowLaunchFailed(pszWizard);
            FreeParameters(&parameters);
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        if (bReadFailed) {
            FreeParameters(&parameters);
            return;
        }
        LPCSTR pszParameters = parameters.pszText != NULL ? parameters.pszText : "";
        if (bReboot) {
            size_t cch = strlen(szPath) + strlen(pszParameters) + 4;
            ZebHeap<char> command((char*)malloc(cch));
            if (!command.IsValid()) {
                TraceText(kFunction, "***Error allocating parameter string (%d)", (int)cch);
                ShowLaunchFailed(pszWizard);
                FreeParameters(&parameters);
                *puiStat = ZEB_RC_FAILURE;
                return;
            }
            snprintf(command.Get(), cch, pszParameters[0] != '\0' ? "\"%s\" %s" : "\"%s\"%s", szPath,
                     pszParameters);
            if (!SetRegistryValueWithStatus(HKEY_LOCAL_MACHINE, ZEB_RUNONCE_KEY, "HXPrepWiz", REG_SZ,
                                            command.Get(), -1, puiStat, FALSE)) {
                TraceText(kFunction, "***Unable to add RunOnce registry value '%s'", "HXPrepWiz");
                *puiStat = ZEB_RC_FAILURE;
            } else {
                TraceText(kFunction, "RunOnce registry value '%s' added for reboot", "HXPrepWiz");
                TraceText(kFunction, "Command line '%s'", command.Get());
            }
        } else {
            TraceText(kFunction, "Launching HX Prep Wizard with cmd: \"%s\" \"%s\"", szPath, pszParameters);
            // Counted as launched: the installation is committed, the user is told.
            if (LaunchProcess(szPath, pszParameters, NULL, SW_SHOWNORMAL, NULL) != ZEB_RC_SUCCESS)
                ShowLaunchFailed(pszWizard);
        }
        FreeParameters(&parameters);
        return;
    }
    if (bReboot)
        return;
    StartServiceAndTaskbar(hInstall, puiStat);
}

} // namespace

void ResetLaunchActionState(void) {
    memset(&g_launchActions, 0, sizeof(g_launchActions));
}

UINT GetInstallationSource(MSIHANDLE hInstall, LPCSTR pszFunction, char (&szSource)[ZEB_CCH_PATH]) {
    UINT uiRc = ResolveSourceFolder(hInstall, pszFunction);
    lstrcpynA(szSource, uiRc == ZEB_RC_SUCCESS ? g_launchActions.szSource : "", sizeof(szSource));
    return uiRc;
}

void InitParameters(ZebParameters* pParameters) {
    pParameters->pszText = NULL;
    pParameters->cchCapacity = 0;
}

BOOL AppendParameter(ZebParameters* pParameters, LPCSTR pszWord) {
    size_t cchUsed = pParameters->pszText != NULL ? strlen(pParameters->pszText) : 0;
    BOOL bBlank = cchUsed > 0 && pParameters->pszText[cchUsed - 1] != ' ';
    size_t cchNeeded = cchUsed + (bBlank ? 1 : 0) + strlen(pszWord) + 1;
    if (cchNeeded > pParameters->cchCapacity) {
        size_t cchNew = (cchNeeded + kParameterStep - 1) / kParameterStep * kParameterStep;
        char* pszNew = (char*)realloc(pParameters->pszText, cchNew);
        if (pszNew == NULL)
            return FALSE;
        if (pParameters->pszText == NULL)
            pszNew[0] = '\0';
        pParameters->pszText = pszNew;
        pParameters->cchCapacity = cchNew;
    }
    if (bBlank)
        strcat(pParameters->pszText, " ");
    strcat(pParameters->pszText, pszWord);
    return TRUE;
}

void FreeParameters(ZebParameters* pParameters) {
    free(pParameters->pszText);
    InitParameters(pParameters);
}

BOOL GetReadmePath(char (&szPath)[ZEB_CCH_PATH], BOOL bSkipMedia) {
    static const char kFunction[] = "GetReadmePath";
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    szPath[0] = '\0';
    char szInstalled[ZEB_CCH_PATH];
    char szSource[ZEB_CCH_PATH] = "";
    if (!GetPropertyValue(hInstall, kFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled), &uiStat))
        return FALSE;
    if (szInstalled[0] == '\0' && !bSkipMedia) {
        if (ResolveSourceFolder(hInstall, kFunction) != ZEB_RC_SUCCESS)
            return FALSE;
        lstrcpynA(szSource, g_launchActions.szSource, sizeof(szSource));
        if (szSource[0] == '\0') {
            // The package file: the media is the folder that holds it.
            if (!GetPropertyValue(hInstall, kFunction, PROP_ORIGINALDATABASE, szSource, sizeof(szSource),
                                  &uiStat))
                return FALSE;
            if (szSource[0] != '\0' && !CutLastElement(szSource))
                szSource[0] = '\0';
        }
        NormalizePath(FALSE, szSource);
    }
    if (szSource[0] == '\0') {
        lstrcpynA(szPath, ZEB_README_WEB_PAGE, sizeof(szPath));
        return TRUE;
    }
    char szCode[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBLANGUAGECODE, szCode, sizeof(szCode), &uiStat))
        return FALSE;
    LPCSTR pszLanguage = LanguageFolder(szCode);

    char szBase[ZEB_CCH_PATH];
    lstrcpynA(szBase, szSource, sizeof(szBase));
    CutLastElement(szBase);
    CutLastElement(szBase);
    if (JoinPath(szPath, szBase, {"readmes", "windows", pszLanguage, "readme.txt"})) {
        TraceText(kFunction, "Checking for readme at '%s'", szPath);
        if (FileExists(szPath))
            return TRUE;
    }
    WriteTrace(kFunction, "Not found");
    lstrcpynA(szBase, szSource, sizeof(szBase));
    CutLastElement(szBase);
    if (!JoinPath(szPath, szBase, {"readmes", pszLanguage, "readme.txt"}))
        return FALSE;
    TraceText(kFunction, "Checking for readme at '%s'", szPath);
    return FileExists(szPath);
}

ZEB_ACTION iwiLaunchZebicdir(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiLaunchZebicdir", NULL))
        RunTool("iwiLaunchZebicdir", "zebicdir.exe -i -f", 120000, "120 second");
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiLaunchSetHxInstNonPrim(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiLaunchSetHxInstNonPrim", NULL))
        SetHxInstBody(hInstall, &uiStat, "iwiLaunchSetHxInstNonPrim", "-x");
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiLaunchSetHxInstPrim(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiLaunchSetHxInstPrim", NULL))
        SetHxInstBody(hInstall, &uiStat, "iwiLaunchSetHxInstPrim", "-i");
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiResolveSource(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiResolveSource", NULL))
        ResolveSourceBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiLaunchLaunchPad(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiLaunchLaunchPad", NULL))
        LaunchPadBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiLaunchReadme(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiLaunchReadme", NULL))
        ReadmeBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetLaunchWiz(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetLaunchWiz", NULL))
        SetLaunchWizBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiTestAndLaunchConfig(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiTestAndLaunchConfig", NULL))
        TestAndLaunchConfigBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
