// Drives single actions of a package through the installer engine, without a whole installation.
//
//   zebdrive.exe [--log FILE] [--reply-cancel TEXT] PACKAGE OP...
//   zebdrive.exe [--log FILE] [--reply-cancel-once TEXT] --install "PROP=VALUE ..." PACKAGE
//
// --install runs the whole installation with MsiInstallProductA and prints "INSTALL RC"; the UI
// handler below sees its messages as it would a setup program's.
//
// OPs run in order on one session opened with MsiOpenPackageExA:
//   --set NAME=VALUE     MsiSetPropertyA
//   --get NAME           prints "PROPERTY NAME=VALUE" (or "PROPERTY NAME rc=N")
//   --do ACTION          MsiDoActionA; prints "DOACTION ACTION RC"
//   --call DLL EXPORT    loads DLL (kept loaded until exit) and calls EXPORT with the session;
//                        prints "CALL EXPORT RC"
//   --spawn CMDLINE      runs a child process while the loaded DLLs stay mapped; prints "SPAWN RC"
//   --wait-file PATH     waits until PATH exists (at most 120 s), so that several drivers can be
//                        started together; prints "WAITFILE ok" (or "WAITFILE timeout", a failure)
//   --table NAME         prints every row of the session's table NAME, temporary rows included, as
//                        "ROW NAME F1|F2|..." (integers in decimal, null and streams empty), then
//                        "TABLE NAME N" with the count (or "TABLE NAME rc=N", a failure)
//   --view SQL           the same for the rows of a query: "ROW VIEW F1|F2|..." for each, then
//                        "VIEW N" (or "VIEW rc=N", a failure)
//   --impersonate-restricted
//                        this thread impersonates the process token without Administrators (for
//                        deny only); the next --call runs so. Prints "IMPERSONATE ADMINISTRATORS
//                        0x..." (or "IMPERSONATE failed STEP ERROR", a failure)
//
// Every message the engine hands to the external UI handler is printed as "MSG TYPE 0xHEX TEXT",
// with line breaks shown as "\n". With --reply-cancel, an INFO message containing TEXT is answered
// with IDCANCEL (with --reply-cancel-once, only the first: the rollback that follows is left to
// run). The exit code is 0 when the package opened and every OP could be carried out.
#include "restricted_token.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* g_reply_cancel = nullptr;
bool g_reply_once = false;
bool g_replied = false;

const char* MessageTypeName(UINT type) {
    switch (type & 0xFF000000u) {
    case INSTALLMESSAGE_FATALEXIT:
        return "FATALEXIT";
    case INSTALLMESSAGE_ERROR:
        return "ERROR";
    case INSTALLMESSAGE_WARNING:
        return "WARNING";
    case INSTALLMESSAGE_USER:
        return "USER";
    case INSTALLMESSAGE_INFO:
        return "INFO";
    case INSTALLMESSAGE_FILESINUSE:
        return "FILESINUSE";
    case INSTALLMESSAGE_RESOLVESOURCE:
        return "RESOLVESOURCE";
    case INSTALLMESSAGE_OUTOFDISKSPACE:
        return "OUTOFDISKSPACE";
    case INSTALLMESSAGE_ACTIONSTART:
        return "ACTIONSTART";
    case INSTALLMESSAGE_ACTIONDATA:
        return "ACTIONDATA";
    case INSTALLMESSAGE_PROGRESS:
        return "PROGRESS";
    case INSTALLMESSAGE_COMMONDATA:
        return "COMMONDATA";
    case INSTALLMESSAGE_INITIALIZE:
        return "INITIALIZE";
    case INSTALLMESSAGE_TERMINATE:
        return "TERMINATE";
    case INSTALLMESSAGE_SHOWDIALOG:
        return "SHOWDIALOG";
    default:
        return "OTHER";
    }
}

// One line per message, so that the harness can match whole lines.
void PrintEscaped(const char* text) {
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') {
            std::fputs("\\n", stdout);
        } else if (static_cast<unsigned char>(*p) < 0x20) {
            if (*p != '\r')
                std::printf("\\x%02X", static_cast<unsigned char>(*p));
        } else {
            std::fputc(*p, stdout);
        }
    }
}

int WINAPI UiHandler(LPVOID, UINT type, LPCSTR message) {
    std::printf("MSG %s 0x%08X ", MessageTypeName(type), type);
    PrintEscaped(message ? message : "");
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (g_reply_cancel && message && (type & 0xFF000000u) == INSTALLMESSAGE_INFO &&
        std::strstr(message, g_reply_cancel) && !(g_reply_once && g_replied)) {
        g_replied = true;
        return IDCANCEL;
    }
    return 0;
}

void Usage() {
    std::fputs("usage: zebdrive [--log FILE] [--reply-cancel[-once] TEXT] [--install PROPERTIES] PACKAGE "
               "[--set N=V | --get N | --do ACTION | --call DLL EXPORT | --feature NAME | --table NAME | "
               "--view SQL | "
               "--spawn CMDLINE |\n"
               "  --wait-file PATH |\n"
               "  --impersonate-restricted]...\n",
               stderr);
}

int Spawn(const char* cmdline) {
    std::fflush(stdout);
    std::string line(cmdline);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("SPAWN failed %lu\n", GetLastError());
        return -1;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// The calling thread impersonates a restricted copy of the process token.
bool ImpersonateRestricted() {
    HANDLE primary = RestrictedToken("IMPERSONATE");
    if (!primary)
        return false;
    HANDLE impersonation = nullptr;
    bool ok = DuplicateTokenEx(primary, TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr, SecurityImpersonation,
                               TokenImpersonation, &impersonation) != FALSE;
    if (!ok)
        std::printf("IMPERSONATE failed DuplicateTokenEx %lu\n", GetLastError());
    CloseHandle(primary);
    if (ok && !SetThreadToken(nullptr, impersonation)) {
        std::printf("IMPERSONATE failed SetThreadToken %lu\n", GetLastError());
        ok = false;
    }
    if (ok)
        PrintAdministrators("IMPERSONATE", impersonation);
    if (impersonation)
        CloseHandle(impersonation);
    return ok;
}

// Prints the rows a query of the session's database gives, each as "ROW <label> ..." and then
// "<tag> N", or "<tag> rc=..." (the tag names the table for --table); false when it cannot be read.
bool PrintRows(MSIHANDLE session, const std::string& query, const std::string& label,
               const std::string& tag) {
    MSIHANDLE db = MsiGetActiveDatabase(session);
    if (!db) {
        std::printf("%s rc=database\n", tag.c_str());
        return false;
    }
    MSIHANDLE view = 0;
    UINT rc = MsiDatabaseOpenViewA(db, query.c_str(), &view);
    if (rc == ERROR_SUCCESS)
        rc = MsiViewExecute(view, 0);
    int rows = 0;
    MSIHANDLE rec = 0;
    while (rc == ERROR_SUCCESS && (rc = MsiViewFetch(view, &rec)) == ERROR_SUCCESS) {
        std::printf("ROW %s ", label.c_str());
        const UINT fields = MsiRecordGetFieldCount(rec);
        for (UINT f = 1; f <= fields; ++f) {
            std::vector<char> value(512);
            DWORD size = static_cast<DWORD>(value.size());
            if (MsiRecordGetStringA(rec, f, value.data(), &size) != ERROR_SUCCESS)
                value[0] = '\0';
            if (f > 1)
                std::fputc('|', stdout);
            PrintEscaped(value.data());
        }
        std::fputc('\n', stdout);
        MsiCloseHandle(rec);
        ++rows;
    }
    if (view)
        MsiCloseHandle(view);
    MsiCloseHandle(db);
    if (rc != ERROR_NO_MORE_ITEMS) {
        std::printf("%s rc=%u\n", tag.c_str(), rc);
        return false;
    }
    std::printf("%s %d\n", tag.c_str(), rows);
    return true;
}

bool PrintTable(MSIHANDLE session, const char* table) {
    return PrintRows(session, std::string("SELECT * FROM `") + table + "`", table,
                     std::string("TABLE ") + table);
}

// Polls for a file that the harness creates once every driver is ready.
bool WaitForFile(const char* path) {
    for (int waited = 0; waited < 120000; waited += 10) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    int i = 1;
    const char* log = nullptr;
    const char* install = nullptr;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (i + 1 >= argc) {
            Usage();
            return 2;
        }
        if (std::strcmp(argv[i], "--log") == 0) {
            log = argv[i + 1];
        } else if (std::strcmp(argv[i], "--reply-cancel") == 0) {
            g_reply_cancel = argv[i + 1];
        } else if (std::strcmp(argv[i], "--reply-cancel-once") == 0) {
            g_reply_cancel = argv[i + 1];
            g_reply_once = true;
        } else if (std::strcmp(argv[i], "--install") == 0) {
            install = argv[i + 1];
        } else {
            Usage();
            return 2;
        }
    }
    if (i >= argc) {
        Usage();
        return 2;
    }
    const char* package = argv[i++];

    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    const DWORD all = INSTALLLOGMODE_FATALEXIT | INSTALLLOGMODE_ERROR | INSTALLLOGMODE_WARNING |
                      INSTALLLOGMODE_USER | INSTALLLOGMODE_INFO | INSTALLLOGMODE_RESOLVESOURCE |
                      INSTALLLOGMODE_OUTOFDISKSPACE | INSTALLLOGMODE_ACTIONSTART | INSTALLLOGMODE_ACTIONDATA |
                      INSTALLLOGMODE_COMMONDATA | INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_INITIALIZE |
                      INSTALLLOGMODE_TERMINATE | INSTALLLOGMODE_SHOWDIALOG;
    MsiSetExternalUIA(UiHandler, all, nullptr);
    if (log) {
        UINT rc = MsiEnableLogA(INSTALLLOGMODE_VERBOSE | all, log, 0);
        if (rc != ERROR_SUCCESS)
            std::printf("LOG failed %u\n", rc);
    }

    if (install) {
        const UINT installed = MsiInstallProductA(package, install);
        std::printf("INSTALL %u\n", installed);
        std::fflush(stdout);
        return 0;
    }

    MSIHANDLE session = 0;
    UINT rc = MsiOpenPackageExA(package, MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &session);
    std::printf("OPEN %u\n", rc);
    std::fflush(stdout);
    if (rc != ERROR_SUCCESS)
        return 1;

    std::vector<HMODULE> loaded;
    int status = 0;
    for (; i < argc; ++i) {
        const std::string op = argv[i];
        const int needed = op == "--call" ? 2 : op == "--impersonate-restricted" ? 0 : 1;
        if (i + needed >= argc) {
            Usage();
            status = 2;
            break;
        }
        if (op == "--set") {
            std::string arg = argv[++i];
            const size_t eq = arg.find('=');
            if (eq == std::string::npos) {
                Usage();
                status = 2;
                break;
            }
            const std::string name = arg.substr(0, eq);
            rc = MsiSetPropertyA(session, name.c_str(), arg.c_str() + eq + 1);
            if (rc != ERROR_SUCCESS) {
                std::printf("SET %s failed %u\n", name.c_str(), rc);
                status = 1;
            }
        } else if (op == "--get") {
            const char* name = argv[++i];
            std::vector<char> value(64);
            DWORD size = static_cast<DWORD>(value.size());
            rc = MsiGetPropertyA(session, name, value.data(), &size);
            if (rc == ERROR_MORE_DATA) {
                value.resize(size + 1);
                size = static_cast<DWORD>(value.size());
                rc = MsiGetPropertyA(session, name, value.data(), &size);
            }
            if (rc == ERROR_SUCCESS) {
                std::printf("PROPERTY %s=", name);
                PrintEscaped(value.data());
                std::fputc('\n', stdout);
            } else {
                std::printf("PROPERTY %s rc=%u\n", name, rc);
            }
        } else if (op == "--do") {
            const char* action = argv[++i];
            rc = MsiDoActionA(session, action);
            std::printf("DOACTION %s %u\n", action, rc);
        } else if (op == "--call") {
            const char* dll = argv[++i];
            const char* name = argv[++i];
            HMODULE module = LoadLibraryA(dll);
            if (!module) {
                std::printf("CALL %s load failed %lu\n", name, GetLastError());
                status = 1;
                break;
            }
            loaded.push_back(module);
            using Action = UINT(WINAPI*)(MSIHANDLE);
            auto entry = reinterpret_cast<Action>(reinterpret_cast<void*>(GetProcAddress(module, name)));
            if (!entry) {
                std::printf("CALL %s missing export\n", name);
                status = 1;
                break;
            }
            std::fflush(stdout);
            rc = entry(session);
            std::printf("CALL %s %u\n", name, rc);
        } else if (op == "--feature") {
            const char* feature = argv[++i];
            INSTALLSTATE installed = INSTALLSTATE_UNKNOWN;
            INSTALLSTATE action = INSTALLSTATE_UNKNOWN;
            rc = MsiGetFeatureStateA(session, feature, &installed, &action);
            if (rc == ERROR_SUCCESS)
                std::printf("FEATURE %s %d %d\n", feature, static_cast<int>(installed),
                            static_cast<int>(action));
            else
                std::printf("FEATURE %s rc=%u\n", feature, rc);
        } else if (op == "--table") {
            if (!PrintTable(session, argv[++i]))
                status = 1;
        } else if (op == "--view") {
            if (!PrintRows(session, argv[++i], "VIEW", "VIEW"))
                status = 1;
        } else if (op == "--spawn") {
            std::printf("SPAWN %d\n", Spawn(argv[++i]));
        } else if (op == "--impersonate-restricted") {
            if (!ImpersonateRestricted()) {
                status = 1;
                break;
            }
        } else if (op == "--wait-file") {
            std::fflush(stdout);
            if (WaitForFile(argv[++i])) {
                std::printf("WAITFILE ok\n");
            } else {
                std::printf("WAITFILE timeout\n");
                status = 1;
                break;
            }
        } else {
            Usage();
            status = 2;
            break;
        }
        std::fflush(stdout);
    }

    MsiCloseHandle(session);
    for (HMODULE module : loaded)
        FreeLibrary(module);
    std::fflush(stdout);
    return status;
}
