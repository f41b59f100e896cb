// Response-file settings: the stanza table read from the file USEINI names, and the two lookups
// that fall back to it when the property or feature list does not answer.
#include "zebilogn.h"
#include "zebhold.h"
#include "zebicson.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kBuildFunction[] = "iwiBuildIniTable";
const char kResponseStanza[] = "Response";

struct IniEntry {
    IniEntry* pNext;
    char* pszKeyword;
    char* pszValue;
};

struct IniStanza {
    IniStanza* pNext;
    IniEntry* pEntries;
    char* pszName;
};

// The feature-list properties in the order the feature lookup consults them.
enum FeatureList { kAddLocal, kRemove, kAddSource, kAddDefault, kReinstall, kAdvertise, kFeatureLists };
const struct {
    LPCSTR pszName;
    int iState; // the state a list naming the feature gives
} kListProperties[kFeatureLists] = {
    {PROP_ADDLOCAL, INSTALLSTATE_LOCAL},   {PROP_REMOVE, INSTALLSTATE_ABSENT},
    {PROP_ADDSOURCE, INSTALLSTATE_SOURCE}, {PROP_ADDDEFAULT, INSTALLSTATE_DEFAULT},
    {PROP_REINSTALL, INSTALLSTATE_LOCAL},  {PROP_ADVERTISE, INSTALLSTATE_ADVERTISED},
};

struct IniState {
    IniStanza* pStanzas; // the last stanza of the file first
    BOOL bTableBuilt;
    BOOL bNoFile; // USEINI was empty: no lookup of this copy reads a file
    BOOL bUseIniRead;
    char szUseIni[ZEB_CCH_PATH];
    BOOL bListsRead;
    char aszLists[kFeatureLists][ZEB_CCH_FEATURELIST];
};
IniState g_ini;

BOOL IsBlank(char c) {
    return c == ' ' || c == '\t';
}

LPSTR TrimBlanks(LPSTR psz) {
    while (IsBlank(*psz))
        psz++;
    size_t cch = strlen(psz);
    while (cch > 0 && IsBlank(psz[cch - 1]))
        psz[--cch] = '\0';
    return psz;
}

// A copy on the heap, or NULL.
char* Duplicate(LPCSTR psz) {
    size_t cb = strlen(psz) + 1;
    char* p = (char*)malloc(cb);
    if (p != NULL)
        memcpy(p, psz, cb);
    return p;
}

void FreeStanza(IniStanza* pStanza) {
    while (pStanza->pEntries != NULL) {
        IniEntry* pEntry = pStanza->pEntries;
        pStanza->pEntries = pEntry->pNext;
        free(pEntry->pszKeyword);
        free(pEntry->pszValue);
        free(pEntry);
    }
    free(pStanza->pszName);
    free(pStanza);
}

// A line holds at least what the response-file writer puts on one (a feature list of up to 2047
// characters with its keyword and quotes), so a file this library wrote reads back whole. A longer
// line is reported whole, never parsed in pieces whose tail could pass for a setting.
const size_t kCchIniLine = ZEB_CCH_FEATURELIST + 64;

// FALSE at the end of the file.
BOOL ReadLine(FILE* fp, char (&szLine)[kCchIniLine], BOOL* pbTooLong) {
    size_t cch = 0;
    *pbTooLong = FALSE;
    int c = fgetc(fp);
    if (c == EOF)
        return FALSE;
    for (; c != EOF && c != '\n'; c = fgetc(fp)) {
        if (cch + 1 < sizeof(szLine))
            szLine[cch++] = (char)c;
        else
            *pbTooLong = TRUE;
    }
    szLine[cch] = '\0';
    return TRUE;
}

// A value with "%" references has them expanded into a new buffer; NULL after a traced failure.
char* ExpandValue(LPCSTR pszValue) {
    DWORD cchBuffer = (DWORD)strlen(pszValue) + 128;
    for (int iTry = 0; iTry < 2; iTry++) {
        ZebHeap<char> expanded((char*)malloc(cchBuffer));
        if (!expanded.IsValid()) {
            TraceText(kBuildFunction, "***Can't allocate memory for expanded variables in '%s'", pszValue);
            return NULL;
        }
        DWORD cchNeeded = ExpandEnvironmentStringsA(pszValue, expanded.Get(), cchBuffer);
        if (cchNeeded == 0) {
            TraceText(kBuildFunction, "***Unable to expand environment strings (code %d) for '%s'",
                      (int)GetLastError(), pszValue);
            return NULL;
        }
        if (cchNeeded <= cchBuffer)
            return expanded.Detach();
        cchBuffer = cchNeeded;
    }
    // The environment grew between the two calls.
    TraceText(kBuildFunction, "***Unable to expand environment strings (code %d) for '%s'",
              (int)ERROR_MORE_DATA, pszValue);
    return NULL;
}

void TraceLineError(LPCSTR pszError) {
    TraceText(kBuildFunction, "***%s", pszError);
}

// Opens a stanza: it goes to the front, so the last stanza of a name is the one found.
BOOL AddStanza(LPCSTR pszName) {
    ZebHeap<IniStanza> stanza((IniStanza*)calloc(1, sizeof(IniStanza)));
    char* pszCopy = stanza.IsValid() ? Duplicate(pszName) : NULL;
    if (pszCopy == NULL) {
        TraceText(kBuildFunction, "***Can't allocate memory for stanza '%s'", pszName);
        return FALSE;
    }
    IniStanza* pStanza = stanza.Detach();
    pStanza->pszName = pszCopy;
    pStanza->pNext = g_ini.pStanzas;
    g_ini.pStanzas = pStanza;
    return TRUE;
}

// Stores a setting at the front of the current stanza, expanding its value first.
BOOL AddEntry(LPCSTR pszKeyword, LPCSTR pszValue) {
    ZebHeap<char> value(strchr(pszValue, '%') != NULL ? ExpandValue(pszValue) : Duplicate(pszValue));
    if (!value.IsValid()) {
        if (strchr(pszValue, '%') == NULL)
            TraceText(kBuildFunction, "***Can't allocate memory for keyword '%s'", pszKeyword);
        return FALSE;
    }
    ZebHeap<IniEntry> entry((IniEntry*)calloc(1, sizeof(IniEntry)));
    char* pszKeywordCopy = entry.IsValid() ? Duplicate(pszKeyword) : NULL;
    if (pszKeywordCopy == NULL) {
        TraceText(kBuildFunction, "***Can't allocate memory for keyword '%s'", pszKeyword);
        return FALSE;
    }
    IniEntry* pEntry = entry.Detach();
    pEntry->pszKeyword = pszKeywordCopy;
    pEntry->pszValue = value.Detach();
    pEntry->pNext = g_ini.pStanzas->pEntries;
    g_ini.pStanzas->pEntries = pEntry;
    return TRUE;
}

// Parses one line. FALSE when it is an error line; settings are stored only while bStore.
BOOL ParseLine(LPSTR pszRaw, BOOL bStore) {
    pszRaw[strcspn(pszRaw, "\r")] = '\0';
    pszRaw[strcspn(pszRaw, "\n")] = '\0';
    LPSTR pszLine = TrimBlanks(pszRaw);
    if (pszLine[0] == '\0' || pszLine[0] == ';' || pszLine[0] == '#')
        return TRUE;

    if (pszLine[0] == '[') {
        LPSTR pszName = pszLine + 1;
        pszName[strcspn(pszName, "]")] = '\0';
        BOOL bOk = TRUE;
        if (pszName[0] == '\0') {
            TraceLineError("No stanza name");
            bOk = FALSE;
        }
        return AddStanza(pszName) && bOk;
    }

    BOOL bOk = TRUE;
    char szSwitch[3] = "-";
    LPSTR pszKeyword;
    LPSTR pszValue;
    LPSTR pszEquals = strchr(pszLine, '=');
    if (pszEquals != NULL) {
        *pszEquals = '\0';
        pszKeyword = TrimBlanks(pszLine);
        pszValue = pszEquals + 1;
    } else if (pszLine[0] == '/' || pszLine[0] == '-') {
        // "/q" and "-q" are both the keyword "-q"; a lone "/" has no value.
        szSwitch[1] = pszLine[1];
        pszKeyword = szSwitch;
        pszValue = pszLine[1] != '\0' ? pszLine + 2 : pszLine + 1;
    } else {
        TraceLineError("No parameter definition in line");
        pszKeyword = pszLine + strlen(pszLine);
        pszValue = pszKeyword;
        bOk = FALSE;
    }
    TrimBlanksAndQuotes(pszValue);

    if (pszKeyword[0] == '\0') {
        TraceLineError("No keyword in line");
        bOk = FALSE;
    }
    if (g_ini.pStanzas == NULL) {
        TraceLineError("No stanza");
        bOk = FALSE;
    }
    if (!bOk || !bStore)
        return bOk;
    return AddEntry(pszKeyword, pszValue);
}

IniStanza* FindStanza(LPCSTR pszStanza) {
    for (IniStanza* p = g_ini.pStanzas; p != NULL; p = p->pNext) {
        if (_stricmp(p->pszName, pszStanza) == 0)
            return p;
    }
    return NULL;
}

// Makes the response file's table ready for a lookup: *pbAvailable FALSE when there is no file to
// consult. A file that cannot be read as a whole shows its message and gives 1603.
UINT PrepareResponseFile(LPCSTR pszFunction, BOOL* pbAvailable) {
    *pbAvailable = FALSE;
    if (g_ini.bNoFile)
        return ZEB_RC_SUCCESS;
    if (!g_ini.bUseIniRead) {
        UINT uiStat = ZEB_RC_SUCCESS;
        if (!GetPropertyValue(FrameSession(), pszFunction, PROP_USEINI, g_ini.szUseIni,
                              sizeof(g_ini.szUseIni), &uiStat))
            return uiStat;
        NormalizePath(FALSE, g_ini.szUseIni);
        g_ini.bUseIniRead = TRUE;
    }
    if (g_ini.szUseIni[0] == '\0') {
        g_ini.bNoFile = TRUE;
        return ZEB_RC_SUCCESS;
    }
    BOOL bOpenFailed = FALSE;
    if (!iwiBuildIniTable(g_ini.szUseIni, &bOpenFailed)) {
        char szText[ZEB_CCH_MSG];
        iwiLoadNlsString(szText, bOpenFailed ? ZEB_MSG_INI_OPEN : ZEB_MSG_INI_ERROR);
        char szMessage[ZEB_CCH_MSG];
        FillPathInsert(szMessage, szText, g_ini.szUseIni);
        iiiDisplayMsgBox(szMessage, MB_ICONERROR);
        return ZEB_RC_FAILURE;
    }
    *pbAvailable = TRUE;
    return ZEB_RC_SUCCESS;
}

BOOL ListHoldsFeature(LPCSTR pszList, LPCSTR pszFeature) {
    return IsItemInList("all", pszList) || IsItemInList(pszFeature, pszList);
}

BOOL HasParent(LPCSTR pszParent) {
    return pszParent != NULL && pszParent[0] != '\0';
}

} // namespace

void FillPathInsert(char (&szOut)[ZEB_CCH_MSG], LPCSTR pszTemplate, LPCSTR pszPath) {
    size_t cch = 0;
    BOOL bFilled = FALSE;
    for (LPCSTR p = pszTemplate; *p != '\0' && cch + 1 < sizeof(szOut); p++) {
        if (p[0] == '%' && p[1] == '%') {
            szOut[cch++] = '%';
            p++;
        } else if (p[0] == '%' && p[1] == 's' && !bFilled) {
            for (LPCSTR q = pszPath; *q != '\0' && cch + 1 < sizeof(szOut); q++)
                szOut[cch++] = *q;
            bFilled = TRUE;
            p++;
        } else {
            szOut[cch++] = *p;
        }
    }
    szOut[cch] = '\0';
}

void ResetIniState(void) {
    memset(&g_ini, 0, sizeof(g_ini));
}

void FreeIniState(void) {
    while (g_ini.pStanzas != NULL) {
        IniStanza* pStanza = g_ini.pStanzas;
        g_ini.pStanzas = pStanza->pNext;
        FreeStanza(pStanza);
    }
}

BOOL iwiBuildIniTable(LPCSTR pszPath, BOOL* pbOpenFailed) {
    if (pbOpenFailed != NULL)
        *pbOpenFailed = FALSE;
    if (g_ini.bTableBuilt)
        return TRUE;
    // Built once, even when it fails: a later lookup uses what was stored without a second message.
    g_ini.bTableBuilt = TRUE;
    ZebFile fp(fopen(pszPath, "rtN"));
    if (!fp.IsValid()) {
        TraceText(kBuildFunction, "***Can't open '%s'", pszPath);
        if (pbOpenFailed != NULL)
            *pbOpenFailed = TRUE;
        return FALSE;
    }
    BOOL bOk = TRUE;
    char szLine[kCchIniLine];
    BOOL bTooLong;
    while (ReadLine(fp.Get(), szLine, &bTooLong)) {
        if (bTooLong) {
            TraceText(kBuildFunction, "***Line longer than %lu characters", (unsigned long)(kCchIniLine - 1));
            bOk = FALSE;
        } else if (!ParseLine(szLine, bOk)) {
            bOk = FALSE;
        }
    }
    if (ferror(fp.Get())) {
        TraceText(kBuildFunction, "***Can't read '%s'", pszPath);
        bOk = FALSE;
    }
    return bOk;
}

BOOL FindIniValue(BOOL bCaseSensitive, LPCSTR pszStanza, LPCSTR pszKeyword, LPCSTR* ppszValue) {
    *ppszValue = NULL;
    IniStanza* pStanza = FindStanza(pszStanza);
    if (pStanza == NULL)
        return FALSE;
    for (IniEntry* p = pStanza->pEntries; p != NULL; p = p->pNext) {
        if ((bCaseSensitive ? strcmp(p->pszKeyword, pszKeyword) : _stricmp(p->pszKeyword, pszKeyword)) == 0) {
            *ppszValue = p->pszValue;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL IsItemInList(LPCSTR pszItem, LPCSTR pszList) {
    static const char kSeparators[] = ", \t";
    size_t cchItem = strlen(pszItem);
    BOOL bItemIsAll = _stricmp(pszItem, "all") == 0;
    for (LPCSTR p = pszList; *p != '\0';) {
        size_t cchPiece = strcspn(p, kSeparators);
        if (cchPiece > 0) {
            if (cchPiece == cchItem && strncmp(p, pszItem, cchItem) == 0)
                return TRUE;
            if (bItemIsAll && cchPiece == 3 && _strnicmp(p, "all", 3) == 0)
                return TRUE;
        }
        p += cchPiece;
        p += strspn(p, kSeparators);
    }
    return FALSE;
}

UINT iwiGetIniProperty(LPCSTR pszName, char (&szValue)[ZEB_CCH_MSG], char (*pszSource)[ZEB_CCH_PATH]) {
    static const char kFunction[] = "iwiGetIniProperty";
    szValue[0] = '\0';
    if (pszSource != NULL)
        (*pszSource)[0] = '\0';
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!GetPropertyValue(FrameSession(), kFunction, pszName, szValue, sizeof(szValue), &uiStat))
        return uiStat;
    if (szValue[0] != '\0')
        return ZEB_RC_SUCCESS;

    BOOL bAvailable;
    UINT uiRc = PrepareResponseFile(kFunction, &bAvailable);
    if (uiRc != ZEB_RC_SUCCESS || !bAvailable)
        return uiRc;
    LPCSTR pszFound;
    if (!FindIniValue(TRUE, kResponseStanza, pszName, &pszFound)) {
        TraceText(kFunction, "Property '%s' not defined in response file", pszName);
        return ZEB_RC_SUCCESS;
    }
    size_t cchFound = strlen(pszFound);
    if (cchFound >= sizeof(szValue)) {
        // Refused as a property read refuses a value that does not fit.
        TraceText(kFunction, "***Property '%s' value from response file too long (%lu characters)", pszName,
                  (unsigned long)cchFound);
        return ZEB_RC_FAILURE;
    }
    TraceText(kFunction, "Property '%s', value '%s' from response file", pszName, pszFound);
    memcpy(szValue, pszFound, cchFound + 1);
    if (pszSource != NULL)
        lstrcpynA(*pszSource, g_ini.szUseIni, sizeof(*pszSource));
    return ZEB_RC_SUCCESS;
}

UINT iwiGetIniFeature(LPCSTR pszFeature, LPCSTR pszParent, int* piState) {
    static const char kFunction[] = "iwiGetIniFeature";
    *piState = ZEB_FEATURE_UNSPECIFIED;
    if (!g_ini.bListsRead) {
        for (int i = 0; i < kFeatureLists; i++) {
            UINT uiStat = ZEB_RC_SUCCESS;
            if (!GetPropertyValue(FrameSession(), kFunction, kListProperties[i].pszName, g_ini.aszLists[i],
                                  sizeof(g_ini.aszLists[i]), &uiStat))
                return uiStat;
        }
        g_ini.bListsRead = TRUE;
    }

    int iState = ZEB_FEATURE_UNSPECIFIED;
    for (int i = kAddLocal; i <= kAddDefault; i++) {
        LPCSTR pszList = g_ini.aszLists[i];
        if (ListHoldsFeature(pszList, pszFeature)) {
            iState = kListProperties[i].iState;
            TraceText(kFunction, "Feature '%s' specified in property %s", pszFeature,
                      kListProperties[i].pszName);
        } else if (i == kRemove && HasParent(pszParent) && IsItemInList(pszParent, pszList)) {
            iState = INSTALLSTATE_ABSENT;
            TraceText(kFunction, "Feature '%s' parent '%s' specified in property %s", pszFeature, pszParent,
                      kListProperties[i].pszName);
        }
    }
    if (ListHoldsFeature(g_ini.aszLists[kReinstall], pszFeature)) {
        TraceText(kFunction, "Feature '%s' specified in property %s", pszFeature, PROP_REINSTALL);
        return ZEB_RC_SUCCESS; // reinstalled as it is: nothing else is consulted
    }
    if (ListHoldsFeature(g_ini.aszLists[kAdvertise], pszFeature)) {
        iState = INSTALLSTATE_ADVERTISED;
        TraceText(kFunction, "Feature '%s' specified in property %s", pszFeature, PROP_ADVERTISE);
    }
    *piState = iState;
    if (iState != ZEB_FEATURE_UNSPECIFIED)
        return ZEB_RC_SUCCESS;

    BOOL bAvailable;
    UINT uiRc = PrepareResponseFile(kFunction, &bAvailable);
    if (uiRc != ZEB_RC_SUCCESS || !bAvailable)
        return uiRc;
    for (int i = 0; i < kFeatureLists; i++) {
        LPCSTR pszKeyword = kListProperties[i].pszName;
        LPCSTR pszValue;
        if (!FindIniValue(TRUE, kResponseStanza, pszKeyword, &pszValue))
            pszValue = "";
        TraceText(kFunction, "Response file %s value is '%s'", pszKeyword, pszValue);
        if (ListHoldsFeature(pszValue, pszFeature)) {
            iState = kListProperties[i].iState;
            TraceText(kFunction, "Feature '%s' specified in response file %s", pszFeature, pszKeyword);
        } else if (i == kRemove && HasParent(pszParent) && IsItemInList(pszParent, pszValue)) {
            iState = INSTALLSTATE_ABSENT;
            TraceText(kFunction, "Feature '%s' parent '%s' specified in response file %s", pszFeature,
                      pszParent, pszKeyword);
        }
    }
    *piState = iState;
    return ZEB_RC_SUCCESS;
}
