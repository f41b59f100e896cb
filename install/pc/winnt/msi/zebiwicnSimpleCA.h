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

// ---- Response file -----------------------------------------------------------------------------

ZEB_ACTION iwiWriteResponseFile(MSIHANDLE hInstall);
