// The simulated file system's model: drives, the folder tree, Win32 path rules, sharing and
// wildcard matching. Shared by the fixture API and the kernel32 file functions; not for tests.
#pragma once

#include "fsinternal.h"

#include "winsim/kernel32.h"
#include "winsim/sim_fs.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winsim::detail::fsys {

constexpr DWORD kSettableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr size_t kCopyChunk = 64 * 1024;
constexpr uint64_t kDefaultCapacity = 100ull * 1024 * 1024 * 1024;

struct Drive {
    char letter = 'C';
    UINT type = DRIVE_FIXED;
    std::string label;
    DWORD serial = 0;
    bool media = true;
    uint64_t capacity = kDefaultCapacity;
    bool limited = false; // SetFreeSpace was used: writes beyond it fail with 112
    std::shared_ptr<Node> root;
};

struct State {
    std::map<char, Drive> drives;
    std::string cwd = "C:\\Windows\\System32";
    std::vector<fs::PendingRename> pending;
    DWORD cancelError = ERROR_REQUEST_ABORTED;
    bool rebootChecksSource = false;
    bool rebootDenied = false;
    DWORD driveStringsLength = 0;
};

State& S();
uint64_t Now();
std::shared_ptr<Node> NewNode(const std::string& name, bool dir);
// A drive by its letter in either case; null when there is none.
Drive* DriveNamed(char letter);
Drive MakeDrive(char letter, UINT type, const std::string& label);

// Folder entries by name or 8.3 alias; attaching gives the entry its alias.
std::shared_ptr<Node> Child(const Node& dir, const std::string& name);
void Attach(Node& dir, const std::shared_ptr<Node>& node);
void Detach(Node& node);

struct Path {
    char drive = 0;
    bool unc = false;
    bool trailingSep = false;
    std::vector<std::string> parts;
    std::string Full() const {
        std::string s = std::string(1, drive) + ":\\";
        for (size_t i = 0; i < parts.size(); ++i)
            s += (i ? "\\" : "") + parts[i];
        return s;
    }
};

bool HasWildcards(const std::string& s);
// Windows' Win32 path rules: both separators, "." and "..", runs of separators, a single trailing
// "." of a segment dropped, trailing dots and blanks of the last segment dropped.
DWORD Parse(const char* in, Path& out, bool wildcardsInLast = false);

struct Loc {
    Drive* drive = nullptr;
    Node* parent = nullptr;     // folder holding the entry (null for a root)
    std::shared_ptr<Node> node; // the entry, null when absent
    DWORD error = 0;            // the folder holding it cannot be reached
};

Loc Locate(const Path& p);
// Parse and Locate in one step: 0, or the first error either finds.
DWORD Resolve(const char* path, Path& p, Loc& loc, bool wildcardsInLast = false);
// Resolve for a path that must name an entry that is there.
DWORD ResolveExisting(const char* path, Path& p, Loc& loc);

uint64_t UsedBytes(const Node& n);
// Whether growing a file by `more` bytes still fits its drive.
bool Fits(const Node& n, uint64_t more);
bool ShareConflict(const Node& n, unsigned access, DWORD share);
// Reading a file shares reading and deleting; deleting or renaming an entry shares everything.
bool ReadBlocked(const Node& n);
bool DeleteBlocked(const Node& n);
bool IsUnder(const Node* n, const Node* ancestor);
// The process's current folder is open: it cannot be removed.
bool IsCurrentFolder(const Node* n);
void Truncate(Node& n);

// FindFirstFile's DOS rules.
bool WildMatch(const std::string& pattern, const std::string& name);

struct Search : KernelObject {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

WIN32_FIND_DATAA FindData(const Node& n, const std::string& name);

// Fixture helpers: MustParse throws std::invalid_argument for a bad path or a missing drive;
// Find never throws (null when absent); MakeDirsOf creates the first count folders of a path.
Path MustParse(const std::string& path);
std::shared_ptr<Node> Find(const std::string& path);
std::shared_ptr<Node> MakeDirsOf(const Path& p, size_t count);

} // namespace winsim::detail::fsys
