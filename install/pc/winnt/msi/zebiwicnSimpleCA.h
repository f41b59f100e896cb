// The small actions: log folders, final registry settings, unpacking, the response file and the
// hand-over of properties to deferred actions.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// ---- Deferred property hand-over ---------------------------------------------------------------

// The transaction-manager library registered under the XADLL key, and its value's name.
#define ZEB_XADLL_KEY "Software\\Microsoft\\MSDTC\\XADLL"
#define ZEB_XADLL_LIBRARY "ZEBMTSXATMC.DLL"

ZEB_ACTION iwiWriteDeferredProperties(MSIHANDLE hInstall);
ZEB_ACTION iwiSetCustomActionData(MSIHANDLE hInstall);
ZEB_ACTION iwiDeferredUpdates(MSIHANDLE hInstall);

// ---- Helper scripts and unpacking --------------------------------------------------------------

// Deferred. The unpack actions unpack a runtime and in rollback delete it; the delete actions the
// reverse. Only the normal work of the unpack and delete actions can fail (1603).
ZEB_ACTION iwiUnzipJRE(MSIHANDLE hInstall);
ZEB_ACTION iwiUnzipRZL(MSIHANDLE hInstall);
ZEB_ACTION iwiDeleteJREFiles(MSIHANDLE hInstall);
ZEB_ACTION iwiDeleteWebFiles(MSIHANDLE hInstall);
// Always 0: their failures are traced only.
ZEB_ACTION iwiStopRZLServer(MSIHANDLE hInstall);
ZEB_ACTION iwiFixupDotnetConfigs(MSIHANDLE hInstall);
ZEB_ACTION iwiFixupWebConfig(MSIHANDLE hInstall);
