// Where the queue managers are defined: the old levels' registry, hxs.ini (and each queue
// manager's QM.INI for its log folder), or the registry export Config.reg.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnUninstall.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kFunction[] = "isuBuildQmList";
const char kConfigKey[] = ZEB_KEY_OLD_RECORD "\\Configuration";
const char kBlanks[] = " \t";

enum Stanza { kOtherStanza, kAllQueueManagers, kLogDefaults, kQueueManager };

Stanza StanzaOf(LPCSTR pszName) {
    if (_stricmp(pszName, "AllQueueManagers") == 0)
        return kAllQueueManagers;
    if (_stricmp(pszName, "LogDefaults") == 0)
        return kLogDefaults;
    if (_stricmp(pszName, "QueueManager") == 0)
        return kQueueManager;
    return kOtherStanza;
}

// What is known of one definition while it is read; emptied after it is added.
struct QmFields {
    char szName[ZEB_CCH_MSG];
    char szPrefix[ZEB_CCH_MSG];
    char szDirectory[ZEB_CCH_MSG];
    char szInstallation[ZEB_CCH_MSG];
    BOOL bPending;
};

struct QmDefaults {
    char szPrefix[ZEB_CCH_MSG];
    char szLogPath[ZEB_CCH_MSG];
};

void ClearFields(QmFields& fields) {
    memset(&fields, 0, sizeof(fields));
}

// ---- Lines -------------------------------------------------------------------------------------

// The next line, at most 515 characters; the rest of a longer line is dropped. The line is cut at
// its first carriage return and at its first line feed. FALSE at the end of the file.
BOOL ReadLine(FILE* fp, char (&szLine)[ZEB_CCH_MSG]) {
    size_t cch = 0;
    int c = getc(fp);
    if (c == EOF)
        return FALSE;
    for (; c != EOF && c != '\n'; c = getc(fp)) {
        if (cch + 1 < sizeof(szLine))
            szLine[cch++] = (char)c;
    }
    szLine[cch] = '\0';
    szLine[strcspn(szLine, "\r")] = '\0';
    return TRUE;
}

enum LineKind { kSkipLine, kHeaderLine, kKeyLine };

// A stanza header ("Name:", its word the only one on a line without "=") or a key line
// ("Key=value": the first word, and the text after it and one more character, normalised).
// Lines beginning with ";" or "#" are comments.
LineKind ClassifyLine(LPCSTR pszLine, char (&szWord)[ZEB_CCH_MSG], char (&szValue)[ZEB_CCH_MSG]) {
    szWord[0] = szValue[0] = '\0';
    if (pszLine[0] == ';' || pszLine[0] == '#')
        return kSkipLine;
    BOOL bKey = strchr(pszLine, '=') != NULL;
    if (!bKey && strchr(pszLine, ':') == NULL)
        return kSkipLine;
    LPCSTR pszDelimiters = bKey ? "= \t" : ": \t";
    LPCSTR pszWord = pszLine + strspn(pszLine, pszDelimiters);
    size_t cchWord = strcspn(pszWord, pszDelimiters);
    if (cchWord == 0)
        return kSkipLine;
    memcpy(szWord, pszWord, cchWord);
    szWord[cchWord] = '\0';
    LPCSTR pszRest = pszWord + cchWord;
    if (!bKey)
        return pszRest[strspn(pszRest, pszDelimiters)] == '\0' ? kHeaderLine : kSkipLine;
    if (*pszRest != '\0')
        pszRest++;
    lstrcpynA(szValue, pszRest, sizeof(szValue));
    NormalizePath(FALSE, szValue);
    return kKeyLine;
}

// A value of a key line: an empty one leaves the field as it was.
void TakeValue(char (&szField)[ZEB_CCH_MSG], LPCSTR pszValue) {
    if (pszValue[0] != '\0')
        lstrcpynA(szField, pszValue, sizeof(szField));
}

void SetDefault(char (&szField)[ZEB_CCH_MSG], LPCSTR pszKey, LPCSTR pszValue) {
    if (pszValue[0] == '\0') {
        TraceText(kFunction, "No %s", pszKey);
        return;
    }
    lstrcpynA(szField, pszValue, sizeof(szField));
    TraceText(kFunction, "%s is '%s'", pszKey, szField);
}

// ---- Registry of old levels --------------------------------------------------------------------

// A value of the old levels' configuration (32-bit view) into a field; empty when missing. FALSE,
// traced, when it is longer than any field: such a value is no name and no folder.
BOOL ReadOldValue(LPCSTR pszKey, LPCSTR pszName, char (&szField)[ZEB_CCH_MSG]) {
    szField[0] = '\0';
    LPSTR pszText = NULL;
    GetRegistryValue(HKEY_LOCAL_MACHINE, pszKey, pszName, &pszText, TRUE);
    ZebHeap<char> text(pszText);
    if (!text.IsValid())
        return TRUE;
    if (strlen(text.Get()) >= sizeof(szField)) {
        TraceText(kFunction, "***Value '%s' of key '%s' is too long", pszName, pszKey);
        return FALSE;
    }
    lstrcpynA(szField, text.Get(), sizeof(szField));
    return TRUE;
}

BOOL ScanOneRegistryQm(LPCSTR pszKey, const QmDefaults& defaults) {
    QmFields fields;
    ClearFields(fields);
    char szDataPath[ZEB_CCH_MSG];
    if (!ReadOldValue(pszKey, "Name", fields.szName) || !ReadOldValue(pszKey, "Prefix", fields.szPrefix) ||
        !ReadOldValue(pszKey, "Directory", fields.szDirectory) ||
        !ReadOldValue(pszKey, "InstallationName", fields.szInstallation) ||
        !ReadOldValue(pszKey, "DataPath", szDataPath))
        return FALSE;

    BOOL bResult = TRUE;
    char szLogPath[ZEB_CCH_MSG] = "";
    if (szDataPath[0] != '\0') {
        char szQmIni[ZEB_CCH_PATH];
        TraceText(kFunction, "Reading LogPath from file '%s\\QM.INI'", szDataPath);
        if (MakeFilePath(szQmIni, szDataPath, "QM.INI") && FileExists(szQmIni))
            bResult = isuGetLogDirFromIni(szQmIni, szLogPath);
    } else {
        char szLogKey[2 * ZEB_CCH_MSG];
        snprintf(szLogKey, sizeof(szLogKey), "%s\\Log", pszKey);
        TraceText(kFunction, "Reading LogPath from registry '%s'", szLogKey);
        if (!ReadOldValue(szLogKey, "LogPath", szLogPath))
            return FALSE;
    }
    TraceText(kFunction, "LogPath = '%s'", szLogPath);
    return NewQm(fields.szName, defaults.szPrefix, fields.szPrefix, fields.szDirectory, defaults.szLogPath,
                 szLogPath, fields.szInstallation, TRUE) &&
           bResult;
}

BOOL ScanRegistry(QmDefaults& defaults) {
    TraceText(kFunction, "Scanning pre-7.1 registry for queue managers (coexisting)");
    BOOL bResult = TRUE;
    char szKey[ZEB_CCH_MSG];
    snprintf(szKey, sizeof(szKey), "%s\\AllQueueManagers", kConfigKey);
    if (!ReadOldValue(szKey, "DefaultPrefix", defaults.szPrefix)) {
        defaults.szPrefix[0] = '\0';
        bResult = FALSE;
    }
    snprintf(szKey, sizeof(szKey), "%s\\LogDefaults", kConfigKey);
    if (!ReadOldValue(szKey, "LogDefaultPath", defaults.szLogPath)) {
        defaults.szLogPath[0] = '\0';
        bResult = FALSE;
    }

    char szQmKey[ZEB_CCH_MSG];
    snprintf(szQmKey, sizeof(szQmKey), "%s\\QueueManager", kConfigKey);
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, szQmKey, 0,
                             KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_32KEY, hKey.Out());
    if (lRc == ERROR_ACCESS_DENIED) {
        TraceText(kFunction, "Key '%s' access denied", szQmKey);
        return bResult;
    }
    if (lRc == ERROR_FILE_NOT_FOUND) {
        TraceText(kFunction, "Key '%s' not found", szQmKey);
        TraceText(kFunction, "No queue managers defined in registry");
        return bResult;
    }
    if (lRc != ERROR_SUCCESS) {
        TraceText(kFunction, "***Can't open key: '%s' %d", szQmKey, (int)lRc);
        return FALSE;
    }
    for (DWORD dwIndex = 0;; dwIndex++) {
        char szSubkey[ZEB_CCH_PATH];
        DWORD cchSubkey = sizeof(szSubkey);
        lRc = RegEnumKeyExA(hKey.Get(), dwIndex, szSubkey, &cchSubkey, NULL, NULL, NULL, NULL);
        if (lRc == ERROR_NO_MORE_ITEMS)
            break;
        if (lRc != ERROR_SUCCESS) {
            TraceText(kFunction, "***Can't enumerate key: '%s' %d, index %d", szQmKey, (int)lRc,
                      (int)dwIndex);
            return FALSE;
        }
        char szOneKey[2 * ZEB_CCH_MSG];
        snprintf(szOneKey, sizeof(szOneKey), "%s\\%s", szQmKey, szSubkey);
        bResult = ScanOneRegistryQm(szOneKey, defaults) && bResult;
    }
    return bResult;
}

// ---- hxs.ini -----------------------------------------------------------------------------------

BOOL AddIniQm(QmFields& fields, const QmDefaults& defaults, LPCSTR pszLogPath) {
    BOOL bResult = TRUE;
    if (fields.bPending)
        bResult = NewQm(fields.szName, defaults.szPrefix, fields.szPrefix, fields.szDirectory,
                        defaults.szLogPath, pszLogPath, fields.szInstallation, FALSE);
    ClearFields(fields);
    return bResult;
}

void TakeQmKey(QmFields& fields, LPCSTR pszKey, LPCSTR pszValue) {
    fields.bPending = TRUE;
    if (_stricmp(pszKey, "Name") == 0)
        TakeValue(fields.szName, pszValue);
    else if (_stricmp(pszKey, "Prefix") == 0)
        TakeValue(fields.szPrefix, pszValue);
    else if (_stricmp(pszKey, "Directory") == 0)
        TakeValue(fields.szDirectory, pszValue);
    else if (_stricmp(pszKey, "InstallationName") == 0)
        TakeValue(fields.szInstallation, pszValue);
}

BOOL ScanIni(LPCSTR pszIni, QmDefaults& defaults) {
    TraceText(kFunction, "Scanning '%s' for queue managers", pszIni);
    ZebFile fp(fopen(pszIni, "rt"));
    if (!fp.IsValid()) {
        TraceText(kFunction, "***Can't open '%s'", pszIni);
        return FALSE;
    }
    BOOL bResult = TRUE;
    Stanza stanza = kOtherStanza;
    QmFields fields;
    ClearFields(fields);
    char szLine[ZEB_CCH_MSG];
    char szWord[ZEB_CCH_MSG];
    char szValue[ZEB_CCH_MSG];
    while (ReadLine(fp.Get(), szLine)) {
        switch (ClassifyLine(szLine, szWord, szValue)) {
        case kHeaderLine:
            if (stanza == kQueueManager)
                bResult = AddIniQm(fields, defaults, NULL) && bResult;
            stanza = StanzaOf(szWord);
            break;
        case kKeyLine:
            if (stanza == kQueueManager)
                TakeQmKey(fields, szWord, szValue);
            else if (stanza == kAllQueueManagers && _stricmp(szWord, "DefaultPrefix") == 0)
                SetDefault(defaults.szPrefix, "DefaultPrefix", szValue);
            else if (stanza == kLogDefaults && _stricmp(szWord, "LogDefaultPath") == 0)
                SetDefault(defaults.szLogPath, "LogDefaultPath", szValue);
            break;
        case kSkipLine:
            break;
        }
    }
    if (ferror(fp.Get())) {
        TraceText(kFunction, "***Can't read '%s'", pszIni);
        bResult = FALSE;
    }
    return AddIniQm(fields, defaults, NULL) && bResult;
}

// ---- Config.reg --------------------------------------------------------------------------------

LPCSTR FindNoCase(LPCSTR pszText, LPCSTR pszPart) {
    size_t cchPart = strlen(pszPart);
    for (LPCSTR p = pszText; *p != '\0'; p++) {
        if (_strnicmp(p, pszPart, cchPart) == 0)
            return p;
    }
    return NULL;
}

// A section line of the export names a stanza, and for a queue manager its key.
BOOL ReadSection(LPCSTR pszLine, Stanza* pStanza, char (&szKey)[ZEB_CCH_MSG], BOOL* pbQmKey) {
    static const char kMarker[] = "\\configuration\\";
    if (FindNoCase(pszLine, "[hkey") == NULL)
        return FALSE;
    LPCSTR pszAfter = FindNoCase(pszLine, kMarker);
    if (pszAfter == NULL)
        return FALSE;
    char szText[ZEB_CCH_MSG];
    lstrcpynA(szText, pszAfter + strlen(kMarker), sizeof(szText));
    szText[strcspn(szText, "]")] = '\0';
    *pbQmKey = FALSE;
    LPSTR pszSlash = strrchr(szText, '\\');
    if (pszSlash == NULL) {
        *pStanza = StanzaOf(szText);
        return TRUE;
    }
    *pszSlash = '\0';
    BOOL bQueueManager = _stricmp(szText, "QueueManager") == 0;
    *pStanza = bQueueManager ? kQueueManager : kOtherStanza;
    if (bQueueManager || _stricmp(szText, "Services") == 0) {
        lstrcpynA(szKey, pszSlash + 1, sizeof(szKey));
        *pbQmKey = TRUE;
    }
    return TRUE;
}

// A value line "name"="value": the value of a name sought, its escapes undone by normalising.
BOOL ReadRegValue(LPCSTR pszLine, LPCSTR pszName, char (&szValue)[ZEB_CCH_MSG]) {
    LPCSTR p = pszLine + strspn(pszLine, kBlanks);
    size_t cchName = strlen(pszName);
    if (p[0] != '"' || _strnicmp(p + 1, pszName, cchName) != 0 || p[1 + cchName] != '"')
        return FALSE;
    size_t iStart = 1 + cchName + 3;
    if (iStart > strlen(p))
        iStart = strlen(p);
    lstrcpynA(szValue, p + iStart, sizeof(szValue));
    LPSTR pszQuote = strrchr(szValue, '"');
    if (pszQuote != NULL)
        *pszQuote = '\0';
    NormalizePath(FALSE, szValue);
    return TRUE;
}

BOOL ScanConfigReg(LPCSTR pszFile, QmDefaults& defaults) {
    TraceText(kFunction, "Scanning '%s' for queue managers", pszFile);
    ZebFile fp(fopen(pszFile, "rt"));
    if (!fp.IsValid()) {
        TraceText(kFunction, "***Can't open '%s'", pszFile);
        return FALSE;
    }
    BOOL bResult = TRUE;
    Stanza stanza = kOtherStanza;
    QmFields fields;
    ClearFields(fields);
    char szCurrentKey[ZEB_CCH_MSG] = "";
    BOOL bHaveKey = FALSE;
    char szLine[ZEB_CCH_MSG];
    char szValue[ZEB_CCH_MSG];
    while (ReadLine(fp.Get(), szLine)) {
        if (szLine[0] == ';' || szLine[0] == '#')
            continue;
        char szKey[ZEB_CCH_MSG];
        BOOL bQmKey;
        if (ReadSection(szLine, &stanza, szKey, &bQmKey)) {
            if (bQmKey && (!bHaveKey || _stricmp(szKey, szCurrentKey) != 0)) {
                bResult = AddIniQm(fields, defaults, "") && bResult;
                lstrcpynA(szCurrentKey, szKey, sizeof(szCurrentKey));
                bHaveKey = TRUE;
            }
            continue;
        }
        if (szLine[strspn(szLine, kBlanks)] != '"')
            continue;
        if (stanza == kQueueManager && bHaveKey) {
            fields.bPending = TRUE;
            if (ReadRegValue(szLine, "name", szValue))
                TakeValue(fields.szName, szValue);
            else if (ReadRegValue(szLine, "installationname", szValue))
                TakeValue(fields.szInstallation, szValue);
            else if (ReadRegValue(szLine, "prefix", szValue))
                TakeValue(fields.szPrefix, szValue);
            else if (ReadRegValue(szLine, "directory", szValue))
                TakeValue(fields.szDirectory, szValue);
        } else if (stanza == kAllQueueManagers && ReadRegValue(szLine, "defaultprefix", szValue)) {
            SetDefault(defaults.szPrefix, "DefaultPrefix", szValue);
        } else if (stanza == kLogDefaults && ReadRegValue(szLine, "logdefaultpath", szValue)) {
            SetDefault(defaults.szLogPath, "LogDefaultPath", szValue);
        }
    }
    if (ferror(fp.Get())) {
        TraceText(kFunction, "***Can't read '%s'", pszFile);
        bResult = FALSE;
    }
    return AddIniQm(fields, defaults, "") && bResult;
}

// The file's path in the folder, when it fits a path.
BOOL FileIn(char (&szPath)[ZEB_CCH_PATH], LPCSTR pszFolder, LPCSTR pszSub, LPCSTR pszName) {
    int cch = pszSub != NULL ? snprintf(szPath, sizeof(szPath), "%s\\%s\\%s", pszFolder, pszSub, pszName)
                             : snprintf(szPath, sizeof(szPath), "%s\\%s", pszFolder, pszName);
    if (cch < 0 || cch >= (int)sizeof(szPath)) {
        szPath[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL isuGetLogDirFromIni(LPCSTR pszQmIni, char (&szLogPath)[ZEB_CCH_MSG]) {
    static const char kIniFunction[] = "isuGetLogDirFromIni";
    szLogPath[0] = '\0';
    if (!FileExists(pszQmIni)) {
        TraceText(kIniFunction, "***Can't find '%s'", pszQmIni);
        return FALSE;
    }
    ZebFile fp(fopen(pszQmIni, "rt"));
    if (!fp.IsValid()) {
        TraceText(kIniFunction, "***Can't open '%s'", pszQmIni);
        return FALSE;
    }
    TraceText(kIniFunction, "Scanning '%s'", pszQmIni);
    BOOL bInLog = FALSE;
    char szLine[ZEB_CCH_MSG];
    char szWord[ZEB_CCH_MSG];
    char szValue[ZEB_CCH_MSG];
    while (szLogPath[0] == '\0' && ReadLine(fp.Get(), szLine)) {
        LineKind kind = ClassifyLine(szLine, szWord, szValue);
        if (kind == kHeaderLine)
            bInLog = _stricmp(szWord, "Log") == 0;
        else if (kind == kKeyLine && bInLog && _stricmp(szWord, "LogPath") == 0)
            TakeValue(szLogPath, szValue);
    }
    if (szLogPath[0] == '\0')
        TraceText(kIniFunction, "No logpath found");
    return TRUE;
}

BOOL isuBuildQmList(LPCSTR pszDataFolder) {
    isuFreeQmList();
    SetQmDataFolder(pszDataFolder);
    LPCSTR pszFolder = isuQmDataFolder();
    QmDefaults defaults;
    memset(&defaults, 0, sizeof(defaults));
    BOOL bResult = ScanRegistry(defaults);

    // With no data folder the files would be looked for in the drive's root.
    char szFile[ZEB_CCH_PATH] = "";
    BOOL bFound = FALSE;
    if (pszFolder[0] != '\0') {
        static const LPCSTR kSubfolders[] = {NULL, "config"};
        for (LPCSTR pszSub : kSubfolders) {
            if (FileIn(szFile, pszFolder, pszSub, "HXS.INI") && FileExists(szFile)) {
                bFound = TRUE;
                break;
            }
            TraceText(kFunction, "No .ini file '%s'", szFile);
        }
    }
    if (bFound) {
        bResult = ScanIni(szFile, defaults) && bResult;
        TraceText(kFunction, "Got qmgrs from HXS.INI - Ignoring possible CONFIG.REG");
        return bResult;
    }
    if (pszFolder[0] == '\0') {
        TraceText(kFunction, "No data folder");
        return bResult;
    }
    if (!FileIn(szFile, pszFolder, "config", "Config.reg") || !FileExists(szFile)) {
        TraceText(kFunction, "No configuration file '%s'", szFile);
        return bResult;
    }
    return ScanConfigReg(szFile, defaults) && bResult;
}
