// Directories, prerequisites and upgrades: the folders and parameters of the installation, the
// prerequisite checks and the installations this package may upgrade.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// ---- Program, data and log folders --------------------------------------------------------------

// Folder kinds of IsValidPath and the longest valid path of each (characters); any other kind has
// no limit.
#define ZEB_FOLDER_PROGRAM 1
#define ZEB_FOLDER_DATA 2
#define ZEB_FOLDER_LOG 4
#define ZEB_MAX_PROGRAM_PATH 190
#define ZEB_MAX_DATA_PATH 72
#define ZEB_MAX_LOG_PATH 232

// The highest n of the "<folder>_<n>" candidates for a default program folder.
#define ZEB_MAX_DEFAULT_SUFFIX 127

// The chosen folders of one loaded copy, tidied without separator; empty until chosen. Cleared at
// load; iwiSetDirs clears the program and data folders at each run and keeps a log folder already
// chosen (the log-folder actions set it too).
struct ZebWorkingFolders {
    char szProgram[ZEB_CCH_PATH];
    char szData[ZEB_CCH_PATH];
    char szLog[ZEB_CCH_PATH];
};
ZebWorkingFolders& WorkingFolders(void);
void ResetDirsState(void);
// A folder's value: the one this copy chose (pszChosen), else the property's, tidied without
// separator. FALSE when the read failed (status 1603).
BOOL KnownFolder(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszChosen, LPCSTR pszProperty,
                 char (&szFolder)[ZEB_CCH_PATH], UINT* puiStat);

// Two folders in the form with separator, equal over the shorter length: one is, encloses or lies
// inside the other. An empty one overlaps nothing.
BOOL OverlapsPath(LPCSTR pszA, LPCSTR pszB);
// TRUE when the path is no longer than its kind allows; both outcomes traced.
BOOL IsValidPath(int iKind, LPCSTR pszPath);
// TRUE when the path is, lies inside or encloses the program folder of a registered installation
// (either view) or of the old single record. A record without a program folder claims nothing.
BOOL iwiIsInstallPathInUse(LPCSTR pszPath);
// TRUE when the path begins with the root of one of the machine's drives.
BOOL iwiIsFolderAccessible(LPCSTR pszPath);
// Replaces the path by the first of it, "<path>_1" ... "<path>_127" that no installation uses; a
// candidate too long for a path counts as used. Unchanged when every one is used.
void iwiCalcAvailableDefaultPath(char (&szPath)[ZEB_CCH_PATH]);
// Traces what is known of the previous installation: level, language and folders.
void LogSummary(void);

ZEB_ACTION iwiSetDirs(MSIHANDLE hInstall);
ZEB_ACTION iwiSetRegistryDirs(MSIHANDLE hInstall);
ZEB_ACTION iwiSetupDynamicPaths(MSIHANDLE hInstall);
ZEB_ACTION iwiSetAdminDir(MSIHANDLE hInstall);

// ---- Upgrade discovery ---------------------------------------------------------------------------

// The list-box value of a new side-by-side installation.
#define ZEB_UPGRADE_NEW_ENTRY "**NEW**"
// A legacy installation below this level cannot stand beside a new one.
#define ZEB_LEGACY_COEXIST_LEVEL "7.0.1.6"

// Fills the list box ZEBSELECTUPGRADELISTBOX with a new installation (when allowed) and every
// installation named in ZEBOLDSERVER and ZEBOLDCLIENT.
ZEB_ACTION iwiListAvailableUpgrades(MSIHANDLE hInstall);

// ---- Validation of folders and installation parameters -----------------------------------------

// The last validation message of the loaded copy.
void ResetValidateState(void);
// On the 64-bit platform every path is valid; traced.
BOOL icsIsValid64BitPath(LPCSTR pszPath);
// TRUE when name, description and program folder are acceptable; otherwise FALSE with the message
// in the buffer. A failed property or registry read counts as acceptable.
BOOL iwiValidateInstallationParmsInternal(char (&szMessage)[ZEB_CCH_MSG]);

ZEB_ACTION iwiValidatePath(MSIHANDLE hInstall);
ZEB_ACTION iwiValidateInstallationParms(MSIHANDLE hInstall);
ZEB_ACTION iwiValidateInstallPath(MSIHANDLE hInstall);
ZEB_ACTION iwiValidate64BitPath(MSIHANDLE hInstall);
ZEB_ACTION iwiInaccessibleFolder(MSIHANDLE hInstall);
ZEB_ACTION iwiUnableToCoexist(MSIHANDLE hInstall);
ZEB_ACTION iwiCheckVolumeLabel(MSIHANDLE hInstall);

// ---- Prerequisite checks -------------------------------------------------------------------------

// Room of a feature's display name (its Feature-table title, up to 95 characters).
#define ZEB_CCH_FEATURE_TITLE 96

// Each TRUE when its item is missing: the probe's answer (bProbe: the Windows NT family; without
// it the item counts present), then the override property: "0" turns a missing item present, any
// other value forces it missing.
BOOL CheckPrereqMmc(BOOL bProbe);
BOOL CheckPrereqAdsi(BOOL bProbe);
BOOL CheckPrereqHtml(BOOL bProbe);
BOOL CheckPrereqIe(BOOL bProbe);
BOOL CheckPrereqJvm(BOOL bProbe);
BOOL CheckPrereqSp6(BOOL bProbe);
BOOL CheckPrereqSp6A(BOOL bProbe);
BOOL CheckPrereqEncrypt(BOOL bProbe);
// Adds to the list box the item's text and the lines naming the features that need it, hard ones
// then soft ones; *pbHard and *pbSoft tell whether each kind named any. The feature list
// (ZEBFEATUREPREREQLIST) counts only features about to be newly installed. 0 or 1603.
UINT CheckAndAddPrereqItem(LPCSTR pszList, UINT uItem, LPCSTR pszInsert, BOOL* pbHard, BOOL* pbSoft);
// The Feature table's title of the feature; the name itself when the table has no such row.
// 0, or 1603 when the table cannot be read.
UINT GetFeatureDisplayName(LPCSTR pszFeature, char (&szTitle)[ZEB_CCH_FEATURE_TITLE]);
// TRUE when the selection is consistent with the feature's: it is being or stays installed, or
// nothing selected needs it. *puiStat becomes 1603 on an invalid installer handle.
BOOL iwiCheckOneFeaturePrereqs(LPCSTR pszFeature, UINT* puiStat);

ZEB_ACTION iwiListProductPrereqs(MSIHANDLE hInstall);
ZEB_ACTION iwiListFeaturePrereqs(MSIHANDLE hInstall);
ZEB_ACTION iwiCheckServerPrereqs(MSIHANDLE hInstall);
ZEB_ACTION iwiCheckJREPrereqs(MSIHANDLE hInstall);
ZEB_ACTION iwiAddServerPrereq(MSIHANDLE hInstall);
ZEB_ACTION iwiAddJREPrereq(MSIHANDLE hInstall);
