// What follows from the chosen folders: their registry, quoted and short forms, shortcut names
// that carry the installation name, and the target folder of an administrative installation.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kRegistryFunction[] = "iwiSetRegistryDirs";
const char kShortcutFunction[] = "iwiSetupDynamicPaths";
const char kAdminFunction[] = "iwiSetAdminDir";

const char kToolkitSubfolder[] = "tools\\c\\samples\\bin";
const char kShortcutQuery[] = "SELECT * FROM Shortcut";
const char kFirstInstance[] = "_Instance1";
// Shortcut table fields.
const UINT kShortcutName = 3;
const UINT kShortcutComponent = 4;

// ---- Registry forms --------------------------------------------------------------------------------

// On Windows 9x a value with a blank, not yet quoted, is wrapped in double quotes.
void QuoteFor9x(BOOL bWin9x, LPCSTR pszValue, char (&szOut)[ZEB_CCH_MSG]) {
    if (bWin9x && strchr(pszValue, ' ') != NULL && pszValue[0] != '"')
        snprintf(szOut, sizeof(szOut), "\"%s\"", pszValue);
    else
        lstrcpynA(szOut, pszValue, sizeof(szOut));
}

struct RegistryRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    BOOL bWin9x;
};

BOOL Get(RegistryRun& r, LPCSTR pszName, char (&szValue)[ZEB_CCH_PATH]) {
    return GetPropertyValue(r.hInstall, kRegistryFunction, pszName, szValue, sizeof(szValue), r.puiStat);
}

BOOL Set(RegistryRun& r, LPCSTR pszName, LPCSTR pszValue) {
    return SetPropertyValue(r.hInstall, kRegistryFunction, pszName, pszValue, r.puiStat);
}

// A folder property tidied into its plain and quoted properties.
BOOL SetPlainAndQuoted(RegistryRun& r, LPCSTR pszFolderProperty, LPCSTR pszPlain, LPCSTR pszQuoted) {
    char szFolder[ZEB_CCH_PATH];
    if (!Get(r, pszFolderProperty, szFolder))
        return FALSE;
    NormalizePath(FALSE, szFolder);
    char szQuoted[ZEB_CCH_MSG];
    QuoteFor9x(r.bWin9x, szFolder, szQuoted);
    return Set(r, pszPlain, szFolder) && Set(r, pszQuoted, szQuoted);
}

void SetRegistryDirs(MSIHANDLE hInstall, UINT* puiStat) {
    RegistryRun r = {hInstall, puiStat, FALSE};
    char szWin9x[ZEB_CCH_PATH];
    char szProgram[ZEB_CCH_PATH];
    if (!Get(r, PROP_VERSION9X, szWin9x) || !Get(r, PROP_ZEBPGMFOLDER, szProgram))
        return;
    r.bWin9x = szWin9x[0] != '\0';
    NormalizePath(FALSE, szProgram);
    if (!Set(r, PROP_ZEBPGMREGPATH, szProgram))
        return;

    char szToolkit[ZEB_CCH_PATH];
    if (!MakeFilePath(szToolkit, szProgram, kToolkitSubfolder)) {
        TraceText(kRegistryFunction, "***Toolkit path of '%s' is too long", szProgram);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    char szQuoted[ZEB_CCH_MSG];
    QuoteFor9x(r.bWin9x, szProgram, szQuoted);
    if (!Set(r, PROP_ZEBPGMQUOTEPATH, szQuoted))
        return;
    QuoteFor9x(r.bWin9x, szToolkit, szQuoted);
    if (!Set(r, PROP_ZEBTOOLKITPATH, szQuoted))
        return;

    if (!Get(r, PROP_ZEBPGMFOLDER, szProgram))
        return;
    char szShort[ZEB_CCH_MSG];
    DWORD cch = GetShortPathNameA(szProgram, szShort, sizeof(szShort));
    if (cch == 0 || cch >= sizeof(szShort)) {
        // A folder not made yet has no short form: the long one stands in.
        TraceText(kRegistryFunction, "No short path for '%s' (%d); using it as it is", szProgram,
                  cch == 0 ? (int)GetLastError() : (int)ERROR_INSUFFICIENT_BUFFER);
        lstrcpynA(szShort, szProgram, sizeof(szShort));
    }
    NormalizePath(FALSE, szShort);
    if (!Set(r, PROP_ZEBSHORTPGMREGPATH, szShort))
        return;
    if (SetPlainAndQuoted(r, PROP_ZEBDATFOLDER, PROP_ZEBDATREGPATH, PROP_ZEBDATQUOTEPATH))
        SetPlainAndQuoted(r, PROP_ZEBLOGFOLDER, PROP_ZEBLOGREGPATH, PROP_ZEBLOGQUOTEPATH);
}

// ---- Shortcut names ----------------------------------------------------------------------------------

// CheckMsiRc, with 1603 rather than the call's code as the action's status.
BOOL CheckRecordCall(LPCSTR pszCall, LPCSTR pszDetail, UINT uiRc, UINT* puiStat) {
    UINT uiCallStat = ZEB_RC_SUCCESS;
    if (CheckMsiRc(pszCall, pszDetail, uiRc, &uiCallStat) == ERROR_SUCCESS)
        return TRUE;
    *puiStat = ZEB_RC_FAILURE;
    return FALSE;
}

// A text field of a fetched row; FALSE (status 1603) when it cannot be read or does not fit.
BOOL GetField(MSIHANDLE hRecord, UINT uField, char (&szValue)[ZEB_CCH_MSG], UINT* puiStat) {
    DWORD cch = sizeof(szValue);
    return CheckRecordCall("MsiRecordGetString", kShortcutQuery,
                           MsiRecordGetStringA(hRecord, uField, szValue, &cch), puiStat);
}

BOOL EndsWith(LPCSTR pszText, LPCSTR pszEnd) {
    size_t cchText = strlen(pszText);
    size_t cchEnd = strlen(pszEnd);
    return cchText >= cchEnd && _stricmp(pszText + cchText - cchEnd, pszEnd) == 0;
}

BOOL Failed(LPCSTR pszCall, UINT uiRc, UINT* puiStat) {
    TraceExtendedError(kShortcutFunction, pszCall, uiRc);
    *puiStat = ZEB_RC_FAILURE;
    return FALSE;
}

// Renames one shortcut of a first-instance component: the row is taken out of the view and put
// back as a temporary row with the new name.
BOOL RenameShortcut(MSIHANDLE hView, MSIHANDLE hRecord, LPCSTR pszComponent, LPCSTR pszSuffix,
                    UINT* puiStat) {
    char szName[ZEB_CCH_MSG];
    if (!GetField(hRecord, kShortcutName, szName, puiStat))
        return FALSE;
    // A second run in the same session, or an engine whose fetch reaches the new row again.
    if (EndsWith(szName, pszSuffix)) {
        TraceText(kShortcutFunction, "Shortcut (component %s) already named %s", pszComponent, szName);
        return TRUE;
    }
    char szNewName[ZEB_CCH_MSG];
    int cch = snprintf(szNewName, sizeof(szNewName), "%s%s", szName, pszSuffix);
    if (cch < 0 || cch >= (int)sizeof(szNewName)) {
        TraceText(kShortcutFunction, "***Shortcut name '%s%s' is too long", szName, pszSuffix);
        *puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    UINT uiRc = MsiViewModify(hView, MSIMODIFY_DELETE, hRecord);
    if (uiRc != ERROR_SUCCESS)
        return Failed("MsiViewModify(delete)", uiRc, puiStat);
    if (!CheckRecordCall("MsiRecordSetString", szNewName,
                         MsiRecordSetStringA(hRecord, kShortcutName, szNewName), puiStat))
        return FALSE;
    uiRc = MsiViewModify(hView, MSIMODIFY_INSERT_TEMPORARY, hRecord);
    if (uiRc != ERROR_SUCCESS)
        return Failed("MsiViewModify(insert temp)", uiRc, puiStat);
    TraceText(kShortcutFunction, "Found shortcut (component %s) so updating its name to %s", pszComponent,
              szNewName);
    return TRUE;
}

void SetupDynamicPaths(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szName[ZEB_CCH_INSTNAME];
    if (!GetPropertyValue(hInstall, kShortcutFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName),
                          puiStat))
        return;
    char szSuffix[ZEB_CCH_FLAG];
    snprintf(szSuffix, sizeof(szSuffix), " (%s)", szName);

    ZebMsiHandle hDb(MsiGetActiveDatabase(hInstall));
    if (!hDb.IsValid()) {
        Failed("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, puiStat);
        return;
    }
    ZebMsiHandle hView;
    UINT uiRc = MsiDatabaseOpenViewA(hDb.Get(), kShortcutQuery, hView.Out());
    if (uiRc != ERROR_SUCCESS) {
        Failed("MsiDatabaseOpenView", uiRc, puiStat);
        return;
    }
    // Rows inserted below come after the view's rows; Windows' fetch does not reach them again.
    uiRc = MsiViewExecute(hView.Get(), 0);
    if (uiRc != ERROR_SUCCESS) {
        Failed("MsiViewExecute", uiRc, puiStat);
        return;
    }
    for (;;) {
        ZebMsiHandle hRecord;
        uiRc = MsiViewFetch(hView.Get(), hRecord.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        if (uiRc != ERROR_SUCCESS) {
            Failed("MsiViewFetch", uiRc, puiStat);
            return;
        }
        char szComponent[ZEB_CCH_MSG];
        if (!GetField(hRecord.Get(), kShortcutComponent, szComponent, puiStat))
            return;
        TraceText(kShortcutFunction, "Found shortcut %s", szComponent);
        if (strstr(szComponent, kFirstInstance) != NULL &&
            !RenameShortcut(hView.Get(), hRecord.Get(), szComponent, szSuffix, puiStat))
            return;
    }
    MsiViewClose(hView.Get());
}

// ---- Administrative installation ---------------------------------------------------------------

void SetAdminDir(MSIHANDLE hInstall, UINT* puiStat) {
    if (!MsiGetMode(hInstall, MSIRUNMODE_ADMIN)) {
        TraceText(kAdminFunction, "Not an administrative installation");
        return;
    }
    char szFolder[ZEB_CCH_MSG];
    if (iwiGetIniProperty(PROP_SERVERFOLDER, szFolder, NULL) != ZEB_RC_SUCCESS) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    if (szFolder[0] == '\0') {
        char szProgramFiles[ZEB_CCH_PATH];
        char szManufacturer[ZEB_CCH_PATH];
        if (!GetPropertyValue(hInstall, kAdminFunction, PROP_PROGRAMFILESFOLDER, szProgramFiles,
                              sizeof(szProgramFiles), puiStat) ||
            !GetPropertyValue(hInstall, kAdminFunction, PROP_MANUFACTURER, szManufacturer,
                              sizeof(szManufacturer), puiStat))
            return;
        NormalizePath(FALSE, szProgramFiles);
        LPCSTR pszDisplay = iwiGetProductStaticData(3, NULL);
        int cch = snprintf(szFolder, sizeof(szFolder), "%s\\%s\\Admin\\%s", szProgramFiles, szManufacturer,
                           pszDisplay);
        if (cch < 0 || cch >= ZEB_CCH_PATH) {
            TraceText(kAdminFunction, "***Administrative folder '%s\\%s\\Admin\\%s' is too long",
                      szProgramFiles, szManufacturer, pszDisplay);
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
    }
    NormalizePath(FALSE, szFolder);
    if (SetPropertyValue(hInstall, kAdminFunction, PROP_ZEBSERVERPATH, szFolder, puiStat))
        SetPropertyValue(hInstall, kAdminFunction, PROP_TARGETDIR, szFolder, puiStat);
}

} // namespace

ZEB_ACTION iwiSetRegistryDirs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kRegistryFunction, NULL))
        SetRegistryDirs(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetupDynamicPaths(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kShortcutFunction, NULL))
        SetupDynamicPaths(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetAdminDir(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kAdminFunction, NULL))
        SetAdminDir(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
