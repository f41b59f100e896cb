// Helper scripts of the product run through the command interpreter, the deletion of what they
// unpacked, and the configuration files adapted to the installation's folders.
#include "zebiobjn.h"
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kScript[] = "zips\\UnpackFeature.cmd";
const char kPowerShellScript[] = "zips\\Unpackfeature.ps1";
const DWORD kStopTimeoutMs = 300000;
const DWORD kPowerShellMissing = 1001;

// One optional runtime: where its archive is unpacked and what the script's log is called.
struct Feature {
    LPCSTR pszFunction;
    LPCSTR pszLabel;   // "JRE" or "Web" in the trace
    LPCSTR pszFolder;  // below the program folder
    LPCSTR pszArchive; // in P\zips
    LPCSTR pszLog;     // the script's own log, in the target folder
};

const Feature kJre = {"icsUnzipJRE", "JRE", "java", "hx_jre64.zip", "UnpackFeatureJRE.log"};
const Feature kWeb = {"icsUnzipRZL", "Web", "web", "hx_rzl.zip", "UnpackFeatureWeb.log"};

// folder + "\\" + name, traced when it does not fit.
BOOL JoinTraced(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFunction, LPCSTR pszFolder, LPCSTR pszName) {
    if (MakeFilePath(szOut, pszFolder, pszName))
        return TRUE;
    TraceText(pszFunction, "***Path too long: '%s\\%s'", pszFolder, pszName);
    return FALSE;
}

// The program folder in a path buffer; FALSE, traced, when it does not fit one.
BOOL CopyFolder(char (&szOut)[ZEB_CCH_PATH], LPCSTR pszFunction, LPCSTR pszFolder) {
    szOut[0] = '\0';
    if (strlen(pszFolder) >= sizeof(szOut)) {
        TraceText(pszFunction, "***Path too long: '%s'", pszFolder);
        return FALSE;
    }
    lstrcpynA(szOut, pszFolder, sizeof(szOut));
    return TRUE;
}

// Parameters formatted whole, or refused (traced) when they do not fit.
BOOL FormatParameters(char (&szOut)[ZEB_CCH_MSG], LPCSTR pszFunction, LPCSTR pszFormat, ...) ZEB_PRINTF(3, 4);
BOOL FormatParameters(char (&szOut)[ZEB_CCH_MSG], LPCSTR pszFunction, LPCSTR pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    int cch = vsnprintf(szOut, sizeof(szOut), pszFormat, args);
    va_end(args);
    if (cch >= 0 && (size_t)cch < sizeof(szOut))
        return TRUE;
    szOut[0] = '\0';
    TraceText(pszFunction, "***Command parameters too long; not run");
    return FALSE;
}

// The system's command interpreter, "<windir>\System32\cmd.exe", in double quotes.
BOOL CommandInterpreter(char (&szCommand)[ZEB_CCH_MSG], LPCSTR pszFunction) {
    char szWindows[ZEB_CCH_PATH];
    DWORD cch = GetEnvironmentVariableA("windir", szWindows, sizeof(szWindows));
    char szPath[ZEB_CCH_PATH];
    if (cch == 0 || cch >= sizeof(szWindows) || !MakeFilePath(szPath, szWindows, "System32\\cmd.exe")) {
        TraceText(pszFunction, "***Unable to find the command interpreter (windir)");
        return FALSE;
    }
    return FormatParameters(szCommand, pszFunction, "\"%s\"", szPath);
}

// Runs cmd with the parameters in the folder, hidden, and traces what it runs. The command after
// "/c" is given one more pair of quotes: cmd strips the outer pair, so a program folder holding
// &<>()@^| keeps the quotes around the script.
UINT RunCommandScript(LPCSTR pszFunction, LPCSTR pszParameters, LPCSTR pszFolder, DWORD dwTimeoutMs,
                      DWORD* pdwExitCode) {
    *pdwExitCode = 0xFFFFFFFF;
    char szCommand[ZEB_CCH_MSG];
    if (!CommandInterpreter(szCommand, pszFunction))
        return ZEB_RC_FAILURE;
    TraceText(pszFunction, "cmd to run  : %s", szCommand);
    TraceText(pszFunction, "cmd parms   : %s", pszParameters);
    TraceText(pszFunction, "current dir : %s", pszFolder);
    return LaunchAndWait(szCommand, pszParameters, pszFolder, SW_HIDE, pdwExitCode, dwTimeoutMs);
}

void TraceExists(LPCSTR pszFunction, BOOL bExists, LPCSTR pszWhat) {
    TraceText(pszFunction, bExists ? "%s exists" : "INFO: %s does not exist", pszWhat);
}

BOOL Unzip(const Feature& feature, LPCSTR pszProgramFolder, LPCSTR pszLogCopy) {
    LPCSTR pszFunction = feature.pszFunction;
    if (pszProgramFolder[0] == '\0') {
        TraceText(pszFunction, "***ERROR: program folder property not set, will not unzip any files");
        return FALSE;
    }
    char szZips[ZEB_CCH_PATH];
    char szArchive[ZEB_CCH_PATH];
    char szScript[ZEB_CCH_PATH];
    char szTarget[ZEB_CCH_PATH];
    if (!JoinTraced(szZips, pszFunction, pszProgramFolder, "zips") ||
        !JoinTraced(szArchive, pszFunction, szZips, feature.pszArchive) ||
        !JoinTraced(szScript, pszFunction, pszProgramFolder, kScript) ||
        !JoinTraced(szTarget, pszFunction, pszProgramFolder, feature.pszFolder))
        return FALSE;

    if (&feature == &kWeb) {
        char szPowerShell[ZEB_CCH_PATH];
        if (!JoinTraced(szPowerShell, pszFunction, pszProgramFolder, kPowerShellScript))
            return FALSE;
        char szFolder[ZEB_CCH_PATH];
        lstrcpynA(szFolder, szZips, sizeof(szFolder));
        TraceExists(pszFunction, IsExistingDirectory(szFolder), "zips directory");
        lstrcpynA(szFolder, szTarget, sizeof(szFolder));
        TraceExists(pszFunction, IsExistingDirectory(szFolder), "web directory");
        TraceExists(pszFunction, FileExists(szScript), "UnpackFeature.cmd");
        TraceExists(pszFunction, FileExists(szPowerShell), "UnpackFeature.ps1");
    }
    if (!FileExists(szArchive)) {
        TraceText(pszFunction, "INFO: '%s' does not exist, so will not be unzipped", szArchive);
        return TRUE;
    }
    if (!IsExistingDirectory(szTarget)) {
        if (&feature == &kJre)
            TraceText(pszFunction, "Not attempting to unzip JRE feature zip as %s directory is not present",
                      feature.pszFolder);
        else
            TraceText(pszFunction, "Not attempting to unzip Web feature zip as web directory is not present");
        return TRUE;
    }

    TraceText(pszFunction, "unzipping %s feature zip", feature.pszLabel);
    char szParameters[ZEB_CCH_MSG];
    if (!FormatParameters(szParameters, pszFunction, "/c \"\"%s\" ..\\%s %s >%s 2>&1\"", szScript,
                          feature.pszFolder, feature.pszArchive, feature.pszLog))
        return FALSE;
    DWORD dwExitCode = 0xFFFFFFFF;
    UINT uiRet = RunCommandScript(pszFunction, szParameters, szTarget, INFINITE, &dwExitCode);
    TraceText(pszFunction, "UnpackFeature return code - dwExitCode=%d", (int)dwExitCode);

    if (uiRet == ZEB_RC_SUCCESS) {
        char szLog[ZEB_CCH_PATH];
        if (JoinTraced(szLog, pszFunction, szTarget, feature.pszLog)) {
            TraceText(pszFunction, "copy file '%s' to '%s'", szLog, pszLogCopy);
            TraceText(pszFunction, CopyFileA(szLog, pszLogCopy, FALSE) ? "copy successful" : "copy failed");
        }
    }
    if (uiRet != ZEB_RC_SUCCESS) {
        TraceText(pszFunction, "***ERROR: unzip program launch failed with retVal %d", (int)uiRet);
        return FALSE;
    }
    if (dwExitCode != 0) {
        TraceText(pszFunction, "***ERROR: unzip program successfully launched but failed with dwExitCode %d",
                  (int)dwExitCode);
        if (dwExitCode == kPowerShellMissing)
            TraceText(pszFunction, "***ERROR: powershell.exe not found on the system PATH");
        TraceText(pszFunction, "***check file '%s'", pszLogCopy);
        return FALSE;
    }
    TraceText(pszFunction, "unzip program successfully executed (or skipped as appropriate)");
    return TRUE;
}

// The deleters' common start: FALSE with *pbResult set when there is nothing more to do.
BOOL CheckProgramFolder(LPCSTR pszFunction, LPCSTR pszProgramFolder, char (&szFolder)[ZEB_CCH_PATH],
                        BOOL* pbResult) {
    if (pszProgramFolder[0] == '\0') {
        TraceText(pszFunction, "***ERROR: program folder property not set, will not delete any files");
        *pbResult = FALSE;
        return FALSE;
    }
    if (!CopyFolder(szFolder, pszFunction, pszProgramFolder)) {
        *pbResult = FALSE;
        return FALSE;
    }
    if (!IsExistingDirectory(szFolder)) {
        TraceText(pszFunction, "Program folder not found, skipping file deletion");
        *pbResult = TRUE;
        return FALSE;
    }
    return TRUE;
}

// Everything below the folder and the folder itself, deleted now (locked files at restart).
BOOL DeleteTree(LPCSTR pszFunction, LPCSTR pszFolder) {
    TraceText(pszFunction, "Deleting directory: %s", pszFolder);
    char szPattern[ZEB_CCH_PATH];
    BOOL bOk = JoinTraced(szPattern, pszFunction, pszFolder, "*") &&
               iiiDelDirFiles(FALSE, TRUE, NULL, szPattern, TRUE, TRUE, TRUE, "", 0);
    if (bOk)
        TraceText(pszFunction, "Deleted directory '%s'", pszFolder);
    else
        TraceText(pszFunction, "***ERROR: Failed to delete directory '%s'", pszFolder);
    return bOk;
}

} // namespace

BOOL icsUnzipJRE(LPCSTR pszProgramFolder, LPCSTR pszLogCopy) {
    return Unzip(kJre, pszProgramFolder, pszLogCopy);
}

BOOL icsUnzipRZL(LPCSTR pszProgramFolder, LPCSTR pszLogCopy) {
    return Unzip(kWeb, pszProgramFolder, pszLogCopy);
}

BOOL icsDeleteJREFiles(LPCSTR pszProgramFolder) {
    static const char kFunction[] = "icsDeleteJREFiles";
    static const char* const kFiles[] = {"notices.txt", "copyright", "readme.txt", "UnpackFeatureJRE.log",
                                         "UnpackFeatureJREErr.log"};
    char szProgram[ZEB_CCH_PATH];
    BOOL bResult = TRUE;
    if (!CheckProgramFolder(kFunction, pszProgramFolder, szProgram, &bResult))
        return bResult;
    TraceText(kFunction, "attempting to delete unzipped JRE feature files and folders...");
    char szJava[ZEB_CCH_PATH];
    char szJre[ZEB_CCH_PATH];
    char szDocs[ZEB_CCH_PATH];
    if (!JoinTraced(szJava, kFunction, szProgram, "java") || !JoinTraced(szJre, kFunction, szJava, "jre") ||
        !JoinTraced(szDocs, kFunction, szJava, "docs"))
        return FALSE;
    if (!IsExistingDirectory(szJre)) {
        TraceText(kFunction, "'%s' does not exist - skipping", szJre);
        return TRUE;
    }

    bResult = DeleteTree(kFunction, szJre);
    if (bResult && IsExistingDirectory(szDocs))
        bResult = DeleteTree(kFunction, szDocs);
    else
        TraceText(kFunction, "'%s' does not exist or previous delete failed", szDocs);

    for (LPCSTR pszName : kFiles) {
        char szFile[ZEB_CCH_PATH];
        if (!JoinTraced(szFile, kFunction, szJava, pszName)) {
            bResult = FALSE;
            continue;
        }
        if (!FileExists(szFile)) {
            TraceText(kFunction, "File '%s' does not exist, no deletion required", szFile);
        } else if (DeleteFileA(szFile)) {
            TraceText(kFunction, "Deleted file: '%s'", szFile);
        } else {
            TraceText(kFunction, "***Unable to delete file: '%s', error code (%d)", szFile,
                      (int)GetLastError());
            bResult = FALSE;
        }
    }
    if (bResult)
        TraceText(kFunction,
                  "Deletion of JRE feature directories, reports successful completion (or was bypassed)");
    else
        TraceText(kFunction, "***Error in JRE feature files deletion, see preceding message(s)");
    return bResult;
}

BOOL icsDeleteWebFiles(LPCSTR pszProgramFolder) {
    static const char kFunction[] = "icsDeleteWebFiles";
    static const char* const kPatterns[] = {"*",      "bin\\*", "clients\\*", "dev\\*",
                                            "etc\\*", "lib\\*", "hx\\*",      "templates\\*"};
    char szProgram[ZEB_CCH_PATH];
    BOOL bResult = TRUE;
    if (!CheckProgramFolder(kFunction, pszProgramFolder, szProgram, &bResult))
        return bResult;
    TraceText(kFunction, "attempting to delete unzipped Web feature files and folders...");
    char szWeb[ZEB_CCH_PATH];
    if (!JoinTraced(szWeb, kFunction, szProgram, "web"))
        return FALSE;
    if (!IsExistingDirectory(szWeb)) {
        TraceText(kFunction, "Directory to delete ('%s') does not exist - skipping", szWeb);
        return TRUE;
    }

    for (LPCSTR pszPattern : kPatterns) {
        char szPath[ZEB_CCH_PATH];
        if (!JoinTraced(szPath, kFunction, szWeb, pszPattern)) {
            bResult = FALSE;
            continue;
        }
        TraceText(kFunction, "Deleting contents of directory: %s", szPath);
        // The top level alone: its subfolders are either listed or not the unpacking's.
        BOOL bDescend = strcmp(pszPattern, "*") != 0;
        if (iiiDelDirFiles(FALSE, TRUE, NULL, szPath, TRUE, TRUE, bDescend, "", 0)) {
            TraceText(kFunction, "Deleted conents of directory '%s'", szPath);
        } else {
            TraceText(kFunction, "***ERROR: Failed to delete contents of directory '%s'", szPath);
            bResult = FALSE;
        }
    }

    if (!IsExistingDirectory(szWeb)) {
        TraceText(kFunction, "(re)creating web directory ('%s')", szWeb);
        if (!CreateDirectoryA(szWeb, NULL)) {
            TraceText(kFunction, "***ERROR: Can't (re)create web directory ('%s')", szWeb);
            bResult = FALSE;
        }
    } else {
        TraceText(kFunction, "web directory itself is still present ('%s')", szWeb);
    }
    if (bResult)
        TraceText(kFunction,
                  "Deletion of Web feature directories, reports successful completion (or was bypassed)");
    else
        TraceText(kFunction, "***Error in web feature files deletion, see preceding message(s)");
    return bResult;
}

BOOL icsStopRZLServer(LPCSTR pszProgramFolder) {
    static const char kFunction[] = "icsStopRZLServer";
    char szWeb[ZEB_CCH_PATH] = "";
    // An empty program folder has no web directory (not the current drive's "\web").
    if (pszProgramFolder[0] == '\0' || !MakeFilePath(szWeb, pszProgramFolder, "web") ||
        !IsExistingDirectory(szWeb)) {
        TraceText(kFunction, "Not attempting to stop RZL server as web directory is not present");
        return TRUE;
    }
    TraceText(kFunction, "Stopping RZL server");
    char szScript[ZEB_CCH_PATH];
    char szParameters[ZEB_CCH_MSG];
    if (!JoinTraced(szScript, kFunction, pszProgramFolder, "bin\\endhxweb.bat") ||
        !FormatParameters(szParameters, kFunction, "/c \"\"%s\" >NUL 2>&1\"", szScript))
        return FALSE;
    DWORD dwExitCode = 0xFFFFFFFF;
    UINT uiRet = RunCommandScript(kFunction, szParameters, szWeb, kStopTimeoutMs, &dwExitCode);
    if (uiRet != ZEB_RC_SUCCESS) {
        TraceText(kFunction, "***ERROR invoking RZL server shutdown (retVal=%d, dwExitCode=%d)", (int)uiRet,
                  (int)dwExitCode);
        return FALSE;
    }
    switch (dwExitCode) {
    case 0:
        TraceText(kFunction, "RZL server successfuly stopped (dwExitCode=%d)", (int)dwExitCode);
        return TRUE;
    case 1:
        TraceText(kFunction, "RZL server not running, stop returned without action (dwExitCode=%d)",
                  (int)dwExitCode);
        return TRUE;
    default:
        TraceText(kFunction,
                  "***ERROR unrecognised/bad return code from RZL server shutdown (dwExitCode=%d, retVal=%d)",
                  (int)dwExitCode, (int)uiRet);
        return FALSE;
    }
}

UINT icsFixupDotnetConfigs(LPCSTR pszProgramFolder) {
    static const char kFunction[] = "icsFixupDotnetConfigs";
    static const char* const kFiles[] = {
        "tools\\dotnet\\samples\\cs\\base\\nhxsget.exe.config",
        "tools\\dotnet\\samples\\cs\\base\\nhxsput.exe.config",
        "tools\\dotnet\\samples\\cs\\base\\NonPrimaryRedirect.config",
        "bin\\runhxdnm.exe.config",
        "bin\\WhxDotnetXAMonitor.exe.config",
    };
    // An empty program folder holds no configuration files.
    if (pszProgramFolder[0] == '\0')
        return ZEB_RC_SUCCESS;
    char szTool[ZEB_CCH_PATH];
    if (!JoinTraced(szTool, kFunction, pszProgramFolder, "bin64\\zebicvar.exe"))
        return ZEB_RC_FAILURE;
    for (LPCSTR pszName : kFiles) {
        char szFile[ZEB_CCH_PATH];
        if (!JoinTraced(szFile, kFunction, pszProgramFolder, pszName))
            return ZEB_RC_FAILURE;
        if (!FileExists(szFile))
            continue;
        char szParameters[ZEB_CCH_MSG];
        if (!FormatParameters(szParameters, kFunction, "-t -w -f \"%s\" -i HX_INSTALLATION_PATH=\"%s\"",
                              szFile, pszProgramFolder))
            return ZEB_RC_FAILURE;
        UINT uiRet = LaunchAndWait(szTool, szParameters, NULL, SW_HIDE, NULL, INFINITE);
        if (uiRet != ZEB_RC_SUCCESS)
            return uiRet;
    }
    return ZEB_RC_SUCCESS;
}

BOOL icsFixupWebConfig(LPCSTR pszProgramFolder, LPCSTR pszDataFolder, LPCSTR pszInstallationName) {
    static const char kFunction[] = "icsFixupWebConfig";
    char szPath[ZEB_CCH_PATH];
    if (pszProgramFolder[0] == '\0' || !MakeFilePath(szPath, pszProgramFolder, "web\\etc\\server.env")) {
        TraceText(kFunction, "***Unable to open config file '%s\\web\\etc\\server.env' for append",
                  pszProgramFolder);
        return FALSE;
    }
    // A last line without its line end would run into the first line appended.
    BOOL bEndLine = FALSE;
    {
        ZebFile existing(fopen(szPath, "rbN"));
        if (existing.IsValid() && fseek(existing.Get(), -1, SEEK_END) == 0)
            bEndLine = fgetc(existing.Get()) != '\n';
    }
    ZebFile file(fopen(szPath, "a+N"));
    if (!file.IsValid()) {
        TraceText(kFunction, "***Unable to open config file '%s' for append", szPath);
        return FALSE;
    }
    BOOL bOk = (!bEndLine || fputs("\n", file.Get()) >= 0) &&
               fprintf(file.Get(), "JAVA_HOME=%s\\java\\jre\n", pszProgramFolder) > 0 &&
               fprintf(file.Get(), "RZL_USER_DIR=%s\\web\\installations\\%s\n", pszDataFolder,
                       pszInstallationName) > 0;
    if (fclose(file.Detach()) != 0)
        bOk = FALSE;
    if (!bOk)
        TraceText(kFunction, "***Error writing '%s'", szPath);
    return bOk;
}
