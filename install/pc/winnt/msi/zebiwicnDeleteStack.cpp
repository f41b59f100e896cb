// Stacked removal rows: temporary RemoveFile, RemoveRegistry and Registry rows. The engine's own
// removal steps carry them out in its transaction and undo them on rollback.
#include "zebhold.h"
#include "zebicson.h"
#include "zebiwicnDelete.h"
#include "zebilogn.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kRemoveFile[] = "RemoveFile";
const char kInvalidPath[] = "***Invalid path: '%s'";
const int kFilesPerLine = 1000;
const int kFoldersPerLine = 100;

const struct {
    LPCSTR pszName;
    int iRoot;
} kRoots[] = {
    {"HKEY_CLASSES_ROOT", 0},
    {"HKEY_CURRENT_USER", 1},
    {"HKEY_LOCAL_MACHINE", 2},
    {"HKEY_USERS", 3},
};

BOOL IsDotEntry(LPCSTR pszName) {
    return strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0;
}

// A folder (no trailing backslash) that names something below a drive's root or a share's:
// "C:\A" or "\\server\share\A". A root or a relative folder would make the engine act on
// whatever it resolves them to.
BOOL IsStackableFolder(LPCSTR pszFolder) {
    if (isalpha((unsigned char)pszFolder[0]) && pszFolder[1] == ':' && pszFolder[2] == '\\')
        return pszFolder[3] != '\0' && pszFolder[3] != '\\';
    if (pszFolder[0] != '\\' || pszFolder[1] != '\\')
        return FALSE;
    LPCSTR pszServerEnd = strchr(pszFolder + 2, '\\');
    if (pszServerEnd == NULL || pszServerEnd == pszFolder + 2)
        return FALSE;
    LPCSTR pszShareEnd = strchr(pszServerEnd + 1, '\\');
    return pszShareEnd != NULL && pszShareEnd != pszServerEnd + 1 && pszShareEnd[1] != '\0';
}

// The first cchFolder characters of the path, tidied and without trailing backslash, when they
// name a stackable folder.
BOOL TakeFolder(char (&szFolder)[ZEB_CCH_PATH], LPCSTR pszPath, size_t cchFolder) {
    if (cchFolder >= sizeof(szFolder))
        return FALSE;
    memcpy(szFolder, pszPath, cchFolder);
    szFolder[cchFolder] = '\0';
    NormalizePath(FALSE, szFolder);
    return IsStackableFolder(szFolder);
}

// A RemoveFile row: a file name or pattern, or none for the folder itself.
UINT AddRemoveFileRow(LPCSTR pszFunction, LPCSTR pszFolder, LPCSTR pszFileName, LPCSTR pszComponent,
                      int iInstallMode) {
    char szProperty[ZEB_CCH_FLAG + 16];
    if (CreatePathProperty(pszFolder, szProperty, sizeof(szProperty)) != ZEB_RC_SUCCESS)
        return ZEB_RC_FAILURE;
    ULONG_PTR values[5] = {0, (ULONG_PTR)pszComponent, (ULONG_PTR)pszFileName, (ULONG_PTR)szProperty,
                           (ULONG_PTR)(unsigned)iInstallMode};
    return AddCountedRow(pszFunction, kRemoveFile, "ZEB_Record_", 5, 0x10, values);
}

// The stacking of one path, as its trace shows it.
void TraceFileRecord(LPCSTR pszFormat, LPCSTR pszPath) {
    if (!IsReducedLogging()) {
        TraceText(NULL, pszFormat, pszPath);
        return;
    }
    int iCount = CountReducedLoggingFile();
    if (iCount % kFilesPerLine == 0)
        WriteTrace(NULL, "%d file records processed", iCount);
}

void TraceFolderRecord(LPCSTR pszPath) {
    if (!IsReducedLogging()) {
        TraceText(NULL, "Stacking folder for deletion: '%s'", pszPath);
        return;
    }
    int iCount = CountReducedLoggingFolder();
    if (iCount % kFoldersPerLine == 0)
        WriteTrace(NULL, "%d folder records processed", iCount);
}

// The rows of one folder (given with its trailing backslash) and, when asked, of its subfolders.
UINT ScanFolder(LPCSTR pszFolder, LPCSTR pszPattern, LPCSTR pszComponent, int iInstallMode,
                BOOL bRemoveFolders, BOOL bDescend) {
    char szPath[ZEB_CCH_PATH];
    if (pszPattern[0] != '\0') {
        if (snprintf(szPath, sizeof(szPath), "%s%s", pszFolder, pszPattern) >= (int)sizeof(szPath)) {
            TraceText(NULL, kInvalidPath, pszFolder);
            return ZEB_RC_FAILURE;
        }
        if (StackDeleteFiles(szPath, pszComponent, iInstallMode) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
    }
    if (bDescend) {
        char szSearch[ZEB_CCH_PATH];
        if (snprintf(szSearch, sizeof(szSearch), "%s*", pszFolder) >= (int)sizeof(szSearch)) {
            TraceText(NULL, kInvalidPath, pszFolder);
            return ZEB_RC_FAILURE;
        }
        WIN32_FIND_DATAA fd;
        ZebFindHandle hFind(FindFirstFileA(szSearch, &fd));
        if (!hFind.IsValid()) {
            DWORD dwErr = GetLastError();
            if (dwErr != ERROR_FILE_NOT_FOUND && dwErr != ERROR_PATH_NOT_FOUND &&
                dwErr != ERROR_INVALID_NAME) {
                TraceText(NULL, "***FindFirstFile(2) error %d, path '%s'", (int)dwErr, szSearch);
                return ZEB_RC_FAILURE;
            }
        } else {
            do {
                if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || IsDotEntry(fd.cFileName))
                    continue;
                if (snprintf(szPath, sizeof(szPath), "%s%s\\%s", pszFolder, fd.cFileName, pszPattern) >=
                    (int)sizeof(szPath)) {
                    TraceText(NULL, "***Invalid path: '%s%s\\%s'", pszFolder, fd.cFileName, pszPattern);
                    return ZEB_RC_FAILURE;
                }
                if (ScanAndStackDeleteFolderFiles(szPath, pszComponent, iInstallMode, bRemoveFolders,
                                                  bDescend) != ZEB_RC_SUCCESS)
                    return ZEB_RC_FAILURE;
            } while (FindNextFileA(hFind.Get(), &fd));
        }
    }
    // After the subfolders' rows: an engine that takes folder rows in order finds them empty.
    if (bRemoveFolders)
        return StackDeleteFolder(pszFolder, pszComponent, iInstallMode);
    return ZEB_RC_SUCCESS;
}

} // namespace

UINT AddCountedRow(LPCSTR pszFunction, LPCSTR pszTable, LPCSTR pszKeyPrefix, int iFields, DWORD dwFieldBits,
                   ULONG_PTR* pValues, char (*pszKey)[ZEB_CCH_PATH]) {
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    char szCounter[ZEB_CCH_CODE];
    if (!GetPropertyValueTerse(hInstall, pszFunction, PROP_ZEBRECORDCOUNTER, szCounter, sizeof(szCounter),
                               &uiStat))
        return ZEB_RC_FAILURE;
    unsigned long ulCounter = strtoul(szCounter, NULL, 10);
    char szKey[ZEB_CCH_PATH];
    // A cut key could repeat another row's.
    if (snprintf(szKey, sizeof(szKey), "%s%lu", pszKeyPrefix, ulCounter) >= (int)sizeof(szKey)) {
        TraceText(pszFunction, "***Row key too long: '%s%lu'", pszKeyPrefix, ulCounter);
        return ZEB_RC_FAILURE;
    }
    pValues[0] = (ULONG_PTR)szKey;
    if (AddTableRecord(pszTable, iFields, dwFieldBits, pValues) != ZEB_RC_SUCCESS)
        return ZEB_RC_FAILURE;
    if (pszKey != NULL)
        lstrcpynA(*pszKey, szKey, sizeof(*pszKey));
    snprintf(szCounter, sizeof(szCounter), "%lu", ulCounter + 1);
    if (!SetPropertyValueTerse(hInstall, pszFunction, PROP_ZEBRECORDCOUNTER, szCounter, &uiStat))
        return ZEB_RC_FAILURE;
    return ZEB_RC_SUCCESS;
}

int RegistryRootNumber(LPCSTR pszName, size_t cchName) {
    for (const auto& root : kRoots) {
        if (strlen(root.pszName) == cchName && _strnicmp(root.pszName, pszName, cchName) == 0)
            return root.iRoot;
    }
    return -1;
}

UINT StackDeleteFiles(LPCSTR pszPath, LPCSTR pszComponent, int iInstallMode) {
    TraceFileRecord("Stacking file(s) for deletion: '%s'", pszPath);
    LPCSTR pszSlash = strrchr(pszPath, '\\');
    char szFolder[ZEB_CCH_PATH];
    if (pszSlash == NULL || pszSlash[1] == '\0' ||
        !TakeFolder(szFolder, pszPath, (size_t)(pszSlash - pszPath))) {
        TraceText(NULL, "***Invalid file path: '%s'", pszPath);
        return ZEB_RC_FAILURE;
    }
    return AddRemoveFileRow("StackDeleteFiles", szFolder, pszSlash + 1, pszComponent, iInstallMode);
}

UINT StackDeleteFolder(LPCSTR pszFolder, LPCSTR pszComponent, int iInstallMode) {
    TraceFolderRecord(pszFolder);
    size_t cch = strlen(pszFolder);
    char szFolder[ZEB_CCH_PATH];
    if (cch == 0 || pszFolder[cch - 1] != '\\' || !TakeFolder(szFolder, pszFolder, cch)) {
        TraceText(NULL, kInvalidPath, pszFolder);
        return ZEB_RC_FAILURE;
    }
    return AddRemoveFileRow("StackDeleteFolder", szFolder, NULL, pszComponent, iInstallMode);
}

UINT StackDeleteRegistryKey(LPCSTR pszKeyPath, LPCSTR pszComponent, int iInstallMode) {
    static const char kFunction[] = "StackDeleteRegistryKey";
    TraceText(NULL, "StackDeleteRegistryKey '%s'", pszKeyPath);
    int iRoot = 2;
    LPCSTR pszKey = pszKeyPath;
    BOOL bOnlyRoot = FALSE;
    LPCSTR pszSlash = strchr(pszKeyPath, '\\');
    size_t cchFirst = pszSlash != NULL ? (size_t)(pszSlash - pszKeyPath) : strlen(pszKeyPath);
    int iNamedRoot = RegistryRootNumber(pszKeyPath, cchFirst);
    if (iNamedRoot >= 0 && pszSlash != NULL) {
        iRoot = iNamedRoot;
        pszKey = pszSlash + 1;
    } else if (iNamedRoot >= 0) {
        bOnlyRoot = TRUE; // a root's name alone is no key of HKEY_LOCAL_MACHINE either
    }
    if (bOnlyRoot || pszKey[strspn(pszKey, "\\")] == '\0') {
        TraceText(NULL, kInvalidPath, pszKeyPath);
        return ZEB_RC_FAILURE;
    }

    if (iInstallMode == ZEB_STACK_ON_INSTALL || iInstallMode == ZEB_STACK_ON_BOTH) {
        ULONG_PTR values[5] = {0, (ULONG_PTR)(unsigned)iRoot, (ULONG_PTR)pszKey, (ULONG_PTR) "-",
                               (ULONG_PTR)pszComponent};
        if (AddCountedRow(kFunction, "RemoveRegistry", "ZEBRECORD", 5, 0x2, values) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
    }
    if (iInstallMode == ZEB_STACK_ON_REMOVE || iInstallMode == ZEB_STACK_ON_BOTH) {
        ULONG_PTR values[6] = {0,
                               (ULONG_PTR)(unsigned)iRoot,
                               (ULONG_PTR)pszKey,
                               (ULONG_PTR) "-",
                               (ULONG_PTR)NULL,
                               (ULONG_PTR)pszComponent};
        if (AddCountedRow(kFunction, "Registry", "ZEBRECORD", 6, 0x2, values) != ZEB_RC_SUCCESS)
            return ZEB_RC_FAILURE;
    }
    return ZEB_RC_SUCCESS;
}

UINT ScanAndStackDeleteFolderFiles(LPCSTR pszPath, LPCSTR pszComponent, int iInstallMode, BOOL bRemoveFolders,
                                   BOOL bDescend) {
    if (!IsReducedLogging())
        TraceText(NULL, "Stacking folder/files for deletion: '%s'", pszPath);
    LPCSTR pszSlash = strrchr(pszPath, '\\');
    char szFolder[ZEB_CCH_PATH];
    if (pszSlash == NULL || (pszSlash[1] == '\0' && !bRemoveFolders) ||
        !TakeFolder(szFolder, pszPath, (size_t)(pszSlash - pszPath)) ||
        strlen(szFolder) + 2 > sizeof(szFolder)) {
        TraceText(NULL, kInvalidPath, pszPath);
        return ZEB_RC_FAILURE;
    }
    // Subfolders and patterns are formed from the tidied folder with its backslash.
    strcat(szFolder, "\\");
    return ScanFolder(szFolder, pszSlash + 1, pszComponent, iInstallMode, bRemoveFolders, bDescend);
}
