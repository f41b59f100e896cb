// Installation registry record: find an installation by product code, folder or name, test
// whether others exist, the primary installation's name, and whether the run is a client run.
// Only reads: none of these writes the registry.
#include "zebiwicnUtil.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"

#include <stdio.h>
#include <string.h>

namespace {

const char kNameValue[] = "Name";
const char kDescriptionValue[] = "Description";
const char kIdentifierValue[] = "Identifier";
const char kVrmfValue[] = "VRMF";
const char kProductCodeValue[] = "ProductCode";
const char kFilePathValue[] = "FilePath";
const char kProductTypeValue[] = "ProductType";

REGSAM ViewFlag(BOOL bView32) {
    return bView32 ? KEY_WOW64_32KEY : 0;
}

template <size_t N> void Clear(char (*psz)[N]) {
    if (psz != NULL)
        (*psz)[0] = '\0';
}

// The value's whole text in a buffer of its own (empty for a value without text); FALSE when
// the value is missing.
BOOL ReadWholeValue(LPCSTR pszKey, LPCSTR pszName, ZebHeap<char>& text, BOOL bView32) {
    LPSTR pszText = NULL;
    BOOL bFound = GetRegistryValue(HKEY_LOCAL_MACHINE, pszKey, pszName, &pszText, bView32);
    text.Reset(pszText);
    return bFound;
}

LPCSTR TextOf(const ZebHeap<char>& text) {
    return text.IsValid() ? text.Get() : "";
}

// A value of a subkey read into a detail buffer (cut to it) and traced.
template <size_t N>
void ReadDetail(LPCSTR pszFunction, LPCSTR pszKey, LPCSTR pszName, char (&szOut)[N], BOOL bView32) {
    GetRegistryText(pszKey, pszName, szOut, N, bView32);
    TraceText(pszFunction, "%s value is '%s'", pszName, szOut);
}

// Whether the Components subkey of a record has the "Server" value.
BOOL HasServerComponent(LPCSTR pszKey, BOOL bView32) {
    char szComponents[ZEB_CCH_MSG];
    int cch = snprintf(szComponents, sizeof(szComponents), "%s\\Components", pszKey);
    if (cch < 0 || cch >= (int)sizeof(szComponents))
        return FALSE;
    return GetRegistryValue(HKEY_LOCAL_MACHINE, szComponents, "Server", NULL, bView32);
}

struct Details {
    char (*pszName)[ZEB_CCH_INSTNAME];
    char (*pszDescription)[ZEB_CCH_INSTDESC];
    char (*pszIdentifier)[ZEB_CCH_INSTID];
    char (*pszVrmf)[ZEB_CCH_VRMF];
    char (*pszProductCode)[ZEB_CCH_PRODUCTCODE];

    void ClearAll() const {
        Clear(pszName);
        Clear(pszDescription);
        Clear(pszIdentifier);
        Clear(pszVrmf);
        Clear(pszProductCode);
    }
};

// One view of the installation key: the first subkey whose compared value equals the sought
// text and that has a name, an identifier and each asked-for value.
BOOL SearchInstallations(const Details& out, LPCSTR pszValueName, LPCSTR pszSought, BOOL bView32) {
    static const char kFunction[] = "RetrieveInstallDetails";
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_KEY_INSTALLATION, 0,
                             KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(bView32), hKey.Out());
    if (lRc == ERROR_FILE_NOT_FOUND) {
        TraceText(kFunction, "INFO: registry key not found '%s'", ZEB_KEY_INSTALLATION);
        return FALSE;
    }
    if (lRc != ERROR_SUCCESS) {
        TraceText(kFunction, "***Open key error %d '%s'", (int)lRc, ZEB_KEY_INSTALLATION);
        return FALSE;
    }

    BOOL bFound = FALSE;
    for (DWORD dwIndex = 0; !bFound; dwIndex++) {
        TraceText(kFunction, "Searching index %d", (int)dwIndex);
        char szSubkey[ZEB_CCH_PATH];
        DWORD cchSubkey = sizeof(szSubkey);
        if (RegEnumKeyExA(hKey.Get(), dwIndex, szSubkey, &cchSubkey, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        TraceText(kFunction, "Found subkey '%s'", szSubkey);
        char szKey[ZEB_CCH_MSG];
        if (!MakeInstallationKey(szKey, szSubkey))
            continue;

        ZebHeap<char> compared;
        if (!ReadWholeValue(szKey, pszValueName, compared, bView32)) {
            TraceText(kFunction, "Could not retrieve installation that matches %s", pszSought);
            continue;
        }
        TraceText(kFunction, "%s value is '%s'", pszValueName, TextOf(compared));
        if (_stricmp(TextOf(compared), pszSought) != 0) {
            TraceText(kFunction, "Skipping - Not the one I'm looking for");
            continue;
        }

        ReadDetail(kFunction, szKey, kNameValue, *out.pszName, bView32);
        ReadDetail(kFunction, szKey, kDescriptionValue, *out.pszDescription, bView32);
        ReadDetail(kFunction, szKey, kIdentifierValue, *out.pszIdentifier, bView32);
        if (out.pszVrmf != NULL)
            ReadDetail(kFunction, szKey, kVrmfValue, *out.pszVrmf, bView32);
        if (out.pszProductCode != NULL)
            ReadDetail(kFunction, szKey, kProductCodeValue, *out.pszProductCode, bView32);
        if ((*out.pszName)[0] == '\0') {
            TraceText(kFunction, "Did not find the InstallationName value");
            out.ClearAll();
        }
        if ((*out.pszIdentifier)[0] == '\0' || (out.pszVrmf != NULL && (*out.pszVrmf)[0] == '\0') ||
            (out.pszProductCode != NULL && (*out.pszProductCode)[0] == '\0')) {
            TraceText(kFunction, "Did not find the InstallationIdentifier/VRMF value");
            out.ClearAll();
            continue;
        }
        bFound = TRUE;
    }
    return bFound;
}

// The old single record, whose compared value must equal the sought text.
BOOL MatchOldRecord(const Details& out, LPCSTR pszValueName, LPCSTR pszSought) {
    static const char kFunction[] = "RetrieveInstallDetails";
    TraceText(kFunction, "Could not find match in new location - lets try the old place");
    ZebHeap<char> compared;
    ReadWholeValue(ZEB_KEY_OLD_RECORD, pszValueName, compared, TRUE);
    TraceText(kFunction, "%s value is '%s'", pszValueName, TextOf(compared));
    if (_stricmp(TextOf(compared), pszSought) != 0)
        return FALSE;
    lstrcpynA(*out.pszName, ZEB_OLD_RECORD_NAME, ZEB_CCH_INSTNAME);
    if (out.pszVrmf != NULL)
        GetRegistryText(ZEB_KEY_OLD_RECORD, kVrmfValue, *out.pszVrmf, ZEB_CCH_VRMF, TRUE);
    if (out.pszProductCode != NULL)
        GetRegistryText(ZEB_KEY_OLD_RECORD, kProductCodeValue, *out.pszProductCode, ZEB_CCH_PRODUCTCODE,
                        TRUE);
    if ((out.pszVrmf != NULL && (*out.pszVrmf)[0] == '\0') ||
        (out.pszProductCode != NULL && (*out.pszProductCode)[0] == '\0')) {
        TraceText(kFunction, "Did not find the VRMF or ProductCode value");
        Clear(out.pszName);
        Clear(out.pszVrmf);
        Clear(out.pszProductCode);
        return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL IsReservedInstallName(LPCSTR pszName) {
    return _stricmp(pszName, ZEB_OLD_RECORD_NAME) == 0 || _stricmp(pszName, "CurrentVersion") == 0;
}

BOOL MakeInstallationKey(char (&szKey)[ZEB_CCH_MSG], LPCSTR pszName) {
    int cch = snprintf(szKey, sizeof(szKey), "%s\\%s", ZEB_KEY_INSTALLATION, pszName);
    if (cch < 0 || cch >= (int)sizeof(szKey)) {
        szKey[0] = '\0';
        return FALSE;
    }
    return TRUE;
}

BOOL RetrieveInstallDetails(char (&szName)[ZEB_CCH_INSTNAME], char (&szDescription)[ZEB_CCH_INSTDESC],
                            char (&szIdentifier)[ZEB_CCH_INSTID], char (*pszVrmf)[ZEB_CCH_VRMF],
                            char (*pszFoundCode)[ZEB_CCH_PRODUCTCODE], BOOL bOldRecord, LPCSTR pszProductCode,
                            LPCSTR pszFolder, int iViewMode) {
    static const char kFunction[] = "RetrieveInstallDetails";
    const Details out = {&szName, &szDescription, &szIdentifier, pszVrmf, pszFoundCode};
    out.ClearAll();
    BOOL bByCode = pszProductCode != NULL && pszProductCode[0] != '\0';
    if (!bByCode && (pszFolder == NULL || pszFolder[0] == '\0')) {
        TraceText(kFunction, "Failing - No product code or directory supplied.");
        return FALSE;
    }
    LPCSTR pszSought = bByCode ? pszProductCode : pszFolder;
    LPCSTR pszValueName = bByCode ? kProductCodeValue : kFilePathValue;
    TraceText(kFunction,
              bByCode ? "Looking for product code '%s'" : "Looking for installation directory '%s'",
              pszSought);

    if (SearchInstallations(out, pszValueName, pszSought, iViewMode == ZEB_VIEW_32))
        return TRUE;
    if (iViewMode == ZEB_VIEW_64_THEN_32) {
        TraceText(kFunction, "Could not find match in 64 bit new location - lets try the old place");
        return RetrieveInstallDetails(szName, szDescription, szIdentifier, pszVrmf, pszFoundCode, bOldRecord,
                                      pszProductCode, pszFolder, ZEB_VIEW_32);
    }
    return bOldRecord && MatchOldRecord(out, pszValueName, pszSought);
}

BOOL RetrieveInstallDetailsByName(LPCSTR pszName, char (*pszProductCode)[ZEB_CCH_PRODUCTCODE],
                                  char (*pszDescription)[ZEB_CCH_INSTDESC],
                                  char (*pszIdentifier)[ZEB_CCH_INSTID], char (*pszVrmf)[ZEB_CCH_VRMF],
                                  BOOL bAllowReserved, int iViewMode) {
    static const char kFunction[] = "RetrieveInstallDetailsByName";
    Clear(pszProductCode);
    Clear(pszDescription);
    Clear(pszIdentifier);
    Clear(pszVrmf);
    TraceText(kFunction, "Looking for installation name '%s'", pszName);

    char szCode[ZEB_CCH_PRODUCTCODE] = "";
    char szDescription[ZEB_CCH_INSTDESC] = "";
    char szIdentifier[ZEB_CCH_INSTID] = "";
    char szVrmf[ZEB_CCH_VRMF] = "";
    BOOL bHaveVrmf, bHaveDescription, bHaveIdentifier, bHaveCode;
    if (IsReservedInstallName(pszName)) {
        if (!bAllowReserved) {
            TraceText(kFunction, "Warning: reserved name used but function requested not to use it");
            return FALSE;
        }
        bHaveVrmf = GetRegistryText(ZEB_KEY_OLD_RECORD, kVrmfValue, szVrmf, sizeof(szVrmf), TRUE);
        bHaveCode = GetRegistryText(ZEB_KEY_OLD_RECORD, kProductCodeValue, szCode, sizeof(szCode), TRUE);
        lstrcpynA(szIdentifier, "0", sizeof(szIdentifier));
        bHaveDescription = bHaveIdentifier = TRUE;
    } else {
        char szKey[ZEB_CCH_MSG];
        BOOL bView32 = iViewMode == ZEB_VIEW_32;
        bHaveVrmf = MakeInstallationKey(szKey, pszName) &&
                    GetRegistryText(szKey, kVrmfValue, szVrmf, sizeof(szVrmf), bView32);
        if (!bHaveVrmf && iViewMode == ZEB_VIEW_64_THEN_32) {
            TraceText(kFunction, "Not found in normal tree, try 32 bit tree");
            bView32 = TRUE;
            bHaveVrmf =
                szKey[0] != '\0' && GetRegistryText(szKey, kVrmfValue, szVrmf, sizeof(szVrmf), bView32);
        }
        bHaveDescription = szKey[0] != '\0' && GetRegistryText(szKey, kDescriptionValue, szDescription,
                                                               sizeof(szDescription), bView32);
        bHaveIdentifier = szKey[0] != '\0' && GetRegistryText(szKey, kIdentifierValue, szIdentifier,
                                                              sizeof(szIdentifier), bView32);
        bHaveCode =
            szKey[0] != '\0' && GetRegistryText(szKey, kProductCodeValue, szCode, sizeof(szCode), bView32);
    }

    if (!(bHaveVrmf && bHaveDescription && bHaveIdentifier && bHaveCode)) {
        TraceText(kFunction, "Not Found: Results - %s, %s, %s, %s", szCode, szIdentifier, szVrmf,
                  szDescription);
        return FALSE;
    }
    TraceText(kFunction, "Found: %s, %s, %s, %s", szCode, szIdentifier, szVrmf, szDescription);
    if (pszProductCode != NULL)
        lstrcpynA(*pszProductCode, szCode, ZEB_CCH_PRODUCTCODE);
    if (pszDescription != NULL)
        lstrcpynA(*pszDescription, szDescription, ZEB_CCH_INSTDESC);
    if (pszIdentifier != NULL)
        lstrcpynA(*pszIdentifier, szIdentifier, ZEB_CCH_INSTID);
    if (pszVrmf != NULL)
        lstrcpynA(*pszVrmf, szVrmf, ZEB_CCH_VRMF);
    return TRUE;
}

BOOL icsCheckForInstalls(LPCSTR pszIgnoreName, BOOL bIgnoreByName, BOOL bIgnoreClients) {
    static const char kFunction[] = "icsCheckForInstalls";
    if (pszIgnoreName == NULL)
        pszIgnoreName = "";
    if (bIgnoreByName)
        TraceText(kFunction, "Checking to see if any installations exist on machine except %s",
                  pszIgnoreName);
    else
        TraceText(kFunction, "Checking to see if any installations exist on machine");
    TraceText(kFunction, bIgnoreClients ? "Ignoring client only installations"
                                        : "Taking client installations into account");

    for (int iLoop = 0; iLoop < 2; iLoop++) {
        BOOL bView32 = iLoop == 1;
        TraceText(kFunction, "Loop %d (0==64 bit tree, 1==32 bit tree)", iLoop);
        ZebRegKey hKey;
        LONG lRc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ZEB_KEY_INSTALLATION, 0,
                                 KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewFlag(bView32), hKey.Out());
        if (lRc == ERROR_FILE_NOT_FOUND)
            continue;
        if (lRc != ERROR_SUCCESS) {
            TraceText(kFunction, "***Open key error %d - assuming installs exist", (int)lRc);
            return TRUE;
        }
        char szSubkey[ZEB_CCH_PATH];
        if (!bIgnoreByName && !bIgnoreClients) {
            DWORD cchSubkey = sizeof(szSubkey);
            if (RegEnumKeyExA(hKey.Get(), 0, szSubkey, &cchSubkey, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
                TraceText(kFunction, "Found installation key - another install exists");
                return TRUE;
            }
            continue;
        }
        for (DWORD dwIndex = 0;; dwIndex++) {
            TraceText(kFunction, "Searching index %d", (int)dwIndex);
            DWORD cchSubkey = sizeof(szSubkey);
            if (RegEnumKeyExA(hKey.Get(), dwIndex, szSubkey, &cchSubkey, NULL, NULL, NULL, NULL) !=
                ERROR_SUCCESS)
                break;
            TraceText(kFunction, "Found subkey '%s'", szSubkey);
            if (bIgnoreByName && _stricmp(szSubkey, pszIgnoreName) == 0) {
                TraceText(kFunction, "Skipping - Its ME!");
                continue;
            }
            TraceText(kFunction, "Its not me, and its passed all checks  - Found someone!");
            if (bIgnoreClients) {
                char szKey[ZEB_CCH_MSG];
                if (!MakeInstallationKey(szKey, szSubkey) || !HasServerComponent(szKey, bView32)) {
                    TraceText(kFunction, "Skipping - Its a client product!");
                    continue;
                }
                TraceText(kFunction, "Its a server product, so ok");
            }
            TraceText(kFunction, "Found entry we cannot ignore, so installation exists on machine");
            return TRUE;
        }
    }

    if (!GetRegistryValue(HKEY_LOCAL_MACHINE, ZEB_KEY_OLD_RECORD, kProductCodeValue, NULL, TRUE)) {
        TraceText(kFunction, "No other installs exist.");
        return FALSE;
    }
    TraceText(kFunction, "Found data appearing to be a v7.0.1 install - checking for mirroring");
    BOOL bFound = TRUE;
    if (!bIgnoreByName) {
        TraceText(kFunction, "Since something is there, somethings installed!");
    } else {
        ZebHeap<char> mirrored;
        if (ReadWholeValue(ZEB_KEY_OLD_RECORD, kNameValue, mirrored, TRUE) &&
            strcmp(TextOf(mirrored), pszIgnoreName) == 0) {
            // A 7.0.1 installation mirrors its own record into the old key.
            TraceText(kFunction, "Installation name matches so ignoring");
            bFound = FALSE;
        } else {
            TraceText(kFunction, "No installation name so not registry mirroring - Weve found 7.0.1");
        }
    }
    if (bFound && bIgnoreClients) {
        if (!HasServerComponent(ZEB_KEY_OLD_RECORD, TRUE)) {
            TraceText(kFunction, "Skipping - Its a client product!");
            bFound = FALSE;
        } else {
            TraceText(kFunction, "Its a server product, so ok");
        }
    }
    return bFound;
}

BOOL icsGetPrimaryName(char (&szName)[ZEB_CCH_INSTNAME]) {
    static const char kFunction[] = "icsGetPrimaryName";
    szName[0] = '\0';
    if (GetRegistryText(ZEB_KEY_PRIMARY, kNameValue, szName, sizeof(szName), TRUE)) {
        TraceText(kFunction, "Primary (32 bit registry) located, name is '%s'", szName);
        return TRUE;
    }
    if (GetRegistryText(ZEB_KEY_PRIMARY, kNameValue, szName, sizeof(szName), FALSE)) {
        TraceText(kFunction, "Primary (64 bit registry) located, name is '%s'", szName);
        return TRUE;
    }
    TraceText(kFunction, "No primary located");
    szName[0] = '\0';
    return FALSE;
}

BOOL IsClientInstall(void) {
    static const char kFunction[] = "IsClientInstall";
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    char szValue[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBCLIENT, szValue, sizeof(szValue), &uiStat))
        return FALSE;
    if (szValue[0] != '\0')
        return TRUE;

    char szProduct[ZEB_CCH_MSG];
    char szVersionNT[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBPRODUCT, szProduct, sizeof(szProduct), &uiStat) ||
        !GetPropertyValue(hInstall, kFunction, PROP_VERSIONNT, szVersionNT, sizeof(szVersionNT), &uiStat))
        return FALSE;
    BOOL bClient = _stricmp(szProduct, "server") != 0 || szVersionNT[0] == '\0';

    if (!bClient) {
        if (!GetPropertyValue(hInstall, kFunction, PROP_INSTALLED, szValue, sizeof(szValue), &uiStat))
            return FALSE;
        if (szValue[0] != '\0') {
            TraceText(kFunction, "Product installed - working out name");
            char szCode[ZEB_CCH_CODE];
            if (!GetPropertyValue(hInstall, kFunction, PROP_PRODUCTCODE, szCode, sizeof(szCode), &uiStat))
                return FALSE;
            char szName[ZEB_CCH_INSTNAME];
            char szDescription[ZEB_CCH_INSTDESC];
            char szIdentifier[ZEB_CCH_INSTID];
            if (!RetrieveInstallDetails(szName, szDescription, szIdentifier, NULL, NULL, FALSE, szCode, NULL,
                                        ZEB_VIEW_64)) {
                TraceText(kFunction, "Could not find installation '%s'", szCode);
                TraceText(kFunction, "Unknown installation, no %s value", kProductTypeValue);
            } else {
                TraceText(kFunction, "Found matching installation '%s'", szName);
                char szKey[ZEB_CCH_MSG];
                MakeInstallationKey(szKey, szName);
                TraceText(kFunction, "Looking up value in '%s'", szKey);
                char szType[ZEB_CCH_PATH];
                if (!GetRegistryText(szKey, kProductTypeValue, szType, sizeof(szType), FALSE)) {
                    TraceText(kFunction, "No %s value", kProductTypeValue);
                } else if (_stricmp(szType, "Client") == 0) {
                    // A client installation's own package, started again from its cached copy,
                    // is a client run whatever the package says it is.
                    char szDatabase[ZEB_CCH_MSG];
                    char szOriginal[ZEB_CCH_MSG];
                    if (!GetPropertyValue(hInstall, kFunction, PROP_DATABASE, szDatabase, sizeof(szDatabase),
                                          &uiStat) ||
                        !GetPropertyValue(hInstall, kFunction, PROP_ORIGINALDATABASE, szOriginal,
                                          sizeof(szOriginal), &uiStat))
                        return FALSE;
                    if (_stricmp(szDatabase, szOriginal) == 0) {
                        TraceText(kFunction, "Invocation from ARP; setting client.");
                        bClient = TRUE;
                    } else {
                        TraceText(kFunction, "Invocation not from ARP.");
                    }
                }
            }
        }
    }
    if (bClient && !SetPropertyValue(hInstall, kFunction, PROP_ZEBCLIENT, "1", &uiStat))
        return FALSE;
    return bClient;
}
