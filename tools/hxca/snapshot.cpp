#include "snapshot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace hxca {

bool ILess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

std::string RowText::Joined() const {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i)
        out += (i ? " | " : "") + fields[i];
    return out;
}

namespace {

using Kind = Change::Kind;

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
        out += (i ? "," : "") + std::string(buf);
    }
    return out;
}

// Text of a REG_SZ-like value: up to its first terminator.
std::string Text(const std::string& data) {
    return data.substr(0, data.find('\0'));
}

uint32_t Dword(const std::string& data) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < data.size(); ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    return v;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

void DiffProperties(const Snapshot& a, const Snapshot& b, std::vector<Change>& out) {
    for (const auto& [name, value] : b.properties) {
        auto it = a.properties.find(name);
        if (it == a.properties.end())
            out.push_back({Kind::Added, "property", name, "", value});
        else if (it->second != value)
            out.push_back({Kind::Changed, "property", name, it->second, value});
    }
    for (const auto& [name, value] : a.properties) {
        if (!b.properties.count(name))
            out.push_back({Kind::Removed, "property", name, value, ""});
    }
}

void DiffRows(const Snapshot& a, const Snapshot& b, std::vector<Change>& out) {
    std::map<std::string, int> tables;
    for (const auto& [t, rows] : a.rows)
        tables[t] |= 1;
    for (const auto& [t, rows] : b.rows)
        tables[t] |= 2;
    for (const auto& [table, where] : tables) {
        static const std::vector<RowText> none;
        const auto& before = where & 1 ? a.rows.at(table) : none;
        const auto& after = where & 2 ? b.rows.at(table) : none;
        // Multiset difference keeps table order and copes with duplicate rows.
        std::vector<bool> matched(before.size(), false);
        for (const auto& row : after) {
            bool found = false;
            for (size_t i = 0; i < before.size() && !found; ++i) {
                if (!matched[i] && before[i].fields == row.fields && before[i].temporary == row.temporary)
                    matched[i] = found = true;
            }
            if (!found)
                out.push_back({Kind::Added, "row", table, "", row.Joined(), row.temporary});
        }
        for (size_t i = 0; i < before.size(); ++i) {
            if (!matched[i])
                out.push_back({Kind::Removed, "row", table, before[i].Joined(), "", before[i].temporary});
        }
    }
}

std::string ValueName(const std::string& key, const std::string& name) {
    return key + "\\[" + (name.empty() ? "@" : name) + "]";
}

void DiffRegistry(const Snapshot& a, const Snapshot& b, std::vector<Change>& out) {
    for (const auto& [key, values] : b.registry) {
        auto it = a.registry.find(key);
        if (it == a.registry.end()) {
            out.push_back({Kind::Added, "key", key, "", ""});
            for (const auto& [name, v] : values)
                out.push_back({Kind::Added, "value", ValueName(key, name), "", FormatRegValue(v)});
            continue;
        }
        for (const auto& [name, v] : values) {
            auto old = std::find_if(it->second.begin(), it->second.end(), [&](const auto& p) {
                return !ILess()(p.first, name) && !ILess()(name, p.first);
            });
            if (old == it->second.end())
                out.push_back({Kind::Added, "value", ValueName(key, name), "", FormatRegValue(v)});
            else if (!(old->second == v))
                out.push_back({Kind::Changed, "value", ValueName(key, name), FormatRegValue(old->second),
                               FormatRegValue(v)});
        }
        for (const auto& [name, v] : it->second) {
            bool kept = std::any_of(values.begin(), values.end(), [&](const auto& p) {
                return !ILess()(p.first, name) && !ILess()(name, p.first);
            });
            if (!kept)
                out.push_back({Kind::Removed, "value", ValueName(key, name), FormatRegValue(v), ""});
        }
    }
    for (const auto& [key, values] : a.registry) {
        if (!b.registry.count(key)) {
            out.push_back({Kind::Removed, "key", key, "", ""});
            for (const auto& [name, v] : values)
                out.push_back({Kind::Removed, "value", ValueName(key, name), FormatRegValue(v), ""});
        }
    }
}

void DiffFiles(const Snapshot& a, const Snapshot& b, std::vector<Change>& out) {
    for (const auto& [path, content] : b.files) {
        auto it = a.files.find(path);
        const char* cat = content ? "file" : "folder";
        if (it == a.files.end()) {
            out.push_back({Kind::Added, cat, path, "", content.value_or("")});
        } else if (it->second.has_value() != content.has_value()) {
            // A file replaced by a folder or the other way round.
            out.push_back({Kind::Removed, it->second ? "file" : "folder", path, it->second.value_or(""), ""});
            out.push_back({Kind::Added, cat, path, "", content.value_or("")});
        } else if (content && *it->second != *content) {
            out.push_back({Kind::Changed, cat, path, *it->second, *content});
        }
    }
    for (const auto& [path, content] : a.files) {
        if (!b.files.count(path))
            out.push_back({Kind::Removed, content ? "file" : "folder", path, content.value_or(""), ""});
    }
}

} // namespace

std::vector<Change> Diff(const Snapshot& before, const Snapshot& after) {
    std::vector<Change> out;
    DiffProperties(before, after, out);
    DiffRows(before, after, out);
    DiffRegistry(before, after, out);
    DiffFiles(before, after, out);
    return out;
}

std::string RegTypeName(uint32_t type) {
    static const char* names[] = {"REG_NONE",
                                  "REG_SZ",
                                  "REG_EXPAND_SZ",
                                  "REG_BINARY",
                                  "REG_DWORD",
                                  "REG_DWORD_BIG_ENDIAN",
                                  "REG_LINK",
                                  "REG_MULTI_SZ",
                                  "REG_RESOURCE_LIST",
                                  "REG_FULL_RESOURCE_DESCRIPTOR",
                                  "REG_RESOURCE_REQUIREMENTS_LIST",
                                  "REG_QWORD"};
    if (type < sizeof names / sizeof names[0])
        return names[type];
    return "REG_" + std::to_string(type);
}

std::string FormatRegValue(const RegValue& value) {
    char buf[32];
    switch (value.type) {
    case 1:
        // Only a string that round-trips (a single terminator or none) shows as text.
        if (value.data.find('\0') == std::string::npos || value.data.find('\0') == value.data.size() - 1)
            return Quoted(Text(value.data));
        break;
    case 4:
        if (value.data.size() == 4) {
            std::snprintf(buf, sizeof buf, "dword:%08x", Dword(value.data));
            return buf;
        }
        break;
    case 3:
        return "hex:" + Hex(value.data);
    default:
        break;
    }
    std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
    return buf + Hex(value.data);
}

std::string PlainRegValue(const RegValue& value) {
    char buf[32];
    switch (value.type) {
    case 1:
    case 2:
        return Text(value.data);
    case 4:
        std::snprintf(buf, sizeof buf, "dword:%08x", Dword(value.data));
        return buf;
    case 7: {
        std::string out;
        size_t pos = 0;
        while (pos < value.data.size() && value.data[pos] != '\0') {
            size_t end = value.data.find('\0', pos);
            if (end == std::string::npos)
                end = value.data.size();
            out += (out.empty() ? "" : "\n") + value.data.substr(pos, end - pos);
            pos = end + 1;
        }
        return out;
    }
    default:
        return FormatRegValue(value);
    }
}

} // namespace hxca
