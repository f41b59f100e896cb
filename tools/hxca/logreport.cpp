#include "logreport.h"

#include "logdiff.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <deque>
#include <iomanip>
#include <set>
#include <sstream>

namespace hxca {

namespace {

using sv = std::string_view;
using json = nlohmann::ordered_json;

constexpr size_t kContextLines = 4;
constexpr uint64_t kScanForEnd = 400; // lines after a run searched for the engine's end of its action
constexpr size_t kMaxDetailLines = 100000;
constexpr size_t kMaxDetailBytes = 64 << 20;
constexpr size_t kMaxPropertyUses = 1000;
constexpr size_t kMaxDetailedRuns = 20;

const char kErrorBanner1[] = "=============|||| Error, failure, problem, warning ||||=============";
const char kErrorBanner2[] = "             vvvv                                  vvvv             ";

// The properties a run summary shows: what the run is, and which installation it concerns.
const char* const kInteresting[] = {"ProductName",
                                    "ProductVersion",
                                    "UILevel",
                                    "Installed",
                                    "REMOVE",
                                    "ZEBREMOVE",
                                    "ZEBINSTALLINSTANCENAME",
                                    "ZEBOLDINSTALLINSTANCENAME",
                                    "ZEBINSTALLINSTANCEDESC",
                                    "ZEBINSTANCEID",
                                    "ZEBOLDSERVER",
                                    "ZEBOLDCLIENT"};

struct Result {
    std::string text;
    bool failed = false;
};

std::string CodeMeaning(int code) {
    switch (code) {
    case 0:
        return "success";
    case 1602:
        return "cancelled by the user";
    case 1603:
        return "failed (fatal error)";
    case 1641:
        return "success, restart started";
    case 3010:
        return "success, restart needed";
    default:
        return "code " + std::to_string(code);
    }
}

bool CodeFailed(int code) {
    return code != 0 && code != 1641 && code != 3010;
}

Result EngineResult(const LogSummary& s) {
    Result r;
    if (s.productStatus) {
        r.text = CodeMeaning(*s.productStatus) +
                 " (\"success or error status: " + std::to_string(*s.productStatus) + "\")";
        r.failed = CodeFailed(*s.productStatus);
    } else if (s.mainEngine) {
        r.text = CodeMeaning(*s.mainEngine) + " (\"MainEngineThread is returning " +
                 std::to_string(*s.mainEngine) + "\")";
        r.failed = CodeFailed(*s.mainEngine);
    } else if (s.topLevelValue) {
        int v = *s.topLevelValue;
        std::string meaning;
        if (s.windowsEngine) {
            meaning = v == 1   ? "success"
                      : v == 2 ? "cancelled by the user"
                      : v == 3 ? "failed"
                               : "not completed";
            r.failed = v != 1;
        } else {
            // Wine's engine logs 1 for success and 0 for any error, a cancel included.
            meaning = v == 1 ? "success" : "failed or cancelled";
            r.failed = v != 1;
        }
        r.text = meaning + " (" + s.topLevelAction + " ended with return value " + std::to_string(v) + ")";
    } else if (s.engineLog) {
        r.text = "not in the log (it ends before the engine's result)";
    } else if (s.runnerOutput) {
        r.text = "(the runner's output: each action's status is its own)";
    } else {
        r.text = "(a trace file holds no engine result)";
    }
    return r;
}

std::string StatusText(const std::optional<int>& v) {
    return v ? std::to_string(*v) : "-";
}

std::string EngineText(const ActionRunInfo& r) {
    if (r.engineCode)
        return std::to_string(*r.engineCode);
    if (r.engineValue)
        return "rv " + std::to_string(*r.engineValue);
    return "-";
}

std::string Notes(const ActionRunInfo& r) {
    std::vector<std::string> notes;
    if (r.status && *r.status != 0)
        notes.push_back(r.errors ? r.firstError : "no \"***\" line");
    else if (r.errors)
        notes.push_back(std::to_string(r.errors) + " \"***\" line" + (r.errors == 1 ? "" : "s"));
    if (!r.status)
        notes.push_back("no \"Returning with rc\" line");
    if (!r.handedTo.empty())
        notes.push_back("handed over to '" + r.handedTo + "'" +
                        (r.secondCopyLines ? "" : ", no line of the second copy"));
    if (r.keptLoaded)
        notes.push_back("called again in a copy that stayed loaded");
    else if (!r.banner)
        notes.push_back("no banner");
    if (r.merged)
        notes.push_back("from the temporary log" +
                        (r.mergedBy >= 0 ? ", merged by #" + std::to_string(r.mergedBy + 1) : std::string()));
    std::string out;
    for (const auto& n : notes)
        out += (out.empty() ? "" : "; ") + n;
    return out;
}

std::string Pad(const std::string& s, size_t width) {
    // Widths count characters, not UTF-8 bytes.
    size_t chars = 0;
    for (char c : s)
        chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return chars >= width ? s : s + std::string(width - chars, ' ');
}

std::string PropertyValue(const LogSummary& s, const std::string& name) {
    auto e = s.engineProperties.find(name);
    if (e != s.engineProperties.end())
        return e->second;
    auto t = s.traceProperties.find(name);
    if (t != s.traceProperties.end())
        return t->second + "   (as the library read it)";
    return s.enginePropertyDump ? "(not set)" : "-";
}

std::vector<int> RunsNamed(const LogSummary& s, const std::string& name) {
    std::vector<int> found;
    for (bool exact : {true, false}) {
        for (const ActionRunInfo& r : s.runs) {
            auto same = [&](const std::string& n) {
                if (exact)
                    return n == name;
                return n.size() == name.size() &&
                       std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                           return std::tolower(static_cast<unsigned char>(a)) ==
                                  std::tolower(static_cast<unsigned char>(b));
                       });
            };
            if (same(r.action) || same(r.engineAction))
                found.push_back(r.index);
        }
        if (!found.empty())
            break;
    }
    return found;
}

std::string UseText(const PropertyUse& u) {
    switch (u.kind) {
    case PropertyUse::Read:
        return u.name + " = '" + u.value + "'   (" + u.source + ")";
    case PropertyUse::NotDefined:
        return u.name + " not defined   (" + u.source + ")";
    case PropertyUse::ReadFailed:
        return u.name + ": read failed (" + u.value + ")";
    case PropertyUse::Set:
        return u.name + " = '" + u.value + "'";
    case PropertyUse::SetIgnored:
        return u.name + " = '" + u.value + "'   (ignored: deferred)";
    case PropertyUse::SetFailed:
        return u.name + " = '" + u.value + "'   (failed)";
    }
    return u.name;
}

bool IsSet(const PropertyUse& u) {
    return u.kind == PropertyUse::Set || u.kind == PropertyUse::SetIgnored ||
           u.kind == PropertyUse::SetFailed;
}

// The mark of a line that is not the shown run's own.
const char* KindMark(const LineEvent& e) {
    if (e.kind == LineKind::Trace)
        return e.run >= 0 ? "o" : "?";
    if (e.kind == LineKind::Merged)
        return e.run >= 0 ? ">" : "?";
    switch (e.kind) {
    case LineKind::Engine:
    case LineKind::Other:
    case LineKind::Runner:
        return "|";
    case LineKind::Merged:
        return ">";
    case LineKind::Damaged:
        return "?";
    default:
        return "";
    }
}

void PrintDetailLines(std::ostream& out, const std::vector<DetailLine>& lines) {
    for (const DetailLine& l : lines) {
        if (l.number == 0)
            out << "        ...\n";
        else
            out << std::setw(8) << l.number << " " << Pad(l.mark, 2) << " " << l.text << "\n";
    }
}

json DetailLinesJson(const std::vector<DetailLine>& lines) {
    json a = json::array();
    for (const DetailLine& l : lines)
        if (l.number)
            a.push_back({{"line", l.number}, {"mark", l.mark}, {"text", l.text}});
    return a;
}

json RunJson(const ActionRunInfo& r) {
    json j;
    j["run"] = r.index + 1;
    j["time"] = r.time;
    j["action"] = r.action;
    j["engineAction"] = r.engineAction;
    j["mode"] = RunModeName(r.mode);
    j["status"] = r.status ? json(*r.status) : json();
    j["engineValue"] = r.engineValue ? json(*r.engineValue) : json();
    j["engineCode"] = r.engineCode ? json(*r.engineCode) : json();
    j["lines"] = r.lines;
    j["firstLine"] = r.firstLine;
    j["lastLine"] = r.lastLine;
    j["errors"] = r.errors;
    if (r.errors)
        j["firstError"] = {{"line", r.firstErrorLine}, {"text", r.firstError}};
    j["banner"] = r.banner;
    j["keptLoaded"] = r.keptLoaded;
    if (!r.handedTo.empty())
        j["handedTo"] = r.handedTo;
    j["secondCopyLines"] = r.secondCopyLines;
    j["merged"] = r.merged;
    if (r.merged && r.mergedBy >= 0)
        j["mergedBy"] = r.mergedBy + 1;
    return j;
}

json SamplesJson(const std::vector<SampleLine>& sample) {
    json a = json::array();
    for (const SampleLine& l : sample)
        a.push_back({{"line", l.number}, {"text", l.text}});
    return a;
}

} // namespace

const char* LogUsage() {
    return "usage: hxca log [options] FILE...\n"
           "Reads msiexec verbose logs (ANSI or UTF-16), the library's trace files and the output of\n"
           "hxca, and shows the run, one line per run of a library action, and the first failing\n"
           "action in full: its trace with the error lines marked, the properties it read and set, and\n"
           "the engine's lines around it.\n"
           "  --action NAME   show the runs of this action in full instead (repeatable)\n"
           "  --diff OTHER    compare the library's trace lines of FILE and OTHER action by action,\n"
           "                  after normalising times, temporary names (zeb?XXXX.*) and folders\n"
           "  --json          report as JSON\n"
           "Exit status: 0 nothing failed, 1 an action or the installation failed (with --diff: the\n"
           "traces differ), 2 bad arguments or a file that is no readable log.\n";
}

LogOptions ParseLogArgs(const std::vector<std::string>& args) {
    LogOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw LogUsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "-h" || a == "--help")
            o.help = true;
        else if (a == "--action")
            o.actions.push_back(value());
        else if (a == "--diff")
            o.diffWith = value();
        else if (a == "--json")
            o.json = true;
        else if (a == "--")
            o.files.insert(o.files.end(), args.begin() + static_cast<long>(i) + 1, args.end()),
                i = args.size();
        else if (!a.empty() && a[0] == '-')
            throw LogUsageError("unknown option " + a);
        else
            o.files.push_back(a);
    }
    if (o.help)
        return o;
    if (o.files.empty())
        throw LogUsageError("give the log or trace file to read");
    if (!o.diffWith.empty() && o.files.size() != 1)
        throw LogUsageError("--diff compares one file with another");
    if (!o.diffWith.empty() && !o.actions.empty())
        throw LogUsageError("--diff compares every action; leave out --action");
    return o;
}

std::string DescribeLog(const LogSummary& s) {
    std::string kind = s.runnerOutput       ? "hxca output"
                       : s.windowsEngine    ? "msiexec log"
                       : s.engineLog        ? "msiexec log (Wine's layout)"
                       : s.trace + s.merged ? "trace file"
                                            : "text";
    std::string enc = EncodingName(s.encoding);
    if (s.bom)
        enc += " with BOM";
    return kind + ", " + enc + ", " + std::to_string(s.lines) + " line" + (s.lines == 1 ? "" : "s");
}

std::string DescribeRun(const ActionRunInfo& r) {
    std::string out = r.action.empty() ? "(unnamed action)" : r.action;
    out += std::string(" (") + RunModeName(r.mode) + ")";
    if (!r.engineAction.empty() && r.engineAction != r.action)
        out += " as " + r.engineAction;
    if (r.merged)
        out += " from the temporary log";
    return out;
}

std::string WhyNotALog(const LogSummary& s) {
    if (s.bytes == 0 || s.lines == 0)
        return "empty file";
    if (s.trace + s.merged == 0 && !s.engineLog && !s.runnerOutput) {
        if (s.damaged * 2 > s.lines)
            return "binary data, no line of a log (" + std::to_string(s.damaged) + " of " +
                   std::to_string(s.lines) + " lines are no text)";
        return "no line of an msiexec log or of the library's trace (" + std::to_string(s.lines) + " lines)";
    }
    return "";
}

bool CollectDetails(const std::string& path, const LogSummary& summary, const std::vector<int>& runs,
                    std::vector<RunDetail>& details, std::string& error) {
    struct Collector {
        const ActionRunInfo* run;
        RunDetail detail;
        std::deque<DetailLine> before;
        size_t afterCount = 0;
        uint64_t lastAfter = 0;
        bool endSeen = false;
        size_t bytes = 0;
        std::set<std::string> seenUses;
    };
    std::vector<Collector> cs;
    for (int i : runs) {
        Collector c;
        c.run = &summary.runs[static_cast<size_t>(i)];
        c.detail.run = i;
        cs.push_back(std::move(c));
    }
    auto sink = [&](const LineEvent& e) {
        const RawLine& raw = *e.raw;
        for (Collector& c : cs) {
            const ActionRunInfo& r = *c.run;
            if (raw.number < r.firstLine) {
                // Only the last few lines before the run are shown: copy no more than those.
                if (e.kind == LineKind::Blank || raw.number + 4 * kContextLines < r.firstLine)
                    continue;
                c.before.push_back({raw.number, raw.text, KindMark(e)});
                if (c.before.size() > kContextLines)
                    c.before.pop_front();
            } else if (raw.number <= r.lastLine) {
                if (e.kind == LineKind::Blank)
                    continue;
                DetailLine l{raw.number, raw.text, ""};
                if (e.run == r.index) {
                    TraceFields t;
                    sv body = e.kind == LineKind::Merged ? sv(raw.text).substr(2) : sv(raw.text);
                    bool parsed = ParseTraceLine(body, t);
                    bool banner = parsed && (t.text == kErrorBanner1 || t.text == kErrorBanner2);
                    l.mark = std::string(e.copy > 0 ? "2" : "") + (e.error || banner ? "!" : "");
                    if (parsed) {
                        auto use = ParsePropertyLine(t.text);
                        if (use && c.detail.properties.size() < kMaxPropertyUses &&
                            c.seenUses
                                .insert(std::to_string(use->kind) + "\n" + use->name + "\n" + use->value +
                                        "\n" + use->source)
                                .second)
                            c.detail.properties.push_back(*use);
                    }
                } else {
                    l.mark = KindMark(e);
                    size_t change = raw.text.find("PROPERTY CHANGE: ");
                    if (change != std::string::npos && c.detail.engineChanges.size() < kMaxPropertyUses)
                        c.detail.engineChanges.push_back(raw.text.substr(change + 17));
                }
                c.bytes += l.text.size();
                if (c.detail.lines.size() < kMaxDetailLines && c.bytes <= kMaxDetailBytes)
                    c.detail.lines.push_back(std::move(l));
                else
                    ++c.detail.omitted;
            } else if ((!c.endSeen || c.afterCount < kContextLines) &&
                       raw.number <= r.lastLine + kScanForEnd && e.kind != LineKind::Blank) {
                // The engine's end of the action: its "Action ended" and the code it got.
                bool mine = !c.endSeen && !r.engineAction.empty() &&
                            ((raw.text.find("Action ended ") != std::string::npos &&
                              raw.text.find(": " + r.engineAction + ". Return value") != std::string::npos) ||
                             raw.text.find("CustomAction " + r.engineAction +
                                           " returned actual error code") != std::string::npos);
                if (c.afterCount < kContextLines || mine) {
                    if (c.lastAfter && raw.number != c.lastAfter + 1)
                        c.detail.after.push_back({0, "", ""});
                    c.detail.after.push_back({raw.number, raw.text, KindMark(e)});
                    c.lastAfter = raw.number;
                    ++c.afterCount;
                }
                if (mine && raw.text.find("Action ended ") != std::string::npos)
                    c.endSeen = true;
            }
        }
    };
    LogSummary again;
    if (!ParseLogFile(path, again, error, sink))
        return false;
    for (Collector& c : cs) {
        c.detail.before.assign(c.before.begin(), c.before.end());
        details.push_back(std::move(c.detail));
    }
    return true;
}

int RunLog(const LogOptions& options, std::ostream& out, std::ostream& err) {
    if (!options.diffWith.empty())
        return RunLogDiff(options.files.front(), options.diffWith, options.json, out, err);

    int exitCode = 0;
    bool anyNamed = false;
    json files = json::array();
    for (const std::string& path : options.files) {
        LogSummary s;
        std::string error;
        if (!ParseLogFile(path, s, error)) {
            err << "hxca log: " << error << "\n";
            exitCode = 2;
            continue;
        }
        std::string why = WhyNotALog(s);
        if (!why.empty()) {
            err << "hxca log: " << path << ": " << why << "\n";
            exitCode = 2;
            continue;
        }
        std::vector<int> targets;
        std::vector<std::string> missing;
        if (options.actions.empty()) {
            int failing = FirstFailingRun(s);
            if (failing >= 0)
                targets.push_back(failing);
        } else {
            for (const std::string& name : options.actions) {
                std::vector<int> named = RunsNamed(s, name);
                if (named.empty())
                    missing.push_back(name);
                for (int i : named)
                    if (std::find(targets.begin(), targets.end(), i) == targets.end())
                        targets.push_back(i);
            }
            anyNamed |= !targets.empty();
        }
        size_t moreRuns = targets.size() > kMaxDetailedRuns ? targets.size() - kMaxDetailedRuns : 0;
        targets.resize(std::min(targets.size(), kMaxDetailedRuns));
        std::vector<RunDetail> details;
        if (!targets.empty() && !CollectDetails(path, s, targets, details, error)) {
            err << "hxca log: " << error << "\n";
            exitCode = 2;
            continue;
        }
        Result result = EngineResult(s);
        bool failed = FirstFailingRun(s) >= 0 || result.failed;
        if (failed && exitCode == 0)
            exitCode = 1;

        if (options.json) {
            json f;
            f["file"] = path;
            f["format"] = DescribeLog(s);
            f["lines"] = s.lines;
            json run;
            run["package"] = s.package.empty() && s.engineProperties.count("OriginalDatabase")
                                 ? s.engineProperties.at("OriginalDatabase")
                                 : s.package;
            run["productCode"] = s.engineProperties.count("ProductCode")
                                     ? s.engineProperties.at("ProductCode")
                                     : PropertyValue(s, "ProductCode");
            json props = json::object();
            for (const char* name : kInteresting) {
                auto e = s.engineProperties.find(name);
                auto t = s.traceProperties.find(name);
                if (e != s.engineProperties.end())
                    props[name] = {{"value", e->second}, {"from", "engine"}};
                else if (t != s.traceProperties.end())
                    props[name] = {{"value", t->second}, {"from", "library"}};
                else
                    props[name] = nullptr;
            }
            run["properties"] = props;
            run["result"] = {{"text", result.text}, {"failed", result.failed}};
            f["run"] = run;
            json actions = json::array();
            for (const ActionRunInfo& r : s.runs)
                actions.push_back(RunJson(r));
            f["actions"] = actions;
            f["firstFailing"] = FirstFailingRun(s) >= 0 ? json(FirstFailingRun(s) + 1) : json();
            f["unattributed"] = {{"count", s.unattributed}, {"lines", SamplesJson(s.unattributedSample)}};
            f["damaged"] = {{"count", s.damaged}, {"lines", SamplesJson(s.damagedSample)}};
            f["cutLines"] = s.cut;
            f["endsMidLine"] = s.endsMidLine;
            if (!missing.empty())
                f["notFound"] = missing;
            json ds = json::array();
            for (const RunDetail& d : details) {
                json j;
                j["run"] = d.run + 1;
                j["before"] = DetailLinesJson(d.before);
                j["lines"] = DetailLinesJson(d.lines);
                j["omitted"] = d.omitted;
                j["after"] = DetailLinesJson(d.after);
                json reads = json::array(), sets = json::array();
                for (const PropertyUse& u : d.properties) {
                    static const char* kinds[] = {"read", "notDefined", "readFailed",
                                                  "set",  "setIgnored", "setFailed"};
                    json p = {{"name", u.name}, {"kind", kinds[u.kind]}, {"value", u.value}};
                    if (!u.source.empty())
                        p["source"] = u.source;
                    (IsSet(u) ? sets : reads).push_back(p);
                }
                j["propertiesRead"] = reads;
                j["propertiesSet"] = sets;
                j["engineChanges"] = d.engineChanges;
                ds.push_back(j);
            }
            f["details"] = ds;
            files.push_back(f);
            continue;
        }

        out << "== " << path << "\n" << DescribeLog(s) << "\n\n";
        std::string package = s.package;
        if (package.empty() && s.engineProperties.count("OriginalDatabase"))
            package = s.engineProperties.at("OriginalDatabase");
        std::vector<std::pair<std::string, std::string>> rows;
        if (s.engineLog || !package.empty())
            rows.push_back({"Package", package.empty() ? "-" : package});
        // Without the engine's dump, only what the library read is known.
        size_t unknown = 0;
        auto row = [&](const char* name) {
            std::string v = PropertyValue(s, name);
            if (v == "-")
                ++unknown;
            else
                rows.push_back({name, v});
        };
        row("ProductCode");
        for (const char* name : kInteresting)
            row(name);
        rows.push_back({"Result", result.text});
        for (const auto& [k, v] : rows)
            out << Pad(k, 27) << v << "\n";
        if (unknown)
            out << "(" << unknown << " more properties of interest are not in this file)\n";

        out << "\nLibrary actions: " << s.runs.size() << " run" << (s.runs.size() == 1 ? "" : "s") << "\n";
        if (!s.runs.empty()) {
            bool showEngine = false, showEngineValue = false;
            size_t wAction = 6, wEngine = 13;
            for (const ActionRunInfo& r : s.runs) {
                std::string name = (r.merged ? ">> " : "") + (r.action.empty() ? "(unnamed)" : r.action);
                wAction = std::max(wAction, name.size());
                if (!r.engineAction.empty() && r.engineAction != r.action) {
                    showEngine = true;
                    wEngine = std::max(wEngine, r.engineAction.size());
                }
                showEngineValue |= EngineText(r) != "-";
            }
            std::ostringstream head;
            head << Pad("#", 4) << Pad("time", 10) << Pad("action", wAction + 2);
            if (showEngine)
                head << Pad("engine action", wEngine + 2);
            head << Pad("mode", 11) << Pad("rc", 6);
            if (showEngineValue)
                head << Pad("engine", 8);
            head << std::setw(6) << "lines"
                 << "  note";
            out << "  " << head.str() << "\n";
            for (const ActionRunInfo& r : s.runs) {
                std::ostringstream row;
                std::string name = (r.merged ? ">> " : "") + (r.action.empty() ? "(unnamed)" : r.action);
                row << Pad(std::to_string(r.index + 1), 4) << Pad(r.time.empty() ? "-" : r.time, 10)
                    << Pad(name, wAction + 2);
                if (showEngine)
                    row << Pad(r.engineAction == r.action || r.engineAction.empty() ? "" : r.engineAction,
                               wEngine + 2);
                row << Pad(RunModeName(r.mode), 11) << Pad(StatusText(r.status), 6);
                if (showEngineValue)
                    row << Pad(EngineText(r), 8);
                row << std::setw(6) << r.lines << "  " << Notes(r);
                std::string line = row.str();
                while (!line.empty() && line.back() == ' ')
                    line.pop_back();
                out << "  " << line << "\n";
            }
        }
        if (s.unattributed) {
            out << "\nLines no action run can claim: " << s.unattributed << "\n";
            for (const SampleLine& l : s.unattributedSample)
                out << std::setw(8) << l.number << "  " << l.text << "\n";
            if (s.unattributed > s.unattributedSample.size())
                out << "        ... " << (s.unattributed - s.unattributedSample.size()) << " more\n";
        }
        if (s.damaged) {
            out << "\nDamaged lines (binary data, cut, or a trace line that does not parse): " << s.damaged
                << "\n";
            for (const SampleLine& l : s.damagedSample)
                out << std::setw(8) << l.number << "  " << l.text.substr(0, 200)
                    << (l.text.size() > 200 ? "..." : "") << "\n";
            if (s.damaged > s.damagedSample.size())
                out << "        ... " << (s.damaged - s.damagedSample.size()) << " more\n";
        }
        if (s.endsMidLine)
            out << "\nThe file ends in the middle of line " << s.lastLineNumber
                << ": it may have been cut.\n";
        for (const std::string& name : missing)
            out << "\nNo run of action '" << name << "' in this file.\n";

        if (targets.empty() && options.actions.empty()) {
            if (s.runs.empty())
                out << "\nNo action of the library ran.\n";
            else if (result.failed)
                out << "\nNo action of the library returned an error; the installation failed elsewhere.\n";
            else
                out << "\nNo action of the library failed.\n";
        }
        for (const RunDetail& d : details) {
            const ActionRunInfo& r = s.runs[static_cast<size_t>(d.run)];
            out << "\n== " << (options.actions.empty() ? "First failing action: " : "") << "#"
                << (r.index + 1) << " " << DescribeRun(r) << ", rc " << StatusText(r.status) << ", lines "
                << r.firstLine << "-" << r.lastLine << "\n";
            if (!d.before.empty()) {
                out << "Before:\n";
                PrintDetailLines(out, d.before);
            }
            out << "Trace (" << r.lines
                << " lines; ! error, 2 second copy, | engine, > merged, o another run, ? no run):\n";
            PrintDetailLines(out, d.lines);
            if (d.omitted)
                out << "        ... " << d.omitted << " more lines not shown\n";
            if (!d.after.empty()) {
                out << "After:\n";
                PrintDetailLines(out, d.after);
            }
            out << "Properties read:\n";
            bool any = false;
            for (const PropertyUse& u : d.properties)
                if (!IsSet(u)) {
                    out << "  " << UseText(u) << "\n";
                    any = true;
                }
            if (!any)
                out << "  (none)\n";
            out << "Properties set:\n";
            any = false;
            for (const PropertyUse& u : d.properties)
                if (IsSet(u)) {
                    out << "  " << UseText(u) << "\n";
                    any = true;
                }
            for (const std::string& c : d.engineChanges) {
                out << "  engine: " << c << "\n";
                any = true;
            }
            if (!any)
                out << "  (none)\n";
        }
        if (moreRuns)
            out << "\n... " << moreRuns << " more runs of the actions named; the first " << kMaxDetailedRuns
                << " are shown\n";
        out << "\n";
    }
    if (options.json) {
        json doc;
        doc["files"] = files;
        out << doc.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    }
    if (!options.actions.empty() && !anyNamed && exitCode != 2) {
        err << "hxca log: no run of the action named in any file\n";
        return 2;
    }
    return exitCode;
}

} // namespace hxca
