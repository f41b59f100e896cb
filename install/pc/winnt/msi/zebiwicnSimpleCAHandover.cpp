// Hand-over to deferred actions: every property they need written to one value-list file, whose
// path becomes the action data of each deferred library action; and the deferred updates that
// read it.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUninstall.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kListPrefix[] = "zebp";
const char kListSuffix[] = ".txt";
const size_t kListStep = 256;

// Settings a response file may give (compared exactly).
const char* const kIniNames[] = {"PGMFOLDER",      "DATFOLDER",    "LOGFOLDER",    "KEEPQMDATA",
                                 "REMOVEFEATURES", "USERCHOICE",   "LAUNCHWIZ",    "SERVERFOLDER",
                                 "STARTSERVICE",   "STARTTASKBAR", "HIGHCONTRAST", "WIZPARMFILE"};

BOOL IsIniName(LPCSTR pszName) {
    for (LPCSTR pszIni : kIniNames) {
        if (strcmp(pszName, pszIni) == 0)
            return TRUE;
    }
    return FALSE;
}

// The value list's file in the temporary folder; FALSE, traced, when it has no name.
BOOL ValueListPath(MSIHANDLE hInstall, LPCSTR pszFunction, char (&szPath)[ZEB_CCH_PATH], UINT* puiStat) {
    szPath[0] = '\0';
    if (!EnsureTempFolder(hInstall, pszFunction)) {
        *puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    lstrcpynA(szPath, iiiGetTempFileName(kListPrefix, kListSuffix), sizeof(szPath));
    if (szPath[0] == '\0') {
        TraceText(pszFunction, "***No temporary file name for the property value list");
        *puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    return TRUE;
}

// The list in memory, grown in steps of 256 characters.
struct ValueList {
    ZebHeap<char> text;
    size_t cb;
    size_t cch;
};

BOOL Append(ValueList& list, LPCSTR pszFunction, LPCSTR pszName, LPCSTR pszValue) {
    size_t cchEntry = strlen(pszName) + strlen(pszValue) + 2;
    if (list.cch + cchEntry + 1 > list.cb) {
        size_t cbNew = list.cb;
        while (list.cch + cchEntry + 1 > cbNew)
            cbNew += kListStep;
        char* pNew = (char*)realloc(list.text.Get(), cbNew);
        if (pNew == NULL) {
            TraceText(pszFunction, "Can't allocate property value list (%d)", (int)cbNew);
            return FALSE;
        }
        list.text.Detach();
        list.text.Reset(pNew);
        list.cb = cbNew;
    }
    snprintf(list.text.Get() + list.cch, list.cb - list.cch, "%s=%s;", pszName, pszValue);
    list.cch += cchEntry;
    return TRUE;
}

// A value the list cannot carry: ";" would end its entry early (and the rest would read as
// entries of their own), a line end would end the list, and so would 0x1A, which ends a file
// read in text mode.
LPCSTR UnlistableCharacter(LPCSTR pszValue) {
    if (strchr(pszValue, ';') != NULL)
        return "';'";
    if (strchr(pszValue, '\r') != NULL)
        return "carriage return";
    if (strchr(pszValue, '\n') != NULL)
        return "line feed";
    if (strchr(pszValue, '\x1a') != NULL)
        return "end-of-file character (0x1A)";
    return NULL;
}

// Appends the entry of each name of one list (names separated by ";", empty ones skipped).
BOOL AppendNames(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszNames, ValueList& list, LPCSTR pszFile,
                 UINT* puiStat) {
    while (*pszNames != '\0') {
        size_t cchName = strcspn(pszNames, ";");
        char szName[ZEB_CCH_FEATURELIST];
        memcpy(szName, pszNames, cchName); // a name is part of a list of the same capacity
        szName[cchName] = '\0';
        pszNames += cchName;
        if (*pszNames == ';')
            pszNames++;
        if (szName[0] == '\0')
            continue;

        char szValue[ZEB_CCH_FEATURELIST];
        if (IsIniName(szName)) {
            char szIniValue[ZEB_CCH_MSG];
            if (iwiGetIniProperty(szName, szIniValue, NULL) != ZEB_RC_SUCCESS) {
                *puiStat = ZEB_RC_FAILURE;
                return FALSE;
            }
            lstrcpynA(szValue, szIniValue, sizeof(szValue));
        } else if (!GetPropertyValue(hInstall, pszFunction, szName, szValue, sizeof(szValue), puiStat)) {
            return FALSE;
        }
        if (LPCSTR pszBad = UnlistableCharacter(szValue)) {
            TraceText(pszFunction,
                      "***Property '%s' value holds a %s, which the value list cannot carry; no list written",
                      szName, pszBad);
            DeleteFileA(pszFile); // a list of an earlier run would be read instead
            *puiStat = ZEB_RC_FAILURE;
            return FALSE;
        }
        if (!Append(list, pszFunction, szName, szValue)) {
            *puiStat = ZEB_RC_FAILURE;
            return FALSE;
        }
    }
    return TRUE;
}

void WriteDeferredPropertiesBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiWriteDeferredProperties";
    char szFile[ZEB_CCH_PATH];
    if (!ValueListPath(hInstall, kFunction, szFile, puiStat))
        return;

    ValueList list;
    list.cb = list.cch = 0;
    static const LPCSTR kLists[] = {PROP_ZEBPROPERTYNAMELIST1, PROP_ZEBPROPERTYNAMELIST2,
                                    PROP_ZEBPROPERTYNAMELIST3};
    for (LPCSTR pszList : kLists) {
        char szNames[ZEB_CCH_FEATURELIST];
        if (!GetPropertyValue(hInstall, kFunction, pszList, szNames, sizeof(szNames), puiStat))
            return;
        if (szNames[0] == '\0') {
            TraceText(kFunction, "Can't get property name list '%s'", pszList);
            continue;
        }
        if (!AppendNames(hInstall, kFunction, szNames, list, szFile, puiStat))
            return;
    }

    ZebFile fp(fopen(szFile, "wt"));
    if (!fp.IsValid()) {
        TraceText(kFunction, "***Can't open '%s'", szFile);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    BOOL bWritten = list.cch == 0 || fwrite(list.text.Get(), 1, list.cch, fp.Get()) == list.cch;
    if (!fp.Close() || !bWritten) {
        TraceText(kFunction, "***Can't write '%s'", szFile);
        DeleteFileA(szFile); // a cut list would hand over wrong values
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    TraceText(kFunction, "Wrote %d characters to '%s'", (int)list.cch, szFile);
}

// Library actions run from the script: in-script (0x400) with a DLL as their base type.
BOOL IsDeferredLibraryAction(int iType) {
    return (iType & 7) == 1 && (iType & 0x400) != 0;
}

void SetCustomActionDataBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetCustomActionData";
    static const char kQuery[] = "SELECT * FROM CustomAction";
    char szFile[ZEB_CCH_PATH];
    if (!ValueListPath(hInstall, kFunction, szFile, puiStat))
        return;
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(hInstall, kFunction, kQuery, hDb, hView)) {
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    // CheckMsiRc reports the installer's code; the action's status is 1603 all the same.
    UINT uiRc = ZEB_RC_SUCCESS;
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiFetch = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiFetch == ERROR_NO_MORE_ITEMS)
            break;
        char szName[ZEB_CCH_MSG];
        DWORD cchName = sizeof(szName);
        if (CheckMsiRc("MsiViewFetch", kQuery, uiFetch, &uiRc) != ERROR_SUCCESS ||
            CheckMsiRc("MsiRecordGetString", "Action", MsiRecordGetStringA(hRec.Get(), 1, szName, &cchName),
                       &uiRc) != ERROR_SUCCESS ||
            CheckMsiRc("MsiRecordGetInteger", "Type",
                       MsiRecordIsNull(hRec.Get(), 2) ? (UINT)ERROR_INVALID_PARAMETER : (UINT)ERROR_SUCCESS,
                       &uiRc) != ERROR_SUCCESS) {
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        int iType = MsiRecordGetInteger(hRec.Get(), 2);
        TraceText(kFunction, "CA Name:'%s' type 0x%8.8lx", szName, (unsigned long)(unsigned)iType);
        if (IsDeferredLibraryAction(iType) && !SetPropertyValue(hInstall, kFunction, szName, szFile, puiStat))
            return;
    }
}

// The transaction-manager library's value: removed when the library is not there.
void RemoveXadllValue(LPCSTR pszValueName, REGSAM samView) {
    static const char kFunction[] = "iwiDeferredUpdates";
    TraceText(kFunction, "File does not exist - removing XADLL keys");
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_XADLL_KEY, 0, KEY_SET_VALUE | samView, hKey.Out());
    if (lRc != ERROR_SUCCESS) {
        TraceText(kFunction, "Warning - failed to open the XADLL key, with error %d(%d)", (int)lRc,
                  (int)GetLastError());
        return;
    }
    TraceText(kFunction, "Opened XADLL key, now removing the value if it exists");
    lRc = RegDeleteValueA(hKey.Get(), pszValueName);
    if (lRc == ERROR_SUCCESS)
        TraceText(kFunction, "Removed the %s value", pszValueName);
    else
        TraceText(kFunction, "Warning - failed to remove the %s value, with error %d(%d)", pszValueName,
                  (int)lRc, (int)GetLastError());
}

BOOL AddXadllValue(LPCSTR pszValueName, LPCSTR pszLibrary, REGSAM samView) {
    static const char kFunction[] = "iwiDeferredUpdates";
    TraceText(kFunction, "Client file exists - adding XADLL key");
    ZebRegKey hKey;
    LONG lRc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, ZEB_XADLL_KEY, 0, NULL, REG_OPTION_NON_VOLATILE,
                               KEY_SET_VALUE | samView, NULL, hKey.Out(), NULL);
    if (lRc != ERROR_SUCCESS) {
        TraceText(kFunction, "***ERROR: Failed to create the XADLL key, with error %d(%d)", (int)lRc,
                  (int)GetLastError());
        return FALSE;
    }
    TraceText(kFunction, "Created / opened the XADLL key, now adding a value");
    TraceText(kFunction, "Adding the client value");
    lRc = RegSetValueExA(hKey.Get(), pszValueName, 0, REG_SZ, (const BYTE*)pszLibrary,
                         (DWORD)strlen(pszLibrary) + 1);
    if (lRc != ERROR_SUCCESS) {
        TraceText(kFunction, "***ERROR: Failed to create the value %s -> %s, with error %d(%d)", pszValueName,
                  pszLibrary, (int)lRc, (int)GetLastError());
        return FALSE;
    }
    TraceText(kFunction, "Created the value %s -> %s", pszValueName, pszLibrary);
    return TRUE;
}

void DeferredUpdatesBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiDeferredUpdates";
    char szName[ZEB_CCH_PATH];
    char szProgramFolder[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBPGMFOLDER, szProgramFolder, sizeof(szProgramFolder),
                          puiStat))
        return;
    NormalizePath(FALSE, szProgramFolder);
    BOOL bRollback = MsiGetMode(hInstall, MSIRUNMODE_ROLLBACK);
    TraceText(kFunction, bRollback ? "Running in rollback mode" : "Running in deferred mode");
    REGSAM samView = 0;
    if (Is64BitMachine()) {
        TraceText(kFunction, "Running on 64 bit machine.");
        samView = KEY_WOW64_64KEY;
    } else {
        TraceText(kFunction, "Running on 32 bit machine.");
    }

    char szLibrary[ZEB_CCH_MSG];
    snprintf(szLibrary, sizeof(szLibrary), "%s\\%s\\%s", szProgramFolder, ProgramBinSubfolder(),
             ZEB_XADLL_LIBRARY);
    TraceText(kFunction, "Processing %s", szLibrary);
    char szValueName[ZEB_CCH_MSG];
    snprintf(szValueName, sizeof(szValueName), "Skyloft HX Client (%s)", szName);
    // A path too long for the system names no file: the library is not there.
    if (strlen(szLibrary) < ZEB_CCH_PATH && FileExists(szLibrary)) {
        if (!AddXadllValue(szValueName, szLibrary, samView)) {
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
    } else {
        RemoveXadllValue(szValueName, samView);
    }
    if (bRollback)
        return;

    char szDataFolder[ZEB_CCH_PATH];
    char szLeave[ZEB_CCH_PATH];
    char szRemove[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBDATFOLDER, szDataFolder, sizeof(szDataFolder),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBLEAVEQMDATAREMOVE, szLeave, sizeof(szLeave),
                          puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBREMOVE, szRemove, sizeof(szRemove), puiStat))
        return;
    if (_stricmp(szLeave, "delete") != 0)
        return;
    // The data goes only with the whole product: a modify run keeps its queue managers.
    if (szRemove[0] != '1') {
        TraceText(kFunction, "Not removing the whole product (%s '%s'), so the qmgrs stay in the ini file",
                  PROP_ZEBREMOVE, szRemove);
        return;
    }
    TraceText(kFunction, "Removing the qmgrs from the ini file (backup will be put in temp though!)");
    NormalizePath(FALSE, szDataFolder);
    RemoveQMgrsFromIni(szDataFolder); // its failures are traced; the removal goes on
}

} // namespace

ZEB_ACTION iwiWriteDeferredProperties(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiWriteDeferredProperties", NULL))
        WriteDeferredPropertiesBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetCustomActionData(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetCustomActionData", NULL))
        SetCustomActionDataBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiDeferredUpdates(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiDeferredUpdates", NULL))
        DeferredUpdatesBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
