// Launch actions: the product's tools, the configuration wizard (or the service and taskbar),
// the readme and the media's launchpad at the end of an installation.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// Where readmes are when the media cannot be used.
#define ZEB_README_WEB_PAGE "https://www.corvane.com/support/skyloft-hx/readmes"
#define ZEB_RUNONCE_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"

// The readme on the installation media, or the web page when the media cannot be used. TRUE when
// the out names an existing file or the web page.
BOOL GetReadmePath(char (&szPath)[ZEB_CCH_PATH], BOOL bSkipMedia);

// The installation source, normalised: SourceDir, after the engine's ResolveSource when that is
// empty; kept for the loaded copy. 0, or 1603 (traced) when it cannot be had.
UINT GetInstallationSource(MSIHANDLE hInstall, LPCSTR pszFunction, char (&szSource)[ZEB_CCH_PATH]);

// A growing parameter string: words are joined by one blank.
struct ZebParameters {
    char* pszText;
    size_t cchCapacity;
};
void InitParameters(ZebParameters* pParameters);
// FALSE when memory ran out (the string is kept as it was).
BOOL AppendParameter(ZebParameters* pParameters, LPCSTR pszWord);
void FreeParameters(ZebParameters* pParameters);
void ResetLaunchActionState(void);

ZEB_ACTION iwiLaunchZebicdir(MSIHANDLE hInstall);
ZEB_ACTION iwiLaunchSetHxInstNonPrim(MSIHANDLE hInstall);
ZEB_ACTION iwiLaunchSetHxInstPrim(MSIHANDLE hInstall);
ZEB_ACTION iwiResolveSource(MSIHANDLE hInstall);
ZEB_ACTION iwiLaunchLaunchPad(MSIHANDLE hInstall);
ZEB_ACTION iwiLaunchReadme(MSIHANDLE hInstall);
ZEB_ACTION iwiSetLaunchWiz(MSIHANDLE hInstall);
ZEB_ACTION iwiTestAndLaunchConfig(MSIHANDLE hInstall);
