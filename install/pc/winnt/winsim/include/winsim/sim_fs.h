// Simulated file system: drives, folders, files, attributes, locks held by other processes,
// and the delete-at-restart list. Paths are Windows paths ("C:\Temp\a.txt"); names are
// case-insensitive and keep their case.
#pragma once

#include "winsim/wintypes.h"

#include <optional>
#include <string>
#include <vector>

namespace winsim::fs {

// Drive types as GetDriveTypeA reports them (DRIVE_FIXED 3, DRIVE_REMOVABLE 2, DRIVE_CDROM 5...).
void AddDrive(char letter, UINT type = 3, const std::string& label = "");
void RemoveDrive(char letter);

void MakeDirs(const std::string& path);                          // every missing folder of the path
void WriteFile(const std::string& path, const std::string& bytes); // creates the parent folders
void AppendFile(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadFile(const std::string& path); // raw bytes; nullopt when absent
bool Exists(const std::string& path);                            // file or folder
bool IsDir(const std::string& path);
bool Remove(const std::string& path); // a file, or a folder with all it holds

void SetReadOnly(const std::string& path, bool on);
// Another process holds the file (or folder) open without sharing: opens, deletes and renames
// fail with ERROR_SHARING_VIOLATION (32) until Unlock.
void Lock(const std::string& path);
void Unlock(const std::string& path);
// Access to the file or folder is refused with ERROR_ACCESS_DENIED (5).
void DenyAccess(const std::string& path, bool on);

// Names directly inside a folder, in enumeration order (case-insensitive alphabetical).
std::vector<std::string> List(const std::string& folder);
// Every folder and file on every drive, full paths, folders with a trailing backslash, sorted.
std::vector<std::string> Tree();

// MoveFileEx(..., MOVEFILE_DELAY_UNTIL_REBOOT) requests: (source, target; empty target = delete).
struct PendingRename {
    std::string from;
    std::string to;
};
std::vector<PendingRename> PendingRenames();

// A simulated file that LoadLibraryExA maps to a native shared object on the host; each load of
// a different simulated path gets its own copy (its own globals).
void MapModule(const std::string& simPath, const std::string& hostSharedObject);

} // namespace winsim::fs
