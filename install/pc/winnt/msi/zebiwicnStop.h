// Stopping the running product: probes of locked files, services and running programs, and the
// actions that end an installation's programs before its files are replaced or removed.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// The service name of the old single-installation levels.
#define ZEB_OLD_SERVICE_NAME "HexlineServices"
// Progress ticks of one half-second wait step.
#define ZEB_STEP_TICKS 100000

// ---- Probes ------------------------------------------------------------------------------------

// TRUE when another process holds the file open. A read-only file loses that attribute first.
BOOL IsFileLocked(LPCSTR pszPath);
// The product's programs in the program folder (ZEBPGMFOLDER, read once while the folder is not
// known). An empty folder holds no programs: nothing is probed.
BOOL AreQmsRunning(void);
BOOL AreListenersRunning(void);
BOOL HxFilesInUse(void);
// The program folder the probes and launches use; FALSE when its read failed.
BOOL EnsureStopProgramFolder(void);
LPCSTR StopProgramFolder(void);
void SetStopProgramFolder(LPCSTR pszFolder);
// "<program folder>\<subfolder>\<file>"; FALSE (empty) when the folder is empty or it does not fit.
BOOL MakeProgramPath(char (&szPath)[ZEB_CCH_PATH], LPCSTR pszSubfolder, LPCSTR pszFile);
void ResetStopState(void);

// ---- Services ----------------------------------------------------------------------------------

// Running is any state but stopped; a service that cannot be opened is not running. *pdwState,
// when given, gets the state (0 when not known).
BOOL icsIsServiceRunning(LPCSTR pszService, DWORD* pdwState = NULL);
// Sends the stop control and does not wait. With bProgress in a deferred run, text 1153 is shown
// and the bar advanced. TRUE when the stop was sent or the service cannot be opened.
BOOL icsStopService(LPCSTR pszService, BOOL bProgress);
BOOL HxServiceExists(LPCSTR pszService);
// Starts bin64\strhxsvc.exe hidden, without waiting: 0 or 1603.
UINT StartHxServiceAndGo(void);
// Signals the taskbar programs of the installation to end and gives them 10 seconds. Always TRUE.
BOOL icsStopTaskbars(LPCSTR pszInstallation);

// ---- Progress ----------------------------------------------------------------------------------

// Adds the total (clamped to INT_MAX) to the progress bar's expected length: 0, or 1602 when the
// user cancelled.
UINT SetTickCount(LONGLONG llTicks);

ZEB_ACTION iwiStopAllHx(MSIHANDLE hInstall);
ZEB_ACTION iwiStartStopping(MSIHANDLE hInstall);
ZEB_ACTION iwiIsHxRunning(MSIHANDLE hInstall);
ZEB_ACTION iwiStopIfOnlyIni(MSIHANDLE hInstall);
