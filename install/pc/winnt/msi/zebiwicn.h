// Library load and unload, and the trivial actions.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

LPCSTR ZebModuleName(void);
LPCSTR ZebBanner(void);
HINSTANCE ZebInstance(void);
// What the load banner names: the library's build date and time, version and build level.
LPCSTR ZebBuildDate(void);
LPCSTR ZebBuildTime(void);
LPCSTR ZebProductVersion(void);
LPCSTR ZebBuildLevel(void);

ZEB_ACTION test(MSIHANDLE hInstall);
ZEB_ACTION iwiERROR(MSIHANDLE hInstall);
ZEB_ACTION iwiPause(MSIHANDLE hInstall);
ZEB_ACTION iwiUserExit(MSIHANDLE hInstall);
ZEB_ACTION iwiCancel(MSIHANDLE hInstall);

#if !defined(_WIN32)
// The simulated loader calls the entry point by name.
extern "C" __attribute__((visibility("default"))) BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason,
                                                                      LPVOID lpReserved);
#endif
