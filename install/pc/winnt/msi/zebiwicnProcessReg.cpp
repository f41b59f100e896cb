// Registry content: temporary Registry rows for the installation's values, the LastInstall.reg
// export of its key, and the folder tokens of the product's uninstall lists.
#include "zebiwicnProcessReg.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnDelete.h"
#include "zebiwicnUtil.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kMachineRoot[] = "HKEY_LOCAL_MACHINE";
const char kProductKey32[] = "SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX";
const char kInstallationKey32[] = "SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX\\Installation";

// A new text on the heap, or NULL.
char* Compose(LPCSTR pszFormat, ...) ZEB_PRINTF(1, 2);
char* Compose(LPCSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    int cch = vsnprintf(NULL, 0, pszFormat, args);
    va_end(args);
    if (cch < 0)
        return NULL;
    char* psz = (char*)malloc((size_t)cch + 1);
    if (psz == NULL)
        return NULL;
    va_start(args, pszFormat);
    vsnprintf(psz, (size_t)cch + 1, pszFormat, args);
    va_end(args);
    return psz;
}

// The Value column is formatted by the engine: "[" and "]" would start a property reference and
// a leading "#" would change the value's type.
char* EscapeFormatted(LPCSTR pszValue) {
    size_t cch = strlen(pszValue);
    char* psz = (char*)malloc(cch * 4 + 2);
    if (psz == NULL)
        return NULL;
    size_t iOut = 0;
    if (pszValue[0] == '#')
        psz[iOut++] = '#';
    for (size_t i = 0; i < cch; i++) {
        char c = pszValue[i];
        if (c == '[' || c == ']') {
            psz[iOut++] = '[';
            psz[iOut++] = '\\';
            psz[iOut++] = c;
            psz[iOut++] = ']';
        } else {
            psz[iOut++] = c;
        }
    }
    psz[iOut] = '\0';
    return psz;
}

// ---- The action --------------------------------------------------------------------------------

struct StackRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
};

const char kStackFunction[] = "iwiStackRegistryUpdates";

BOOL Get(StackRun& r, LPCSTR pszName, LPSTR pszValue, DWORD cchValue) {
    return GetPropertyValue(r.hInstall, kStackFunction, pszName, pszValue, cchValue, r.puiStat);
}

// The first failed row ends the action: an earlier failure must not read as success.
BOOL AddRow(StackRun& r, LPCSTR pszRoot, LPCSTR pszKey, LPCSTR pszName, LPCSTR pszValue) {
    char szFullKey[ZEB_CCH_MSG];
    if (snprintf(szFullKey, sizeof(szFullKey), "%s\\%s", pszRoot, pszKey) >= (int)sizeof(szFullKey)) {
        TraceText(kStackFunction, "***Key too long: '%s\\%s'", pszRoot, pszKey);
        *r.puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    if (UpdateRegistryTable(szFullKey, ZEB_REGISTRY_COMPONENT, pszName, pszValue) != ZEB_RC_SUCCESS) {
        *r.puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    return TRUE;
}

// The machine-wide folder value of one view, when the registry holds another folder.
BOOL UpdateFolderValue(StackRun& r, LPCSTR pszName, LPCSTR pszFolder, BOOL bView32) {
    char szOld[ZEB_CCH_PATH];
    GetRegistryText(ZEB_KEY_PRODUCT, pszName, szOld, sizeof(szOld), bView32);
    TraceText(kStackFunction, "%s value is '%s'", pszName, szOld);
    if (strcmp(szOld, pszFolder) == 0)
        return TRUE;
    // An empty value would take the folder away from every installation of the machine.
    if (pszFolder[0] == '\0') {
        TraceText(kStackFunction, "No folder known: %s not updated", pszName);
        return TRUE;
    }
    TraceText(kStackFunction, "Updating / Creating %s (old value %s)", pszName, szOld);
    return AddRow(r, kMachineRoot, bView32 ? kProductKey32 : ZEB_KEY_PRODUCT, pszName, pszFolder);
}

void StackRegistryUpdates(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    StackRun r = {hInstall, puiStat};
    char szName[ZEB_CCH_PATH];
    char szProduct[ZEB_CCH_FLAG];
    if (!Get(r, PROP_ZEBINSTALLINSTANCENAME, szName, sizeof(szName)) ||
        !Get(r, PROP_ZEBPRODUCT, szProduct, sizeof(szProduct)))
        return;
    // Without a name the rows would land on the key that lists every installation.
    if (szName[0] == '\0') {
        TraceText(kStackFunction, "***No installation name: no registry rows added");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    BOOL bServer = _stricmp(szProduct, "server") == 0;
    char szKey64[ZEB_CCH_MSG];
    char szKey32[ZEB_CCH_MSG];
    if (!MakeInstallationKey(szKey64, szName) ||
        snprintf(szKey32, sizeof(szKey32), "%s\\%s", kInstallationKey32, szName) >= (int)sizeof(szKey32)) {
        TraceText(kStackFunction, "***Installation key too long for '%s'", szName);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    LPCSTR pszPackage = bServer ? "Server" : "Client";
    LPCSTR pszType = IsClientInstall() ? "Client" : "Server";
    if (!AddRow(r, kMachineRoot, szKey64, "Package", pszPackage) ||
        !AddRow(r, kMachineRoot, szKey32, "Package", pszPackage) ||
        !AddRow(r, kMachineRoot, szKey64, "ProductType", pszType) ||
        !AddRow(r, kMachineRoot, szKey32, "ProductType", pszType))
        return;

    char szRemove[ZEB_CCH_FEATURELIST];
    if (!Get(r, PROP_ZEBREMOVE, szRemove, sizeof(szRemove)))
        return;
    char szDataFolder[ZEB_CCH_PATH];
    if (!Get(r, PROP_ZEBDATFOLDER, szDataFolder, sizeof(szDataFolder)))
        return;
    NormalizePath(FALSE, szDataFolder);
    if (szRemove[0] != '1') {
        char szLogFolder[ZEB_CCH_PATH] = "";
        if (bServer && !Get(r, PROP_ZEBLOGFOLDER, szLogFolder, sizeof(szLogFolder)))
            return;
        NormalizePath(FALSE, szLogFolder);
        if (!UpdateFolderValue(r, "WorkPath", szDataFolder, FALSE) ||
            (bServer && !UpdateFolderValue(r, "LogDefaultPath", szLogFolder, FALSE)))
            return;
        char szNo32[ZEB_CCH_FLAG];
        if (!Get(r, PROP_ZEBNO32BIT, szNo32, sizeof(szNo32)))
            return;
        if (szNo32[0] == '\0' && (!UpdateFolderValue(r, "WorkPath", szDataFolder, TRUE) ||
                                  (bServer && !UpdateFolderValue(r, "LogDefaultPath", szLogFolder, TRUE))))
            return;
    } else {
        TraceText(kStackFunction, "Not updating WorkPath / LogDefaultPath as uninstalling");
    }

    char szInstalled[ZEB_CCH_PATH];
    if (!Get(r, PROP_INSTALLED, szInstalled, sizeof(szInstalled)))
        return;
    if (szInstalled[0] != '\0' || szDataFolder[0] == '\0')
        return;
    // The record an earlier installation left in this data folder is stale for the new one.
    char szLastInstall[ZEB_CCH_PATH];
    if (!MakeFilePath(szLastInstall, szDataFolder, "Config\\LastInstall.reg")) {
        TraceText(kStackFunction, "***Path too long: '%s\\Config\\LastInstall.reg'", szDataFolder);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    if (FileExists(szLastInstall) &&
        StackDeleteFiles(szLastInstall, ZEB_REGISTRY_COMPONENT, ZEB_STACK_ON_INSTALL) != ZEB_RC_SUCCESS)
        *puiStat = ZEB_RC_FAILURE;
}

// ---- Export ------------------------------------------------------------------------------------

// The text of a string value up to its terminator, or its whole size when it lacks one, with a
// backslash before every double quote, apostrophe and backslash.
char* EscapeRegText(const BYTE* pbData, DWORD cbData) {
    const BYTE* pbEnd = (const BYTE*)memchr(pbData, '\0', cbData);
    size_t cch = pbEnd != NULL ? (size_t)(pbEnd - pbData) : cbData;
    char* psz = (char*)malloc(cch * 2 + 1);
    if (psz == NULL)
        return NULL;
    size_t iOut = 0;
    for (size_t i = 0; i < cch; i++) {
        char c = (char)pbData[i];
        if (c == '"' || c == '\'' || c == '\\')
            psz[iOut++] = '\\';
        psz[iOut++] = c;
    }
    psz[iOut] = '\0';
    return psz;
}

// "hex:0AFF" and the like, sized from the data.
char* HexValue(LPCSTR pszPrefix, const BYTE* pbData, DWORD cbData) {
    size_t cchPrefix = strlen(pszPrefix);
    size_t cch = cchPrefix + (size_t)cbData * 2 + 1;
    char* psz = (char*)malloc(cch);
    if (psz == NULL)
        return NULL;
    memcpy(psz, pszPrefix, cchPrefix);
    HexText(psz + cchPrefix, (DWORD)(cch - cchPrefix), pbData, cbData);
    return psz;
}

// The value's part of its line, or NULL (traced) for a type the export does not write.
char* FormatRegValue(LPCSTR pszName, DWORD dwType, const BYTE* pbData, DWORD cbData, BOOL* pbUnsupported) {
    *pbUnsupported = FALSE;
    switch (dwType) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        ZebHeap<char> text(EscapeRegText(pbData, cbData));
        return text.IsValid() ? Compose("\"%s\"", text.Get()) : NULL;
    }
    case REG_BINARY:
        return HexValue("hex:", pbData, cbData);
    case REG_NONE:
        return HexValue("hex(0):", pbData, cbData);
    case REG_MULTI_SZ:
        return HexValue("hex(7):", pbData, cbData);
    case REG_DWORD: {
        DWORD dwValue = 0;
        memcpy(&dwValue, pbData, cbData < sizeof(dwValue) ? cbData : sizeof(dwValue));
        return Compose("dword:%8.8lx", (unsigned long)dwValue);
    }
    default:
        TraceText(NULL, "***Unsupported value type %s 0x%8.8lx", pszName, (unsigned long)dwType);
        *pbUnsupported = TRUE;
        return NULL;
    }
}

} // namespace

UINT UpdateRegistryTable(LPCSTR pszFullKey, LPCSTR pszComponent, LPCSTR pszName, LPCSTR pszValue) {
    static const char kFunction[] = "UpdateRegistryTable";
    TraceText(NULL, "UpdateRegistryTable() key: '%s' name '%s'", pszFullKey, pszName);
    if (pszValue != NULL)
        TraceText(NULL, "                         value: '%s'", pszValue);

    LPCSTR pszSlash = strchr(pszFullKey, '\\');
    if (pszSlash == NULL || pszSlash[1] == '\0') {
        TraceText(NULL, "***Invalid subkey in '%s'", pszFullKey);
        return ZEB_RC_FAILURE;
    }
    int iRoot = RegistryRootNumber(pszFullKey, (size_t)(pszSlash - pszFullKey));
    if (iRoot < 0) {
        TraceText(NULL, "***Invalid root key in '%s'", pszFullKey);
        return ZEB_RC_FAILURE;
    }
    LPCSTR pszKey = pszSlash + 1;

    ZebHeap<char> value(EscapeFormatted(pszValue != NULL ? pszValue : ""));
    if (!value.IsValid()) {
        TraceText(NULL, "***Unable to allocate the value of '%s'", pszName);
        return ZEB_RC_FAILURE;
    }
    ULONG_PTR values[6] = {0,
                           (ULONG_PTR)(unsigned)iRoot,
                           (ULONG_PTR)pszKey,
                           (ULONG_PTR)pszName,
                           (ULONG_PTR)value.Get(),
                           (ULONG_PTR)pszComponent};
    char szId[ZEB_CCH_PATH];
    if (AddCountedRow(kFunction, "Registry", pszComponent, 6, 0x2, values, &szId) != ZEB_RC_SUCCESS)
        return ZEB_RC_FAILURE;
    TraceText(NULL, "Registry table record added:");
    TraceText(NULL, "ID '%s'; root '%d'; subkey '%s' name '%s'; value '%s'; component '%s'", szId, iRoot,
              pszKey, pszName, pszValue != NULL ? pszValue : "", pszComponent);
    return ZEB_RC_SUCCESS;
}

BOOL OutputRegLine(FILE* fp, LPCSTR pszFormat, LPCSTR pszLine) {
    if (pszLine[0] == '[')
        TraceText(NULL, "Key '%s'", pszLine);
    else
        TraceText(NULL, "    %s", pszLine);
    // Flushed line by line, so that a failed write is seen at the line that failed.
    return fprintf(fp, pszFormat, pszLine) >= 0 && fflush(fp) == 0;
}

BOOL SaveKeyValue(LPCSTR pszName, DWORD dwType, const BYTE* pbData, DWORD cbData, FILE* fp) {
    if (_stricmp(pszName, "FilePath") == 0) {
        TraceText(NULL, "Skipping processing of FilePath for lastinstall.reg");
        return TRUE;
    }
    BOOL bUnsupported = FALSE;
    ZebHeap<char> value(FormatRegValue(pszName, dwType, pbData, cbData, &bUnsupported));
    if (bUnsupported)
        return FALSE;
    ZebHeap<char> line(!value.IsValid()     ? NULL
                       : pszName[0] == '\0' ? Compose("@=%s", value.Get())
                                            : Compose("\"%s\"=%s", pszName, value.Get()));
    if (!line.IsValid()) {
        TraceText(NULL, "***Unable to allocate the line of value '%s'", pszName);
        return FALSE;
    }
    if (!OutputRegLine(fp, ZEB_REG_VALUE_FORMAT, line.Get())) {
        TraceText(NULL, "***Can't write value to .reg file %d", errno);
        return FALSE;
    }
    return TRUE;
}

BOOL SaveKeysAndValues(HKEY hKey, LPCSTR pszKeyPath, FILE* fp) {
    ZebHeap<char> header(Compose("[%s\\%s]", kMachineRoot, pszKeyPath));
    if (!header.IsValid() || !OutputRegLine(fp, ZEB_REG_KEY_FORMAT, header.Get())) {
        TraceText(NULL, "***Can't write to .reg file %d", errno);
        return FALSE;
    }

    DWORD cchMaxName = 0;
    DWORD cbMaxData = 0;
    LONG lRc =
        RegQueryInfoKeyA(hKey, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &cchMaxName, &cbMaxData, NULL, NULL);
    if (lRc != ERROR_SUCCESS) {
        TraceText(NULL, "***Can't query key info %d", (int)lRc);
        return FALSE;
    }
    ZebHeap<char> name((char*)malloc((size_t)cchMaxName + 1));
    if (!name.IsValid()) {
        TraceText(NULL, "***Unable to allocate value name buffer %d", (int)cchMaxName + 1);
        return FALSE;
    }
    ZebHeap<BYTE> data((BYTE*)malloc((size_t)cbMaxData + 1));
    if (!data.IsValid()) {
        TraceText(NULL, "***Unable to allocate value data buffer %d", (int)cbMaxData + 1);
        return FALSE;
    }
    for (DWORD i = 0;; i++) {
        DWORD cchName = cchMaxName + 1;
        DWORD cbData = cbMaxData + 1;
        DWORD dwType = 0;
        lRc = RegEnumValueA(hKey, i, name.Get(), &cchName, NULL, &dwType, data.Get(), &cbData);
        if (lRc == ERROR_NO_MORE_ITEMS)
            break;
        if (lRc != ERROR_SUCCESS) {
            TraceText(NULL, "***Can't enumerate Key values: '%s' %d", pszKeyPath, (int)lRc);
            return FALSE;
        }
        if (!SaveKeyValue(name.Get(), dwType, data.Get(), cbData, fp))
            return FALSE;
    }

    for (DWORD i = 0;; i++) {
        char szSubKey[ZEB_CCH_PATH];
        DWORD cchSubKey = sizeof(szSubKey);
        lRc = RegEnumKeyExA(hKey, i, szSubKey, &cchSubKey, NULL, NULL, NULL, NULL);
        if (lRc == ERROR_NO_MORE_ITEMS)
            break;
        if (lRc != ERROR_SUCCESS) {
            TraceText(NULL, "***Can't enumerate key: '%s' %d", pszKeyPath, (int)lRc);
            return FALSE;
        }
        ZebHeap<char> path(Compose("%s\\%s", pszKeyPath, szSubKey));
        if (!path.IsValid()) {
            TraceText(NULL, "***Can't open subKey: '%s' %d", szSubKey, (int)ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        ZebRegKey hSubKey;
        lRc = RegOpenKeyExA(hKey, szSubKey, 0, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, hSubKey.Out());
        if (lRc == ERROR_ACCESS_DENIED) {
            TraceText(NULL, "***ERROR_ACCESS_DENIED subKey: '%s'", path.Get());
            return FALSE;
        }
        if (lRc != ERROR_SUCCESS) {
            TraceText(NULL, "***Can't open subKey: '%s' %d", path.Get(), (int)lRc);
            return FALSE;
        }
        if (!SaveKeysAndValues(hSubKey.Get(), path.Get(), fp))
            return FALSE;
    }
    return TRUE;
}

UINT SubstituteLine(char (&szLine)[ZEB_CCH_MSG]) {
    static const char kFunction[] = "SubstituteLine";
    MSIHANDLE hInstall = FrameSession();
    char szOut[ZEB_CCH_MSG];
    size_t cchOut = 0;
    BOOL bQuoted = FALSE;
    BOOL bFits = TRUE;
    for (size_t i = 0; szLine[i] != '\0' && bFits; i++) {
        char c = szLine[i];
        if (c == '"' && (i == 0 || szLine[i - 1] != '\\'))
            bQuoted = !bQuoted;
        LPCSTR pszClose = NULL;
        if (c == '<' || c == '%')
            pszClose = strchr(szLine + i + 1, c == '<' ? '>' : '%');
        if (pszClose == NULL) {
            if (cchOut + 1 >= sizeof(szOut))
                bFits = FALSE;
            else
                szOut[cchOut++] = c;
            continue;
        }
        char szName[ZEB_CCH_MSG];
        size_t cchName = (size_t)(pszClose - (szLine + i + 1));
        memcpy(szName, szLine + i + 1, cchName);
        szName[cchName] = '\0';
        i += cchName + 1;

        char szValue[ZEB_CCH_MSG] = "";
        LPCSTR pszProperty = szName;
        if (strcmp(szName, "PGMDIR") == 0)
            pszProperty = PROP_ZEBPGMREGPATH;
        else if (strcmp(szName, "DATDIR") == 0)
            pszProperty = PROP_ZEBDATREGPATH;
        else if (strcmp(szName, "LOGDIR") == 0)
            pszProperty = PROP_ZEBLOGREGPATH;
        if (strcmp(szName, "ZEBMPECN.H") == 0) {
            lstrcpynA(szValue, "ZEBMPECN.H", sizeof(szValue));
        } else if (pszProperty[0] != '\0') {
            UINT uiStat = ZEB_RC_SUCCESS;
            if (!GetPropertyValue(hInstall, kFunction, pszProperty, szValue, sizeof(szValue), &uiStat)) {
                szOut[cchOut] = '\0';
                lstrcpynA(szLine, szOut, sizeof(szLine));
                return ZEB_RC_FAILURE;
            }
        }
        // Inside a quoted registry string a path's backslashes must be doubled to stay a path.
        for (size_t j = 0; szValue[j] != '\0' && bFits; j++) {
            size_t cchNeeded = bQuoted && szValue[j] == '\\' ? 2 : 1;
            if (cchOut + cchNeeded >= sizeof(szOut)) {
                bFits = FALSE;
                break;
            }
            if (cchNeeded == 2)
                szOut[cchOut++] = '\\';
            szOut[cchOut++] = szValue[j];
        }
    }
    if (!bFits) {
        // A cut line would name another file.
        TraceText(kFunction, "***Line too long after substitution: '%s'", szLine);
        return ZEB_RC_FAILURE;
    }
    szOut[cchOut] = '\0';
    lstrcpynA(szLine, szOut, sizeof(szLine));
    return ZEB_RC_SUCCESS;
}

ZEB_ACTION iwiStackRegistryUpdates(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kStackFunction, NULL))
        StackRegistryUpdates(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
