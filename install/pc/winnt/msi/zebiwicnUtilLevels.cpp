// Maintenance levels of an installation, and the name and description saved in the data folder's
// LastInstall.reg (read with the registry-export and initialisation-file reader).
#include "zebiwicnUtil.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kNoLevel[] = "0.0.0.0";
const char kMaintPrefix[] = "Maint";
const size_t kCchMaintPrefix = sizeof(kMaintPrefix) - 1;

// A level "0.0.M.F" of maintenance text "M.F". Cut, it still compares as the same number fields.
typedef char Level[ZEB_CCH_PATH];

void FormLevel(Level& level, LPCSTR pszModFix) {
    snprintf(level, sizeof(level), "0.0.%s", pszModFix);
}

void CopyLevel(Level& to, const Level& from) {
    memcpy(to, from, sizeof(to));
}

// Modification and fix of a level, each in a buffer of its own.
struct ModFix {
    char szMod[ZEB_CCH_LEVEL];
    char szFix[ZEB_CCH_LEVEL];
    explicit ModFix(LPCSTR pszLevel) {
        lstrcpynA(szMod, DottedVersionField(pszLevel, 3), sizeof(szMod));
        lstrcpynA(szFix, DottedVersionField(pszLevel, 4), sizeof(szFix));
    }
};

void Put(char (*pszOut)[ZEB_CCH_LEVEL], LPCSTR pszText) {
    if (pszOut != NULL)
        lstrcpynA(*pszOut, pszText, ZEB_CCH_LEVEL);
}

BOOL IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text after "=" with the blanks around it removed. In a registry export (bQuoted) the value
// is the quoted string with the writer's escapes (\\, \" and \') undone, so that a saved
// "Joe's QM" comes back as it was; in an initialisation file the enclosing quotes are removed and
// doubled backslashes folded, a leading one of a network path kept.
void TidyFileValue(LPSTR pszText, BOOL bQuoted) {
    size_t iStart = 0;
    while (IsBlank(pszText[iStart]))
        iStart++;
    size_t cch = strlen(pszText + iStart);
    memmove(pszText, pszText + iStart, cch + 1);
    while (cch > 0 && IsBlank(pszText[cch - 1]))
        pszText[--cch] = '\0';

    BOOL bOpened = pszText[0] == '"';
    size_t iOut = 0;
    for (size_t i = bOpened ? 1 : 0; i < cch; i++) {
        char c = pszText[i];
        char cNext = i + 1 < cch ? pszText[i + 1] : '\0';
        if (c == '\\' &&
            ((cNext == '\\' && (bQuoted || iOut > 0)) || (bQuoted && (cNext == '"' || cNext == '\'')))) {
            pszText[iOut++] = cNext;
            i++;
            continue;
        }
        if (c == '"' && bOpened && (bQuoted || i == cch - 1))
            break;
        pszText[iOut++] = c;
    }
    pszText[iOut] = '\0';
}

} // namespace

BOOL icsGetMaintenanceLevels(LPCSTR pszRoot, LPCSTR pszName, char (*pszShippedMod)[ZEB_CCH_LEVEL],
                             char (*pszShippedFix)[ZEB_CCH_LEVEL], char (*pszPreviousMod)[ZEB_CCH_LEVEL],
                             char (*pszPreviousFix)[ZEB_CCH_LEVEL], char (*pszLatestMod)[ZEB_CCH_LEVEL],
                             char (*pszLatestFix)[ZEB_CCH_LEVEL], char (*pszRollBack)[ZEB_CCH_PATH]) {
    static const char kFunction[] = "icsGetMaintenanceLevels";
    char(*const apszOuts[])[ZEB_CCH_LEVEL] = {pszShippedMod,  pszShippedFix, pszPreviousMod,
                                              pszPreviousFix, pszLatestMod,  pszLatestFix};
    for (char(*pszOut)[ZEB_CCH_LEVEL] : apszOuts)
        Put(pszOut, "");
    if (pszRollBack != NULL)
        (*pszRollBack)[0] = '\0';

    char szKey[ZEB_CCH_MSG];
    int cchKey = snprintf(szKey, sizeof(szKey), "%s\\%s", pszRoot, pszName);
    if (cchKey < 0 || cchKey >= (int)sizeof(szKey)) {
        TraceText(kFunction, "***Key name too long '%s\\%s'", pszRoot, pszName);
        return FALSE;
    }
    char szVrmf[ZEB_CCH_VRMF];
    if (GetRegistryText(szKey, "VRMF", szVrmf, sizeof(szVrmf), FALSE)) {
        char aszField[4][ZEB_CCH_LEVEL];
        for (int i = 0; i < 4; i++)
            lstrcpynA(aszField[i], DottedVersionField(szVrmf, i + 1), sizeof(aszField[i]));
        TraceText(kFunction, "Registry VRMF is '%s.%s.%s.%s' (%s)", aszField[0], aszField[1], aszField[2],
                  aszField[3], szVrmf);
    }

    Level latest, previous, shipped;
    lstrcpynA(latest, kNoLevel, sizeof(latest));
    lstrcpynA(previous, kNoLevel, sizeof(previous));
    lstrcpynA(shipped, kNoLevel, sizeof(shipped));
    char szRollBack[ZEB_CCH_PATH] = "";
    BOOL bResult = TRUE;

    char szMaintKey[ZEB_CCH_MSG];
    int cchMaintKey = snprintf(szMaintKey, sizeof(szMaintKey), "%s\\Maintenance Applied", szKey);
    ZebRegKey hKey;
    LONG lRc = cchMaintKey < 0 || cchMaintKey >= (int)sizeof(szMaintKey)
                   ? ERROR_FILE_NOT_FOUND
                   : RegOpenKeyExA(HKEY_LOCAL_MACHINE, szMaintKey, 0, KEY_READ, hKey.Out());
    if (lRc != ERROR_SUCCESS && lRc != ERROR_FILE_NOT_FOUND) {
        TraceText(kFunction, "***Open key error %d '%s'", (int)lRc, szMaintKey);
        bResult = FALSE;
    }
    if (lRc == ERROR_SUCCESS) {
        DWORD cchMaxName = 0;
        DWORD cbMaxData = 0;
        lRc = RegQueryInfoKeyA(hKey.Get(), NULL, NULL, NULL, NULL, NULL, NULL, NULL, &cchMaxName, &cbMaxData,
                               NULL, NULL);
        ZebHeap<char> name(lRc == ERROR_SUCCESS ? (char*)malloc((size_t)cchMaxName + 1) : NULL);
        ZebHeap<BYTE> data(name.IsValid() ? (BYTE*)malloc((size_t)cbMaxData + 1) : NULL);
        if (lRc != ERROR_SUCCESS) {
            TraceText(kFunction, "***Can't query key info %d", (int)lRc);
            bResult = FALSE;
        } else if (!name.IsValid()) {
            TraceText(kFunction, "***Unable to allocate value name buffer %d", (int)cchMaxName + 1);
            bResult = FALSE;
        } else if (!data.IsValid()) {
            TraceText(kFunction, "***Unable to allocate value data buffer %d", (int)cbMaxData + 1);
            bResult = FALSE;
        } else {
            for (DWORD dwIndex = 0;; dwIndex++) {
                DWORD cchName = cchMaxName + 1;
                DWORD cbData = cbMaxData; // one byte kept for a terminator the value may lack
                DWORD dwType = REG_NONE;
                lRc = RegEnumValueA(hKey.Get(), dwIndex, name.Get(), &cchName, NULL, &dwType, data.Get(),
                                    &cbData);
                if (lRc == ERROR_NO_MORE_ITEMS)
                    break;
                if (lRc != ERROR_SUCCESS) {
                    TraceText(kFunction, "***Can't enumerate Key values: '%s' %d", szMaintKey, (int)lRc);
                    bResult = FALSE;
                    break;
                }
                if (dwType != REG_SZ && dwType != REG_EXPAND_SZ)
                    continue;
                LPCSTR pszName = name.Get();
                LPSTR pszData = (LPSTR)data.Get();
                pszData[cbData] = '\0';
                TraceText(kFunction, "Found %s value named '%s'", kMaintPrefix, pszName);
                TraceText(kFunction, " - value '%s'", pszData);

                Level level;
                if (_stricmp(pszName, "Shipped") == 0) {
                    TraceText(kFunction, "Shipped maintenance level is '%s'", pszData);
                    FormLevel(shipped, pszData);
                    if (CompareDottedVersions(shipped, latest) > 0)
                        CopyLevel(latest, shipped);
                    if (CompareDottedVersions(shipped, previous) > 0)
                        CopyLevel(previous, shipped);
                } else if (_strnicmp(pszName, kMaintPrefix, kCchMaintPrefix) == 0) {
                    // The level follows "Maint" and one separator; a name without it has none.
                    if (strlen(pszName) <= kCchMaintPrefix + 1) {
                        TraceText(kFunction, "Ignoring value '%s': no maintenance level in its name",
                                  pszName);
                        continue;
                    }
                    FormLevel(level, pszName + kCchMaintPrefix + 1);
                    ModFix modFix(level);
                    char szValid[ZEB_CCH_PATH];
                    if (MakeFilePath(szValid, pszData, "Valid.csd") && FileExists(szValid)) {
                        TraceText(kFunction, "Maintenance level '%s.%s' is installed", modFix.szMod,
                                  modFix.szFix);
                        if (CompareDottedVersions(level, latest) > 0) {
                            if (CompareDottedVersions(latest, previous) > 0)
                                CopyLevel(previous, latest);
                            CopyLevel(latest, level);
                            lstrcpynA(szRollBack, pszData, sizeof(szRollBack));
                        } else if (CompareDottedVersions(level, latest) < 0 &&
                                   CompareDottedVersions(level, previous) > 0) {
                            CopyLevel(previous, level);
                        }
                    } else {
                        TraceText(kFunction, "Maintenance level '%s.%s' is not currently installed",
                                  modFix.szMod, modFix.szFix);
                    }
                }
            }
        }
    }

    if (CompareDottedVersions(latest, kNoLevel) <= 0) {
        szRollBack[0] = '\0';
        if (CompareDottedVersions(shipped, latest) <= 0)
            TraceText(kFunction, "No service applied");
        else
            CopyLevel(latest, shipped);
    }
    ModFix latestModFix(latest), previousModFix(previous), shippedModFix(shipped);
    TraceText(kFunction, "Latest maintenance level is '%s.%s'", latestModFix.szMod, latestModFix.szFix);
    TraceText(kFunction, "RollBack value is '%s'", szRollBack);
    TraceText(kFunction, "Previous maintenance level is '%s.%s'", previousModFix.szMod, previousModFix.szFix);
    TraceText(kFunction, "Shipped maintenance level is '%s.%s'", shippedModFix.szMod, shippedModFix.szFix);

    Put(pszShippedMod, shippedModFix.szMod);
    Put(pszShippedFix, shippedModFix.szFix);
    Put(pszPreviousMod, previousModFix.szMod);
    Put(pszPreviousFix, previousModFix.szFix);
    Put(pszLatestMod, latestModFix.szMod);
    Put(pszLatestFix, latestModFix.szFix);
    if (pszRollBack != NULL)
        lstrcpynA(*pszRollBack, szRollBack, ZEB_CCH_PATH);
    return bResult;
}

void GetPreviousInstallationDetails(char (&szName)[ZEB_CCH_INSTNAME],
                                    char (&szDescription)[ZEB_CCH_INSTDESC]) {
    static const char kFunction[] = "GetPreviousInstallationDetails";
    TraceText(kFunction, "Looking for saved registry DataPath information");
    szName[0] = '\0';
    szDescription[0] = '\0';
    char szDataFolder[ZEB_CCH_PATH];
    TraceText(kFunction, "Checking 32 bit workpath");
    GetRegistryText(ZEB_KEY_PRODUCT, "WorkPath", szDataFolder, sizeof(szDataFolder), TRUE);
    if (szDataFolder[0] == '\0') {
        TraceText(kFunction, "Not found... now checking 64 bit workpath");
        GetRegistryText(ZEB_KEY_PRODUCT, "WorkPath", szDataFolder, sizeof(szDataFolder), FALSE);
    }
    NormalizePath(TRUE, szDataFolder);
    if (szDataFolder[0] == '\0') {
        TraceText(kFunction, "No registry datapath => no cached config file");
        return;
    }
    char szFile[ZEB_CCH_PATH];
    int cch = snprintf(szFile, sizeof(szFile), "%sConfig\\LastInstall.reg", szDataFolder);
    if (cch < 0 || cch >= (int)sizeof(szFile) || !FileExists(szFile)) {
        TraceText(kFunction, "File %sConfig\\LastInstall.reg doesnt exist", szDataFolder);
        return;
    }

    char szValue[ZEB_CCH_PATH];
    GetStringFromRegFile(szFile, "Name", szValue, TRUE);
    if (szValue[0] == '\0') {
        TraceText(kFunction, "No LastInstall.reg previous name");
        return;
    }
    // The file is outside the registry's care: a name the name rule refuses would reach keys,
    // the service name and command lines.
    if (iwiIsInstallNameInvalid(szValue) || IsReservedInstallName(szValue)) {
        TraceText(kFunction,
                  "***LastInstall.reg previous name '%s' is not a valid installation name; ignored", szValue);
        return;
    }
    lstrcpynA(szName, szValue, sizeof(szName));
    TraceText(kFunction, "Using LastInstall.reg previous name of '%s'", szName);
    TraceText(kFunction,
              "From v8.0 we no longer use LastInstall.reg value to set FilePath (property iwiLASTPGMFOLDER)");
    GetStringFromRegFile(szFile, "Description", szValue, TRUE);
    lstrcpynA(szDescription, szValue, sizeof(szDescription));
    if (szDescription[0] != '\0')
        TraceText(kFunction, "Using LastInstall.reg previous desc of '%s'", szDescription);
    else
        TraceText(kFunction, "No LastInstall.reg previous desc");
}

BOOL GetStringFromRegFile(LPCSTR pszFile, LPCSTR pszName, char (&szValue)[ZEB_CCH_PATH], BOOL bQuoted) {
    static const char kFunction[] = "GetStringFromRegFile";
    szValue[0] = '\0';
    TraceText(kFunction, "Looking for %s in '%s'(%d)", pszName, pszFile, bQuoted ? 1 : 0);

    char szKey[ZEB_CCH_MSG];
    int cchKey = bQuoted ? snprintf(szKey, sizeof(szKey), "\"%s\"=", pszName)
                         : snprintf(szKey, sizeof(szKey), "%s", pszName);
    if (cchKey < 0 || cchKey >= (int)sizeof(szKey)) {
        TraceText(kFunction, "Value is not found.");
        return TRUE;
    }
    if (!bQuoted) {
        for (LPSTR p = szKey; *p != '\0'; p++)
            *p = (char)tolower((unsigned char)*p);
    }

    if (!FileExists(pszFile)) {
        TraceText(kFunction, "Can't find '%s'", pszFile);
        TraceText(kFunction, "Value is not found.");
        return TRUE;
    }
    ZebFile fp(fopen(pszFile, "rN"));
    if (!fp.IsValid()) {
        TraceText(kFunction, "***Can't open '%s'", pszFile);
        return FALSE;
    }
    TraceText(kFunction, "Scanning '%s'", pszFile);

    char szLine[ZEB_CCH_MSG];
    while (szValue[0] == '\0' && fgets(szLine, sizeof(szLine), fp.Get()) != NULL) {
        szLine[strcspn(szLine, "\r")] = '\0';
        szLine[strcspn(szLine, "\n")] = '\0';
        if (szLine[0] == ';' || szLine[0] == '#')
            continue;
        char szLower[ZEB_CCH_MSG];
        LPCSTR pszSearched = szLine;
        if (!bQuoted) {
            size_t i = 0;
            for (; szLine[i] != '\0'; i++)
                szLower[i] = (char)tolower((unsigned char)szLine[i]);
            szLower[i] = '\0';
            pszSearched = szLower;
        }
        LPCSTR pszAt = strstr(pszSearched, szKey);
        if (pszAt == NULL)
            continue;
        LPCSTR pszEquals = strchr(szLine + (pszAt - pszSearched), '=');
        if (pszEquals == NULL)
            continue;
        char szFound[ZEB_CCH_MSG];
        lstrcpynA(szFound, pszEquals + 1, sizeof(szFound));
        TidyFileValue(szFound, bQuoted);
        if (strlen(szFound) >= sizeof(szValue)) {
            // A cut value would name another folder.
            TraceText(kFunction, "***Value of %s too long (%d characters) in '%s'", pszName,
                      (int)strlen(szFound), pszFile);
            continue;
        }
        lstrcpynA(szValue, szFound, sizeof(szValue));
    }
    if (szValue[0] != '\0')
        TraceText(kFunction, "Result is '%s'", szValue);
    else
        TraceText(kFunction, "Value is not found.");
    return TRUE;
}
