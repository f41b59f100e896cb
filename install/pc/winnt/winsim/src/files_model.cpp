// Simulated file system, the model: drives, the folder tree, paths, sharing, wildcards, and the
// internal interface the CRT layer and the module loader use.
#include "files_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace winsim::detail::fsys {
namespace {
State MakeInitial();
} // namespace

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

namespace {

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

} // namespace

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

bool HasWildcards(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

DWORD Parse(const char* in, Path& out, bool wildcardsInLast) {
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
DWORD Resolve(const char* path, Path& p, Loc& loc, bool wildcardsInLast) {
    if (DWORD e = Parse(path, p, wildcardsInLast))
        return e;
    loc = Locate(p);
    return loc.error;
}

DWORD ResolveExisting(const char* path, Path& p, Loc& loc) {
    if (DWORD e = Resolve(path, p, loc))
        return e;
    return loc.node ? 0 : ERROR_FILE_NOT_FOUND;
}

namespace {

Drive* DriveOf(const Node* n) {
    while (n->parent)
        n = n->parent;
    for (auto& [letter, d] : S().drives)
        if (d.root.get() == n)
            return &d;
    return nullptr;
}

} // namespace

uint64_t UsedBytes(const Node& n) {
    uint64_t used = n.data.size();
    for (const auto& [k, c] : n.children)
        used += UsedBytes(*c);
    return used;
}

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
namespace {

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

} // namespace

bool WildMatch(const std::string& pattern, const std::string& name) {
    const std::string p = DosPattern(pattern);
    const size_t dot = name.rfind('.');
    return MatchAt(p, 0, name, 0, dot == std::string::npos ? std::string::npos : dot);
}

// ---- find handles -----------------------------------------------------------------------------

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

namespace {

State MakeInitial() {
    State s;
    s.drives['C'] = MakeDrive('C', DRIVE_FIXED, "");
    return s;
}

void Populate() {
    for (const char* dir :
         {"C:\\Windows\\System32", "C:\\Program Files", "C:\\Temp", "C:\\Users\\Public\\Desktop",
          "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"}) {
        Path p;
        Parse(dir, p);
        MakeDirsOf(p, p.parts.size());
    }
    // The system's programs the library starts by name (their behaviours: winsim/sim_proc.h).
    auto system32 = Find("C:\\Windows\\System32");
    for (const char* program : {"cmd.exe", "reg.exe", "notepad.exe"}) {
        auto file = NewNode(program, false);
        file->data = "MZ";
        Attach(*system32, file);
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
