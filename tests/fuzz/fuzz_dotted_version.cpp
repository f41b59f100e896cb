// Fuzzes the dotted-version helpers: the input is two versions separated by a newline. The two
// comparisons must be consistent (a version equals itself; CompareDottedVersions is antisymmetric,
// and so is CompareVersionTokens while neither first field is 0), agree with a plain model for
// versions of digits and dots, and the fields of a version must be tidy numbers or its own text.
#include "zebicson.h"
#include "zebiwicn.h"

#include <winsim/sim.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

// The fields of a version made only of digits (at most 18 a field) and separators; false for any
// other text.
bool PlainFields(const std::string& v, const char* separators, std::vector<long long>& fields) {
    fields.assign(4, 0);
    size_t i = 0, start = 0;
    while (start <= v.size() && i < 4) {
        size_t end = v.find_first_of(separators, start);
        if (end == std::string::npos)
            end = v.size();
        std::string f = v.substr(start, end - start);
        if (f.size() > 18 || f.find_first_not_of("0123456789") != std::string::npos)
            return false;
        fields[i++] = f.empty() ? 0 : std::stoll(f);
        if (end == v.size())
            break;
        start = end + 1;
    }
    return true;
}

int Sign(long long d) {
    return d > 0 ? 1 : d < 0 ? -1 : 0;
}

void CheckFields(const std::string& v) {
    for (int field = 1; field <= 4; field++) {
        LPCSTR f = DottedVersionField(v.c_str(), field);
        size_t n = strnlen(f, ZEB_CCH_PATH);
        if (n >= ZEB_CCH_PATH)
            Fail("field not terminated within its buffer");
        std::string text(f);
        if (field <= 2 && text != "0" && (text.empty() || text[0] < '1' || text[0] > '9'))
            Fail("field " + std::to_string(field) + " '" + text +
                 "' does not start with a significant digit");
    }
    std::vector<long long> fields;
    if (!PlainFields(v, ".", fields))
        return;
    for (int field = 1; field <= 4; field++) {
        std::string want = std::to_string(fields[field - 1]);
        std::string got = DottedVersionField(v.c_str(), field);
        // An empty third field stays empty; numbers beyond int stay as text.
        if (fields[field - 1] <= 2147483647 && got != want && !(got.empty() && field == 3))
            Fail("field " + std::to_string(field) + " of '" + v + "' is '" + got + "', not '" + want + "'");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    input = input.c_str();
    size_t nl = input.find('\n');
    const std::string a = input.substr(0, nl);
    const std::string b = nl == std::string::npos ? "" : input.substr(nl + 1);

    winsim::Reset();
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);

    for (const std::string* v : {&a, &b}) {
        if (CompareDottedVersions(v->c_str(), v->c_str()) != 0 ||
            CompareVersionTokens(v->c_str(), v->c_str()) != 0)
            Fail("'" + *v + "' differs from itself");
        CheckFields(*v);
    }
    int dotted = CompareDottedVersions(a.c_str(), b.c_str());
    if (dotted != -CompareDottedVersions(b.c_str(), a.c_str()))
        Fail("CompareDottedVersions is not antisymmetric");
    int tokens = CompareVersionTokens(a.c_str(), b.c_str());
    int tokensBack = CompareVersionTokens(b.c_str(), a.c_str());

    std::vector<long long> fa, fb;
    if (PlainFields(a, ".", fa) && PlainFields(b, ".", fb)) {
        int want = 0;
        for (int i = 0; i < 4 && want == 0; i++)
            want = Sign(fa[i] - fb[i]);
        if (dotted != want)
            Fail("CompareDottedVersions gave " + std::to_string(dotted) + ", not " + std::to_string(want));
    }
    if (PlainFields(a, ".,", fa) && PlainFields(b, ".,", fb)) {
        int want = 0;
        for (int i = 0; i < 4 && want == 0; i++)
            want = Sign(fa[i] - fb[i]);
        if (fb[0] == 0 && want != 0)
            want = 1;
        if (tokens != want)
            Fail("CompareVersionTokens gave " + std::to_string(tokens) + ", not " + std::to_string(want));
        if (fa[0] != 0 && fb[0] != 0 && tokens != -tokensBack)
            Fail("CompareVersionTokens is not antisymmetric");
    }

    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    return 0;
}
