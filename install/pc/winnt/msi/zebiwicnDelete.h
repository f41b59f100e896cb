// Removal: stacked removal rows that the engine carries out inside its transaction.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// ---- Stacked removal rows ----------------------------------------------------------------------

// Install modes of the rows: the component being installed, being removed, or both.
#define ZEB_STACK_ON_INSTALL 1
#define ZEB_STACK_ON_REMOVE 2
#define ZEB_STACK_ON_BOTH 3

// Each adds temporary rows to the running package (the frame's session) and returns 0 or 1603.
// Every row takes the record counter ZEBRECORDCOUNTER into its key; a file or folder row names
// its folder through a path property (CreatePathProperty). Folders are full paths below a drive's
// root or a share; an empty, relative or root folder, and an empty key, are refused: no row.
//
// The installer's number of the registry root named by the first cchName characters (any case):
// 0 HKEY_CLASSES_ROOT, 1 HKEY_CURRENT_USER, 2 HKEY_LOCAL_MACHINE, 3 HKEY_USERS; -1 for another name.
int RegistryRootNumber(LPCSTR pszName, size_t cchName);
// Adds a temporary row whose first field (pValues[0], filled here) is the prefix followed by the
// record counter, then stores the counter plus one. *pszKey, when given, gets that key. 0 or 1603;
// no row and the counter unchanged when the key does not fit.
UINT AddCountedRow(LPCSTR pszFunction, LPCSTR pszTable, LPCSTR pszKeyPrefix, int iFields, DWORD dwFieldBits,
                   ULONG_PTR* pValues, char (*pszKey)[ZEB_CCH_PATH] = NULL);
// One RemoveFile row for the file name or wildcard pattern after the path's last backslash.
UINT StackDeleteFiles(LPCSTR pszPath, LPCSTR pszComponent, int iInstallMode);
// One RemoveFile row that removes the folder (given with its trailing backslash) when empty.
UINT StackDeleteFolder(LPCSTR pszFolder, LPCSTR pszComponent, int iInstallMode);
// The whole key: a RemoveRegistry row for modes 1 and 3, a Registry row for modes 2 and 3. The
// path starts with HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS; any
// other path is a key of HKEY_LOCAL_MACHINE.
UINT StackDeleteRegistryKey(LPCSTR pszKeyPath, LPCSTR pszComponent, int iInstallMode);
// "folder\pattern": the files matching the pattern (none when it is empty), with bDescend the same
// in every subfolder, and with bRemoveFolders each folder's own row after its subfolders' rows.
// A folder that does not exist is stacked all the same.
UINT ScanAndStackDeleteFolderFiles(LPCSTR pszPath, LPCSTR pszComponent, int iInstallMode, BOOL bRemoveFolders,
                                   BOOL bDescend);

// ---- Clean-up lists ----------------------------------------------------------------------------

// The list deleters' working mode is the pair (bAct, bNow) of the file deleters (zebicson.h): act
// alone stacks rows, now alone deletes at once, both count 100000 ticks per item into *piTicks,
// neither does nothing. Each returns TRUE when every item was handled.
//
// List kinds of DeleteFileList.
#define ZEB_LIST_UNINSTALL 0 // product uninstall list: "pgm\..." or "dat\..." lines
#define ZEB_LIST_CSD 2       // maintenance control file "backup.csd"

BOOL DeleteFileList(BOOL bAct, BOOL bNow, int* piTicks, int iListKind, LPCSTR pszListName, LPCSTR pszListFile,
                    LPCSTR pszProgramFolder, LPCSTR pszDataFolder, LPCSTR pszComponent, int iInstallMode,
                    LPCSTR pszInstallationName);
// What the maintenance levels of the installation left in one folder, then their registry keys.
BOOL DeleteCsds(BOOL bAct, BOOL bNow, LPCSTR pszFolder, LPCSTR pszComponent, int iInstallMode);
// The key (path in HKEY_LOCAL_MACHINE) and its subkeys except the one named pszKeep (may be NULL),
// which then keeps the key too.
BOOL DeleteRegistryTree(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszKeyPath, LPCSTR pszKeep, BOOL bDescend,
                        LPCSTR pszComponent, int iInstallMode);
BOOL DeleteRegistryKey(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszKeyPath, LPCSTR pszComponent,
                       int iInstallMode);
// The shortcuts in the shell folder of type iFolder (CSIDL_*), or its named subfolder, whose target
// is pszTarget; then that subfolder when it is empty.
BOOL DeleteShortcut(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszTarget, int iFolder, LPCSTR pszSubfolder,
                    LPCSTR pszComponent, int iInstallMode);
// Keeps a user's configuration file across a final removal: a copy in the data folder's Config,
// then the original stacked for deletion (only after a good copy).
void CopyDataFile(LPCSTR pszFileName, LPCSTR pszDataFolder);
// The feature's uninstall library's export "CA", with ZEBUNINSTFEATURE set to the feature: its
// result; 0 when the library or export is missing, 1603 when the property cannot be written.
UINT InvokeUninstDll(LPCSTR pszLibrary, LPCSTR pszFeature);
// Stacks what the feature's ".u02" lists left behind when the feature is being removed. 0 or 1603.
UINT CleanUpOneFeature(LPCSTR pszFeature, LPCSTR pszComponent);
