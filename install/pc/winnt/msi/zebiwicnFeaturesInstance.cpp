// Per-instance component codes: each installation instance installs the package's per-instance
// components under codes of its own, so up to 127 installations stand side by side.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnFeatures.h"

#include <string.h>

namespace {

const char kFunction[] = "iwiRuntimeMVChanges";
const char kInstanceMarker[] = "_Instance1";

// The first row of that name, or -1.
int FindIdentity(LPCSTR pszComponent) {
    for (int i = 0; i < ZEB_COMPONENT_ROWS; i++) {
        if (strcmp(g_aComponentIdentities[i].szName, pszComponent) == 0)
            return i;
    }
    return -1;
}

BOOL Failed(LPCSTR pszCall, UINT uiRc, UINT* puiStat) {
    if (uiRc == ERROR_SUCCESS)
        return FALSE;
    TraceExtendedError(kFunction, pszCall, uiRc);
    *puiStat = ZEB_RC_FAILURE;
    return TRUE;
}

void RuntimeMvChanges(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szInstance[15];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTANCEID, szInstance, sizeof(szInstance), puiStat))
        return;
    // Held rather than wrapped: a long number must not come round into 1 to 127.
    long long llInstance = 0;
    ReadClampedDecimal(szInstance, 0, ZEB_MAX_INSTANCE + 1, &llInstance);
    int iInstance = (int)llInstance;
    if (iInstance < 1 || iInstance > ZEB_MAX_INSTANCE) {
        TraceText(kFunction, "***Instance id %s is invalid (%d)", szInstance, iInstance);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }

    TraceText(kFunction, "Modifying the component GUIDs");
    ZebMsiHandle hDatabase(MsiGetActiveDatabase(hInstall));
    if (hDatabase.Get() == 0) {
        Failed("MsiGetActiveDatabase", ERROR_INVALID_HANDLE, puiStat);
        return;
    }
    ZebMsiHandle hView;
    if (Failed("MsiDatabaseOpenView",
               MsiDatabaseOpenViewA(hDatabase.Get(), "SELECT * FROM Component", hView.Out()), puiStat) ||
        Failed("MsiViewExecute", MsiViewExecute(hView.Get(), 0), puiStat))
        return;

    // An engine whose cursor meets a re-inserted row again would otherwise rewrite it forever.
    BOOL abDone[ZEB_COMPONENT_ROWS] = {};
    for (;;) {
        ZebMsiHandle hRecord;
        UINT uiRc = MsiViewFetch(hView.Get(), hRecord.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            break;
        if (Failed("MsiViewFetch", uiRc, puiStat))
            return;
        char szComponent[ZEB_CCH_PATH];
        DWORD cchComponent = sizeof(szComponent);
        if (Failed("MsiRecordGetString", MsiRecordGetStringA(hRecord.Get(), 1, szComponent, &cchComponent),
                   puiStat))
            return;
        if (strstr(szComponent, kInstanceMarker) == NULL)
            continue;
        int iRow = FindIdentity(szComponent);
        if (iRow < 0) {
            TraceText(kFunction, "***Instance id %s is invalid (%d) for component %s", szInstance, iInstance,
                      szComponent);
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        if (abDone[iRow]) {
            TraceText(kFunction, "Component %s already updated - skipping", szComponent);
            continue;
        }
        LPCSTR pszCode = g_aComponentIdentities[iRow].aszCodes[iInstance - 1];
        TraceText(kFunction, "Updating guid for %s to %s (%d)", szComponent, pszCode, iInstance);
        if (Failed("MsiViewModify(delete)", MsiViewModify(hView.Get(), MSIMODIFY_DELETE, hRecord.Get()),
                   puiStat) ||
            Failed("MsiRecordSetString", MsiRecordSetStringA(hRecord.Get(), 2, pszCode), puiStat) ||
            Failed("MsiViewModify(insert temp)",
                   MsiViewModify(hView.Get(), MSIMODIFY_INSERT_TEMPORARY, hRecord.Get()), puiStat))
            return;
        abDone[iRow] = TRUE;
    }
    MsiViewClose(hView.Get());
}

} // namespace

ZEB_ACTION iwiRuntimeMVChanges(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiRuntimeMVChanges", NULL))
        RuntimeMvChanges(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
