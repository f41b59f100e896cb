// Custom-action runtime: the frame every action runs in, the trace log, property access,
// CustomActionData and messages.
#pragma once

#include "zebhold.h"
#include "zebiwicnDefs.h"
#include <msi.h>
#include <msiquery.h>

// ---- Frame -------------------------------------------------------------------------------------

// The frame's state lasts one load of the library; only the functions below read or change it.
MSIHANDLE FrameSession(void);             // the session of the running action
void FrameSetSession(MSIHANDLE hInstall); // for helpers run outside any action (unit tests)
LPCSTR FrameOuterAction(void);            // empty until the first action is entered
LPCSTR FrameTraceAction(void);            // nested action, else outer action, else "(CaProlog)"
LONG FrameDepth(void);
void FrameSetErrorShown(void); // an error message box was shown during the outermost action
HMODULE FrameLanguageLibrary(void);
void FrameSetLanguageLibrary(HMODULE hLanguage); // the frame releases it at the outermost exit
// Releases the language library until the system reports it released (as the outermost exit does).
void FrameReleaseLanguageLibrary(void);

BOOL CaProlog(MSIHANDLE hInstall, UINT* puiStat, LPCSTR pszAction, LPCSTR pszBanner);
UINT CaEpilog(MSIHANDLE hInstall, UINT uiStat);
// An action that runs without the frame (iwiCancel): names it for the trace and keeps its session.
void CaEnterUnframed(MSIHANDLE hInstall, LPCSTR pszAction);
// Leaves the copy as an unframed entry found it: no action registered.
void CaLeaveUnframed(void);
void WhatMode(MSIHANDLE hInstall);
BOOL iiiIsCancelled(void);
void SetCancelFlag(void);
BOOL IsCancelFlagSet(void);
// The flag itself, as CopyFileExA's abort flag: a cancel from any process stops a copy in progress.
LPBOOL CancelFlagAddress(void);
BOOL IsDeferredMode(MSIHANDLE hInstall);

// Run-mode guards: each forbidden mode that holds is traced. The error form makes the status
// 1603; the bypass form leaves it. Both return FALSE when the body must be skipped.
#define ZEB_FORBID_SCHEDULED 0x1u
#define ZEB_FORBID_ROLLBACK 0x2u
#define ZEB_FORBID_COMMIT 0x4u
#define ZEB_FORBID_DEFERRED (ZEB_FORBID_SCHEDULED | ZEB_FORBID_ROLLBACK | ZEB_FORBID_COMMIT)
BOOL RunModeGuard(MSIHANDLE hInstall, UINT uForbidden, UINT* puiStat);
BOOL RunModeBypass(MSIHANDLE hInstall, UINT uForbidden);

// ---- State of one load -------------------------------------------------------------------------

// Each area's reset, run at load in the order of the library's one table (zebiwicn.cpp), and its
// release, run at unload.
void ResetFrameState(void);
void ResetTraceState(void);
void ResetPropertyState(void);
void FreePropertyState(void);
void ResetMessageState(void);
void ResetIniState(void);
void FreeIniState(void);
void ResetDbState(void);

// ---- Trace -------------------------------------------------------------------------------------

UINT WriteTrace(LPCSTR pszFunction, LPCSTR pszFormat, ...) ZEB_PRINTF(2, 3);
UINT WriteTraceText(LPCSTR pszText, LPCSTR pszFunction);
UINT WriteTraceRaw(LPCSTR pszLine);
UINT WriteLogLine(LPCSTR pszLine);
// Formats any length of text and writes it with WriteTraceText.
UINT TraceText(LPCSTR pszFunction, LPCSTR pszFormat, ...) ZEB_PRINTF(2, 3);
UINT CheckMsiPmRc(LPCSTR pszType, int iReply, UINT* puiStat);
BOOL iwiFormatMsgBuffer(char (&szOut)[ZEB_CCH_MSG], LPCSTR pszMessage, LPCSTR pszInsert1, LPCSTR pszInsert2,
                        LPCSTR pszInsert3, LPCSTR pszInsert4);
// Switches set by the clean-up and launch actions.
void SetTraceDataFolderSwitch(BOOL bOn);
void SetTempLogClosedSwitch(BOOL bOn);
// The trace files as the trace holds them: normalised, "" when none or not read yet. The log
// actions change them together with their properties, so the next line goes to the new file.
#define ZEB_TRACE_USER_TRACE 0 // ZEBUSERTRACEPATH
#define ZEB_TRACE_USER_LOG 1   // ZEBUSERLOGPATH
#define ZEB_TRACE_TEMP_LOG 2   // ZEBTEMPLOGPATH
LPCSTR TraceFilePath(int iFile);
void SetTraceFilePath(int iFile, LPCSTR pszPath);
// While a file is merged into the trace, no line is written into that file.
void SetTraceMergeSource(LPCSTR pszPath);

// ---- Properties --------------------------------------------------------------------------------

// Read and write patterns. They return FALSE after a failure: the status is then 1603 and the
// caller stops at once. "Not defined" is an empty value and not a failure.
BOOL GetPropertyValue(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPSTR pszValue, DWORD cchValue,
                      UINT* puiStat);
BOOL SetPropertyValue(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPCSTR pszValue, UINT* puiStat);
// Terse forms: no line for a success while reduced logging is on.
BOOL GetPropertyValueTerse(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPSTR pszValue,
                           DWORD cchValue, UINT* puiStat);
BOOL SetPropertyValueTerse(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszName, LPCSTR pszValue,
                           UINT* puiStat);

UINT icsGetCustomActionData(LPCSTR pszName, LPSTR pszValue, DWORD cchValue);
BOOL icsIsNo(LPCSTR pszValue, LPCSTR pszDefault);
BOOL icsIsYes(LPCSTR pszValue, LPCSTR pszDefault);
UINT CreatePathProperty(LPCSTR pszPath, LPSTR pszName, DWORD cchName);
LPCSTR iiiGetTempFileName(LPCSTR pszPrefix, LPCSTR pszSuffix);
void iiiSetReducedCSDLogging(BOOL bOn);
BOOL IsReducedLogging(void);
// Each returns the new count of files or folders processed since reduced logging was switched on.
int CountReducedLoggingFile(void);
int CountReducedLoggingFolder(void);
// Makes sure the temporary folder (ZEBTEMP, read once per load) is known; FALSE when its read
// failed. TempFolder gives it, normalised without a trailing backslash, or "" when not known.
BOOL EnsureTempFolder(MSIHANDLE hInstall, LPCSTR pszFunction);
LPCSTR TempFolder(void);

// ---- Installer database ------------------------------------------------------------------------

// Returns uiRc; a non-zero one is traced "***call('detail') failed (code)" and becomes the status.
UINT CheckMsiRc(LPCSTR pszCall, LPCSTR pszDetail, UINT uiRc, UINT* puiStat);
// A failed installer call with the engine's last-error record, under the function's name:
// "***call failed (rc N); extended error: '<record formatted>'", or "none" in place of the quoted
// record when the engine left none (Wine).
void TraceExtendedError(LPCSTR pszFunction, LPCSTR pszCall, UINT uiRc);
// The session's database and the query's view, executed. FALSE after a failure, traced under the
// function's name ("***MsiGetActiveDatabase() failed") or as the failed call.
BOOL OpenExecutedView(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszQuery, ZebMsiHandle& hDb,
                      ZebMsiHandle& hView);
// Adds one temporary row of iFields values to the running package's table. Bit i of dwFieldBits
// set makes field i + 1 an integer, taken from the value's low 32 bits; clear, a text pointer
// (NULL or "" a null field). Returns 0, also when the package lacks the table (error 2228, no
// row); 1603, or the code of the installer call that failed: no row is then added.
UINT AddTableRecord(LPCSTR pszTable, int iFields, DWORD dwFieldBits, const ULONG_PTR* pValues);

// Feature action states. SetFeatureState returns 0 (also for a feature the package lacks) or 1603;
// SwitchFeature sets INSTALLSTATE_LOCAL when on, INSTALLSTATE_ABSENT when off, and stores a
// failure in the status.
UINT SetFeatureState(LPCSTR pszFeature, INSTALLSTATE iState);
UINT SwitchFeature(LPCSTR pszFeature, BOOL bOn, UINT* puiStat);
// "INSTALLSTATE_LOCAL" and the like; "Unknown(%d)" in the copy's own buffer for other values.
LPCSTR InstallStateName(int iState);
// *piMatch 1 when the code is this package's UpgradeCode (ignoring case), else 0. UpgradeCode and
// ProductVersion are read once per loaded copy, while empty. 0, or 1603 when a read failed.
UINT iwiCompareProduct(LPCSTR pszUpgradeCode, int* piMatch);
LPCSTR CachedProductVersion(void);

// List boxes of the user interface: temporary ListBox rows of a property. A value NULL takes the
// row's order number, counted from the last ClearListbox. 0, 1603 or the failing call's code.
UINT AddListboxItemValue(LPCSTR pszProperty, LPCSTR pszText, LPCSTR pszValue);
// Sets the property to " " and deletes every ListBox row of it. 0 or 1603.
UINT ClearListbox(LPCSTR pszProperty);

// The first component of the Component table being installed locally, or the default; the first
// answer of a loaded copy is kept.
LPCSTR GetInstallingComponent(LPCSTR pszDefault);
// Writes the Binary row named prefix + continuation (no continuation: prefix alone or followed by
// ".") to the file, byte for byte; the last matching row wins. What follows a further "." is the
// component suffix (empty when none). TRUE when a row was written.
BOOL iwiGetFileFromBinary(LPCSTR pszPrefix, LPCSTR pszContinuation, LPCSTR pszOutput,
                          char (*pszSuffix)[ZEB_CCH_MSG]);
// Item 2 (product folder word) or 3 (product display word) of the product static data row of
// this package's UpgradeCode and, when given, a version that begins with the row's; the copy's
// own buffer, "static data error" when no row matches.
LPCSTR iwiGetProductStaticData(int iType, LPCSTR pszVersion);

// ---- Messages ----------------------------------------------------------------------------------

BOOL iwiLoadNlsString(char (&szOut)[ZEB_CCH_MSG], UINT uId);
// The file the language library is loaded from; "" until a message has needed it.
LPCSTR LanguageLibraryPath(void);
// A string of the library's own table (ids 250-263: language codes of older installations).
BOOL LoadStringFromResource(char (&szOut)[ZEB_CCH_MSG], UINT uId);
int iiiDisplayMsgBox(LPCSTR pszText, UINT uStyle);
// The first "%s" of a language string filled with a path ("%%" is "%"); the text itself is never
// used as a format. Cut at the message capacity.
void FillPathInsert(char (&szOut)[ZEB_CCH_MSG], LPCSTR pszTemplate, LPCSTR pszPath);
// Language string uId, or the fallback when it cannot be loaded.
void LoadNlsStringOr(char (&szOut)[ZEB_CCH_MSG], UINT uId, LPCSTR pszFallback);
// Language string uId (or its fallback) with "%1" to "%3" filled and, when it fits, a place
// appended; shown as an error box.
void ShowNlsError(UINT uId, LPCSTR pszFallback, LPCSTR pszInsert1, LPCSTR pszInsert2 = NULL,
                  LPCSTR pszInsert3 = NULL, LPCSTR pszPlace = NULL);
// Language string uId (or its fallback) with its one "%s" filled with a path; an error box.
void ShowNlsPathError(UINT uId, LPCSTR pszFallback, LPCSTR pszPath);
// Language string uId, which has no fallback text, with "%1" and "%2" filled; shown in the style.
// FALSE (traced, nothing shown) when it cannot be loaded.
BOOL ShowNlsMessage(UINT uId, UINT uStyle, LPCSTR pszInsert1, LPCSTR pszInsert2);
// Closes the launcher's splash window, waiting at most 10 seconds for it to go.
UINT iwiKillSplashBitmap(void);

ZEB_ACTION iwiStopSplash(MSIHANDLE hInstall);
ZEB_ACTION iwiWaitForSplash(MSIHANDLE hInstall);

// ---- Progress and action text ------------------------------------------------------------------

// Each returns 0, or 1602 when the engine answered a message with IDCANCEL (the cancel flag is
// then set). A record that cannot be made is traced and nothing is sent.
UINT iwiLoadActionTextAndData(UINT uText, UINT uTemplate); // ACTIONSTART: language strings, 0 none
UINT LoadActionTextAndData(UINT uText, UINT uTemplate);
// Deferred script only: advance the bar (hRecord, or a record (2, ticks, 0) when 0), or show text.
UINT iwiMoveProgressBar(MSIHANDLE hRecord, int iTicks);
UINT iwiUpdateActionDataField(LPCSTR pszText);
// Waits iSteps half-second steps, showing the seconds left and advancing the bar; 1602 when the
// cancel flag is set meanwhile, by a reply or by another process.
UINT ActionWait(int iSteps);

// ---- Response file -----------------------------------------------------------------------------

// The feature lookup's answer when nothing names the feature.
#define ZEB_FEATURE_UNSPECIFIED INSTALLSTATE_UNKNOWN

// Reads the response file into the copy's table once. TRUE when the table stands, also when it
// was built before (after a failed build: what was stored up to the first error). *pbOpenFailed
// is set when the file cannot be opened.
BOOL iwiBuildIniTable(LPCSTR pszPath, BOOL* pbOpenFailed);
// The value of a keyword of the first stanza of that name (names ignore case; keywords too unless
// bCaseSensitive). *ppszValue points into the table, valid until the library is unloaded.
BOOL FindIniValue(BOOL bCaseSensitive, LPCSTR pszStanza, LPCSTR pszKeyword, LPCSTR* ppszValue);
// A setting: the property of that name, or when it is empty the keyword of [Response] in the
// file USEINI names. pszSource, when given, gets that file's path for a value taken from it.
UINT iwiGetIniProperty(LPCSTR pszName, char (&szValue)[ZEB_CCH_MSG], char (*pszSource)[ZEB_CCH_PATH]);
// INSTALLSTATE_LOCAL, _ABSENT, _SOURCE, _DEFAULT or _ADVERTISED from the feature-list properties
// or, when none names the feature, from the response file; ZEB_FEATURE_UNSPECIFIED otherwise.
UINT iwiGetIniFeature(LPCSTR pszFeature, LPCSTR pszParent, int* piState);
// TRUE when a piece of the list (split at commas and blanks) is the item, or both are "all".
BOOL IsItemInList(LPCSTR pszItem, LPCSTR pszList);
