// A test library for the runner's programs: one export starts a program through the shell and
// waits for it, as the library's launcher does. Never part of the shipped library.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <shellapi.h>

#include <stdio.h>
#include <string.h>

#define LAUNCH_ACTION extern "C" __attribute__((visibility("default"))) UINT __stdcall

namespace {

void Read(MSIHANDLE hInstall, const char* name, char (&value)[1024]) {
    DWORD cch = sizeof(value);
    if (MsiGetPropertyA(hInstall, name, value, &cch) != ERROR_SUCCESS)
        value[0] = '\0';
}

} // namespace

// ZEBTESTPROGRAM with ZEBTESTPARAMETERS in ZEBTESTFOLDER, waiting ZEBTESTWAITMS (empty: no
// limit); the exit code goes to ZEBTESTEXITCODE. 1603 when it cannot start or its wait fails.
LAUNCH_ACTION zebLaunchAndWait(MSIHANDLE hInstall) {
    char program[1024], parameters[1024], folder[1024], wait[1024];
    Read(hInstall, "ZEBTESTPROGRAM", program);
    Read(hInstall, "ZEBTESTPARAMETERS", parameters);
    Read(hInstall, "ZEBTESTFOLDER", folder);
    Read(hInstall, "ZEBTESTWAITMS", wait);
    SHELLEXECUTEINFOA sei;
    memset(&sei, 0, sizeof(sei));
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_NOCLOSEPROCESS;
    sei.lpVerb = "Open";
    sei.lpFile = program;
    sei.lpParameters = parameters;
    sei.lpDirectory = folder[0] ? folder : NULL;
    sei.nShow = SW_HIDE;
    if (!ShellExecuteExA(&sei))
        return 1603;
    DWORD result = WaitForSingleObject(sei.hProcess, wait[0] ? (DWORD)strtoul(wait, NULL, 10) : INFINITE);
    DWORD code = 0;
    char text[32];
    snprintf(text, sizeof(text), "%lu", GetExitCodeProcess(sei.hProcess, &code) ? (unsigned long)code : 0ul);
    CloseHandle(sei.hProcess);
    MsiSetPropertyA(hInstall, "ZEBTESTEXITCODE", text);
    return result == WAIT_OBJECT_0 || result == WAIT_TIMEOUT ? 0 : 1603;
}
