// Fuzzes the response file: the input is the file USEINI names. Its settings are looked up
// through iwiGetIniProperty and iwiGetIniFeature, as the actions look them up, and each answer is
// checked against a model of the file's rules: text-mode lines of at most 2111 characters, cut at
// CR, trimmed; comments; stanzas; "keyword=value" and "/x value" settings with trimmed, unquoted,
// expanded values; nothing stored after the first error line; the last stanza named Response
// and the last setting of a keyword in it answer; a value beyond 515 characters refused.
#include "zebilogn.h"
#include "zebiwicn.h"

#include <winsim/sim.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

const char kIniPath[] = "C:\\Temp\\resp.ini";
const char kAction[] = "iwiFuzzResponseFile";
const size_t kMaxLookups = 32;
const char* const kLists[] = {"ADDLOCAL", "REMOVE", "ADDSOURCE", "ADDDEFAULT", "REINSTALL", "ADVERTISE"};
const int kListStates[] = {3, 2, 4, 5, 3, 1};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        b++;
    while (e > b && IsBlank(s[e - 1]))
        e--;
    return s.substr(b, e - b);
}

std::string TrimValue(std::string s) {
    s = Trim(s);
    if (!s.empty() && s[0] == '"')
        s.erase(0, 1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '"'))
        s.pop_back();
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = (char)std::tolower((unsigned char)c);
    return s;
}

std::string Expand(const std::string& value) {
    if (value.find('%') == std::string::npos)
        return value;
    DWORD n = ExpandEnvironmentStringsA(value.c_str(), nullptr, 0);
    std::string out(n, '\0');
    ExpandEnvironmentStringsA(value.c_str(), out.data(), n);
    return out.c_str();
}

struct Model {
    bool ok = true;
    // Stanzas in the order they are searched (the file's last first); settings likewise.
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> stanzas;

    const std::string* Find(const std::string& stanza, const std::string& keyword) const {
        for (const auto& s : stanzas) {
            if (Lower(s.first) != Lower(stanza))
                continue;
            for (const auto& e : s.second)
                if (e.first == keyword)
                    return &e.second;
            return nullptr;
        }
        return nullptr;
    }
};

Model Parse(std::string file) {
    Model m;
    // Text mode: reading stops at Ctrl-Z, CR LF reads as LF.
    file = file.substr(0, file.find('\x1a'));
    std::string text;
    for (size_t i = 0; i < file.size(); i++)
        if (!(file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n'))
            text += file[i];
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string raw = text.substr(start, end - start);
        start = end + 1;
        if (raw.size() > 2111) {
            m.ok = false;
            continue;
        }
        std::string line = raw.c_str();
        line = Trim(line.substr(0, line.find('\r')));
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            std::string name = line.substr(1);
            name = name.substr(0, name.find(']'));
            if (name.empty())
                m.ok = false;
            m.stanzas.insert(m.stanzas.begin(), {name, {}});
            continue;
        }
        std::string keyword, value;
        bool bad = false;
        size_t eq = line.find('=');
        if (eq != std::string::npos) {
            keyword = Trim(line.substr(0, eq));
            value = line.substr(eq + 1);
        } else if (line[0] == '/' || line[0] == '-') {
            keyword = std::string("-") + (line.size() > 1 ? line.substr(1, 1) : "");
            value = line.size() > 2 ? line.substr(2) : "";
        } else {
            bad = true;
        }
        value = TrimValue(value);
        if (keyword.empty() || m.stanzas.empty())
            bad = true;
        if (bad) {
            m.ok = false;
            continue;
        }
        if (m.ok)
            m.stanzas.front().second.insert(m.stanzas.front().second.begin(), {keyword, Expand(value)});
    }
    return m;
}

bool InList(const std::string& item, const std::string& list) {
    size_t p = 0;
    while (p < list.size()) {
        size_t n = list.find_first_of(", \t", p);
        if (n == std::string::npos)
            n = list.size();
        std::string piece = list.substr(p, n - p);
        if (!piece.empty() && (piece == item || (Lower(piece) == "all" && Lower(item) == "all")))
            return true;
        p = n + 1;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    const Model model = Parse(file);

    winsim::Reset();
    winsim::fs::WriteFile(kIniPath, file);
    winsim::msi::SetProperty("USEINI", kIniPath);
    winsim::msi::SetProperty("UILevel", "2");
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), kAction);

    // The keywords of the answering stanza, and two it does not have.
    std::vector<std::string> names = {"ZEBFUZZABSENT"};
    for (const auto& s : model.stanzas) {
        if (Lower(s.first) != "response")
            continue;
        for (const auto& e : s.second)
            if (names.size() < kMaxLookups && e.first != "USEINI" && e.first != "UILevel")
                names.push_back(e.first);
        break;
    }
    names.push_back("ZEBFUZZABSENT2");

    for (size_t i = 0; i < names.size(); i++) {
        char value[ZEB_CCH_MSG + 1];
        value[ZEB_CCH_MSG] = '#';
        char source[ZEB_CCH_PATH] = "x";
        UINT rc = iwiGetIniProperty(names[i].c_str(), reinterpret_cast<char(&)[ZEB_CCH_MSG]>(value), &source);
        if (value[ZEB_CCH_MSG] != '#')
            Fail("wrote past the value");
        const std::string* want = model.Find("Response", names[i]);
        if (i == 0 && !model.ok) {
            if (rc != ZEB_RC_FAILURE || value[0] != '\0')
                Fail("a file with an error line was not refused");
            continue;
        }
        if (want != nullptr && want->size() > 515) {
            if (rc != ZEB_RC_FAILURE || value[0] != '\0' || source[0] != '\0')
                Fail("a value beyond 515 characters was not refused: " + names[i]);
            continue;
        }
        if (rc != ZEB_RC_SUCCESS)
            Fail("lookup of '" + names[i] + "' failed");
        if (value != (want ? *want : std::string()))
            Fail("lookup of '" + names[i] + "' gave '" + value + "', not '" + (want ? *want : "") + "'");
        if (std::string(source) != (want ? kIniPath : ""))
            Fail("wrong source for '" + names[i] + "'");
    }

    // Feature states from the lists of the answering stanza (no list property is set).
    std::vector<std::string> features = {"Server"};
    if (const std::string* list = model.Find("Response", "ADDLOCAL"))
        features.push_back(Trim(list->substr(0, list->find_first_of(", \t"))));
    for (const std::string& feature : features) {
        int want = -1;
        for (int i = 0; i < 6; i++) {
            const std::string* list = model.Find("Response", kLists[i]);
            if (list != nullptr &&
                (InList("all", *list) || InList(feature, *list) || (i == 1 && InList("P", *list))))
                want = kListStates[i];
        }
        int state = 99;
        if (iwiGetIniFeature(feature.c_str(), "P", &state) != ZEB_RC_SUCCESS)
            Fail("feature lookup of '" + feature + "' failed");
        if (state != want)
            Fail("feature '" + feature + "' is " + std::to_string(state) + ", not " + std::to_string(want));
    }

    CaLeaveUnframed();
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    if (winsim::OpenHandleCount() != 0 || winsim::msi::LeakedHandles() != 0 ||
        winsim::reg::OpenKeyHandles() != 0)
        Fail("handle left open");
    return 0;
}
