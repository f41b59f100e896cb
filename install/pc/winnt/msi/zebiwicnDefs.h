// Shared definitions of the custom-action library: status codes, buffer sizes, property names.
#pragma once

#include <windows.h>

// Action statuses. 1604 is only ever produced by the process launcher on a time-out.
#define ZEB_RC_SUCCESS 0u
#define ZEB_RC_CANCEL 1602u
#define ZEB_RC_FAILURE 1603u
#define ZEB_RC_SUSPEND 1604u

// Fixed buffer capacities (characters, terminator included).
#define ZEB_CCH_PATH 260   // paths and most values
#define ZEB_CCH_MSG 516    // messages and trace lines
#define ZEB_CCH_FLAG 32    // counters and flags
#define ZEB_CCH_CODE 64    // product codes
#define ZEB_CCH_CADATA 324 // CustomActionData itself
#define ZEB_CCH_ACTION 73  // action names: up to 72 characters
#define ZEB_CCH_USERNAME 516
#define ZEB_CCH_FEATURELIST 2048 // ADDLOCAL and the other feature-list properties

// Installer run modes.
#define ZEB_RUNMODE_ADMIN 0
#define ZEB_RUNMODE_SCHEDULED 16
#define ZEB_RUNMODE_ROLLBACK 17
#define ZEB_RUNMODE_COMMIT 18

// Files in the temporary folder.
#define ZEB_CANCEL_MARKER "zebcancl.txt"
#define ZEB_DATA_TRACE_FILE "zebmjpse.txt"
#define ZEB_REBOOT_MARKER "zebreboot.txt"

// Named objects.
#define ZEB_INSTALL_MUTEX "ZEB_HexlineInstallation"

// Language strings (texts in zebstrings.txt).
#define ZEB_MSG_GENERIC_FAILURE 2041
#define ZEB_MSG_BOX_TITLE 2027
#define ZEB_MSG_WAIT_TEXT 1146
#define ZEB_MSG_WAIT_TEMPLATE 1018
#define ZEB_MSG_WAIT_SERVICE 1016     // [1] service, [2] seconds left
#define ZEB_MSG_WAIT_QMGRS 1017       // [1] seconds left
#define ZEB_MSG_WAIT_LISTENERS 1019   // [1] seconds left
#define ZEB_MSG_WAIT_FILES 1020       // [1] seconds left
#define ZEB_MSG_STOPPING_SERVICE 1153 // "%s": the service
#define ZEB_MSG_LAUNCH_FAILED 2040    // "%s": the program
#define ZEB_MSG_INI_ERROR 2032        // "%s": the response file holds an error line
#define ZEB_MSG_INI_OPEN 2034         // "%s": the response file cannot be opened
// Installation names and identifiers: "%1", "%2" inserts, 2112 a "%s".
#define ZEB_MSG_NAME_INVALID 2100
#define ZEB_MSG_NAME_RESERVED 2101
#define ZEB_MSG_NAME_IN_USE 2102
#define ZEB_MSG_DESC_TOO_LONG 2103
#define ZEB_MSG_NAME_MISMATCH 2106
#define ZEB_MSG_NOT_UPGRADABLE 2108 // the caller appends its place: " (2)", " (3)", " (4)"
#define ZEB_MSG_NO_IDENTIFIER 2109
#define ZEB_MSG_NO_INSTALL_NAME 2110
#define ZEB_MSG_PATH_IN_USE 2112
#define ZEB_MSG_PATH_MISMATCH 2113
#define ZEB_MSG_NAME_CHANGE 2115

// The launcher's splash window.
#define ZEB_SPLASH_CLASS "ZEBHexlineSplash"

// Properties.
#define PROP_PRODUCTNAME "ProductName"
#define PROP_CUSTOMACTIONDATA "CustomActionData"
#define PROP_TEMPFOLDER "TempFolder"
#define PROP_UILEVEL "UILevel"
#define PROP_ZEBEXTCA60000 "ZEBEXTCA60000"
#define PROP_ZEBTEMP "ZEBTEMP"
#define PROP_ZEBTEMPFILENUM "ZEBTEMPFILENUM"
#define PROP_ZEBUSERTRACEPATH "ZEBUSERTRACEPATH"
#define PROP_ZEBUSERLOGPATH "ZEBUSERLOGPATH"
#define PROP_ZEBTEMPLOGPATH "ZEBTEMPLOGPATH"
#define PROP_ZEBDATFOLDER "ZEBDATFOLDER"
#define PROP_ZEBPGMFOLDER "ZEBPGMFOLDER"
#define PROP_ZEBPROPERTYCOUNTER "ZEBPROPERTYCOUNTER"
#define PROP_ZEBPATHPROPERTY "ZEBPATHPROPERTY"
#define PROP_ZEBRECORDCOUNTER "ZEBRECORDCOUNTER"
#define PROP_ZEBLANGDLLCREATED "ZEBLANGDLLCREATED"
#define PROP_ZEBLANGUAGECODE "ZEBLANGUAGECODE"
#define PROP_USEINI "USEINI"
#define PROP_ADDLOCAL "ADDLOCAL"
#define PROP_REMOVE "REMOVE"
#define PROP_ADDSOURCE "ADDSOURCE"
#define PROP_ADDDEFAULT "ADDDEFAULT"
#define PROP_REINSTALL "REINSTALL"
#define PROP_UPGRADECODE "UpgradeCode"
#define PROP_PRODUCTVERSION "ProductVersion"
#define PROP_ADVERTISE "ADVERTISE"
#define PROP_INSTALLED "Installed"
#define PROP_PRODUCTCODE "ProductCode"
#define PROP_VERSIONNT "VersionNT"
#define PROP_DATABASE "DATABASE"
#define PROP_ORIGINALDATABASE "OriginalDatabase"
#define PROP_ZEBCLIENT "ZEBCLIENT"
#define PROP_ZEBPRODUCT "ZEBPRODUCT"
#define PROP_INSTALLATIONNAME "INSTALLATIONNAME"
#define PROP_INSTALLATIONDESC "INSTALLATIONDESC"
#define PROP_PGMFOLDER "PGMFOLDER"
#define PROP_ZEBINSTALLINSTANCENAME "ZEBINSTALLINSTANCENAME"
#define PROP_ZEBOLDINSTALLINSTANCENAME "ZEBOLDINSTALLINSTANCENAME"
#define PROP_ZEBINSTALLINSTANCEDESC "ZEBINSTALLINSTANCEDESC"
#define PROP_ZEBINSTANCEID "ZEBINSTANCEID"
#define PROP_ZEBOLDSERVER "ZEBOLDSERVER"
#define PROP_ZEBOLDCLIENT "ZEBOLDCLIENT"
#define PROP_ZEBREMOVE "ZEBREMOVE"
#define PROP_ZEBPREVDAT "ZEBPREVDAT"
#define PROP_ZEBLEAVEQMDATAINSTALL "ZEBLEAVEQMDATAINSTALL"
#define PROP_ZEBLEAVEQMDATAREMOVE "ZEBLEAVEQMDATAREMOVE"
#define PROP_ZEBSERVICENAME "ZEBSERVICENAME"
#define PROP_ZEBBYPASSREBOOTCHECK "ZEBBYPASSREBOOTCHECK"
#define PROP_ZEBHXISRUNNING "ZEBHXISRUNNING"
#define PROP_ZEBSTARTSERVICE "ZEBSTARTSERVICE"
#define PROP_ZEBSTARTTASKBAR "ZEBSTARTTASKBAR"
#define PROP_ZEBGUI "ZEBGUI"
#define PROP_ZEBBOOT "ZEBBOOT"
#define PROP_ZEBNCSEC "ZEBNCSEC"
#define PROP_LAUNCHWIZ "LAUNCHWIZ"
#define PROP_ONLYINI "ONLYINI"
#define PROP_SOURCEDIR "SourceDir"
#define PROP_ZEBPROPERTYNAMELIST1 "ZEBPROPERTYNAMELIST1"
#define PROP_ZEBPROPERTYNAMELIST2 "ZEBPROPERTYNAMELIST2"
#define PROP_ZEBPROPERTYNAMELIST3 "ZEBPROPERTYNAMELIST3"

// printf-style checking for the trace writers.
#if defined(__MINGW32__)
#define ZEB_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define ZEB_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif

// Exported actions (also listed in zebiwicn.def for the Windows build).
#if defined(_WIN32)
#define ZEB_ACTION extern "C" UINT __stdcall
#else
#define ZEB_ACTION extern "C" __attribute__((visibility("default"))) UINT __stdcall
#endif
