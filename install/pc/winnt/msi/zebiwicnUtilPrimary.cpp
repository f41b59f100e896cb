// The primary installation: whether this installation is to be the primary one, and whether the
// user may still change that.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnUtil.h"

#include <string.h>

namespace {

const char kFunction[] = "iwiCalculatePrimary";

// Whether any installation subkey exists; an installation key that cannot be opened for another
// reason than its absence counts as others existing.
BOOL OtherInstallationsExist(void) {
    for (int iLoop = 0; iLoop < 2; iLoop++) {
        REGSAM samView = iLoop == 1 ? KEY_WOW64_32KEY : 0;
        ZebRegKey hKey;
        LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_KEY_INSTALLATION, 0,
                                 KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | samView, hKey.Out());
        if (lRc == ERROR_FILE_NOT_FOUND) {
            TraceText(kFunction, "Loop %d Installation tree does not exist - nothing to enumerate", iLoop);
            continue;
        }
        if (lRc != ERROR_SUCCESS) {
            TraceText(kFunction,
                      "Loop %d Failed to open Installation tree, unexpected reason - assume other 7.1s",
                      iLoop);
            return TRUE;
        }
        char szSubkey[ZEB_CCH_PATH];
        DWORD cchSubkey = sizeof(szSubkey);
        if (RegEnumKeyExA(hKey.Get(), 0, szSubkey, &cchSubkey, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
            TraceText(kFunction, "Loop %d Found installation directory (%s) so other installations!", iLoop,
                      szSubkey);
            return TRUE;
        }
        TraceText(kFunction, "Loop %d Found no installation directories found", iLoop);
    }
    return FALSE;
}

BOOL HasProductCode(LPCSTR pszName, BOOL bView32) {
    char szKey[ZEB_CCH_MSG];
    return MakeInstallationKey(szKey, pszName) &&
           GetRegistryValue(HKEY_LOCAL_MACHINE, szKey, "ProductCode", NULL, bView32);
}

struct Choice {
    BOOL bMake = FALSE;
    BOOL bAllow = FALSE;
};

// The default when the user may choose: MAKEPRIMARY, else primary only on an empty machine.
void DefaultChoice(Choice& choice, BOOL bOthers) {
    TraceText(kFunction, "Working out the default primary setting.");
    char szMake[ZEB_CCH_MSG];
    if (iwiGetIniProperty(PROP_MAKEPRIMARY, szMake, NULL) != ZEB_RC_SUCCESS)
        return;
    if (szMake[0] == '1') {
        TraceText(kFunction, "User requested this to be primary");
        choice.bMake = TRUE;
    } else if (szMake[0] == '0') {
        TraceText(kFunction, "User requested this to be non primary");
    } else if (bOthers) {
        TraceText(kFunction, "Other installs exist - default to non-primary.");
    } else {
        TraceText(kFunction, "No other installs exist - default to primary.");
        choice.bMake = TRUE;
    }
}

void Decide(MSIHANDLE hInstall, Choice& choice) {
    UINT uiStat = ZEB_RC_SUCCESS;
    char szInstalled[ZEB_CCH_FLAG];
    char szOldName[ZEB_CCH_INSTNAME];
    char szName[ZEB_CCH_INSTNAME];
    if (!GetPropertyValue(hInstall, kFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled), &uiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBOLDINSTALLINSTANCENAME, szOldName, sizeof(szOldName),
                          &uiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName), &uiStat))
        return;

    char szPrimary[ZEB_CCH_INSTNAME] = "";
    if (GetRegistryText(ZEB_KEY_PRIMARY, "Name", szPrimary, sizeof(szPrimary), TRUE)) {
        TraceText(kFunction, "Existing Primary (32 bit tree) is '%s'", szPrimary);
    } else if (GetRegistryText(ZEB_KEY_PRIMARY, "Name", szPrimary, sizeof(szPrimary), FALSE)) {
        TraceText(kFunction, "Existing Primary (64 bit tree) is '%s'", szPrimary);
    } else {
        szPrimary[0] = '\0';
        TraceText(kFunction, "No existing primary");
    }
    BOOL bOthers = OtherInstallationsExist();

    if (szInstalled[0] != '\0') {
        TraceText(kFunction, "We are already installed, so primary nature is fixed");
        if (szPrimary[0] != '\0' && strcmp(szName, szPrimary) == 0) {
            TraceText(kFunction, "We are already installed as primary");
            choice.bMake = TRUE;
        } else {
            TraceText(kFunction, "We are already installed but not as primary.");
        }
        return;
    }
    if (szOldName[0] != '\0') {
        TraceText(kFunction, "We are performing an upgrade.");
        if (szPrimary[0] != '\0' && strcmp(szOldName, szPrimary) == 0) {
            TraceText(kFunction, "We were the primary, so default to being a primary, no changing it.");
            choice.bMake = TRUE;
        } else if (!IsReservedInstallName(szOldName)) {
            TraceText(kFunction,
                      "We were not the primary, so default to not being a primary, no changing it.");
        } else {
            TraceText(kFunction,
                      "We were (7.0.1) primary, so default to being a primary, but allow changing it.");
            choice.bMake = TRUE;
            choice.bAllow = TRUE;
        }
        return;
    }
    if (GetRegistryValue(HKEY_LOCAL_MACHINE, ZEB_KEY_OLD_RECORD, "ProductCode", NULL, TRUE) &&
        !GetRegistryValue(HKEY_LOCAL_MACHINE, ZEB_KEY_OLD_RECORD, "Name", NULL, TRUE)) {
        TraceText(kFunction, "Running alongside v7.0.1 install!! We cannot be made primary.");
        return;
    }
    if (szPrimary[0] != '\0') {
        if (HasProductCode(szPrimary, FALSE)) {
            TraceText(kFunction, "Running alongside existing primary, hence we cannot be make primary.");
            return;
        }
        if (HasProductCode(szPrimary, TRUE)) {
            TraceText(kFunction,
                      "Running alongside existing primary (32 bit), hence we cannot be make primary.");
            return;
        }
        TraceText(kFunction, "There is a primary which is not installed.");
    } else {
        TraceText(kFunction, "No primary yet - do default logic.");
    }
    choice.bAllow = TRUE;
    DefaultChoice(choice, bOthers);
}

} // namespace

void iwiCalculatePrimary(void) {
    MSIHANDLE hInstall = FrameSession();
    Choice choice;
    Decide(hInstall, choice);
    UINT uiStat = ZEB_RC_SUCCESS;
    if (SetPropertyValue(hInstall, kFunction, PROP_ZEBALLOWPRIMARY, choice.bAllow ? "1" : "", &uiStat))
        SetPropertyValue(hInstall, kFunction, PROP_ZEBMAKEPRIMARY, choice.bMake ? "1" : "", &uiStat);
}
