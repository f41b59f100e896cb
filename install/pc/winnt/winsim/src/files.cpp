// Simulated file system: drives, paths, files, folders, sharing, enumeration, copy and move.
#include "fsinternal.h"

#include "winsim/kernel32.h"
#include "winsim/sim_fs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>

#ifndef ERROR_DIR_NOT_ROOT
#define ERROR_DIR_NOT_ROOT 144L
#endif

namespace winsim::detail::fsys {
namespace {

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

State MakeInitial();

State& S() {
    static State state = MakeInitial();
    return state;
}

uint64_t Now() {
    return SystemFileTime();
}

std::shared_ptr<Node> NewNode(const std::string& name, bool dir) {
    auto n = std::make_shared<Node>();
    n->name = name;
    n->dir = dir;
    n->attrs = dir ? 0 : FILE_ATTRIBUTE_ARCHIVE;
    n->created = n->written = n->accessed = Now();
    return n;
}

// A drive by its letter in either case; null when there is none.
Drive* DriveNamed(char letter) {
    auto it = S().drives.find(Upper(letter));
    return it == S().drives.end() ? nullptr : &it->second;
}

Drive MakeDrive(char letter, UINT type, const std::string& label) {
    Drive d;
    d.letter = letter;
    d.type = type;
    d.label = label;
    d.serial = 0x5A1E0000u | static_cast<DWORD>(letter) << 4 | 0x7;
    d.root = NewNode(std::string(1, letter) + ":", true);
    d.root->attrs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return d;
}

// ---- names ------------------------------------------------------------------------------------

bool IsShortChar(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return std::strchr("!#$%&'()-@^_`{}~", c) != nullptr && c != '\0';
}

bool IsShortName(const std::string& name) {
    const size_t dot = name.find('.');
    if (dot != name.rfind('.') || dot == 0)
        return false;
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 || (dot != std::string::npos && ext.empty()))
        return false;
    return std::all_of(base.begin(), base.end(), IsShortChar) &&
           std::all_of(ext.begin(), ext.end(), IsShortChar);
}

std::string ShortChars(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' || c == '.')
            continue;
        const char u = Upper(c);
        out += IsShortChar(u) ? u : '_';
    }
    return out;
}

bool NameTaken(const Node& dir, const std::string& name, const Node* except) {
    for (const auto& [key, child] : dir.children) {
        if (child.get() == except)
            continue;
        if (IEquals(child->name, name) || (!child->shortName.empty() && IEquals(child->shortName, name)))
            return true;
    }
    return false;
}

// NTFS-style alias: the first letters of the name, "~" and the lowest free number.
void AssignShortName(Node& dir, Node& node) {
    node.shortName.clear();
    if (IsShortName(node.name))
        return;
    const size_t dot = node.name.rfind('.');
    std::string base =
        ShortChars(dot == std::string::npos || dot == 0 ? node.name : node.name.substr(0, dot));
    std::string ext =
        dot == std::string::npos || dot == 0 ? "" : ShortChars(node.name.substr(dot + 1)).substr(0, 3);
    if (base.empty())
        base = "_";
    for (int n = 1; n < 1000000; ++n) {
        const std::string tail = "~" + std::to_string(n);
        std::string candidate = base.substr(0, 8 - tail.size()) + tail + (ext.empty() ? "" : "." + ext);
        if (!NameTaken(dir, candidate, &node)) {
            node.shortName = candidate;
            return;
        }
    }
}

std::shared_ptr<Node> Child(const Node& dir, const std::string& name) {
    auto it = dir.children.find(name);
    if (it != dir.children.end())
        return it->second;
    for (const auto& [key, child] : dir.children)
        if (!child->shortName.empty() && IEquals(child->shortName, name))
            return child;
    return nullptr;
}

void Attach(Node& dir, const std::shared_ptr<Node>& node) {
    node->parent = &dir;
    AssignShortName(dir, *node);
    dir.children[node->name] = node;
    dir.written = Now();
}

void Detach(Node& node) {
    if (!node.parent)
        return;
    Node* dir = node.parent;
    dir->children.erase(node.name);
    dir->written = Now();
    node.parent = nullptr;
}

// ---- paths ------------------------------------------------------------------------------------

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

bool HasWildcards(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

// Windows' Win32 path rules: both separators, "." and "..", runs of separators, a single trailing
// "." of a segment dropped, trailing dots and blanks of the last segment dropped.
DWORD Parse(const char* in, Path& out, bool wildcardsInLast = false) {
    out = Path();
    if (!in)
        return ERROR_INVALID_PARAMETER;
    std::string s(in);
    if (s.empty())
        return ERROR_PATH_NOT_FOUND;
    if (s.size() >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.rfind("\\\\?\\", 0) == 0 || s.rfind("\\\\.\\", 0) == 0)
        s = s.substr(4);
    std::string rest;
    if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
        out.unc = true;
        return 0;
    }
    Path cwd;
    {
        const std::string& c = S().cwd;
        cwd.drive = c[0];
        size_t i = 3;
        while (i < c.size()) {
            size_t j = c.find('\\', i);
            if (j == std::string::npos)
                j = c.size();
            if (j > i)
                cwd.parts.push_back(c.substr(i, j - i));
            i = j + 1;
        }
    }
    if (s.size() >= 2 && s[1] == ':') {
        const char letter = Upper(s[0]);
        if (letter < 'A' || letter > 'Z')
            return ERROR_INVALID_NAME;
        out.drive = letter;
        rest = s.substr(2);
        if (rest.empty() || rest[0] != '\\') {
            if (letter == cwd.drive)
                out.parts = cwd.parts;
        }
    } else if (s[0] == '\\') {
        out.drive = cwd.drive;
        rest = s;
    } else {
        out.drive = cwd.drive;
        out.parts = cwd.parts;
        rest = s;
    }
    std::vector<std::string> segs;
    size_t i = 0;
    while (i <= rest.size()) {
        size_t j = rest.find('\\', i);
        if (j == std::string::npos)
            j = rest.size();
        segs.push_back(rest.substr(i, j - i));
        i = j + 1;
    }
    out.trailingSep = !rest.empty() && rest.back() == '\\';
    for (size_t k = 0; k < segs.size(); ++k) {
        std::string seg = segs[k];
        const bool last = k + 1 == segs.size();
        if (seg.empty() || seg == ".")
            continue;
        if (seg == "..") {
            if (!out.parts.empty())
                out.parts.pop_back();
            continue;
        }
        if (last && wildcardsInLast && HasWildcards(seg)) {
            // A search pattern keeps its dots: "*." means "names without an extension".
        } else if (last && !out.trailingSep) {
            while (!seg.empty() && (seg.back() == '.' || seg.back() == ' '))
                seg.pop_back();
        } else if (seg.size() >= 2 && seg.back() == '.' && seg[seg.size() - 2] != '.') {
            seg.pop_back();
        }
        if (seg.empty())
            continue;
        out.parts.push_back(seg);
    }
    for (size_t k = 0; k < out.parts.size(); ++k) {
        const std::string& seg = out.parts[k];
        const bool last = k + 1 == out.parts.size();
        if (seg.size() > 255)
            return ERROR_FILENAME_EXCED_RANGE;
        for (char c : seg) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (u < 32 || std::strchr("<>:\"|", c))
                return ERROR_INVALID_NAME;
            if ((c == '*' || c == '?') && !(wildcardsInLast && last))
                return ERROR_INVALID_NAME;
        }
    }
    return 0;
}

struct Loc {
    Drive* drive = nullptr;
    Node* parent = nullptr;     // folder holding the entry (null for a root)
    std::shared_ptr<Node> node; // the entry, null when absent
    DWORD error = 0;            // the folder holding it cannot be reached
};

Loc Locate(const Path& p) {
    Loc loc;
    if (p.unc) {
        loc.error = ERROR_PATH_NOT_FOUND;
        return loc;
    }
    loc.drive = DriveNamed(p.drive);
    if (!loc.drive) {
        loc.error = ERROR_PATH_NOT_FOUND;
        return loc;
    }
    if (!loc.drive->media) {
        loc.error = ERROR_NOT_READY;
        return loc;
    }
    std::shared_ptr<Node> cur = loc.drive->root;
    if (p.parts.empty()) {
        loc.node = cur;
        return loc;
    }
    for (size_t i = 0; i + 1 < p.parts.size(); ++i) {
        if (cur->denied) {
            loc.error = ERROR_ACCESS_DENIED;
            return loc;
        }
        auto next = Child(*cur, p.parts[i]);
        if (!next || !next->dir) {
            loc.error = ERROR_PATH_NOT_FOUND;
            return loc;
        }
        cur = next;
    }
    if (cur->denied) {
        loc.error = ERROR_ACCESS_DENIED;
        return loc;
    }
    loc.parent = cur.get();
    loc.node = Child(*cur, p.parts.back());
    return loc;
}

// Parse and Locate in one step: 0, or the first error either finds.
DWORD Resolve(const char* path, Path& p, Loc& loc, bool wildcardsInLast = false) {
    if (DWORD e = Parse(path, p, wildcardsInLast))
        return e;
    loc = Locate(p);
    return loc.error;
}

// Resolve for a path that must name an entry that is there.
DWORD ResolveExisting(const char* path, Path& p, Loc& loc) {
    if (DWORD e = Resolve(path, p, loc))
        return e;
    return loc.node ? 0 : ERROR_FILE_NOT_FOUND;
}

Drive* DriveOf(const Node* n) {
    while (n->parent)
        n = n->parent;
    for (auto& [letter, d] : S().drives)
        if (d.root.get() == n)
            return &d;
    return nullptr;
}

uint64_t UsedBytes(const Node& n) {
    uint64_t used = n.data.size();
    for (const auto& [k, c] : n.children)
        used += UsedBytes(*c);
    return used;
}

// Whether growing a file by `more` bytes still fits its drive.
bool Fits(const Node& n, uint64_t more) {
    const Drive* d = DriveOf(&n);
    if (!d || !d->limited || more == 0)
        return true;
    return UsedBytes(*d->root) + more <= d->capacity;
}

bool ShareConflict(const Node& n, unsigned access, DWORD share) {
    if (!(access & (kRead | kWrite | kDelete)))
        return false;
    if (n.locked)
        return true;
    for (const OpenFile* o : n.opens) {
        if (!(o->access & (kRead | kWrite | kDelete)))
            continue;
        if (((access & kRead) && !(o->share & FILE_SHARE_READ)) ||
            ((access & kWrite) && !(o->share & FILE_SHARE_WRITE)) ||
            ((access & kDelete) && !(o->share & FILE_SHARE_DELETE)))
            return true;
        if (((o->access & kRead) && !(share & FILE_SHARE_READ)) ||
            ((o->access & kWrite) && !(share & FILE_SHARE_WRITE)) ||
            ((o->access & kDelete) && !(share & FILE_SHARE_DELETE)))
            return true;
    }
    return false;
}

// Reading a file shares reading and deleting; deleting or renaming an entry shares everything.
bool ReadBlocked(const Node& n) {
    return ShareConflict(n, kRead, FILE_SHARE_READ | FILE_SHARE_DELETE);
}

bool DeleteBlocked(const Node& n) {
    return ShareConflict(n, kDelete, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

bool IsUnder(const Node* n, const Node* ancestor) {
    for (; n; n = n->parent)
        if (n == ancestor)
            return true;
    return false;
}

// The process's current folder is open: it cannot be removed.
bool IsCurrentFolder(const Node* n) {
    Path cwd;
    if (Parse(S().cwd.c_str(), cwd) != 0)
        return false;
    Loc loc = Locate(cwd);
    return loc.node && IsUnder(loc.node.get(), n);
}

void Truncate(Node& n) {
    n.data.clear();
    n.hostModule.clear();
    n.written = Now();
}

// ---- wildcard matching (FindFirstFile's DOS rules) ----------------------------------------------

// Converted pattern: '*' star, '<' DOS star (stops before the final dot), '>' DOS question mark
// (also matches nothing at a dot or the end), '"' DOS dot (a dot, or nothing at the end).
std::string DosPattern(const std::string& p) {
    if (p == "*.*")
        return "*";
    std::string out = p;
    for (size_t i = 0; i < out.size(); ++i) {
        const bool hasNext = i + 1 < p.size();
        if (p[i] == '?')
            out[i] = '>';
        else if (p[i] == '.' && (!hasNext || p[i + 1] == '?' || p[i + 1] == '*'))
            out[i] = '"';
        else if (p[i] == '*' && hasNext && p[i + 1] == '.')
            out[i] = '<';
    }
    return out;
}

bool MatchAt(const std::string& p, size_t pi, const std::string& n, size_t ni, size_t lastDot) {
    while (pi < p.size()) {
        const char c = p[pi];
        if (c == '*') {
            for (size_t k = ni; k <= n.size(); ++k)
                if (MatchAt(p, pi + 1, n, k, lastDot))
                    return true;
            return false;
        }
        if (c == '<') {
            for (size_t k = ni; k <= n.size(); ++k) {
                if (MatchAt(p, pi + 1, n, k, lastDot))
                    return true;
                if (k < n.size() && k == lastDot)
                    return false; // may not swallow the final dot
            }
            return false;
        }
        if (c == '>') {
            if (ni == n.size() || n[ni] == '.') {
                ++pi;
                continue;
            }
            ++pi;
            ++ni;
            continue;
        }
        if (c == '"') {
            if (ni == n.size()) {
                ++pi;
                continue;
            }
            if (n[ni] != '.')
                return false;
            ++pi;
            ++ni;
            continue;
        }
        if (ni == n.size() || Upper(c) != Upper(n[ni]))
            return false;
        ++pi;
        ++ni;
    }
    return ni == n.size();
}

bool WildMatch(const std::string& pattern, const std::string& name) {
    const std::string p = DosPattern(pattern);
    const size_t dot = name.rfind('.');
    return MatchAt(p, 0, name, 0, dot == std::string::npos ? std::string::npos : dot);
}

// ---- find handles -----------------------------------------------------------------------------

struct Search : KernelObject {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

WIN32_FIND_DATAA FindData(const Node& n, const std::string& name) {
    WIN32_FIND_DATAA fd;
    std::memset(&fd, 0, sizeof(fd));
    fd.dwFileAttributes = n.attrs | (n.dir ? FILE_ATTRIBUTE_DIRECTORY : 0);
    if (fd.dwFileAttributes == 0)
        fd.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    fd.ftCreationTime = ToFileTime(n.created);
    fd.ftLastAccessTime = ToFileTime(n.accessed);
    fd.ftLastWriteTime = ToFileTime(n.written);
    const uint64_t size = n.dir ? 0 : n.data.size();
    fd.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    fd.nFileSizeLow = static_cast<DWORD>(size);
    std::snprintf(fd.cFileName, sizeof(fd.cFileName), "%s", name.c_str());
    if (name != "." && name != "..")
        std::snprintf(fd.cAlternateFileName, sizeof(fd.cAlternateFileName), "%s", n.shortName.c_str());
    return fd;
}

// ---- fixture helpers --------------------------------------------------------------------------

Path MustParse(const std::string& path) {
    Path p;
    if (DWORD e = Parse(path.c_str(), p); e != 0 || p.unc)
        throw std::invalid_argument("winsim::fs: bad path '" + path + "'");
    if (!S().drives.count(p.drive))
        throw std::invalid_argument("winsim::fs: no drive for '" + path + "'");
    return p;
}

// The node of a path, or null; never throws.
std::shared_ptr<Node> Find(const std::string& path) {
    Path p;
    if (Parse(path.c_str(), p) != 0 || p.unc)
        return nullptr;
    const Drive* d = DriveNamed(p.drive);
    if (!d)
        return nullptr;
    std::shared_ptr<Node> cur = d->root;
    for (const auto& part : p.parts) {
        if (!cur->dir)
            return nullptr;
        cur = Child(*cur, part);
        if (!cur)
            return nullptr;
    }
    return cur;
}

std::shared_ptr<Node> MakeDirsOf(const Path& p, size_t count) {
    std::shared_ptr<Node> cur = S().drives.at(p.drive).root;
    for (size_t i = 0; i < count; ++i) {
        auto next = Child(*cur, p.parts[i]);
        if (!next) {
            next = NewNode(p.parts[i], true);
            Attach(*cur, next);
        } else if (!next->dir) {
            throw std::invalid_argument("winsim::fs: '" + next->name + "' is a file");
        }
        cur = next;
    }
    return cur;
}

State MakeInitial() {
    State s;
    s.drives['C'] = MakeDrive('C', DRIVE_FIXED, "");
    return s;
}

void Populate() {
    for (const char* dir : {"C:\\Windows\\System32", "C:\\Program Files", "C:\\Temp"}) {
        Path p;
        Parse(dir, p);
        MakeDirsOf(p, p.parts.size());
    }
}

const bool kRegistered = [] {
    OnReset([] {
        S() = MakeInitial();
        Populate();
    });
    return true;
}();

// The initial folders exist before the first Reset too.
struct InitialFolders {
    InitialFolders() {
        Guard g(MachineLock());
        if (S().drives.at('C').root->children.empty())
            Populate();
    }
} g_initialFolders;

} // namespace

// ---- internal interface -----------------------------------------------------------------------

OpenFile::~OpenFile() {
    Guard g(MachineLock());
    auto& opens = node->opens;
    opens.erase(std::remove(opens.begin(), opens.end(), this), opens.end());
    auto& locks = node->rangeLocks;
    locks.erase(
        std::remove_if(locks.begin(), locks.end(), [this](const RangeLock& l) { return l.owner == this; }),
        locks.end());
    if (deleteOnClose && node->parent && opens.empty())
        Detach(*node);
}

OpenResult Open(const char* path, DWORD desiredAccess, DWORD shareMode, DWORD disposition, DWORD flags) {
    Guard g(MachineLock());
    OpenResult r;
    unsigned access = 0;
    if (desiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA | MAXIMUM_ALLOWED))
        access |= kRead;
    if (desiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA | MAXIMUM_ALLOWED))
        access |= kWrite;
    if ((desiredAccess & (DELETE | GENERIC_ALL)) || (flags & FILE_FLAG_DELETE_ON_CLOSE))
        access |= kDelete;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && !(access & kWrite))) {
        r.error = ERROR_INVALID_PARAMETER;
        return r;
    }
    Path p;
    Loc loc;
    if ((r.error = Resolve(path, p, loc)) != 0)
        return r;
    const bool backup = (flags & FILE_FLAG_BACKUP_SEMANTICS) != 0;
    std::shared_ptr<Node> node = loc.node;
    if (node) {
        r.existed = true;
        if (disposition == CREATE_NEW) {
            r.error = ERROR_FILE_EXISTS;
            return r;
        }
        if (node->denied) {
            r.error = ERROR_ACCESS_DENIED;
            return r;
        }
        if (node->dir) {
            if (!backup || (access & kWrite) || disposition == CREATE_ALWAYS ||
                disposition == TRUNCATE_EXISTING) {
                r.error = ERROR_ACCESS_DENIED;
                return r;
            }
        } else {
            if (p.trailingSep) {
                r.error = ERROR_INVALID_NAME;
                return r;
            }
            const bool truncating = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
            if ((node->attrs & FILE_ATTRIBUTE_READONLY) && ((access & (kWrite | kDelete)) || truncating)) {
                r.error = ERROR_ACCESS_DENIED;
                return r;
            }
            const DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            if (truncating && (node->attrs & hs & ~flags)) {
                r.error = ERROR_ACCESS_DENIED;
                return r;
            }
        }
        if (ShareConflict(*node, access, shareMode)) {
            r.error = ERROR_SHARING_VIOLATION;
            return r;
        }
        if (disposition == CREATE_ALWAYS) {
            Truncate(*node);
            node->attrs = (flags & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
        } else if (disposition == TRUNCATE_EXISTING) {
            Truncate(*node);
        }
    } else {
        if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
            r.error = ERROR_FILE_NOT_FOUND;
            return r;
        }
        if (p.trailingSep || p.parts.empty()) {
            r.error = ERROR_INVALID_NAME;
            return r;
        }
        node = NewNode(p.parts.back(), false);
        node->attrs = (flags & kSettableAttributes) | FILE_ATTRIBUTE_ARCHIVE;
        Attach(*loc.parent, node);
    }
    auto f = std::make_shared<OpenFile>();
    f->node = node;
    f->path = p.Full();
    f->drive = p.drive;
    f->access = access;
    f->share = shareMode;
    f->appendOnly = (desiredAccess & FILE_APPEND_DATA) &&
                    !(desiredAccess & (FILE_WRITE_DATA | GENERIC_WRITE | GENERIC_ALL));
    f->deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    node->opens.push_back(f.get());
    node->accessed = Now();
    r.file = f;
    return r;
}

DWORD Read(OpenFile& f, void* buffer, size_t size, size_t& got) {
    Guard g(MachineLock());
    got = 0;
    if (!(f.access & kRead) || f.node->dir)
        return ERROR_ACCESS_DENIED;
    const std::string& data = f.node->data;
    if (f.pos < data.size()) {
        got = std::min<uint64_t>(size, data.size() - f.pos);
        std::memcpy(buffer, data.data() + f.pos, got);
        f.pos += got;
    }
    return 0;
}

DWORD Write(OpenFile& f, const void* buffer, size_t size) {
    Guard g(MachineLock());
    if (!(f.access & kWrite) || f.node->dir)
        return ERROR_ACCESS_DENIED;
    std::string& data = f.node->data;
    if (f.appendOnly)
        f.pos = data.size();
    const uint64_t end = f.pos + size;
    if (end > data.size() && !Fits(*f.node, end - data.size()))
        return ERROR_DISK_FULL;
    if (end > data.size())
        data.resize(end, '\0');
    if (size)
        std::memcpy(&data[f.pos], buffer, size);
    f.pos = end;
    f.node->written = Now();
    if (size && f.pos == size)
        f.node->hostModule.clear(); // rewritten from the start: no longer the mapped image
    return 0;
}

DWORD ReadImage(const char* path, FileImage& out) {
    Guard g(MachineLock());
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(path, p, loc))
        return e;
    if (loc.node->denied || loc.node->dir)
        return ERROR_ACCESS_DENIED;
    if (ReadBlocked(*loc.node))
        return ERROR_SHARING_VIOLATION;
    out.fullPath = p.Full();
    out.data = loc.node->data;
    out.hostModule = loc.node->hostModule;
    return 0;
}

std::string FullPath(const char* path) {
    Guard g(MachineLock());
    Path p;
    if (Parse(path, p) != 0 || p.unc)
        return {};
    return p.Full();
}

} // namespace winsim::detail::fsys

// ---- fixture API ------------------------------------------------------------------------------

namespace winsim::fs {

using namespace winsim::detail;
using namespace winsim::detail::fsys;

void AddDrive(char letter, UINT type, const std::string& label) {
    Guard g(MachineLock());
    if (Drive* d = DriveNamed(letter)) {
        d->type = type;
        d->label = label;
        return;
    }
    letter = Upper(letter);
    S().drives[letter] = MakeDrive(letter, type, label);
}

void RemoveDrive(char letter) {
    Guard g(MachineLock());
    S().drives.erase(Upper(letter));
}

void SetMediaPresent(char letter, bool present) {
    Guard g(MachineLock());
    if (Drive* d = DriveNamed(letter))
        d->media = present;
}

void SetFreeSpace(char letter, uint64_t bytes) {
    Guard g(MachineLock());
    if (Drive* d = DriveNamed(letter)) {
        d->capacity = UsedBytes(*d->root) + bytes;
        d->limited = true;
    }
}

void MakeDirs(const std::string& path) {
    Guard g(MachineLock());
    Path p = MustParse(path);
    MakeDirsOf(p, p.parts.size());
}

static std::shared_ptr<Node> FileForWriting(const std::string& path) {
    Path p = MustParse(path);
    if (p.parts.empty())
        throw std::invalid_argument("winsim::fs: '" + path + "' is a drive");
    auto dir = MakeDirsOf(p, p.parts.size() - 1);
    auto node = Child(*dir, p.parts.back());
    if (node && node->dir)
        throw std::invalid_argument("winsim::fs: '" + path + "' is a folder");
    if (!node) {
        node = NewNode(p.parts.back(), false);
        Attach(*dir, node);
    }
    return node;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    Guard g(MachineLock());
    auto node = FileForWriting(path);
    node->data = bytes;
    node->hostModule.clear();
    node->written = SystemFileTime();
}

void AppendFile(const std::string& path, const std::string& bytes) {
    Guard g(MachineLock());
    auto node = FileForWriting(path);
    node->data += bytes;
    node->written = SystemFileTime();
}

std::optional<std::string> ReadFile(const std::string& path) {
    Guard g(MachineLock());
    auto n = Find(path);
    if (!n || n->dir)
        return std::nullopt;
    return n->data;
}

bool Exists(const std::string& path) {
    Guard g(MachineLock());
    return Find(path) != nullptr;
}

bool IsDir(const std::string& path) {
    Guard g(MachineLock());
    auto n = Find(path);
    return n && n->dir;
}

bool Remove(const std::string& path) {
    Guard g(MachineLock());
    auto n = Find(path);
    if (!n || !n->parent)
        return false;
    Detach(*n);
    return true;
}

std::optional<DWORD> Attributes(const std::string& path) {
    Guard g(MachineLock());
    auto n = Find(path);
    if (!n)
        return std::nullopt;
    return n->attrs | (n->dir ? FILE_ATTRIBUTE_DIRECTORY : 0);
}

void SetReadOnly(const std::string& path, bool on) {
    Guard g(MachineLock());
    if (auto n = Find(path))
        n->attrs = on ? (n->attrs | FILE_ATTRIBUTE_READONLY) : (n->attrs & ~FILE_ATTRIBUTE_READONLY);
}

void Lock(const std::string& path) {
    Guard g(MachineLock());
    if (auto n = Find(path))
        n->locked = true;
}

void Unlock(const std::string& path) {
    Guard g(MachineLock());
    if (auto n = Find(path))
        n->locked = false;
}

void DenyAccess(const std::string& path, bool on) {
    Guard g(MachineLock());
    if (auto n = Find(path))
        n->denied = on;
}

std::vector<std::string> List(const std::string& folder) {
    Guard g(MachineLock());
    std::vector<std::string> names;
    auto n = Find(folder);
    if (n && n->dir)
        for (const auto& [key, child] : n->children)
            names.push_back(child->name);
    return names;
}

static void Walk(const Node& n, const std::string& path, std::vector<std::string>& out) {
    for (const auto& [key, child] : n.children) {
        const std::string full = path + child->name;
        if (child->dir) {
            out.push_back(full + "\\");
            Walk(*child, full + "\\", out);
        } else {
            out.push_back(full);
        }
    }
}

std::vector<std::string> Tree() {
    Guard g(MachineLock());
    std::vector<std::string> out;
    for (const auto& [letter, d] : S().drives) {
        const std::string root = std::string(1, letter) + ":\\";
        out.push_back(root);
        Walk(*d.root, root, out);
    }
    return out;
}

std::vector<PendingRename> PendingRenames() {
    Guard g(MachineLock());
    return S().pending;
}

void ApplyPendingRenames() {
    Guard g(MachineLock());
    auto pending = std::move(S().pending);
    S().pending.clear();
    for (const auto& r : pending) {
        auto n = Find(r.from);
        if (!n || !n->parent)
            continue;
        if (r.to.empty()) {
            if (!n->dir || n->children.empty())
                Detach(*n);
            continue;
        }
        Path to;
        if (Parse(r.to.c_str(), to) != 0 || to.unc || to.parts.empty() || !S().drives.count(to.drive))
            continue;
        Detach(*n);
        auto dir = MakeDirsOf(to, to.parts.size() - 1);
        if (auto old = Child(*dir, to.parts.back()))
            Detach(*old);
        n->name = to.parts.back();
        Attach(*dir, n);
    }
}

void SetRebootRenames(bool allowed, bool checkSource) {
    Guard g(MachineLock());
    S().rebootDenied = !allowed;
    S().rebootChecksSource = checkSource;
}

void SetCopyCancelError(DWORD error) {
    Guard g(MachineLock());
    S().cancelError = error;
}

void SetDriveStringsLength(DWORD length) {
    Guard g(MachineLock());
    S().driveStringsLength = length;
}

void MapModule(const std::string& simPath, const std::string& hostSharedObject) {
    Guard g(MachineLock());
    auto node = FileForWriting(simPath);
    node->data = "MZ\x90" + std::string(1, '\0') + "winsim image of " + hostSharedObject;
    node->hostModule = hostSharedObject;
    node->written = SystemFileTime();
}

} // namespace winsim::fs

// ---- kernel32 ---------------------------------------------------------------------------------

using namespace winsim;
using namespace winsim::detail;
using namespace winsim::detail::fsys;

static BOOL FailWith(DWORD error) {
    SetError(error);
    return FALSE;
}

// The open file behind a handle, for a call whose faults may name the file's path; null, with
// the last error set, when a fault is injected or the handle is not an open file.
static std::shared_ptr<OpenFile> FileCall(const char* function, HANDLE hFile) {
    auto f = Lookup<OpenFile>(hFile);
    if (Fail(function, f ? f->path.c_str() : nullptr))
        return nullptr;
    if (!f)
        SetError(ERROR_INVALID_HANDLE);
    return f;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    Guard g(MachineLock());
    if (Fail("CreateFileA", lpFileName))
        return INVALID_HANDLE_VALUE;
    OpenResult r =
        Open(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
    if (r.error) {
        SetError(r.error);
        return INVALID_HANDLE_VALUE;
    }
    const bool reportsExisting =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetError(reportsExisting && r.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return AddHandle(r.file);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPVOID) {
    Guard g(MachineLock());
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto f = FileCall("ReadFile", hFile);
    if (!f)
        return FALSE;
    size_t got = 0;
    if (DWORD e = Read(*f, lpBuffer, nNumberOfBytesToRead, got))
        return FailWith(e);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPVOID) {
    Guard g(MachineLock());
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto f = FileCall("WriteFile", hFile);
    if (!f)
        return FALSE;
    if (DWORD e = Write(*f, lpBuffer, nNumberOfBytesToWrite))
        return FailWith(e);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    Guard g(MachineLock());
    auto f = FileCall("GetFileSize", hFile);
    if (!f)
        return INVALID_FILE_SIZE;
    const uint64_t size = f->node->data.size();
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    Guard g(MachineLock());
    if (Fail("SetFilePointer"))
        return INVALID_SET_FILE_POINTER;
    auto f = Lookup<OpenFile>(hFile);
    if (!f) {
        SetError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
        distance =
            static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                 static_cast<uint32_t>(lDistanceToMove));
    int64_t base = 0;
    if (dwMoveMethod == FILE_CURRENT)
        base = static_cast<int64_t>(f->pos);
    else if (dwMoveMethod == FILE_END)
        base = static_cast<int64_t>(f->node->data.size());
    else if (dwMoveMethod != FILE_BEGIN) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t target = base + distance;
    if (target < 0) {
        SetError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    f->pos = static_cast<uint64_t>(target);
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(f->pos >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(f->pos);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    Guard g(MachineLock());
    if (Fail("SetEndOfFile"))
        return FALSE;
    auto f = Lookup<OpenFile>(hFile);
    if (!f)
        return FailWith(ERROR_INVALID_HANDLE);
    if (!(f->access & kWrite))
        return FailWith(ERROR_ACCESS_DENIED);
    if (f->pos > f->node->data.size() && !Fits(*f->node, f->pos - f->node->data.size()))
        return FailWith(ERROR_DISK_FULL);
    f->node->data.resize(f->pos, '\0');
    f->node->written = SystemFileTime();
    return TRUE;
}

static uint64_t Join(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                     DWORD nNumberOfBytesToLockLow, DWORD nNumberOfBytesToLockHigh) {
    Guard g(MachineLock());
    auto f = FileCall("LockFile", hFile);
    if (!f)
        return FALSE;
    // Windows wants read or write access to the data; appending only is not enough.
    if (!(f->access & kRead) && (!(f->access & kWrite) || f->appendOnly))
        return FailWith(ERROR_ACCESS_DENIED);
    const uint64_t start = Join(dwFileOffsetHigh, dwFileOffsetLow);
    const uint64_t length = Join(nNumberOfBytesToLockHigh, nNumberOfBytesToLockLow);
    if (start + length < start)
        return FailWith(ERROR_INVALID_PARAMETER);
    for (const RangeLock& l : f->node->rangeLocks) {
        if (start < l.start + l.length && l.start < start + length)
            return FailWith(ERROR_LOCK_VIOLATION);
    }
    f->node->rangeLocks.push_back({f.get(), start, length});
    return TRUE;
}

BOOL WINAPI UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                       DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh) {
    Guard g(MachineLock());
    auto f = FileCall("UnlockFile", hFile);
    if (!f)
        return FALSE;
    const uint64_t start = Join(dwFileOffsetHigh, dwFileOffsetLow);
    const uint64_t length = Join(nNumberOfBytesToUnlockHigh, nNumberOfBytesToUnlockLow);
    auto& locks = f->node->rangeLocks;
    for (auto it = locks.begin(); it != locks.end(); ++it) {
        if (it->owner == f.get() && it->start == start && it->length == length) {
            locks.erase(it);
            return TRUE;
        }
    }
    return FailWith(ERROR_NOT_LOCKED);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    if (!Lookup<OpenFile>(hFile))
        return FailWith(ERROR_INVALID_HANDLE);
    return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
    Guard g(MachineLock());
    auto f = Lookup<OpenFile>(hFile);
    if (!f)
        return FailWith(ERROR_INVALID_HANDLE);
    if (lpCreationTime)
        *lpCreationTime = ToFileTime(f->node->created);
    if (lpLastAccessTime)
        *lpLastAccessTime = ToFileTime(f->node->accessed);
    if (lpLastWriteTime)
        *lpLastWriteTime = ToFileTime(f->node->written);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    Guard g(MachineLock());
    if (Fail("DeleteFileA", lpFileName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpFileName, p, loc))
        return FailWith(e);
    if (loc.node->dir || loc.node->denied || (loc.node->attrs & FILE_ATTRIBUTE_READONLY))
        return FailWith(ERROR_ACCESS_DENIED);
    if (DeleteBlocked(*loc.node))
        return FailWith(ERROR_SHARING_VIOLATION);
    Detach(*loc.node);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    Guard g(MachineLock());
    if (Fail("CreateDirectoryA", lpPathName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = Resolve(lpPathName, p, loc))
        return FailWith(e);
    if (p.parts.empty())
        return FailWith(ERROR_ACCESS_DENIED);
    if (loc.node)
        return FailWith(ERROR_ALREADY_EXISTS);
    Attach(*loc.parent, NewNode(p.parts.back(), true));
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    Guard g(MachineLock());
    if (Fail("RemoveDirectoryA", lpPathName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpPathName, p, loc))
        return FailWith(e);
    if (p.parts.empty()) // a drive's root: always there, never removed
        return FailWith(ERROR_ACCESS_DENIED);
    if (!loc.node->dir)
        return FailWith(ERROR_DIRECTORY);
    if (loc.node->denied || (loc.node->attrs & FILE_ATTRIBUTE_READONLY))
        return FailWith(ERROR_ACCESS_DENIED);
    if (DeleteBlocked(*loc.node) || IsCurrentFolder(loc.node.get()))
        return FailWith(ERROR_SHARING_VIOLATION);
    if (!loc.node->children.empty())
        return FailWith(ERROR_DIR_NOT_EMPTY);
    Detach(*loc.node);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    Guard g(MachineLock());
    if (Fail("GetFileAttributesA", lpFileName))
        return INVALID_FILE_ATTRIBUTES;
    Path p;
    Loc loc;
    DWORD e = ResolveExisting(lpFileName, p, loc);
    if (!e && loc.node->denied)
        e = ERROR_ACCESS_DENIED;
    if (!e && p.trailingSep && !loc.node->dir)
        e = ERROR_INVALID_NAME;
    if (e) {
        SetError(e);
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD attrs = loc.node->attrs | (loc.node->dir ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    Guard g(MachineLock());
    if (Fail("SetFileAttributesA", lpFileName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpFileName, p, loc))
        return FailWith(e);
    if (loc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    loc.node->attrs = dwFileAttributes & kSettableAttributes;
    return TRUE;
}

static BOOL CopyNode(Node& src, const Path& dp, Loc& dloc, DWORD flags, LPPROGRESS_ROUTINE progress,
                     LPVOID data, LPBOOL pbCancel) {
    std::shared_ptr<Node> dst = dloc.node;
    if (dst) {
        if (dst.get() == &src)
            return FailWith(ERROR_SHARING_VIOLATION);
        if (dst->dir || dst->denied)
            return FailWith(ERROR_ACCESS_DENIED);
        if (flags & COPY_FILE_FAIL_IF_EXISTS)
            return FailWith(ERROR_FILE_EXISTS);
        const DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if ((dst->attrs & FILE_ATTRIBUTE_READONLY) || (dst->attrs & hs & ~src.attrs))
            return FailWith(ERROR_ACCESS_DENIED);
        if (ShareConflict(*dst, kWrite | kDelete, 0))
            return FailWith(ERROR_SHARING_VIOLATION);
        Truncate(*dst);
    } else {
        if (dp.trailingSep || dp.parts.empty())
            return FailWith(ERROR_INVALID_NAME);
        dst = NewNode(dp.parts.back(), false);
        Attach(*dloc.parent, dst);
    }
    const std::string bytes = src.data;
    const std::string host = src.hostModule;
    auto abort = [&](DWORD error) {
        if (dst->parent)
            Detach(*dst);
        return FailWith(error);
    };
    LARGE_INTEGER total{}, done{};
    total.QuadPart = static_cast<LONGLONG>(bytes.size());
    bool quiet = progress == nullptr;
    // Tells the caller's routine; false when it asks to stop the copy.
    auto report = [&](DWORD reason) {
        if (quiet)
            return true;
        const DWORD answer = progress(total, done, total, done, 1, reason, nullptr, nullptr, data);
        quiet = answer == PROGRESS_QUIET;
        return answer != PROGRESS_CANCEL && answer != PROGRESS_STOP;
    };
    if (!report(CALLBACK_STREAM_SWITCH))
        return abort(ERROR_REQUEST_ABORTED);
    size_t offset = 0;
    do {
        // Each chunk counts as a call, so "another process" can act part-way through a copy.
        if (auto e = Faulted("CopyFileExA:chunk", dp.Full().c_str()))
            return abort(*e);
        if (pbCancel && *reinterpret_cast<volatile BOOL*>(pbCancel))
            return abort(S().cancelError);
        const size_t n = std::min(kCopyChunk, bytes.size() - offset);
        if (n && !Fits(*dst, n))
            return abort(ERROR_DISK_FULL);
        dst->data.append(bytes, offset, n);
        offset += n;
        done.QuadPart = static_cast<LONGLONG>(offset);
        if (!report(CALLBACK_CHUNK_FINISHED))
            return abort(ERROR_REQUEST_ABORTED);
    } while (offset < bytes.size());
    dst->hostModule = host;
    dst->attrs = src.attrs | FILE_ATTRIBUTE_ARCHIVE;
    dst->written = src.written;
    return TRUE;
}

static BOOL CopyFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, LPPROGRESS_ROUTINE lpProgressRoutine,
                     LPVOID lpData, LPBOOL pbCancel, DWORD dwCopyFlags) {
    Path sp, dp;
    Loc sloc;
    if (DWORD e = ResolveExisting(lpExistingFileName, sp, sloc))
        return FailWith(e);
    if (sloc.node->dir || sloc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    if (ReadBlocked(*sloc.node))
        return FailWith(ERROR_SHARING_VIOLATION);
    Loc dloc;
    if (DWORD e = Resolve(lpNewFileName, dp, dloc))
        return FailWith(e);
    std::shared_ptr<Node> keep = sloc.node;
    return CopyNode(*keep, dp, dloc, dwCopyFlags, lpProgressRoutine, lpData, pbCancel);
}

BOOL WINAPI CopyFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, LPPROGRESS_ROUTINE lpProgressRoutine,
                        LPVOID lpData, LPBOOL pbCancel, DWORD dwCopyFlags) {
    Guard g(MachineLock());
    if (Fail("CopyFileExA", lpExistingFileName))
        return FALSE;
    return CopyFile(lpExistingFileName, lpNewFileName, lpProgressRoutine, lpData, pbCancel, dwCopyFlags);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    Guard g(MachineLock());
    if (Fail("CopyFileA", lpExistingFileName))
        return FALSE;
    return CopyFile(lpExistingFileName, lpNewFileName, nullptr, nullptr, nullptr,
                    bFailIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
}

static BOOL MoveFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    Path sp;
    if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        // Windows only records the request (admin rights needed); it does not look at the file.
        if (S().rebootDenied)
            return FailWith(ERROR_ACCESS_DENIED);
        if (DWORD e = Parse(lpExistingFileName, sp))
            return FailWith(e);
        if (sp.unc)
            return FailWith(ERROR_PATH_NOT_FOUND);
        if (S().rebootChecksSource) {
            Loc loc = Locate(sp);
            if (loc.error)
                return FailWith(loc.error);
            if (!loc.node)
                return FailWith(ERROR_FILE_NOT_FOUND);
        }
        std::string to;
        if (lpNewFileName) {
            to = FullPath(lpNewFileName);
            if (to.empty())
                return FailWith(ERROR_INVALID_NAME);
        }
        S().pending.push_back(fs::PendingRename{sp.Full(), to});
        return TRUE;
    }
    if (!lpNewFileName)
        return FailWith(ERROR_INVALID_PARAMETER);
    Path dp;
    Loc sloc;
    if (DWORD e = ResolveExisting(lpExistingFileName, sp, sloc))
        return FailWith(e);
    if (!sloc.node->parent || sloc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    if (DeleteBlocked(*sloc.node))
        return FailWith(ERROR_SHARING_VIOLATION);
    Loc dloc;
    if (DWORD e = Resolve(lpNewFileName, dp, dloc))
        return FailWith(e);
    if (dp.parts.empty())
        return FailWith(ERROR_ACCESS_DENIED);
    std::shared_ptr<Node> src = sloc.node;
    if (dloc.node && dloc.node != src) {
        if (!(dwFlags & MOVEFILE_REPLACE_EXISTING))
            return FailWith(ERROR_ALREADY_EXISTS);
        if (dloc.node->dir || src->dir || dloc.node->denied || (dloc.node->attrs & FILE_ATTRIBUTE_READONLY))
            return FailWith(ERROR_ACCESS_DENIED);
        if (DeleteBlocked(*dloc.node))
            return FailWith(ERROR_SHARING_VIOLATION);
    }
    if (sp.drive != dp.drive) {
        if (src->dir || !(dwFlags & MOVEFILE_COPY_ALLOWED))
            return FailWith(ERROR_NOT_SAME_DEVICE);
        if (dloc.node)
            Detach(*dloc.node);
        dloc.node = nullptr;
        if (!CopyNode(*src, dp, dloc, 0, nullptr, nullptr, nullptr))
            return FALSE;
        Detach(*src);
        return TRUE;
    }
    if (IsUnder(dloc.parent, src.get()))
        return FailWith(ERROR_SHARING_VIOLATION);
    if (dloc.node && dloc.node != src)
        Detach(*dloc.node);
    Detach(*src);
    src->name = dp.parts.back();
    Attach(*dloc.parent, src);
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    Guard g(MachineLock());
    if (Fail("MoveFileExA", lpExistingFileName))
        return FALSE;
    return MoveFile(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    Guard g(MachineLock());
    if (Fail("MoveFileA", lpExistingFileName))
        return FALSE;
    return MoveFile(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    Guard g(MachineLock());
    if (Fail("FindFirstFileA", lpFileName))
        return INVALID_HANDLE_VALUE;
    auto fail = [](DWORD e) {
        SetError(e);
        return INVALID_HANDLE_VALUE;
    };
    Path p;
    Loc loc;
    if (DWORD e = Resolve(lpFileName, p, loc, true))
        return fail(e);
    if (p.parts.empty() || p.trailingSep)
        return fail(ERROR_FILE_NOT_FOUND);
    const std::string& pattern = p.parts.back();
    auto search = std::make_shared<Search>();
    if (HasWildcards(pattern)) {
        Node& dir = *loc.parent;
        if (dir.parent) {
            if (WildMatch(pattern, "."))
                search->entries.push_back(FindData(dir, "."));
            if (WildMatch(pattern, ".."))
                search->entries.push_back(FindData(*dir.parent, ".."));
        }
        for (const auto& [key, child] : dir.children)
            if (WildMatch(pattern, child->name) ||
                (!child->shortName.empty() && WildMatch(pattern, child->shortName)))
                search->entries.push_back(FindData(*child, child->name));
    } else if (loc.node) {
        search->entries.push_back(FindData(*loc.node, loc.node->name));
    }
    if (search->entries.empty())
        return fail(ERROR_FILE_NOT_FOUND);
    if (lpFindFileData)
        *lpFindFileData = search->entries[0];
    search->next = 1;
    SetError(ERROR_SUCCESS);
    return AddHandle(search);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    Guard g(MachineLock());
    if (Fail("FindNextFileA"))
        return FALSE;
    auto s = Lookup<Search>(hFindFile);
    if (!s)
        return FailWith(ERROR_INVALID_HANDLE);
    if (s->next >= s->entries.size())
        return FailWith(ERROR_NO_MORE_FILES);
    if (lpFindFileData)
        *lpFindFileData = s->entries[s->next];
    ++s->next;
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    Guard g(MachineLock());
    if (!Lookup<Search>(hFindFile))
        return FailWith(ERROR_INVALID_HANDLE);
    RemoveHandle(hFindFile);
    return TRUE;
}

// A drive root given as "X:\", "X:" or "X:/"; 0 when the text is not a root.
static char RootLetter(LPCSTR root) {
    if (!root)
        return S().cwd[0];
    std::string r(root);
    if (r.size() < 2 || r.size() > 3 || r[1] != ':' || (r.size() == 3 && r[2] != '\\' && r[2] != '/'))
        return 0;
    const char letter = Upper(r[0]);
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
    Guard g(MachineLock());
    if (Fail("GetDriveTypeA", lpRootPathName))
        return DRIVE_UNKNOWN;
    const char letter = RootLetter(lpRootPathName);
    const Drive* d = DriveNamed(letter);
    return d ? d->type : DRIVE_NO_ROOT_DIR;
}

BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer,
                                  DWORD nFileSystemNameSize) {
    Guard g(MachineLock());
    if (Fail("GetVolumeInformationA", lpRootPathName))
        return FALSE;
    if (lpRootPathName) {
        const size_t len = std::strlen(lpRootPathName);
        if (len == 0 || (lpRootPathName[len - 1] != '\\' && lpRootPathName[len - 1] != '/'))
            return FailWith(ERROR_INVALID_NAME);
        if (!RootLetter(lpRootPathName))
            return FailWith(ERROR_DIR_NOT_ROOT);
    }
    const Drive* found = DriveNamed(RootLetter(lpRootPathName));
    if (!found)
        return FailWith(ERROR_PATH_NOT_FOUND);
    const Drive& d = *found;
    if (!d.media)
        return FailWith(ERROR_NOT_READY);
    const std::string fsName = d.type == DRIVE_CDROM ? "CDFS" : d.type == DRIVE_REMOVABLE ? "FAT32" : "NTFS";
    if (lpVolumeNameBuffer && !CopyOut(d.label, lpVolumeNameBuffer, nVolumeNameSize))
        return FailWith(ERROR_BAD_LENGTH);
    if (lpFileSystemNameBuffer && !CopyOut(fsName, lpFileSystemNameBuffer, nFileSystemNameSize))
        return FailWith(ERROR_BAD_LENGTH);
    if (lpVolumeSerialNumber)
        *lpVolumeSerialNumber = d.serial;
    if (lpMaximumComponentLength)
        *lpMaximumComponentLength = 255;
    if (lpFileSystemFlags)
        *lpFileSystemFlags = fsName == "NTFS" ? 0x03E706FFu : 0x00000006u;
    return TRUE;
}

DWORD WINAPI GetLogicalDriveStringsA(DWORD nBufferLength, LPSTR lpBuffer) {
    Guard g(MachineLock());
    if (Fail("GetLogicalDriveStringsA"))
        return 0;
    std::string all;
    for (const auto& [letter, d] : S().drives)
        all += std::string(1, letter) + ":\\" + std::string(1, '\0');
    if (S().driveStringsLength)
        return S().driveStringsLength;
    if (!lpBuffer || nBufferLength < all.size() + 1)
        return static_cast<DWORD>(all.size() + 1);
    std::memcpy(lpBuffer, all.data(), all.size());
    lpBuffer[all.size()] = '\0';
    return static_cast<DWORD>(all.size());
}

DWORD WINAPI GetLogicalDrives(void) {
    Guard g(MachineLock());
    DWORD mask = 0;
    for (const auto& [letter, d] : S().drives)
        mask |= 1u << (letter - 'A');
    return mask;
}

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, ULONGLONG* lpFreeBytesAvailableToCaller,
                                ULONGLONG* lpTotalNumberOfBytes, ULONGLONG* lpTotalNumberOfFreeBytes) {
    Guard g(MachineLock());
    if (Fail("GetDiskFreeSpaceExA", lpDirectoryName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = Resolve(lpDirectoryName ? lpDirectoryName : "\\", p, loc))
        return FailWith(e);
    if (!loc.node || !loc.node->dir)
        return FailWith(ERROR_DIRECTORY);
    const uint64_t used = UsedBytes(*loc.drive->root);
    const uint64_t free = loc.drive->capacity > used ? loc.drive->capacity - used : 0;
    if (lpFreeBytesAvailableToCaller)
        *lpFreeBytesAvailableToCaller = free;
    if (lpTotalNumberOfFreeBytes)
        *lpTotalNumberOfFreeBytes = free;
    if (lpTotalNumberOfBytes)
        *lpTotalNumberOfBytes = loc.drive->capacity;
    return TRUE;
}

// The usual "A" buffer protocol: the length without terminator when it fits, otherwise the
// size needed including the terminator.
static DWORD Answer(const std::string& text, LPSTR buffer, DWORD size) {
    if (!CopyOut(text, buffer, size))
        return static_cast<DWORD>(text.size() + 1);
    return static_cast<DWORD>(text.size());
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    Guard g(MachineLock());
    if (Fail("GetTempPathA"))
        return 0;
    std::string dir;
    for (const char* name : {"TMP", "TEMP", "USERPROFILE"}) {
        if (auto v = Env(name); v && !v->empty()) {
            dir = *v;
            break;
        }
    }
    if (dir.empty())
        dir = "C:\\Windows";
    std::string full = FullPath(dir.c_str());
    if (full.empty())
        full = dir;
    if (full.back() != '\\')
        full += '\\';
    return Answer(full, lpBuffer, nBufferLength);
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    Guard g(MachineLock());
    if (Fail("GetFullPathNameA", lpFileName))
        return 0;
    Path p;
    if (DWORD e = Parse(lpFileName, p, true)) {
        SetError(e);
        return 0;
    }
    if (p.unc) {
        std::string s(lpFileName);
        std::replace(s.begin(), s.end(), '/', '\\');
        return Answer(s, lpBuffer, nBufferLength);
    }
    std::string full = p.Full();
    if (p.trailingSep && !p.parts.empty())
        full += '\\';
    const DWORD r = Answer(full, lpBuffer, nBufferLength);
    if (lpFilePart && r < nBufferLength) {
        const size_t slash = full.rfind('\\');
        *lpFilePart = slash + 1 < full.size() ? lpBuffer + slash + 1 : nullptr;
    }
    return r;
}

DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
    Guard g(MachineLock());
    if (Fail("GetShortPathNameA", lpszLongPath))
        return 0;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpszLongPath, p, loc)) {
        SetError(e);
        return 0;
    }
    std::string out = std::string(1, p.drive) + ":";
    std::shared_ptr<Node> cur = loc.drive->root;
    for (const auto& part : p.parts) {
        cur = Child(*cur, part);
        out += "\\" + (cur->shortName.empty() ? part : cur->shortName);
    }
    if (p.parts.empty() || p.trailingSep)
        out += "\\";
    return Answer(out, lpszShortPath, cchBuffer);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Fail("GetWindowsDirectoryA"))
        return 0;
    return Answer("C:\\Windows", lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Fail("GetSystemDirectoryA"))
        return 0;
    return Answer("C:\\Windows\\system32", lpBuffer, uSize);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    Guard g(MachineLock());
    return Answer(S().cwd, lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    Guard g(MachineLock());
    if (Fail("SetCurrentDirectoryA", lpPathName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpPathName, p, loc))
        return FailWith(e);
    if (!loc.node->dir)
        return FailWith(ERROR_DIRECTORY);
    if (loc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    S().cwd = p.Full();
    return TRUE;
}
