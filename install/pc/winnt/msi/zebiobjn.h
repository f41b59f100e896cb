// Helper scripts of the product: unpacking the optional runtimes from their archives, deleting
// what was unpacked, stopping the web server, and adapting configuration files to the
// installation's folders.
#pragma once

#include "zebiwicnDefs.h"

// Runs the product's unpack script on P\zips\hx_jre64.zip (into P\java) or P\zips\hx_rzl.zip
// (into P\web), and copies the script's log to pszLogCopy. A missing archive or target folder is
// nothing to do: TRUE.
BOOL icsUnzipJRE(LPCSTR pszProgramFolder, LPCSTR pszLogCopy);
BOOL icsUnzipRZL(LPCSTR pszProgramFolder, LPCSTR pszLogCopy);
// Deletes at once what the unpacking left; files that are locked go at the next restart. An empty
// program folder is FALSE, a missing one or a missing target TRUE.
BOOL icsDeleteJREFiles(LPCSTR pszProgramFolder);
BOOL icsDeleteWebFiles(LPCSTR pszProgramFolder);
// Runs P\bin\endhxweb.bat, waiting at most 5 minutes; exit codes 0 and 1 are TRUE.
BOOL icsStopRZLServer(LPCSTR pszProgramFolder);
// The installation path substituted into each .NET configuration file present; 0, or the first
// failing launcher result (the rest are not tried).
UINT icsFixupDotnetConfigs(LPCSTR pszProgramFolder);
// Appends JAVA_HOME and RZL_USER_DIR to P\web\etc\server.env.
BOOL icsFixupWebConfig(LPCSTR pszProgramFolder, LPCSTR pszDataFolder, LPCSTR pszInstallationName);
