// Deferred actions around the product's helper scripts: unpacking the optional runtimes and
// deleting them again (each the other's rollback), stopping the web server before removal, and
// adapting the .NET and web server configuration files.
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiobjn.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const DWORD kCchVersion = 32;

// One of the four unpack and delete actions: which runtime, and whether its normal work unpacks.
struct ScriptAction {
    LPCSTR pszAction;
    BOOL bUnzip;
    BOOL bJre;
};

// Traces the run mode; TRUE in rollback. Wine sets the scheduled mode too during rollback, so
// rollback is asked first; any other mode does the normal work.
BOOL TraceRunMode(MSIHANDLE hInstall, LPCSTR pszAction) {
    if (MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK)) {
        TraceText(pszAction, "calling %s CA in mode: MSIRUNMODE_ROLLBACK", pszAction);
        return TRUE;
    }
    if (MsiGetMode(hInstall, MSIRUNMODE_SCHEDULED))
        TraceText(pszAction, "calling %s CA in mode: MSIRUNMODE_SCHEDULED", pszAction);
    else if (MsiGetMode(hInstall, MSIRUNMODE_OPERATIONS))
        TraceText(pszAction, "calling %s CA in mode: MSIRUNMODE_OPERATIONS", pszAction);
    else
        TraceText(pszAction, "***calling %s CA in UNEXPECTED runmode", pszAction);
    return FALSE;
}

struct ScriptInputs {
    char szVersion[kCchVersion];
    char szTemp[ZEB_CCH_PATH];
    char szName[ZEB_CCH_INSTNAME];
    char szProgram[ZEB_CCH_PATH];
};

BOOL ReadInputs(MSIHANDLE hInstall, LPCSTR pszAction, ScriptInputs& in, UINT* puiStat) {
    if (!GetPropertyValue(hInstall, pszAction, PROP_PRODUCTVERSION, in.szVersion, sizeof(in.szVersion),
                          puiStat) ||
        !GetPropertyValue(hInstall, pszAction, PROP_ZEBTEMP, in.szTemp, sizeof(in.szTemp), puiStat) ||
        !GetPropertyValue(hInstall, pszAction, PROP_ZEBINSTALLINSTANCENAME, in.szName, sizeof(in.szName),
                          puiStat) ||
        !GetPropertyValue(hInstall, pszAction, PROP_ZEBPGMFOLDER, in.szProgram, sizeof(in.szProgram),
                          puiStat))
        return FALSE;
    NormalizePath(FALSE, in.szTemp);
    NormalizePath(FALSE, in.szProgram);
    return TRUE;
}

// Unpacking: FALSE when it failed (or could not be tried).
BOOL ForwardWork(const ScriptAction& a, BOOL bRollback, const ScriptInputs& in, UINT* puiStat) {
    LPCSTR pszLabel = a.bJre ? "JRE" : "Web";
    if (a.bJre)
        TraceText(a.pszAction,
                  bRollback ? "ROLLBACK: Unzipping JRE zip file back into '%s\\%s'"
                            : "Unzipping JRE zip file into '%s\\%s'",
                  in.szProgram, "java");
    else
        TraceText(a.pszAction,
                  bRollback ? "ROLLBACK: Unzipping Web zip file back into '%s\\web'"
                            : "Unzipping Web zip file into '%s\\web'",
                  in.szProgram);
    if (iwiLoadActionTextAndData(ZEB_MSG_UNPACKING, 0) == ZEB_RC_CANCEL && !bRollback) {
        *puiStat = ZEB_RC_CANCEL;
        return TRUE; // the user's choice, not a failure of the unpacking
    }

    char szLog[ZEB_CCH_MSG];
    int cch = snprintf(szLog, sizeof(szLog), "%s\\HXv%s%s-Unpack%sFeature-%s.log", in.szTemp,
                       DottedVersionField(in.szVersion, 1), DottedVersionField(in.szVersion, 2), pszLabel,
                       in.szName);
    BOOL bOk = FALSE;
    if (cch < 0 || cch >= ZEB_CCH_PATH)
        TraceText(a.pszAction, "***Path too long: '%s'", szLog);
    else
        bOk = a.bJre ? icsUnzipJRE(in.szProgram, szLog) : icsUnzipRZL(in.szProgram, szLog);
    if (bOk)
        TraceText(a.pszAction, "Successful return from %s feature unzip function", pszLabel);
    else
        TraceText(a.pszAction, "***Error unzipping %s feature zip file", pszLabel);
    return bOk;
}

// Deleting what was unpacked: FALSE when it failed.
BOOL ReverseWork(const ScriptAction& a, BOOL bRollback, const ScriptInputs& in) {
    LPCSTR pszLabel = a.bJre ? "JRE" : "Web";
    if (a.bJre)
        TraceText(a.pszAction,
                  bRollback ? "ROLLBACK: deleting the JRE feature files from '%s\\%s'"
                            : "erase the files extracted from the zip in '%s\\%s'",
                  in.szProgram, "java");
    else
        TraceText(a.pszAction,
                  bRollback ? "ROLLBACK: deleting the Web feature files from '%s\\web'"
                            : "erase the files extracted from the zip in '%s\\web'",
                  in.szProgram);
    BOOL bOk = a.bJre ? icsDeleteJREFiles(in.szProgram) : icsDeleteWebFiles(in.szProgram);
    if (bOk)
        TraceText(a.pszAction,
                  bRollback ? "%s feature zip files deleted successfully (or not present)"
                            : "%s feature files deleted successfully (or not present)",
                  pszLabel);
    else
        TraceText(a.pszAction,
                  bRollback ? "***Error deleting unzipped %s feature files"
                            : "***ERROR: Error deleting unzipped %s feature files",
                  pszLabel);
    return bOk;
}

void ScriptActionBody(MSIHANDLE hInstall, const ScriptAction& a, UINT* puiStat) {
    BOOL bRollback = TraceRunMode(hInstall, a.pszAction);
    if (a.bUnzip && GetHxRegistryInfo() != ZEB_RC_SUCCESS) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    ScriptInputs in;
    if (!ReadInputs(hInstall, a.pszAction, in, puiStat))
        return;
    // Only the normal work can fail the installation; a failure during rollback is only traced.
    if (a.bUnzip != bRollback) {
        if (!ForwardWork(a, bRollback, in, puiStat) && !bRollback)
            *puiStat = ZEB_RC_FAILURE;
    } else {
        if (!ReverseWork(a, bRollback, in) && !bRollback)
            *puiStat = ZEB_RC_FAILURE;
    }
}

UINT RunScriptAction(MSIHANDLE hInstall, const ScriptAction& a) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, a.pszAction, NULL))
        ScriptActionBody(hInstall, a, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

void StopRZLServerBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStopRZLServer";
    char szProgram[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgram, sizeof(szProgram), puiStat))
        return;
    NormalizePath(FALSE, szProgram);
    TraceText(kFunction, "Stop the RZL server before uninstalling");
    if (icsStopRZLServer(szProgram))
        TraceText(kFunction, "Successfully stoppped the RZL Server");
    else
        TraceText(kFunction,
                  "***ERROR: Unable to stop the RZL server. This may cause 'file in use' errors and "
                  "possibly require a reboot.");
}

void FixupDotnetConfigsBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiFixupDotnetConfigs";
    char szProgram[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgram, sizeof(szProgram), puiStat))
        return;
    NormalizePath(FALSE, szProgram);
    UINT uiRet = icsFixupDotnetConfigs(szProgram);
    if (uiRet != ZEB_RC_SUCCESS)
        TraceText(kFunction, "***Unable to update .NET config files (%d)", (int)uiRet);
    else
        TraceText(kFunction, ".NET config files updated");
}

void FixupWebConfigBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiFixupWebConfig";
    char szProgram[ZEB_CCH_PATH];
    char szData[ZEB_CCH_PATH];
    char szName[ZEB_CCH_INSTNAME];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgram, sizeof(szProgram), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBDATFOLDER, szData, sizeof(szData), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName), puiStat))
        return;
    NormalizePath(FALSE, szProgram);
    NormalizePath(FALSE, szData);
    TraceText(kFunction, "Fixup Web config.  pgm=%s, dat=%s, InstallationName=%s", szProgram, szData, szName);
    if (icsFixupWebConfig(szProgram, szData, szName))
        TraceText(kFunction, "Web config file updated");
    else
        TraceText(kFunction, "***Unable to update Web config file");
}

} // namespace

ZEB_ACTION iwiUnzipJRE(MSIHANDLE hInstall) {
    return RunScriptAction(hInstall, {"iwiUnzipJRE", TRUE, TRUE});
}

ZEB_ACTION iwiUnzipRZL(MSIHANDLE hInstall) {
    return RunScriptAction(hInstall, {"iwiUnzipRZL", TRUE, FALSE});
}

ZEB_ACTION iwiDeleteJREFiles(MSIHANDLE hInstall) {
    return RunScriptAction(hInstall, {"iwiDeleteJREFiles", FALSE, TRUE});
}

ZEB_ACTION iwiDeleteWebFiles(MSIHANDLE hInstall) {
    return RunScriptAction(hInstall, {"iwiDeleteWebFiles", FALSE, FALSE});
}

// Stopping the web server and the configuration fix-ups are only traced: the status stays 0.
ZEB_ACTION iwiStopRZLServer(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStopRZLServer", NULL))
        StopRZLServerBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiFixupDotnetConfigs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiFixupDotnetConfigs", NULL))
        FixupDotnetConfigsBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiFixupWebConfig(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiFixupWebConfig", NULL))
        FixupWebConfigBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
