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
