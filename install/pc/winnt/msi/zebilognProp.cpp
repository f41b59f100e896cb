// Property access: the read and write patterns, deferred reads from the value-list file named by
// CustomActionData, yes/no values, numbered path properties and temporary file names.
#include "zebilogn.h"
#include "zebicson.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct PathProperty {
    PathProperty* pNext;
    char* pszName;
    char* pszValue;
};

struct PropertyState {
    char* pszValueList; // CustomActionData value list, loaded by the first deferred read
    BOOL bLoadingList;  // the load traces, and tracing reads the trace targets from the list
    PathProperty* pPathProperties;
    BOOL bReducedLogging;
    int iFilesProcessed;
    int iFoldersProcessed;
    char szTempName[ZEB_CCH_PATH];
};
PropertyState g_prop;

const char kNotDefined[] = "Property '%s' not defined in property table";

BOOL ReadProperty(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPSTR pszValue, DWORD cchValue,
                  UINT* puiStat, BOOL bTerse) {
    pszValue[0] = '\0';
    if (IsDeferredMode(hInstall)) {
        UINT uiRc = icsGetCustomActionData(pszName, pszValue, cchValue);
        if (uiRc != ZEB_RC_SUCCESS) {
            *puiStat = ZEB_RC_FAILURE;
            return FALSE;
        }
        return TRUE;
    }
    DWORD cch = cchValue;
    UINT uiRc = MsiGetPropertyA(hInstall, pszName, pszValue, &cch);
    if (uiRc == ERROR_SUCCESS && cch == 0) {
        TraceText(pszFunction, kNotDefined, pszName);
        pszValue[0] = '\0';
    } else if (uiRc != ERROR_SUCCESS) {
        pszValue[0] = '\0';
        TraceText(pszFunction, "***msiGetProperty('%s') failed (%d)", pszName, (int)uiRc);
        *puiStat = ZEB_RC_FAILURE;
        return FALSE;
    } else if (!bTerse) {
        TraceText(pszFunction, "Property '%s' value '%s' from property table", pszName, pszValue);
    }
    return TRUE;
}

BOOL WriteProperty(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPCSTR pszValue, UINT* puiStat,
                   BOOL bTerse) {
    if (IsDeferredMode(hInstall)) {
        TraceText(pszFunction,
                  bTerse ? "SETPROPERTYTERSE('%s', '%s') ignored during deferred execution"
                         : "SETPROPERTY('%s', '%s') ignored during deferred execution",
                  pszName, pszValue);
        return TRUE;
    }
    UINT uiRc = MsiSetPropertyA(hInstall, pszName, pszValue);
    if (uiRc != ERROR_SUCCESS) {
        TraceText(pszFunction, "***msiSetProperty('%s') value('%s') failed (%d)", pszName, pszValue,
                  (int)uiRc);
        *puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    if (!bTerse)
        TraceText(pszFunction, "Property '%s' value set to '%s'", pszName, pszValue);
    return TRUE;
}

// Loads the value list from the file that CustomActionData names. Returns 0 with no list when
// CustomActionData is not defined (the next lookup tries again).
UINT LoadValueList(void) {
    char szPath[ZEB_CCH_CADATA];
    DWORD cch = sizeof(szPath);
    UINT uiRc = MsiGetPropertyA(g_zebFrame.hSession, PROP_CUSTOMACTIONDATA, szPath, &cch);
    if (uiRc != ERROR_SUCCESS) {
        TraceText(NULL, "***msiGetProperty('%s') failed (%d)", PROP_CUSTOMACTIONDATA, (int)uiRc);
        return ZEB_RC_FAILURE;
    }
    if (cch == 0) {
        TraceText(NULL, kNotDefined, PROP_CUSTOMACTIONDATA);
        return ZEB_RC_SUCCESS;
    }
    TraceText(NULL, "Property '%s' value '%s' from property table", PROP_CUSTOMACTIONDATA, szPath);

    HANDLE hFile = CreateFileA(szPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE) {
        TraceText(NULL, "***Can't open '%s' (%d)", szPath, (int)GetLastError());
        return ZEB_RC_FAILURE;
    }
    DWORD dwSize = GetFileSize(hFile, NULL);
    CloseHandle(hFile);
    long lSize = (dwSize == INVALID_FILE_SIZE) ? 0 : (long)dwSize;
    if (lSize < 1) {
        TraceText(NULL, "***Can't get file size");
        lSize = 512000;
    }
    WriteTrace(NULL, "Size of value list is %ld", lSize);

    char* pszList = (char*)malloc((size_t)lSize + 4);
    if (pszList == NULL) {
        WriteTrace(NULL, "Can't allocate property value list (%ld)", lSize + 4);
        return ZEB_RC_FAILURE;
    }
    FILE* fp = fopen(szPath, "rtN");
    if (fp == NULL) {
        TraceText(NULL, "Can't open '%s'", szPath);
        free(pszList);
        return ZEB_RC_FAILURE;
    }
    if (fgets(pszList, (int)(lSize + 4), fp) == NULL) {
        TraceText(NULL, "***Can't read '%s'", szPath);
        fclose(fp);
        free(pszList);
        return ZEB_RC_FAILURE;
    }
    fclose(fp);
    pszList[strcspn(pszList, "\r")] = '\0';
    pszList[strcspn(pszList, "\n")] = '\0';
    g_prop.pszValueList = pszList;
    return ZEB_RC_SUCCESS;
}

BOOL MakeTempName(LPSTR pszOut, LPCSTR pszFolder, LPCSTR pszPrefix, LPCSTR pszNumber, LPCSTR pszSuffix) {
    char szName[ZEB_CCH_PATH];
    snprintf(szName, sizeof(szName), "%.16s%.16s%.16s", pszPrefix, pszNumber, pszSuffix);
    return MakeFilePath(pszOut, pszFolder, szName);
}

} // namespace

void ResetPropertyState(void) {
    memset(&g_prop, 0, sizeof(g_prop));
}

void FreePropertyState(void) {
    free(g_prop.pszValueList);
    g_prop.pszValueList = NULL;
    while (g_prop.pPathProperties != NULL) {
        PathProperty* p = g_prop.pPathProperties;
        g_prop.pPathProperties = p->pNext;
        free(p->pszName);
        free(p->pszValue);
        free(p);
    }
}

BOOL GetPropertyValue(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPSTR pszValue, DWORD cchValue,
                      UINT* puiStat) {
    return ReadProperty(hInstall, pszFunction, pszName, pszValue, cchValue, puiStat, FALSE);
}

BOOL SetPropertyValue(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPCSTR pszValue,
                      UINT* puiStat) {
    return WriteProperty(hInstall, pszFunction, pszName, pszValue, puiStat, FALSE);
}

BOOL GetPropertyValueTerse(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPSTR pszValue,
                           DWORD cchValue, UINT* puiStat) {
    return ReadProperty(hInstall, pszFunction, pszName, pszValue, cchValue, puiStat, g_prop.bReducedLogging);
}

BOOL SetPropertyValueTerse(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPCSTR pszValue,
                           UINT* puiStat) {
    return WriteProperty(hInstall, pszFunction, pszName, pszValue, puiStat, g_prop.bReducedLogging);
}

UINT icsGetCustomActionData(LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    pszValue[0] = '\0';
    if (g_prop.pszValueList == NULL && !g_prop.bLoadingList) {
        g_prop.bLoadingList = TRUE;
        UINT uiRc = LoadValueList();
        g_prop.bLoadingList = FALSE;
        if (uiRc != ZEB_RC_SUCCESS)
            return uiRc;
    }
    if (g_prop.pszValueList == NULL || g_prop.pszValueList[0] == '\0') {
        TraceText(NULL, "Property '%s' not defined in CustomActionData", pszName);
        return ZEB_RC_SUCCESS;
    }

    size_t cchName = strlen(pszName);
    for (const char* pEntry = g_prop.pszValueList; *pEntry != '\0';) {
        const char* pEnd = strchr(pEntry, ';');
        if (pEnd == NULL)
            pEnd = pEntry + strlen(pEntry);
        const char* pEq = (const char*)memchr(pEntry, '=', (size_t)(pEnd - pEntry));
        if (pEq != NULL && (size_t)(pEq - pEntry) == cchName && strncmp(pEntry, pszName, cchName) == 0) {
            size_t cchFound = (size_t)(pEnd - pEq - 1);
            if (cchFound >= cchValue) {
                // Refused like an immediate read of a value that does not fit the buffer.
                TraceText(NULL, "***msiGetProperty('%s') failed (%d)", pszName, (int)ERROR_MORE_DATA);
                return ZEB_RC_FAILURE;
            }
            memcpy(pszValue, pEq + 1, cchFound);
            pszValue[cchFound] = '\0';
            TraceText(NULL, "Property '%s' value '%s'; from CustomActionData", pszName, pszValue);
            return ZEB_RC_SUCCESS;
        }
        pEntry = (*pEnd == ';') ? pEnd + 1 : pEnd;
    }
    TraceText(NULL, "Property '%s' not defined in CustomActionData", pszName);
    return ZEB_RC_SUCCESS;
}

BOOL icsIsNo(LPCSTR pszValue, LPCSTR pszDefault) {
    if (_stricmp(pszValue, "0") == 0 || _stricmp(pszValue, "no") == 0)
        return TRUE;
    if (_stricmp(pszValue, "1") == 0 || _stricmp(pszValue, "yes") == 0)
        return FALSE;
    return _stricmp(pszDefault != NULL ? pszDefault : "yes", "no") == 0;
}

BOOL icsIsYes(LPCSTR pszValue, LPCSTR pszDefault) {
    if (_stricmp(pszValue, "1") == 0 || _stricmp(pszValue, "yes") == 0)
        return TRUE;
    if (_stricmp(pszValue, "0") == 0 || _stricmp(pszValue, "no") == 0)
        return FALSE;
    return _stricmp(pszDefault != NULL ? pszDefault : "no", "yes") == 0;
}

UINT CreatePathProperty(LPCSTR pszPath, LPSTR pszName, DWORD cchName) {
    static const char kFunction[] = "CreatePathProperty";
    MSIHANDLE hInstall = g_zebFrame.hSession;
    for (PathProperty* p = g_prop.pPathProperties; p != NULL; p = p->pNext) {
        if (_stricmp(p->pszValue, pszPath) == 0) {
            lstrcpynA(pszName, p->pszName, (int)cchName);
            return ZEB_RC_SUCCESS;
        }
    }

    UINT uiStat = ZEB_RC_SUCCESS;
    char szCounter[ZEB_CCH_FLAG];
    if (!GetPropertyValueTerse(hInstall, kFunction, PROP_ZEBPROPERTYCOUNTER, szCounter, sizeof(szCounter),
                               &uiStat))
        return uiStat;
    unsigned long ulCounter = strtoul(szCounter, NULL, 10);
    char szName[ZEB_CCH_FLAG + 16];
    snprintf(szName, sizeof(szName), "%s%lu", PROP_ZEBPATHPROPERTY, ulCounter);
    if (!SetPropertyValueTerse(hInstall, kFunction, szName, pszPath, &uiStat))
        return uiStat;
    lstrcpynA(pszName, szName, (int)cchName);

    PathProperty* pEntry = (PathProperty*)calloc(1, sizeof(PathProperty));
    size_t cbName = strlen(szName) + 1;
    size_t cbValue = strlen(pszPath) + 1;
    if (pEntry == NULL || (pEntry->pszName = (char*)malloc(cbName)) == NULL) {
        TraceText(kFunction, "***Unable to allocate path property name buffer 0x%8.8lx",
                  (unsigned long)cbName);
        free(pEntry);
        return ZEB_RC_FAILURE;
    }
    if ((pEntry->pszValue = (char*)malloc(cbValue)) == NULL) {
        TraceText(kFunction, "***Unable to allocate path property value buffer 0x%8.8lx",
                  (unsigned long)cbValue);
        free(pEntry->pszName);
        free(pEntry);
        return ZEB_RC_FAILURE;
    }
    memcpy(pEntry->pszName, szName, cbName);
    memcpy(pEntry->pszValue, pszPath, cbValue);
    pEntry->pNext = g_prop.pPathProperties;
    g_prop.pPathProperties = pEntry;

    snprintf(szCounter, sizeof(szCounter), "%lu", ulCounter + 1);
    if (!SetPropertyValueTerse(hInstall, kFunction, PROP_ZEBPROPERTYCOUNTER, szCounter, &uiStat))
        return uiStat;
    return ZEB_RC_SUCCESS;
}

LPCSTR iiiGetTempFileName(LPCSTR pszPrefix, LPCSTR pszSuffix) {
    static const char kFunction[] = "iiiGetTempFileName";
    // The seven names that share one number; a number is taken only when all are free.
    static const char* const kFamily[][2] = {{"zebt", ".log"}, {"zebl", ".log"}, {"zebp", ".txt"},
                                             {"zebs", ".txt"}, {"zebg", ".txt"}, {"zebt", ".txt"},
                                             {"zebl", ".dll"}};
    MSIHANDLE hInstall = g_zebFrame.hSession;
    UINT uiStat = ZEB_RC_SUCCESS;
    g_prop.szTempName[0] = '\0';

    if (!EnsureTempFolder(hInstall, kFunction))
        return g_prop.szTempName;
    LPSTR pszFolder = g_zebFrame.szTempFolder;
    if (pszFolder[0] == '\0') {
        if (!GetPropertyValue(hInstall, kFunction, PROP_TEMPFOLDER, pszFolder, ZEB_CCH_PATH, &uiStat))
            return g_prop.szTempName;
        NormalizePath(FALSE, pszFolder);
        if (pszFolder[0] != '\0' && !SetPropertyValue(hInstall, kFunction, PROP_ZEBTEMP, pszFolder, &uiStat))
            return g_prop.szTempName;
    }

    char szNumber[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBTEMPFILENUM, szNumber, sizeof(szNumber), &uiStat))
        return g_prop.szTempName;
    if (pszFolder[0] == '\0')
        return g_prop.szTempName;
    if (szNumber[0] != '\0') {
        MakeTempName(g_prop.szTempName, pszFolder, pszPrefix, szNumber, pszSuffix);
        return g_prop.szTempName;
    }

    for (unsigned long n = 1; n <= 65535; n++) {
        snprintf(szNumber, sizeof(szNumber), "%4.4lx", n);
        BOOL bFree = TRUE;
        for (const auto& name : kFamily) {
            char szPath[ZEB_CCH_PATH];
            if (!MakeTempName(szPath, pszFolder, name[0], szNumber, name[1]))
                return g_prop.szTempName; // the folder leaves no room for any name
            if (!TryCreateNewFile(szPath)) {
                bFree = FALSE;
                break;
            }
        }
        if (!bFree)
            continue;
        if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBTEMPFILENUM, szNumber, &uiStat))
            return g_prop.szTempName;
        MakeTempName(g_prop.szTempName, pszFolder, pszPrefix, szNumber, pszSuffix);
        return g_prop.szTempName;
    }
    return g_prop.szTempName;
}

void iiiSetReducedCSDLogging(BOOL bOn) {
    if (bOn) {
        g_prop.bReducedLogging = TRUE;
        g_prop.iFilesProcessed = 0;
        g_prop.iFoldersProcessed = 0;
        return;
    }
    g_prop.bReducedLogging = FALSE;
    WriteTrace(NULL, "Reduced logging - Number of files processed = %d", g_prop.iFilesProcessed);
    WriteTrace(NULL, "Reduced logging - Number of folders processed = %d", g_prop.iFoldersProcessed);
}

BOOL IsReducedLogging(void) {
    return g_prop.bReducedLogging;
}
void CountReducedLoggingFile(void) {
    g_prop.iFilesProcessed++;
}
void CountReducedLoggingFolder(void) {
    g_prop.iFoldersProcessed++;
}
