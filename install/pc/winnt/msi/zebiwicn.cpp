// Library load and unload, and the trivial actions used to test packages and the frame.
#include "zebiwicn.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnLaunch.h"
#include "zebiwicnStop.h"
#include "zebiwicnUninstall.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnInstall.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <string.h>

#ifndef ZEB_PRODUCT_VERSION
#define ZEB_PRODUCT_VERSION "0.0.0.0"
#endif
#ifndef ZEB_BUILD_LEVEL
#define ZEB_BUILD_LEVEL "unknown"
#endif

namespace {

HINSTANCE g_hInstance;
char g_szModuleName[ZEB_CCH_PATH];
char g_szBanner[ZEB_CCH_MSG];

// The state each area keeps for one load: reset at load in this order, released at unload. A new
// area with state of its own adds its line here.
const struct {
    void (*pfnReset)(void);
    void (*pfnFree)(void);
} kAreaState[] = {
    // clang-format off
    {ResetFrameState, NULL},
    {ResetTraceState, NULL},
    {ResetPropertyState, FreePropertyState},
    {ResetMessageState, NULL},
    {ResetIniState, FreeIniState},
    {ResetVersionState, NULL},
    {ResetLaunchState, NULL},
    {ResetDbState, NULL},
    {ResetUninstallState, isuFreeQmList},
    {ResetFeatureState, NULL},
    {ResetFeatureSelectState, NULL},
    {ResetPrevState, NULL},
    {ResetInstallState, NULL},
    {ResetStopState, NULL},
    {ResetLaunchActionState, NULL},
    {ResetDirsState, NULL},
    {ResetValidateState, NULL},
    {ResetNamedState, NULL},
    {ResetFinalState, NULL},
    {ResetLogsState, NULL},
    // clang-format on
};

void OnLoad(HINSTANCE hInstance) {
    g_hInstance = hInstance;
    // The engine runs a temporary copy of the package's binary; the trace always names the library.
    lstrcpynA(g_szModuleName, "zebiwicn.dll", sizeof(g_szModuleName));
    for (const auto& area : kAreaState)
        area.pfnReset();
    snprintf(g_szBanner, sizeof(g_szBanner), "%s Built on %s at %s; version %s, build %s", g_szModuleName,
             ZebBuildDate(), ZebBuildTime(), ZebProductVersion(), ZebBuildLevel());
}

void OnUnload(void) {
    for (const auto& area : kAreaState) {
        if (area.pfnFree != NULL)
            area.pfnFree();
    }
}

} // namespace

LPCSTR ZebModuleName(void) {
    return g_szModuleName;
}
LPCSTR ZebBanner(void) {
    return g_szBanner;
}
HINSTANCE ZebInstance(void) {
    return g_hInstance;
}
LPCSTR ZebBuildDate(void) {
    return __DATE__;
}
LPCSTR ZebBuildTime(void) {
    return __TIME__;
}
LPCSTR ZebProductVersion(void) {
    return ZEB_PRODUCT_VERSION;
}
LPCSTR ZebBuildLevel(void) {
    return ZEB_BUILD_LEVEL;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved) {
    (void)lpReserved;
    if (dwReason == DLL_PROCESS_ATTACH)
        OnLoad(hInstance);
    else if (dwReason == DLL_PROCESS_DETACH)
        OnUnload();
    return TRUE;
}

ZEB_ACTION test(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "Test CA", NULL))
        uiStat = ZEB_RC_FAILURE;
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiERROR(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_FAILURE;
    if (!CaProlog(hInstall, &uiStat, "iwiERROR", NULL))
        TraceText(NULL, "***Returning an error to provoke a rollback");
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiPause(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiPause", NULL))
        MessageBoxA(GetForegroundWindow(), "Pause", "Debug", MB_OK);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiUserExit(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_CANCEL;
    CaProlog(hInstall, &uiStat, "iwiUserExit", NULL);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiCancel(MSIHANDLE hInstall) {
    CaEnterUnframed(hInstall, "iwiCancel");
    SetCancelFlag();
    if (!EnsureTempFolder(hInstall, "iwiCancel"))
        return ZEB_RC_CANCEL;
    char szMarker[ZEB_CCH_PATH];
    if (TempFolder()[0] != '\0' && MakeFilePath(szMarker, TempFolder(), ZEB_CANCEL_MARKER)) {
        ZebKernelHandle hFile(
            CreateFileA(szMarker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    }
    return ZEB_RC_CANCEL;
}
