// Runs a command line with the process token restricted: Administrators for deny only.
//
//   zebrestrict.exe COMMAND-LINE
//
// Everything after the program's own name is the child's command line, as given. Prints the
// Administrators attributes of the token it made, then waits (at most 10 minutes) and exits with
// the child's exit code; 2 when the child cannot be started, 258 when it does not end in time.
#include "restricted_token.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The command line after the program name (quoted or not) and the blanks that follow it.
const char* ChildCommandLine() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p)
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}

} // namespace

int main() {
    std::string child = ChildCommandLine();
    if (child.empty()) {
        std::fputs("usage: zebrestrict COMMAND-LINE\n", stderr);
        return 2;
    }
    HANDLE token = RestrictedToken("RESTRICT");
    if (!token)
        return 2;
    PrintAdministrators("RESTRICT", token);
    std::fflush(stdout);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessAsUserA(token, nullptr, child.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &pi)) {
        std::printf("RESTRICT failed CreateProcessAsUser %lu\n", GetLastError());
        CloseHandle(token);
        return 2;
    }
    CloseHandle(token);
    DWORD code = 258;
    if (WaitForSingleObject(pi.hProcess, 600000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        std::printf("RESTRICT child still running\n");
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
