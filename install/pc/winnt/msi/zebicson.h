// Common services: path tidy-up and existence tests.
#pragma once

#include "zebiwicnDefs.h"

// Paths are changed in place in, or written to, buffers of the path capacity.
LPSTR NormalizePath(BOOL bAddSeparator, char (&szPath)[ZEB_CCH_PATH]);
// folder + "\\" + name into a path buffer; FALSE (and an empty path) when it does not fit, so a
// cut path never names another file.
BOOL MakeFilePath(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFolder, LPCSTR pszName);
BOOL FileExists(LPCSTR pszPath);
BOOL IsFileFound(LPCSTR pszPath); // FileExists, traced
BOOL TryCreateNewFile(LPCSTR pszPath);
BOOL IsExistingDirectory(char (&szPath)[ZEB_CCH_PATH]);
BOOL FindFirstFileName(LPCSTR pszPattern, LPSTR pszName, DWORD cchName);
BOOL IsFolderEmpty(LPCSTR pszFolder);
BOOL CreateFolderPath(LPCSTR pszPath);
LPSTR GetParentFolder(BOOL bAddSeparator, char (&szPath)[ZEB_CCH_PATH]);
