// Registration of setups and allowances, the invariants of one run, and the sweep's small parts.
#include "zebsweep.h"

#include <report.h>
#include <winsim/sim.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace zebsweep {

namespace {

std::vector<SetupEntry>& SetupList() {
    static std::vector<SetupEntry> list;
    return list;
}

std::vector<Allowance>& AllowanceList() {
    static std::vector<Allowance> list;
    return list;
}

const std::pair<Invariant, const char*> kInvariantNames[] = {{Invariant::crash, "crash"},
                                                             {Invariant::leak, "leak"},
                                                             {Invariant::status, "status"},
                                                             {Invariant::silent, "silent"}};

} // namespace

const char* InvariantName(Invariant invariant) {
    for (const auto& [i, name] : kInvariantNames)
        if (i == invariant)
            return name;
    return "?";
}

std::optional<Invariant> ParseInvariant(const std::string& name) {
    for (const auto& [i, n] : kInvariantNames)
        if (name == n)
            return i;
    return std::nullopt;
}

void Setup::Tables(const std::string& idtText) {
    std::string error;
    if (!winsim::msi::ImportIdt(idtText, "", &error))
        throw std::invalid_argument("bad .idt text: " + error);
}

void Setup::Registry(const std::string& regText) {
    std::string error;
    if (!winsim::reg::Import(regText, &error))
        throw std::invalid_argument("bad .reg text: " + error);
}

bool RegisterSetup(const char* action, const char* name, SetupFn fn) {
    SetupList().push_back({action, name, fn});
    return true;
}

bool RegisterAllowance(const char* action, Invariant invariant, const char* reason) {
    AllowanceList().push_back({action, invariant, reason});
    return true;
}

const std::vector<SetupEntry>& Setups() {
    return SetupList();
}

const std::vector<Allowance>& Allowances() {
    return AllowanceList();
}

std::string TraceText(const std::string& line) {
    // Action names may hold spaces ("Test CA"); the level word ends the prefix.
    static const std::regex prefix(R"(^\d\d:\d\d:\d\d HXCA \S+(?: \S+)*? info: )");
    std::smatch m;
    return std::regex_search(line, m, prefix) ? m.suffix().str() : line;
}

std::vector<Broken> CheckRun(const hxca::ActionRun& run, const std::string& faulted) {
    std::vector<Broken> broken;
    if (!run.ran) {
        broken.push_back({Invariant::crash, "not run: " + run.error});
        return broken;
    }
    if (run.leaked.Total() > 0)
        broken.push_back({Invariant::leak, hxca::Describe(run.leaked) + " left open"});
    if (run.status != 0 && run.status != 1602 && run.status != 1603)
        broken.push_back({Invariant::status, "status " + std::to_string(run.status)});
    if (run.status == 1603) {
        bool marked = false, unmarked = false, generic = false;
        static const std::regex errorBox(R"(^HXCA \S+ MB \*\*\* error: )");
        for (const std::string& line : run.trace) {
            const std::string text = TraceText(line);
            marked |= text.rfind("***", 0) == 0;
            unmarked |= IsUnmarkedFailureText(text);
            std::smatch box;
            if (std::regex_search(text, box, errorBox)) {
                // A refusal shown by the action itself is its report; the frame's message is not.
                if (IsGenericFailureText(box.suffix().str()))
                    generic = true;
                else
                    marked = true;
            }
        }
        // A failed call that carries lines to the installer log may have lost the report: the ***
        // line, or the line of the error box the action showed. A box shown still told the user.
        auto called = [&run](const char* function) {
            auto it = run.calls.find(function);
            return it != run.calls.end() && it->second > 0;
        };
        const bool boxShown = generic || called("MessageBoxExA") || called("MessageBoxA");
        if (!marked && !(generic && unmarked) && !(boxShown && CarriesLogLines(faulted)))
            broken.push_back({Invariant::silent, "status 1603 without a *** line"});
    }
    return broken;
}

std::vector<std::string> ReadDefExports(const std::string& defText) {
    std::vector<std::string> names;
    std::istringstream in(defText);
    std::string line;
    bool exports = false;
    while (std::getline(in, line)) {
        const size_t comment = line.find(';');
        if (comment != std::string::npos)
            line.erase(comment);
        std::istringstream words(line);
        std::string word;
        if (!(words >> word))
            continue;
        if (word == "EXPORTS") {
            exports = true;
            continue;
        }
        if (word == "LIBRARY" || word == "NAME" || word == "DESCRIPTION" || word == "VERSION" ||
            word == "HEAPSIZE" || word == "STACKSIZE" || word == "SECTIONS") {
            exports = false;
            continue;
        }
        if (!exports)
            continue;
        // "name", "name @3", "name=internal", "name@4 PRIVATE": the exported name comes first.
        word = word.substr(0, word.find_first_of("=@"));
        if (!word.empty() && std::find(names.begin(), names.end(), word) == names.end())
            names.push_back(word);
    }
    return names;
}

std::vector<size_t> SampleCases(size_t total, size_t count, uint32_t seed) {
    std::vector<size_t> all(total);
    std::iota(all.begin(), all.end(), size_t{0});
    if (count >= total)
        return all;
    // A partial Fisher-Yates shuffle with mt19937, whose output the standard fixes: the same
    // seed picks the same cases with every compiler and library.
    std::mt19937 random(seed);
    for (size_t i = 0; i < count; ++i) {
        const size_t span = total - i;
        const size_t j = i + static_cast<size_t>(random() % span);
        std::swap(all[i], all[j]);
    }
    all.resize(count);
    std::sort(all.begin(), all.end());
    return all;
}

} // namespace zebsweep
