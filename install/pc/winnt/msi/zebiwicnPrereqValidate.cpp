// Validation of what the dialogs let the user type: folder lengths, the installation's name,
// description and program folder, inaccessible recommended folders, a legacy installation beside
// this one, and the label of removable source media.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnLaunch.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

#include <initializer_list>

namespace {

const char kParmsFunction[] = "iwiValidateInstallationParmsInternal";
const char k64BitFunction[] = "icsIsValid64BitPath";
const char kFilePath[] = "FilePath";
const size_t kMaxDescription = ZEB_CCH_INSTDESC - 1;

const char kFallbackNameInvalid[] =
    "Invalid InstallationName. The name '%1' is invalid, it must be a maximum of 16, "
    "a-z, A-Z, 0-9 characters only (ZEB4769)";
const char kFallbackNameReserved[] =
    "Invalid Installation Name. The name '%1' is reserved and cannot be specified for "
    "the Installation Name (ZEB4770)";
const char kFallbackNameInUse[] =
    "Invalid Installation Name. The name '%1' is already in use and cannot be specified "
    "for the Installation Name, select a new unique name. (ZEB4771)";
const char kFallbackDescTooLong[] = "Invalid Installation Description. The description is larger than the 64 "
                                    "characters permitted. (ZEB4772)";
const char kFallbackTelemetry[] =
    "Cannot install in same location as Skyloft HX Telemetry 7.0.1. Either uninstall this before installing "
    "Skyloft HX or choose a different destination. (ZEB4779)";
const char kFallbackPathInUse[] = "Invalid Installation Path. The path '%s' is already in use and cannot be "
                                  "specified for the installation path, select a different path. (ZEB4780)";

// The last message of the name and folder checks: the dialogs of one run share it.
char g_szMessage[ZEB_CCH_MSG];

// A property read that keeps a value too long for the buffer cut, with *pbCut set, rather than
// failing: what the user typed is judged, however long. FALSE (status 1603) on other failures.
BOOL ReadTyped(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPSTR pszValue, DWORD cchValue,
               BOOL* pbCut, UINT* puiStat) {
    *pbCut = FALSE;
    if (IsDeferredMode(hInstall))
        return GetPropertyValue(hInstall, pszFunction, pszName, pszValue, cchValue, puiStat);
    pszValue[0] = '\0';
    DWORD cch = cchValue;
    UINT uiRc = MsiGetPropertyA(hInstall, pszName, pszValue, &cch);
    if (uiRc == ERROR_MORE_DATA) {
        pszValue[cchValue - 1] = '\0';
        TraceText(pszFunction, "Property '%s' value is longer than %d characters", pszName,
                  (int)cchValue - 1);
        *pbCut = TRUE;
        return TRUE;
    }
    if (uiRc != ERROR_SUCCESS) {
        pszValue[0] = '\0';
        TraceText(pszFunction, "***msiGetProperty('%s') failed (%d)", pszName, (int)uiRc);
        *puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    TraceText(pszFunction, "Property '%s' value '%s' from property table", pszName, pszValue);
    return TRUE;
}

// Language message with its "%1" filled, or the fallback text when it cannot be loaded.
void FormatNlsMessage(char (&szOut)[ZEB_CCH_MSG], UINT uId, LPCSTR pszFallback, LPCSTR pszInsert) {
    char szText[ZEB_CCH_MSG];
    LoadNlsStringOr(szText, uId, pszFallback);
    iwiFormatMsgBuffer(szOut, szText, pszInsert, NULL, NULL, NULL);
}

void SetPathInUse(char (&szMessage)[ZEB_CCH_MSG], LPCSTR pszFolder) {
    TraceText(
        kParmsFunction,
        "***Error Invalid Installation Path. The path '%s' is already in use and cannot be specified for the "
        "installation path, select a different path.",
        pszFolder);
    char szText[ZEB_CCH_MSG];
    LoadNlsStringOr(szText, ZEB_MSG_PATH_IN_USE, kFallbackPathInUse);
    FillPathInsert(szMessage, szText, pszFolder);
}

// A registered program folder in the form with separator; empty when it has none.
void ReadRecordedFolder(LPCSTR pszKey, BOOL bView32, char (&szFolder)[ZEB_CCH_MSG]) {
    if (!GetRegistryText(pszKey, kFilePath, szFolder, sizeof(szFolder), bView32))
        szFolder[0] = '\0';
    NormalizePath(FALSE, szFolder);
    if (szFolder[0] != '\0')
        NormalizePath(TRUE, szFolder);
}

struct ParmsInput {
    char szName[ZEB_CCH_MSG];
    char szOldName[ZEB_CCH_MSG];
    char szDescription[ZEB_CCH_MSG];
    BOOL bDescriptionCut;
    char szProgram[ZEB_CCH_MSG]; // with separator
    char szPrevProgram[ZEB_CCH_MSG];
};

// The other installations of one registry view: FALSE when one has the name or the folder
// (message set).
BOOL CheckOtherInstallations(const ParmsInput& in, BOOL bView32, char (&szMessage)[ZEB_CCH_MSG]) {
    ZebRegKey hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_KEY_INSTALLATION, 0,
                      KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | (bView32 ? KEY_WOW64_32KEY : 0),
                      hKey.Out()) != ERROR_SUCCESS)
        return TRUE;
    for (DWORD dwIndex = 0;; dwIndex++) {
        char szSubkey[ZEB_CCH_PATH];
        DWORD cchSubkey = sizeof(szSubkey);
        LONG lRc = RegEnumKeyExA(hKey.Get(), dwIndex, szSubkey, &cchSubkey, NULL, NULL, NULL, NULL);
        if (lRc == ERROR_NO_MORE_ITEMS)
            return TRUE;
        if (lRc != ERROR_SUCCESS) {
            TraceText(kParmsFunction, "***RegEnum failed with %d", (int)lRc);
            return TRUE;
        }
        TraceText(kParmsFunction, "Found other installation name '%s'", szSubkey);
        if (_stricmp(szSubkey, in.szName) == 0) {
            TraceText(kParmsFunction,
                      "***Error Invalid Installation Name. The name '%s' is already in use and cannot be "
                      "specified for the Installation Name, select a new unique name.",
                      in.szName);
            FormatNlsMessage(szMessage, ZEB_MSG_NAME_IN_USE, kFallbackNameInUse, in.szName);
            return FALSE;
        }
        if (in.szPrevProgram[0] != '\0') {
            TraceText(kParmsFunction, "Skipped directory check as upgrage / maintenance");
            continue;
        }
        char szKey[ZEB_CCH_MSG];
        int cch = snprintf(szKey, sizeof(szKey), "%s\\%s", ZEB_KEY_INSTALLATION, szSubkey);
        if (cch < 0 || cch >= (int)sizeof(szKey))
            continue;
        char szFolder[ZEB_CCH_MSG];
        ReadRecordedFolder(szKey, bView32, szFolder);
        TraceText(kParmsFunction, "Which is installed in '%s'", szFolder);
        if (OverlapsPath(szFolder, in.szProgram)) {
            SetPathInUse(szMessage, in.szProgram);
            return FALSE;
        }
    }
}

// Name, reserved names, other installations, the old record's folder and the description, in
// that order; FALSE at the first that fails, with the message set.
BOOL CheckNameDescriptionFolder(const ParmsInput& in, char (&szMessage)[ZEB_CCH_MSG]) {
    if (iwiIsInstallNameInvalid(in.szName)) {
        TraceText(
            kParmsFunction,
            "***Error Invalid InstallationName. The name '%s' is invalid, it must be a maximum of 16, a-z, "
            "A-Z, 0-9 characters only",
            in.szName);
        FormatNlsMessage(szMessage, ZEB_MSG_NAME_INVALID, kFallbackNameInvalid, in.szName);
        return FALSE;
    }
    if (IsReservedInstallName(in.szName)) {
        TraceText(
            kParmsFunction,
            "***Error Invalid Installation Name. The name '%s' is reserved and cannot be specified for the "
            "Installation Name",
            in.szName);
        FormatNlsMessage(szMessage, ZEB_MSG_NAME_RESERVED, kFallbackNameReserved, in.szName);
        return FALSE;
    }
    if (strcmp(in.szName, in.szOldName) != 0) {
        for (int iLoop = 0; iLoop < 2; iLoop++) {
            TraceText(kParmsFunction, "Loop %d (0==64 bit tree, 1==32 bit tree)", iLoop);
            if (!CheckOtherInstallations(in, iLoop == 1, szMessage))
                return FALSE;
        }
    }
    if (in.szPrevProgram[0] == '\0') {
        TraceText(kParmsFunction, "Checking for pre-7.1 installation path");
        char szLegacy[ZEB_CCH_MSG];
        if (GetRegistryText(ZEB_KEY_OLD_RECORD, kFilePath, szLegacy, sizeof(szLegacy), TRUE)) {
            ReadRecordedFolder(ZEB_KEY_OLD_RECORD, TRUE, szLegacy);
            TraceText(kParmsFunction, "Pre-7.1 installed in '%s'", szLegacy);
            if (OverlapsPath(szLegacy, in.szProgram)) {
                SetPathInUse(szMessage, in.szProgram);
                return FALSE;
            }
        } else {
            TraceText(kParmsFunction, "No pre-7.1 installation.");
        }
    }
    if (in.bDescriptionCut || strlen(in.szDescription) > kMaxDescription) {
        TraceText(kParmsFunction,
                  "***Error Invalid Installation Description. The description is larger than the "
                  "64 characters permitted.");
        FormatNlsMessage(szMessage, ZEB_MSG_DESC_TOO_LONG, kFallbackDescTooLong, NULL);
        return FALSE;
    }
    TraceText(kParmsFunction, "Installation length is valid.");
    return TRUE;
}

void ValidatePath(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiValidatePath";
    char szBrowse[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_BROWSEPROPERTY, szBrowse, sizeof(szBrowse), puiStat))
        return;
    char szPath[ZEB_CCH_PATH];
    BOOL bTooLong = FALSE;
    if (!ReadTyped(hInstall, kFunction, szBrowse, szPath, sizeof(szPath), &bTooLong, puiStat))
        return;
    char szWhich[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBWHICHFOLDER, szWhich, sizeof(szWhich), puiStat))
        return;
    icsIsValid64BitPath(szPath);
    NormalizePath(FALSE, szPath);

    static const struct {
        LPCSTR pszWhich;
        int iKind;
        UINT uMessage;
    } kKinds[] = {{"pgm", ZEB_FOLDER_PROGRAM, ZEB_MSG_PGM_TOO_LONG},
                  {"dat", ZEB_FOLDER_DATA, ZEB_MSG_DAT_TOO_LONG},
                  {"log", ZEB_FOLDER_LOG, ZEB_MSG_LOG_TOO_LONG}};
    BOOL bValid = !bTooLong;
    for (const auto& kind : kKinds) {
        if (_stricmp(szWhich, kind.pszWhich) != 0)
            continue;
        // A path beyond any folder's capacity is too long whatever its kind.
        if (bTooLong || !IsValidPath(kind.iKind, szPath)) {
            bValid = FALSE;
            ShowNlsMessage(kind.uMessage, MB_ICONERROR, NULL, NULL);
        }
    }
    SetPropertyValue(hInstall, kFunction, PROP_ZEBPATHVALID, bValid ? "1" : "", puiStat);
}

void ValidateInstallationParms(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiValidateInstallationParms";
    char szUiLevel[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_UILEVEL, szUiLevel, sizeof(szUiLevel), puiStat))
        return;
    long long llUiLevel = 0;
    ReadClampedDecimal(szUiLevel, 0, 0x7fffffff, &llUiLevel);
    BOOL bValid = iwiValidateInstallationParmsInternal(g_szMessage);
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBINSTALLATIONPARMSVALID, bValid ? "1" : "", puiStat) ||
        bValid)
        return;
    if (llUiLevel == 5) {
        iiiDisplayMsgBox(g_szMessage, MB_ICONERROR);
        return;
    }
    TraceText(kFunction, "***Installation parameters refused without the full user interface");
    *puiStat = ZEB_RC_FAILURE;
}

void ValidateInstallPath(UINT* puiStat) {
    g_szMessage[0] = '\0';
    if (iwiValidateInstallationParmsInternal(g_szMessage))
        return;
    iiiDisplayMsgBox(g_szMessage, MB_ICONERROR);
    *puiStat = ZEB_RC_FAILURE;
}

void Validate64BitPath(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiValidate64BitPath";
    for (LPCSTR pszName : {PROP_ZEBPGMFOLDER, PROP_ZEBDATFOLDER, PROP_ZEBLOGFOLDER}) {
        char szFolder[ZEB_CCH_PATH];
        if (!GetPropertyValue(hInstall, kFunction, pszName, szFolder, sizeof(szFolder), puiStat))
            return;
        icsIsValid64BitPath(szFolder);
    }
}

// One recommended folder: warns when the earlier installation's choice could not be used.
BOOL WarnInaccessible(MSIHANDLE hInstall, LPCSTR pszFlag, LPCSTR pszLast,
                      const char (&szWorking)[ZEB_CCH_PATH], LPCSTR pszChosen, UINT uMessage, UINT* puiStat) {
    static const char kFunction[] = "iwiInaccessibleFolder";
    char szFlag[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, pszFlag, szFlag, sizeof(szFlag), puiStat))
        return FALSE;
    if (strcmp(szFlag, "1") != 0)
        return TRUE;
    char szRecommended[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, pszLast, szRecommended, sizeof(szRecommended), puiStat))
        return FALSE;
    NormalizePath(FALSE, szRecommended);
    // A freshly loaded copy has not chosen the folders yet: the property has them.
    char szChosen[ZEB_CCH_PATH];
    lstrcpynA(szChosen, szWorking, sizeof(szChosen));
    if (szChosen[0] == '\0' &&
        !GetPropertyValue(hInstall, kFunction, pszChosen, szChosen, sizeof(szChosen), puiStat))
        return FALSE;
    NormalizePath(FALSE, szChosen);
    ShowNlsMessage(uMessage, MB_ICONWARNING, szRecommended, szChosen);
    return TRUE;
}

void InaccessibleFolder(MSIHANDLE hInstall, UINT* puiStat) {
    const ZebWorkingFolders& folders = WorkingFolders();
    if (!WarnInaccessible(hInstall, PROP_ZEBINACCESSIBLELASTDAT, PROP_ZEBLASTDAT, folders.szData,
                          PROP_ZEBDATFOLDER, ZEB_MSG_DAT_INACCESSIBLE, puiStat))
        return;
    WarnInaccessible(hInstall, PROP_ZEBINACCESSIBLELASTLOG, PROP_ZEBLASTLOG, folders.szLog, PROP_ZEBLOGFOLDER,
                     ZEB_MSG_LOG_INACCESSIBLE, puiStat);
}

void UnableToCoexist(void) {
    char szVrmf[ZEB_CCH_VRMF];
    if (!GetRegistryText(ZEB_KEY_OLD_RECORD, "VRMF", szVrmf, sizeof(szVrmf), TRUE))
        return;
    TraceText("iwiUnableToCoexist", "Legacy installation at level '%s'", szVrmf);
    ShowNlsMessage(ZEB_MSG_LEGACY_PRESENT, MB_ICONINFORMATION, szVrmf, ZEB_LEGACY_COEXIST_LEVEL);
}

// ---- Volume label ----------------------------------------------------------------------------

const char kVolumeFunction[] = "iwiCheckVolumeLabel";

// In place: cut at the first line break, blanks removed from both ends.
void TrimLabel(LPSTR pszLabel) {
    pszLabel[strcspn(pszLabel, "\r\n")] = '\0';
    size_t cch = strlen(pszLabel);
    while (cch > 0 && pszLabel[cch - 1] == ' ')
        pszLabel[--cch] = '\0';
    size_t cchLead = strspn(pszLabel, " ");
    memmove(pszLabel, pszLabel + cchLead, cch - cchLead + 1);
}

// TRUE when the source drive is removable (an optical or removable drive of the machine's list).
BOOL IsRemovableSource(LPCSTR pszSourceDrive) {
    char szDrives[ZEB_CCH_MSG];
    DWORD cch = GetLogicalDriveStringsA(sizeof(szDrives) - 1, szDrives);
    if (cch == 0 || cch >= sizeof(szDrives) - 1) {
        TraceText(kVolumeFunction, "***Unable to get drives list");
        cch = 0;
    }
    szDrives[cch] = '\0';
    BOOL bRemovable = FALSE;
    for (LPCSTR pszRoot = szDrives; *pszRoot != '\0'; pszRoot += strlen(pszRoot) + 1) {
        UINT uType = GetDriveTypeA(pszRoot);
        TraceText(kVolumeFunction, "'%s' is drive type %d", pszRoot, (int)uType);
        if (_stricmp(pszRoot, pszSourceDrive) == 0) {
            TraceText(kVolumeFunction, "Found source drive '%s'", pszRoot);
            bRemovable = uType == DRIVE_CDROM || uType == DRIVE_REMOVABLE;
        }
    }
    return bRemovable;
}

// The volume label column of the Media table's first row; empty when it cannot be read.
void ReadMediaLabel(MSIHANDLE hInstall, char (&szLabel)[ZEB_CCH_PATH]) {
    szLabel[0] = '\0';
    ZebMsiHandle hDatabase(MsiGetActiveDatabase(hInstall));
    if (!hDatabase.IsValid()) {
        TraceText(kVolumeFunction, "***MsiGetActiveDatabase() failed");
        return;
    }
    ZebMsiHandle hView;
    UINT uiRc = MsiDatabaseOpenViewA(hDatabase.Get(), "SELECT * FROM Media", hView.Out());
    if (uiRc != ERROR_SUCCESS) {
        TraceText(kVolumeFunction, "***MsiDatabaseOpenView failed (%d)", (int)uiRc);
        return;
    }
    uiRc = MsiViewExecute(hView.Get(), 0);
    if (uiRc != ERROR_SUCCESS) {
        TraceText(kVolumeFunction, "***MsiViewExecute failed (%d)", (int)uiRc);
        return;
    }
    ZebMsiHandle hRecord;
    uiRc = MsiViewFetch(hView.Get(), hRecord.Out());
    if (uiRc != ERROR_SUCCESS) {
        TraceText(kVolumeFunction, "***MsiViewFetch failed (%d)", (int)uiRc);
    } else {
        DWORD cch = sizeof(szLabel);
        uiRc = MsiRecordGetStringA(hRecord.Get(), 5, szLabel, &cch);
        if (uiRc != ERROR_SUCCESS) {
            TraceText(kVolumeFunction, "***MsiRecordGetString failed (%d)", (int)uiRc);
            szLabel[0] = '\0';
        }
        if (!hRecord.Close())
            TraceText(kVolumeFunction, "***MsiCloseHandle failed");
    }
    uiRc = MsiViewClose(hView.Get());
    if (uiRc != ERROR_SUCCESS)
        TraceText(kVolumeFunction, "***MsiViewClose failed (%d)", (int)uiRc);
}

void CheckVolumeLabel(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szInstalled[ZEB_CCH_FLAG];
    char szCheck[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kVolumeFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled),
                          puiStat) ||
        !GetPropertyValue(hInstall, kVolumeFunction, PROP_ZEBCHECKVOLUME, szCheck, sizeof(szCheck), puiStat))
        return;
    if (szInstalled[0] != '\0' || szCheck[0] == '\0')
        return;

    // An unknown source is no drive of the list: not removable.
    char szDrive[ZEB_CCH_PATH] = "";
    if (GetInstallationSource(hInstall, kVolumeFunction, szDrive) == ZEB_RC_SUCCESS && szDrive[0] != '\0') {
        LPSTR pszSeparator = strchr(szDrive, '\\');
        if (pszSeparator != NULL)
            pszSeparator[1] = '\0';
        else if (strlen(szDrive) + 1 < sizeof(szDrive))
            strcat(szDrive, "\\"); // "D:" is the root "D:\"
        TraceText(kVolumeFunction, "Source drive is '%s'", szDrive);
    }
    if (!IsRemovableSource(szDrive)) {
        TraceText(kVolumeFunction, "Drive '%s' is not removable", szDrive);
        return;
    }
    TraceText(kVolumeFunction, "Drive '%s' is removable", szDrive);
    char szVolume[ZEB_CCH_PATH];
    if (!GetVolumeInformationA(szDrive, szVolume, sizeof(szVolume), NULL, NULL, NULL, NULL, 0)) {
        TraceText(kVolumeFunction, "***Can't get Volume label for '%s' %d", szDrive, (int)GetLastError());
        return;
    }
    TraceText(kVolumeFunction, "Volume label is '%s'", szVolume);
    char szMedia[ZEB_CCH_PATH];
    ReadMediaLabel(hInstall, szMedia);
    TraceText(kVolumeFunction, "Media table volume label is '%s'", szMedia);
    TrimLabel(szVolume);
    if (szMedia[strspn(szMedia, " ")] == '\0') {
        TraceText(kVolumeFunction, "Media table volume label is blank; not checking");
        return;
    }
    if (strcmp(szMedia, szVolume) != 0) {
        TraceText(kVolumeFunction, "***CD volume label is incorrect; should be '%s'", szMedia);
        *puiStat = ZEB_RC_FAILURE;
    }
}

} // namespace

void ResetValidateState(void) {
    g_szMessage[0] = '\0';
}

BOOL icsIsValid64BitPath(LPCSTR pszPath) {
    TraceText(k64BitFunction, "icsIsValid64BitPath: '%s' is valid on AMD64", pszPath);
    return TRUE;
}

BOOL iwiValidateInstallationParmsInternal(char (&szMessage)[ZEB_CCH_MSG]) {
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    char szInstalled[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kParmsFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled),
                          &uiStat))
        return TRUE;
    if (szInstalled[0] != '\0')
        return TRUE;
    ParmsInput in;
    memset(&in, 0, sizeof(in));
    BOOL bCut = FALSE;
    // A name or description of any length is judged; cut, it is still too long.
    if (!ReadTyped(hInstall, kParmsFunction, PROP_ZEBINSTALLINSTANCENAME, in.szName, sizeof(in.szName), &bCut,
                   &uiStat) ||
        !GetPropertyValue(hInstall, kParmsFunction, PROP_ZEBOLDINSTALLINSTANCENAME, in.szOldName,
                          sizeof(in.szOldName), &uiStat) ||
        !ReadTyped(hInstall, kParmsFunction, PROP_ZEBINSTALLINSTANCEDESC, in.szDescription,
                   sizeof(in.szDescription), &in.bDescriptionCut, &uiStat) ||
        !GetPropertyValue(hInstall, kParmsFunction, PROP_ZEBPGMFOLDER, in.szProgram, sizeof(in.szProgram),
                          &uiStat) ||
        !GetPropertyValue(hInstall, kParmsFunction, PROP_ZEBPREVPGM, in.szPrevProgram,
                          sizeof(in.szPrevProgram), &uiStat))
        return TRUE;
    NormalizePath(FALSE, in.szProgram);
    if (in.szProgram[0] != '\0')
        NormalizePath(TRUE, in.szProgram);
    if (GetHxRegistryInfo() != ZEB_RC_SUCCESS)
        return TRUE;

    BOOL bValid = CheckNameDescriptionFolder(in, szMessage);

    // The telemetry product's folder is checked whatever came before: its message wins.
    char szTelemetry[ZEB_CCH_MSG];
    lstrcpynA(szTelemetry, PrevRecord().szTelemetryFolder, sizeof(szTelemetry));
    NormalizePath(FALSE, szTelemetry);
    if (szTelemetry[0] != '\0') {
        NormalizePath(TRUE, szTelemetry);
        TraceText(kParmsFunction, "HXXR is at '%s'", szTelemetry);
        if (_stricmp(szTelemetry, in.szProgram) == 0) {
            TraceText(kParmsFunction, "***HXXR installed in same location as planned destination!");
            FormatNlsMessage(szMessage, ZEB_MSG_TELEMETRY_FOLDER, kFallbackTelemetry, NULL);
            bValid = FALSE;
        }
    }
    return bValid;
}

ZEB_ACTION iwiValidatePath(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiValidatePath", NULL))
        ValidatePath(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiValidateInstallationParms(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiValidateInstallationParms", NULL))
        ValidateInstallationParms(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiValidateInstallPath(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiValidateInstallPath", NULL))
        ValidateInstallPath(&uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiValidate64BitPath(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiValidate64BitPath", NULL))
        Validate64BitPath(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiInaccessibleFolder(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiInaccessibleFolder", NULL))
        InaccessibleFolder(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiUnableToCoexist(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiUnableToCoexist", NULL))
        UnableToCoexist();
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiCheckVolumeLabel(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiCheckVolumeLabel", NULL))
        CheckVolumeLabel(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
