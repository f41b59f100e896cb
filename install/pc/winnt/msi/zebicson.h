// Common services: path tidy-up and existence tests.
#pragma once

#include "zebiwicnDefs.h"

LPSTR NormalizePath(BOOL bAddSeparator, LPSTR pszPath);
// folder + "\\" + name into a path buffer; FALSE (and an empty path) when it does not fit, so a
// cut path never names another file.
BOOL MakeFilePath(LPSTR pszOut, LPCSTR pszFolder, LPCSTR pszName);
BOOL FileExists(LPCSTR pszPath);
BOOL IsFileFound(LPCSTR pszPath); // FileExists, traced
BOOL TryCreateNewFile(LPCSTR pszPath);
BOOL IsExistingDirectory(LPSTR pszPath);
BOOL FindFirstFileName(LPCSTR pszPattern, LPSTR pszName, DWORD cchName);
BOOL IsFolderEmpty(LPCSTR pszFolder);
BOOL CreateFolderPath(LPCSTR pszPath);
LPSTR GetParentFolder(BOOL bAddSeparator, LPSTR pszPath);
