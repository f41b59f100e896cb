#include "report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <tuple>

namespace hxca {

namespace {

using Kind = Change::Kind;

char Sign(Kind k) {
    return k == Kind::Added ? '+' : k == Kind::Removed ? '-' : '~';
}

bool IsText(const std::string& s) {
    return s.find('\0') == std::string::npos;
}

// Content of a file below its line, each line marked so blank and trailing-blank lines show.
void PrintContent(std::ostream& out, const std::string& content) {
    const size_t maxLines = 20;
    if (!IsText(content)) {
        out << "      (binary)\n";
        return;
    }
    std::istringstream in(content);
    std::string line;
    size_t n = 0, total = static_cast<size_t>(std::count(content.begin(), content.end(), '\n')) +
                          (content.empty() || content.back() == '\n' ? 0 : 1);
    while (std::getline(in, line) && n < maxLines) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out << "      | " << line << "\n";
        ++n;
    }
    if (total > n)
        out << "      ... " << (total - n) << " more lines\n";
}

std::string ValueKey(const std::string& name) {
    // name is "KEY\[value]"
    size_t bracket = name.rfind("\\[");
    return bracket == std::string::npos ? name : name.substr(0, bracket);
}

std::string UpperCopy(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

std::pair<bool, std::string> LogicalKey(const std::string& physical) {
    static const std::string marker = "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE";
    std::string up = UpperCopy(physical);
    if (up.rfind(marker, 0) == 0 && (up.size() == marker.size() || up[marker.size()] == '\\'))
        return {true, physical.substr(0, 27) + physical.substr(marker.size())};
    return {false, physical};
}

std::string Describe(const OpenHandles& open) {
    std::string out;
    for (auto [n, one, many] : {std::tuple{open.installer, "installer handle", "installer handles"},
                                std::tuple{open.kernel, "kernel handle", "kernel handles"},
                                std::tuple{open.registry, "registry key", "registry keys"},
                                std::tuple{open.modules, "module", "modules"}}) {
        if (n > 0)
            out += (out.empty() ? "" : ", ") + std::to_string(n) + " " + (n == 1 ? one : many);
    }
    return out;
}

void PrintAction(std::ostream& out, const ActionRun& run) {
    out << "== " << run.name << " (" << ModeName(run.mode) << ")\n";
    for (const auto& line : run.trace)
        out << line << "\n";
    for (const auto& m : run.messages)
        out << "[" << MessageTypeName(m.type) << "] " << m.text << "\n";
    if (run.ran && run.leaked.Total() > 0)
        out << "-> status " << run.status << " (" << Describe(run.leaked) << " left open)\n";
    else if (run.ran)
        out << "-> status " << run.status << "\n";
    else
        out << "-> not run: " << run.error << "\n";
    out << "\n";
}

void PrintSummary(std::ostream& out, const RunResult& run, const std::optional<CheckResult>& check) {
    out << "== Changes\n";
    if (run.changes.empty())
        out << "(none)\n";
    auto section = [&](const char* title, auto pick) {
        bool first = true;
        for (const auto& c : run.changes) {
            if (!pick(c))
                continue;
            if (first)
                out << title << "\n";
            first = false;
            out << "  " << Sign(c.kind) << " ";
            if (c.category == "property") {
                if (c.kind == Kind::Added)
                    out << c.name << " = '" << c.after << "'\n";
                else if (c.kind == Kind::Changed)
                    out << c.name << ": '" << c.before << "' -> '" << c.after << "'\n";
                else
                    out << c.name << " (was '" << c.before << "')\n";
            } else if (c.category == "row") {
                out << c.name << (c.temporary ? " [temporary]" : "") << ": "
                    << (c.kind == Kind::Removed ? c.before : c.after) << "\n";
            } else if (c.category == "key") {
                out << "[" << LogicalKey(c.name).second << "]\n";
            } else if (c.category == "value") {
                std::string key = ValueKey(c.name);
                std::string value = c.name.substr(key.size() + 1);
                out << LogicalKey(key).second << "\\" << value << " = ";
                if (c.kind == Kind::Changed)
                    out << c.before << " -> " << c.after << "\n";
                else
                    out << (c.kind == Kind::Added ? c.after : c.before) << "\n";
            } else if (c.category == "folder") {
                out << c.name << (c.name.back() == '\\' ? "" : "\\") << "\n";
            } else if (c.category == "file") {
                if (c.kind == Kind::Added) {
                    out << c.name << " (" << c.after.size() << " bytes)\n";
                    PrintContent(out, c.after);
                } else if (c.kind == Kind::Removed) {
                    out << c.name << " (" << c.before.size() << " bytes)\n";
                } else if (c.after.size() > c.before.size() &&
                           c.after.compare(0, c.before.size(), c.before) == 0) {
                    out << c.name << " (" << c.before.size() << " -> " << c.after.size()
                        << " bytes), appended:\n";
                    PrintContent(out, c.after.substr(c.before.size()));
                } else {
                    out << c.name << " (" << c.before.size() << " -> " << c.after.size() << " bytes), now:\n";
                    PrintContent(out, c.after);
                }
            }
        }
    };
    section("Properties", [](const Change& c) { return c.category == "property"; });
    section("Table rows", [](const Change& c) { return c.category == "row"; });
    section("Registry (64-bit view)", [](const Change& c) {
        return (c.category == "key" || c.category == "value") &&
               !LogicalKey(c.category == "key" ? c.name : ValueKey(c.name)).first;
    });
    section("Registry (32-bit view)", [](const Change& c) {
        return (c.category == "key" || c.category == "value") &&
               LogicalKey(c.category == "key" ? c.name : ValueKey(c.name)).first;
    });
    section("Files", [](const Change& c) { return c.category == "file" || c.category == "folder"; });
    if (!run.events.empty()) {
        out << "Events\n";
        for (const auto& e : run.events)
            out << "  " << e.action << ": " << e.kind << ": " << e.text << "\n";
    }
    if (!run.engineRemovals.empty()) {
        // Physical paths: a key of the 32-bit view shows below Wow6432Node, as the row names it.
        out << "\n== The engine's RemoveRegistryValues and RemoveFiles steps would remove\n";
        for (const auto& c : run.engineRemovals) {
            if (c.category == "key")
                out << "  - [" << c.name << "]\n";
            else if (c.category == "value")
                out << "  - " << c.name << "\n";
            else
                out << "  - " << c.name << (c.category == "folder" && c.name.back() != '\\' ? "\\" : "")
                    << "\n";
        }
    }
    if (check && check->checks > 0) {
        out << "\n== Expectations: ";
        if (check->failures.empty()) {
            out << "all " << check->checks << " met\n";
        } else {
            out << check->failures.size() << " of " << check->checks << " failed\n";
            for (const auto& f : check->failures)
                out << "  FAIL " << f << "\n";
        }
    }
}

std::string ReportJson(const RunResult& run, const std::optional<CheckResult>& check) {
    using json = nlohmann::ordered_json;
    json doc;
    doc["actions"] = json::array();
    for (const auto& a : run.actions) {
        json j;
        j["name"] = a.name;
        j["mode"] = ModeName(a.mode);
        j["ran"] = a.ran;
        if (a.ran) {
            j["status"] = a.status;
            j["leakedHandles"] = {{"installer", a.leaked.installer},
                                  {"kernel", a.leaked.kernel},
                                  {"registry", a.leaked.registry},
                                  {"modules", a.leaked.modules}};
        } else
            j["error"] = a.error;
        j["trace"] = a.trace;
        j["messages"] = json::array();
        for (const auto& m : a.messages)
            j["messages"].push_back({{"type", MessageTypeName(m.type)}, {"code", m.type}, {"text", m.text}});
        doc["actions"].push_back(j);
    }
    json changes = json::array();
    for (const auto& c : run.changes) {
        json j;
        j["change"] = c.kind == Kind::Added ? "added" : c.kind == Kind::Removed ? "removed" : "changed";
        j["category"] = c.category;
        std::string name = c.name;
        if (c.category == "key" || c.category == "value") {
            std::string key = c.category == "key" ? c.name : ValueKey(c.name);
            auto [wow32, logical] = LogicalKey(key);
            j["view"] = wow32 ? "32" : "64";
            j["key"] = logical;
            if (c.category == "value") {
                std::string value = c.name.substr(key.size() + 2);
                value.pop_back();
                j["value"] = value;
            }
        } else {
            j["name"] = name;
        }
        if (c.category == "row")
            j["temporary"] = c.temporary;
        // Binary contents would not be valid JSON strings; their size says enough.
        auto put = [&](const char* field, const std::string& v) {
            if (c.category != "file" || IsText(v))
                j[field] = v;
            else
                j[std::string(field) + "Size"] = v.size();
        };
        if (c.kind != Kind::Added && c.category != "key" && c.category != "folder")
            put("before", c.before);
        if (c.kind != Kind::Removed && c.category != "key" && c.category != "folder")
            put("after", c.after);
        changes.push_back(j);
    }
    doc["changes"] = changes;
    doc["engineRemoves"] = json::array();
    for (const auto& c : run.engineRemovals)
        doc["engineRemoves"].push_back({{"category", c.category}, {"name", c.name}});
    doc["events"] = json::array();
    for (const auto& e : run.events)
        doc["events"].push_back({{"action", e.action}, {"kind", e.kind}, {"text", e.text}});
    if (check)
        doc["expect"] = {{"checks", check->checks}, {"failures", check->failures}};
    // Texts from the machine are bytes in the ANSI code page; replace what is not UTF-8.
    return doc.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace hxca
