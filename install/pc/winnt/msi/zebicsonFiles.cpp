// Copying and deleting files and folders: single files and patterns, deletion now, at restart,
// stacked for the engine or only counted for the progress bar.
#include "zebicson.h"
#include "zebhold.h"
#include "zebilogn.h"
#include "zebiwicnDelete.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const int kInUseAttempts = 20;
const DWORD kInUseWaitMs = 1000;
const char kPathTooLong[] = "***Path too long: '%s\\%s'";

BOOL IsToleratedFindError(DWORD dwErr) {
    return dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND || dwErr == ERROR_INVALID_NAME;
}

BOOL IsDotEntry(LPCSTR pszName) {
    return strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0;
}

BOOL IsFolderEntry(const WIN32_FIND_DATAA& fd) {
    return (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

LPCSTR LastPart(LPCSTR pszPath) {
    LPCSTR p = strrchr(pszPath, '\\');
    return p != NULL ? p + 1 : pszPath;
}

void AddTicks(int* piTicks, int iTicks) {
    if (piTicks == NULL)
        return;
    *piTicks = *piTicks > INT_MAX - iTicks ? INT_MAX : *piTicks + iTicks;
}

void SetError(DWORD* pdwError, DWORD dwErr) {
    if (pdwError != NULL)
        *pdwError = dwErr;
}

// The error's name where the trace gives one, else its number: a copy names three errors,
// the other operations only access denied.
LPCSTR ErrorText(DWORD dwErr, BOOL bCopy, char (&szOut)[ZEB_CCH_FLAG]) {
    if (dwErr == ERROR_ACCESS_DENIED)
        return "ERROR_ACCESS_DENIED";
    if (bCopy && dwErr == ERROR_PATH_NOT_FOUND)
        return "ERROR_PATH_NOT_FOUND";
    if (bCopy && dwErr == ERROR_CANCELLED)
        return "ERROR_CANCELLED";
    snprintf(szOut, sizeof(szOut), "%lu", (unsigned long)dwErr);
    return szOut;
}

// A copy tidied without separator; a path that does not fit is refused, never cut.
BOOL TidyCopy(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszPath) {
    if (strlen(pszPath) >= sizeof(szOut)) {
        TraceText(NULL, "***Path too long: '%s'", pszPath);
        return FALSE;
    }
    lstrcpynA(szOut, pszPath, sizeof(szOut));
    NormalizePath(FALSE, szOut);
    return TRUE;
}

BOOL JoinPath(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFolder, LPCSTR pszName) {
    if (MakeFilePath(szOut, pszFolder, pszName))
        return TRUE;
    TraceText(NULL, kPathTooLong, pszFolder, pszName);
    return FALSE;
}

// A folder a recursive delete may start from: below the root of "X:\" or "\\server\share\",
// without parts that could lead back up to a root.
BOOL IsDeletableFolder(LPCSTR pszFolder) {
    size_t iStart;
    if (pszFolder[0] == '\\' && pszFolder[1] == '\\')
        iStart = FolderWalkStart(pszFolder);
    else if (pszFolder[0] != '\0' && pszFolder[1] == ':' && pszFolder[2] == '\\')
        iStart = 3;
    else
        return FALSE; // empty or relative
    if (pszFolder[iStart] == '\0' || pszFolder[iStart - 1] != '\\')
        return FALSE; // the root itself
    // Windows drops trailing dots and blanks of a name: "C:\. .\.." is the root as well.
    for (LPCSTR p = pszFolder + iStart; *p != '\0';) {
        size_t cch = strcspn(p, "\\");
        if (strspn(p, ". ") >= cch)
            return FALSE;
        p += cch;
        if (*p == '\\')
            p++;
    }
    return TRUE;
}

// Full paths collected by an enumeration, so that the folder can change while they are handled.
class PathList {
  public:
    PathList() : m_ppsz(NULL), m_c(0), m_cAlloc(0) {}
    ~PathList() {
        for (size_t i = 0; i < m_c; i++)
            free(m_ppsz[i]);
        free(m_ppsz);
    }
    PathList(const PathList&) = delete;
    PathList& operator=(const PathList&) = delete;

    BOOL Add(LPCSTR pszPath) {
        if (m_c == m_cAlloc) {
            size_t cAlloc = m_cAlloc == 0 ? 16 : m_cAlloc * 2;
            char** ppsz = (char**)realloc(m_ppsz, cAlloc * sizeof(char*));
            if (ppsz == NULL) {
                TraceText(NULL, "***Can't allocate memory for iwiPAIRLIST");
                return FALSE;
            }
            m_ppsz = ppsz;
            m_cAlloc = cAlloc;
        }
        size_t cb = strlen(pszPath) + 1;
        char* psz = (char*)malloc(cb);
        if (psz == NULL) {
            TraceText(NULL, "***Can't allocate memory for FilePath");
            return FALSE;
        }
        memcpy(psz, pszPath, cb);
        m_ppsz[m_c++] = psz;
        return TRUE;
    }
    size_t Count() const { return m_c; }
    LPCSTR At(size_t i) const { return m_ppsz[i]; }

  private:
    char** m_ppsz;
    size_t m_c;
    size_t m_cAlloc;
};

// Adds the files (bFolders FALSE) or subfolders of pszFolder matching pszPattern. Returns the
// enumeration's error (0 when it found entries); *pbOk is cleared when a path could not be kept.
DWORD CollectEntries(LPCSTR pszFolder, LPCSTR pszPattern, BOOL bFolders, PathList& list, BOOL* pbOk) {
    char szPattern[ZEB_CCH_PATH];
    if (!JoinPath(szPattern, pszFolder, pszPattern)) {
        *pbOk = FALSE;
        return 0;
    }
    WIN32_FIND_DATAA fd;
    ZebFindHandle hFind(FindFirstFileA(szPattern, &fd));
    if (!hFind.IsValid())
        return GetLastError();
    do {
        if (IsFolderEntry(fd) != bFolders || IsDotEntry(fd.cFileName))
            continue;
        char szPath[ZEB_CCH_PATH];
        if (!JoinPath(szPath, pszFolder, fd.cFileName)) {
            *pbOk = FALSE;
        } else if (!list.Add(szPath)) {
            *pbOk = FALSE;
            break; // out of memory: the rest would fail too
        }
    } while (FindNextFileA(hFind.Get(), &fd));
    return 0;
}

// The outcome of one deletion: its line and whether it counts as done.
struct Outcome {
    LPCSTR pszFormat; // "%s", or "%d '%s'" for the error form
    BOOL bSoft;
    BOOL bOk;
    BOOL bWithCode;
};

void TraceOutcome(const Outcome& outcome, DWORD dwErr, LPCSTR pszPath) {
    if (outcome.bWithCode)
        TraceText(NULL, outcome.pszFormat, (int)dwErr, pszPath);
    else
        TraceText(NULL, outcome.pszFormat, pszPath);
}

Outcome FileOutcome(DWORD dwErr) {
    switch (dwErr) {
    case ERROR_SUCCESS:
        return {"Deleted file: '%s'", FALSE, TRUE, FALSE};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {"Delete file not found: '%s'", TRUE, TRUE, FALSE};
    case ERROR_INVALID_NAME:
        return {"Invalid name: '%s'", TRUE, TRUE, FALSE};
    case ERROR_SHARING_VIOLATION:
        return {"***Delete file in use: '%s'", FALSE, TRUE, FALSE};
    case ERROR_ACCESS_DENIED:
        return {"***Delete file access denied: '%s'", FALSE, TRUE, FALSE};
    default:
        return {"***Delete file error: %d '%s'", FALSE, FALSE, TRUE};
    }
}

Outcome FolderOutcome(DWORD dwErr) {
    switch (dwErr) {
    case ERROR_SUCCESS:
        return {"Deleted path: '%s'", FALSE, TRUE, FALSE};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return {"***Delete path not found: '%s'", TRUE, TRUE, FALSE};
    case ERROR_DIR_NOT_EMPTY:
        return {"***Delete path not empty: '%s'", TRUE, TRUE, FALSE};
    case ERROR_INVALID_NAME:
        return {"***Delete path not valid: '%s'", TRUE, TRUE, FALSE};
    case ERROR_SHARING_VIOLATION:
        return {"***Delete path in use: '%s'", FALSE, FALSE, FALSE};
    case ERROR_ACCESS_DENIED:
        return {"***Delete path access denied: '%s'", FALSE, FALSE, FALSE};
    default:
        return {"***Delete path error: %d '%s'", FALSE, FALSE, TRUE};
    }
}

// Removes the folder, retrying while another process holds it; the last error, 0 when removed.
DWORD RemoveFolderWaiting(LPCSTR pszFolder) {
    DWORD dwErr = ERROR_SUCCESS;
    for (int i = 0; i < kInUseAttempts; i++) {
        if (RemoveDirectoryA(pszFolder))
            return ERROR_SUCCESS;
        dwErr = GetLastError();
        if (dwErr != ERROR_SHARING_VIOLATION)
            break;
        TraceText(NULL, "Delete path in use; waiting: '%s'", pszFolder);
        Sleep(kInUseWaitMs);
    }
    return dwErr;
}

// Stacking mode: a file only while it exists; a folder row removes the folder once empty.
BOOL StackFileForDeletion(LPCSTR pszPath, LPCSTR pszComponent, int iInstallMode) {
    if (!FileExists(pszPath))
        return TRUE;
    return StackDeleteFiles(pszPath, pszComponent, iInstallMode) == ZEB_RC_SUCCESS;
}

BOOL StackFolderForDeletion(LPCSTR pszFolder, LPCSTR pszComponent, int iInstallMode) {
    return StackDeleteFolder(pszFolder, pszComponent, iInstallMode) == ZEB_RC_SUCCESS;
}

} // namespace

UINT RemoveReadOnly(LPCSTR pszPath, BOOL bReportMissing) {
    DWORD dwAttrs = GetFileAttributesA(pszPath);
    if (dwAttrs == INVALID_FILE_ATTRIBUTES) {
        DWORD dwErr = GetLastError();
        if (dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND) {
            if (bReportMissing)
                TraceText(NULL,
                          dwErr == ERROR_FILE_NOT_FOUND ? "RemoveReadOnly: File '%s' not found"
                                                        : "RemoveReadOnly: Path '%s' not found",
                          pszPath);
        } else {
            char szErr[ZEB_CCH_FLAG];
            TraceText(NULL, "***Error %s getting attributes '%s'", ErrorText(dwErr, FALSE, szErr), pszPath);
        }
        return ZEB_RC_FAILURE;
    }
    if ((dwAttrs & FILE_ATTRIBUTE_READONLY) == 0)
        return ZEB_RC_SUCCESS;
    dwAttrs &= ~(DWORD)FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesA(pszPath, dwAttrs)) {
        char szErr[ZEB_CCH_FLAG];
        TraceText(NULL, "***Error %s setting attributes '%s'", ErrorText(GetLastError(), FALSE, szErr),
                  pszPath);
        return ZEB_RC_FAILURE;
    }
    TraceText(NULL, "  Set attributes 0x%8.8lx '%s'", (unsigned long)dwAttrs, pszPath);
    return ZEB_RC_SUCCESS;
}

UINT CopyOneFile(BOOL bSkipExistTest, LPCSTR pszSource, LPCSTR pszTarget, LPCSTR pszFileName) {
    char szSource[ZEB_CCH_PATH];
    char szTarget[ZEB_CCH_PATH];
    if (!TidyCopy(szSource, pszSource) || !TidyCopy(szTarget, pszTarget))
        return ZEB_RC_FAILURE;
    LPCSTR pszNamed = szSource; // what a failure names
    if (pszFileName != NULL) {
        TraceText(NULL, "Copying '%s' from '%s\\' to '%s\\'", pszFileName, szSource, szTarget);
        char szFolder[ZEB_CCH_PATH];
        lstrcpynA(szFolder, szSource, sizeof(szFolder));
        if (!JoinPath(szSource, szFolder, pszFileName))
            return ZEB_RC_FAILURE;
        lstrcpynA(szFolder, szTarget, sizeof(szFolder));
        if (!JoinPath(szTarget, szFolder, pszFileName))
            return ZEB_RC_FAILURE;
        pszNamed = pszFileName;
    } else {
        TraceText(NULL, "Copying from '%s' to '%s'", szSource, szTarget);
    }

    if (!bSkipExistTest && !FileExists(szSource)) {
        TraceText(NULL, "Copy bypassed; source file '%s' does not exist", szSource);
        return ZEB_RC_SUCCESS;
    }
    if (iiiIsCancelled())
        return ZEB_RC_CANCEL;

    RemoveReadOnly(szTarget, FALSE);
    if (!CopyFileExA(szSource, szTarget, NULL, NULL, CancelFlagAddress(), 0)) {
        DWORD dwErr = GetLastError();
        char szErr[ZEB_CCH_FLAG];
        TraceText(NULL, "***Error %s copying '%s'", ErrorText(dwErr, TRUE, szErr), pszNamed);
        // Aborted through the flag (Windows says 1235): the user cancelled, nothing failed.
        return IsCancelFlagSet() ? ZEB_RC_CANCEL : ZEB_RC_FAILURE;
    }
    return RemoveReadOnly(szTarget, TRUE);
}

UINT CopyFilePattern(LPCSTR pszSource, LPCSTR pszTarget, LPCSTR pszPattern, BOOL bWholeTree) {
    char szSource[ZEB_CCH_PATH];
    char szTarget[ZEB_CCH_PATH];
    if (!TidyCopy(szSource, pszSource) || !TidyCopy(szTarget, pszTarget))
        return ZEB_RC_FAILURE;
    TraceText(NULL,
              bWholeTree ? "Copying pattern '%s' from tree '%s\\' to '%s\\'"
                         : "Copying pattern '%s' from '%s\\' to '%s\\'",
              pszPattern, szSource, szTarget);

    // Every folder of the target, the target itself included.
    char szFolder[ZEB_CCH_PATH];
    lstrcpynA(szFolder, szTarget, sizeof(szFolder));
    size_t cch = strlen(szFolder);
    for (size_t i = FolderWalkStart(szFolder); i <= cch; i++) {
        if (szFolder[i] != '\\' && szFolder[i] != '\0')
            continue;
        char c = szFolder[i];
        szFolder[i] = '\0';
        if (i > 0 && szFolder[i - 1] != '\\' && szFolder[i - 1] != ':') {
            if (CreateDirectoryA(szFolder, NULL)) {
                TraceText(NULL, "Created '%s'", szFolder);
            } else {
                DWORD dwErr = GetLastError();
                char szErr[ZEB_CCH_FLAG];
                if (dwErr != ERROR_ALREADY_EXISTS)
                    TraceText(NULL, "***Error %s creating '%s'", ErrorText(dwErr, FALSE, szErr), szFolder);
            }
        }
        szFolder[i] = c;
    }

    UINT uiResult = ZEB_RC_SUCCESS;
    char szPattern[ZEB_CCH_PATH];
    if (!JoinPath(szPattern, szSource, pszPattern))
        return ZEB_RC_FAILURE;
    WIN32_FIND_DATAA fd;
    {
        ZebFindHandle hFind(FindFirstFileA(szPattern, &fd));
        if (!hFind.IsValid()) {
            DWORD dwErr = GetLastError();
            if (!IsToleratedFindError(dwErr)) {
                TraceText(NULL, "***FindFirstFile(8) error %d, path '%s'", (int)dwErr, szPattern);
                uiResult = ZEB_RC_FAILURE;
            }
        } else {
            do {
                if (IsFolderEntry(fd) || IsDotEntry(fd.cFileName))
                    continue;
                UINT uiRc = CopyOneFile(TRUE, szSource, szTarget, fd.cFileName);
                if (uiRc != ZEB_RC_SUCCESS)
                    uiResult = uiRc;
                if (uiRc == ZEB_RC_CANCEL)
                    return uiResult; // every further copy would say the same
            } while (FindNextFileA(hFind.Get(), &fd));
        }
    }
    if (!bWholeTree)
        return uiResult;

    if (!JoinPath(szPattern, szSource, "*"))
        return ZEB_RC_FAILURE;
    ZebFindHandle hFind(FindFirstFileA(szPattern, &fd));
    if (!hFind.IsValid()) {
        DWORD dwErr = GetLastError();
        if (IsToleratedFindError(dwErr))
            return uiResult;
        TraceText(NULL, "***FindFirstFile(9) error %d, path '%s'", (int)dwErr, szPattern);
        return ZEB_RC_FAILURE;
    }
    do {
        if (!IsFolderEntry(fd) || IsDotEntry(fd.cFileName))
            continue;
        char szSubSource[ZEB_CCH_PATH];
        char szSubTarget[ZEB_CCH_PATH];
        if (!JoinPath(szSubSource, szSource, fd.cFileName) ||
            !JoinPath(szSubTarget, szTarget, fd.cFileName)) {
            uiResult = ZEB_RC_FAILURE;
            continue;
        }
        UINT uiRc = CopyFilePattern(szSubSource, szSubTarget, pszPattern, TRUE);
        if (uiRc != ZEB_RC_SUCCESS)
            uiResult = uiRc;
        if (uiRc == ZEB_RC_CANCEL)
            break;
    } while (FindNextFileA(hFind.Get(), &fd));
    return uiResult;
}

BOOL iwiRebootDeleteFile(LPCSTR pszPath, BOOL bVerbose, DWORD* pdwError) {
    if (MoveFileExA(pszPath, NULL, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        SetError(pdwError, ERROR_SUCCESS);
        TraceText(NULL, "Stacked file for deletion upon reboot: '%s'", pszPath);
        return TRUE;
    }
    DWORD dwErr = GetLastError();
    SetError(pdwError, dwErr);
    if (dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND) {
        if (bVerbose)
            TraceText(NULL, "MoveFileEx file not found: '%s'", pszPath);
        return TRUE;
    }
    if (dwErr == ERROR_INVALID_NAME) {
        if (bVerbose)
            TraceText(NULL, "MoveFileEx invalid name: '%s'", pszPath);
        return TRUE;
    }
    TraceText(NULL, "***MoveFileEx error: %d '%s'", (int)dwErr, pszPath);
    return FALSE;
}

BOOL iiiDeleteFile(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszPath, BOOL bStrict, DWORD* pdwError,
                   LPCSTR pszComponent, int iInstallMode) {
    SetError(pdwError, ERROR_SUCCESS);
    if (strchr(LastPart(pszPath), '*') != NULL)
        return iiiDelDirFiles(bAct, bNow, piTicks, pszPath, TRUE, FALSE, FALSE, pszComponent, iInstallMode);
    if (!bNow)
        return StackFileForDeletion(pszPath, pszComponent, iInstallMode);
    if (bAct) {
        AddTicks(piTicks, ZEB_DELETE_TICKS);
        return TRUE;
    }

    iwiUpdateActionDataField(pszPath);
    DWORD dwErr = DeleteFileA(pszPath) ? ERROR_SUCCESS : GetLastError();
    SetError(pdwError, dwErr);
    Outcome outcome = FileOutcome(dwErr);
    if (!outcome.bOk || !outcome.bSoft || bStrict)
        TraceOutcome(outcome, dwErr, pszPath);
    BOOL bResult = outcome.bOk;
    if (dwErr != ERROR_SUCCESS && !outcome.bSoft) {
        // Done only once the restart will delete it.
        if (!iwiRebootDeleteFile(pszPath, bStrict, NULL))
            bResult = FALSE;
    }
    iwiMoveProgressBar(0, ZEB_DELETE_TICKS);
    return bResult;
}

BOOL iiiDeleteDir(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszFolder, BOOL bStrict, DWORD* pdwError,
                  LPCSTR pszComponent, int iInstallMode) {
    SetError(pdwError, ERROR_SUCCESS);
    if (!bAct && !bNow)
        return TRUE;
    if (!bNow)
        return StackFolderForDeletion(pszFolder, pszComponent, iInstallMode);
    if (bAct) {
        AddTicks(piTicks, ZEB_DELETE_TICKS);
        return TRUE;
    }

    iwiUpdateActionDataField(pszFolder);
    char szBare[ZEB_CCH_PATH];
    lstrcpynA(szBare, pszFolder, sizeof(szBare));
    NormalizePath(FALSE, szBare);
    DWORD dwErr;
    if (strlen(pszFolder) < sizeof(szBare) && !IsFolderEmpty(szBare))
        dwErr = ERROR_DIR_NOT_EMPTY;
    else
        dwErr = RemoveFolderWaiting(pszFolder);
    SetError(pdwError, dwErr);
    Outcome outcome = FolderOutcome(dwErr);
    BOOL bResult = outcome.bOk && !(outcome.bSoft && bStrict);
    if (!bResult || !outcome.bSoft || bStrict)
        TraceOutcome(outcome, dwErr, pszFolder);
    iwiMoveProgressBar(0, ZEB_DELETE_TICKS);
    return bResult;
}

BOOL iiiDelDirFiles(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszPath, BOOL bHasPattern, BOOL bRemoveFolders,
                    BOOL bDescend, LPCSTR pszComponent, int iInstallMode) {
    char szFolder[ZEB_CCH_PATH] = "";
    LPCSTR pszPattern = "";
    const BOOL bFits = strlen(pszPath) < sizeof(szFolder);
    BOOL bValid = bFits;
    if (bFits) {
        lstrcpynA(szFolder, pszPath, sizeof(szFolder));
        NormalizePath(FALSE, szFolder);
        if (bHasPattern) {
            char* pSlash = strrchr(szFolder, '\\');
            if (pSlash == NULL) {
                bValid = FALSE;
            } else {
                *pSlash = '\0';
                pszPattern = pSlash + 1;
            }
        }
        // A whole drive, or wherever the current folder happens to be, is never what a caller means.
        bValid = bValid && IsDeletableFolder(szFolder);
    }
    if (!bValid) {
        TraceText(NULL, "***Invalid file pattern; path '%s', pattern '%s', dirs %d, FilePaths %d",
                  bFits ? szFolder : pszPath, pszPattern, (int)bRemoveFolders, (int)bHasPattern);
        return FALSE;
    }

    BOOL bResult = TRUE;
    int iTicks = 0;
    if (bHasPattern) {
        PathList files;
        DWORD dwErr = CollectEntries(szFolder, pszPattern, FALSE, files, &bResult);
        if (dwErr == ERROR_ACCESS_DENIED) {
            bDescend = FALSE;
        } else if (dwErr != ERROR_SUCCESS && !IsToleratedFindError(dwErr)) {
            TraceText(NULL, "***FindFirstFile(6) error %d, path '%s\\%s'", (int)dwErr, szFolder, pszPattern);
            bResult = FALSE;
        }
        for (size_t i = files.Count(); i > 0; i--) {
            if (!iiiDeleteFile(bAct, bNow, &iTicks, files.At(i - 1), FALSE, NULL, pszComponent, iInstallMode))
                bResult = FALSE;
        }
    }

    if (bDescend) {
        PathList folders;
        DWORD dwErr = CollectEntries(szFolder, "*", TRUE, folders, &bResult);
        if (dwErr != ERROR_SUCCESS && !IsToleratedFindError(dwErr)) {
            TraceText(NULL, "***FindFirstFile(7) error %d, path '%s\\*'", (int)dwErr, szFolder);
            bResult = FALSE;
        }
        for (size_t i = 0; i < folders.Count(); i++) {
            char szSub[ZEB_CCH_PATH];
            if (!bHasPattern)
                lstrcpynA(szSub, folders.At(i), sizeof(szSub)); // collected paths fit
            else if (!JoinPath(szSub, folders.At(i), pszPattern)) {
                bResult = FALSE;
                continue;
            }
            if (!iiiDelDirFiles(bAct, bNow, &iTicks, szSub, bHasPattern, bRemoveFolders, bDescend,
                                pszComponent, iInstallMode))
                bResult = FALSE;
        }
    }

    if (bRemoveFolders) {
        NormalizePath(TRUE, szFolder);
        if (!iiiDeleteDir(bAct, bNow, &iTicks, szFolder, FALSE, NULL, pszComponent, iInstallMode))
            bResult = FALSE;
    }
    AddTicks(piTicks, iTicks);
    return bResult;
}

BOOL DeleteEmptyFolder(LPCSTR pszFolder) {
    DWORD dwErr = RemoveDirectoryA(pszFolder) ? ERROR_SUCCESS : GetLastError();
    switch (dwErr) {
    case ERROR_SUCCESS:
        TraceText(NULL, "Deleted path: '%s'", pszFolder);
        return TRUE;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        TraceText(NULL, "Delete path not found: '%s'", pszFolder);
        return TRUE;
    case ERROR_DIR_NOT_EMPTY:
        TraceText(NULL, "Delete path not empty: '%s'", pszFolder);
        return TRUE;
    default:
        TraceOutcome(FolderOutcome(dwErr), dwErr, pszFolder);
        return FALSE;
    }
}
