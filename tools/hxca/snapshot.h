// The machine's state as the runner compares it: before the first action and after the last.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hxca {

// Windows names: compared ignoring case.
struct ILess {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct RegValue {
    uint32_t type = 0;
    std::string data;
    bool operator==(const RegValue&) const = default;
};

struct RowText {
    std::vector<std::string> fields;
    bool temporary = false;
    std::string Joined() const; // "a | 2 | c"
};

struct Snapshot {
    std::map<std::string, std::string> properties; // property names are case-sensitive
    std::map<std::string, std::vector<RowText>> rows;
    // Physical key path ("HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\X") -> values in creation order.
    std::map<std::string, std::vector<std::pair<std::string, RegValue>>, ILess> registry;
    // Full path -> content; nullopt for a folder. Folders carry no trailing backslash.
    std::map<std::string, std::optional<std::string>, ILess> files;
};

struct Change {
    enum class Kind { Added, Changed, Removed } kind = Kind::Added;
    // "property", "row", "key", "value", "folder", "file"
    std::string category;
    std::string name; // property, "Table", key path, "key path" + "\" + "[value]", file path
    std::string before;
    std::string after;
    bool temporary = false; // rows only
};

std::vector<Change> Diff(const Snapshot& before, const Snapshot& after);

// A value as a .reg file shows it after "name"=: "text" for REG_SZ, dword:0000002a, hex(2):...
std::string FormatRegValue(const RegValue& value);
// The value as an expectation compares it: the text of REG_SZ and REG_EXPAND_SZ without its
// terminator, REG_MULTI_SZ strings joined by newlines, dword:xxxxxxxx, else the .reg hex form.
std::string PlainRegValue(const RegValue& value);
std::string RegTypeName(uint32_t type);

} // namespace hxca
