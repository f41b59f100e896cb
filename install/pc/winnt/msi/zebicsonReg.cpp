// Registry value reads and writes.
#include "zebicson.h"
#include "zebhold.h"
#include "zebilogn.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const DWORD kCchDwordText = 256;

HKEY RootOrMachine(HKEY hRoot) {
    return hRoot != NULL ? hRoot : HKEY_LOCAL_MACHINE;
}

// The unnamed default value is traced as "".
LPCSTR NameOf(LPCSTR pszName) {
    return pszName != NULL ? pszName : "";
}

REGSAM View(BOOL bView32) {
    return bView32 ? KEY_WOW64_32KEY : 0;
}

// The number of bytes to write; FALSE when the size cannot be told.
BOOL WriteSize(DWORD dwType, const void* pData, LONG lSize, DWORD* pcbData) {
    if (dwType == REG_DWORD) {
        *pcbData = sizeof(DWORD);
        return TRUE;
    }
    if (lSize == -1) {
        if ((dwType != REG_SZ && dwType != REG_EXPAND_SZ) || pData == NULL)
            return FALSE;
        size_t cb = strlen((const char*)pData) + 1;
        if (cb > 0xFFFFFFFFu)
            return FALSE;
        *pcbData = (DWORD)cb;
        return TRUE;
    }
    if (lSize < 0)
        return FALSE;
    *pcbData = (DWORD)lSize;
    return TRUE;
}

// The value's text in a new buffer: REG_DWORD as decimal, strings as stored and terminated (a
// value may be stored without its terminator). NULL for other types; FALSE when the read failed.
BOOL ReadValueText(HKEY hKey, LPCSTR pszName, DWORD dwType, DWORD cbData, LPSTR* ppszText) {
    if (dwType != REG_DWORD && dwType != REG_SZ && dwType != REG_EXPAND_SZ)
        return TRUE;
    ZebHeap<BYTE> data((BYTE*)calloc((size_t)cbData + 1, 1));
    if (!data.IsValid()) {
        TraceText(NULL, "***Can't allocate %lu bytes for value '%s'", (unsigned long)cbData + 1,
                  NameOf(pszName));
        return FALSE;
    }
    DWORD cbRead = cbData;
    if (RegQueryValueExA(hKey, pszName, NULL, NULL, data.Get(), &cbRead) != ERROR_SUCCESS || cbRead > cbData)
        return FALSE;
    if (dwType != REG_DWORD) {
        data.Get()[cbRead] = '\0';
        *ppszText = (LPSTR)data.Detach();
        return TRUE;
    }
    DWORD dwValue = 0;
    memcpy(&dwValue, data.Get(), cbRead < sizeof(dwValue) ? cbRead : sizeof(dwValue));
    ZebHeap<char> text((char*)malloc(kCchDwordText));
    if (!text.IsValid()) {
        TraceText(NULL, "***Can't allocate %lu bytes for value '%s'", (unsigned long)kCchDwordText,
                  NameOf(pszName));
        return FALSE;
    }
    snprintf(text.Get(), kCchDwordText, "%lu", (unsigned long)dwValue);
    *ppszText = text.Detach();
    return TRUE;
}

} // namespace

BOOL GetRegistryValue(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, LPSTR* ppszText, BOOL bView32) {
    if (ppszText != NULL)
        *ppszText = NULL;
    ZebRegKey hKey;
    if (RegOpenKeyExA(RootOrMachine(hRoot), pszKey, 0, KEY_QUERY_VALUE | View(bView32), hKey.Out()) !=
        ERROR_SUCCESS)
        return FALSE;
    DWORD dwType = REG_NONE;
    DWORD cbData = 0;
    LONG lRc = RegQueryValueExA(hKey.Get(), pszName, NULL, &dwType, NULL, &cbData);
    if (lRc != ERROR_SUCCESS && lRc != ERROR_MORE_DATA)
        return FALSE;
    if (ppszText == NULL || cbData == 0)
        return TRUE;
    return ReadValueText(hKey.Get(), pszName, dwType, cbData, ppszText);
}

BOOL GetRegistryText(LPCSTR pszKey, LPCSTR pszName, LPSTR pszText, DWORD cchText, BOOL bView32) {
    if (cchText > 0)
        pszText[0] = '\0';
    LPSTR pszValue = NULL;
    if (!GetRegistryValue(HKEY_LOCAL_MACHINE, pszKey, pszName, &pszValue, bView32))
        return FALSE;
    ZebHeap<char> value(pszValue);
    if (value.IsValid() && cchText > 0)
        lstrcpynA(pszText, value.Get(), (int)cchText);
    return TRUE;
}

BOOL GetRegistryRaw(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, LPBYTE* ppData, LPDWORD pcbData, UINT* puiStat,
                    BOOL bView32) {
    if (ppData != NULL)
        *ppData = NULL;
    if (pcbData != NULL)
        *pcbData = 0;
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(RootOrMachine(hRoot), pszKey, 0, KEY_QUERY_VALUE | View(bView32), hKey.Out());
    if (lRc != ERROR_SUCCESS) {
        if (lRc != ERROR_FILE_NOT_FOUND) {
            if (puiStat != NULL)
                *puiStat = ZEB_RC_FAILURE;
            TraceText(NULL, "***Can't open key '%s' %d", pszKey, (int)lRc);
        }
        return FALSE;
    }
    DWORD cbData = 0;
    lRc = RegQueryValueExA(hKey.Get(), pszName, NULL, NULL, NULL, &cbData);
    if (lRc == ERROR_SUCCESS || lRc == ERROR_MORE_DATA) {
        if (ppData == NULL) {
            if (pcbData != NULL)
                *pcbData = cbData;
            return TRUE;
        }
        // Two zero bytes beyond the data terminate a string value stored without its terminator.
        ZebHeap<BYTE> data((BYTE*)calloc((size_t)cbData + 2, 1));
        if (!data.IsValid()) {
            if (puiStat != NULL)
                *puiStat = ZEB_RC_FAILURE;
            TraceText(NULL, "***Can't allocate %lu bytes for value '%s'", (unsigned long)cbData + 2,
                      NameOf(pszName));
            return FALSE;
        }
        DWORD cbRead = cbData;
        lRc = RegQueryValueExA(hKey.Get(), pszName, NULL, NULL, data.Get(), &cbRead);
        if (lRc == ERROR_SUCCESS) {
            if (pcbData != NULL)
                *pcbData = cbRead;
            *ppData = data.Detach();
            return TRUE;
        }
    }
    if (lRc != ERROR_FILE_NOT_FOUND) {
        if (puiStat != NULL)
            *puiStat = ZEB_RC_FAILURE;
        TraceText(NULL, "***Can't query value '%s' key '%s' %d", NameOf(pszName), pszKey, (int)lRc);
    }
    return FALSE;
}

BOOL SetRegistryValue(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, DWORD dwType, const void* pData,
                      LONG lSize) {
    DWORD cbData;
    if (!WriteSize(dwType, pData, lSize, &cbData))
        return FALSE;
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(RootOrMachine(hRoot), pszKey, 0, KEY_SET_VALUE, hKey.Out());
    if (lRc != ERROR_SUCCESS) {
        TraceText(NULL, "Error %d opening key '%s'", (int)lRc, pszKey);
        return FALSE;
    }
    lRc = RegSetValueExA(hKey.Get(), pszName, 0, dwType, (const BYTE*)pData, cbData);
    if (lRc != ERROR_SUCCESS) {
        TraceText(NULL, "Error %d setting key '%s' value '%s'", (int)lRc, pszKey, NameOf(pszName));
        return FALSE;
    }
    return TRUE;
}

BOOL SetRegistryValueWithStatus(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, DWORD dwType, const void* pData,
                                LONG lSize, UINT* puiStat, BOOL bView32) {
    DWORD cbData;
    if (!WriteSize(dwType, pData, lSize, &cbData))
        return FALSE;
    ZebRegKey hKey;
    LONG lRc = RegOpenKeyExA(RootOrMachine(hRoot), pszKey, 0, KEY_SET_VALUE | View(bView32), hKey.Out());
    if (lRc != ERROR_SUCCESS) {
        if (lRc != ERROR_FILE_NOT_FOUND) {
            if (puiStat != NULL)
                *puiStat = ZEB_RC_FAILURE;
            TraceText(NULL, "***Can't open key '%s' %d", pszKey, (int)lRc);
        }
        return FALSE;
    }
    lRc = RegSetValueExA(hKey.Get(), pszName, 0, dwType, (const BYTE*)pData, cbData);
    if (lRc != ERROR_SUCCESS) {
        if (puiStat != NULL)
            *puiStat = ZEB_RC_FAILURE;
        TraceText(NULL, "***Can't set value '%s' key '%s' %d", NameOf(pszName), pszKey, (int)lRc);
        return FALSE;
    }
    return TRUE;
}
