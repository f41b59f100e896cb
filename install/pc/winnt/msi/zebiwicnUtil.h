// Installation registry record and identity: the record of each installation and the lookups on
// it, installation names and identifiers.
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>

// Installation details (characters, terminator included).
#define ZEB_CCH_INSTNAME 17 // 1 to 16 ASCII letters and digits
#define ZEB_CCH_INSTDESC 65
#define ZEB_CCH_INSTID 15
#define ZEB_CCH_VRMF 32
#define ZEB_CCH_PRODUCTCODE 39
#define ZEB_CCH_LEVEL 32         // modification or fix level of a maintenance level
#define ZEB_CCH_UPGRADELIST 6000 // ZEBOLDSERVER, ZEBOLDCLIENT

// Keys under HKEY_LOCAL_MACHINE.
#define ZEB_KEY_PRODUCT "SOFTWARE\\Corvane\\Skyloft HX"
#define ZEB_KEY_INSTALLATION ZEB_KEY_PRODUCT "\\Installation"
#define ZEB_KEY_PRIMARY ZEB_KEY_PRODUCT "\\Primary"
#define ZEB_KEY_OLD_RECORD "SOFTWARE\\Corvane\\Hexline\\CurrentVersion" // 32-bit view

// The name given to the old single record.
#define ZEB_OLD_RECORD_NAME "Installation0"

// View modes of the lookups.
#define ZEB_VIEW_64 0
#define ZEB_VIEW_32 1
#define ZEB_VIEW_64_THEN_32 2

// ---- Installation record ------------------------------------------------------------------------

// "Installation0" or "CurrentVersion", in any case.
BOOL IsReservedInstallName(LPCSTR pszName);
// The installation key of a name; FALSE (and an empty key) when it does not fit.
BOOL MakeInstallationKey(char (&szKey)[ZEB_CCH_MSG], LPCSTR pszName);

// By product code when one is given, else by program folder. The VRMF and product code are read
// (and must not be empty) only when their buffers are given. bOldRecord: also the old single
// record, found as "Installation0".
BOOL RetrieveInstallDetails(char (&szName)[ZEB_CCH_INSTNAME], char (&szDescription)[ZEB_CCH_INSTDESC],
                            char (&szIdentifier)[ZEB_CCH_INSTID], char (*pszVrmf)[ZEB_CCH_VRMF],
                            char (*pszFoundCode)[ZEB_CCH_PRODUCTCODE], BOOL bOldRecord, LPCSTR pszProductCode,
                            LPCSTR pszFolder, int iViewMode);
// TRUE when the named installation has all its values. A reserved name is the old record, and
// only with bAllowReserved. Every out may be NULL.
BOOL RetrieveInstallDetailsByName(LPCSTR pszName, char (*pszProductCode)[ZEB_CCH_PRODUCTCODE],
                                  char (*pszDescription)[ZEB_CCH_INSTDESC],
                                  char (*pszIdentifier)[ZEB_CCH_INSTID], char (*pszVrmf)[ZEB_CCH_VRMF],
                                  BOOL bAllowReserved, int iViewMode);
// TRUE when an installation other than the ignored one exists (also when the registry cannot say).
BOOL icsCheckForInstalls(LPCSTR pszIgnoreName, BOOL bIgnoreByName, BOOL bIgnoreClients);
BOOL icsGetPrimaryName(char (&szName)[ZEB_CCH_INSTNAME]);
// Levels of the installation pszRoot\pszName: FALSE when its key cannot be read. Every out may be
// NULL.
BOOL icsGetMaintenanceLevels(LPCSTR pszRoot, LPCSTR pszName, char (*pszShippedMod)[ZEB_CCH_LEVEL],
                             char (*pszShippedFix)[ZEB_CCH_LEVEL], char (*pszPreviousMod)[ZEB_CCH_LEVEL],
                             char (*pszPreviousFix)[ZEB_CCH_LEVEL], char (*pszLatestMod)[ZEB_CCH_LEVEL],
                             char (*pszLatestFix)[ZEB_CCH_LEVEL], char (*pszRollBack)[ZEB_CCH_PATH]);
// Name and description saved in the data folder's Config\LastInstall.reg; empty when unknown.
void GetPreviousInstallationDetails(char (&szName)[ZEB_CCH_INSTNAME],
                                    char (&szDescription)[ZEB_CCH_INSTDESC]);
// A value of a registry-export ("name"="value", bQuoted) or initialisation file (name=value, any
// case). FALSE only when the file exists but cannot be opened.
BOOL GetStringFromRegFile(LPCSTR pszFile, LPCSTR pszName, char (&szValue)[ZEB_CCH_PATH], BOOL bQuoted);
// The log folder ("LogDefaultPath") a data folder's configuration names: HXS.INI, then
// config\HXS.INI, then config\Config.reg, until one names it; szFile gets that file. Empty when
// none does; FALSE when a file exists but cannot be read (the search stops there).
BOOL FindConfiguredLogFolder(LPCSTR pszDataFolder, char (&szFolder)[ZEB_CCH_PATH],
                             char (&szFile)[ZEB_CCH_PATH]);
// TRUE for a client run (ZEBCLIENT then "1"); FALSE for a server run or a failed property access.
BOOL IsClientInstall(void);

// ---- Names and identifiers ----------------------------------------------------------------------

BOOL iwiIsInstallNameInvalid(LPCSTR pszName);
// The lowest free identifier, or -1 after message 2109 naming the installation.
int GetNewInstallationIdentifier(LPCSTR pszName);
// "InstallationN" for the first N from the suggested identifier (1 to 999) that no installation
// has; the out is left as it was when there is none.
void GetUniqueDefaultInstallationName(char (&szName)[ZEB_CCH_INSTNAME], LPCSTR pszSuggestedId);

ZEB_ACTION iwiProcessUserInstallationName(MSIHANDLE hInstall);

// ---- Primary installation -----------------------------------------------------------------------

// Sets ZEBMAKEPRIMARY and ZEBALLOWPRIMARY ("1" or empty) for the running session; failures are
// only traced and leave this installation not primary.
void iwiCalculatePrimary(void);

// ---- Previous installation record ---------------------------------------------------------------

// Documentation languages an older installation may have had, in the order of its language flags:
// en_us, fr_fr, de_de, es_es, it_it, ja_jp, ko_kr, pt_br, zh_tw, zh_cn.
#define ZEB_PREV_LANGUAGES 10

// What the installation this package upgrades, or one an older release left behind, was: one per
// loaded copy. The folders are cleared only when the library is loaded; GetHxRegistryInfo clears
// the level, the component and QB17 flags and the telemetry folder.
struct ZebPrevRecord {
    LONG lProduct;                      // previous product level, 0 when nothing is upgraded
    UINT uSummaryMessage;               // 1065 to 1068 for the install summary, or 0
    char szProgramFolder[ZEB_CCH_PATH]; // "FilePath"
    char szStartFolder[ZEB_CCH_PATH];   // "ProgramFolder"
    char cLanguageCode;                 // an upper-case letter, 0 when unknown
    char szLanguage[ZEB_CCH_PATH];
    char szDataFolder[ZEB_CCH_PATH]; // kept once found
    char szLogFolder[ZEB_CCH_PATH];  // kept once found
    char szVrmf[ZEB_CCH_VRMF];       // "0.0.0.0" when unknown
    char szTelemetryFolder[ZEB_CCH_PATH];
    // Component flags: a value of the old record's "Components" subkey.
    BOOL bServer, bWindowsClient, bJavaClient, bToolkit, bHtmlLibrary, bGatewayDocs, bPdfLibrary;
    BOOL bInternetGateway, bExplorer, bTelemetryService, bMftAgent, bMftLogger, bMftService, bMftTools;
    BOOL bMessageSecurity, bAmqp, bWeb, bJre;
    BOOL abLanguage[ZEB_PREV_LANGUAGES];
    BOOL bQb17Java;    // the old Java add-on's files were found
    BOOL bQb17Samples; // and its samples were installed
    BOOL bServerOrigin, bClientOrigin;
};

ZebPrevRecord& PrevRecord(void);
void ResetPrevState(void);

// Fills the record from the old installation ZEBOLDINSTALLINSTANCENAME names and publishes the
// old data and log folders (ZEBLASTDAT, ZEBLASTLOG). 0, or 1603 after a failed property access.
UINT GetHxRegistryInfo(void);
// Marks the summary feature table's row of that name as previously installed.
void SetPrevInstalled(LPCSTR pszFeature);
// 1 when the old installation had the feature, else 0.
int IsOldFeatureInstalled(LPCSTR pszFeature);
// The old Java add-on: its folder when installed without the installer, the folder (or key path)
// of its component when installed by the installer, and whether its samples were. 0, or 1603
// when a property cannot be read.
UINT GetQb17Info(char (&szJavaFolder)[ZEB_CCH_PATH], char (&szMsiJavaFolder)[ZEB_CCH_PATH], BOOL* pbSamples);
