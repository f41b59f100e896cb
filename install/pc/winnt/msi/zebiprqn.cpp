// Prerequisite probes: file versions in the system folder, registry values, the system's version
// and the secure channel's cipher strength.
#include "zebiprqn.h"

#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"

#define SECURITY_WIN32
#include <security.h>

#include <schannel.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kIeKey[] = "SOFTWARE\\Microsoft\\Internet Explorer";
const char kJvmKey[] = "SOFTWARE\\Classes\\CLSID\\{08B0E5C0-4FCB-11CF-AAA5-00401C608500}\\InstalledVersion";
const char kHotfixKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

// The secure channel reports more than this as its strongest export-free cipher.
const DWORD kStrongestReported = 128;
const DWORD kReportAsStrongest = 168;

ZebProbeResult Result(BOOL bSatisfied) {
    return bSatisfied ? ZEB_PROBE_SATISFIED : ZEB_PROBE_MISSING;
}

// The file's version as "%u.%u.%u.%u"; FALSE when the file or its version resource is missing.
BOOL GetFileVersionText(LPCSTR pszFunction, LPCSTR pszPath, char (&szVersion)[ZEB_CCH_FLAG]) {
    szVersion[0] = '\0';
    DWORD dwHandle = 0;
    DWORD cbInfo = GetFileVersionInfoSizeA(pszPath, &dwHandle);
    if (cbInfo == 0) {
        TraceText(pszFunction, "No version information in '%s' (%lu)", pszPath,
                  (unsigned long)GetLastError());
        return FALSE;
    }
    ZebHeap<BYTE> info((BYTE*)malloc(cbInfo));
    if (!info.IsValid() || !GetFileVersionInfoA(pszPath, dwHandle, cbInfo, info.Get())) {
        TraceText(pszFunction, "Version information of '%s' not readable (%lu)", pszPath,
                  (unsigned long)GetLastError());
        return FALSE;
    }
    VS_FIXEDFILEINFO* pFixed = NULL;
    UINT cbFixed = 0;
    if (!VerQueryValueA(info.Get(), "\\", (LPVOID*)&pFixed, &cbFixed) || pFixed == NULL ||
        cbFixed < sizeof(VS_FIXEDFILEINFO)) {
        TraceText(pszFunction, "No file version in '%s'", pszPath);
        return FALSE;
    }
    snprintf(szVersion, sizeof(szVersion), "%u.%u.%u.%u", (unsigned)(pFixed->dwFileVersionMS >> 16),
             (unsigned)(pFixed->dwFileVersionMS & 0xFFFF), (unsigned)(pFixed->dwFileVersionLS >> 16),
             (unsigned)(pFixed->dwFileVersionLS & 0xFFFF));
    return TRUE;
}

BOOL GetOsVersion(LPCSTR pszFunction, OSVERSIONINFOEXA& info) {
    memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA((LPOSVERSIONINFOA)&info)) {
        TraceText(pszFunction, "Unable to determine operating system version (%lu)",
                  (unsigned long)GetLastError());
        return FALSE;
    }
    return TRUE;
}

// Tells the two kinds of system apart; FALSE when the version cannot be read.
BOOL IsTerminalServer(LPCSTR pszFunction, const OSVERSIONINFOEXA& info) {
    if (info.wSuiteMask & ZEB_SUITE_TERMINAL) {
        TraceText(pszFunction, "Microsoft Windows NT 4.0 Terminal Server Edition");
        return TRUE;
    }
    TraceText(pszFunction, "NOT Microsoft Windows NT 4.0 Terminal Server Edition");
    return FALSE;
}

// The first run of digits of the service-pack text, 0 when it has none.
int ServicePackNumber(LPCSTR pszText) {
    const char* p = pszText;
    while (*p != '\0' && (*p < '0' || *p > '9'))
        p++;
    long long llNumber = 0;
    ReadClampedDecimal(p, 0, 65535, &llNumber);
    return (int)llNumber;
}

} // namespace

ZebProbeResult ProbeSystemFileVersion(LPCSTR pszFunction, LPCSTR pszFile, LPCSTR pszRequired) {
    char szSystem[ZEB_CCH_PATH];
    UINT cch = GetSystemDirectoryA(szSystem, sizeof(szSystem));
    if (cch == 0 || cch >= sizeof(szSystem)) {
        TraceText(pszFunction, "System folder not known (%lu)", (unsigned long)GetLastError());
        return ZEB_PROBE_MISSING;
    }
    char szPath[ZEB_CCH_PATH];
    if (!MakeFilePath(szPath, NormalizePath(FALSE, szSystem), pszFile)) {
        TraceText(pszFunction, "Path of '%s' in '%s' too long", pszFile, szSystem);
        return ZEB_PROBE_MISSING;
    }
    char szVersion[ZEB_CCH_FLAG];
    if (!GetFileVersionText(pszFunction, szPath, szVersion))
        return ZEB_PROBE_MISSING;
    TraceText(pszFunction, "'%s' version %s, required %s", szPath, szVersion, pszRequired);
    return Result(CompareVersionTokens(szVersion, pszRequired) >= 0);
}

ZebProbeResult ProbeMmc(LPCSTR pszFunction) {
    return ProbeSystemFileVersion(pszFunction, "mmc.exe", "5.00.1920.1");
}

ZebProbeResult ProbeAdsi(LPCSTR pszFunction) {
    return ProbeSystemFileVersion(pszFunction, "activeds.dll", "5.0.2172.1");
}

ZebProbeResult ProbeHtmlHelp(LPCSTR pszFunction) {
    return ProbeSystemFileVersion(pszFunction, "hhctrl.ocx", "4.74.8793.0");
}

ZebProbeResult ProbeIe(LPCSTR pszFunction) {
    static const char kRequired[] = "4.72.3110.8";
    char szVersion[ZEB_CCH_PATH];
    if (!GetRegistryText(kIeKey, "Version", szVersion, sizeof(szVersion), FALSE)) {
        TraceText(pszFunction, "No value 'Version' in '%s'", kIeKey);
        return ZEB_PROBE_MISSING;
    }
    TraceText(pszFunction, "Internet Explorer version '%s', required %s", szVersion, kRequired);
    return Result(CompareVersionTokens(szVersion, kRequired) >= 0);
}

ZebProbeResult ProbeJvm(LPCSTR pszFunction) {
    char szVersion[ZEB_CCH_PATH];
    if (!GetRegistryText(kJvmKey, "", szVersion, sizeof(szVersion), FALSE)) {
        TraceText(pszFunction, "No default value in '%s'", kJvmKey);
        return ZEB_PROBE_MISSING;
    }
    return ZEB_PROBE_SATISFIED;
}

ZebProbeResult ProbeWtsServicePack(LPCSTR pszFunction) {
    OSVERSIONINFOEXA info;
    if (!GetOsVersion(pszFunction, info))
        return ZEB_PROBE_MISSING;
    if (!IsTerminalServer(pszFunction, info))
        return ZEB_PROBE_NOT_APPLICABLE;
    return Result(info.dwMajorVersion >= 5 ||
                  (info.dwMajorVersion == 4 && ServicePackNumber(info.szCSDVersion) >= 6));
}

ZebProbeResult ProbeServicePack(LPCSTR pszFunction) {
    OSVERSIONINFOEXA info;
    if (!GetOsVersion(pszFunction, info))
        return ZEB_PROBE_MISSING;
    if (IsTerminalServer(pszFunction, info))
        return ZEB_PROBE_NOT_APPLICABLE;
    if (info.dwMajorVersion >= 5)
        return ZEB_PROBE_SATISFIED;
    if (info.dwMajorVersion != 4)
        return ZEB_PROBE_MISSING;
    char szInstalled[ZEB_CCH_FLAG];
    if (!GetRegistryText(kHotfixKey, "Installed", szInstalled, sizeof(szInstalled), FALSE)) {
        TraceText(pszFunction, "No value 'Installed' in '%s'", kHotfixKey);
        return ZEB_PROBE_MISSING;
    }
    return Result(strcmp(szInstalled, "1") == 0);
}

ZebProbeResult ProbeEncryption(LPCSTR pszFunction) {
    return Result(GetCipherStrength(pszFunction) >= kStrongestReported);
}

DWORD GetCipherStrength(LPCSTR pszFunction) {
    ZebModule hSchannel(LoadLibraryA("schannel"));
    if (!hSchannel.IsValid()) {
        TraceText(pszFunction, "Unable to load schannel (%lu)", (unsigned long)GetLastError());
        return 0;
    }
    INIT_SECURITY_INTERFACE_A pfnInit =
        (INIT_SECURITY_INTERFACE_A)(void*)GetProcAddress(hSchannel.Get(), SECURITY_ENTRYPOINT_ANSIA);
    PSecurityFunctionTableA pTable = pfnInit != NULL ? pfnInit() : NULL;
    if (pTable == NULL || pTable->AcquireCredentialsHandleA == NULL ||
        pTable->QueryCredentialsAttributesA == NULL || pTable->FreeCredentialHandle == NULL) {
        TraceText(pszFunction, "No security interface in schannel (%lu)", (unsigned long)GetLastError());
        return 0;
    }
    SCHANNEL_CRED cred;
    memset(&cred, 0, sizeof(cred));
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    CredHandle hCred;
    memset(&hCred, 0, sizeof(hCred));
    TimeStamp tsExpiry;
    SECURITY_STATUS ss = pTable->AcquireCredentialsHandleA(
        NULL, (SEC_CHAR*)UNISP_NAME_A, SECPKG_CRED_OUTBOUND, NULL, &cred, NULL, NULL, &hCred, &tsExpiry);
    if (ss != SEC_E_OK) {
        TraceText(pszFunction, "AcquireCredentialsHandle failed (0x%08lX)", (unsigned long)(DWORD)ss);
        return 0;
    }
    SecPkgCred_CipherStrengths strengths;
    memset(&strengths, 0, sizeof(strengths));
    ss = pTable->QueryCredentialsAttributesA(&hCred, SECPKG_ATTR_CIPHER_STRENGTHS, &strengths);
    pTable->FreeCredentialHandle(&hCred);
    if (ss != SEC_E_OK) {
        TraceText(pszFunction, "QueryCredentialsAttributes failed (0x%08lX)", (unsigned long)(DWORD)ss);
        return 0;
    }
    DWORD dwStrength = strengths.dwMaximumCipherStrength;
    return dwStrength >= kReportAsStrongest ? kStrongestReported : dwStrength;
}
