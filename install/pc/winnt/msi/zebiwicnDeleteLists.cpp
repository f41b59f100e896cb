// Clean-up lists: the product's uninstall lists and maintenance control files, the maintenance
// levels' leftovers and registry trees, each in the deleters' working mode (count, now, stack).
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnDelete.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnUtil.h"

#include <climits>
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kLangMark[] = "-lang";
const char kCsdKeyName[] = "Maintenance Applied";
const char kWow64Installation[] = "SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX\\Installation";
const int kFieldDestination = 7;

// The languages an uninstall list's "-lang" line stands for, in the order of strings 250-263.
const struct {
    UINT uString;
    LPCSTR pszCode;
    LPCSTR pszText;
    char cLetter;
} kLanguages[] = {
    {250, "en_us", "0009-English", 'a'},
    {251, "fr_fr", "040c-French (Standard)", 'f'},
    {252, "de_de", "0007-German", 'g'},
    {253, "es_es", "000a-Spanish", 's'},
    {254, "it_it", "0010-Italian", 'i'},
    {255, "ja_jp", "0011-Japanese", 'j'},
    {256, "pt_br", "0416-Portuguese (Brazilian)", 'b'},
    {257, "ko_kr", "0012-Korean", 'k'},
    {258, "zh_cn", "0804-Chinese (PRC)", 'z'},
    {259, "zh_tw", "0404-Chinese (Taiwan)", 't'},
    {260, "hu_hu", "040e-Hungarian", 'h'},
    {261, "ru_ru", "0419-Russian", 'r'},
    {262, "pl_pl", "0415-Polish", 'p'},
    {263, "cs_cz", "0405-Czech", 'c'},
};

void AddTicks(int* piTicks, int iTicks) {
    if (piTicks != NULL)
        *piTicks = *piTicks > INT_MAX - iTicks ? INT_MAX : *piTicks + iTicks;
}

// ---- Folders collected from a list -------------------------------------------------------------

// The distinct folders a list's files lie in, removed after the list, deepest first.
struct FolderList {
    char** ppszFolders = NULL;
    size_t cFolders = 0;
    size_t cAlloc = 0;
    char szLastFolder[ZEB_CCH_PATH] = ""; // consecutive files mostly share their folder
    ~FolderList() {
        for (size_t i = 0; i < cFolders; i++)
            free(ppszFolders[i]);
        free(ppszFolders);
    }
};

BOOL AddFolder(FolderList& list, LPCSTR pszFolder, size_t cch) {
    if (list.cFolders == list.cAlloc) {
        size_t cNew = list.cAlloc == 0 ? 64 : list.cAlloc * 2;
        char** ppsz = (char**)realloc(list.ppszFolders, cNew * sizeof(char*));
        if (ppsz == NULL)
            return FALSE;
        list.ppszFolders = ppsz;
        list.cAlloc = cNew;
    }
    char* psz = (char*)malloc(cch + 1);
    if (psz == NULL)
        return FALSE;
    memcpy(psz, pszFolder, cch);
    psz[cch] = '\0';
    list.ppszFolders[list.cFolders++] = psz;
    return TRUE;
}

// Descending without regard to case: a folder sorts after every folder inside it, since its name
// is their prefix.
int CompareFoldersDescending(const void* pA, const void* pB) {
    return _stricmp(*(char* const*)pB, *(char* const*)pA);
}

// The part after the folder and its backslash, or NULL when the path is not inside the folder.
LPCSTR PartInside(LPCSTR pszPath, LPCSTR pszFolder) {
    size_t cch = strlen(pszFolder);
    if (cch == 0 || _strnicmp(pszPath, pszFolder, cch) != 0 || pszPath[cch] != '\\' ||
        pszPath[cch + 1] == '\0')
        return NULL;
    return pszPath + cch + 1;
}

// A "." or ".." part, or an empty one (two backslashes in a row after a share's leading pair),
// which the file system resolves to a place the text does not name.
BOOL HasRelativePart(LPCSTR pszPath) {
    LPCSTR pszStart = pszPath[0] == '\\' && pszPath[1] == '\\' ? pszPath + 2 : pszPath;
    for (LPCSTR psz = pszStart; *psz != '\0';) {
        size_t cch = strcspn(psz, "\\");
        if ((cch == 0 && psz[0] == '\\') || (cch == 1 && psz[0] == '.') ||
            (cch == 2 && psz[0] == '.' && psz[1] == '.'))
            return TRUE;
        psz += cch;
        if (*psz == '\\')
            psz++;
    }
    return FALSE;
}

// Inside the program or data folder, with no "." or ".." part that could lead out of it.
BOOL IsInsideFolders(LPCSTR pszFolder, LPCSTR pszProgramFolder, LPCSTR pszDataFolder) {
    LPCSTR pszRest = PartInside(pszFolder, pszProgramFolder);
    if (pszRest == NULL)
        pszRest = PartInside(pszFolder, pszDataFolder);
    return pszRest != NULL && !HasRelativePart(pszRest);
}

// Remembers every folder above the file that the list may remove.
BOOL RememberFolders(FolderList& list, LPCSTR pszFile, LPCSTR pszProgramFolder, LPCSTR pszDataFolder) {
    LPCSTR pszLast = strrchr(pszFile, '\\');
    if (pszLast == NULL)
        return TRUE;
    size_t cchFolder = (size_t)(pszLast - pszFile);
    if (strlen(list.szLastFolder) == cchFolder && _strnicmp(list.szLastFolder, pszFile, cchFolder) == 0)
        return TRUE;
    memcpy(list.szLastFolder, pszFile, cchFolder); // shorter than the file's path
    list.szLastFolder[cchFolder] = '\0';
    for (size_t i = 1; i <= cchFolder; i++) {
        if (i < cchFolder && pszFile[i] != '\\')
            continue;
        char szFolder[ZEB_CCH_PATH];
        memcpy(szFolder, pszFile, i);
        szFolder[i] = '\0';
        if (IsInsideFolders(szFolder, pszProgramFolder, pszDataFolder) && !AddFolder(list, pszFile, i)) {
            TraceText(NULL, "***Can't allocate memory for folder '%s'", szFolder);
            return FALSE;
        }
    }
    return TRUE;
}

// ---- Lines of the lists ------------------------------------------------------------------------

// Copies text into the buffer at *pcch; FALSE when it does not fit.
BOOL Append(char (&szOut)[ZEB_CCH_PATH], size_t* pcch, LPCSTR pszText, size_t cchText) {
    if (*pcch + cchText >= sizeof(szOut))
        return FALSE;
    memcpy(szOut + *pcch, pszText, cchText);
    *pcch += cchText;
    szOut[*pcch] = '\0';
    return TRUE;
}

// The lower-cased path with every "-lang1-" to "-lang6-" replaced for one language; FALSE when the
// result would not fit a path.
BOOL ExpandLanguage(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszLower, int iLanguage) {
    LPCSTR pszCode = kLanguages[iLanguage].pszCode;
    char szCode[ZEB_CCH_MSG];
    if (LoadStringFromResource(szCode, kLanguages[iLanguage].uString) && szCode[0] != '\0')
        pszCode = szCode;
    LPCSTR pszText = kLanguages[iLanguage].pszText;
    char szLetter[2] = {kLanguages[iLanguage].cLetter, '\0'};
    char szSetup[16];
    snprintf(szSetup, sizeof(szSetup), "Setup%2.2s", pszCode);
    size_t cch = 0;
    szOut[0] = '\0';
    for (LPCSTR psz = pszLower; *psz != '\0';) {
        LPCSTR pszNext = strstr(psz, kLangMark);
        if (pszNext == NULL)
            return Append(szOut, &cch, psz, strlen(psz));
        if (!Append(szOut, &cch, psz, (size_t)(pszNext - psz)))
            return FALSE;
        char cToken = pszNext[5];
        if (cToken < '1' || cToken > '6' || pszNext[6] != '-') {
            if (!Append(szOut, &cch, pszNext, 5))
                return FALSE;
            psz = pszNext + 5;
            continue;
        }
        LPCSTR pszWith = NULL;
        size_t cchWith = 0;
        switch (cToken) {
        case '1':
            pszWith = pszCode, cchWith = strlen(pszCode);
            break;
        case '2':
            pszWith = pszText, cchWith = strlen(pszText);
            break;
        case '3':
            pszWith = szLetter, cchWith = 1;
            break;
        case '4':
            pszWith = pszText, cchWith = strnlen(pszText, 4);
            break;
        case '5':
            pszWith = pszCode, cchWith = strnlen(pszCode, 2);
            break;
        default:
            pszWith = szSetup, cchWith = strlen(szSetup);
            break;
        }
        if (!Append(szOut, &cch, pszWith, cchWith))
            return FALSE;
        psz = pszNext + 7;
    }
    return TRUE;
}

struct ListWalk {
    BOOL bAct, bNow;
    int iTicks;
    LPCSTR pszProgramFolder, pszDataFolder, pszComponent;
    int iInstallMode;
    FolderList folders;
};

BOOL HandleOneFile(ListWalk& walk, LPCSTR pszFile) {
    // "pgm\..\..\Windows\x" would delete a file the list does not name.
    if (HasRelativePart(pszFile)) {
        TraceText(NULL, "***Relative part in path: '%s'", pszFile);
        return FALSE;
    }
    BOOL bResult = iiiDeleteFile(walk.bAct, walk.bNow, &walk.iTicks, pszFile, FALSE, NULL, walk.pszComponent,
                                 walk.iInstallMode);
    return RememberFolders(walk.folders, pszFile, walk.pszProgramFolder, walk.pszDataFolder) && bResult;
}

// The file, or the fourteen files of a "-lang" path.
BOOL HandleFile(ListWalk& walk, LPCSTR pszFile) {
    char szLower[ZEB_CCH_PATH];
    lstrcpynA(szLower, pszFile, sizeof(szLower));
    for (char* psz = szLower; *psz != '\0'; psz++)
        *psz = (char)tolower((unsigned char)*psz);
    if (strstr(szLower, kLangMark) == NULL)
        return HandleOneFile(walk, pszFile);
    BOOL bResult = TRUE;
    for (int i = 0; i < (int)(sizeof(kLanguages) / sizeof(kLanguages[0])); i++) {
        char szFile[ZEB_CCH_PATH];
        if (!ExpandLanguage(szFile, szLower, i)) {
            TraceText(NULL, "***Path too long: '%s' for '%s'", szLower, kLanguages[i].pszCode);
            bResult = FALSE;
            continue;
        }
        bResult = HandleOneFile(walk, szFile) && bResult;
    }
    return bResult;
}

// The field'th field (1 for the first) of a ";"-separated line, trimmed; FALSE when it has fewer.
BOOL LineField(LPCSTR pszLine, int iField, char (&szOut)[ZEB_CCH_PATH]) {
    LPCSTR psz = pszLine;
    for (int i = 1; i < iField; i++) {
        psz = strchr(psz, ';');
        if (psz == NULL)
            return FALSE;
        psz++;
    }
    size_t cch = strcspn(psz, ";");
    while (cch > 0 && isspace((unsigned char)*psz))
        psz++, cch--;
    while (cch > 0 && isspace((unsigned char)psz[cch - 1]))
        cch--;
    if (cch >= sizeof(szOut))
        return FALSE;
    memcpy(szOut, psz, cch);
    szOut[cch] = '\0';
    return TRUE;
}

// "pgm\+INSTALLATIONNAME+\x": the text from the first to the last "+" becomes the name.
void SubstituteInstallationName(char (&szFolder)[ZEB_CCH_PATH], LPCSTR pszInstallationName) {
    char* pszFirst = strchr(szFolder, '+');
    char* pszLast = strrchr(szFolder, '+');
    static const char kToken[] = "INSTALLATIONNAME";
    if (pszFirst == NULL || pszLast == pszFirst || _strnicmp(pszFirst + 1, kToken, sizeof(kToken) - 1) != 0 ||
        pszInstallationName == NULL || pszInstallationName[0] == '\0')
        return;
    TraceText(NULL, "Substitute installation name into destination '%s'", szFolder);
    char szOut[ZEB_CCH_PATH];
    int cch = snprintf(szOut, sizeof(szOut), "%.*s%s%s", (int)(pszFirst - szFolder), szFolder,
                       pszInstallationName, pszLast + 1);
    if (cch < 0 || cch >= (int)sizeof(szOut))
        return; // left as it was: the file is then looked for where it cannot be
    lstrcpynA(szFolder, szOut, sizeof(szFolder));
    TraceText(NULL, "Destination string replaced with '%s'", szFolder);
}

// The file a control-file line names, or an empty path for a line of another type. FALSE when
// the path does not fit.
BOOL ControlFileLine(LPCSTR pszLine, LPCSTR pszProgramFolder, LPCSTR pszDataFolder,
                     LPCSTR pszInstallationName, char (&szFile)[ZEB_CCH_PATH]) {
    szFile[0] = '\0';
    char szType[ZEB_CCH_PATH];
    char szDestination[ZEB_CCH_PATH];
    if (!LineField(pszLine, 1, szType) ||
        (_stricmp(szType, "file") != 0 && _stricmp(szType, "fileservice") != 0))
        return TRUE;
    if (!LineField(pszLine, kFieldDestination, szDestination) || szDestination[0] == '\0') {
        TraceText(NULL, "***No destination in line '%s'", pszLine);
        return FALSE;
    }
    char szFolder[ZEB_CCH_PATH] = "";
    LPCSTR pszName = szDestination;
    char* pszSlash = strrchr(szDestination, '\\');
    if (pszSlash != NULL) {
        *pszSlash = '\0';
        lstrcpynA(szFolder, szDestination, sizeof(szFolder));
        pszName = pszSlash + 1;
    }
    SubstituteInstallationName(szFolder, pszInstallationName);
    size_t cchFirst = strcspn(szFolder, "\\");
    LPCSTR pszRest = szFolder[cchFirst] == '\\' ? szFolder + cchFirst + 1 : szFolder + cchFirst;
    char szWindows[ZEB_CCH_PATH] = "";
    LPCSTR pszRoot = pszProgramFolder;
    if (cchFirst == 3 && _strnicmp(szFolder, "dat", 3) == 0) {
        pszRoot = pszDataFolder;
    } else if (cchFirst == 3 && _strnicmp(szFolder, "win", 3) == 0) {
        UINT cch = GetWindowsDirectoryA(szWindows, sizeof(szWindows));
        if (cch == 0 || cch >= sizeof(szWindows)) {
            TraceText(NULL, "***GetWindowsDirectory error %d", (int)GetLastError());
            return FALSE;
        }
        pszRoot = szWindows;
    } else if (!(cchFirst == 3 && _strnicmp(szFolder, "pgm", 3) == 0)) {
        pszRest = szFolder;
    }
    char szResolved[ZEB_CCH_PATH];
    int cch = pszRest[0] == '\0' ? snprintf(szResolved, sizeof(szResolved), "%s", pszRoot)
                                 : snprintf(szResolved, sizeof(szResolved), "%s\\%s", pszRoot, pszRest);
    if (cch < 0 || cch >= (int)sizeof(szResolved) || !MakeFilePath(szFile, szResolved, pszName)) {
        TraceText(NULL, "***Path too long: '%s\\%s\\%s'", pszRoot, pszRest, pszName);
        szFile[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

// The file a product uninstall list's line names, or an empty path for a line without folder.
BOOL UninstallListLine(LPCSTR pszLine, LPCSTR pszProgramFolder, LPCSTR pszDataFolder,
                       char (&szFile)[ZEB_CCH_PATH]) {
    szFile[0] = '\0';
    LPCSTR pszSlash = strchr(pszLine, '\\');
    if (pszSlash == NULL)
        return TRUE;
    BOOL bData = pszSlash - pszLine == 3 && _strnicmp(pszLine, "dat", 3) == 0;
    if (!MakeFilePath(szFile, bData ? pszDataFolder : pszProgramFolder, pszSlash + 1)) {
        TraceText(NULL, "***Path too long: '%s\\%s'", bData ? pszDataFolder : pszProgramFolder, pszSlash + 1);
        return FALSE;
    }
    return TRUE;
}

// The folders of the list, deepest first, those inside the program or data folder only.
BOOL RemoveFolders(ListWalk& walk) {
    FolderList& list = walk.folders;
    if (list.cFolders == 0)
        return TRUE;
    qsort(list.ppszFolders, list.cFolders, sizeof(char*), CompareFoldersDescending);
    BOOL bResult = TRUE;
    for (size_t i = 0; i < list.cFolders; i++) {
        if (i > 0 && _stricmp(list.ppszFolders[i], list.ppszFolders[i - 1]) == 0)
            continue;
        char szFolder[ZEB_CCH_PATH];
        snprintf(szFolder, sizeof(szFolder), "%s\\", list.ppszFolders[i]); // shorter than a file in it
        bResult = iiiDeleteDir(walk.bAct, walk.bNow, &walk.iTicks, szFolder, FALSE, NULL, walk.pszComponent,
                               walk.iInstallMode) &&
                  bResult;
    }
    return bResult;
}

// ---- Registry ----------------------------------------------------------------------------------

// The names of a key's subkeys, collected before any is deleted: deleting while enumerating by
// index would skip the key after each one deleted.
struct NameList {
    char (*pszNames)[ZEB_CCH_PATH] = NULL;
    DWORD cNames = 0;
    ~NameList() { free(pszNames); }
};

// FALSE (traced) when the key cannot be read; a key that does not exist has no subkeys.
BOOL CollectSubkeys(LPCSTR pszKeyPath, NameList& names, BOOL* pbExists) {
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKeyPath, 0, KEY_READ, hKey.Out());
    *pbExists = lRc == ERROR_SUCCESS;
    if (lRc == ERROR_FILE_NOT_FOUND)
        return TRUE;
    DWORD cSubKeys = 0;
    if (lRc == ERROR_SUCCESS)
        lRc = RegQueryInfoKeyA(hKey.Get(), NULL, NULL, NULL, &cSubKeys, NULL, NULL, NULL, NULL, NULL, NULL,
                               NULL);
    if (lRc == ERROR_SUCCESS && cSubKeys > 0) {
        names.pszNames = (char(*)[ZEB_CCH_PATH])calloc(cSubKeys, ZEB_CCH_PATH);
        if (names.pszNames == NULL)
            lRc = ERROR_NOT_ENOUGH_MEMORY;
    }
    for (DWORD i = 0; lRc == ERROR_SUCCESS && i < cSubKeys; i++) {
        DWORD cch = ZEB_CCH_PATH;
        lRc = RegEnumKeyExA(hKey.Get(), i, names.pszNames[i], &cch, NULL, NULL, NULL, NULL);
        if (lRc == ERROR_NO_MORE_ITEMS) {
            lRc = ERROR_SUCCESS;
            break;
        }
        if (lRc == ERROR_SUCCESS)
            names.cNames++;
    }
    if (lRc != ERROR_SUCCESS) {
        TraceText(NULL, "***Can't enumerate key: '%s' %d", pszKeyPath, (int)lRc);
        return FALSE;
    }
    return TRUE;
}

// *pbKept: the kept subkey was found in this tree, so the key stays.
BOOL DeleteTree(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszKeyPath, LPCSTR pszKeep, BOOL bDescend,
                LPCSTR pszComponent, int iInstallMode, BOOL* pbKept) {
    *pbKept = FALSE;
    NameList names;
    BOOL bExists = FALSE;
    if (!CollectSubkeys(pszKeyPath, names, &bExists))
        return FALSE;
    BOOL bResult = TRUE;
    for (DWORD i = 0; i < names.cNames; i++) {
        LPCSTR pszName = names.pszNames[i];
        if (pszKeep != NULL && _stricmp(pszName, pszKeep) == 0) {
            TraceText(NULL, "Not deleting subkey '%s'", pszName);
            *pbKept = TRUE;
            continue;
        }
        char szSubKey[ZEB_CCH_MSG];
        int cch = snprintf(szSubKey, sizeof(szSubKey), "%s\\%s", pszKeyPath, pszName);
        if (cch < 0 || cch >= (int)sizeof(szSubKey)) {
            TraceText(NULL, "***Key path too long: '%s\\%s'", pszKeyPath, pszName);
            bResult = FALSE;
            continue;
        }
        if (bDescend) {
            BOOL bSubKept = FALSE;
            bResult = DeleteTree(bAct, bNow, piTicks, szSubKey, pszKeep, bDescend, pszComponent, iInstallMode,
                                 &bSubKept) &&
                      bResult;
            *pbKept = *pbKept || bSubKept;
        } else {
            bResult = DeleteRegistryKey(bAct, bNow, piTicks, szSubKey, pszComponent, iInstallMode) && bResult;
        }
    }
    if (*pbKept) {
        TraceText(NULL, "Not deleting key '%s'; it has subkeys", pszKeyPath);
        return bResult;
    }
    if (!bExists)
        return bResult;
    return DeleteRegistryKey(bAct, bNow, piTicks, pszKeyPath, pszComponent, iInstallMode) && bResult;
}

// ---- Maintenance levels ------------------------------------------------------------------------

struct CsdWalk {
    BOOL bAct, bNow;
    LPCSTR pszComponent;
    int iInstallMode;
    char szProgram[ZEB_CCH_PATH];
    char szData[ZEB_CCH_PATH];
    char szName[ZEB_CCH_PATH];
};

// Everything below a folder ("folder\*"), the folders included.
BOOL DeleteAllBelow(const CsdWalk& walk, LPCSTR pszFolder) {
    char szPattern[ZEB_CCH_PATH];
    if (!MakeFilePath(szPattern, pszFolder, "*")) {
        TraceText(NULL, "***Path too long: '%s\\*'", pszFolder);
        return FALSE;
    }
    return iiiDelDirFiles(walk.bAct, walk.bNow, NULL, szPattern, TRUE, TRUE, TRUE, walk.pszComponent,
                          walk.iInstallMode);
}

// One applied level: its control file, then everything in its rollback folder.
BOOL DeleteLevel(const CsdWalk& walk, LPCSTR pszData) {
    TraceText(NULL, "Rollback data is '%s'", pszData);
    LPCSTR pszEquals = strchr(pszData, '=');
    char szFolder[ZEB_CCH_PATH];
    lstrcpynA(szFolder, pszEquals != NULL ? pszEquals + 1 : pszData, sizeof(szFolder));
    NormalizePath(FALSE, szFolder);
    if (szFolder[0] == '\0') {
        TraceText(NULL, "No Rollback directory");
        return TRUE;
    }
    TraceText(NULL, "Rollback directory is '%s'", szFolder);
    if (!IsExistingDirectory(szFolder)) {
        TraceText(NULL, "Can't find rollback directory");
        return TRUE;
    }
    BOOL bResult = TRUE;
    char szControl[ZEB_CCH_PATH];
    if (MakeFilePath(szControl, szFolder, "backup.csd") && FileExists(szControl))
        bResult =
            DeleteFileList(walk.bAct, walk.bNow, NULL, ZEB_LIST_CSD, "backup.csd", szControl, walk.szProgram,
                           walk.szData, walk.pszComponent, walk.iInstallMode, walk.szName);
    return DeleteAllBelow(walk, szFolder) && bResult;
}

// The levels named in the "Maintenance Applied" key. *pbOpened: the key was there to be read.
BOOL DeleteLevels(const CsdWalk& walk, LPCSTR pszKey, BOOL* pbOpened) {
    *pbOpened = FALSE;
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_READ, hKey.Out());
    if (lRc == ERROR_ACCESS_DENIED) {
        TraceText(NULL, "***RegOpenKeyEx returns %d (ERROR_ACCESS_DENIED) '%s'", (int)lRc, pszKey);
        return TRUE;
    }
    if (lRc == ERROR_FILE_NOT_FOUND) {
        TraceText(NULL, "***Open key error %d (ERROR_FILE_NOT_FOUND) '%s'", (int)lRc, pszKey);
        return TRUE;
    }
    if (lRc != ERROR_SUCCESS) {
        TraceText(NULL, "***Open key error %d '%s'", (int)lRc, pszKey);
        return FALSE;
    }
    *pbOpened = TRUE;
    BOOL bResult = TRUE;
    for (DWORD i = 0;; i++) {
        char szName[ZEB_CCH_PATH];
        char szData[ZEB_CCH_MSG];
        DWORD cchName = sizeof(szName);
        DWORD cbData = sizeof(szData) - 1; // room for a terminator the value may lack
        DWORD dwType = REG_NONE;
        lRc = RegEnumValueA(hKey.Get(), i, szName, &cchName, NULL, &dwType, (LPBYTE)szData, &cbData);
        if (lRc == ERROR_NO_MORE_ITEMS)
            break;
        if (lRc != ERROR_SUCCESS) {
            TraceText(NULL, "***Can't enumerate Key values: '%s' %d", pszKey, (int)lRc);
            return FALSE;
        }
        if (dwType != REG_SZ && dwType != REG_EXPAND_SZ)
            continue;
        szData[cbData] = '\0';
        if (_stricmp(szName, "Shipped") == 0) {
            TraceText(NULL, "Shipped CSD: '%s'", szData);
            LPCSTR pszEquals = strchr(szData, '=');
            TraceText(NULL, "Shipped CSD level is '%s'", pszEquals != NULL ? pszEquals + 1 : szData);
        } else if (_strnicmp(szName, "Maint", 5) == 0) {
            TraceText(NULL, "Processing '%s'", szName);
            bResult = DeleteLevel(walk, szData) && bResult;
        }
    }
    return bResult;
}

// The "u20" backup folders, the backup folder and the maintenance remover.
BOOL DeleteBackups(const CsdWalk& walk, LPCSTR pszFolder) {
    char szSearch[ZEB_CCH_PATH];
    if (!MakeFilePath(szSearch, pszFolder, "BackUp\\*")) {
        TraceText(NULL, "***Path too long: '%s\\BackUp\\*'", pszFolder);
        return FALSE;
    }
    BOOL bResult = TRUE;
    WIN32_FIND_DATAA fd;
    ZebFindHandle hFind(FindFirstFileA(szSearch, &fd));
    if (!hFind.IsValid()) {
        DWORD dwErr = GetLastError();
        if (dwErr != ERROR_FILE_NOT_FOUND && dwErr != ERROR_PATH_NOT_FOUND && dwErr != ERROR_INVALID_NAME) {
            TraceText(NULL, "***FindFirstFile(5) error %d, path '%s'", (int)dwErr, szSearch);
            bResult = FALSE;
        }
    } else {
        do {
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                _strnicmp(fd.cFileName, "u20", 3) != 0)
                continue;
            char szLevel[ZEB_CCH_PATH];
            int cch = snprintf(szLevel, sizeof(szLevel), "%s\\BackUp\\%s", pszFolder, fd.cFileName);
            if (cch < 0 || cch >= (int)sizeof(szLevel)) {
                TraceText(NULL, "***Path too long: '%s\\BackUp\\%s'", pszFolder, fd.cFileName);
                bResult = FALSE;
                continue;
            }
            bResult = DeleteAllBelow(walk, szLevel) && bResult;
        } while (FindNextFileA(hFind.Get(), &fd));
    }
    hFind.Close();
    char szPath[ZEB_CCH_PATH];
    if (MakeFilePath(szPath, pszFolder, "BackUp\\"))
        bResult = iiiDeleteDir(walk.bAct, walk.bNow, NULL, szPath, FALSE, NULL, walk.pszComponent,
                               walk.iInstallMode) &&
                  bResult;
    int cch = snprintf(szPath, sizeof(szPath), "%s\\%s\\deinst.exe", pszFolder, ProgramBinSubfolder());
    if (cch > 0 && cch < (int)sizeof(szPath))
        bResult = iiiDeleteFile(walk.bAct, walk.bNow, NULL, szPath, FALSE, NULL, walk.pszComponent,
                                walk.iInstallMode) &&
                  bResult;
    return bResult;
}

// After a full buffer: TRUE when the line ended there (its line end is then read).
BOOL AtLineEnd(FILE* fp) {
    int c = fgetc(fp);
    if (c == '\r')
        c = fgetc(fp);
    if (c == EOF || c == '\n')
        return TRUE;
    ungetc(c, fp);
    return FALSE;
}

} // namespace

BOOL DeleteFileList(BOOL bAct, BOOL bNow, int* piTicks, int iListKind, LPCSTR pszListName, LPCSTR pszListFile,
                    LPCSTR pszProgramFolder, LPCSTR pszDataFolder, LPCSTR pszComponent, int iInstallMode,
                    LPCSTR pszInstallationName) {
    if (!bAct && !bNow)
        return TRUE;
    BOOL bCsd = iListKind == ZEB_LIST_CSD;
    if (bAct && bNow)
        TraceText(NULL, "Counting files in '%s' (%s)", pszListFile, pszListName);
    else if (bNow)
        TraceText(NULL, bCsd ? "Deleting CSD files in '%s' (%s)" : "Deleting files in '%s' (%s)", pszListFile,
                  pszListName);
    else
        TraceText(NULL,
                  bCsd ? "Stacking CSD files in '%s' for deletion (%s)"
                       : "Stacking files in '%s' for deletion (%s)",
                  pszListFile, pszListName);
    ZebFile fp(fopen(pszListFile, "rtN"));
    if (!fp.IsValid()) {
        TraceText(NULL, "***Can't open '%s'", pszListFile);
        return FALSE;
    }

    ListWalk walk;
    walk.bAct = bAct;
    walk.bNow = bNow;
    walk.iTicks = 0;
    walk.pszProgramFolder = pszProgramFolder;
    walk.pszDataFolder = pszDataFolder;
    walk.pszComponent = pszComponent;
    walk.iInstallMode = iInstallMode;
    BOOL bResult = TRUE;
    char szLine[ZEB_CCH_PATH];
    while (fgets(szLine, sizeof(szLine), fp.Get()) != NULL) {
        size_t cch = strcspn(szLine, "\r\n");
        if (szLine[cch] == '\0' && !AtLineEnd(fp.Get())) {
            // A longer line read in pieces would name files it does not name.
            TraceText(NULL, "***Line too long in '%s': '%s'", pszListFile, szLine);
            int c;
            while ((c = fgetc(fp.Get())) != EOF && c != '\n') {
            }
            bResult = FALSE;
            continue;
        }
        szLine[cch] = '\0';
        if (szLine[0] == ';' || szLine[0] == '#')
            continue;
        char szFile[ZEB_CCH_PATH];
        BOOL bFile =
            bCsd ? ControlFileLine(szLine, pszProgramFolder, pszDataFolder, pszInstallationName, szFile)
                 : UninstallListLine(szLine, pszProgramFolder, pszDataFolder, szFile);
        if (!bFile)
            bResult = FALSE;
        else if (szFile[0] != '\0')
            bResult = HandleFile(walk, szFile) && bResult;
    }
    fp.Close();
    bResult = RemoveFolders(walk) && bResult;
    if (bAct && bNow) {
        AddTicks(piTicks, walk.iTicks);
        WriteTrace(NULL, "%s %d", "Ticks count is now", piTicks != NULL ? *piTicks : walk.iTicks);
    } else {
        TraceText(NULL, "Finished processing '%s'", pszListFile);
    }
    return bResult;
}

BOOL DeleteCsds(BOOL bAct, BOOL bNow, LPCSTR pszFolder, LPCSTR pszComponent, int iInstallMode) {
    static const char kFunction[] = "DeleteCsds";
    CsdWalk walk;
    walk.bAct = bAct;
    walk.bNow = bNow;
    walk.pszComponent = pszComponent;
    walk.iInstallMode = iInstallMode;
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!GetPropertyValue(FrameSession(), kFunction, PROP_ZEBINSTALLINSTANCENAME, walk.szName,
                          sizeof(walk.szName), &uiStat))
        return FALSE;
    if (bAct && bNow) {
        TraceText(NULL, "Counting all CSD info");
    } else if (bNow) {
        TraceText(NULL, "Directly deleting all CSD info");
    } else if (bAct) {
        TraceText(NULL, "Stacking all CSD info for deletion");
    } else {
        TraceText(NULL, "Returning, nothing to do");
        return TRUE;
    }
    UINT uiRead = ZEB_RC_SUCCESS;
    if (!KnownFolder(FrameSession(), kFunction, WorkingFolders().szProgram, PROP_ZEBPGMFOLDER, walk.szProgram,
                     &uiRead) ||
        !KnownFolder(FrameSession(), kFunction, WorkingFolders().szData, PROP_ZEBDATFOLDER, walk.szData,
                     &uiRead))
        return FALSE;

    BOOL bResult = TRUE;
    char szKey[ZEB_CCH_MSG];
    int cch = snprintf(szKey, sizeof(szKey), "%s\\%s\\%s", ZEB_KEY_INSTALLATION, walk.szName, kCsdKeyName);
    if (walk.szName[0] == '\0' || cch < 0 || cch >= (int)sizeof(szKey)) {
        TraceText(NULL, "***No installation key for '%s'", walk.szName);
        bResult = FALSE;
    } else {
        BOOL bOpened = FALSE;
        bResult = DeleteLevels(walk, szKey, &bOpened);
        if (bResult && bOpened) {
            bResult = DeleteRegistryTree(bAct, bNow, NULL, szKey, NULL, TRUE, pszComponent, iInstallMode);
            snprintf(szKey, sizeof(szKey), "%s\\%s\\%s", kWow64Installation, walk.szName, kCsdKeyName);
            bResult = DeleteRegistryTree(bAct, bNow, NULL, szKey, NULL, TRUE, pszComponent, iInstallMode) &&
                      bResult;
        }
    }
    return DeleteBackups(walk, pszFolder) && bResult;
}

BOOL DeleteRegistryTree(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszKeyPath, LPCSTR pszKeep, BOOL bDescend,
                        LPCSTR pszComponent, int iInstallMode) {
    if (!bAct && !bNow)
        return TRUE;
    BOOL bKept = FALSE;
    return DeleteTree(bAct, bNow, piTicks, pszKeyPath, pszKeep, bDescend, pszComponent, iInstallMode, &bKept);
}

BOOL DeleteRegistryKey(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszKeyPath, LPCSTR pszComponent,
                       int iInstallMode) {
    if (bAct && bNow) {
        AddTicks(piTicks, ZEB_DELETE_TICKS);
        return TRUE;
    }
    if (bAct)
        return StackDeleteRegistryKey(pszKeyPath, pszComponent, iInstallMode) == ZEB_RC_SUCCESS;
    if (!bNow)
        return TRUE;

    iwiUpdateActionDataField(pszKeyPath);
    char szParent[ZEB_CCH_MSG];
    lstrcpynA(szParent, pszKeyPath, sizeof(szParent));
    char* pszSlash = strrchr(szParent, '\\');
    LPCSTR pszName = pszKeyPath;
    if (pszSlash != NULL) {
        *pszSlash = '\0';
        pszName = pszSlash + 1;
    }
    BOOL bResult = TRUE;
    ZebRegKey hParent;
    LONG lRc = pszSlash != NULL
                   ? RegOpenKeyExA(HKEY_LOCAL_MACHINE, szParent, 0, KEY_READ | KEY_WRITE, hParent.Out())
                   : ERROR_SUCCESS;
    if (lRc == ERROR_FILE_NOT_FOUND) {
        // Already gone with its parent.
    } else if (lRc != ERROR_SUCCESS) {
        TraceText(NULL, "***RegOpenKeyEx error %d '%s'", (int)lRc, szParent);
        bResult = FALSE;
    } else {
        lRc = RegDeleteKeyA(pszSlash != NULL ? hParent.Get() : HKEY_LOCAL_MACHINE, pszName);
        if (lRc == ERROR_SUCCESS) {
            TraceText(NULL, "Deleted key '%s'", pszKeyPath);
        } else if (lRc == ERROR_ACCESS_DENIED) {
            TraceText(NULL, "***RegDeleteKey ERROR_ACCESS_DENIED '%s'", pszKeyPath);
            bResult = FALSE;
        } else if (lRc != ERROR_FILE_NOT_FOUND) {
            TraceText(NULL, "***RegDeleteKey error %d '%s'", (int)lRc, pszKeyPath);
            bResult = FALSE;
        }
    }
    iwiMoveProgressBar(0, ZEB_DELETE_TICKS);
    return bResult;
}

void CopyDataFile(LPCSTR pszFileName, LPCSTR pszDataFolder) {
    TraceText(NULL, "Checking for %s at %s", pszFileName, pszDataFolder);
    char szSource[ZEB_CCH_PATH];
    char szConfig[ZEB_CCH_PATH];
    char szTarget[ZEB_CCH_PATH];
    if (!MakeFilePath(szSource, pszDataFolder, pszFileName) ||
        !MakeFilePath(szConfig, pszDataFolder, "Config") || !MakeFilePath(szTarget, szConfig, pszFileName)) {
        TraceText(NULL, "***Path too long: '%s\\Config\\%s'", pszDataFolder, pszFileName);
        return;
    }
    if (!FileExists(szSource)) {
        TraceText(NULL, "..Not found");
        return;
    }
    TraceText(NULL, "Copying %s to %s", szSource, szTarget);
    RemoveReadOnly(szTarget, FALSE);
    if (!CopyFileA(szSource, szTarget, FALSE)) {
        // Without its copy the user's file must stay where it is.
        TraceText(NULL, "..Failed with %d", (int)GetLastError());
        return;
    }
    char szMigrated[ZEB_CCH_PATH];
    int cch = snprintf(szMigrated, sizeof(szMigrated), "%s_migrated", szTarget);
    if (cch > 0 && cch < (int)sizeof(szMigrated)) {
        if (FileExists(szMigrated)) {
            TraceText(NULL, "Deleting %s", szMigrated);
            iiiDeleteFile(FALSE, TRUE, NULL, szMigrated, FALSE, NULL, NULL, 0);
        } else {
            TraceText(NULL, "..%s not found", szMigrated);
        }
    }
    StackDeleteFiles(szSource, "Base_base_Instance1", ZEB_STACK_ON_REMOVE);
}
