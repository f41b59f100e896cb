// Uninstall: the queue-manager inventory, the queue-manager stanzas of hxs.ini, and the stacked
// removal of queue-manager data.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// The component that carries the queue managers' data: its removal takes the stacked rows along.
#define ZEB_QM_COMPONENT_PREFIX "_base_Instance1"
#define ZEB_QM_COMPONENT_GUID "37CF6887_5575_4370_9A34_F127CACF7D9A"

// ---- Queue-manager list ------------------------------------------------------------------------

// Builds the list of one load from the old levels' registry, then hxs.ini of the data folder (or
// of its config subfolder), else its config\Config.reg. The previous list is released first.
// TRUE when every step succeeded; a missing source is no failure.
BOOL isuBuildQmList(LPCSTR pszDataFolder);
// The data folder of the last build, normalised.
LPCSTR isuQmDataFolder(void);
void SetQmDataFolder(LPCSTR pszDataFolder);
// Works out the folders of one definition and adds it. pszLogPath NULL: the log folder is read
// from the queue manager's QM.INI. Empty parts are no part of a folder: a data folder needs both
// a prefix and a directory name.
BOOL NewQm(LPCSTR pszName, LPCSTR pszDefaultPrefix, LPCSTR pszPrefix, LPCSTR pszDirectory,
           LPCSTR pszDefaultLogPath, LPCSTR pszLogPath, LPCSTR pszInstallation, BOOL bOverwrite);
// Adds an entry, or with bOverwrite replaces the one of the same name (names compared exactly);
// without it a second definition of a name is dropped. FALSE when a folder is missing, empty or
// too long for a path (it is then kept empty), or memory ran out; a name or installation name of
// 516 characters or more is refused.
BOOL CheckAndAddQmToList(LPCSTR pszName, LPCSTR pszDataFolder, LPCSTR pszLogFolder, LPCSTR pszInstallation,
                         BOOL bOverwrite);
// The log folder of the "Log:" stanza of a QM.INI, normalised; empty when there is none. FALSE
// when the file is missing or cannot be opened. A line's value may be longer than a path: the
// caller finds such a folder missing.
BOOL isuGetLogDirFromIni(LPCSTR pszQmIni, char (&szLogPath)[ZEB_CCH_MSG]);

// Enumeration, most recently added first. Any out may be NULL; names and installation names are
// never cut (an installation name longer than 16 characters matches no installation). FALSE at
// the end of the list.
BOOL isuGetFirstQm(char (*pszName)[ZEB_CCH_MSG], char (*pszDataFolder)[ZEB_CCH_PATH],
                   char (*pszLogFolder)[ZEB_CCH_PATH], char (*pszInstallation)[ZEB_CCH_MSG]);
BOOL isuGetNextQm(char (*pszName)[ZEB_CCH_MSG], char (*pszDataFolder)[ZEB_CCH_PATH],
                  char (*pszLogFolder)[ZEB_CCH_PATH], char (*pszInstallation)[ZEB_CCH_MSG]);
int isuQmCount(void);
void isuFreeQmList(void);
void ResetUninstallState(void);

// ---- hxs.ini -----------------------------------------------------------------------------------

// Takes every "QueueManager:" stanza, with the lines up to the next stanza, out of the folder's
// hxs.ini. The file is replaced only by a complete copy, after a backup hxs.ini_backup in the
// temporary folder (which stays). TRUE when the file was replaced or there was none.
BOOL RemoveQMgrsFromIni(LPCSTR pszFolder);

// ---- Queue-manager data ------------------------------------------------------------------------

// With bDelete, stacks the removal of every listed queue manager's data and log folders (files,
// subfolders and the folders themselves). 0, or 1603 when a queue manager could not be stacked
// (an empty, relative or root folder is never stacked); the others are stacked all the same.
UINT StackDeleteQMgr(BOOL bDelete, LPCSTR pszComponent, int iInstallMode);

ZEB_ACTION iwiValidateLeaveQM(MSIHANDLE hInstall);
ZEB_ACTION iwiStackDeleteQMgrs(MSIHANDLE hInstall);
