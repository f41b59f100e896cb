// The simulated registry tool, reg.exe: "ADD" of one value and "FLAGS ... set" (winsim/sim_proc.h).
#include "procinternal.h"

#include "winsim/advapi32.h"
#include "winsim/sim_reg.h"

#include <cstdlib>
#include <strings.h>

namespace winsim::detail::procs {
namespace {

const char kDone[] = "The operation completed successfully.\n";
const char kSyntax[] = "ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n";
const char kNoKey[] = "ERROR: The system was unable to find the specified registry key or value.\n";

// Arguments as the C runtime splits them: blanks separate, quotes group and are removed.
std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> out;
    std::string word;
    bool quoted = false, any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any)
                out.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        out.push_back(word);
    return out;
}

bool Is(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

// HKLM\x or HKEY_LOCAL_MACHINE\x; false for any other root.
bool MachineKey(const std::string& full, std::string& key) {
    for (const char* root : {"HKEY_LOCAL_MACHINE\\", "HKLM\\"}) {
        const size_t n = std::char_traits<char>::length(root);
        if (full.size() > n && strncasecmp(full.c_str(), root, n) == 0) {
            key = full.substr(n);
            return true;
        }
    }
    return false;
}

void Fail(proc::Behaviour& self, const char* text) {
    self.err = text;
    self.exitCode = 1;
}

// ADD key /v name [/t REG_SZ|REG_DWORD] /d data [/f]
void Add(const std::vector<std::string>& args, proc::Behaviour& self) {
    std::string key, name, type = "REG_SZ", data;
    if (args.size() < 2 || !MachineKey(args[1], key))
        return Fail(self, kSyntax);
    for (size_t i = 2; i < args.size(); i++) {
        const bool hasNext = i + 1 < args.size();
        if (Is(args[i], "/v") && hasNext)
            name = args[++i];
        else if (Is(args[i], "/t") && hasNext)
            type = args[++i];
        else if (Is(args[i], "/d") && hasNext)
            data = args[++i];
        else if (!Is(args[i], "/f"))
            return Fail(self, kSyntax);
    }
    if (Is(type, "REG_DWORD")) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(data.c_str(), &end, 0);
        if (data.empty() || *end != '\0')
            return Fail(self, kSyntax);
        reg::SetDword(HKEY_LOCAL_MACHINE, key, name, static_cast<DWORD>(value));
    } else if (Is(type, "REG_SZ")) {
        reg::SetString(HKEY_LOCAL_MACHINE, key, name, data);
    } else {
        return Fail(self, kSyntax);
    }
    self.out = kDone;
}

// FLAGS key set FLAG... [/s]: the key must exist; the flags themselves are not kept.
void Flags(const std::vector<std::string>& args, proc::Behaviour& self) {
    std::string key;
    if (args.size() < 3 || !MachineKey(args[1], key) || !Is(args[2], "set"))
        return Fail(self, kSyntax);
    if (!reg::KeyExists(HKEY_LOCAL_MACHINE, key))
        return Fail(self, kNoKey);
    self.out = kDone;
}

} // namespace

proc::Behaviour RegistryTool() {
    proc::Behaviour b;
    b.atStart = [](const proc::Start& start, proc::Behaviour& self) {
        const std::vector<std::string> args = SplitArguments(start.parameters);
        if (!args.empty() && Is(args[0], "ADD"))
            Add(args, self);
        else if (!args.empty() && Is(args[0], "FLAGS"))
            Flags(args, self);
        else
            Fail(self, kSyntax);
    };
    return b;
}

} // namespace winsim::detail::procs
