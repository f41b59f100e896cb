// Product levels, dotted versions and numeric text.
#include "zebicson.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace {

struct VersionState {
    char szLevel[ZEB_CCH_FLAG];
    char aszField[4][ZEB_CCH_PATH];
};
VersionState g_ver;

BOOL IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads a number as atoll does (white space, a sign, the digits up to the first other character;
// 0 when there are none), but a value beyond the range is clamped and FALSE is returned instead
// of overflowing.
BOOL ReadDecimal(LPCSTR psz, long long llMin, long long llMax, long long* pllValue) {
    while (isspace((unsigned char)*psz))
        psz++;
    BOOL bNegative = *psz == '-';
    if (*psz == '-' || *psz == '+')
        psz++;
    // Accumulated as a negative number: its range holds the magnitude of LLONG_MIN.
    long long ll = 0;
    BOOL bInRange = TRUE;
    for (; *psz >= '0' && *psz <= '9'; psz++) {
        int iDigit = *psz - '0';
        if (ll < (LLONG_MIN + iDigit) / 10) {
            ll = LLONG_MIN;
            bInRange = FALSE;
        } else {
            ll = ll * 10 - iDigit;
        }
    }
    if (!bNegative) {
        if (ll < -LLONG_MAX) {
            ll = -LLONG_MAX;
            bInRange = FALSE;
        }
        ll = -ll;
    }
    if (ll < llMin) {
        ll = llMin;
        bInRange = FALSE;
    } else if (ll > llMax) {
        ll = llMax;
        bInRange = FALSE;
    }
    *pllValue = ll;
    return bInRange;
}

int ReadInt(LPCSTR psz) {
    long long ll;
    ReadDecimal(psz, INT_MIN, INT_MAX, &ll);
    return (int)ll;
}

// The number at *ppsz, which then moves past the next separator (or to the end); 0 when the text
// has run out.
long long NextField(LPCSTR* ppsz, LPCSTR pszSeparators) {
    LPCSTR psz = *ppsz;
    if (*psz == '\0')
        return 0;
    long long ll;
    ReadDecimal(psz, LLONG_MIN, LLONG_MAX, &ll);
    psz += strcspn(psz, pszSeparators);
    if (*psz != '\0')
        psz++;
    *ppsz = psz;
    return ll;
}

void CopyText(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFrom, size_t cch) {
    if (cch >= sizeof(szOut))
        cch = sizeof(szOut) - 1;
    memcpy(szOut, pszFrom, cch);
    szOut[cch] = '\0';
}

} // namespace

void ResetVersionState(void) {
    memset(&g_ver, 0, sizeof(g_ver));
}

LPSTR HexText(LPSTR pszOut, DWORD cchOut, const BYTE* pbData, DWORD cbData) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (cchOut == 0)
        return NULL;
    if ((unsigned long long)cbData * 2 >= cchOut) {
        pszOut[0] = '\0';
        return NULL;
    }
    for (DWORD i = 0; i < cbData; i++) {
        pszOut[2 * i] = kDigits[pbData[i] >> 4];
        pszOut[2 * i + 1] = kDigits[pbData[i] & 0x0F];
    }
    pszOut[2 * (size_t)cbData] = '\0';
    return pszOut;
}

BOOL ReadClampedDecimal(LPCSTR pszText, long long llMin, long long llMax, long long* pllValue) {
    return ReadDecimal(pszText, llMin, llMax, pllValue);
}

LPCSTR LevelToText(LONG lLevel) {
    snprintf(g_ver.szLevel, sizeof(g_ver.szLevel), "%d.%d.%d", (int)(lLevel / 10000),
             (int)(lLevel % 10000 / 100), (int)(lLevel % 100));
    size_t cch = strlen(g_ver.szLevel);
    if (cch >= 2 && strcmp(g_ver.szLevel + cch - 2, ".0") == 0)
        g_ver.szLevel[cch - 2] = '\0';
    return g_ver.szLevel;
}

LONG LevelFromFields(LPCSTR pszVersion, LPCSTR pszRelease, LPCSTR pszModification) {
    char szJoined[3 * 12 + 1];
    snprintf(szJoined, sizeof(szJoined), "%d%2.2d%2.2d", ReadInt(pszVersion), ReadInt(pszRelease),
             ReadInt(pszModification));
    long long ll;
    ReadDecimal(szJoined, INT_MIN, INT_MAX, &ll);
    return (LONG)ll;
}

LPCSTR DottedVersionField(LPCSTR pszDotted, int iField) {
    if (iField < 1 || iField > 4)
        return "";
    char(&szField)[ZEB_CCH_PATH] = g_ver.aszField[iField - 1];
    LPCSTR pszStart = pszDotted;
    for (int i = 1; i < iField && pszStart != NULL; i++) {
        pszStart = strchr(pszStart, '.');
        if (pszStart != NULL)
            pszStart++;
    }
    if (pszStart == NULL) {
        // Taking the whole text instead would make field 4 of "9.3.0" the 9 of its first field.
        lstrcpynA(szField, "0", sizeof(szField));
        return szField;
    }
    CopyText(szField, pszStart, strcspn(pszStart, "."));

    if (iField != 3) {
        long long ll;
        if (ReadDecimal(szField, INT_MIN, INT_MAX, &ll))
            snprintf(szField, sizeof(szField), "%d", (int)ll);
    }
    if (iField <= 2)
        LeadingSignificantDigits(szField, sizeof(szField));
    else
        TidyNumericText(szField);
    return szField;
}

LPSTR TrimBlanksAndQuotes(LPSTR pszText) {
    size_t iStart = 0;
    while (IsBlank(pszText[iStart]))
        iStart++;
    if (pszText[iStart] == '"')
        iStart++;
    size_t cch = strlen(pszText + iStart);
    memmove(pszText, pszText + iStart, cch + 1);
    while (cch > 0 && (IsBlank(pszText[cch - 1]) || pszText[cch - 1] == '"'))
        pszText[--cch] = '\0';
    return pszText;
}

LPSTR TidyNumericText(LPSTR pszText) {
    TrimBlanksAndQuotes(pszText);
    if (pszText[0] == '\0' || pszText[strspn(pszText, "0123456789")] != '\0')
        return pszText;
    long long ll;
    if (ReadDecimal(pszText, 0, INT_MAX, &ll))
        snprintf(pszText, strlen(pszText) + 1, "%d", (int)ll); // never longer than the digits
    return pszText;
}

LPSTR LeadingSignificantDigits(LPSTR pszText, DWORD cchText) {
    if (cchText == 0)
        return pszText;
    TrimBlanksAndQuotes(pszText);
    size_t iFirst = strcspn(pszText, "123456789");
    if (pszText[iFirst] == '\0')
        lstrcpynA(pszText, "0", (int)cchText);
    else
        memmove(pszText, pszText + iFirst, strlen(pszText + iFirst) + 1);
    return pszText;
}

int CompareDottedVersions(LPCSTR pszA, LPCSTR pszB) {
    for (int i = 0; i < 4; i++) {
        long long llA = NextField(&pszA, ".");
        long long llB = NextField(&pszB, ".");
        if (llA != llB)
            return llA > llB ? 1 : -1;
    }
    return 0;
}

int CompareVersionTokens(LPCSTR pszA, LPCSTR pszB) {
    long long a[4], b[4];
    for (int i = 0; i < 4; i++) {
        a[i] = NextField(&pszA, ".,");
        b[i] = NextField(&pszB, ".,");
    }
    for (int i = 0; i < 4; i++) {
        if (a[i] != b[i])
            return (b[0] != 0 && a[i] < b[i]) ? -1 : 1;
    }
    return 0;
}

BOOL Is64BitMachine(void) {
    return TRUE;
}

LPCSTR ProgramBinSubfolder(void) {
    return "bin64";
}
