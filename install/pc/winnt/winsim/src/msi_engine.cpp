// The engine's own removal steps as Windows carries them out: RemoveRegistryValues and RemoveFiles
// over the package's rows and the session's temporary ones. The steps act at once (no script, no
// rollback) and never through the simulated API, so no fault or hook of a test touches them.
#include "files_model.h"
#include "msi_internal.h"

#include "winsim/sim_reg.h"

namespace {

using namespace winsim::msi::impl;
using winsim::msi::Field;
namespace fsys = winsim::detail::fsys;

// Column positions by name, so that a table imported with its columns in another order works.
struct ColumnIndex {
    const Table& t;
    std::optional<size_t> operator[](const char* name) const {
        for (size_t i = 0; i < t.columns.size(); ++i)
            if (t.columns[i].name == name)
                return i;
        return std::nullopt;
    }
};

const Field& At(const StoredRow& row, std::optional<size_t> column) {
    static const Field null;
    return column && *column < row.fields.size() ? row.fields[*column] : null;
}

std::optional<int> ActionState(const std::string& component) {
    for (const auto& [name, states] : S().components)
        if (name == component)
            return states.second;
    return std::nullopt;
}

bool Installing(int action) {
    return action == INSTALLSTATE_LOCAL || action == INSTALLSTATE_SOURCE;
}

// RemoveFile.InstallMode: 1 when the component is installed, 2 when it is removed, 3 both.
bool ModeApplies(int installMode, const std::string& component) {
    std::optional<int> action = ActionState(component);
    if (!action)
        return false;
    if (Installing(*action))
        return (installMode & 1) != 0;
    if (*action == INSTALLSTATE_ABSENT)
        return (installMode & 2) != 0;
    return false;
}

std::string Formatted(const std::string& text) {
    Record rec(0);
    rec.fields[0] = Field::str(text);
    return FormatRecord(rec, true);
}

// The folder a path names, when it can be reached; null otherwise.
std::shared_ptr<fsys::Node> Folder(const std::string& path) {
    fsys::Path p;
    if (fsys::Parse(path.c_str(), p) != 0 || p.unc)
        return nullptr;
    fsys::Loc loc = fsys::Locate(p);
    if (loc.error || !loc.node || !loc.node->dir || loc.node->denied)
        return nullptr;
    return loc.node;
}

bool Removable(const fsys::Node& n) {
    return !n.denied && !fsys::DeleteBlocked(n) && !fsys::IsCurrentFolder(&n);
}

// Files (never folders) of the folder whose long or short name matches; * and ? as DOS has them.
void RemoveMatchingFiles(const std::string& folder, const std::string& pattern) {
    std::shared_ptr<fsys::Node> dir = Folder(folder);
    if (!dir)
        return;
    std::vector<std::shared_ptr<fsys::Node>> doomed;
    for (const auto& [name, child] : dir->children) {
        if (child->dir)
            continue;
        if (fsys::WildMatch(pattern, child->name) ||
            (!child->shortName.empty() && fsys::WildMatch(pattern, child->shortName)))
            doomed.push_back(child);
    }
    // The engine removes read-only files too; a file held open stays (Windows would ask for a
    // restart).
    for (const auto& file : doomed)
        if (Removable(*file))
            fsys::Detach(*file);
}

void RemoveFolderIfEmpty(const std::string& folder) {
    std::shared_ptr<fsys::Node> dir = Folder(folder);
    if (dir && dir->parent && dir->children.empty() && Removable(*dir))
        fsys::Detach(*dir);
}

// Registry.Root and RemoveRegistry.Root; -1 is the machine's hive for a per-machine installation.
HKEY RootKey(const Field& root) {
    if (root.kind != Field::Int)
        return nullptr;
    switch (root.i) {
    case -1: {
        auto all = S().properties.find("ALLUSERS");
        return all != S().properties.end() && all->second == "1" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    }
    case 0:
        return HKEY_CLASSES_ROOT;
    case 1:
        return HKEY_CURRENT_USER;
    case 2:
        return HKEY_LOCAL_MACHINE;
    case 3:
        return HKEY_USERS;
    default:
        return nullptr;
    }
}

// A key below SOFTWARE\Wow6432Node is the 32-bit view's key of that name, which the simulated
// registry keeps at that very place: the native view reaches it.
void RemoveKeyOrValue(const Field& rootField, const Field& keyField, const Field& nameField, bool wholeKey) {
    HKEY root = RootKey(rootField);
    if (!root || keyField.kind != Field::Str)
        return;
    const std::string key = Formatted(keyField.s);
    if (key.empty())
        return;
    if (wholeKey) {
        winsim::reg::DeleteTree(root, key);
        return;
    }
    const std::string name = nameField.kind == Field::Str ? Formatted(nameField.s) : "";
    winsim::reg::RemoveValue(root, key, name);
}

} // namespace

namespace winsim::msi::impl {

// RemoveRegistry rows act when their component is installed ("-" removes the key with all it
// holds, other names a value); Registry rows when it is removed ("-" and "*" without a value the
// whole key, "+" nothing, other names the value the row wrote).
UINT RunRemoveRegistryValues() {
    if (const Table* t = FindTable("RemoveRegistry")) {
        ColumnIndex c{*t};
        for (const StoredRow& row : t->rows) {
            const Field& component = At(row, c["Component_"]);
            std::optional<int> action = ActionState(FieldText(component));
            if (!action || !Installing(*action))
                continue;
            const Field& name = At(row, c["Name"]);
            RemoveKeyOrValue(At(row, c["Root"]), At(row, c["Key"]), name,
                             name.kind == Field::Str && name.s == "-");
        }
    }
    if (const Table* t = FindTable("Registry")) {
        ColumnIndex c{*t};
        for (const StoredRow& row : t->rows) {
            std::optional<int> action = ActionState(FieldText(At(row, c["Component_"])));
            if (!action || *action != INSTALLSTATE_ABSENT)
                continue;
            const Field& name = At(row, c["Name"]);
            const bool noValue = At(row, c["Value"]).kind == Field::Null;
            const std::string n = name.kind == Field::Str ? name.s : "";
            if (noValue && n == "+")
                continue;
            RemoveKeyOrValue(At(row, c["Root"]), At(row, c["Key"]), name, noValue && (n == "-" || n == "*"));
        }
    }
    return ERROR_SUCCESS;
}

// Rows in row order: a file row removes the files its name matches, a folder row (no FileName)
// its folder when it is empty at that moment, as Wine's engine does; a folder stacked before its
// files or its subfolders stays. DirProperty is read now, as the engine resolves it when the step
// runs; a FileName "short|long" uses its long name.
UINT RunRemoveFiles() {
    const Table* t = FindTable("RemoveFile");
    if (!t)
        return ERROR_SUCCESS;
    ColumnIndex c{*t};
    for (const StoredRow& row : t->rows) {
        const Field& mode = At(row, c["InstallMode"]);
        if (mode.kind != Field::Int || !ModeApplies(mode.i, FieldText(At(row, c["Component_"]))))
            continue;
        auto dir = S().properties.find(FieldText(At(row, c["DirProperty"])));
        if (dir == S().properties.end() || dir->second.empty())
            continue;
        const Field& name = At(row, c["FileName"]);
        if (name.kind != Field::Str) {
            RemoveFolderIfEmpty(dir->second);
            continue;
        }
        const size_t bar = name.s.find('|');
        RemoveMatchingFiles(dir->second, bar == std::string::npos ? name.s : name.s.substr(bar + 1));
    }
    return ERROR_SUCCESS;
}

} // namespace winsim::msi::impl

namespace winsim::msi {

void RunRemovalSteps() {
    winsim::detail::Guard g(winsim::detail::MachineLock());
    impl::RunRemoveRegistryValues();
    impl::RunRemoveFiles();
}

} // namespace winsim::msi
