// Logging and language at the start of an installation, the temporary log of the dialogs, the
// log folder that follows the data folder, and the removal of the library's temporary files.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnPrereq.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUtil.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kLanguageKey[] = "ZEB__setup_language";
const char kNoLanguageFallback[] =
    "No installation language specified. Use the TRANSFORMS property. (ZEB4732)";

struct LanguageIds {
    char cLetter;
    unsigned short ausIds[20];
};
const LanguageIds kLanguageIds[] = {
    {'t', {1028}},
    {'z', {2052, 3076, 4100}},
    {'c', {1029}},
    {'g', {1031, 2055, 3079, 4103, 5127}},
    {'s', {1034,  2058,  3082,  4106,  5130,  6154,  7178,  8202,  9226,  10250,
           11274, 12298, 13322, 14346, 15370, 16394, 17418, 18442, 19466, 20490}},
    {'f', {1036, 2060, 3084, 4108, 5132, 6156}},
    {'h', {1038}},
    {'i', {1040, 2064}},
    {'j', {1041}},
    {'k', {1042, 2066}},
    {'p', {1045}},
    {'b', {1046}},
    {'r', {1049}},
};

const struct {
    char cLetter;
    LPCSTR pszName;
} kLanguageNames[] = {{'a', "English"},
                      {'b', "Portuguese"},
                      {'c', "Czech"},
                      {'f', "French"},
                      {'g', "German"},
                      {'h', "Hungarian"},
                      {'i', "Italian"},
                      {'j', "Japanese"},
                      {'k', "Korean"},
                      {'p', "Polish"},
                      {'r', "Russian"},
                      {'s', "Spanish"},
                      {'t', "Traditional Chinese"},
                      {'z', "Simplified Chinese"}};

char LetterOfLanguageId(unsigned long ulId) {
    for (const auto& language : kLanguageIds)
        for (unsigned short usId : language.ausIds)
            if (usId != 0 && usId == ulId)
                return language.cLetter;
    return 'a';
}

LPCSTR NameOfLetter(LPCSTR pszLetter) {
    if (pszLetter[0] == '\0' || pszLetter[1] != '\0')
        return NULL;
    for (const auto& language : kLanguageNames)
        if (language.cLetter == pszLetter[0])
            return language.pszName;
    return NULL;
}

// ---- Language ------------------------------------------------------------------------------------

// The installation language letter from the UIText row the language transform fills; "" when the
// row is missing or cannot be read (each failure traced).
BOOL ReadUiLanguage(MSIHANDLE hInstall, char (&szLetter)[ZEB_CCH_FLAG]) {
    static const char kQuery[] = "SELECT * FROM UIText";
    szLetter[0] = '\0';
    ZebMsiHandle hDb(MsiGetActiveDatabase(hInstall));
    if (!hDb.IsValid()) {
        TraceText(NULL, "***MsiGetActiveDatabase() failed");
        return FALSE;
    }
    ZebMsiHandle hView;
    UINT uiRc = MsiDatabaseOpenViewA(hDb.Get(), kQuery, hView.Out());
    if (uiRc != ERROR_SUCCESS) {
        TraceText(NULL, "MsiDatabaseOpenView() error %u. Query '%s'", uiRc, kQuery);
        return FALSE;
    }
    uiRc = MsiViewExecute(hView.Get(), 0);
    if (uiRc != ERROR_SUCCESS) {
        TraceText(NULL, "MsiViewExecute() error %u. Query '%s'", uiRc, kQuery);
        return FALSE;
    }
    for (;;) {
        ZebMsiHandle hRec;
        uiRc = MsiViewFetch(hView.Get(), hRec.Out());
        if (uiRc == ERROR_NO_MORE_ITEMS)
            return FALSE;
        if (uiRc != ERROR_SUCCESS) {
            TraceText(NULL, "MsiViewFetch(1) error %u. Query '%s'", uiRc, kQuery);
            return FALSE;
        }
        char szKey[ZEB_CCH_MSG];
        DWORD cch = sizeof(szKey);
        uiRc = MsiRecordGetStringA(hRec.Get(), 1, szKey, &cch);
        if (uiRc == ERROR_MORE_DATA)
            continue; // longer than the key looked for
        if (uiRc != ERROR_SUCCESS) {
            TraceText(NULL, "MsiRecordGetString(1) error %u. Query '%s'", uiRc, kQuery);
            return FALSE;
        }
        if (strcmp(szKey, kLanguageKey) != 0)
            continue;
        char szText[ZEB_CCH_MSG];
        cch = sizeof(szText);
        uiRc = MsiRecordGetStringA(hRec.Get(), 2, szText, &cch);
        if (uiRc != ERROR_SUCCESS) {
            TraceText(NULL, "MsiRecordGetString(2) error %u. Query '%s'", uiRc, kQuery);
            return FALSE;
        }
        TraceText(NULL, "UI text key '%s': '%s'", szKey, szText);
        if (strlen(szText) >= sizeof(szLetter)) {
            TraceText(NULL, "Unknown language code '%s'; using English", szText);
            lstrcpynA(szLetter, "a", sizeof(szLetter));
        } else {
            lstrcpynA(szLetter, szText, sizeof(szLetter));
        }
        return TRUE;
    }
}

// The user trace or log file from its response-file setting: "" (disabled) for "none", a
// temporary name for an empty setting, else the path given.
BOOL ChooseUserFile(MSIHANDLE hInstall, LPCSTR pszFunction, LPCSTR pszSetting, LPCSTR pszPrefix,
                    int iTraceFile, LPCSTR pszProperty, UINT* puiStat) {
    char szValue[ZEB_CCH_MSG];
    if (iwiGetIniProperty(pszSetting, szValue, NULL) != ZEB_RC_SUCCESS) {
        *puiStat = ZEB_RC_FAILURE;
        return FALSE;
    }
    szValue[strcspn(szValue, "\r\n")] = '\0';
    NormalizePath(FALSE, szValue);

    char szPath[ZEB_CCH_PATH] = "";
    if (szValue[0] == '\0') {
        if (TraceFilePath(iTraceFile)[0] != '\0')
            lstrcpynA(szPath, TraceFilePath(iTraceFile), sizeof(szPath));
        else
            lstrcpynA(szPath, iiiGetTempFileName(pszPrefix, ".log"), sizeof(szPath));
    } else if (_stricmp(szValue, "none") != 0) {
        if (strlen(szValue) >= sizeof(szPath)) {
            // A cut path would name another file.
            TraceText(pszFunction, "***%s '%s' is too long for a path; using a temporary file", pszSetting,
                      szValue);
            lstrcpynA(szPath, iiiGetTempFileName(pszPrefix, ".log"), sizeof(szPath));
        } else {
            lstrcpynA(szPath, szValue, sizeof(szPath));
            TryCreateNewFile(szPath); // only traced: the path is used anyway
        }
    }
    if (!SetPropertyValue(hInstall, pszFunction, pszProperty, szPath, puiStat))
        return FALSE;
    SetTraceFilePath(iTraceFile, szPath);
    return TRUE;
}

void StartLogsBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiStartLogs";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;

    char szId[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_SYSTEMLANGUAGEID, szId, sizeof(szId), puiStat))
        return;
    char szSystem[2] = {LetterOfLanguageId(strtoul(szId, NULL, 10)), '\0'};
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBSYSTEMLANGUAGECODE, szSystem, puiStat))
        return;

    char szLetter[ZEB_CCH_FLAG];
    BOOL bSpecified = TRUE;
    if (!ReadUiLanguage(hInstall, szLetter)) {
        TraceText(NULL, "***Can't find key '%s' in UIText table. No UI language transform.", kLanguageKey);
        bSpecified = FALSE;
    } else if (szLetter[0] == '\0') {
        TraceText(NULL, "***No UI language transform found.");
        bSpecified = FALSE;
    }
    for (LPSTR p = szLetter; *p != '\0'; p++)
        *p = (char)tolower((unsigned char)*p);
    if (szLetter[0] == '\0')
        lstrcpynA(szLetter, szSystem, sizeof(szLetter));
    LPCSTR pszLanguage = NameOfLetter(szLetter);
    if (pszLanguage == NULL) {
        TraceText(NULL, "Unknown language code '%s'; using English", szLetter);
        lstrcpynA(szLetter, "a", sizeof(szLetter));
        pszLanguage = "English";
    }

    char szLibrary[ZEB_CCH_PATH];
    lstrcpynA(szLibrary, iiiGetTempFileName("zebl", ".dll"), sizeof(szLibrary));
    char szBinary[ZEB_CCH_FLAG];
    snprintf(szBinary, sizeof(szBinary), "zebirc%cn", szLetter[0]);
    if (szLibrary[0] != '\0' && iwiGetFileFromBinary(szBinary, ".dll", szLibrary, NULL)) {
        TraceText(NULL, "successfully created language DLL.");
        if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBLANGDLLCREATED, "1", puiStat))
            return;
    }
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBLANGUAGECODE, szLetter, puiStat) ||
        !SetPropertyValue(hInstall, kFunction, PROP_ZEBLANGUAGE, pszLanguage, puiStat))
        return;

    if (!bSpecified) {
        ShowNlsError(ZEB_MSG_NO_LANGUAGE, kNoLanguageFallback, NULL);
        *puiStat = ZEB_RC_FAILURE;
        return;
    }

    if (!ChooseUserFile(hInstall, kFunction, PROP_INSTALLTRACE, "zebt", ZEB_TRACE_USER_TRACE,
                        PROP_ZEBUSERTRACEPATH, puiStat))
        return;
    ChooseUserFile(hInstall, kFunction, PROP_INSTALLLOG, "zebl", ZEB_TRACE_USER_LOG, PROP_ZEBUSERLOGPATH,
                   puiStat);
}

// ---- Temporary log of the dialogs -----------------------------------------------------------------

void SetTempLogPathBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiSetTempLogPath";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szPath[ZEB_CCH_PATH];
    lstrcpynA(szPath, iiiGetTempFileName("zebg", ".txt"), sizeof(szPath));
    if (szPath[0] == '\0') {
        TraceText(kFunction, "***No name for the temporary log file");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    iiiDeleteFile(FALSE, TRUE, NULL, szPath, FALSE, NULL, NULL, 0);
    if (SetPropertyValue(hInstall, kFunction, PROP_ZEBTEMPLOGPATH, szPath, puiStat))
        SetTraceFilePath(ZEB_TRACE_TEMP_LOG, szPath);
}

void UnSetTempLogPathBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiUnSetTempLogPath";
    if (!SetPropertyValue(hInstall, kFunction, PROP_ZEBTEMPLOGPATH, "", puiStat))
        return;
    SetTraceFilePath(ZEB_TRACE_TEMP_LOG, "");
    if (ProcessUiTempLog() != ZEB_RC_SUCCESS)
        *puiStat = ZEB_RC_FAILURE;
}

// ---- Log folder -----------------------------------------------------------------------------------

BOOL PublishLogFolder(MSIHANDLE hInstall, LPCSTR pszFunction, char (&szFolder)[ZEB_CCH_PATH], UINT* puiStat) {
    NormalizePath(FALSE, szFolder);
    lstrcpynA(WorkingFolders().szLog, szFolder, sizeof(WorkingFolders().szLog));
    return SetPropertyValue(hInstall, pszFunction, PROP_ZEBLOGFOLDER, szFolder, puiStat);
}

void FindExistingLogFolderBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiFindExistingLogFolder";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szData[ZEB_CCH_PATH];
    if (!KnownFolder(hInstall, kFunction, WorkingFolders().szData, PROP_ZEBDATFOLDER, szData, puiStat))
        return;
    char szFolder[ZEB_CCH_PATH];
    char szFile[ZEB_CCH_PATH];
    if (!FindConfiguredLogFolder(szData, szFolder, szFile) || szFolder[0] == '\0') {
        TraceText(kFunction, "No log folder recorded in '%s'; log folder unchanged", szData);
        return;
    }
    TraceText(kFunction, "Log folder '%s' from '%s'", szFolder, szFile);
    PublishLogFolder(hInstall, kFunction, szFolder, puiStat);
}

void RecalcLogFolderBody(MSIHANDLE hInstall, UINT* puiStat) {
    static const char kFunction[] = "iwiRecalcLogFolder";
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szPrevious[ZEB_CCH_PATH];
    lstrcpynA(szPrevious, PrevRecord().szLogFolder, sizeof(szPrevious));
    if (szPrevious[0] == '\0' &&
        !GetPropertyValue(hInstall, kFunction, PROP_ZEBPREVLOG, szPrevious, sizeof(szPrevious), puiStat))
        return;
    NormalizePath(FALSE, szPrevious);
    char szLast[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBLASTLOG, szLast, sizeof(szLast), puiStat))
        return;

    char szFolder[ZEB_CCH_PATH] = "";
    if (szPrevious[0] != '\0' && IsValidPath(ZEB_FOLDER_LOG, szPrevious)) {
        lstrcpynA(szFolder, szPrevious, sizeof(szFolder));
    } else {
        char szData[ZEB_CCH_PATH];
        if (!KnownFolder(hInstall, kFunction, WorkingFolders().szData, PROP_ZEBDATFOLDER, szData, puiStat))
            return;
        char szFile[ZEB_CCH_PATH];
        if (!FindConfiguredLogFolder(szData, szFolder, szFile)) {
            TraceText(kFunction, "***Can't read the log folder recorded in '%s'", szFile);
            *puiStat = ZEB_RC_FAILURE;
            return;
        }
        if (szFolder[0] == '\0' && szLast[0] != '\0' && IsValidPath(ZEB_FOLDER_LOG, szLast))
            lstrcpynA(szFolder, szLast, sizeof(szFolder));
        // Without a data folder there is nothing to put "log" under: "\log" would be no folder.
        if (szFolder[0] == '\0' && (szData[0] == '\0' || !MakeFilePath(szFolder, szData, "log"))) {
            TraceText(kFunction, "***No data folder to place the log folder in; log folder unchanged");
            return;
        }
    }
    TraceText(kFunction, "Log folder is '%s'", szFolder);
    PublishLogFolder(hInstall, kFunction, szFolder, puiStat);
}

// Deletes a file of the folder at once; nothing when the folder is not known.
void DeleteFileIn(LPCSTR pszFolder, LPCSTR pszName) {
    char szPath[ZEB_CCH_PATH];
    if (pszFolder[0] != '\0' && MakeFilePath(szPath, pszFolder, pszName))
        iiiDeleteFile(FALSE, TRUE, NULL, szPath, FALSE, NULL, NULL, 0);
}

// The dialogs' log merged in this load: merged again it would repeat every line (a kept log) or
// read a file already gone.
char g_szMergedUiLog[ZEB_CCH_PATH];

} // namespace

void ResetLogsState(void) {
    g_szMergedUiLog[0] = '\0';
}

void DeleteTempFileNow(LPCSTR pszPrefix, LPCSTR pszSuffix) {
    char szPath[ZEB_CCH_PATH];
    lstrcpynA(szPath, iiiGetTempFileName(pszPrefix, pszSuffix), sizeof(szPath));
    if (szPath[0] != '\0')
        iiiDeleteFile(FALSE, TRUE, NULL, szPath, FALSE, NULL, NULL, 0);
}

void iiiProcessTempLogFile(BOOL bDelete, LPCSTR pszPath) {
    static const char kFunction[] = "iiiProcessTempLogFile";
    char szPath[ZEB_CCH_PATH] = "";
    if (pszPath != NULL && pszPath[0] != '\0') {
        lstrcpynA(szPath, pszPath, sizeof(szPath));
    } else {
        char szData[ZEB_CCH_PATH];
        UINT uiIgnored = ZEB_RC_SUCCESS;
        if (KnownFolder(FrameSession(), kFunction, WorkingFolders().szData, PROP_ZEBDATFOLDER, szData,
                        &uiIgnored) &&
            szData[0] != '\0')
            MakeFilePath(szPath, szData, ZEB_DATA_TEMP_LOG_FILE);
        if (szPath[0] == '\0') {
            TraceText(kFunction, "No log file available");
            return;
        }
    }

    ZebFile fp(fopen(szPath, "rtN"));
    if (!fp.IsValid()) {
        TraceText(kFunction, "Can't find '%s'", szPath);
    } else {
        TraceText(kFunction, "Messages from temporary log file '%s':", szPath);
        SetTraceMergeSource(szPath);
        char szPiece[ZEB_CCH_MSG];
        while (fgets(szPiece, sizeof(szPiece), fp.Get()) != NULL) {
            szPiece[strcspn(szPiece, "\r")] = '\0';
            szPiece[strcspn(szPiece, "\n")] = '\0';
            char szLine[ZEB_CCH_MSG + 2];
            snprintf(szLine, sizeof(szLine), ">>%s", szPiece);
            WriteTraceRaw(szLine);
        }
        SetTraceMergeSource("");
        TraceText(kFunction, "End of messages from temporary log file.");
        fp.Close();
    }
    if (bDelete)
        iiiDeleteFile(FALSE, TRUE, NULL, szPath, FALSE, NULL, NULL, 0);
}

UINT ProcessUiTempLog(void) {
    static const char kFunction[] = "ProcessUiTempLog";
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    char szOpen[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBTEMPLOGPATH, szOpen, sizeof(szOpen), &uiStat))
        return uiStat;
    if (szOpen[0] != '\0')
        return ZEB_RC_SUCCESS; // still being written
    char szPath[ZEB_CCH_PATH];
    lstrcpynA(szPath, iiiGetTempFileName("zebg", ".txt"), sizeof(szPath));
    if (szPath[0] == '\0') {
        TraceText(kFunction, "***No name for the temporary log file");
        return ZEB_RC_FAILURE;
    }
    if (lstrcmpiA(szPath, g_szMergedUiLog) == 0) {
        TraceText(kFunction, "Temporary log file '%s' already merged", szPath);
        return ZEB_RC_SUCCESS;
    }
    char szKeep[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBKEEPTEMPLOG, szKeep, sizeof(szKeep), &uiStat))
        return uiStat;
    iiiProcessTempLogFile(szKeep[0] == '\0', szPath);
    lstrcpynA(g_szMergedUiLog, szPath, sizeof(g_szMergedUiLog));
    return ZEB_RC_SUCCESS;
}

UINT DeleteTempFiles(void) {
    static const char kFunction[] = "DeleteTempFiles";
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ProcessUiTempLog();

    char szData[ZEB_CCH_PATH] = "";
    UINT uiRead = ZEB_RC_SUCCESS;
    if (!KnownFolder(hInstall, kFunction, WorkingFolders().szData, PROP_ZEBDATFOLDER, szData, &uiRead) ||
        !EnsureTempFolder(hInstall, kFunction))
        uiStat = ZEB_RC_FAILURE;
    DeleteFileIn(TempFolder(), ZEB_CANCEL_MARKER);
    DeleteFileIn(TempFolder(), ZEB_REBOOT_MARKER);
    DeleteTempFileNow("zebt", ".txt");
    DeleteFileIn(szData, ZEB_DATA_TEMP_LOG_FILE);
    DeleteTempFileNow("zebs", ".txt");

    FrameReleaseLanguageLibrary();
    if (LanguageLibraryPath()[0] != '\0')
        iiiDeleteFile(FALSE, TRUE, NULL, LanguageLibraryPath(), FALSE, NULL, NULL, 0);
    else
        DeleteTempFileNow("zebl", ".dll");

    // A cancel it reports is the run's, not a failure of the clean-up.
    if (iwiUnSetTempLogPath(hInstall) == ZEB_RC_FAILURE)
        uiStat = ZEB_RC_FAILURE;
    return uiStat;
}

ZEB_ACTION iwiStartLogs(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStartLogs", NULL))
        StartLogsBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiSetTempLogPath(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiSetTempLogPath", NULL))
        SetTempLogPathBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiUnSetTempLogPath(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiUnSetTempLogPath", NULL))
        UnSetTempLogPathBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiFindExistingLogFolder(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiFindExistingLogFolder", NULL))
        FindExistingLogFolderBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiRecalcLogFolder(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiRecalcLogFolder", NULL))
        RecalcLogFolderBody(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
