// Simulated file system, the fixture API: what tests and the runner use to set it up and read it.
#include "files_model.h"

#include <stdexcept>

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
