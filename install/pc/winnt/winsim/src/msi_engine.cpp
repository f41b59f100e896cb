// The engine's own registry and removal steps as Windows carries them out: WriteRegistryValues,
// RemoveRegistryValues and RemoveFiles over the package's rows and the session's temporary ones. The steps
// act at once (no script, no rollback) and never through the simulated API, so no fault or hook of a test
// touches them.
#include "files_model.h"
#include "msi_internal.h"

#include "winsim/sim_reg.h"

#include <cctype>
#include <cstdlib>
#include <string>

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
// pruneEmpty: a key the removal of a value leaves empty goes, and so do the parents it leaves
// empty in turn (a component's uninstall leaves no empty keys of its values).
void RemoveKeyOrValue(const Field& rootField, const Field& keyField, const Field& nameField, bool wholeKey,
                      bool pruneEmpty = false) {
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
    for (std::string k = key; pruneEmpty && winsim::reg::KeyExists(root, k);) {
        if (!winsim::reg::Values(root, k).empty() || !winsim::reg::SubKeys(root, k).empty())
            break;
        winsim::reg::DeleteTree(root, k);
        const size_t slash = k.rfind('\\');
        if (slash == std::string::npos)
            break;
        k.resize(slash);
    }
}

// Registry.Value as the engine writes it, formatted: "#" and a number a REG_DWORD, "#%"
// REG_EXPAND_SZ, "#x" REG_BINARY, "##" a REG_SZ starting with "#", strings separated by "[~]"
// REG_MULTI_SZ, else REG_SZ.
winsim::reg::Value RegistryValue(const std::string& raw) {
    if (raw.find("[~]") != std::string::npos) {
        std::string data;
        for (size_t from = 0;;) {
            const size_t at = raw.find("[~]", from);
            const std::string part = Formatted(raw.substr(from, at == std::string::npos ? at : at - from));
            // Empty strings at either end only mark where the new strings go.
            if (!part.empty())
                data += part + '\0';
            if (at == std::string::npos)
                break;
            from = at + 3;
        }
        return {REG_MULTI_SZ, data + '\0'};
    }
    const std::string formatted = Formatted(raw);
    winsim::reg::Value v{REG_SZ, formatted};
    if (formatted.rfind("##", 0) == 0) {
        v.data = formatted.substr(1);
    } else if (formatted.rfind("#%", 0) == 0) {
        v = {REG_EXPAND_SZ, formatted.substr(2)};
    } else if (formatted.rfind("#x", 0) == 0 || formatted.rfind("#X", 0) == 0) {
        v = {REG_BINARY, ""};
        // Hex pairs up to the first that is not one (a scenario's typo must not end the run).
        for (size_t i = 2;
             i + 1 < formatted.size() && std::isxdigit(static_cast<unsigned char>(formatted[i])) &&
             std::isxdigit(static_cast<unsigned char>(formatted[i + 1]));
             i += 2)
            v.data += static_cast<char>(std::strtoul(formatted.substr(i, 2).c_str(), nullptr, 16));
        return v;
    } else if (formatted.rfind("#", 0) == 0) {
        const auto n = static_cast<DWORD>(std::strtol(formatted.c_str() + 1, nullptr, 10));
        return {REG_DWORD, std::string(reinterpret_cast<const char*>(&n), sizeof n)};
    }
    v.data.push_back('\0');
    return v;
}

} // namespace

namespace winsim::msi::impl {

// Registry rows of components being installed: "+" and "*" without a value create the key, "-"
// acts only on removal; a row without a name writes the key's default value.
UINT RunWriteRegistryValues() {
    const Table* t = FindTable("Registry");
    if (!t)
        return ERROR_SUCCESS;
    ColumnIndex c{*t};
    for (const StoredRow& row : t->rows) {
        std::optional<int> action = ActionState(FieldText(At(row, c["Component_"])));
        HKEY root = RootKey(At(row, c["Root"]));
        const Field& keyField = At(row, c["Key"]);
        if (!action || !Installing(*action) || !root || keyField.kind != Field::Str)
            continue;
        const std::string key = Formatted(keyField.s);
        const Field& name = At(row, c["Name"]);
        const Field& value = At(row, c["Value"]);
        const std::string n = name.kind == Field::Str ? Formatted(name.s) : "";
        if (key.empty() || (value.kind == Field::Null && n == "-"))
            continue;
        if (value.kind == Field::Null && (n == "+" || n == "*")) {
            winsim::reg::CreateKey(root, key);
            continue;
        }
        winsim::reg::SetValue(root, key, n, RegistryValue(value.kind == Field::Str ? value.s : ""));
    }
    return ERROR_SUCCESS;
}

// RemoveRegistry rows act when their component is installed ("-" removes the key with all it
// holds, other names a value); Registry rows when it is removed ("-" and "*" without a value the
// whole key, "+" nothing, other names the value the row wrote, and the keys that leaves empty).
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
            RemoveKeyOrValue(At(row, c["Root"]), At(row, c["Key"]), name, noValue && (n == "-" || n == "*"),
                             true);
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

void RunWriteRegistryValues() {
    winsim::detail::Guard g(winsim::detail::MachineLock());
    impl::RunWriteRegistryValues();
}

void RunRemovalSteps() {
    winsim::detail::Guard g(winsim::detail::MachineLock());
    impl::RunRemoveRegistryValues();
    impl::RunRemoveFiles();
}

} // namespace winsim::msi
