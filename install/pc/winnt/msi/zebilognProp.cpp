// Property access: the read and write patterns, deferred reads from the value-list file named by
// CustomActionData, yes/no values, numbered path properties and temporary file names.
#include "zebilogn.h"
#include "zebhold.h"
#include "zebicson.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct PathProperty {
    PathProperty* pNext; // in its bucket
    unsigned long ulHash;
    char* pszName;
    char* pszValue;
};

// The path-property cache: a hash on the path with ASCII letters folded, so that a path found
// ignoring case is found in its bucket. The removal stacking asks it once per file.
struct PathPropertyCache {
    PathProperty** ppBuckets;
    size_t cBuckets; // a power of two, or 0 before the first entry
    size_t cEntries;
};

struct PropertyState {
    char* pszValueList; // CustomActionData value list, loaded by the first deferred read
    PathPropertyCache paths;
    char szTempFolder[ZEB_CCH_PATH]; // ZEBTEMP, normalised without trailing backslash
    BOOL bReducedLogging;
    int iFilesProcessed;
    int iFoldersProcessed;
    char szTempName[ZEB_CCH_PATH];
};
PropertyState g_prop;

const char kNotDefined[] = "Property '%s' not defined in property table";

BOOL ReadProperty(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPSTR pszValue, DWORD cchValue,
                  UINT* puiStat, BOOL bTerse) {
    if (cchValue > 0)
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
//
// Its first trace line resolves the trace targets, which in deferred mode are read from the list:
// that nested load runs to the end with its lines dropped by the trace's writing flag, so it can
// go no deeper, and this load's lines then reach the trace files. The list it left is kept.
UINT LoadValueList(void) {
    char szPath[ZEB_CCH_CADATA];
    DWORD cch = sizeof(szPath);
    UINT uiRc = MsiGetPropertyA(FrameSession(), PROP_CUSTOMACTIONDATA, szPath, &cch);
    if (uiRc != ERROR_SUCCESS) {
        TraceText(NULL, "***msiGetProperty('%s') failed (%d)", PROP_CUSTOMACTIONDATA, (int)uiRc);
        return ZEB_RC_FAILURE;
    }
    if (cch == 0) {
        TraceText(NULL, kNotDefined, PROP_CUSTOMACTIONDATA);
        return ZEB_RC_SUCCESS;
    }
    TraceText(NULL, "Property '%s' value '%s' from property table", PROP_CUSTOMACTIONDATA, szPath);

    DWORD dwSize;
    {
        ZebKernelHandle hFile(
            CreateFileA(szPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
        if (!hFile.IsValid()) {
            TraceText(NULL, "***Can't open '%s' (%d)", szPath, (int)GetLastError());
            return ZEB_RC_FAILURE;
        }
        dwSize = GetFileSize(hFile.Get(), NULL);
    }
    long lSize = (dwSize == INVALID_FILE_SIZE) ? 0 : (long)dwSize;
    if (lSize < 1) {
        TraceText(NULL, "***Can't get file size");
        lSize = 512000;
    }
    WriteTrace(NULL, "Size of value list is %ld", lSize);

    ZebHeap<char> list((char*)malloc((size_t)lSize + 4));
    if (!list.IsValid()) {
        WriteTrace(NULL, "Can't allocate property value list (%ld)", lSize + 4);
        return ZEB_RC_FAILURE;
    }
    ZebFile fp(fopen(szPath, "rtN"));
    if (!fp.IsValid()) {
        TraceText(NULL, "Can't open '%s'", szPath);
        return ZEB_RC_FAILURE;
    }
    if (fgets(list.Get(), (int)(lSize + 4), fp.Get()) == NULL) {
        TraceText(NULL, "***Can't read '%s'", szPath);
        return ZEB_RC_FAILURE;
    }
    fp.Close();
    char* pszList = list.Get();
    pszList[strcspn(pszList, "\r")] = '\0';
    pszList[strcspn(pszList, "\n")] = '\0';
    if (g_prop.pszValueList == NULL)
        g_prop.pszValueList = list.Detach();
    return ZEB_RC_SUCCESS;
}

const size_t kFirstBuckets = 64;

unsigned long FoldedHash(LPCSTR psz) {
    unsigned long ulHash = 2166136261u; // FNV-1a
    for (; *psz != '\0'; psz++) {
        unsigned char c = (unsigned char)*psz;
        if (c >= 'A' && c <= 'Z')
            c = (unsigned char)(c - 'A' + 'a');
        ulHash = (ulHash ^ c) * 16777619u;
    }
    return ulHash & 0xFFFFFFFFu;
}

PathProperty* FindPathProperty(LPCSTR pszPath, unsigned long ulHash) {
    const PathPropertyCache& cache = g_prop.paths;
    if (cache.cBuckets == 0)
        return NULL;
    for (PathProperty* p = cache.ppBuckets[ulHash & (cache.cBuckets - 1)]; p != NULL; p = p->pNext) {
        if (p->ulHash == ulHash && _stricmp(p->pszValue, pszPath) == 0)
            return p;
    }
    return NULL;
}

// Doubles the buckets once there are as many entries; FALSE only when there are no buckets at
// all (a cache that cannot grow stays correct, only slower).
BOOL MakeRoomForPathProperty(void) {
    PathPropertyCache& cache = g_prop.paths;
    if (cache.cBuckets != 0 && cache.cEntries < cache.cBuckets)
        return TRUE;
    size_t cNew = cache.cBuckets == 0 ? kFirstBuckets : cache.cBuckets * 2;
    PathProperty** ppNew = (PathProperty**)calloc(cNew, sizeof(PathProperty*));
    if (ppNew == NULL)
        return cache.cBuckets != 0;
    for (size_t i = 0; i < cache.cBuckets; i++) {
        while (cache.ppBuckets[i] != NULL) {
            PathProperty* p = cache.ppBuckets[i];
            cache.ppBuckets[i] = p->pNext;
            p->pNext = ppNew[p->ulHash & (cNew - 1)];
            ppNew[p->ulHash & (cNew - 1)] = p;
        }
    }
    free(cache.ppBuckets);
    cache.ppBuckets = ppNew;
    cache.cBuckets = cNew;
    return TRUE;
}

// prefix + number + suffix in the folder; FALSE (and an empty path) when the name does not fit.
BOOL MakeTempName(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFolder, LPCSTR pszPrefix, LPCSTR pszNumber,
                  LPCSTR pszSuffix) {
    char szName[ZEB_CCH_PATH];
    int cch = snprintf(szName, sizeof(szName), "%s%s%s", pszPrefix, pszNumber, pszSuffix);
    if (cch < 0 || cch >= (int)sizeof(szName)) {
        szOut[0] = '\0';
        return FALSE;
    }
    return MakeFilePath(szOut, pszFolder, szName);
}

} // namespace

void ResetPropertyState(void) {
    memset(&g_prop, 0, sizeof(g_prop));
}

void FreePropertyState(void) {
    free(g_prop.pszValueList);
    g_prop.pszValueList = NULL;
    PathPropertyCache& cache = g_prop.paths;
    for (size_t i = 0; i < cache.cBuckets; i++) {
        while (cache.ppBuckets[i] != NULL) {
            PathProperty* p = cache.ppBuckets[i];
            cache.ppBuckets[i] = p->pNext;
            free(p->pszName);
            free(p->pszValue);
            free(p);
        }
    }
    free(cache.ppBuckets);
    memset(&cache, 0, sizeof(cache));
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

BOOL EnsureTempFolder(MSIHANDLE hInstall, LPCSTR pszFunction) {
    if (g_prop.szTempFolder[0] != '\0')
        return TRUE;
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!GetPropertyValue(hInstall, pszFunction, PROP_ZEBTEMP, g_prop.szTempFolder,
                          sizeof(g_prop.szTempFolder), &uiStat))
        return FALSE;
    NormalizePath(FALSE, g_prop.szTempFolder);
    return TRUE;
}

LPCSTR TempFolder(void) {
    return g_prop.szTempFolder;
}

UINT icsGetCustomActionData(LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    if (cchValue > 0)
        pszValue[0] = '\0';
    if (g_prop.pszValueList == NULL) {
        UINT uiRc = LoadValueList();
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
    MSIHANDLE hInstall = FrameSession();
    unsigned long ulHash = FoldedHash(pszPath);
    if (PathProperty* pFound = FindPathProperty(pszPath, ulHash)) {
        lstrcpynA(pszName, pFound->pszName, (int)cchName);
        return ZEB_RC_SUCCESS;
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

    size_t cbName = strlen(szName) + 1;
    size_t cbValue = strlen(pszPath) + 1;
    ZebHeap<PathProperty> entry(MakeRoomForPathProperty() ? (PathProperty*)calloc(1, sizeof(PathProperty))
                                                          : NULL);
    ZebHeap<char> name(entry.IsValid() ? (char*)malloc(cbName) : NULL);
    if (!name.IsValid()) {
        TraceText(kFunction, "***Unable to allocate path property name buffer 0x%8.8lx",
                  (unsigned long)cbName);
        return ZEB_RC_FAILURE;
    }
    ZebHeap<char> value((char*)malloc(cbValue));
    if (!value.IsValid()) {
        TraceText(kFunction, "***Unable to allocate path property value buffer 0x%8.8lx",
                  (unsigned long)cbValue);
        return ZEB_RC_FAILURE;
    }
    memcpy(name.Get(), szName, cbName);
    memcpy(value.Get(), pszPath, cbValue);
    PathProperty* pEntry = entry.Detach();
    pEntry->pszName = name.Detach();
    pEntry->pszValue = value.Detach();
    pEntry->ulHash = ulHash;
    PathProperty*& pBucket = g_prop.paths.ppBuckets[ulHash & (g_prop.paths.cBuckets - 1)];
    pEntry->pNext = pBucket;
    pBucket = pEntry;
    g_prop.paths.cEntries++;

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
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    g_prop.szTempName[0] = '\0';

    if (!EnsureTempFolder(hInstall, kFunction))
        return g_prop.szTempName;
    char(&szFolder)[ZEB_CCH_PATH] = g_prop.szTempFolder;
    if (szFolder[0] == '\0') {
        if (!GetPropertyValue(hInstall, kFunction, PROP_TEMPFOLDER, szFolder, sizeof(szFolder), &uiStat))
            return g_prop.szTempName;
        NormalizePath(FALSE, szFolder);
        if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBTEMP, szFolder, &uiStat))
            return g_prop.szTempName;
    }

    char szNumber[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBTEMPFILENUM, szNumber, sizeof(szNumber), &uiStat))
        return g_prop.szTempName;
    if (szFolder[0] == '\0')
        return g_prop.szTempName;
    if (szNumber[0] != '\0') {
        MakeTempName(g_prop.szTempName, szFolder, pszPrefix, szNumber, pszSuffix);
        return g_prop.szTempName;
    }

    for (unsigned long n = 1; n <= 65535; n++) {
        snprintf(szNumber, sizeof(szNumber), "%4.4lx", n);
        BOOL bFree = TRUE;
        for (const auto& name : kFamily) {
            char szPath[ZEB_CCH_PATH];
            if (!MakeTempName(szPath, szFolder, name[0], szNumber, name[1]))
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
        MakeTempName(g_prop.szTempName, szFolder, pszPrefix, szNumber, pszSuffix);
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
int CountReducedLoggingFile(void) {
    return ++g_prop.iFilesProcessed;
}
int CountReducedLoggingFolder(void) {
    return ++g_prop.iFoldersProcessed;
}
