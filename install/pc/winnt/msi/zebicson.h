// Common services: path tidy-up and existence tests.
#pragma once

#include "zebiwicnDefs.h"

// Paths are changed in place in, or written to, buffers of the path capacity.
LPSTR NormalizePath(BOOL bAddSeparator, char (&szPath)[ZEB_CCH_PATH]);
// The same for a value read from a line of text, which may be longer than a path.
LPSTR NormalizePath(BOOL bAddSeparator, char (&szText)[ZEB_CCH_MSG]);
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
// Where a walk creating the folders of a path starts: after "X:\" or "\\server\share\".
size_t FolderWalkStart(LPCSTR pszPath);
LPSTR GetParentFolder(BOOL bAddSeparator, char (&szPath)[ZEB_CCH_PATH]);

// ---- Copying and deleting files and folders ----------------------------------------------------

// Working mode of the deleters (act, now): act alone stacks the item for removal by the engine,
// now alone deletes at once, both only count: 100000 progress ticks per item are added to
// *piTicks (which stays at INT_MAX rather than wrap). Neither: a folder is left alone, a file is
// stacked. A stacked item is tied to the component and its install mode (1, 2 or 3).
#define ZEB_DELETE_TICKS 100000

// 1603 when the attributes cannot be read or changed (a missing file traced only with
// bReportMissing); 0 when the file is not read-only or no longer is.
UINT RemoveReadOnly(LPCSTR pszPath, BOOL bReportMissing);
// The two folders joined with pszFileName, or with pszFileName NULL two full paths. 0 copied (or
// the source missing, unless bSkipExistTest), 1602 when the user cancelled before or during the
// copy, 1603 when it failed.
UINT CopyOneFile(BOOL bSkipExistTest, LPCSTR pszSource, LPCSTR pszTarget, LPCSTR pszFileName);
// Every file matching the pattern, and with bWholeTree every subfolder's, into the target folder
// (created as needed). 0, or the last failing copy's code.
UINT CopyFilePattern(LPCSTR pszSource, LPCSTR pszTarget, LPCSTR pszPattern, BOOL bWholeTree);
// Soft outcomes (nothing to delete, an invalid name, a folder not empty) are traced only in
// strict mode; *pdwError, when given, gets the system's error (0 on success).
BOOL iiiDeleteFile(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszPath, BOOL bStrict, DWORD* pdwError,
                   LPCSTR pszComponent, int iInstallMode);
// The files matching the last part of pszPath (bHasPattern) or none, then with bDescend the same
// in each subfolder, then with bRemoveFolders the folder itself. Refuses an empty, relative or
// root folder.
BOOL iiiDelDirFiles(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszPath, BOOL bHasPattern, BOOL bRemoveFolders,
                    BOOL bDescend, LPCSTR pszComponent, int iInstallMode);
BOOL iiiDeleteDir(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszFolder, BOOL bStrict, DWORD* pdwError,
                  LPCSTR pszComponent, int iInstallMode);
// TRUE when the folder is gone or was never there, or still holds something.
BOOL DeleteEmptyFolder(LPCSTR pszFolder);
// Registers the file for deletion at the next restart; a missing file or an invalid name is
// TRUE, traced only with bVerbose.
BOOL iwiRebootDeleteFile(LPCSTR pszPath, BOOL bVerbose, DWORD* pdwError);

// ---- Registry ----------------------------------------------------------------------------------

// HKEY_LOCAL_MACHINE when hRoot is NULL. bView32 reads or writes the 32-bit view (KEY_WOW64_32KEY);
// without it a key is seen in the 64-bit view, the library's own.
//
// The value's text (REG_SZ, REG_EXPAND_SZ unexpanded, REG_DWORD as "%lu") cut to the capacity;
// TRUE when the value exists, the text then empty for any other type.
BOOL GetRegistryText(LPCSTR pszKey, LPCSTR pszName, LPSTR pszText, DWORD cchText, BOOL bView32);
// The same with the text in a new buffer (NULL for any other type) that the caller frees.
BOOL GetRegistryValue(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, LPSTR* ppszText, BOOL bView32);
// The value's bytes in a new buffer (two zero bytes beyond the size) that the caller frees.
// A missing key or value is FALSE silently; any other failure is traced and sets the status 1603.
BOOL GetRegistryRaw(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, LPBYTE* ppData, LPDWORD pcbData, UINT* puiStat,
                    BOOL bView32);
// lSize -1 writes a string with its terminator (REG_SZ, REG_EXPAND_SZ only); REG_DWORD is 4 bytes.
// The key must exist. The first form traces every failure and never uses the 32-bit view.
BOOL SetRegistryValue(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, DWORD dwType, const void* pData, LONG lSize);
// A missing key is FALSE silently; other failures are traced and set the status 1603.
BOOL SetRegistryValueWithStatus(HKEY hRoot, LPCSTR pszKey, LPCSTR pszName, DWORD dwType, const void* pData,
                                LONG lSize, UINT* puiStat, BOOL bView32);

// ---- Versions and numeric text -----------------------------------------------------------------

// Two upper-case hex digits per byte; NULL (and an empty output) when they do not all fit.
LPSTR HexText(LPSTR pszOut, DWORD cchOut, const BYTE* pbData, DWORD cbData);
// Product level V.R.M as the number V*10000 + R*100 + M and back ("9.3" for 9.3.0). The text is
// the copy's own buffer.
LPCSTR LevelToText(LONG lLevel);
LONG LevelFromFields(LPCSTR pszVersion, LPCSTR pszRelease, LPCSTR pszModification);
// Field 1 to 4 of "V.R.M.F", tidied; a field the text does not have is "0". Each field number has
// a buffer of the copy's own.
LPCSTR DottedVersionField(LPCSTR pszDotted, int iField);
// A decimal number as atoll reads it (white space, a sign, the digits up to another character; 0
// for none), held to [llMin, llMax]; FALSE when it had to be held.
BOOL ReadClampedDecimal(LPCSTR pszText, long long llMin, long long llMax, long long* pllValue);
// In place: blanks, one leading quote, trailing blanks and quotes removed.
LPSTR TrimBlanksAndQuotes(LPSTR pszText);
// In place: trimmed; all digits rewritten as a number ("007" is "7"), anything else left as it is.
LPSTR TidyNumericText(LPSTR pszText);
// In place: trimmed; from the first digit 1-9 on, or "0" when there is none.
LPSTR LeadingSignificantDigits(LPSTR pszText, DWORD cchText);
// 1, 0 or -1 field by field as numbers; fields a text does not have count 0.
int CompareDottedVersions(LPCSTR pszA, LPCSTR pszB);
// The same over fields split at "." and ","; a is never lower than a b whose first field is 0.
int CompareVersionTokens(LPCSTR pszA, LPCSTR pszB);
// The library runs only as a 64-bit library: always TRUE, programs are in the "bin64" subfolder.
BOOL Is64BitMachine(void);
LPCSTR ProgramBinSubfolder(void);
void ResetVersionState(void);

// ---- Processes ---------------------------------------------------------------------------------

// The shell's "Open" of a program. It runs in pszFolder, or when that is NULL or empty in the
// program's folder (the text before its last backslash). A program named with a folder must exist;
// a bare name is left to the system's search. *phProcess, when given, gets the process handle (the
// caller closes it), NULL after a failure. 0 or 1603, every outcome traced.
UINT LaunchProcess(LPCSTR pszProgram, LPCSTR pszParameters, LPCSTR pszFolder, int nShow, HANDLE* phProcess);
// The same, then waits dwTimeoutMs (INFINITE: no limit). A program named "cmd" or "cmd.*" runs as
// the system's "cmd". *pdwExitCode, when given, gets the exit code, or 0xFFFFFFFF when it is not
// known (also for 259). 0 whatever the exit code, 1603 when nothing started, 1604 on a time-out
// (the program goes on running); the caller judges the exit code.
UINT LaunchAndWait(LPCSTR pszProgram, LPCSTR pszParameters, LPCSTR pszFolder, int nShow, DWORD* pdwExitCode,
                   DWORD dwTimeoutMs);
// cmd with the arguments (beginning with "/c"), both output streams redirected to a temporary
// "zebt" file, in the bin64 folder of ZEBPGMFOLDER; then each line of that file traced. 0, 1604
// on a time-out, 1603 when it could not run or left no output file.
UINT LaunchAppAndWaitWithLog(LPCSTR pszArguments, DWORD dwTimeoutMs);
void ResetLaunchState(void);
