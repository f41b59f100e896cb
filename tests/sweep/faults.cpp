// The one table of the sweep's faults: for each function of the simulated machine, the errors
// Windows usually gives when that call fails, and the functions that are never failed.
#include "zebsweep.h"

#include <msi.h>
#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
#include <shlobj.h>

#include <cstring>

namespace zebsweep {

const char kNotInTable[] = "not in the table: faulted with ERROR_ACCESS_DENIED";

namespace {

struct Row {
    const char* function;
    std::vector<uint32_t> errors; // empty: never faulted
    const char* why = "";         // for the functions never faulted
};

// A close or release that fails leaves the handle with the system; Windows fails one only for a
// handle that is not open, which no fault of the machine can bring about.
const char kRelease[] = "a release fails only for a handle that is not open";

// Functions whose state-returning faults make the call answer with the error value as the state
// (MsiQueryProductStateA, MsiGetComponentPathA, ...) get INSTALLSTATE_UNKNOWN (-1).
const uint32_t kStateUnknown = static_cast<uint32_t>(-1);
// Not among the substitute's names.
const uint32_t kErrorBufferOverflow = 111;
const uint32_t kErrorNotOwner = 288;
const uint32_t kAccessDeniedHr = 0x80070005; // E_ACCESSDENIED

const std::vector<Row>& Table() {
    static const std::vector<Row> table = {
        // Installer.
        {"MsiCloseHandle", {}, kRelease},
        {"MsiCloseAllHandles", {}, kRelease},
        {"MsiDoActionA", {ERROR_FUNCTION_FAILED, ERROR_INSTALL_USEREXIT}},
        {"MsiEnumRelatedProductsA", {ERROR_BAD_CONFIGURATION}},
        {"MsiGetProductInfoA", {ERROR_UNKNOWN_PROPERTY}},
        {"MsiQueryProductStateA", {kStateUnknown}},
        {"MsiQueryFeatureStateA", {kStateUnknown}},
        {"MsiGetComponentPathA", {kStateUnknown}},
        {"MsiSetFeatureStateA", {ERROR_UNKNOWN_FEATURE}},
        {"MsiSetComponentStateA", {ERROR_UNKNOWN_COMPONENT}},
        {"MsiDatabaseOpenViewA", {ERROR_BAD_QUERY_SYNTAX}},
        // Registry: opens are refused, values are missing.
        {"RegCloseKey", {}, kRelease},
        {"RegOpenKeyExA", {ERROR_ACCESS_DENIED}},
        {"RegOpenKeyA", {ERROR_ACCESS_DENIED}},
        {"RegCreateKeyExA", {ERROR_ACCESS_DENIED}},
        {"RegCreateKeyA", {ERROR_ACCESS_DENIED}},
        {"RegQueryValueExA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}},
        {"RegSetValueExA", {ERROR_ACCESS_DENIED}},
        {"RegDeleteValueA", {ERROR_ACCESS_DENIED}},
        {"RegDeleteKeyA", {ERROR_ACCESS_DENIED}},
        {"RegDeleteKeyExA", {ERROR_ACCESS_DENIED}},
        {"RegEnumKeyExA", {ERROR_MORE_DATA}},
        {"RegEnumKeyA", {ERROR_MORE_DATA}},
        {"RegEnumValueA", {ERROR_MORE_DATA}},
        {"RegQueryInfoKeyA", {ERROR_ACCESS_DENIED}},
        // Files: missing, held by another process, refused, or the disk is full.
        {"CloseHandle", {}, kRelease},
        {"CreateFileA", {ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED}},
        {"ReadFile", {ERROR_LOCK_VIOLATION}},
        {"WriteFile", {ERROR_DISK_FULL}},
        {"GetFileSize", {ERROR_ACCESS_DENIED}},
        {"SetFilePointer", {ERROR_INVALID_PARAMETER}},
        {"SetEndOfFile", {ERROR_DISK_FULL}},
        {"LockFile", {ERROR_LOCK_VIOLATION}},
        {"UnlockFile", {ERROR_NOT_LOCKED}},
        {"DeleteFileA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
        {"CreateDirectoryA", {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
        {"RemoveDirectoryA", {ERROR_DIR_NOT_EMPTY, ERROR_SHARING_VIOLATION}},
        {"GetFileAttributesA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}},
        {"SetFileAttributesA", {ERROR_ACCESS_DENIED}},
        {"CopyFileA", {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
        {"CopyFileExA", {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
        {"CopyFileExA:chunk", {ERROR_DISK_FULL}},
        {"MoveFileA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
        {"MoveFileExA", {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
        {"FindFirstFileA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}},
        {"FindNextFileA", {ERROR_NO_MORE_FILES}},
        {"GetDriveTypeA", {ERROR_NOT_READY}},
        {"GetVolumeInformationA", {ERROR_NOT_READY}},
        {"GetDiskFreeSpaceExA", {ERROR_NOT_READY}},
        {"GetShortPathNameA", {ERROR_FILE_NOT_FOUND}},
        {"GetFullPathNameA", {ERROR_INVALID_NAME}},
        {"SetCurrentDirectoryA", {ERROR_PATH_NOT_FOUND}},
        {"fopen", {ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION}},
        {"fread", {ERROR_LOCK_VIOLATION}},
        {"fwrite", {ERROR_DISK_FULL}},
        // Modules.
        {"FreeLibrary", {}, kRelease},
        {"LoadLibraryExA", {ERROR_MOD_NOT_FOUND, ERROR_ACCESS_DENIED}},
        {"LoadLibraryA", {ERROR_MOD_NOT_FOUND, ERROR_ACCESS_DENIED}},
        {"GetProcAddress", {ERROR_PROC_NOT_FOUND}},
        {"GetModuleHandleA", {ERROR_MOD_NOT_FOUND}},
        {"GetModuleFileNameA", {ERROR_INSUFFICIENT_BUFFER}},
        {"LoadStringA", {ERROR_RESOURCE_NAME_NOT_FOUND}},
        // File versions and the secure channel's credentials (security statuses).
        {"GetFileVersionInfoSizeA", {ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_FILE_NOT_FOUND}},
        {"GetFileVersionInfoA", {ERROR_RESOURCE_TYPE_NOT_FOUND}},
        {"VerQueryValueA", {ERROR_RESOURCE_TYPE_NOT_FOUND}},
        {"InitSecurityInterfaceA", {ERROR_NOT_ENOUGH_MEMORY}},
        {"AcquireCredentialsHandleA", {static_cast<uint32_t>(SEC_E_SECPKG_NOT_FOUND)}},
        {"QueryCredentialsAttributesA", {static_cast<uint32_t>(SEC_E_UNSUPPORTED_FUNCTION)}},
        {"FreeCredentialsHandle", {}, kRelease},
        // Named objects and waits.
        {"CreateMutexA", {ERROR_ACCESS_DENIED}},
        {"OpenMutexA", {ERROR_FILE_NOT_FOUND}},
        {"CreateEventA", {ERROR_ACCESS_DENIED}},
        {"OpenEventA", {ERROR_FILE_NOT_FOUND}},
        {"ReleaseMutex", {kErrorNotOwner}},
        {"SetEvent", {ERROR_INVALID_HANDLE}},
        {"ResetEvent", {ERROR_INVALID_HANDLE}},
        {"WaitForSingleObject", {ERROR_INVALID_HANDLE}},
        {"Sleep", {}, "Sleep cannot fail"},
        // System, environment and user interface.
        {"GetEnvironmentVariableA", {ERROR_ENVVAR_NOT_FOUND}},
        {"SetEnvironmentVariableA", {ERROR_NOT_ENOUGH_MEMORY}},
        {"ExpandEnvironmentStringsA", {ERROR_INSUFFICIENT_BUFFER}},
        {"GetComputerNameA", {kErrorBufferOverflow}},
        {"GetUserNameA", {ERROR_NO_TOKEN}},
        {"GetVersionExA", {ERROR_INVALID_PARAMETER}},
        {"GetTempPathA", {ERROR_INSUFFICIENT_BUFFER}},
        {"GetWindowsDirectoryA", {ERROR_INSUFFICIENT_BUFFER}},
        {"GetSystemDirectoryA", {ERROR_INSUFFICIENT_BUFFER}},
        {"GetLogicalDriveStringsA", {ERROR_NOT_ENOUGH_MEMORY}},
        {"FileTimeToSystemTime", {ERROR_INVALID_PARAMETER}},
        {"SystemTimeToFileTime", {ERROR_INVALID_PARAMETER}},
        {"FormatMessageA", {ERROR_INVALID_PARAMETER}},
        {"MessageBoxA", {ERROR_ACCESS_DENIED}},
        {"MessageBoxExA", {ERROR_ACCESS_DENIED}},
        {"GetForegroundWindow", {ERROR_SUCCESS}}, // no window in front: NULL, no error
        {"SendMessageTimeoutA", {ERROR_TIMEOUT}},
        {"PostMessageA", {ERROR_ACCESS_DENIED}},
        {"FindWindowA", {ERROR_SUCCESS}}, // no such window: NULL, no error
        // Shell folders, the shortcut object and COM: HRESULTs.
        {"SHGetSpecialFolderLocation", {static_cast<uint32_t>(E_INVALIDARG), static_cast<uint32_t>(E_FAIL)}},
        {"SHGetPathFromIDListA", {ERROR_INVALID_PARAMETER}},
        {"SHGetMalloc", {static_cast<uint32_t>(E_OUTOFMEMORY)}},
        {"SHChangeNotify", {}, "SHChangeNotify returns nothing to fail with"},
        {"CoInitializeEx", {static_cast<uint32_t>(E_OUTOFMEMORY)}},
        {"CoCreateInstance",
         {static_cast<uint32_t>(REGDB_E_CLASSNOTREG), static_cast<uint32_t>(E_OUTOFMEMORY)}},
        {"IShellLinkA::QueryInterface", {static_cast<uint32_t>(E_NOINTERFACE)}},
        {"IShellLinkA::GetPath", {static_cast<uint32_t>(E_FAIL)}},
        {"IPersistFile::Load", {static_cast<uint32_t>(E_FAIL), kAccessDeniedHr}},
        {"IPersistFile::Save", {kAccessDeniedHr}},
        {"MultiByteToWideChar", {ERROR_INVALID_PARAMETER}},
        // Processes.
        {"ShellExecuteExA", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}},
        {"GetExitCodeProcess", {ERROR_INVALID_HANDLE}},
        // Services.
        {"OpenSCManagerA", {ERROR_ACCESS_DENIED}},
        {"OpenServiceA", {ERROR_SERVICE_DOES_NOT_EXIST, ERROR_ACCESS_DENIED}},
        {"QueryServiceStatus", {ERROR_ACCESS_DENIED}},
        {"ControlService", {ERROR_SERVICE_NOT_ACTIVE, ERROR_ACCESS_DENIED}},
        {"CloseServiceHandle", {}, kRelease},
        // Tokens and security identifiers.
        {"OpenThreadToken", {ERROR_NO_TOKEN, ERROR_ACCESS_DENIED}},
        {"OpenProcessToken", {ERROR_ACCESS_DENIED}},
        {"GetTokenInformation", {ERROR_ACCESS_DENIED, ERROR_NOT_ENOUGH_MEMORY}},
        {"InitializeSid", {ERROR_INVALID_PARAMETER}},
        {"GetSidSubAuthority", {ERROR_INVALID_PARAMETER}},
        {"GetSidLengthRequired", {}, "GetSidLengthRequired computes a size and cannot fail"},
        {"EqualSid", {ERROR_SUCCESS}}, // not equal: FALSE with no error
    };
    return table;
}

} // namespace

FaultErrors ErrorsFor(const std::string& function) {
    for (const Row& row : Table())
        if (function == row.function)
            return {row.errors, row.why};
    // Every other installer call fails as the engine's calls do, every other registry call is
    // refused; a function of no family still fails, and the summary names it for the table.
    if (function.rfind("Msi", 0) == 0)
        return {{ERROR_FUNCTION_FAILED}, ""};
    if (function.rfind("Reg", 0) == 0)
        return {{ERROR_ACCESS_DENIED}, ""};
    return {{ERROR_ACCESS_DENIED}, kNotInTable};
}

const char kSetupGenericText[] = "The installation failed.";

bool IsGenericFailureText(const std::string& boxText) {
    static const char* const kTexts[] = {
        "", kSetupGenericText, "Language DLL has not yet been created, unable to load NLS string.",
        "The installation of Corvane Skyloft HX failed. See the installation trace for details."};
    for (const char* text : kTexts)
        if (boxText == text)
            return true;
    return false;
}

bool IsUnmarkedFailureText(const std::string& text) {
    // The deferred value list's own failure texts, as the property reader gives them.
    static const char* const kPrefixes[] = {"Can't open '", "Can't allocate property value list"};
    for (const char* prefix : kPrefixes)
        if (text.rfind(prefix, 0) == 0)
            return true;
    return false;
}

bool CarriesLogLines(const std::string& function) {
    return function == "MsiCreateRecord" || function == "MsiRecordSetStringA" ||
           function == "MsiProcessMessage";
}

} // namespace zebsweep
