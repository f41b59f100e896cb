// Clean-up: the removal's stacked clean-up and the end of an installation.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// ---- Stacked clean-up --------------------------------------------------------------------------

ZEB_ACTION iwiStackCleanUpLastInstall(MSIHANDLE hInstall);
ZEB_ACTION iwiStackCleanUpServer(MSIHANDLE hInstall);
ZEB_ACTION iwiStackCleanUpFeatures(MSIHANDLE hInstall);
ZEB_ACTION iwiStackCleanUpFinal(MSIHANDLE hInstall);
ZEB_ACTION iwiStackDeleteCsds(MSIHANDLE hInstall);
ZEB_ACTION iwiStackSetHighContrast(MSIHANDLE hInstall);

// ---- End of an installation --------------------------------------------------------------------

ZEB_ACTION iwiCleanUp(MSIHANDLE hInstall);
ZEB_ACTION iwiCleanUpSuccess(MSIHANDLE hInstall);
ZEB_ACTION iwiCleanUpFinal(MSIHANDLE hInstall);
ZEB_ACTION iwiUninstallCleanUp(MSIHANDLE hInstall);
