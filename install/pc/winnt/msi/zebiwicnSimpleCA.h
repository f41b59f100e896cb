// The small actions: log folders, final registry settings, unpacking, the response file and the
// hand-over of properties to deferred actions.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// ---- Deferred property hand-over ---------------------------------------------------------------

// The transaction-manager library registered under the XADLL key, and its value's name.
#define ZEB_XADLL_KEY "Software\\Microsoft\\MSDTC\\XADLL"
#define ZEB_XADLL_LIBRARY "ZEBMTSXATMC.DLL"

ZEB_ACTION iwiWriteDeferredProperties(MSIHANDLE hInstall);
ZEB_ACTION iwiSetCustomActionData(MSIHANDLE hInstall);
ZEB_ACTION iwiDeferredUpdates(MSIHANDLE hInstall);

// ---- Logs and language ---------------------------------------------------------------------------

// Copies a temporary log into the trace as ">>" lines (pieces of at most 515 characters), then
// deletes it when asked, also when it could not be opened. No path: the data folder's work file.
void iiiProcessTempLogFile(BOOL bDelete, LPCSTR pszPath);
// Merges the dialogs' temporary log once it is closed (kept with ZEBKEEPTEMPLOG). 0 or 1603.
UINT ProcessUiTempLog(void);
// Removes the library's temporary files and the language library, and ends the temporary log.
// 0 or 1603; a file that cannot be deleted is traced only.
UINT DeleteTempFiles(void);
// Deletes at once the temporary file of that prefix and extension (a missing one is no error).
void DeleteTempFileNow(LPCSTR pszPrefix, LPCSTR pszSuffix);
void ResetLogsState(void);

ZEB_ACTION iwiStartLogs(MSIHANDLE hInstall);
ZEB_ACTION iwiSetTempLogPath(MSIHANDLE hInstall);
ZEB_ACTION iwiUnSetTempLogPath(MSIHANDLE hInstall);
ZEB_ACTION iwiFindExistingLogFolder(MSIHANDLE hInstall);
ZEB_ACTION iwiRecalcLogFolder(MSIHANDLE hInstall);

// ---- Response file -----------------------------------------------------------------------------

ZEB_ACTION iwiWriteResponseFile(MSIHANDLE hInstall);

// ---- Helper scripts and unpacking --------------------------------------------------------------

// Deferred. The unpack actions unpack a runtime and in rollback delete it; the delete actions the
// reverse. Only the normal work of the unpack and delete actions can fail (1603).
ZEB_ACTION iwiUnzipJRE(MSIHANDLE hInstall);
ZEB_ACTION iwiUnzipRZL(MSIHANDLE hInstall);
ZEB_ACTION iwiDeleteJREFiles(MSIHANDLE hInstall);
ZEB_ACTION iwiDeleteWebFiles(MSIHANDLE hInstall);
// Always 0: their failures are traced only.
ZEB_ACTION iwiStopRZLServer(MSIHANDLE hInstall);
ZEB_ACTION iwiFixupDotnetConfigs(MSIHANDLE hInstall);
ZEB_ACTION iwiFixupWebConfig(MSIHANDLE hInstall);

// ---- Final registry, environment and boot settings ---------------------------------------------

// ZEBUISEQ as the settings actions last read it in this load ("" when none did): "1" means the
// removal was chosen in the dialogs.
LPCSTR UiSeqValue(void);
void ResetFinalState(void);

ZEB_ACTION iwiFinalizeRegistry(MSIHANDLE hInstall);
ZEB_ACTION iwiSetEnvironment(MSIHANDLE hInstall);
ZEB_ACTION iwiSetZebBoot(MSIHANDLE hInstall);
ZEB_ACTION iwiSetARPREADME(MSIHANDLE hInstall);
ZEB_ACTION iwiSetZebRemove(MSIHANDLE hInstall);
ZEB_ACTION iwiServerClusterSupport(MSIHANDLE hInstall);
ZEB_ACTION iwiDirectCopyAdminFiles(MSIHANDLE hInstall);

// ---- Install summaries -------------------------------------------------------------------------

ZEB_ACTION iwiListInstallSummary(MSIHANDLE hInstall);
ZEB_ACTION iwiDisplayHelpfulSummary(MSIHANDLE hInstall);
ZEB_ACTION iwiDumpDiagnostics(MSIHANDLE hInstall);
ZEB_ACTION iwiDisplayApplyService(MSIHANDLE hInstall);
ZEB_ACTION iwiPrintSummary(MSIHANDLE hInstall);
