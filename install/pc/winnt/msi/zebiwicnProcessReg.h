// Registry content: the product's values as temporary Registry-table rows, the text export of an
// installation's key (Config\LastInstall.reg) and the folder tokens of the uninstall lists.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>
#include <stdio.h>

// The package's first-instance base component: the rows of the product's values belong to it.
#define ZEB_REGISTRY_COMPONENT "Base_base_Instance1"

// Line formats of the export: a key's header line, a value line.
#define ZEB_REG_KEY_FORMAT "\n%s\n"
#define ZEB_REG_VALUE_FORMAT "%s\n"

// One temporary Registry row: the full key begins with HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE or HKEY_USERS (any case) and a backslash; the value is a string, written as
// the engine must read it back (its brackets and a leading "#" escaped). 0 or 1603; a refused key
// adds no row and leaves the record counter as it was.
UINT UpdateRegistryTable(LPCSTR pszFullKey, LPCSTR pszComponent, LPCSTR pszName, LPCSTR pszValue);

// Writes the key (read from its handle, named by its path below HKEY_LOCAL_MACHINE), its values
// and its subkeys, depth first. TRUE when everything was written.
BOOL SaveKeysAndValues(HKEY hKey, LPCSTR pszKeyPath, FILE* fp);
// One value line; "FilePath" is skipped (TRUE). FALSE for a type the export does not write and
// when the write fails.
BOOL SaveKeyValue(LPCSTR pszName, DWORD dwType, const BYTE* pbData, DWORD cbData, FILE* fp);
// Writes the line through one of the two formats above and traces it.
BOOL OutputRegLine(FILE* fp, LPCSTR pszFormat, LPCSTR pszLine);

// Replaces the <NAME> and %NAME% tokens of the line in place. 0, or 1603 when a property read
// failed (the line then holds what was built so far) or the result would not fit (the line is
// left as it was).
UINT SubstituteLine(char (&szLine)[ZEB_CCH_MSG]);

ZEB_ACTION iwiStackRegistryUpdates(MSIHANDLE hInstall);
