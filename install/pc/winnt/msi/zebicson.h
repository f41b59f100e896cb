// Common services: path tidy-up and existence tests.
#pragma once

#include "zebiwicnDefs.h"

LPSTR NormalizePath(BOOL bAddSeparator, LPSTR pszPath);
BOOL FileExists(LPCSTR pszPath);
BOOL IsFileFound(LPCSTR pszPath); // FileExists, traced
BOOL TryCreateNewFile(LPCSTR pszPath);
BOOL IsExistingDirectory(LPSTR pszPath);
BOOL FindFirstFileName(LPCSTR pszPattern, LPSTR pszName, DWORD cchName);
BOOL IsFolderEmpty(LPCSTR pszFolder);
BOOL CreateFolderPath(LPCSTR pszPath);
LPSTR GetParentFolder(BOOL bAddSeparator, LPSTR pszPath);
