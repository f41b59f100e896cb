// Simulated file system: drives, folders, files, attributes, locks held by other processes,
// and the delete-at-restart list. Paths are Windows paths ("C:\Temp\a.txt", "/" also works);
// names are case-insensitive and keep their case. The process's current folder is
// C:\Windows\System32. Fixture functions that create things throw std::invalid_argument for a
// path on a drive that does not exist; the others ignore such paths. UNC paths are unknown to
// every function (error 3).
#pragma once

#include "winsim/wintypes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace winsim::fs {

// Drive types as GetDriveTypeA reports them (DRIVE_FIXED 3, DRIVE_REMOVABLE 2, DRIVE_CDROM 5...).
void AddDrive(char letter, UINT type = 3, const std::string& label = "");
void RemoveDrive(char letter);
// A removable or CD drive without a medium: everything on it fails with ERROR_NOT_READY (21).
void SetMediaPresent(char letter, bool present);
// From now on only this many more bytes fit on the drive; writes beyond fail with ERROR_DISK_FULL.
void SetFreeSpace(char letter, uint64_t bytes);
// GetLogicalDriveStringsA answers this length instead of the real one (0: the real one again).
void SetDriveStringsLength(DWORD length);

void MakeDirs(const std::string& path);                            // every missing folder of the path
void WriteFile(const std::string& path, const std::string& bytes); // creates the parent folders
void AppendFile(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadFile(const std::string& path); // raw bytes; nullopt when absent
bool Exists(const std::string& path);                         // file or folder
bool IsDir(const std::string& path);
bool Remove(const std::string& path); // a file, or a folder with all it holds

std::optional<DWORD> Attributes(const std::string& path); // as GetFileAttributesA would say
void SetReadOnly(const std::string& path, bool on);
// Another process holds the file (or folder) open without sharing: opens, deletes and renames
// fail with ERROR_SHARING_VIOLATION (32) until Unlock.
void Lock(const std::string& path);
void Unlock(const std::string& path);
// Access to the file or folder, and to everything it holds, is refused with ERROR_ACCESS_DENIED (5).
void DenyAccess(const std::string& path, bool on);

// Names directly inside a folder, in enumeration order (case-insensitive alphabetical).
std::vector<std::string> List(const std::string& folder);
// Every folder and file on every drive, full paths, folders with a trailing backslash: each
// drive root ("C:\"), then every folder before what it holds, in enumeration order.
std::vector<std::string> Tree();

// MoveFileEx(..., MOVEFILE_DELAY_UNTIL_REBOOT) requests: (source, target; empty target = delete).
struct PendingRename {
    std::string from;
    std::string to;
};
std::vector<PendingRename> PendingRenames(); // full paths, in the order requested
void ApplyPendingRenames();                  // the restart: carries them out and clears the list
// MoveFileExA(..., MOVEFILE_DELAY_UNTIL_REBOOT): Windows records the request without looking at
// the file, and refuses it (5) to a caller without administrator rights. Defaults: allowed, no check.
void SetRebootRenames(bool allowed, bool checkSource);
// CopyFileExA aborted through pbCancel fails with this error (Windows: ERROR_REQUEST_ABORTED, 1235).
// Each 64 KiB chunk of a copy counts as a call of "CopyFileExA:chunk" (before the chunk is
// written), so OnCall hooks and FailCall can act part-way through a copy.
void SetCopyCancelError(DWORD error);

// A simulated file that LoadLibraryExA maps to a native shared object on the host; each load of
// a different simulated path gets its own copy (its own globals). Copying the file keeps the
// mapping; writing it anew drops it. The object's exported DllMain (if any) is called on load
// and unload; LoadStringA on its handle reads its exported `const char winsim_resource_strings[]`
// (the string-table format below), if it has one. LoadStringA(NULL, ...) reads such a table of
// the program itself when dlsym can see one (a library linked into a test executable).
void MapModule(const std::string& simPath, const std::string& hostSharedObject);

// Loads not yet freed: each LoadLibraryExA of code counts once per reference, each data-file load
// once; the system's own modules are not counted.
int ModuleLoads();

// The bytes of a string-table data file: LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE)
// of a file holding them gives a handle for LoadStringA. Format: a first line "WINSIM-STRINGS",
// then one "id<TAB>text" line per string, with \n, \r, \t and \\ escaped.
std::string MakeStringTable(const std::map<unsigned, std::string>& strings);

// The bytes of an executable file whose version resource gives the file version a.b.c.d
// (GetFileVersionInfoA, VerQueryValueA "\\"): "MZ", then "WINSIM-VERSION a.b.c.d" somewhere (a
// scenario's drive file may hold just that). Other bytes carry no version resource.
std::string VersionImage(WORD a, WORD b, WORD c, WORD d);

// Modules the system provides (found by name, as "kernel32" or "kernel32.dll"): kernel32,
// advapi32 and user32 export the simulated functions. Adds an export to a system module (creating
// the module), or with fn null removes it (GetProcAddress then fails with 127).
void SetSystemExport(const std::string& module, const std::string& name, FARPROC fn);

// The shell's special folders (CSIDL_*): the folder's path, empty for a CSIDL the machine does
// not know. The common desktop and common programs folders exist after Reset.
std::string SpecialFolder(int csidl);
// A shortcut file (.lnk) to target, in the machine's own format, which IPersistFile::Load of the
// shortcut object reads (a real .lnk is binary; a file in any other format fails Load, E_FAIL).
void WriteShortcut(const std::string& path, const std::string& target);

} // namespace winsim::fs
