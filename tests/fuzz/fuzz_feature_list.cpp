// Fuzzes the feature-list check: the input is the package's feature names, one a line, then a NUL
// and the ADDLOCAL list. CheckValidFeatures must accept a list of known names separated by commas
// (each optionally followed by blanks), and refuse one with a word that names no feature; it must
// never write past its buffers, whatever the names and the list hold.
#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnInstall.h"

#include <winsim/sim.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <strings.h>
#include <set>
#include <string>
#include <vector>

namespace {

const size_t kMaxFeatures = 32;
const size_t kMaxList = 500; // the settings' buffer holds 515 characters

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

bool IsPlainName(const std::string& name) {
    if (name.empty() || name.size() > 38)
        return false;
    for (char c : name)
        if (!IsNameChar(c))
            return false;
    return true;
}

// What the list must give, when that can be told without the check's own rules: 0 for a list of
// known names each after a comma and blanks, 1603 for a list holding a word that names no feature;
// -1 for anything else.
int Expected(const std::string& list, const std::set<std::string>& names) {
    for (char c : list)
        if (!IsNameChar(c) && c != ',' && c != ' ')
            return -1;
    std::vector<std::string> words;
    std::string word;
    for (char c : list + ",") {
        if (c == ',' || c == ' ') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    for (const std::string& w : words)
        if (!names.count(w) && strcasecmp(list.c_str(), "all") != 0)
            return ZEB_RC_FAILURE;
    if (list.empty() || list.front() == ',' || list.front() == ' ' || list.back() == ',' ||
        list.back() == ' ')
        return -1;
    for (size_t i = 0; i + 1 < list.size(); i++) {
        if (list[i] == ' ' && list[i + 1] == ',')
            return -1; // a comma after blanks is left behind
        if (list[i] == ',' && list[i + 1] == ',')
            return -1;
    }
    return ZEB_RC_SUCCESS;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nul = input.find('\0');
    if (nul == std::string::npos)
        return 0;
    std::string list = input.substr(nul + 1);
    list = list.c_str(); // a property value ends at its first NUL
    if (list.size() > kMaxList)
        return 0;

    std::vector<winsim::msi::FeatureSpec> features;
    std::set<std::string> names;
    bool plain = true;
    size_t start = 0;
    while (start < nul && features.size() < kMaxFeatures) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos || end > nul)
            end = nul;
        std::string name = input.substr(start, end - start);
        if (!name.empty() && names.insert(name).second) {
            features.push_back({name});
            plain = plain && IsPlainName(name);
        }
        start = end + 1;
    }

    winsim::Reset();
    winsim::msi::DefineFeatures(features);
    winsim::msi::SetProperty("ADDLOCAL", list);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    UINT stat = ZEB_RC_SUCCESS;
    if (CaProlog(winsim::msi::SessionHandle(), &stat, "iwiFuzzFeatures", nullptr))
        Fail("the frame refused the call");
    UINT rc = CheckValidFeatures("ADDLOCAL");
    CaEpilog(winsim::msi::SessionHandle(), rc);
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);

    if (rc != ZEB_RC_SUCCESS && rc != ZEB_RC_FAILURE)
        Fail("result " + std::to_string(rc));
    int expected = plain ? Expected(list, names) : -1;
    if (expected >= 0 && static_cast<UINT>(expected) != rc)
        Fail("list '" + list + "' gave " + std::to_string(rc) + ", expected " + std::to_string(expected));
    if (winsim::OpenHandleCount() != 0 || winsim::msi::LeakedHandles() != 0)
        Fail("handle left open");
    return 0;
}
