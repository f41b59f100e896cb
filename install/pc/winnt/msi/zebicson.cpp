// Path helpers used by nearly every action: tidying paths and testing what exists.
#include "zebicson.h"
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

BOOL MakeFilePath(LPSTR pszOut, LPCSTR pszFolder, LPCSTR pszName) {
    int cch = snprintf(pszOut, ZEB_CCH_PATH, "%s\\%s", pszFolder, pszName);
    if (cch < 0 || cch >= ZEB_CCH_PATH) {
        pszOut[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

LPSTR NormalizePath(BOOL bAddSeparator, LPSTR pszPath) {
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
        if (pszPath[cch - 1] != '\\' && cch + 1 < ZEB_CCH_PATH) {
            pszPath[cch] = '\\';
            pszPath[cch + 1] = '\0';
        }
    } else if (pszPath[cch - 1] == '\\') {
        pszPath[cch - 1] = '\0';
    }
    return pszPath;
}

BOOL FileExists(LPCSTR pszPath) {
    if (strchr(pszPath, '\\') == NULL)
        return FALSE;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(pszPath, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        DWORD dwErr = GetLastError();
        if (!IsToleratedFindError(dwErr))
            TraceText(NULL, "***FindFirstFile(1) error %d, path '%s'", (int)dwErr, pszPath);
        return FALSE;
    }
    LPCSTR pszLast = LastPart(pszPath);
    BOOL bFound = FALSE;
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !IsDotEntry(fd.cFileName) &&
            _stricmp(fd.cFileName, pszLast) == 0)
            bFound = TRUE;
    } while (!bFound && FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return bFound;
}

BOOL IsFileFound(LPCSTR pszPath) {
    BOOL bFound = FileExists(pszPath);
    TraceText(NULL, bFound ? "Found '%s'" : "Can't find '%s'", pszPath);
    return bFound;
}

BOOL TryCreateNewFile(LPCSTR pszPath) {
    HANDLE hFile = CreateFileA(pszPath, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(hFile);
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

BOOL IsExistingDirectory(LPSTR pszPath) {
    NormalizePath(FALSE, pszPath);
    TraceText(NULL, "Looking for: '%s'", pszPath);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(pszPath, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        DWORD dwErr = GetLastError();
        if (!IsToleratedFindError(dwErr))
            TraceText(NULL, "***FindFirstFile(3) error %d, path '%s'", (int)dwErr, pszPath);
        return FALSE;
    }
    BOOL bFound = FALSE;
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (!IsDotEntry(fd.cFileName)) {
            TraceText(NULL, "Found directory: '%s'", fd.cFileName);
            bFound = _stricmp(fd.cFileName, LastPart(pszPath)) == 0;
        }
    } else {
        TraceText(NULL, "Found file: '%s'", fd.cFileName);
    }
    FindClose(hFind);
    return bFound;
}

BOOL FindFirstFileName(LPCSTR pszPattern, LPSTR pszName, DWORD cchName) {
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(pszPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        DWORD dwErr = GetLastError();
        if (dwErr == ERROR_FILE_NOT_FOUND)
            TraceText(NULL, "File not found: '%s'", pszPattern);
        else if (dwErr == ERROR_PATH_NOT_FOUND)
            TraceText(NULL, "Path not found:: '%s'", pszPattern);
        else
            TraceText(NULL, "FindFirstFile(%s) failed: '%d'", pszPattern, (int)dwErr);
        return FALSE;
    }
    FindClose(hFind);
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        TraceText(NULL, "Dir: '%s'", fd.cFileName);
        return FALSE;
    }
    TraceText(NULL, "File: '%s'", fd.cFileName);
    if (pszName != NULL)
        lstrcpynA(pszName, fd.cFileName, (int)cchName);
    return TRUE;
}

BOOL IsFolderEmpty(LPCSTR pszFolder) {
    char szPattern[ZEB_CCH_PATH];
    if (!MakeFilePath(szPattern, pszFolder, "*"))
        return TRUE; // no such folder can exist
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    if (hFind == INVALID_HANDLE_VALUE) {
        DWORD dwErr = GetLastError();
        if (IsToleratedFindError(dwErr))
            return TRUE;
        TraceText(NULL, "***FindFirstFile(4) error %d, path '%s'", (int)dwErr, pszFolder);
        return FALSE;
    }
    BOOL bEmpty = TRUE;
    do {
        if (!IsDotEntry(fd.cFileName))
            bEmpty = FALSE;
    } while (bEmpty && FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return bEmpty;
}

BOOL CreateFolderPath(LPCSTR pszPath) {
    char szPrefix[ZEB_CCH_PATH];
    lstrcpynA(szPrefix, pszPath, sizeof(szPrefix));
    size_t cch = strlen(szPrefix);

    // The walk starts after "X:\" or after "\\server\share\".
    size_t iStart = 0;
    if (cch >= 2 && szPrefix[0] == '\\' && szPrefix[1] == '\\') {
        int iSeparators = 0;
        for (iStart = 2; iStart < cch && iSeparators < 2; iStart++) {
            if (szPrefix[iStart] == '\\')
                iSeparators++;
        }
    } else if (cch >= 2 && szPrefix[1] == ':') {
        iStart = (cch >= 3 && szPrefix[2] == '\\') ? 3 : 2;
    }

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

LPSTR GetParentFolder(BOOL bAddSeparator, LPSTR pszPath) {
    if (pszPath[0] == '\0')
        return pszPath;
    NormalizePath(FALSE, pszPath);
    LPSTR p = strrchr(pszPath, '\\');
    if (p != NULL)
        *p = '\0';
    if (bAddSeparator)
        NormalizePath(TRUE, pszPath);
    TraceText(NULL, "parent directory is '%s'", pszPath);
    return pszPath;
}
