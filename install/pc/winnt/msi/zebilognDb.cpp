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

// The last-error record as the engine formats it without a template ("1: 2228 2: ..."), in a new
// buffer; NULL with the code of the failed call otherwise.
char* FormatLastError(UINT* puiRc) {
    ZebMsiHandle hError(MsiGetLastErrorRecord());
    char szEmpty[1] = "";
    DWORD cch = 0;
    UINT uiRc = MsiFormatRecordA(0, hError.Get(), szEmpty, &cch);
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
    uiRc = MsiFormatRecordA(0, hError.Get(), text.Get(), &cch);
    if (uiRc != ERROR_SUCCESS) {
        *puiRc = uiRc;
        return NULL;
    }
    return text.Detach();
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
