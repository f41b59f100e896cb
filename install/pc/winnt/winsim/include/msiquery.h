// msiquery.h of the simulated machine: the installer session a custom action receives (properties,
// modes, records, messages, the package database, feature and component states), ANSI forms.
#pragma once

#include <msi.h>

#define MSI_NULL_INTEGER 0x80000000

typedef enum tagMSIRUNMODE {
    MSIRUNMODE_ADMIN = 0,
    MSIRUNMODE_ADVERTISE = 1,
    MSIRUNMODE_MAINTENANCE = 2,
    MSIRUNMODE_ROLLBACKENABLED = 3,
    MSIRUNMODE_LOGENABLED = 4,
    MSIRUNMODE_OPERATIONS = 5,
    MSIRUNMODE_REBOOTATEND = 6,
    MSIRUNMODE_REBOOTNOW = 7,
    MSIRUNMODE_CABINET = 8,
    MSIRUNMODE_SOURCESHORTNAMES = 9,
    MSIRUNMODE_TARGETSHORTNAMES = 10,
    MSIRUNMODE_RESERVED11 = 11,
    MSIRUNMODE_WINDOWS9X = 12,
    MSIRUNMODE_ZAWENABLED = 13,
    MSIRUNMODE_RESERVED14 = 14,
    MSIRUNMODE_RESERVED15 = 15,
    MSIRUNMODE_SCHEDULED = 16,
    MSIRUNMODE_ROLLBACK = 17,
    MSIRUNMODE_COMMIT = 18
} MSIRUNMODE;

typedef enum tagMSIMODIFY {
    MSIMODIFY_SEEK = -1,
    MSIMODIFY_REFRESH = 0,
    MSIMODIFY_INSERT = 1,
    MSIMODIFY_UPDATE = 2,
    MSIMODIFY_ASSIGN = 3,
    MSIMODIFY_REPLACE = 4,
    MSIMODIFY_MERGE = 5,
    MSIMODIFY_DELETE = 6,
    MSIMODIFY_INSERT_TEMPORARY = 7,
    MSIMODIFY_VALIDATE = 8,
    MSIMODIFY_VALIDATE_NEW = 9,
    MSIMODIFY_VALIDATE_FIELD = 10,
    MSIMODIFY_VALIDATE_DELETE = 11
} MSIMODIFY;

// Summary information value types (wtypes.h on Windows).
#ifndef VT_EMPTY
#define VT_EMPTY 0
#define VT_I2 2
#define VT_I4 3
#define VT_LPSTR 30
#define VT_FILETIME 64
#endif

WINSIM_API UINT WINAPI MsiGetPropertyA(MSIHANDLE hInstall, LPCSTR szName, LPSTR szValueBuf,
                                       LPDWORD pcchValueBuf);
WINSIM_API UINT WINAPI MsiSetPropertyA(MSIHANDLE hInstall, LPCSTR szName, LPCSTR szValue);
WINSIM_API BOOL WINAPI MsiGetMode(MSIHANDLE hInstall, MSIRUNMODE eRunMode);
WINSIM_API UINT WINAPI MsiSetMode(MSIHANDLE hInstall, MSIRUNMODE eRunMode, BOOL fState);
WINSIM_API UINT WINAPI MsiDoActionA(MSIHANDLE hInstall, LPCSTR szAction);
WINSIM_API int WINAPI MsiProcessMessage(MSIHANDLE hInstall, INSTALLMESSAGE eMessageType, MSIHANDLE hRecord);
WINSIM_API UINT WINAPI MsiFormatRecordA(MSIHANDLE hInstall, MSIHANDLE hRecord, LPSTR szResultBuf,
                                        LPDWORD pcchResultBuf);

WINSIM_API MSIHANDLE WINAPI MsiCreateRecord(UINT cParams);
WINSIM_API BOOL WINAPI MsiRecordIsNull(MSIHANDLE hRecord, UINT iField);
WINSIM_API UINT WINAPI MsiRecordDataSize(MSIHANDLE hRecord, UINT iField);
WINSIM_API UINT WINAPI MsiRecordSetInteger(MSIHANDLE hRecord, UINT iField, int iValue);
WINSIM_API UINT WINAPI MsiRecordSetStringA(MSIHANDLE hRecord, UINT iField, LPCSTR szValue);
WINSIM_API int WINAPI MsiRecordGetInteger(MSIHANDLE hRecord, UINT iField);
WINSIM_API UINT WINAPI MsiRecordGetStringA(MSIHANDLE hRecord, UINT iField, LPSTR szValueBuf,
                                           LPDWORD pcchValueBuf);
WINSIM_API UINT WINAPI MsiRecordGetFieldCount(MSIHANDLE hRecord);
WINSIM_API UINT WINAPI MsiRecordSetStreamA(MSIHANDLE hRecord, UINT iField, LPCSTR szFilePath);
WINSIM_API UINT WINAPI MsiRecordReadStream(MSIHANDLE hRecord, UINT iField, char* szDataBuf,
                                           LPDWORD pcbDataBuf);
WINSIM_API UINT WINAPI MsiRecordClearData(MSIHANDLE hRecord);
WINSIM_API MSIHANDLE WINAPI MsiGetLastErrorRecord(void);

WINSIM_API MSIHANDLE WINAPI MsiGetActiveDatabase(MSIHANDLE hInstall);
WINSIM_API UINT WINAPI MsiDatabaseOpenViewA(MSIHANDLE hDatabase, LPCSTR szQuery, MSIHANDLE* phView);
WINSIM_API UINT WINAPI MsiViewExecute(MSIHANDLE hView, MSIHANDLE hRecord);
WINSIM_API UINT WINAPI MsiViewFetch(MSIHANDLE hView, MSIHANDLE* phRecord);
WINSIM_API UINT WINAPI MsiViewModify(MSIHANDLE hView, MSIMODIFY eModifyMode, MSIHANDLE hRecord);
WINSIM_API UINT WINAPI MsiViewClose(MSIHANDLE hView);

WINSIM_API UINT WINAPI MsiGetSummaryInformationA(MSIHANDLE hDatabase, LPCSTR szDatabasePath,
                                                 UINT uiUpdateCount, MSIHANDLE* phSummaryInfo);
WINSIM_API UINT WINAPI MsiSummaryInfoGetPropertyCount(MSIHANDLE hSummaryInfo, UINT* puiPropertyCount);
WINSIM_API UINT WINAPI MsiSummaryInfoGetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT* puiDataType,
                                                  INT* piValue, FILETIME* pftValue, LPSTR szValueBuf,
                                                  LPDWORD pcchValueBuf);

WINSIM_API UINT WINAPI MsiGetFeatureStateA(MSIHANDLE hInstall, LPCSTR szFeature, INSTALLSTATE* piInstalled,
                                           INSTALLSTATE* piAction);
WINSIM_API UINT WINAPI MsiSetFeatureStateA(MSIHANDLE hInstall, LPCSTR szFeature, INSTALLSTATE iState);
WINSIM_API UINT WINAPI MsiGetComponentStateA(MSIHANDLE hInstall, LPCSTR szComponent,
                                             INSTALLSTATE* piInstalled, INSTALLSTATE* piAction);
WINSIM_API UINT WINAPI MsiSetComponentStateA(MSIHANDLE hInstall, LPCSTR szComponent, INSTALLSTATE iState);
WINSIM_API UINT WINAPI MsiSetInstallLevel(MSIHANDLE hInstall, int iInstallLevel);

#ifndef UNICODE
#define MsiGetProperty MsiGetPropertyA
#define MsiSetProperty MsiSetPropertyA
#define MsiDoAction MsiDoActionA
#define MsiFormatRecord MsiFormatRecordA
#define MsiRecordSetString MsiRecordSetStringA
#define MsiRecordGetString MsiRecordGetStringA
#define MsiRecordSetStream MsiRecordSetStreamA
#define MsiDatabaseOpenView MsiDatabaseOpenViewA
#define MsiGetSummaryInformation MsiGetSummaryInformationA
#define MsiSummaryInfoGetProperty MsiSummaryInfoGetPropertyA
#define MsiGetFeatureState MsiGetFeatureStateA
#define MsiSetFeatureState MsiSetFeatureStateA
#define MsiGetComponentState MsiGetComponentStateA
#define MsiSetComponentState MsiSetComponentStateA
#endif
