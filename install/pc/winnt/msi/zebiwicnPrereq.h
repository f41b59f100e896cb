// Directories, prerequisites and upgrades: the folders and parameters of the installation, the
// prerequisite checks and the installations this package may upgrade.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// ---- Upgrade discovery ---------------------------------------------------------------------------

// The list-box value of a new side-by-side installation.
#define ZEB_UPGRADE_NEW_ENTRY "**NEW**"
// A legacy installation below this level cannot stand beside a new one.
#define ZEB_LEGACY_COEXIST_LEVEL "7.0.1.6"

// Fills the list box ZEBSELECTUPGRADELISTBOX with a new installation (when allowed) and every
// installation named in ZEBOLDSERVER and ZEBOLDCLIENT.
ZEB_ACTION iwiListAvailableUpgrades(MSIHANDLE hInstall);
