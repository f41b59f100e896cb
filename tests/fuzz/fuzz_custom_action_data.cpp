// Fuzzes the deferred value list: the input is the file that CustomActionData names, optionally
// followed by "\0names:" and the names to read, one a line (without it, the names written in the
// file itself and two more). Each name is read through the read pattern in a deferred action, as
// every deferred action of the library reads its properties, and the result is checked against
// the list's rules: entries "name=value;", split at the first "=", first match wins, names compared
// exactly, a value that does not fit the caller's buffer refused.
#include "zebilogn.h"
#include "zebiwicn.h"

#include <winsim/sim.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kListPath[] = "C:\\Temp\\zebp0001.txt";
const char kAction[] = "iwiFuzzDeferred";
const std::string kNamesMarker("\0names:", 7);
const DWORD kCapacities[] = {ZEB_CCH_FLAG, ZEB_CCH_PATH, ZEB_CCH_MSG};
const size_t kMaxNames = 64;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

// The list as a deferred action must see it: the file's first line as a text-mode read gives it
// (a lone CR kept, CR LF read as LF, reading stops at Ctrl-Z), cut at the first CR or LF. None when
// nothing can be read.
std::optional<std::string> ExpectedList(const std::string& file) {
    if (file.empty() || file[0] == '\x1a')
        return std::nullopt;
    return file.substr(0, file.find_first_of(std::string("\r\n\x1a\0", 4)));
}

std::optional<std::string> ExpectedValue(const std::string& list, const std::string& name) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = list.substr(start, end - start);
        size_t eq = entry.find('=');
        if (eq != std::string::npos && entry.compare(0, eq, name) == 0 && eq == name.size())
            return entry.substr(eq + 1);
        start = end + 1;
    }
    return std::nullopt;
}

std::vector<std::string> NamesToRead(const std::string& input, std::string& file) {
    std::vector<std::string> names;
    size_t at = input.rfind(kNamesMarker);
    if (at != std::string::npos) {
        file = input.substr(0, at);
        std::string rest = input.substr(at + kNamesMarker.size());
        size_t start = 0;
        while (names.size() < kMaxNames) {
            size_t end = rest.find('\n', start);
            names.push_back(rest.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        return names;
    }
    file = input;
    std::optional<std::string> list = ExpectedList(file);
    for (size_t start = 0; list && start < list->size() && names.size() + 2 < kMaxNames;) {
        size_t end = list->find(';', start);
        if (end == std::string::npos)
            end = list->size();
        names.push_back(list->substr(start, std::min(list->find('=', start), end) - start));
        start = end + 1;
    }
    names.push_back("ProductName");
    names.push_back("ZEBNOTINTHELIST");
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string file;
    std::vector<std::string> names =
        NamesToRead(std::string(reinterpret_cast<const char*>(data), size), file);
    // A name with a NUL in it reaches the library as its first part.
    for (std::string& name : names)
        name = name.c_str();

    winsim::Reset();
    winsim::fs::WriteFile(kListPath, file);
    winsim::msi::SetProperty(kAction, kListPath);
    winsim::msi::EnterDeferred(kAction);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), kAction);

    std::optional<std::string> list = ExpectedList(file);
    for (size_t i = 0; i < names.size(); i++) {
        const std::string& name = names[i];
        const DWORD cch = kCapacities[i % 3];
        std::vector<char> value(cch + 1, '#');
        value[cch] = '\0';
        UINT stat = ZEB_RC_SUCCESS;
        BOOL ok = GetPropertyValue(FrameSession(), "Fuzz", name.c_str(), value.data(), cch, &stat);
        if (value[cch] != '\0')
            Fail("wrote past the buffer");
        std::string got(value.data(), strnlen(value.data(), cch));
        if (got.size() >= cch)
            Fail("value not terminated within the buffer");

        std::optional<std::string> want = list ? ExpectedValue(*list, name) : std::nullopt;
        bool refused = !list || (want && want->size() >= cch);
        if (refused) {
            if (ok || stat != ZEB_RC_FAILURE || !got.empty())
                Fail("read of '" + name + "' not refused");
        } else {
            if (!ok || stat != ZEB_RC_SUCCESS)
                Fail("read of '" + name + "' failed");
            if (got != want.value_or(""))
                Fail("read of '" + name + "' gave '" + got + "', not '" + want.value_or("") + "'");
        }
    }

    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::msi::LeaveDeferred();
    if (winsim::OpenHandleCount() != 0 || winsim::msi::LeakedHandles() != 0)
        Fail("handle left open");
    return 0;
}
