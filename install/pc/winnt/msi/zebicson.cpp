// Path helpers used by nearly every action: tidying paths and testing what exists.
#include "zebicson.h"
#include "zebhold.h"
#include "zebilogn.h"

#include <stdio.h>
#include <string.h>

namespace {

BOOL IsToleratedFindError(DWORD dwErr) {
    return dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND || dwErr == ERROR_INVALID_NAME;
}

BOOL IsDotEntry(LPCSTR pszName) {
    return strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0;
}

LPCSTR LastPart(LPCSTR pszPath) {
    LPCSTR p = strrchr(pszPath, '\\');
    return p != NULL ? p + 1 : pszPath;
}

} // namespace

BOOL MakeFilePath(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFolder, LPCSTR pszName) {
    int cch = snprintf(szOut, sizeof(szOut), "%s\\%s", pszFolder, pszName);
    if (cch < 0 || cch >= (int)sizeof(szOut)) {
        szOut[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

namespace {

LPSTR NormalizeIn(BOOL bAddSeparator, LPSTR pszPath, size_t cchCapacity) {
    size_t cch = strlen(pszPath);
    size_t iStart = 0;
    while (iStart < cch && pszPath[iStart] == ' ')
        iStart++;
    while (cch > iStart && pszPath[cch - 1] == ' ')
        cch--;
    memmove(pszPath, pszPath + iStart, cch - iStart);
    cch -= iStart;
    pszPath[cch] = '\0';

    if (cch > 0 && pszPath[0] == '"') {
        memmove(pszPath, pszPath + 1, cch); // moves the terminator too
        cch--;
        if (cch > 0 && pszPath[cch - 1] == '"')
            pszPath[--cch] = '\0';
    }

    // Doubled backslashes after the first character collapse; a leading "\\" of a network path stays.
    size_t iOut = 0;
    for (size_t i = 0; i < cch; i++) {
        if (iOut >= 2 && pszPath[i] == '\\' && pszPath[iOut - 1] == '\\')
            continue;
        pszPath[iOut++] = pszPath[i];
    }
    pszPath[iOut] = '\0';
    cch = iOut;

    if (cch == 0)
        return pszPath;
    if (bAddSeparator) {
        if (pszPath[cch - 1] != '\\' && cch + 1 < cchCapacity) {
            pszPath[cch] = '\\';
            pszPath[cch + 1] = '\0';
        }
    } else if (pszPath[cch - 1] == '\\') {
        pszPath[cch - 1] = '\0';
    }
    return pszPath;
}

} // namespace

LPSTR NormalizePath(BOOL bAddSeparator, char (&szPath)[ZEB_CCH_PATH]) {
    return NormalizeIn(bAddSeparator, szPath, sizeof(szPath));
}

LPSTR NormalizePath(BOOL bAddSeparator, char (&szText)[ZEB_CCH_MSG]) {
    return NormalizeIn(bAddSeparator, szText, sizeof(szText));
}

BOOL FileExists(LPCSTR pszPath) {
    if (strchr(pszPath, '\\') == NULL)
        return FALSE;
    WIN32_FIND_DATAA fd;
    ZebFindHandle hFind(FindFirstFileA(pszPath, &fd));
    if (!hFind.IsValid()) {
        DWORD dwErr = GetLastError();
        if (!IsToleratedFindError(dwErr))
            TraceText(NULL, "***FindFirstFile(1) error %d, path '%s'", (int)dwErr, pszPath);
        return FALSE;
    }
    LPCSTR pszLast = LastPart(pszPath);
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !IsDotEntry(fd.cFileName) &&
            _stricmp(fd.cFileName, pszLast) == 0)
            return TRUE;
    } while (FindNextFileA(hFind.Get(), &fd));
    return FALSE;
}

BOOL IsFileFound(LPCSTR pszPath) {
    BOOL bFound = FileExists(pszPath);
    TraceText(NULL, bFound ? "Found '%s'" : "Can't find '%s'", pszPath);
    return bFound;
}

BOOL TryCreateNewFile(LPCSTR pszPath) {
    ZebKernelHandle hFile(
        CreateFileA(pszPath, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL));
    if (hFile.IsValid()) {
        hFile.Close(); // an open file cannot be deleted
        DeleteFileA(pszPath);
        TraceText(NULL, "Allocated '%s'", pszPath);
        return TRUE;
    }
    DWORD dwErr = GetLastError();
    if (dwErr == ERROR_ALREADY_EXISTS || dwErr == ERROR_FILE_EXISTS)
        TraceText(NULL, "'%s' already exists", pszPath);
    else
        TraceText(NULL, "***Error %d (0x%8.8lx) creating '%s'", (int)dwErr, (unsigned long)dwErr, pszPath);
    return FALSE;
}

BOOL IsExistingDirectory(char (&szPath)[ZEB_CCH_PATH]) {
    NormalizePath(FALSE, szPath);
    TraceText(NULL, "Looking for: '%s'", szPath);
    WIN32_FIND_DATAA fd;
    ZebFindHandle hFind(FindFirstFileA(szPath, &fd));
    if (!hFind.IsValid()) {
        DWORD dwErr = GetLastError();
        if (!IsToleratedFindError(dwErr))
            TraceText(NULL, "***FindFirstFile(3) error %d, path '%s'", (int)dwErr, szPath);
        return FALSE;
    }
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        TraceText(NULL, "Found file: '%s'", fd.cFileName);
        return FALSE;
    }
    if (IsDotEntry(fd.cFileName))
        return FALSE;
    TraceText(NULL, "Found directory: '%s'", fd.cFileName);
    return _stricmp(fd.cFileName, LastPart(szPath)) == 0;
}

BOOL FindFirstFileName(LPCSTR pszPattern, LPSTR pszName, DWORD cchName) {
    WIN32_FIND_DATAA fd;
    {
        ZebFindHandle hFind(FindFirstFileA(pszPattern, &fd));
        if (!hFind.IsValid()) {
            DWORD dwErr = GetLastError();
            if (dwErr == ERROR_FILE_NOT_FOUND)
                TraceText(NULL, "File not found: '%s'", pszPattern);
            else if (dwErr == ERROR_PATH_NOT_FOUND)
                TraceText(NULL, "Path not found:: '%s'", pszPattern);
            else
                TraceText(NULL, "FindFirstFile(%s) failed: '%d'", pszPattern, (int)dwErr);
            return FALSE;
        }
    }
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        TraceText(NULL, "Dir: '%s'", fd.cFileName);
        return FALSE;
    }
    TraceText(NULL, "File: '%s'", fd.cFileName);
    if (pszName != NULL && cchName > 0)
        lstrcpynA(pszName, fd.cFileName, (int)cchName);
    return TRUE;
}

BOOL IsFolderEmpty(LPCSTR pszFolder) {
    char szPattern[ZEB_CCH_PATH];
    if (!MakeFilePath(szPattern, pszFolder, "*"))
        return TRUE; // no such folder can exist
    WIN32_FIND_DATAA fd;
    ZebFindHandle hFind(FindFirstFileA(szPattern, &fd));
    if (!hFind.IsValid()) {
        DWORD dwErr = GetLastError();
        if (IsToleratedFindError(dwErr))
            return TRUE;
        TraceText(NULL, "***FindFirstFile(4) error %d, path '%s'", (int)dwErr, pszFolder);
        return FALSE;
    }
    do {
        if (!IsDotEntry(fd.cFileName))
            return FALSE;
    } while (FindNextFileA(hFind.Get(), &fd));
    return TRUE;
}

size_t FolderWalkStart(LPCSTR pszPath) {
    size_t cch = strlen(pszPath);
    size_t iStart = 0;
    if (cch >= 2 && pszPath[0] == '\\' && pszPath[1] == '\\') {
        int iSeparators = 0;
        for (iStart = 2; iStart < cch && iSeparators < 2; iStart++) {
            if (pszPath[iStart] == '\\')
                iSeparators++;
        }
    } else if (cch >= 2 && pszPath[1] == ':') {
        iStart = (cch >= 3 && pszPath[2] == '\\') ? 3 : 2;
    }
    return iStart;
}

BOOL CreateFolderPath(LPCSTR pszPath) {
    char szPrefix[ZEB_CCH_PATH];
    lstrcpynA(szPrefix, pszPath, sizeof(szPrefix));
    size_t cch = strlen(szPrefix);
    size_t iStart = FolderWalkStart(szPrefix);

    BOOL bNoneCreated = TRUE;
    for (size_t i = iStart; i < cch; i++) {
        if (szPrefix[i] != '\\')
            continue;
        szPrefix[i] = '\0';
        if (CreateDirectoryA(szPrefix, NULL)) {
            TraceText(NULL, "Created '%s'", szPrefix);
            bNoneCreated = FALSE;
        } else {
            DWORD dwErr = GetLastError();
            if (dwErr != ERROR_ALREADY_EXISTS)
                TraceText(NULL, "Couldn't create '%s' %d", szPrefix, (int)dwErr);
        }
        szPrefix[i] = '\\';
    }
    return bNoneCreated;
}

LPSTR GetParentFolder(BOOL bAddSeparator, char (&szPath)[ZEB_CCH_PATH]) {
    if (szPath[0] == '\0')
        return szPath;
    NormalizePath(FALSE, szPath);
    LPSTR p = strrchr(szPath, '\\');
    if (p != NULL)
        *p = '\0';
    if (bAddSeparator) {
        if (p == szPath)
            lstrcpynA(szPath, "\\", sizeof(szPath)); // the parent of "\x" is the root
        else
            NormalizePath(TRUE, szPath);
    }
    TraceText(NULL, "parent directory is '%s'", szPath);
    return szPath;
}
