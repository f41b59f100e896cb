// Fuzzes the hand-over round trip: the input is lines "name value" (the name made of the letters,
// digits and underscores of its bytes); the names go into the name lists, the values into the
// properties. iwiWriteDeferredProperties must either refuse a value the list cannot carry (";",
// CR, LF, 0x1A) with no file left, or write a list from which a deferred action reads every
// name's first value back unchanged.
#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnSimpleCA.h"

#include <winsim/sim.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

const char kList[] = "C:\\Temp\\zebp0001.txt";
const char kAction[] = "iwiFuzzDeferred";
const size_t kMaxNames = 48;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::pair<std::string, std::string>> entries;
    for (size_t start = 0; start < input.size() && entries.size() < kMaxNames;) {
        size_t end = input.find('\x02', start); // a line: values may hold line ends themselves
        if (end == std::string::npos)
            end = input.size();
        std::string line = input.substr(start, end - start);
        size_t blank = line.find(' ');
        std::string name = "Z";
        for (char c : line.substr(0, blank))
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '_')
                name += c;
        std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
        entries.emplace_back(name, value.c_str()); // a property holds no NUL
        start = end + 1;
    }

    winsim::Reset();
    winsim::fs::MakeDirs("C:\\Temp");
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    winsim::msi::SetProperty("ZEBTEMPFILENUM", "0001");
    std::string names[3];
    std::map<std::string, std::string> first;
    bool refused = false;
    for (size_t i = 0; i < entries.size(); i++) {
        const auto& [name, value] = entries[i];
        // The properties hold the last value given; the list is written from them.
        winsim::msi::SetProperty(name, value);
        names[i % 3] += name + ";";
    }
    for (size_t i = 0; i < entries.size(); i++) {
        const std::string& name = entries[i].first;
        std::string value = winsim::msi::Property(name).value_or("");
        if (value.size() >= ZEB_CCH_FEATURELIST ||
            value.find_first_of(std::string(";\r\n\x1a", 4)) != std::string::npos)
            refused = true;
        first.emplace(name, value);
    }
    bool tooLong = false;
    for (int i = 0; i < 3; i++) {
        tooLong = tooLong || names[i].size() >= ZEB_CCH_FEATURELIST;
        winsim::msi::SetProperty("ZEBPROPERTYNAMELIST" + std::to_string(i + 1), names[i]);
    }

    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    UINT rc = iwiWriteDeferredProperties(winsim::msi::SessionHandle());
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    if (refused || tooLong) {
        if (rc != ZEB_RC_FAILURE)
            Fail("a value the list cannot carry was written");
        if (winsim::fs::Exists(kList) && refused && !tooLong)
            Fail("a list was left after a refusal");
        return 0;
    }
    if (rc != ZEB_RC_SUCCESS)
        Fail("the list was not written");

    winsim::msi::SetProperty(kAction, kList);
    winsim::msi::EnterDeferred(kAction);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), kAction);
    for (const auto& [name, value] : first) {
        std::vector<char> buffer(ZEB_CCH_FEATURELIST);
        UINT stat = ZEB_RC_SUCCESS;
        if (!GetPropertyValue(winsim::msi::SessionHandle(), "Fuzz", name.c_str(), buffer.data(),
                              (DWORD)buffer.size(), &stat))
            Fail("deferred read of '" + name + "' failed");
        if (value != buffer.data())
            Fail("'" + name + "' written as '" + value + "' read back as '" + buffer.data() + "'");
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::msi::LeaveDeferred();
    if (winsim::OpenHandleCount() != 0 || winsim::msi::LeakedHandles() != 0)
        Fail("handle left open");
    return 0;
}
