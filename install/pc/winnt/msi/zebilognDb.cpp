// Installer database helpers: the result check of installer calls, temporary table rows, feature
// states, list boxes, the installing component, Binary streams and the product's static data.
#include "zebhold.h"
#include "zebilogn.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kMissingTable[] = "1: 2228";
const char kListBoxQuery[] = "SELECT * FROM ListBox";

struct DbState {
    int iListboxOrder;
    BOOL bComponentKnown;
    char szInstallingComponent[ZEB_CCH_MSG];
    char szUpgradeCode[ZEB_CCH_CODE];
    char szProductVersion[ZEB_CCH_CODE];
    char szStateName[ZEB_CCH_FLAG];
    char szStaticData[256];
};
DbState g_db;

const struct {
    int iState;
    LPCSTR pszName;
} kStateNames[] = {
    {INSTALLSTATE_BROKEN, "INSTALLSTATE_BROKEN"},
    {INSTALLSTATE_ADVERTISED, "INSTALLSTATE_ADVERTISED"},
    {INSTALLSTATE_ABSENT, "INSTALLSTATE_ABSENT"},
    {INSTALLSTATE_LOCAL, "INSTALLSTATE_LOCAL"},
    {INSTALLSTATE_SOURCE, "INSTALLSTATE_SOURCE"},
    {INSTALLSTATE_DEFAULT, "INSTALLSTATE_DEFAULT"},
    {INSTALLSTATE_UNKNOWN, "INSTALLSTATE_UNKNOWN"},
    {INSTALLSTATE_INVALIDARG, "INSTALLSTATE_INVALIDARG"},
    {INSTALLSTATE_MOREDATA, "INSTALLSTATE_MOREDATA"},
    {INSTALLSTATE_SOURCEABSENT, "INSTALLSTATE_SOURCEABSENT"},
    {INSTALLSTATE_INCOMPLETE, "INSTALLSTATE_INCOMPLETE"},
    {INSTALLSTATE_BADCONFIG, "INSTALLSTATE_BADCONFIG"},
};

// The product static data: upgrade code, version prefix, item 2 (product folder word), item 3
// (product display word). An empty upgrade code ends the table.
const struct {
    LPCSTR pszUpgradeCode;
    LPCSTR pszVersion;
    LPCSTR pszItem2;
    LPCSTR pszItem3;
} kProductStaticData[32] = {
    {"{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}", "0.0", "HX", "HX"},
    {"{5A8B5D80-6DCC-4317-9922-99EC0093BF24}", "0.0", "HX", "HX Client"},
    {"", "", "", ""},
};

// Formats any length of text into a new buffer (NULL when it cannot be had).
char* FormatAlloc(LPCSTR pszFormat, ...) ZEB_PRINTF(1, 2);
char* FormatAlloc(LPCSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    int cch = vsnprintf(NULL, 0, pszFormat, copy);
    va_end(copy);
    char* psz = cch >= 0 ? (char*)malloc((size_t)cch + 1) : NULL;
    if (psz != NULL)
        vsnprintf(psz, (size_t)cch + 1, pszFormat, args);
    va_end(args);
    return psz;
}

// CheckMsiRc with a detail that is only composed when the call failed.
UINT CheckFieldRc(LPCSTR pszCall, UINT uiRc, UINT* puiStat, LPCSTR pszFormat, int iField, LPCSTR pszValue) {
    if (uiRc == ERROR_SUCCESS)
        return uiRc;
    ZebHeap<char> detail(FormatAlloc(pszFormat, iField, pszValue));
    return CheckMsiRc(pszCall, detail.IsValid() ? detail.Get() : "", uiRc, puiStat);
}

// A record as the engine formats it without a template ("1: 2228 2: ..."), in a new buffer; NULL
// with the code of the failed call otherwise.
char* FormatRecordText(MSIHANDLE hRecord, UINT* puiRc) {
    char szEmpty[1] = "";
    DWORD cch = 0;
    UINT uiRc = MsiFormatRecordA(0, hRecord, szEmpty, &cch);
    if (uiRc == ERROR_SUCCESS)
        return FormatAlloc("%s", "");
    if (uiRc != ERROR_MORE_DATA) {
        *puiRc = uiRc;
        return NULL;
    }
    DWORD cchText = cch + 1;
    ZebHeap<char> text((char*)malloc(cchText));
    if (!text.IsValid()) {
        *puiRc = ERROR_NOT_ENOUGH_MEMORY;
        return NULL;
    }
    cch = cchText;
    uiRc = MsiFormatRecordA(0, hRecord, text.Get(), &cch);
    if (uiRc != ERROR_SUCCESS) {
        *puiRc = uiRc;
        return NULL;
    }
    return text.Detach();
}

char* FormatLastError(UINT* puiRc) {
    ZebMsiHandle hError(MsiGetLastErrorRecord());
    return FormatRecordText(hError.Get(), puiRc);
}

// Explains a failed MsiDatabaseOpenView. TRUE when the package merely lacks the table.
BOOL IsMissingTable(LPCSTR pszTable, int iFields, DWORD dwFieldBits, LPCSTR pszQuery, UINT uiRc) {
    TraceText(NULL, "AddTableRecord: MsiDatabaseOpenView failed, rc=%d,", (int)uiRc);
    TraceText(NULL, "AddTableRecord: Table=%s, fields=%d, fieldBits=%d, SQL query=\"%s\"", pszTable, iFields,
              (int)dwFieldBits, pszQuery);
    UINT uiFormatRc = ERROR_SUCCESS;
    ZebHeap<char> error(FormatLastError(&uiFormatRc));
    if (!error.IsValid()) {
        TraceText(NULL, "AddTableRecord: Formatting MsiDatabaseOpenView(...) extended error failed (rc=%d)",
                  (int)uiFormatRc);
        return FALSE;
    }
    TraceText(NULL, "AddTableRecord: MsiDatabaseOpenView(...) Extended Error: \"%s\"", error.Get());
    if (strstr(error.Get(), kMissingTable) == NULL)
        return FALSE;
    TraceText(NULL, "AddTableRecord: Ignoring extended error 2228 (required table is empty - or missing).");
    return TRUE;
}

// Sets the fields one after another while no call failed; the status then holds that call's code.
void SetFields(MSIHANDLE hRec, int iFields, DWORD dwFieldBits, const ULONG_PTR* pValues, UINT* puiStat) {
    for (int i = 0; i < iFields && *puiStat == ZEB_RC_SUCCESS; i++) {
        if (i < 32 && (dwFieldBits & (1u << i)) != 0) {
            unsigned long ulValue = (unsigned long)(pValues[i] & 0xFFFFFFFFu);
            UINT uiRc = MsiRecordSetInteger(hRec, (UINT)i + 1, (int)(unsigned)ulValue);
            if (uiRc != ERROR_SUCCESS) {
                ZebHeap<char> detail(FormatAlloc("Field %d '0x%8.8lx'", i, ulValue));
                CheckMsiRc("MsiRecordSetInteger", detail.IsValid() ? detail.Get() : "", uiRc, puiStat);
            }
            continue;
        }
        LPCSTR pszText = (LPCSTR)pValues[i];
        BOOL bNull = pszText == NULL || pszText[0] == '\0';
        UINT uiRc = MsiRecordSetStringA(hRec, (UINT)i + 1, bNull ? NULL : pszText);
        CheckFieldRc("MsiRecordSetString", uiRc, puiStat, bNull ? "Field %d NULL" : "Field %d '%s'", i + 1,
                     bNull ? "" : pszText);
    }
}

// CheckMsiRc for the closing calls: an earlier failure's code stays the result.
void CheckClose(LPCSTR pszCall, LPCSTR pszDetail, UINT uiRc, UINT* puiStat) {
    UINT uiClose = ZEB_RC_SUCCESS;
    CheckMsiRc(pszCall, pszDetail, uiRc, &uiClose);
    if (*puiStat == ZEB_RC_SUCCESS)
        *puiStat = uiClose;
}

} // namespace

UINT CheckMsiRc(LPCSTR pszCall, LPCSTR pszDetail, UINT uiRc, UINT* puiStat) {
    if (uiRc != ERROR_SUCCESS) {
        *puiStat = uiRc;
        TraceText(NULL, "***%s('%s') failed (%d)", pszCall, pszDetail, (int)uiRc);
    }
    return uiRc;
}

void TraceExtendedError(LPCSTR pszFunction, LPCSTR pszCall, UINT uiRc) {
    ZebMsiHandle hError(MsiGetLastErrorRecord());
    if (!hError.IsValid()) {
        TraceText(pszFunction, "***%s failed (rc %d); extended error: none", pszCall, (int)uiRc);
        return;
    }
    UINT uiFormatRc = ERROR_SUCCESS;
    ZebHeap<char> error(FormatRecordText(hError.Get(), &uiFormatRc));
    if (!error.IsValid()) {
        TraceText(pszFunction, "***%s failed (rc %d); extended error not formatted (rc %d)", pszCall,
                  (int)uiRc, (int)uiFormatRc);
        return;
    }
    TraceText(pszFunction, "***%s failed (rc %d); extended error: '%s'", pszCall, (int)uiRc, error.Get());
}

BOOL OpenExecutedView(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszQuery, ZebMsiHandle& hDb,
                      ZebMsiHandle& hView) {
    hDb.Reset(MsiGetActiveDatabase(hInstall));
    if (!hDb.IsValid()) {
        TraceText(pszFunction, "***MsiGetActiveDatabase() failed");
        return FALSE;
    }
    UINT uiStat = ZEB_RC_SUCCESS;
    return CheckMsiRc("MsiDatabaseOpenView", pszQuery, MsiDatabaseOpenViewA(hDb.Get(), pszQuery, hView.Out()),
                      &uiStat) == ERROR_SUCCESS &&
           CheckMsiRc("MsiViewExecute", pszQuery, MsiViewExecute(hView.Get(), 0), &uiStat) == ERROR_SUCCESS;
}

UINT AddTableRecord(LPCSTR pszTable, int iFields, DWORD dwFieldBits, const ULONG_PTR* pValues) {
    ZebHeap<char> query(FormatAlloc("SELECT * FROM %s", pszTable));
    if (!query.IsValid())
        return ZEB_RC_FAILURE;
    ZebMsiHandle hDb(MsiGetActiveDatabase(FrameSession()));
    if (!hDb.IsValid()) {
        TraceText(NULL, "***MsiGetActiveDatabase(%s) failed", pszTable);
        return ZEB_RC_FAILURE;
    }
    ZebMsiHandle hView;
    UINT uiRc = MsiDatabaseOpenViewA(hDb.Get(), query.Get(), hView.Out());
    if (uiRc != ERROR_SUCCESS) {
        if (IsMissingTable(pszTable, iFields, dwFieldBits, query.Get(), uiRc))
            return ZEB_RC_SUCCESS;
        UINT uiIgnored = ZEB_RC_SUCCESS;
        CheckMsiRc("MsiDatabaseOpenView", query.Get(), uiRc, &uiIgnored);
        return ZEB_RC_FAILURE;
    }

    UINT uiStat = ZEB_RC_SUCCESS;
    // Windows wants the view executed before it is modified.
    if (CheckMsiRc("MsiViewExecute", query.Get(), MsiViewExecute(hView.Get(), 0), &uiStat) != ERROR_SUCCESS)
        return uiStat;
    ZebMsiHandle hRec(MsiCreateRecord((UINT)iFields));
    if (!hRec.IsValid()) {
        TraceText(NULL, "***MsiCreateRecord(%s, %d) failed", pszTable, iFields);
        return ZEB_RC_FAILURE;
    }
    SetFields(hRec.Get(), iFields, dwFieldBits, pValues, &uiStat);
    BOOL bAdded = FALSE;
    if (uiStat == ZEB_RC_SUCCESS)
        bAdded = CheckMsiRc("MsiViewModify", "MSIMODIFY_INSERT_TEMPORARY",
                            MsiViewModify(hView.Get(), MSIMODIFY_INSERT_TEMPORARY, hRec.Get()),
                            &uiStat) == ERROR_SUCCESS;
    CheckClose("MsiCloseHandle", "record", MsiCloseHandle(hRec.Detach()), &uiStat);
    CheckClose("MsiViewClose", pszTable, MsiViewClose(hView.Get()), &uiStat);
    CheckClose("MsiCloseHandle", "view", MsiCloseHandle(hView.Detach()), &uiStat);
    CheckClose("MsiCloseHandle", "database", MsiCloseHandle(hDb.Detach()), &uiStat);
    if (bAdded && !IsReducedLogging())
        TraceText(NULL, "Table '%s' row added; %d fields", pszTable, iFields);
    return uiStat;
}

void ResetDbState(void) {
    memset(&g_db, 0, sizeof(g_db));
}

UINT SetFeatureState(LPCSTR pszFeature, INSTALLSTATE iState) {
    char szState[ZEB_CCH_FLAG];
    switch (iState) {
    case INSTALLSTATE_ADVERTISED:
    case INSTALLSTATE_ABSENT:
    case INSTALLSTATE_LOCAL:
    case INSTALLSTATE_SOURCE:
    case INSTALLSTATE_UNKNOWN:
        lstrcpynA(szState, InstallStateName(iState), sizeof(szState));
        break;
    default:
        snprintf(szState, sizeof(szState), "%8.8lx", (unsigned long)(unsigned)iState);
        break;
    }
    UINT uiRc = MsiSetFeatureStateA(FrameSession(), pszFeature, iState);
    if (uiRc == ERROR_SUCCESS) {
        TraceText(NULL, "'%s' feature state set to %s", pszFeature, szState);
        return ZEB_RC_SUCCESS;
    }
    if (uiRc == ERROR_UNKNOWN_FEATURE) {
        TraceText(NULL, "Ignoring MsiSetFeatureState(%s, %s) rc: 0x%8.8lx due to missing feature", pszFeature,
                  szState, (unsigned long)uiRc);
        return ZEB_RC_SUCCESS;
    }
    TraceText(NULL, "***MsiSetFeatureState(%s, %s) rc: 0x%8.8lx", pszFeature, szState, (unsigned long)uiRc);
    return ZEB_RC_FAILURE;
}

UINT SwitchFeature(LPCSTR pszFeature, BOOL bOn, UINT* puiStat) {
    UINT uiRc = SetFeatureState(pszFeature, bOn ? INSTALLSTATE_LOCAL : INSTALLSTATE_ABSENT);
    if (uiRc != ZEB_RC_SUCCESS)
        *puiStat = uiRc;
    return uiRc;
}

LPCSTR InstallStateName(int iState) {
    for (const auto& state : kStateNames)
        if (state.iState == iState)
            return state.pszName;
    snprintf(g_db.szStateName, sizeof(g_db.szStateName), "Unknown(%d)", iState);
    return g_db.szStateName;
}

UINT iwiCompareProduct(LPCSTR pszUpgradeCode, int* piMatch) {
    static const char kFunction[] = "iwiCompareProduct";
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    *piMatch = 0;
    if (g_db.szUpgradeCode[0] == '\0' &&
        !GetPropertyValue(hInstall, kFunction, PROP_UPGRADECODE, g_db.szUpgradeCode,
                          sizeof(g_db.szUpgradeCode), &uiStat))
        return uiStat;
    if (g_db.szProductVersion[0] == '\0' &&
        !GetPropertyValue(hInstall, kFunction, PROP_PRODUCTVERSION, g_db.szProductVersion,
                          sizeof(g_db.szProductVersion), &uiStat))
        return uiStat;
    *piMatch = _stricmp(pszUpgradeCode, g_db.szUpgradeCode) == 0 ? 1 : 0;
    return ZEB_RC_SUCCESS;
}

LPCSTR CachedProductVersion(void) {
    return g_db.szProductVersion;
}

UINT AddListboxItemValue(LPCSTR pszProperty, LPCSTR pszText, LPCSTR pszValue) {
    int iOrder = ++g_db.iListboxOrder;
    char szOrder[ZEB_CCH_FLAG];
    snprintf(szOrder, sizeof(szOrder), "%d", iOrder);
    LPCSTR pszRowValue = pszValue != NULL ? pszValue : szOrder;

    ZebMsiHandle hDb(MsiGetActiveDatabase(FrameSession()));
    if (!hDb.IsValid()) {
        TraceText(NULL, "***MsiGetActiveDatabase(%s, %s) failed", pszProperty, pszText);
        return ZEB_RC_FAILURE;
    }
    UINT uiStat = ZEB_RC_SUCCESS;
    ZebMsiHandle hView;
    if (CheckMsiRc("MsiDatabaseOpenView", kListBoxQuery,
                   MsiDatabaseOpenViewA(hDb.Get(), kListBoxQuery, hView.Out()), &uiStat) != ERROR_SUCCESS ||
        CheckMsiRc("MsiViewExecute", kListBoxQuery, MsiViewExecute(hView.Get(), 0), &uiStat) != ERROR_SUCCESS)
        return uiStat;
    ZebMsiHandle hRec(MsiCreateRecord(4));
    if (!hRec.IsValid()) {
        TraceText(NULL, "***MsiCreateRecord(%s, %s) failed", pszProperty, pszText);
        return ZEB_RC_FAILURE;
    }
    const ULONG_PTR values[4] = {(ULONG_PTR)pszProperty, (ULONG_PTR)(unsigned)iOrder, (ULONG_PTR)pszRowValue,
                                 (ULONG_PTR)pszText};
    SetFields(hRec.Get(), 4, 0x2, values, &uiStat);
    BOOL bAdded = FALSE;
    if (uiStat == ZEB_RC_SUCCESS)
        bAdded = CheckMsiRc("MsiViewModify", "MSIMODIFY_INSERT_TEMPORARY",
                            MsiViewModify(hView.Get(), MSIMODIFY_INSERT_TEMPORARY, hRec.Get()),
                            &uiStat) == ERROR_SUCCESS;
    CheckClose("MsiCloseHandle", "record", MsiCloseHandle(hRec.Detach()), &uiStat);
    CheckClose("MsiViewClose", "ListBox", MsiViewClose(hView.Get()), &uiStat);
    CheckClose("MsiCloseHandle", "view", MsiCloseHandle(hView.Detach()), &uiStat);
    CheckClose("MsiCloseHandle", "database", MsiCloseHandle(hDb.Detach()), &uiStat);
    if (bAdded)
        TraceText(NULL, "Listbox line added: '%s' order: %d item: '%s' value: '%s'", pszProperty, iOrder,
                  pszText, pszRowValue);
    return uiStat;
}

UINT ClearListbox(LPCSTR pszProperty) {
    static const char kFunction[] = "ClearListbox";
    MSIHANDLE hInstall = FrameSession();
    g_db.iListboxOrder = 0;
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!SetPropertyValue(hInstall, kFunction, pszProperty, " ", &uiStat))
        return ZEB_RC_FAILURE;
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(hInstall, NULL, kListBoxQuery, hDb, hView))
        return ZEB_RC_FAILURE;
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        if (CheckMsiRc("MsiViewFetch", kListBoxQuery, uiRc, &uiStat) != ERROR_SUCCESS)
            return ZEB_RC_FAILURE;
        // A name longer than the buffer is another property's.
        char szName[ZEB_CCH_MSG];
        DWORD cch = sizeof(szName);
        uiRc = MsiRecordGetStringA(hRec.Get(), 1, szName, &cch);
        if (uiRc == ERROR_MORE_DATA)
            continue;
        if (CheckMsiRc("MsiRecordGetString", "Property", uiRc, &uiStat) != ERROR_SUCCESS)
            return ZEB_RC_FAILURE;
        if (strcmp(szName, pszProperty) == 0 &&
            CheckMsiRc("MsiViewModify", "MSIMODIFY_DELETE",
                       MsiViewModify(hView.Get(), MSIMODIFY_DELETE, hRec.Get()), &uiStat) != ERROR_SUCCESS)
            return ZEB_RC_FAILURE;
    }
    CheckClose("MsiViewClose", "ListBox", MsiViewClose(hView.Get()), &uiStat);
    CheckClose("MsiCloseHandle", "view", MsiCloseHandle(hView.Detach()), &uiStat);
    CheckClose("MsiCloseHandle", "database", MsiCloseHandle(hDb.Detach()), &uiStat);
    return uiStat == ZEB_RC_SUCCESS ? ZEB_RC_SUCCESS : ZEB_RC_FAILURE;
}

LPCSTR GetInstallingComponent(LPCSTR pszDefault) {
    static const char kQuery[] = "SELECT * FROM Component";
    if (g_db.bComponentKnown)
        return g_db.szInstallingComponent;
    MSIHANDLE hInstall = FrameSession();
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(hInstall, NULL, kQuery, hDb, hView))
        return pszDefault; // not kept: a later call looks again
    UINT uiStat = ZEB_RC_SUCCESS;
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        if (CheckMsiRc("MsiViewFetch", kQuery, uiRc, &uiStat) != ERROR_SUCCESS)
            return pszDefault;
        char szName[ZEB_CCH_MSG];
        DWORD cch = sizeof(szName);
        if (CheckMsiRc("MsiRecordGetString", "Component", MsiRecordGetStringA(hRec.Get(), 1, szName, &cch),
                       &uiStat) != ERROR_SUCCESS)
            return pszDefault;
        INSTALLSTATE iInstalled, iAction;
        if (CheckMsiRc("MsiGetComponentState", szName,
                       MsiGetComponentStateA(hInstall, szName, &iInstalled, &iAction),
                       &uiStat) != ERROR_SUCCESS)
            return pszDefault;
        TraceText(NULL, "Component '%s' Installed: %d Action: %d", szName, (int)iInstalled, (int)iAction);
        if (iAction == INSTALLSTATE_LOCAL) {
            lstrcpynA(g_db.szInstallingComponent, szName, sizeof(g_db.szInstallingComponent));
            g_db.bComponentKnown = TRUE;
            return g_db.szInstallingComponent;
        }
    }
    lstrcpynA(g_db.szInstallingComponent, pszDefault, sizeof(g_db.szInstallingComponent));
    g_db.bComponentKnown = TRUE;
    return g_db.szInstallingComponent;
}

BOOL iwiGetFileFromBinary(LPCSTR pszPrefix, LPCSTR pszContinuation, LPCSTR pszOutput,
                          char (*pszSuffix)[ZEB_CCH_MSG]) {
    static const char kQuery[] = "SELECT * FROM Binary";
    LPCSTR pszMore = pszContinuation != NULL ? pszContinuation : "";
    if (pszSuffix != NULL)
        (*pszSuffix)[0] = '\0';
    ZebMsiHandle hDb, hView;
    if (!OpenExecutedView(FrameSession(), NULL, kQuery, hDb, hView))
        return FALSE;
    UINT uiStat = ZEB_RC_SUCCESS;
    size_t cchPrefix = strlen(pszPrefix);
    size_t cchMore = strlen(pszMore);
    BOOL bWritten = FALSE;
    for (;;) {
        ZebMsiHandle hRec;
        UINT uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        if (CheckMsiRc("MsiViewFetch", kQuery, uiRc, &uiStat) != ERROR_SUCCESS)
            return FALSE;
        char szName[ZEB_CCH_MSG];
        DWORD cch = sizeof(szName);
        uiRc = MsiRecordGetStringA(hRec.Get(), 1, szName, &cch);
        if (uiRc == ERROR_MORE_DATA)
            continue; // longer than any name the library asks for
        if (CheckMsiRc("MsiRecordGetString", "Name", uiRc, &uiStat) != ERROR_SUCCESS)
            return FALSE;
        if (_strnicmp(szName, pszPrefix, cchPrefix) != 0)
            continue;
        LPCSTR pszRest = szName + cchPrefix;
        if (pszContinuation == NULL ? (pszRest[0] != '\0' && pszRest[0] != '.')
                                    : _strnicmp(pszRest, pszMore, cchMore) != 0)
            continue;
        pszRest += cchMore;

        TraceText(NULL, "Unpacking binary Name: '%s%s'", pszPrefix, pszMore);
        if (pszRest[0] == '.') {
            if (pszSuffix != NULL)
                lstrcpynA(*pszSuffix, pszRest + 1, sizeof(*pszSuffix));
            TraceText(NULL, "Component suffix is: '%s'", pszRest + 1);
        } else {
            if (pszSuffix != NULL)
                (*pszSuffix)[0] = '\0';
            TraceText(NULL, "No component suffix");
        }

        ZebFile fp(fopen(pszOutput, "wbN"));
        if (!fp.IsValid()) {
            TraceText(NULL, "***Can't open output: '%s'", pszOutput);
            return FALSE;
        }
        long lTotal = 0;
        for (;;) {
            char buf[256];
            DWORD cb = sizeof(buf);
            if (CheckMsiRc("MsiRecordReadStream", szName, MsiRecordReadStream(hRec.Get(), 2, buf, &cb),
                           &uiStat) != ERROR_SUCCESS)
                return FALSE;
            if (cb > 0 && fwrite(buf, 1, cb, fp.Get()) != cb) {
                TraceText(NULL, "***Error writing '%s'", pszOutput);
                return FALSE;
            }
            lTotal += (long)cb;
            if (cb < sizeof(buf))
                break;
        }
        if (!fp.Close()) {
            TraceText(NULL, "***Error writing '%s'", pszOutput);
            return FALSE;
        }
        TraceText(NULL, "Written %ld bytes to '%s'", lTotal, pszOutput);
        bWritten = TRUE;
    }
    if (!bWritten) {
        TraceText(NULL, "***Can't find binary Name: '%s%s'", pszPrefix, pszMore);
        return FALSE;
    }
    return TRUE;
}

LPCSTR iwiGetProductStaticData(int iType, LPCSTR pszVersion) {
    lstrcpynA(g_db.szStaticData, "static data error", sizeof(g_db.szStaticData));
    LPCSTR pszRowVersion = "";
    for (const auto& row : kProductStaticData) {
        if (row.pszUpgradeCode == NULL || row.pszUpgradeCode[0] == '\0')
            break;
        pszRowVersion = row.pszVersion;
        int iMatch = 0;
        if (iwiCompareProduct(row.pszUpgradeCode, &iMatch) != ZEB_RC_SUCCESS)
            break;
        if (!iMatch ||
            (pszVersion != NULL && strncmp(pszVersion, row.pszVersion, strlen(row.pszVersion)) != 0))
            continue;
        LPCSTR pszItem = iType == 2 ? row.pszItem2 : iType == 3 ? row.pszItem3 : "";
        lstrcpynA(g_db.szStaticData, pszItem, sizeof(g_db.szStaticData));
    }
    TraceText(NULL, "Type %d product data is '%s' (version '%s')", iType, g_db.szStaticData, pszRowVersion);
    return g_db.szStaticData;
}
