// A small program for the real-engine tests of the launchers: it does what its arguments say, in
// order, and ends with the exit code asked for.
//
//   zebexit.exe [out=TEXT] [err=TEXT] [long=N] [sleep=MS] [touch=PATH] [exit=N] ...
//
//   out=TEXT    a line to standard output      err=TEXT   a line to standard error
//   long=N      a line of N 'x' to standard output
//   sleep=MS    waits MS milliseconds          touch=PATH writes "done" to PATH
//   exit=N      the exit code (0 by default), taken at the end
//   record=PATH appends its command line (after the program) as a line to PATH
//   wait=NAME   creates the named manual-reset event and waits for it (at most 300 s)
//   set=NAME    sets the named event    setlast=PREFIX  sets the event PREFIX + last argument
//   service=NAME runs as that service until it is told to stop (what follows is not done)
//
// Copied under a product program's name ("endhxm.exe"), it is started with that program's
// arguments: when "<its path>.args" exists, the options are read from that file instead and
// the arguments are only recorded and used by setlast. A running copy holds its own image.
//
// Each line is flushed at once, so that both streams sent to one file keep their order.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The value of "name=value", or nullptr when the argument is not that option.
const char* Option(const char* arg, const char* name) {
    const size_t n = std::strlen(name);
    return std::strncmp(arg, name, n) == 0 && arg[n] == '=' ? arg + n + 1 : nullptr;
}

void Line(FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The command line after the program's own name.
std::string Arguments() {
    const char* p = GetCommandLineA();
    if (*p == '"') {
        p = std::strchr(p + 1, '"');
        p = p ? p + 1 : "";
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

// The options of "<module path>.args", one or more per line separated by blanks.
bool SidecarOptions(std::vector<std::string>& options) {
    char module[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, module, sizeof(module));
    if (n == 0 || n >= sizeof(module))
        return false;
    std::ifstream in(std::string(module) + ".args");
    if (!in)
        return false;
    std::string word;
    while (in >> word)
        options.push_back(word);
    return true;
}

bool SetNamed(const std::string& name) {
    HANDLE h = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
    if (!h)
        return false;
    SetEvent(h);
    CloseHandle(h);
    return true;
}

char g_service[256];
SERVICE_STATUS_HANDLE g_status;
HANDLE g_stop;

void Report(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stop);
    }
    return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
    g_status = RegisterServiceCtrlHandlerExA(g_service, Handler, NULL);
    if (!g_status)
        return;
    g_stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stop, INFINITE);
    Report(SERVICE_STOPPED);
}

int RunService(const char* name) {
    lstrcpynA(g_service, name, sizeof(g_service));
    SERVICE_TABLE_ENTRYA table[] = {{g_service, ServiceMain}, {NULL, NULL}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 5;
}

} // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    std::vector<std::string> options;
    const bool sidecar = SidecarOptions(options);
    if (!sidecar)
        for (int i = 1; i < argc; i++)
            options.push_back(argv[i]);
    for (const std::string& option : options) {
        const char* arg = option.c_str();
        const char* value = nullptr;
        if ((value = Option(arg, "record"))) {
            FILE* f = std::fopen(value, "a");
            if (!f)
                return 2;
            std::fprintf(f, "%s\n", Arguments().c_str());
            std::fclose(f);
        } else if ((value = Option(arg, "wait"))) {
            HANDLE h = CreateEventA(NULL, TRUE, FALSE, value);
            if (!h)
                return 2;
            DWORD rc = WaitForSingleObject(h, 300000);
            CloseHandle(h);
            if (rc != WAIT_OBJECT_0)
                return 3;
        } else if ((value = Option(arg, "service"))) {
            return RunService(value);
        } else if ((value = Option(arg, "set"))) {
            if (!SetNamed(value))
                return 4;
        } else if ((value = Option(arg, "setlast"))) {
            if (argc < 2 || !SetNamed(std::string(value) + argv[argc - 1]))
                return 4;
        } else if ((value = Option(arg, "out"))) {
            Line(stdout, value);
        } else if ((value = Option(arg, "err"))) {
            Line(stderr, value);
        } else if ((value = Option(arg, "long"))) {
            Line(stdout, std::string(std::strtoul(value, nullptr, 10), 'x'));
        } else if ((value = Option(arg, "sleep"))) {
            Sleep(std::strtoul(value, nullptr, 10));
        } else if ((value = Option(arg, "touch"))) {
            FILE* f = std::fopen(value, "w");
            if (!f)
                return 2;
            std::fputs("done", f);
            std::fclose(f);
        } else if ((value = Option(arg, "exit"))) {
            exitCode = static_cast<int>(std::strtol(value, nullptr, 10));
        } else {
            std::fprintf(stderr, "zebexit: unknown argument '%s'\n", arg);
            return 2;
        }
    }
    return exitCode;
}
