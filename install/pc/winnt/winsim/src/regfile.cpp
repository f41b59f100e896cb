// .reg text: export of a key's subtree and import of "Windows Registry Editor Version 5.00" and
// "REGEDIT4" files, as regedit reads and writes them.
#include "internal.h"

#include "winsim/advapi32.h"
#include "winsim/sim_reg.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace winsim::reg {
namespace {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";

struct RootName {
    const char* longName;
    const char* shortName;
    HKEY key;
};

const RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},   {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},     {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
};

const char* RootLongName(HKEY root) {
    for (const auto& r : kRoots)
        if (r.key == root)
            return r.longName;
    return nullptr;
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// Text types are UTF-16LE in version 5.00 files; the simulated registry holds the narrow bytes.
std::string Widen(const std::string& narrow) {
    std::string out;
    for (char c : narrow) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string Narrow(const std::string& wide) {
    std::string out;
    for (size_t i = 0; i + 1 < wide.size(); i += 2) {
        const unsigned lo = static_cast<unsigned char>(wide[i]);
        const unsigned hi = static_cast<unsigned char>(wide[i + 1]);
        out += hi == 0 ? static_cast<char>(lo) : '?';
    }
    if (wide.size() % 2)
        out += wide.back();
    return out;
}

bool IsTextType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// regedit's layout: "hex(N):" then bytes, wrapped with ",\" after about 76 columns.
std::string HexValue(const std::string& prefix, DWORD type, const std::string& bytes) {
    std::string line = prefix;
    if (type == REG_BINARY) {
        line += "hex:";
    } else {
        char tag[16];
        std::snprintf(tag, sizeof(tag), "hex(%x):", static_cast<unsigned>(type));
        line += tag;
    }
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof(hex), "%02x", static_cast<unsigned char>(bytes[i]));
        line += hex;
        if (i + 1 < bytes.size()) {
            line += ',';
            if (line.size() >= 77) {
                out += line + "\\\r\n";
                line = "  ";
            }
        }
    }
    return out + line + "\r\n";
}

std::string ValueLine(const std::string& name, const Value& v) {
    const std::string prefix = (name.empty() ? std::string("@") : Quote(name)) + "=";
    if (v.type == REG_SZ && !v.data.empty() && v.data.back() == '\0' &&
        v.data.find('\0') == v.data.size() - 1)
        return prefix + Quote(v.data.substr(0, v.data.size() - 1)) + "\r\n";
    if (v.type == REG_DWORD && v.data.size() == 4) {
        DWORD d;
        std::memcpy(&d, v.data.data(), 4);
        char buf[32];
        std::snprintf(buf, sizeof(buf), "dword:%08x", static_cast<unsigned>(d));
        return prefix + buf + "\r\n";
    }
    return HexValue(prefix, v.type, IsTextType(v.type) ? Widen(v.data) : v.data);
}

void ExportKey(HKEY root, const std::string& rootName, const std::string& key, std::string& out) {
    out += "[" + rootName + (key.empty() ? "" : "\\" + key) + "]\r\n";
    for (const auto& [name, v] : Values(root, key))
        out += ValueLine(name, v);
    out += "\r\n";
    for (const auto& sub : SubKeys(root, key))
        ExportKey(root, rootName, key.empty() ? sub : key + "\\" + sub, out);
}

std::string Decode(const std::string& text) {
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE)
        return Narrow(text.substr(2));
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return text.substr(3);
    return text;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

// Splits "HKEY_X\path" into the root and the path.
bool ParseKeyPath(const std::string& text, HKEY& root, std::string& key) {
    const size_t slash = text.find('\\');
    const std::string head = text.substr(0, slash);
    for (const auto& r : kRoots)
        if (detail::IEquals(head, r.longName) || detail::IEquals(head, r.shortName)) {
            root = r.key;
            key = slash == std::string::npos ? "" : text.substr(slash + 1);
            while (!key.empty() && key.back() == '\\')
                key.pop_back();
            return true;
        }
    return false;
}

// A quoted string starting at s[pos]; pos ends after the closing quote.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        if (s[pos] == '\\' && pos + 1 < s.size()) {
            out += s[++pos];
            continue;
        }
        if (s[pos] == '"') {
            ++pos;
            return true;
        }
        out += s[pos];
    }
    return false;
}

bool ParseHex(const std::string& s, std::string& bytes) {
    bytes.clear();
    std::string digits;
    for (char c : s) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!digits.empty()) {
                if (digits.size() > 2)
                    return false;
                bytes += static_cast<char>(std::strtoul(digits.c_str(), nullptr, 16));
                digits.clear();
            }
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    if (!digits.empty()) {
        if (digits.size() > 2)
            return false;
        bytes += static_cast<char>(std::strtoul(digits.c_str(), nullptr, 16));
    }
    return true;
}

// The value part after "=": "text", dword:, hex:, hex(N): or "-" (delete).
bool ParseData(const std::string& data, bool unicode, Value& v, bool& remove) {
    remove = false;
    if (data == "-") {
        remove = true;
        return true;
    }
    if (!data.empty() && data[0] == '"') {
        size_t pos = 0;
        std::string text;
        if (!ParseQuoted(data, pos, text) || !Trim(data.substr(pos)).empty())
            return false;
        v = Value{REG_SZ, text + std::string(1, '\0')};
        return true;
    }
    if (detail::Lower(data.substr(0, 6)) == "dword:") {
        const std::string digits = data.substr(6);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        const DWORD d = static_cast<DWORD>(std::strtoul(digits.c_str(), nullptr, 16));
        v = Value{REG_DWORD, std::string(4, '\0')};
        std::memcpy(&v.data[0], &d, 4);
        return true;
    }
    const std::string lower = detail::Lower(data);
    DWORD type = REG_BINARY;
    size_t colon;
    if (lower.compare(0, 4, "hex:") == 0) {
        colon = 3;
    } else if (lower.compare(0, 4, "hex(") == 0) {
        const size_t close = lower.find("):", 4);
        if (close == std::string::npos || close == 4)
            return false;
        const std::string t = lower.substr(4, close - 4);
        if (t.find_first_not_of("0123456789abcdef") != std::string::npos)
            return false;
        type = static_cast<DWORD>(std::strtoul(t.c_str(), nullptr, 16));
        colon = close + 1;
    } else {
        return false;
    }
    std::string bytes;
    if (!ParseHex(data.substr(colon + 1), bytes))
        return false;
    v = Value{type, unicode && IsTextType(type) ? Narrow(bytes) : bytes};
    return true;
}

} // namespace

std::string Export(HKEY root, const std::string& key) {
    detail::Guard g(detail::MachineLock());
    const char* rootName = RootLongName(root);
    if (!rootName || !KeyExists(root, key))
        return {};
    std::string out = std::string(kHeader5) + "\r\n\r\n";
    ExportKey(root, rootName, key, out);
    return out;
}

bool Import(const std::string& regText, std::string* error) {
    detail::Guard g(detail::MachineLock());
    auto fail = [&](size_t line, const std::string& why) {
        if (error)
            *error = "line " + std::to_string(line) + ": " + why;
        return false;
    };
    const std::string text = Decode(regText);
    // Lines, with "\" continuations joined (the next line's leading blanks dropped).
    std::vector<std::pair<size_t, std::string>> lines;
    {
        size_t pos = 0, number = 0;
        std::string pending;
        size_t pendingLine = 0;
        while (pos <= text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            ++number;
            pos = end + 1;
            if (pending.empty())
                pendingLine = number;
            std::string part = pending.empty() ? line : Trim(line);
            const std::string trimmed = Trim(part);
            if (!trimmed.empty() && trimmed.back() == '\\' && trimmed[0] != '[') {
                pending += trimmed.substr(0, trimmed.size() - 1);
                continue;
            }
            lines.emplace_back(pendingLine, pending + part);
            pending.clear();
            if (end == text.size())
                break;
        }
        if (!pending.empty())
            lines.emplace_back(pendingLine, pending);
    }
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i].second).empty())
        ++i;
    if (i == lines.size())
        return fail(1, "empty file");
    const std::string header = Trim(lines[i].second);
    bool unicode;
    if (header == kHeader5)
        unicode = true;
    else if (header == kHeader4)
        unicode = false;
    else
        return fail(lines[i].first, "not a registry file: '" + header + "'");
    bool haveKey = false;
    HKEY root = nullptr;
    std::string key;
    for (++i; i < lines.size(); ++i) {
        const size_t number = lines[i].first;
        const std::string line = Trim(lines[i].second);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']')
                return fail(number, "unterminated key");
            std::string path = line.substr(1, line.size() - 2);
            const bool remove = !path.empty() && path[0] == '-';
            if (remove)
                path = path.substr(1);
            if (!ParseKeyPath(path, root, key))
                return fail(number, "unknown root in '" + path + "'");
            if (remove) {
                DeleteTree(root, key);
                haveKey = false;
            } else {
                CreateKey(root, key);
                haveKey = true;
            }
            continue;
        }
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, name)) {
            return fail(number, "bad value name");
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return fail(number, "missing '='");
        if (!haveKey)
            return fail(number, "value outside a key");
        Value v;
        bool remove = false;
        if (!ParseData(Trim(line.substr(pos + 1)), unicode, v, remove))
            return fail(number, "bad value data");
        if (remove) {
            RemoveValue(root, key, name);
            continue;
        }
        SetValue(root, key, name, v);
    }
    return true;
}

} // namespace winsim::reg
