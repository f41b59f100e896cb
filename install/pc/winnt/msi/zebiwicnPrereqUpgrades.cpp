// Upgrade discovery: the installations the related-product search found, offered as upgrade
// targets beside a new side-by-side installation.
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kFunction[] = "iwiListAvailableUpgrades";
const char kFallbackListAddFailed[] = "Failed to add an installation to the list of installations (ZEB4790)";
const char kFallbackNew[] = "Install a new, separate installation";
const char kFallbackEntry[] = "Upgrade %2 (level %1)";
const char kFallbackCannotCoexist[] =
    "The existing pre-7.0.1.6 installation cannot coexist or be upgraded by this installation (ZEB4784)";
const char kFallbackNoInstallName[] =
    "Cannot proceed as installed product has no associated HX Installation name (ZEB4778)";

// Traced lists are cut to this many characters at each end.
const size_t kTracedList = 300;

void ShowError(UINT uId, LPCSTR pszFallback) {
    char szText[ZEB_CCH_MSG];
    LoadNlsStringOr(szText, uId, pszFallback);
    iiiDisplayMsgBox(szText, MB_ICONERROR);
}

struct UpgradeList {
    MSIHANDLE hInstall;
    UINT* puiStat;
    char szEntryTemplate[ZEB_CCH_MSG];
    int iCount;
    char szDefault[ZEB_CCH_UPGRADELIST];
};

void Fail(UpgradeList& u) {
    *u.puiStat = ZEB_RC_FAILURE;
}

// Adds one entry; the first one becomes the default.
BOOL AddEntry(UpgradeList& u, LPCSTR pszText, LPCSTR pszValue, UINT* puiRc) {
    *puiRc = AddListboxItemValue(PROP_ZEBSELECTUPGRADELISTBOX, pszText, pszValue);
    if (*puiRc != ZEB_RC_SUCCESS)
        return FALSE;
    if (u.iCount++ == 0)
        lstrcpynA(u.szDefault, pszValue, sizeof(u.szDefault));
    return TRUE;
}

// Whether a new installation may stand beside a legacy one; FALSE with the status set when the
// run must stop.
BOOL NewEntry(UpgradeList& u) {
    BOOL bAllowed = TRUE;
    char szLegacyVrmf[ZEB_CCH_VRMF];
    if (GetRegistryText(ZEB_KEY_OLD_RECORD, "VRMF", szLegacyVrmf, sizeof(szLegacyVrmf), TRUE)) {
        if (CompareDottedVersions(ZEB_LEGACY_COEXIST_LEVEL, szLegacyVrmf) > 0) {
            char szCoexist[1024];
            if (!GetPropertyValue(u.hInstall, kFunction, PROP_ZEBCOEXISTANY, szCoexist, sizeof(szCoexist),
                                  u.puiStat))
                return FALSE;
            if (szCoexist[0] == '\0') {
                TraceText(kFunction, "VRMF %s cannot coexist - Skipping", szLegacyVrmf);
                bAllowed = FALSE;
            } else {
                TraceText(kFunction, "VRMF %s cannot coexist - but permitted by use of %s", szLegacyVrmf,
                          PROP_ZEBCOEXISTANY);
            }
        } else {
            TraceText(kFunction, "VRMF %s can coexist", szLegacyVrmf);
        }
    }

    if (bAllowed) {
        char szText[ZEB_CCH_MSG];
        LoadNlsStringOr(szText, ZEB_MSG_UPGRADE_NEW, kFallbackNew);
        char szEntry[ZEB_CCH_MSG];
        iwiFormatMsgBuffer(szEntry, szText, NULL, NULL, NULL, NULL);
        UINT uiRc;
        if (!AddEntry(u, szEntry, ZEB_UPGRADE_NEW_ENTRY, &uiRc)) {
            TraceText(kFunction, "*** Failed to add 'new' entry: '%d'", (int)uiRc);
            Fail(u);
            return FALSE;
        }
        return SetPropertyValue(u.hInstall, kFunction, PROP_ZEBDENYCOEXIST, "0", u.puiStat);
    }

    TraceText(kFunction, "Coexisting is not allowed.");
    if (!SetPropertyValue(u.hInstall, kFunction, PROP_ZEBDENYCOEXIST, "1", u.puiStat))
        return FALSE;
    char szOldServer[ZEB_CCH_UPGRADELIST];
    if (!GetPropertyValue(u.hInstall, kFunction, PROP_ZEBOLDSERVERINSTALLED, szOldServer, sizeof(szOldServer),
                          u.puiStat))
        return FALSE;
    if (szOldServer[0] != '\0') {
        ShowError(ZEB_MSG_CANNOT_COEXIST, kFallbackCannotCoexist);
        Fail(u);
        return FALSE;
    }
    return TRUE;
}

void TraceRemaining(LPCSTR pszList) {
    size_t cch = strlen(pszList);
    if (cch <= kTracedList) {
        TraceText(kFunction, "Remaining list is: '%s'", pszList);
        return;
    }
    TraceText(kFunction, "Remaining list starts with: '%.*s'", (int)kTracedList, pszList);
    TraceText(kFunction, "Remaining list ends with  : '%s'", pszList + cch - kTracedList);
}

// One code of a list: a registered installation, else the legacy one.
BOOL AddCode(UpgradeList& u, LPCSTR pszCode) {
    char szName[ZEB_CCH_INSTNAME];
    char szDescription[ZEB_CCH_INSTDESC];
    char szIdentifier[ZEB_CCH_INSTID];
    char szVrmf[ZEB_CCH_VRMF];
    char szEntry[ZEB_CCH_MSG];
    UINT uiRc;
    if (RetrieveInstallDetails(szName, szDescription, szIdentifier, &szVrmf, NULL, FALSE, pszCode, NULL,
                               ZEB_VIEW_64_THEN_32)) {
        char szShown[ZEB_CCH_MSG];
        if (szDescription[0] != '\0')
            snprintf(szShown, sizeof(szShown), "'%s' - %s", szName, szDescription);
        else
            snprintf(szShown, sizeof(szShown), "'%s'", szName);
        iwiFormatMsgBuffer(szEntry, u.szEntryTemplate, szVrmf, szShown, NULL, NULL);
        if (!AddEntry(u, szEntry, pszCode, &uiRc)) {
            TraceText(kFunction, "*** Failed to add entry: '%d'", (int)uiRc);
            Fail(u);
            return FALSE;
        }
        return TRUE;
    }

    char szLegacyCode[ZEB_CCH_CODE] = "";
    char szLegacyVrmf[ZEB_CCH_VRMF] = "";
    BOOL bHaveCode =
        GetRegistryText(ZEB_KEY_OLD_RECORD, "ProductCode", szLegacyCode, sizeof(szLegacyCode), TRUE);
    if (bHaveCode) {
        GetRegistryText(ZEB_KEY_OLD_RECORD, "VRMF", szLegacyVrmf, sizeof(szLegacyVrmf), TRUE);
        TraceText(kFunction, "Found key: '%s',%s", szLegacyCode, szLegacyVrmf);
    }
    if (!bHaveCode || _stricmp(szLegacyCode, pszCode) != 0) {
        ShowError(ZEB_MSG_NO_INSTALL_NAME, kFallbackNoInstallName);
        Fail(u);
        return FALSE;
    }
    iwiFormatMsgBuffer(szEntry, u.szEntryTemplate, szLegacyVrmf, "", NULL, NULL);
    if (!AddEntry(u, szEntry, szLegacyCode, &uiRc)) {
        TraceText(kFunction, "*** Failed to add pre 7.1 entry: '%d'", (int)uiRc);
        ShowError(ZEB_MSG_LIST_ADD_FAILED, kFallbackListAddFailed);
        Fail(u);
        return FALSE;
    }
    return TRUE;
}

// Consumes the list code by code; empty pieces name nothing and are passed over.
BOOL AddList(UpgradeList& u, LPCSTR pszProperty) {
    char szList[ZEB_CCH_UPGRADELIST];
    if (!GetPropertyValue(u.hInstall, kFunction, pszProperty, szList, sizeof(szList), u.puiStat))
        return FALSE;
    char* pszRest = szList;
    while (*pszRest != '\0') {
        TraceRemaining(pszRest);
        char* pszCode = pszRest;
        char* pszEnd = strchr(pszRest, ';');
        if (pszEnd != NULL) {
            *pszEnd = '\0';
            pszRest = pszEnd + 1;
        } else {
            pszRest += strlen(pszRest);
        }
        if (*pszCode == '\0')
            continue;
        TraceText(kFunction, "Processing code: '%s'", pszCode);
        if (!AddCode(u, pszCode))
            return FALSE;
    }
    return TRUE;
}

void ListAvailableUpgrades(MSIHANDLE hInstall, UINT* puiStat) {
    UpgradeList u = {hInstall, puiStat, "", 0, ""};
    if (ClearListbox(PROP_ZEBSELECTUPGRADELISTBOX) != ZEB_RC_SUCCESS) {
        TraceText(kFunction, "*** Failed to clear the listbox");
        Fail(u);
        return;
    }
    LoadNlsStringOr(u.szEntryTemplate, ZEB_MSG_UPGRADE_ENTRY, kFallbackEntry);
    if (!NewEntry(u) || !AddList(u, PROP_ZEBOLDSERVER) || !AddList(u, PROP_ZEBOLDCLIENT))
        return;

    char szCount[ZEB_CCH_FLAG];
    snprintf(szCount, sizeof(szCount), "%d", u.iCount);
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBNUMUPGRADEABLES, szCount, puiStat))
        return;
    if (u.iCount == 1) {
        TraceText(kFunction, "Skipping panel, using default of '%s'", u.szDefault);
        SetPropertyValue(hInstall, kFunction, PROP_ZEBSELECTUPGRADELISTBOX, u.szDefault, puiStat);
    }
}

} // namespace

ZEB_ACTION iwiListAvailableUpgrades(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiListAvailableUpgrades", NULL))
        ListAvailableUpgrades(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
