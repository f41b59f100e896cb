#include "report.h"
#include "run.h"

#include <algorithm>

namespace hxca {

namespace {

std::string Shown(const std::optional<std::string>& v) {
    return v ? "'" + *v + "'" : "(not set)";
}

// Shortens long file contents in failure texts.
std::string Excerpt(const std::string& s) {
    const size_t limit = 200;
    std::string out = s.size() > limit ? s.substr(0, limit) + "..." : s;
    std::string esc;
    for (char c : out)
        esc += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    return "'" + esc + "'";
}

struct Checker {
    CheckResult& r;
    void Check(bool ok, const std::string& failure) {
        ++r.checks;
        if (!ok)
            r.failures.push_back(failure);
    }
};

void CheckTrace(Checker& c, const std::vector<std::string>& lines, const std::vector<TextMatch>& want,
                const std::vector<TextMatch>& unwanted, const std::string& scope) {
    for (const auto& m : want) {
        bool found =
            std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return m.Matches(l); });
        c.Check(found, "no trace line" + scope + " matches " + m.Describe());
    }
    for (const auto& m : unwanted) {
        auto it =
            std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return m.Matches(l); });
        c.Check(it == lines.end(), "trace line" + scope + " matches " + m.Describe() +
                                       " but must not: " + (it == lines.end() ? "" : *it));
    }
}

std::optional<std::string> FileContent(const Snapshot& s, std::string path, bool* exists) {
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    auto it = s.files.find(path);
    *exists = it != s.files.end();
    return *exists ? it->second : std::nullopt;
}

void CheckRegistry(Checker& c, const Snapshot& s, const RegistryExpect& e) {
    std::string physical = e.wow32 ? Wow32Path(e.key) : e.key;
    std::string shown = e.key + (e.wow32 ? " (32-bit view)" : "");
    auto key = s.registry.find(physical);
    if (!e.name) {
        c.Check((key != s.registry.end()) == e.exists,
                "registry key " + shown + (e.exists ? " does not exist" : " exists but must not"));
        return;
    }
    std::string label = "registry value " + shown + "\\[" + *e.name + "]";
    const RegValue* found = nullptr;
    if (key != s.registry.end()) {
        for (const auto& [name, value] : key->second) {
            if (!ILess()(name, *e.name) && !ILess()(*e.name, name))
                found = &value;
        }
    }
    if (!e.exists) {
        c.Check(!found, label + " exists but must not: " + (found ? FormatRegValue(*found) : ""));
        return;
    }
    if (!found || (!e.type && !e.value)) {
        c.Check(found, label + " does not exist" + (key == s.registry.end() ? " (no such key)" : ""));
        return;
    }
    if (e.type)
        c.Check(RegTypeName(found->type) == *e.type,
                label + ": expected type " + *e.type + ", got " + RegTypeName(found->type));
    if (e.value) {
        std::string got = PlainRegValue(*found);
        c.Check(got == *e.value, label + ": expected '" + *e.value + "', got '" + got + "'");
    }
}

} // namespace

CheckResult CheckExpectations(const Expect& expect, const RunResult& run) {
    CheckResult result;
    Checker c{result};
    std::vector<std::string> allLines;
    for (size_t i = 0; i < run.actions.size(); ++i) {
        const ActionRun& a = run.actions[i];
        std::string who = a.name + " (action " + std::to_string(i + 1) + ")";
        allLines.insert(allLines.end(), a.trace.begin(), a.trace.end());
        if (a.expect.status) {
            c.Check(a.ran && a.status == *a.expect.status,
                    "status of " + who + ": expected " + std::to_string(*a.expect.status) + ", got " +
                        (a.ran ? std::to_string(a.status) : "no run (" + a.error + ")"));
        }
        CheckTrace(c, a.trace, a.expect.trace, a.expect.noTrace, " of " + who);
    }
    for (const auto& [name, status] : expect.status) {
        bool any = false;
        for (size_t i = 0; i < run.actions.size(); ++i) {
            const ActionRun& a = run.actions[i];
            if (a.name != name)
                continue;
            any = true;
            c.Check(a.ran && a.status == status,
                    "status of " + name + " (action " + std::to_string(i + 1) + "): expected " +
                        std::to_string(status) + ", got " +
                        (a.ran ? std::to_string(a.status) : "no run (" + a.error + ")"));
        }
        if (!any)
            c.Check(false, "status of " + name + ": the action did not run");
    }
    CheckTrace(c, allLines, expect.trace, expect.noTrace, "");
    for (const auto& m : expect.events) {
        bool found = std::any_of(run.events.begin(), run.events.end(),
                                 [&](const EventText& e) { return m.Matches(e.kind + ": " + e.text); });
        c.Check(found, "no event matches " + m.Describe());
    }
    for (const auto& p : expect.properties) {
        auto it = run.after.properties.find(p.name);
        std::optional<std::string> got;
        if (it != run.after.properties.end() && !it->second.empty())
            got = it->second;
        if (p.match)
            c.Check(got && p.match->Matches(*got), "property " + p.name + ": expected a value matching " +
                                                       p.match->Describe() + ", got " + Shown(got));
        else
            c.Check(got == p.value,
                    "property " + p.name + ": expected " + Shown(p.value) + ", got " + Shown(got));
    }
    for (const auto& f : expect.files) {
        bool exists = false;
        auto content = FileContent(run.after, f.path, &exists);
        if (!f.exists) {
            c.Check(!exists, "file " + f.path + " exists but must not");
            continue;
        }
        if (!exists || (!f.content && !f.match)) {
            c.Check(exists, "file " + f.path + " does not exist");
            continue;
        }
        if (f.content)
            c.Check(content == f.content, "file " + f.path + ": expected content " + Excerpt(*f.content) +
                                              ", got " + (content ? Excerpt(*content) : "a folder"));
        if (f.match)
            c.Check(content && f.match->Matches(*content),
                    "file " + f.path + ": content does not match " + f.match->Describe());
    }
    for (const auto& r : expect.registry)
        CheckRegistry(c, run.after, r);
    for (bool onlyTemporary : {true, false}) {
        for (const auto& [table, want] : onlyTemporary ? expect.tempRows : expect.rows) {
            int got = 0;
            if (auto it = run.after.rows.find(table); it != run.after.rows.end()) {
                got = static_cast<int>(
                    std::count_if(it->second.begin(), it->second.end(),
                                  [&](const RowText& r) { return r.temporary || !onlyTemporary; }));
            }
            c.Check(got == want, std::string(onlyTemporary ? "temporary rows" : "rows") + " of " + table +
                                     ": expected " + std::to_string(want) + ", got " + std::to_string(got));
        }
    }
    for (const std::string& item : expect.engineRemoves) {
        bool removed =
            std::any_of(run.engineRemovals.begin(), run.engineRemovals.end(), [&](const Change& r) {
                return r.category != "value" && !ILess()(r.name, item) && !ILess()(item, r.name);
            });
        c.Check(removed, "the engine's removal steps do not remove " + item);
    }
    if (expect.leakedHandles) {
        int total = 0;
        std::string who;
        for (size_t i = 0; i < run.actions.size(); ++i) {
            const ActionRun& a = run.actions[i];
            total += a.leaked.Total();
            if (a.leaked.Total() > 0)
                who += std::string(who.empty() ? "" : "; ") + a.name + " (action " + std::to_string(i + 1) +
                       "): " + Describe(a.leaked);
        }
        c.Check(total == *expect.leakedHandles,
                "handles left open: expected " + std::to_string(*expect.leakedHandles) + ", got " +
                    std::to_string(total) + (who.empty() ? "" : " (" + who + ")"));
    }
    return result;
}

const char* MessageTypeName(int type) {
    switch (static_cast<unsigned>(type) & 0xFF000000u) {
    case 0x00000000u:
        return "FATALEXIT";
    case 0x01000000u:
        return "ERROR";
    case 0x02000000u:
        return "WARNING";
    case 0x03000000u:
        return "USER";
    case 0x04000000u:
        return "INFO";
    case 0x05000000u:
        return "FILESINUSE";
    case 0x06000000u:
        return "RESOLVESOURCE";
    case 0x07000000u:
        return "OUTOFDISKSPACE";
    case 0x08000000u:
        return "ACTIONSTART";
    case 0x09000000u:
        return "ACTIONDATA";
    case 0x0A000000u:
        return "PROGRESS";
    case 0x0B000000u:
        return "COMMONDATA";
    default:
        return "MESSAGE";
    }
}

} // namespace hxca
