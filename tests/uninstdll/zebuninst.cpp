// A feature's uninstall library for the unit tests: its export "CA" reads ZEBUNINSTFEATURE into
// ZEBTESTCASAW and returns the number in ZEBTESTCARESULT. Built a second time without "CA".
#include <msi.h>
#include <msiquery.h>
#include <stdlib.h>
#include <windows.h>

#define UNINST_EXPORT extern "C" __attribute__((visibility("default"))) UINT __stdcall

#ifndef ZEB_UNINST_NO_CA
UNINST_EXPORT CA(MSIHANDLE hInstall) {
    char szFeature[64] = "";
    DWORD cch = sizeof(szFeature);
    if (MsiGetPropertyA(hInstall, "ZEBUNINSTFEATURE", szFeature, &cch) != ERROR_SUCCESS)
        return 1603;
    MsiSetPropertyA(hInstall, "ZEBTESTCASAW", szFeature);
    char szResult[16] = "";
    cch = sizeof(szResult);
    MsiGetPropertyA(hInstall, "ZEBTESTCARESULT", szResult, &cch);
    return (UINT)strtoul(szResult, NULL, 10);
}
#else
UNINST_EXPORT Other(MSIHANDLE) {
    return 0;
}
#endif
