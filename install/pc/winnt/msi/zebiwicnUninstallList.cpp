// The queue-manager list of one load: entries added at the head, a hash on the exact name for
// the duplicate test (a machine may define thousands of queue managers), and the first/next
// enumeration.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnUninstall.h"

#include <stdlib.h>
#include <string.h>

namespace {

struct QmEntry {
    QmEntry* pNext;     // in the list
    QmEntry* pHashNext; // in its bucket
    unsigned long ulHash;
    char* pszName;
    char* pszDirectory;
    char* pszLogDirectory;
    char* pszInstallation;
};

struct UninstallState {
    QmEntry* pHead;
    QmEntry* pCursor; // the entry the next enumeration step returns
    QmEntry** ppBuckets;
    size_t cBuckets; // a power of two, or 0 before the first entry
    size_t cEntries;
    char szDataFolder[ZEB_CCH_PATH];
};
UninstallState g_qm;

const size_t kFirstBuckets = 64;

unsigned long NameHash(LPCSTR psz) {
    unsigned long ulHash = 2166136261u; // FNV-1a
    for (; *psz != '\0'; psz++)
        ulHash = (ulHash ^ (unsigned char)*psz) * 16777619u;
    return ulHash & 0xFFFFFFFFu;
}

QmEntry* FindEntry(LPCSTR pszName, unsigned long ulHash) {
    if (g_qm.cBuckets == 0)
        return NULL;
    for (QmEntry* p = g_qm.ppBuckets[ulHash & (g_qm.cBuckets - 1)]; p != NULL; p = p->pHashNext) {
        if (p->ulHash == ulHash && strcmp(p->pszName, pszName) == 0)
            return p;
    }
    return NULL;
}

// Doubles the buckets once there are as many entries. FALSE only when there are none at all: a
// table that cannot grow stays correct, only slower.
BOOL MakeRoomForEntry(void) {
    if (g_qm.cBuckets != 0 && g_qm.cEntries < g_qm.cBuckets)
        return TRUE;
    size_t cNew = g_qm.cBuckets == 0 ? kFirstBuckets : g_qm.cBuckets * 2;
    QmEntry** ppNew = (QmEntry**)calloc(cNew, sizeof(QmEntry*));
    if (ppNew == NULL)
        return g_qm.cBuckets != 0;
    for (QmEntry* p = g_qm.pHead; p != NULL; p = p->pNext) {
        p->pHashNext = ppNew[p->ulHash & (cNew - 1)];
        ppNew[p->ulHash & (cNew - 1)] = p;
    }
    free(g_qm.ppBuckets);
    g_qm.ppBuckets = ppNew;
    g_qm.cBuckets = cNew;
    return TRUE;
}

void FreeStrings(QmEntry* p) {
    free(p->pszName);
    free(p->pszDirectory);
    free(p->pszLogDirectory);
    free(p->pszInstallation);
    p->pszName = p->pszDirectory = p->pszLogDirectory = p->pszInstallation = NULL;
}

// A text whose copy failed reads as empty.
LPCSTR TextOf(LPCSTR psz) {
    return psz != NULL ? psz : "";
}

char* CopyText(LPCSTR psz) {
    size_t cb = strlen(psz) + 1;
    char* pszCopy = (char*)malloc(cb);
    if (pszCopy != NULL)
        memcpy(pszCopy, psz, cb);
    return pszCopy;
}

// Normalises a folder into szOut when it can name a folder at all. FALSE, traced, when it is
// empty, too long for a path (szOut then empty: it never names another, cut folder) or missing.
BOOL CheckFolder(LPCSTR pszFolder, LPCSTR pszName, BOOL bLog, char (&szOut)[ZEB_CCH_PATH]) {
    static const char kFunction[] = "CheckAndAddQmToList";
    szOut[0] = '\0';
    char szWork[ZEB_CCH_MSG];
    size_t cch = strlen(pszFolder);
    LPCSTR pszShown = pszFolder;
    if (cch < sizeof(szWork)) {
        memcpy(szWork, pszFolder, cch + 1);
        NormalizePath(FALSE, szWork);
        pszShown = szWork;
        if (szWork[0] == '\0') {
            TraceText(kFunction, bLog ? "***No log directory for '%s'" : "***No QM directory for '%s'",
                      pszName);
            return FALSE;
        }
        cch = strlen(szWork);
    }
    if (cch >= sizeof(szOut)) {
        TraceText(kFunction,
                  bLog ? "***Can't find log directory '%s' for '%s'"
                       : "***Can't find QM directory '%s' for '%s'",
                  pszShown, pszName);
        return FALSE;
    }
    memcpy(szOut, szWork, cch + 1);
    char szProbe[ZEB_CCH_PATH];
    memcpy(szProbe, szOut, cch + 1);
    if (!IsExistingDirectory(szProbe)) {
        TraceText(kFunction,
                  bLog ? "***Can't find log directory '%s' for '%s'"
                       : "***Can't find QM directory '%s' for '%s'",
                  szOut, pszName);
        return FALSE;
    }
    return TRUE;
}

// One entry's texts into the caller's buffers; a buffer is never too short for what it gets.
void CopyOut(const QmEntry* p, char (*pszName)[ZEB_CCH_MSG], char (*pszDataFolder)[ZEB_CCH_PATH],
             char (*pszLogFolder)[ZEB_CCH_PATH], char (*pszInstallation)[ZEB_CCH_MSG]) {
    if (pszName != NULL)
        lstrcpynA(*pszName, p->pszName, sizeof(*pszName));
    if (pszDataFolder != NULL)
        lstrcpynA(*pszDataFolder, TextOf(p->pszDirectory), sizeof(*pszDataFolder));
    if (pszLogFolder != NULL)
        lstrcpynA(*pszLogFolder, TextOf(p->pszLogDirectory), sizeof(*pszLogFolder));
    if (pszInstallation != NULL)
        lstrcpynA(*pszInstallation, TextOf(p->pszInstallation), sizeof(*pszInstallation));
}

// A directory name that names one folder below "qmgrs", never that folder itself or its parent.
BOOL IsFolderName(LPCSTR pszDirectory) {
    char szName[ZEB_CCH_MSG];
    lstrcpynA(szName, pszDirectory, sizeof(szName));
    NormalizePath(FALSE, szName);
    return szName[0] != '\0' && strpbrk(szName, "\\/") == NULL && strcmp(szName, ".") != 0 &&
           strcmp(szName, "..") != 0;
}

// "prefix\qmgrs\directory" in a new buffer; "" when either part is empty or the directory is no
// folder name, since the folder would then be the qmgrs folder itself, its parent or below the
// drive's root. NULL when out of memory.
char* DataFolderOf(LPCSTR pszPrefix, LPCSTR pszDirectory) {
    if (pszPrefix[0] == '\0' || !IsFolderName(pszDirectory))
        return CopyText("");
    size_t cb = strlen(pszPrefix) + strlen(pszDirectory) + sizeof("\\qmgrs\\");
    char* psz = (char*)malloc(cb);
    if (psz != NULL)
        snprintf(psz, cb, "%s\\qmgrs\\%s", pszPrefix, pszDirectory);
    return psz;
}

} // namespace

void ResetUninstallState(void) {
    memset(&g_qm, 0, sizeof(g_qm));
}

void isuFreeQmList(void) {
    while (g_qm.pHead != NULL) {
        QmEntry* p = g_qm.pHead;
        g_qm.pHead = p->pNext;
        FreeStrings(p);
        free(p);
    }
    free(g_qm.ppBuckets);
    g_qm.ppBuckets = NULL;
    g_qm.cBuckets = 0;
    g_qm.cEntries = 0;
    g_qm.pCursor = NULL;
}

void SetQmDataFolder(LPCSTR pszDataFolder) {
    lstrcpynA(g_qm.szDataFolder, pszDataFolder, sizeof(g_qm.szDataFolder));
    NormalizePath(FALSE, g_qm.szDataFolder);
}

LPCSTR isuQmDataFolder(void) {
    return g_qm.szDataFolder;
}

int isuQmCount(void) {
    return (int)g_qm.cEntries;
}

BOOL isuGetFirstQm(char (*pszName)[ZEB_CCH_MSG], char (*pszDataFolder)[ZEB_CCH_PATH],
                   char (*pszLogFolder)[ZEB_CCH_PATH], char (*pszInstallation)[ZEB_CCH_MSG]) {
    g_qm.pCursor = g_qm.pHead;
    return isuGetNextQm(pszName, pszDataFolder, pszLogFolder, pszInstallation);
}

BOOL isuGetNextQm(char (*pszName)[ZEB_CCH_MSG], char (*pszDataFolder)[ZEB_CCH_PATH],
                  char (*pszLogFolder)[ZEB_CCH_PATH], char (*pszInstallation)[ZEB_CCH_MSG]) {
    if (g_qm.pCursor == NULL)
        return FALSE;
    CopyOut(g_qm.pCursor, pszName, pszDataFolder, pszLogFolder, pszInstallation);
    g_qm.pCursor = g_qm.pCursor->pNext;
    return TRUE;
}

BOOL CheckAndAddQmToList(LPCSTR pszName, LPCSTR pszDataFolder, LPCSTR pszLogFolder, LPCSTR pszInstallation,
                         BOOL bOverwrite) {
    static const char kFunction[] = "CheckAndAddQmToList";
    if (strlen(pszName) >= ZEB_CCH_MSG || strlen(pszInstallation) >= ZEB_CCH_MSG) {
        TraceText(kFunction, "***Queue manager name '%s' or its installation name '%s' is too long", pszName,
                  pszInstallation);
        return FALSE;
    }
    char szData[ZEB_CCH_PATH];
    char szLog[ZEB_CCH_PATH];
    BOOL bResult = CheckFolder(pszDataFolder, pszName, FALSE, szData);
    bResult = CheckFolder(pszLogFolder, pszName, TRUE, szLog) && bResult;

    unsigned long ulHash = NameHash(pszName);
    QmEntry* pEntry = FindEntry(pszName, ulHash);
    if (pEntry != NULL) {
        if (!bOverwrite) {
            TraceText(kFunction, "Duplicate QM list entry for '%s' ignored", pszName);
            return bResult;
        }
        TraceText(kFunction, "Overwriting duplicate QM list entry for '%s'", pszName);
        char* pszKeptName = pEntry->pszName; // the bucket's key stays
        pEntry->pszName = NULL;
        FreeStrings(pEntry);
        pEntry->pszName = pszKeptName;
    }
    TraceText(kFunction, "Scanned list");

    if (pEntry == NULL) {
        ZebHeap<char> name(CopyText(pszName));
        pEntry = MakeRoomForEntry() && name.IsValid() ? (QmEntry*)calloc(1, sizeof(QmEntry)) : NULL;
        if (pEntry == NULL) {
            TraceText(kFunction, "***Can't allocate memory for QM list");
            return FALSE;
        }
        pEntry->pszName = name.Detach();
        pEntry->ulHash = ulHash;
        pEntry->pNext = g_qm.pHead;
        g_qm.pHead = pEntry;
        pEntry->pHashNext = g_qm.ppBuckets[ulHash & (g_qm.cBuckets - 1)];
        g_qm.ppBuckets[ulHash & (g_qm.cBuckets - 1)] = pEntry;
        g_qm.cEntries++;
    }

    pEntry->pszInstallation = CopyText(pszInstallation);
    pEntry->pszDirectory = CopyText(szData);
    pEntry->pszLogDirectory = CopyText(szLog);
    if (pEntry->pszInstallation == NULL) {
        TraceText(kFunction, "***Can't allocate name memory for '%s'", pszName);
        bResult = FALSE;
    }
    if (pEntry->pszDirectory == NULL) {
        TraceText(kFunction, "***Can't allocate dir memory for '%s'", pszName);
        bResult = FALSE;
    }
    if (pEntry->pszLogDirectory == NULL) {
        TraceText(kFunction, "***Can't allocate log memory for '%s'", pszName);
        bResult = FALSE;
    }
    TraceText(kFunction, "QM list entry for '%s' Added", pszName);
    TraceText(kFunction, " Installation: '%s'", TextOf(pEntry->pszInstallation));
    TraceText(kFunction, " Directory:    '%s'", TextOf(pEntry->pszDirectory));
    TraceText(kFunction, " Log:          '%s'", TextOf(pEntry->pszLogDirectory));
    return bResult;
}

BOOL NewQm(LPCSTR pszName, LPCSTR pszDefaultPrefix, LPCSTR pszPrefix, LPCSTR pszDirectory,
           LPCSTR pszDefaultLogPath, LPCSTR pszLogPath, LPCSTR pszInstallation, BOOL bOverwrite) {
    static const char kFunction[] = "NewQm";
    TraceText(kFunction, "Creating QM entry for '%s'", pszName);
    LPCSTR pszUsedPrefix = pszPrefix;
    if (pszPrefix[0] == '\0' && pszDefaultPrefix[0] != '\0') {
        TraceText(kFunction, "Using default prefix for '%s'", pszName);
        pszUsedPrefix = pszDefaultPrefix;
    }

    BOOL bResult = TRUE;
    char szLog[ZEB_CCH_MSG] = "";
    LPCSTR pszLog = szLog;
    if (pszLogPath != NULL) {
        pszLog = pszLogPath;
    } else if (pszUsedPrefix[0] != '\0' && IsFolderName(pszDirectory)) {
        char szQmIni[ZEB_CCH_PATH];
        int cch = snprintf(szQmIni, sizeof(szQmIni), "%s\\qmgrs\\%s\\QM.INI", pszUsedPrefix, pszDirectory);
        if (cch > 0 && cch < (int)sizeof(szQmIni) && FileExists(szQmIni))
            bResult = isuGetLogDirFromIni(szQmIni, szLog);
    }
    if (pszLog[0] == '\0' && pszDefaultLogPath[0] != '\0') {
        TraceText(kFunction, "Using default QM log path for '%s'", pszName);
        pszLog = pszDefaultLogPath;
    }

    if (pszDirectory[0] != '\0' && !IsFolderName(pszDirectory))
        TraceText(kFunction, "***Directory '%s' of '%s' names no folder of its own", pszDirectory, pszName);
    ZebHeap<char> data(DataFolderOf(pszUsedPrefix, pszDirectory));
    if (!data.IsValid()) {
        TraceText(kFunction, "***Can't allocate memory for QM list");
        return FALSE;
    }
    return CheckAndAddQmToList(pszName, data.Get(), pszLog, pszInstallation, bOverwrite) && bResult;
}
