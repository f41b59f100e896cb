// Previous installation record: what the installation a package upgrades was (release, components,
// language, folders, package of origin), the features it had, and the old Java add-on QB17.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnUtil.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kFunction[] = "GetHxRegistryInfo";
const char kQb17Function[] = "GetQb17Info";
const char kFeatureFunction[] = "IsOldFeatureInstalled";

const char kQb17UninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane Hexline Product Extension QB17";
const char kTelemetryKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane Skyloft HX Telemetry";
const char kQb17UpgradeCode[] = "{37C07B43-CAD0-11D4-B2C4-000629BE98FC}";
const char kOldLogDefaultsKey[] = ZEB_KEY_OLD_RECORD "\\Configuration\\LogDefaults";
const char kLogDefaultPath[] = "LogDefaultPath";
const char kNoVrmf[] = "0.0.0.0";
const char kQb17Jar[] = "com.corvane.hxjms.jar";

// Levels of the oldest releases, and the one from which the summary names the newer texts.
const LONG kLevel50 = 50000;
const LONG kLevel51 = 50100;
const LONG kLevel52 = 50200;
const LONG kLevel521 = 50201;
const LONG kLevel53 = 50300;

struct PrevState {
    ZebPrevRecord record;
    BOOL bProgramFolderRead; // ZEBPGMFOLDER, for GetQb17Info
    char szProgramFolder[ZEB_CCH_PATH];
};
PrevState g_prev;

typedef BOOL ZebPrevRecord::*Flag;

const struct {
    LPCSTR pszValue;
    Flag flag;
} kComponentFlags[] = {
    {"Server", &ZebPrevRecord::bServer},
    {"Local Clients\\Windows NT Client", &ZebPrevRecord::bWindowsClient},
    {"Local Clients\\Java Client", &ZebPrevRecord::bJavaClient},
    {"Development Toolkit", &ZebPrevRecord::bToolkit},
    {"Documentation\\Library HTML", &ZebPrevRecord::bHtmlLibrary},
    {"Documentation\\Internet Gateway", &ZebPrevRecord::bGatewayDocs},
    {"Documentation\\Library PDF", &ZebPrevRecord::bPdfLibrary},
    {"Internet Gateway", &ZebPrevRecord::bInternetGateway},
    {"JavaMsg", &ZebPrevRecord::bJavaClient},
    {"Explorer", &ZebPrevRecord::bExplorer},
    {"GuiAdmin", &ZebPrevRecord::bExplorer},
    {"XR_Service", &ZebPrevRecord::bTelemetryService},
    {"MFT_Agent", &ZebPrevRecord::bMftAgent},
    {"MFT_Logger", &ZebPrevRecord::bMftLogger},
    {"MFT_Service", &ZebPrevRecord::bMftService},
    {"MFT_Tools", &ZebPrevRecord::bMftTools},
    {"AMS", &ZebPrevRecord::bMessageSecurity},
    {"AMQP", &ZebPrevRecord::bAmqp},
    {"Web", &ZebPrevRecord::bWeb},
    {"JRE", &ZebPrevRecord::bJre},
};

// The language flags' values after "Additional Languages\", in flag order.
const LPCSTR kLanguageFlagParts[ZEB_PREV_LANGUAGES] = {"en_us", "fr_fr", "de_de", "es_es", "it_it",
                                                       "ja_jp", "ko_kr", "pt_br", "zh_tw", "zh_cn"};
const int kEnUs = 0, kFrFr = 1, kDeDe = 2, kEsEs = 3, kItIt = 4, kPtBr = 7;

// Any of these makes the old installation one of the server package.
const Flag kServerOriginFlags[] = {
    &ZebPrevRecord::bServer,
    &ZebPrevRecord::bHtmlLibrary,
    &ZebPrevRecord::bPdfLibrary,
    &ZebPrevRecord::bTelemetryService,
    &ZebPrevRecord::bMftAgent,
    &ZebPrevRecord::bMftLogger,
    &ZebPrevRecord::bMftService,
    &ZebPrevRecord::bMftTools,
    &ZebPrevRecord::bMessageSecurity,
    &ZebPrevRecord::bAmqp,
    &ZebPrevRecord::bWeb,
    &ZebPrevRecord::bExplorer,
};
const int kServerOriginLanguages[] = {kEnUs, kFrFr, kDeDe, kEsEs, kItIt, kPtBr};

// Documentation features by language: "docs_<part>_<kind>", the language code, the language flag.
const struct {
    LPCSTR pszPart;
    char cCode;
    int iFlag;
} kDocLanguages[] = {
    {"de_de", 'G', 2}, {"en_us", 'A', 0}, {"es_es", 'S', 3}, {"fr_fr", 'F', 1}, {"it_it", 'I', 4},
    {"ja_jp", 'J', 5}, {"ko_kr", 'K', 6}, {"pt_br", 'B', 7}, {"zh_cn", 'Z', 9}, {"zh_tw", 'T', 8},
};
const struct {
    LPCSTR pszKind;
    Flag flag;
} kDocKinds[] = {
    {"eclipse", &ZebPrevRecord::bHtmlLibrary},
    {"pdf", &ZebPrevRecord::bPdfLibrary},
    {"inet", &ZebPrevRecord::bGatewayDocs},
};

// Language codes, their names, and the name accepted when the code is unknown.
const struct {
    char cCode;
    LPCSTR pszName;
    LPCSTR pszAccepted;
} kLanguages[] = {
    {'A', "US English", "English"},
    {'B', "Brazilian Portuguese", "Portugese"},
    {'C', "Czech", "Czech"},
    {'F', "French", "French"},
    {'G', "German", "German"},
    {'H', "Hungarian", "Hungarian"},
    {'I', "Italian", "Italian"},
    {'J', "Japanese", "Japanese"},
    {'K', "Korean", "Korean"},
    {'P', "Polish", "Polish"},
    {'R', "Russian", "Russian"},
    {'S', "Spanish", "Spanish"},
    {'T', "Traditional Chinese", "Traditional Chinese"},
    {'Z', "Simplified Chinese", "Simplified Chinese"},
};

const char kDefaultLanguageName[] = "US English";
const char kDefaultLanguageCode = 'A';

// A level field of registry text; a long digit string is held to the int range.
long long LevelField(LPCSTR pszText) {
    long long ll;
    ReadClampedDecimal(pszText, INT_MIN, INT_MAX, &ll);
    return ll;
}

// V*10000 + R*100 + M of registry text, in 64 bits and held to the 32-bit range: a level too big
// for it reads as the newest there can be.
LONG ComputeLevel(LPCSTR pszVersion, LPCSTR pszRelease, LPCSTR pszModification) {
    long long ll =
        LevelField(pszVersion) * 10000 + LevelField(pszRelease) * 100 + LevelField(pszModification);
    if (ll > INT_MAX)
        return INT_MAX;
    if (ll < INT_MIN)
        return INT_MIN;
    return (LONG)ll;
}

// The summary feature table's row of that name (exact), or -1.
int FindSummaryRow(LPCSTR pszFeature) {
    for (int i = 0; i < ZEB_FEATURE_ROWS && SummaryFeature(i).pszName[0] != '\0'; i++) {
        if (strcmp(SummaryFeature(i).pszName, pszFeature) == 0)
            return i;
    }
    return -1;
}

BOOL IsDocLanguageSelected(int iLanguage) {
    const ZebPrevRecord& r = g_prev.record;
    return r.cLanguageCode == kDocLanguages[iLanguage].cCode || r.abLanguage[kDocLanguages[iLanguage].iFlag];
}

// "docs_<part>_<kind>" in a feature-name buffer.
BOOL DocFeatureName(char (&szName)[ZEB_CCH_FLAG + ZEB_CCH_FLAG], int iLanguage, int iKind) {
    int cch = snprintf(szName, sizeof(szName), "docs_%s_%s", kDocLanguages[iLanguage].pszPart,
                       kDocKinds[iKind].pszKind);
    return cch > 0 && cch < (int)sizeof(szName);
}

void ClearForRead(void) {
    ZebPrevRecord& r = g_prev.record;
    r.lProduct = 0;
    for (const auto& component : kComponentFlags)
        r.*component.flag = FALSE;
    memset(r.abLanguage, 0, sizeof(r.abLanguage));
    r.bQb17Java = FALSE;
    r.bQb17Samples = FALSE;
    r.szTelemetryFolder[0] = '\0';
}

// Text of a registry value that must not be empty to count; FALSE and an empty text otherwise.
BOOL ReadNonEmpty(LPCSTR pszKey, LPCSTR pszName, char (&szValue)[ZEB_CCH_PATH], BOOL bView32) {
    return GetRegistryText(pszKey, pszName, szValue, sizeof(szValue), bView32) && szValue[0] != '\0';
}

BOOL PublishDataFolder(MSIHANDLE hInstall, UINT* puiStat) {
    ZebPrevRecord& r = g_prev.record;
    if (r.szDataFolder[0] == '\0') {
        char szFolder[ZEB_CCH_PATH];
        if (ReadNonEmpty(ZEB_KEY_OLD_RECORD, "WorkPath", szFolder, TRUE)) {
            TraceText(kFunction, "Using pre 7.1 previous data path of '%s'", szFolder);
            lstrcpynA(r.szDataFolder, szFolder, sizeof(r.szDataFolder));
        } else if (ReadNonEmpty(ZEB_KEY_PRODUCT, "WorkPath", szFolder, TRUE) ||
                   ReadNonEmpty(ZEB_KEY_PRODUCT, "WorkPath", szFolder, FALSE)) {
            TraceText(kFunction, "Using 7.1 previous data path of '%s'", szFolder);
            lstrcpynA(r.szDataFolder, szFolder, sizeof(r.szDataFolder));
        }
    }
    if (r.szDataFolder[0] == '\0') {
        TraceText(kFunction, "No previous data directory located.");
        return TRUE;
    }
    return SetPropertyValue(hInstall, kFunction, PROP_ZEBLASTDAT, r.szDataFolder, puiStat);
}

void FindLogFolderInFiles(void) {
    ZebPrevRecord& r = g_prev.record;
    char szFolder[ZEB_CCH_PATH];
    char szFile[ZEB_CCH_PATH];
    if (FindConfiguredLogFolder(r.szDataFolder, szFolder, szFile) && szFolder[0] != '\0') {
        TraceText(kFunction, "Using previous log path of '%s' from '%s'", szFolder, szFile);
        lstrcpynA(r.szLogFolder, szFolder, sizeof(r.szLogFolder));
    }
}

BOOL PublishLogFolder(MSIHANDLE hInstall, UINT* puiStat) {
    ZebPrevRecord& r = g_prev.record;
    if (r.szLogFolder[0] == '\0') {
        char szFolder[ZEB_CCH_PATH];
        if (ReadNonEmpty(kOldLogDefaultsKey, kLogDefaultPath, szFolder, TRUE)) {
            TraceText(kFunction, "Using pre 7.1 previous log path of '%s'", szFolder);
            lstrcpynA(r.szLogFolder, szFolder, sizeof(r.szLogFolder));
        } else if (r.szDataFolder[0] != '\0') {
            FindLogFolderInFiles();
        }
    }
    if (r.szLogFolder[0] == '\0') {
        TraceText(kFunction, "No previous log directory located.");
        return TRUE;
    }
    return SetPropertyValue(hInstall, kFunction, PROP_ZEBLASTLOG, r.szLogFolder, puiStat);
}

void ReadComponentFlags(LPCSTR pszKey, BOOL bView32) {
    char szComponents[ZEB_CCH_MSG];
    int cch = snprintf(szComponents, sizeof(szComponents), "%s\\Components", pszKey);
    if (cch < 0 || cch >= (int)sizeof(szComponents))
        return;
    ZebRegKey hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, szComponents, 0, KEY_QUERY_VALUE | (bView32 ? KEY_WOW64_32KEY : 0),
                      hKey.Out()) != ERROR_SUCCESS)
        return;
    ZebPrevRecord& r = g_prev.record;
    auto has = [&hKey](LPCSTR pszValue) {
        LONG lRc = RegQueryValueExA(hKey.Get(), pszValue, NULL, NULL, NULL, NULL);
        if (lRc != ERROR_SUCCESS && lRc != ERROR_MORE_DATA)
            return FALSE;
        TraceText(kFunction, "Previous component '%s' present", pszValue);
        return TRUE;
    };
    for (const auto& component : kComponentFlags) {
        if (has(component.pszValue))
            r.*component.flag = TRUE;
    }
    for (int i = 0; i < ZEB_PREV_LANGUAGES; i++) {
        char szValue[ZEB_CCH_FLAG + ZEB_CCH_FLAG];
        snprintf(szValue, sizeof(szValue), "Additional Languages\\%s", kLanguageFlagParts[i]);
        if (has(szValue))
            r.abLanguage[i] = TRUE;
    }
}

void ReadLevel(LPCSTR pszKey, BOOL bView32) {
    ZebPrevRecord& r = g_prev.record;
    char szVersion[ZEB_CCH_PATH];
    char szRelease[ZEB_CCH_PATH];
    char szVrmf[ZEB_CCH_PATH];
    GetRegistryText(pszKey, "HXServerVersion", szVersion, sizeof(szVersion), bView32);
    GetRegistryText(pszKey, "HXServerRelease", szRelease, sizeof(szRelease), bView32);
    GetRegistryText(pszKey, "VRMF", szVrmf, sizeof(szVrmf), bView32);

    BOOL bComputed = TRUE;
    if (strcmp(szVersion, "5") == 0) {
        r.lProduct = kLevel50;
        bComputed = FALSE;
        if (strcmp(szRelease, "1") == 0)
            r.lProduct = kLevel51;
        else if (strcmp(szRelease, "2") == 0)
            r.lProduct = kLevel52;
        else if (strcmp(szRelease, "21") == 0)
            r.lProduct = kLevel521;
        else
            bComputed = TRUE;
    }
    if (bComputed)
        r.lProduct = ComputeLevel(szVersion, szRelease, DottedVersionField(szVrmf, 3));

    // A version that does not fit is unknown: cut, it would name another release.
    int cch = -1;
    if (szVrmf[0] != '\0')
        cch = snprintf(r.szVrmf, sizeof(r.szVrmf), "%s", szVrmf);
    else if (szVersion[0] != '\0' && szRelease[0] != '\0')
        cch = snprintf(r.szVrmf, sizeof(r.szVrmf), "%s.%s.0.0", szVersion, szRelease);
    if (cch < 0 || cch >= (int)sizeof(r.szVrmf))
        lstrcpynA(r.szVrmf, kNoVrmf, sizeof(r.szVrmf));
    TraceText(kFunction, "Using nPrevProduct as %d", (int)r.lProduct);
}

void SettleLanguage(void) {
    ZebPrevRecord& r = g_prev.record;
    r.cLanguageCode = (char)toupper((unsigned char)r.cLanguageCode);
    if (r.cLanguageCode == '\0') {
        TraceText(kFunction, "No language code");
    } else {
        BOOL bKnown = FALSE;
        for (const auto& language : kLanguages) {
            if (language.cCode == r.cLanguageCode) {
                lstrcpynA(r.szLanguage, language.pszName, sizeof(r.szLanguage));
                bKnown = TRUE;
            }
        }
        if (!bKnown) {
            TraceText(kFunction, "Unknown language code '%c'", r.cLanguageCode);
            r.cLanguageCode = '\0';
        }
    }
    if (r.cLanguageCode != '\0')
        return;
    for (const auto& language : kLanguages) {
        if (_stricmp(r.szLanguage, language.pszAccepted) == 0) {
            r.cLanguageCode = language.cCode;
            lstrcpynA(r.szLanguage, language.pszName, sizeof(r.szLanguage));
            return;
        }
    }
    if (r.szLanguage[0] != '\0')
        TraceText(kFunction, "Unknown language '%s'; assuming US English", r.szLanguage);
    else
        TraceText(kFunction, "No previous language; assuming US English");
    r.cLanguageCode = kDefaultLanguageCode;
    lstrcpynA(r.szLanguage, kDefaultLanguageName, sizeof(r.szLanguage));
}

void SettleOrigin(LPCSTR pszKey, BOOL bView32) {
    ZebPrevRecord& r = g_prev.record;
    char szPackage[ZEB_CCH_PATH];
    GetRegistryText(pszKey, "Package", szPackage, sizeof(szPackage), bView32);
    if (_stricmp(szPackage, "Client") == 0) {
        r.bClientOrigin = TRUE;
    } else if (_stricmp(szPackage, "Server") == 0) {
        char szType[ZEB_CCH_PATH];
        GetRegistryText(pszKey, "ProductType", szType, sizeof(szType), bView32);
        if (_stricmp(szType, "Server") == 0)
            r.bServerOrigin = TRUE;
    }
    for (Flag flag : kServerOriginFlags) {
        if (r.*flag)
            r.bServerOrigin = TRUE;
    }
    for (int iLanguage : kServerOriginLanguages) {
        if (r.abLanguage[iLanguage])
            r.bServerOrigin = TRUE;
    }
    if (r.bServerOrigin)
        TraceText(kFunction, "Existing installation origin is server CD");
    else if (r.bClientOrigin)
        TraceText(kFunction, "Existing installation origin is client CD");
    else if (r.lProduct != 0)
        TraceText(kFunction, "Existing installation origin is unknown");
}

// Steps on the old installation's own record: its components, level, folders, language, origin.
void ReadOldRecord(LPCSTR pszOldName, BOOL bPre71) {
    ZebPrevRecord& r = g_prev.record;
    char szKey[ZEB_CCH_MSG];
    BOOL bView32 = TRUE;
    if (bPre71) {
        TraceText(kFunction, "Pre-7.1 so 32 bit registry");
        lstrcpynA(szKey, ZEB_KEY_OLD_RECORD, sizeof(szKey));
    } else {
        TraceText(kFunction, "Checking for 8.0+ 64 bit installation");
        if (!MakeInstallationKey(szKey, pszOldName))
            return; // no installation has such a name
        if (GetRegistryValue(HKEY_LOCAL_MACHINE, szKey, "VRMF", NULL, FALSE)) {
            TraceText(kFunction, "Found!!");
            bView32 = FALSE;
        } else {
            TraceText(kFunction,
                      "Not found, so dropping back assuming a 32 bit or non existing installation");
        }
    }
    ReadComponentFlags(szKey, bView32);
    ReadLevel(szKey, bView32);
    if (r.lProduct >= kLevel51) {
        GetRegistryText(szKey, "FilePath", r.szProgramFolder, sizeof(r.szProgramFolder), bView32);
        GetRegistryText(szKey, "ProgramFolder", r.szStartFolder, sizeof(r.szStartFolder), bView32);
        char szCode[ZEB_CCH_PATH];
        GetRegistryText(szKey, "LanguageCode", szCode, sizeof(szCode), bView32);
        r.cLanguageCode = szCode[0];
        GetRegistryText(szKey, "Language", r.szLanguage, sizeof(r.szLanguage), bView32);
    }
    SettleLanguage();
    SettleOrigin(szKey, bView32);
}

void SetSummaryMessage(void) {
    ZebPrevRecord& r = g_prev.record;
    if (r.lProduct == 0)
        return;
    if (r.bClientOrigin)
        r.uSummaryMessage = r.lProduct >= kLevel53 ? 1066 : 1065;
    else
        r.uSummaryMessage = r.lProduct >= kLevel53 ? 1068 : 1067;
}

void FindTelemetry(void) {
    ZebPrevRecord& r = g_prev.record;
    if (!GetRegistryText(kTelemetryKey, "InstallLocation", r.szTelemetryFolder, sizeof(r.szTelemetryFolder),
                         TRUE)) {
        TraceText(kFunction, "Standalone HXXR not present");
        r.szTelemetryFolder[0] = '\0';
        return;
    }
    GetParentFolder(FALSE, r.szTelemetryFolder);
    TraceText(kFunction, "Found standalone HXXR installed at '%s'", r.szTelemetryFolder);
}

void MarkPreviousFeatures(void) {
    const ZebPrevRecord& r = g_prev.record;
    if (r.bInternetGateway)
        SetPrevInstalled("Internet_gateway");
    for (int i = 0; i < (int)(sizeof(kDocLanguages) / sizeof(kDocLanguages[0])); i++) {
        if (!IsDocLanguageSelected(i))
            continue;
        for (int k = 0; k < (int)(sizeof(kDocKinds) / sizeof(kDocKinds[0])); k++) {
            char szFeature[ZEB_CCH_FLAG + ZEB_CCH_FLAG];
            if (r.*kDocKinds[k].flag && DocFeatureName(szFeature, i, k))
                SetPrevInstalled(szFeature);
        }
    }
}

BOOL ReadHxRegistryInfo(MSIHANDLE hInstall, UINT* puiStat) {
    ClearForRead();
    char szInstalled[ZEB_CCH_CODE];
    char szOldName[ZEB_CCH_INSTNAME];
    if (!GetPropertyValue(hInstall, kFunction, PROP_INSTALLED, szInstalled, sizeof(szInstalled), puiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBOLDINSTALLINSTANCENAME, szOldName, sizeof(szOldName),
                          puiStat))
        return FALSE;
    BOOL bPre71 = IsReservedInstallName(szOldName);
    TraceText(kFunction, "Old Installation Name: %s, pre 7.1? %d", szOldName, bPre71 ? 1 : 0);
    if (!PublishDataFolder(hInstall, puiStat) || !PublishLogFolder(hInstall, puiStat))
        return FALSE;
    if (szOldName[0] != '\0')
        ReadOldRecord(szOldName, bPre71);
    SetSummaryMessage();

    ZebPrevRecord& r = g_prev.record;
    char szJava[ZEB_CCH_PATH];
    char szMsiJava[ZEB_CCH_PATH];
    GetQb17Info(szJava, szMsiJava, &r.bQb17Samples); // its failure leaves the add-on unknown
    r.bQb17Java = szJava[0] != '\0' || szMsiJava[0] != '\0';

    FindTelemetry();
    MarkPreviousFeatures();
    if (szInstalled[0] != '\0') {
        TraceText(kFunction, "Product is 'installed' so clearing nPrevProduct");
        r.lProduct = 0;
    }
    return TRUE;
}

// ---- QB17 ---------------------------------------------------------------------------------------

// The folder of the add-on's uninstaller: the text after the last quote but a closing one, less its
// last element.
void FolderOfUninstaller(LPCSTR pszUninstall, char (&szFolder)[ZEB_CCH_PATH]) {
    char szText[ZEB_CCH_PATH];
    lstrcpynA(szText, pszUninstall, sizeof(szText));
    size_t cch = strlen(szText);
    if (cch > 0 && szText[cch - 1] == '"')
        szText[cch - 1] = '\0';
    LPCSTR pszQuote = strrchr(szText, '"');
    lstrcpynA(szFolder, pszQuote != NULL ? pszQuote + 1 : szText, sizeof(szFolder));
    GetParentFolder(FALSE, szFolder);
}

// The last related product of the add-on whose InstalledProductName can be had; FALSE for none.
BOOL FindKeptQb17Product(char (&szKept)[ZEB_CCH_PRODUCTCODE]) {
    BOOL bKept = FALSE;
    for (DWORD dwIndex = 0;; dwIndex++) {
        char szProduct[ZEB_CCH_PRODUCTCODE];
        UINT uiRc = MsiEnumRelatedProductsA(kQb17UpgradeCode, 0, dwIndex, szProduct);
        if (uiRc != ERROR_SUCCESS) {
            if (uiRc != ERROR_NO_MORE_ITEMS)
                TraceText(kQb17Function, "***MsiEnumRelatedProducts(%s, %lu) failed (%u)", kQb17UpgradeCode,
                          (unsigned long)dwIndex, uiRc);
            break;
        }
        TraceText(kQb17Function, "Found QB17 product '%s'", szProduct);
        char szName[ZEB_CCH_PATH];
        DWORD cch = sizeof(szName);
        uiRc = MsiGetProductInfoA(szProduct, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, szName, &cch);
        if (uiRc == ERROR_MORE_DATA) {
            szName[0] = '\0'; // the name is there: the product is installed
            uiRc = ERROR_SUCCESS;
        }
        if (uiRc == ERROR_SUCCESS) {
            TraceText(kQb17Function, " - '%s' is installed", szName);
            lstrcpynA(szKept, szProduct, sizeof(szKept));
            bKept = TRUE;
        } else {
            TraceText(kQb17Function, " - not installed");
        }
    }
    return bKept;
}

// The first local component of the kept product that is a file, as the installer Java folder.
void FindQb17Component(LPCSTR pszKept, char (&szMsiJava)[ZEB_CCH_PATH], BOOL* pbSamples) {
    for (DWORD dwIndex = 0; szMsiJava[0] == '\0'; dwIndex++) {
        char szComponent[ZEB_CCH_PRODUCTCODE];
        UINT uiRc = MsiEnumComponentsA(dwIndex, szComponent);
        if (uiRc != ERROR_SUCCESS) {
            if (uiRc != ERROR_NO_MORE_ITEMS)
                TraceText(kQb17Function, "***MsiEnumComponents(%lu) failed (%u)", (unsigned long)dwIndex,
                          uiRc);
            return;
        }
        char szPath[ZEB_CCH_PATH];
        DWORD cch = sizeof(szPath);
        INSTALLSTATE iState = MsiGetComponentPathA(pszKept, szComponent, szPath, &cch);
        if (iState == INSTALLSTATE_UNKNOWN)
            continue; // another product's
        TraceText(kQb17Function, "Found component '%s' for '%s'", szComponent, pszKept);
        if (iState == INSTALLSTATE_MOREDATA) {
            TraceText(kQb17Function, "***Path of component '%s' longer than %d characters", szComponent,
                      (int)sizeof(szPath) - 1);
            continue;
        }
        if (iState != INSTALLSTATE_LOCAL)
            continue;
        TraceText(kQb17Function, "MSI Java path: '%s'", szPath);
        if (szPath[0] == '0')
            continue; // a registry key path
        lstrcpynA(szMsiJava, szPath, sizeof(szMsiJava));
        char szLower[ZEB_CCH_PATH];
        size_t i = 0;
        for (; szPath[i] != '\0'; i++)
            szLower[i] = (char)tolower((unsigned char)szPath[i]);
        szLower[i] = '\0';
        if (strstr(szLower, "samples") != NULL) {
            TraceText(kQb17Function, "Java samples are installed");
            if (pbSamples != NULL)
                *pbSamples = TRUE;
        }
    }
}

// An installation of the server or client package counts as installed when advertised or whole.
BOOL IsPackageInstalled(void) {
    static const struct {
        LPCSTR pszUpgradeCode;
        LPCSTR pszKind;
    } kPackages[] = {{ZEB_UPGRADE_SERVER, "Server"}, {ZEB_UPGRADE_CLIENT, "Client"}};
    BOOL bInstalled = FALSE;
    for (const auto& package : kPackages) {
        for (DWORD dwIndex = 0;; dwIndex++) {
            char szProduct[ZEB_CCH_PRODUCTCODE];
            if (MsiEnumRelatedProductsA(package.pszUpgradeCode, 0, dwIndex, szProduct) != ERROR_SUCCESS)
                break;
            INSTALLSTATE iState = MsiQueryProductStateA(szProduct);
            if (iState == INSTALLSTATE_ADVERTISED || iState == INSTALLSTATE_DEFAULT) {
                TraceText(kQb17Function, "Product %s (%s) is installed", szProduct, package.pszKind);
                bInstalled = TRUE;
            }
        }
    }
    return bInstalled;
}

// A release that carried the add-on's library in its own program folder.
void FindJarInProgramFolder(char (&szMsiJava)[ZEB_CCH_PATH]) {
    char szJavaFolder[ZEB_CCH_PATH];
    char szLib[ZEB_CCH_PATH];
    char szJar[ZEB_CCH_PATH];
    if (!MakeFilePath(szJavaFolder, g_prev.szProgramFolder, "java") ||
        !MakeFilePath(szLib, szJavaFolder, "lib") || !MakeFilePath(szJar, szLib, kQb17Jar) ||
        !FileExists(szJar))
        return;
    TraceText(kQb17Function, "Found: '%s'", szJar);
    TraceText(kQb17Function, "Non-MSI Java path: '%s'", szLib);
    lstrcpynA(szMsiJava, szLib, sizeof(szMsiJava));
}

} // namespace

BOOL FindConfiguredLogFolder(LPCSTR pszDataFolder, char (&szFolder)[ZEB_CCH_PATH],
                             char (&szFile)[ZEB_CCH_PATH]) {
    static const struct {
        LPCSTR pszName;
        BOOL bQuoted;
    } kFiles[] = {{"HXS.INI", FALSE}, {"config\\HXS.INI", FALSE}, {"config\\Config.reg", TRUE}};
    szFolder[0] = '\0';
    szFile[0] = '\0';
    if (pszDataFolder[0] == '\0')
        return TRUE;
    for (const auto& file : kFiles) {
        if (!MakeFilePath(szFile, pszDataFolder, file.pszName))
            continue; // no such file can exist
        if (!GetStringFromRegFile(szFile, kLogDefaultPath, szFolder, file.bQuoted))
            return FALSE;
        if (szFolder[0] != '\0')
            return TRUE;
    }
    szFile[0] = '\0';
    return TRUE;
}

ZebPrevRecord& PrevRecord(void) {
    return g_prev.record;
}

void ResetPrevState(void) {
    memset(&g_prev, 0, sizeof(g_prev));
    lstrcpynA(g_prev.record.szVrmf, kNoVrmf, sizeof(g_prev.record.szVrmf));
}

UINT GetHxRegistryInfo(void) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!ReadHxRegistryInfo(FrameSession(), &uiStat))
        uiStat = ZEB_RC_FAILURE;
    TraceText(kFunction, "Previous product: %d", (int)g_prev.record.lProduct);
    return uiStat;
}

void SetPrevInstalled(LPCSTR pszFeature) {
    int i = FindSummaryRow(pszFeature);
    if (i < 0) {
        TraceText(NULL, "***Previous feature '%s' not found in table", pszFeature);
        return;
    }
    SetSummaryFeaturePrevInstalled(i);
    TraceText(NULL, "Previous feature '%s' set installed", pszFeature);
}

int IsOldFeatureInstalled(LPCSTR pszFeature) {
    const ZebPrevRecord& r = g_prev.record;
    static const struct {
        LPCSTR pszFeature;
        Flag flag;
    } kNamed[] = {{"Server", &ZebPrevRecord::bServer},
                  {"Client", &ZebPrevRecord::bWindowsClient},
                  {"Internet_gateway", &ZebPrevRecord::bInternetGateway},
                  {"Toolkit", &ZebPrevRecord::bToolkit},
                  {"JavaMsg", &ZebPrevRecord::bJavaClient}};
    int iInstalled = 0;
    for (const auto& named : kNamed) {
        if (strcmp(pszFeature, named.pszFeature) == 0)
            iInstalled = r.*named.flag ? 1 : 0;
    }
    for (int i = 0; iInstalled == 0 && i < (int)(sizeof(kDocLanguages) / sizeof(kDocLanguages[0])); i++) {
        for (int k = 0; k < (int)(sizeof(kDocKinds) / sizeof(kDocKinds[0])); k++) {
            char szFeature[ZEB_CCH_FLAG + ZEB_CCH_FLAG];
            if (IsDocLanguageSelected(i) && DocFeatureName(szFeature, i, k) &&
                strcmp(pszFeature, szFeature) == 0)
                iInstalled = r.*kDocKinds[k].flag ? 1 : 0;
        }
    }
    if (iInstalled == 0) {
        int iRow = FindSummaryRow(pszFeature);
        if (iRow >= 0 && IsSummaryFeaturePrevInstalled(iRow)) {
            iInstalled = 1;
        } else if (iRow >= 0 && SummaryFeature(iRow).pszLegacyComponent[0] != '\0') {
            INSTALLSTATE iState = MsiGetComponentPathA(ZEB_LEGACY_PRODUCT_CODE,
                                                       SummaryFeature(iRow).pszLegacyComponent, NULL, NULL);
            if (iState == INSTALLSTATE_LOCAL || iState == INSTALLSTATE_SOURCE ||
                iState == INSTALLSTATE_SOURCEABSENT)
                iInstalled = 1;
        }
    }
    TraceText(kFeatureFunction, "Old feature %s is %d", pszFeature, iInstalled);
    return iInstalled;
}

UINT GetQb17Info(char (&szJavaFolder)[ZEB_CCH_PATH], char (&szMsiJavaFolder)[ZEB_CCH_PATH], BOOL* pbSamples) {
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    szJavaFolder[0] = '\0';
    szMsiJavaFolder[0] = '\0';
    if (pbSamples != NULL)
        *pbSamples = FALSE;
    if (!g_prev.bProgramFolderRead) {
        if (!GetPropertyValue(hInstall, kQb17Function, PROP_ZEBPGMFOLDER, g_prev.szProgramFolder,
                              sizeof(g_prev.szProgramFolder), &uiStat))
            return ZEB_RC_FAILURE;
        NormalizePath(FALSE, g_prev.szProgramFolder);
        g_prev.bProgramFolderRead = TRUE;
    }

    char szUninstall[ZEB_CCH_PATH];
    if (GetRegistryText(kQb17UninstallKey, "UninstallString", szUninstall, sizeof(szUninstall), TRUE) &&
        szUninstall[0] != '\0') {
        TraceText(kQb17Function, "Uninstall string: '%s'", szUninstall);
        FolderOfUninstaller(szUninstall, szJavaFolder);
        TraceText(kQb17Function, "Non-Msi Java path: '%s'", szJavaFolder);
    }

    char szKept[ZEB_CCH_PRODUCTCODE];
    if (FindKeptQb17Product(szKept))
        FindQb17Component(szKept, szMsiJavaFolder, pbSamples);

    // Looked at once, when not installed: an installed server or client package owns whatever is
    // in the program folder.
    char szInstalled[ZEB_CCH_CODE];
    if (!GetPropertyValue(hInstall, kQb17Function, PROP_INSTALLED, szInstalled, sizeof(szInstalled), &uiStat))
        return ZEB_RC_FAILURE;
    BOOL bPackageInstalled = szInstalled[0] == '\0' && IsPackageInstalled();

    LONG lLevel = g_prev.record.lProduct;
    if (szJavaFolder[0] == '\0' && szMsiJavaFolder[0] == '\0' && g_prev.szProgramFolder[0] != '\0' &&
        lLevel != kLevel51 && lLevel < kLevel53 && !bPackageInstalled)
        FindJarInProgramFolder(szMsiJavaFolder);
    return ZEB_RC_SUCCESS;
}
