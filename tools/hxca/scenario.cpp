#include "scenario.h"

#include "hostfiles.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <regex>
#include <set>

namespace hxca {

// Keeps the order of the file, so expectations are checked and reported in the order written.
using json = nlohmann::ordered_json;

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Every place in the scenario carries its path ("actions[2].mode") so errors point at it.
[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw ScenarioError(where + ": " + what);
}

void OnlyKeys(const json& obj, const std::string& where, std::initializer_list<const char*> keys) {
    if (!obj.is_object())
        Fail(where, "must be an object");
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return it.key() == k; }))
            Fail(where, "unknown key '" + it.key() + "'");
    }
}

std::string Str(const json& v, const std::string& where) {
    if (!v.is_string())
        Fail(where, "must be a string");
    return v.get<std::string>();
}

long long Int(const json& v, const std::string& where) {
    if (!v.is_number_integer())
        Fail(where, "must be an integer");
    return v.get<long long>();
}

bool Bool(const json& v, const std::string& where) {
    if (!v.is_boolean())
        Fail(where, "must be true or false");
    return v.get<bool>();
}

// A number, or one of the names of the table (case ignored).
long long Named(const json& v, const std::string& where,
                std::initializer_list<std::pair<const char*, long long>> names) {
    if (v.is_number_integer())
        return v.get<long long>();
    if (v.is_string()) {
        std::string s = Upper(v.get<std::string>());
        for (const auto& [name, value] : names) {
            if (s == Upper(name))
                return value;
        }
    }
    std::string all;
    for (const auto& n : names)
        all += std::string(all.empty() ? "" : ", ") + n.first;
    Fail(where, "must be a number or one of " + all);
}

const std::initializer_list<std::pair<const char*, long long>> kRunModes = {
    {"ADMIN", 0},       {"ADVERTISE", 1},        {"MAINTENANCE", 2},       {"ROLLBACKENABLED", 3},
    {"LOGENABLED", 4},  {"OPERATIONS", 5},       {"REBOOTATEND", 6},       {"REBOOTNOW", 7},
    {"CABINET", 8},     {"SOURCESHORTNAMES", 9}, {"TARGETSHORTNAMES", 10}, {"WINDOWS9X", 12},
    {"ZAWENABLED", 13}, {"SCHEDULED", 16},       {"ROLLBACK", 17},         {"COMMIT", 18}};

const std::initializer_list<std::pair<const char*, long long>> kMessageTypes = {
    {"any", 0},           {"error", 0x01000000},       {"warning", 0x02000000},    {"user", 0x03000000},
    {"info", 0x04000000}, {"actionstart", 0x08000000}, {"actiondata", 0x09000000}, {"progress", 0x0A000000}};

const std::initializer_list<std::pair<const char*, long long>> kReplies = {
    {"ok", 1}, {"cancel", 2}, {"abort", 3}, {"retry", 4}, {"ignore", 5}, {"yes", 6}, {"no", 7}};

const std::initializer_list<std::pair<const char*, long long>> kInstallStates = {
    {"unknown", -1}, {"advertised", 1}, {"removed", 1}, {"absent", 2},
    {"local", 3},    {"source", 4},     {"default", 5}};

// Token presets by name, in the order of winsim::token::Preset.
const char* const kTokens[] = {"elevatedAdmin", "filteredAdmin", "standardUser", "localSystem"};

int Token(const json& v, const std::string& where) {
    if (v.is_string()) {
        for (size_t i = 0; i < std::size(kTokens); ++i)
            if (Upper(v.get<std::string>()) == Upper(kTokens[i]))
                return static_cast<int>(i);
    }
    Fail(where, "must be one of elevatedAdmin, filteredAdmin, standardUser, localSystem");
}

int RunMode(const json& v, const std::string& where) {
    if (v.is_string()) {
        std::string s = Upper(v.get<std::string>());
        if (s.rfind("MSIRUNMODE_", 0) == 0)
            return static_cast<int>(Named(json(s.substr(11)), where, kRunModes));
    }
    long long m = Named(v, where, kRunModes);
    if (m < 0 || m > 18)
        Fail(where, "run mode out of range 0..18");
    return static_cast<int>(m);
}

TextMatch Match(const json& v, const std::string& where) {
    if (v.is_string())
        return {v.get<std::string>(), false};
    OnlyKeys(v, where, {"contains", "regex"});
    if (v.size() != 1)
        Fail(where, "needs exactly one of 'contains' or 'regex'");
    if (v.contains("regex")) {
        TextMatch m{Str(v["regex"], where + ".regex"), true};
        try {
            std::regex test(m.text);
        } catch (const std::regex_error& e) {
            Fail(where + ".regex", std::string("bad regular expression: ") + e.what());
        }
        return m;
    }
    return {Str(v["contains"], where + ".contains"), false};
}

std::vector<TextMatch> Matches(const json& v, const std::string& where) {
    if (!v.is_array())
        Fail(where, "must be a list");
    std::vector<TextMatch> out;
    for (size_t i = 0; i < v.size(); ++i)
        out.push_back(Match(v[i], where + "[" + std::to_string(i) + "]"));
    return out;
}

std::pair<int, int> States(const json& v, const std::string& where) {
    OnlyKeys(v, where, {"installed", "action"});
    int installed = v.contains("installed")
                        ? static_cast<int>(Named(v["installed"], where + ".installed", kInstallStates))
                        : 2;
    int action =
        v.contains("action") ? static_cast<int>(Named(v["action"], where + ".action", kInstallStates)) : -1;
    return {installed, action};
}

std::vector<Fault> Faults(const json& v, const std::string& where) {
    if (!v.is_array())
        Fail(where, "must be a list");
    std::vector<Fault> out;
    for (size_t i = 0; i < v.size(); ++i) {
        std::string w = where + "[" + std::to_string(i) + "]";
        OnlyKeys(v[i], w, {"function", "error", "nth", "match"});
        if (!v[i].contains("function") || !v[i].contains("error"))
            Fail(w, "needs 'function' and 'error'");
        Fault f;
        f.function = Str(v[i]["function"], w + ".function");
        f.error = static_cast<uint32_t>(Int(v[i]["error"], w + ".error"));
        if (v[i].contains("nth"))
            f.nth = static_cast<int>(Int(v[i]["nth"], w + ".nth"));
        if (v[i].contains("match"))
            f.match = Str(v[i]["match"], w + ".match");
        out.push_back(f);
    }
    return out;
}

std::vector<Reply> Replies(const json& v, const std::string& where) {
    if (!v.is_array())
        Fail(where, "must be a list");
    std::vector<Reply> out;
    for (size_t i = 0; i < v.size(); ++i) {
        std::string w = where + "[" + std::to_string(i) + "]";
        OnlyKeys(v[i], w, {"type", "nth", "reply"});
        if (!v[i].contains("reply"))
            Fail(w, "needs 'reply'");
        Reply r;
        if (v[i].contains("type"))
            r.type = static_cast<int>(Named(v[i]["type"], w + ".type", kMessageTypes));
        if (v[i].contains("nth"))
            r.nth = static_cast<int>(Int(v[i]["nth"], w + ".nth"));
        if (r.nth < 1)
            Fail(w + ".nth", "counts from 1");
        r.reply = static_cast<int>(Named(v[i]["reply"], w + ".reply", kReplies));
        out.push_back(r);
    }
    return out;
}

std::vector<Hook> Hooks(const json& v, const std::string& where) {
    if (!v.is_array())
        Fail(where, "must be a list");
    std::vector<Hook> out;
    for (size_t i = 0; i < v.size(); ++i) {
        std::string w = where + "[" + std::to_string(i) + "]";
        const json& h = v[i];
        OnlyKeys(h, w,
                 {"call", "nth", "atMs", "write", "append", "remove", "lock", "unlock", "cancel", "content"});
        Hook hook;
        if (h.contains("call") == h.contains("atMs"))
            Fail(w, "needs either 'call' (a function name) or 'atMs'");
        if (h.contains("call"))
            hook.function = Str(h["call"], w + ".call");
        else
            hook.atMs = static_cast<uint64_t>(Int(h["atMs"], w + ".atMs"));
        if (h.contains("nth"))
            hook.nth = static_cast<int>(Int(h["nth"], w + ".nth"));
        int ops = 0;
        for (auto [key, op] : {std::pair{"write", Hook::Op::Write}, std::pair{"append", Hook::Op::Append},
                               std::pair{"remove", Hook::Op::Remove}, std::pair{"lock", Hook::Op::Lock},
                               std::pair{"unlock", Hook::Op::Unlock}}) {
            if (h.contains(key)) {
                ++ops;
                hook.op = op;
                hook.where = w + "." + key;
                hook.path = Str(h[key], hook.where);
            }
        }
        if (h.contains("cancel")) {
            ++ops;
            hook.op = Hook::Op::Cancel;
            hook.where = w + ".cancel";
            if (!Bool(h["cancel"], w + ".cancel"))
                Fail(w + ".cancel", "can only be true");
        }
        if (ops != 1)
            Fail(w, "needs exactly one of write, append, remove, lock, unlock, cancel");
        if (h.contains("content")) {
            if (hook.op != Hook::Op::Write && hook.op != Hook::Op::Append)
                Fail(w + ".content", "only goes with write or append");
            hook.content = Str(h["content"], w + ".content");
        }
        out.push_back(hook);
    }
    return out;
}

ActionExpect ParseActionExpect(const json& v, const std::string& where) {
    OnlyKeys(v, where, {"status", "trace", "noTrace"});
    ActionExpect e;
    if (v.contains("status"))
        e.status = static_cast<unsigned>(Int(v["status"], where + ".status"));
    if (v.contains("trace"))
        e.trace = Matches(v["trace"], where + ".trace");
    if (v.contains("noTrace"))
        e.noTrace = Matches(v["noTrace"], where + ".noTrace");
    return e;
}

ActionStep ParseAction(const json& v, const std::string& where) {
    ActionStep a;
    a.where = where;
    if (v.is_string()) {
        a.name = v.get<std::string>();
        return a;
    }
    OnlyKeys(v, where,
             {"name", "entry", "condition", "engine", "mode", "customActionData", "properties", "replies",
              "faults", "hooks", "messageBoxReply", "expect"});
    if (!v.contains("name"))
        Fail(where, "needs 'name'");
    a.name = Str(v["name"], where + ".name");
    if (v.contains("entry"))
        a.entry = Str(v["entry"], where + ".entry");
    if (v.contains("condition"))
        a.condition = Str(v["condition"], where + ".condition");
    if (v.contains("engine")) {
        if (Str(v["engine"], where + ".engine") != "InstallFinalize")
            Fail(where + ".engine", "the only engine step is InstallFinalize");
        a.installFinalize = true;
    }
    if (v.contains("mode")) {
        auto m = ParseMode(Str(v["mode"], where + ".mode"));
        if (!m)
            Fail(where + ".mode", "must be immediate, deferred, rollback or commit");
        a.mode = *m;
    }
    if (v.contains("customActionData")) {
        if (a.mode == Mode::Immediate)
            Fail(where + ".customActionData", "only deferred, rollback and commit runs get CustomActionData");
        a.customActionData = Str(v["customActionData"], where + ".customActionData");
    }
    if (v.contains("properties")) {
        const json& p = v["properties"];
        if (!p.is_object())
            Fail(where + ".properties", "must be an object");
        for (auto it = p.begin(); it != p.end(); ++it) {
            if (it.value().is_null())
                a.properties[it.key()] = std::nullopt;
            else
                a.properties[it.key()] = Str(it.value(), where + ".properties." + it.key());
        }
    }
    if (v.contains("replies"))
        a.replies = Replies(v["replies"], where + ".replies");
    if (v.contains("faults"))
        a.faults = Faults(v["faults"], where + ".faults");
    if (v.contains("hooks"))
        a.hooks = Hooks(v["hooks"], where + ".hooks");
    if (v.contains("messageBoxReply"))
        a.messageBoxReply =
            static_cast<int>(Named(v["messageBoxReply"], where + ".messageBoxReply", kReplies));
    if (v.contains("expect"))
        a.expect = ParseActionExpect(v["expect"], where + ".expect");
    return a;
}

Expect ParseExpect(const json& v, const std::string& where) {
    OnlyKeys(v, where,
             {"status", "trace", "noTrace", "events", "properties", "files", "registry", "tempRows", "rows",
              "engineRemoves", "leakedHandles"});
    Expect e;
    if (v.contains("status")) {
        const json& s = v["status"];
        if (!s.is_object())
            Fail(where + ".status", "must map action names to statuses");
        for (auto it = s.begin(); it != s.end(); ++it)
            e.status.emplace_back(it.key(),
                                  static_cast<unsigned>(Int(it.value(), where + ".status." + it.key())));
    }
    if (v.contains("trace"))
        e.trace = Matches(v["trace"], where + ".trace");
    if (v.contains("noTrace"))
        e.noTrace = Matches(v["noTrace"], where + ".noTrace");
    if (v.contains("events"))
        e.events = Matches(v["events"], where + ".events");
    if (v.contains("properties")) {
        const json& p = v["properties"];
        if (!p.is_object())
            Fail(where + ".properties", "must be an object");
        for (auto it = p.begin(); it != p.end(); ++it) {
            PropertyExpect pe{it.key(), std::nullopt, std::nullopt};
            std::string w = where + ".properties." + it.key();
            if (it.value().is_string())
                pe.value = it.value().get<std::string>();
            else if (it.value().is_object())
                pe.match = Match(it.value(), w);
            else if (!it.value().is_null())
                Fail(w, "must be a string, null (not set) or a match");
            e.properties.push_back(pe);
        }
    }
    if (v.contains("files")) {
        const json& f = v["files"];
        if (!f.is_object())
            Fail(where + ".files", "must be an object");
        for (auto it = f.begin(); it != f.end(); ++it) {
            FileExpect fe;
            fe.path = it.key();
            std::string w = where + ".files." + it.key();
            if (it.value().is_boolean())
                fe.exists = it.value().get<bool>();
            else if (it.value().is_string())
                fe.content = it.value().get<std::string>();
            else if (it.value().is_object())
                fe.match = Match(it.value(), w);
            else
                Fail(w, "must be true, false, the content or a match");
            e.files.push_back(fe);
        }
    }
    if (v.contains("registry")) {
        const json& r = v["registry"];
        if (!r.is_array())
            Fail(where + ".registry", "must be a list");
        for (size_t i = 0; i < r.size(); ++i) {
            std::string w = where + ".registry[" + std::to_string(i) + "]";
            OnlyKeys(r[i], w, {"key", "view", "name", "value", "type", "exists"});
            RegistryExpect re;
            if (!r[i].contains("key"))
                Fail(w, "needs 'key'");
            auto full = FullRegistryPath(Str(r[i]["key"], w + ".key"));
            if (!full)
                Fail(w + ".key", "must begin with HKLM, HKCU, HKCR, HKU or their long names");
            re.key = *full;
            if (r[i].contains("view")) {
                std::string view = Str(r[i]["view"], w + ".view");
                if (view != "32" && view != "64")
                    Fail(w + ".view", "must be \"32\" or \"64\"");
                re.wow32 = view == "32";
            }
            if (r[i].contains("exists"))
                re.exists = Bool(r[i]["exists"], w + ".exists");
            if (r[i].contains("name"))
                re.name = Str(r[i]["name"], w + ".name");
            if (r[i].contains("value")) {
                if (!re.name)
                    Fail(w + ".value", "needs 'name' (use \"\" for the default value)");
                if (!r[i]["value"].is_null())
                    re.value = Str(r[i]["value"], w + ".value");
                else
                    re.exists = false;
            }
            if (r[i].contains("type"))
                re.type = Str(r[i]["type"], w + ".type");
            if (re.name && !r[i].contains("value") && !r[i].contains("exists") && !re.type)
                Fail(w, "a value name needs 'value', 'type' or 'exists'");
            e.registry.push_back(re);
        }
    }
    for (auto [key, target] : {std::pair{"tempRows", &e.tempRows}, std::pair{"rows", &e.rows}}) {
        if (!v.contains(key))
            continue;
        const json& t = v[key];
        std::string tw = where + "." + key;
        if (!t.is_object())
            Fail(tw, "must map table names to row counts");
        for (auto it = t.begin(); it != t.end(); ++it)
            target->emplace_back(it.key(), static_cast<int>(Int(it.value(), tw + "." + it.key())));
    }
    if (v.contains("engineRemoves")) {
        const json& r = v["engineRemoves"];
        if (!r.is_array())
            Fail(where + ".engineRemoves", "must be a list of paths and keys");
        for (size_t i = 0; i < r.size(); ++i) {
            std::string w = where + ".engineRemoves[" + std::to_string(i) + "]";
            std::string item = Str(r[i], w);
            // A key begins with its root; a file or folder with a drive.
            if (item.size() >= 2 && std::toupper(static_cast<unsigned char>(item[0])) == 'H' &&
                std::toupper(static_cast<unsigned char>(item[1])) == 'K') {
                auto full = FullRegistryPath(item);
                if (!full)
                    Fail(w, "a key must begin with HKLM, HKCU, HKCR, HKU or their long names");
                item = *full;
            }
            e.engineRemoves.push_back(item);
        }
    }
    if (v.contains("leakedHandles")) {
        long long n = Int(v["leakedHandles"], where + ".leakedHandles");
        if (n < 0 || n > 1000000)
            Fail(where + ".leakedHandles", "must be a count of handles (0: none left open)");
        e.leakedHandles = static_cast<int>(n);
    }
    return e;
}

std::vector<int> ParseTime(const std::string& text, const std::string& where) {
    std::smatch m;
    static const std::regex re(R"((\d{4})-(\d{2})-(\d{2})[ T](\d{2}):(\d{2}):(\d{2}))");
    if (!std::regex_match(text, m, re))
        Fail(where, "must be \"YYYY-MM-DD HH:MM:SS\"");
    std::vector<int> t;
    for (size_t i = 1; i <= 6; ++i)
        t.push_back(std::stoi(m[i].str()));
    if (t[1] < 1 || t[1] > 12 || t[2] < 1 || t[2] > 31 || t[3] > 23 || t[4] > 59 || t[5] > 59)
        Fail(where, "is not a valid time");
    return t;
}

// Whether a path is written "X:\..." (either separator).
bool IsFullPath(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
           (path[2] == '\\' || path[2] == '/');
}

// A path the run acts on lies on a drive the machine has; one it writes names a file. The place of
// a files entry names its path already; a hook's place does not.
void CheckPath(const std::string& where, const std::string& path, const std::string& drives, bool file,
               bool placeNamesPath) {
    std::string subject = placeNamesPath ? "" : "'" + path + "' ";
    if (!IsFullPath(path))
        Fail(where, subject + "must be a full path such as C:\\Temp\\a.txt");
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    if (drives.find(letter) == std::string::npos)
        Fail(where, subject + "is on drive " + letter + ":, which the machine does not have (add it under " +
                        "'drives' or as drives/" + letter + "/)");
    if (file && (path.size() == 3 || path.back() == '\\' || path.back() == '/'))
        Fail(where, subject + "names a folder, not a file");
}

std::vector<ProgramSetup> Programs(const json& v, const std::string& where) {
    if (!v.is_object())
        Fail(where, "must map programs to {exitCode, runMs, neverEnds, stdout, stderr, launchError}");
    std::vector<ProgramSetup> out;
    for (auto it = v.begin(); it != v.end(); ++it) {
        ProgramSetup p;
        p.program = it.key();
        p.where = where + "." + it.key();
        const json& b = it.value();
        OnlyKeys(b, p.where, {"exitCode", "runMs", "neverEnds", "stdout", "stderr", "launchError"});
        if (b.contains("exitCode"))
            p.exitCode = static_cast<uint32_t>(Int(b["exitCode"], p.where + ".exitCode"));
        if (b.contains("launchError"))
            p.launchError = static_cast<uint32_t>(Int(b["launchError"], p.where + ".launchError"));
        if (b.contains("runMs")) {
            long long ms = Int(b["runMs"], p.where + ".runMs");
            if (ms < 0 || ms > 0xFFFFFFFFll)
                Fail(p.where + ".runMs", "must be 0 to 4294967295 milliseconds");
            p.runMs = static_cast<uint32_t>(ms);
        }
        if (b.contains("neverEnds") && Bool(b["neverEnds"], p.where + ".neverEnds")) {
            if (b.contains("runMs"))
                Fail(p.where, "'runMs' and 'neverEnds' exclude each other");
            p.runMs = std::nullopt;
        }
        if (b.contains("stdout"))
            p.out = Str(b["stdout"], p.where + ".stdout");
        if (b.contains("stderr"))
            p.err = Str(b["stderr"], p.where + ".stderr");
        out.push_back(p);
    }
    return out;
}

std::vector<ServiceSetup> Services(const json& v, const std::string& where) {
    if (!v.is_object())
        Fail(where, "must map service names to {state, stop, stopMs, files}");
    std::vector<ServiceSetup> out;
    for (auto it = v.begin(); it != v.end(); ++it) {
        ServiceSetup svc;
        svc.name = it.key();
        svc.where = where + "." + it.key();
        const json& b = it.value();
        OnlyKeys(b, svc.where, {"state", "stop", "stopMs", "files"});
        if (b.contains("state"))
            svc.state = static_cast<uint32_t>(Named(b["state"], svc.where + ".state",
                                                    {{"stopped", 1},
                                                     {"startPending", 2},
                                                     {"stopPending", 3},
                                                     {"running", 4},
                                                     {"continuePending", 5},
                                                     {"pausePending", 6},
                                                     {"paused", 7}}));
        if (svc.state < 1 || svc.state > 7)
            Fail(svc.where + ".state", "must be 1 to 7");
        if (b.contains("stop"))
            svc.stop = static_cast<int>(
                Named(b["stop"], svc.where + ".stop", {{"afterMs", 0}, {"never", 1}, {"exception", 2}}));
        if (b.contains("stopMs")) {
            long long ms = Int(b["stopMs"], svc.where + ".stopMs");
            if (ms < 0 || ms > 0xFFFFFFFFll)
                Fail(svc.where + ".stopMs", "must be 0 to 4294967295 milliseconds");
            svc.stopMs = static_cast<uint32_t>(ms);
        }
        if (b.contains("files")) {
            if (!b["files"].is_array())
                Fail(svc.where + ".files", "must be a list of full paths");
            for (size_t i = 0; i < b["files"].size(); ++i)
                svc.files.push_back(Str(b["files"][i], svc.where + ".files[" + std::to_string(i) + "]"));
        }
        out.push_back(svc);
    }
    return out;
}

std::map<std::string, std::string> StringMap(const json& v, const std::string& where) {
    if (!v.is_object())
        Fail(where, "must be an object of strings");
    std::map<std::string, std::string> out;
    for (auto it = v.begin(); it != v.end(); ++it)
        out[it.key()] = Str(it.value(), where + "." + it.key());
    return out;
}

} // namespace

const char* ModeName(Mode mode) {
    switch (mode) {
    case Mode::Immediate:
        return "immediate";
    case Mode::Deferred:
        return "deferred";
    case Mode::Rollback:
        return "rollback";
    case Mode::Commit:
        return "commit";
    }
    return "?";
}

std::optional<Mode> ParseMode(const std::string& text) {
    for (Mode m : {Mode::Immediate, Mode::Deferred, Mode::Rollback, Mode::Commit}) {
        if (Upper(text) == Upper(ModeName(m)))
            return m;
    }
    return std::nullopt;
}

int RunModeOf(Mode mode) {
    switch (mode) {
    case Mode::Deferred:
        return 16;
    case Mode::Rollback:
        return 17;
    case Mode::Commit:
        return 18;
    case Mode::Immediate:
        break;
    }
    return 0;
}

bool TextMatch::Matches(const std::string& line) const {
    if (regex)
        return std::regex_search(line, std::regex(text));
    return line.find(text) != std::string::npos;
}

std::string TextMatch::Describe() const {
    return regex ? "/" + text + "/" : "'" + text + "'";
}

bool Expect::Empty() const {
    return status.empty() && trace.empty() && noTrace.empty() && events.empty() && properties.empty() &&
           files.empty() && registry.empty() && tempRows.empty() && rows.empty() && engineRemoves.empty() &&
           !leakedHandles;
}

std::optional<std::string> FullRegistryPath(const std::string& key) {
    static const std::pair<const char*, const char*> roots[] = {{"HKLM", "HKEY_LOCAL_MACHINE"},
                                                                {"HKCU", "HKEY_CURRENT_USER"},
                                                                {"HKCR", "HKEY_CLASSES_ROOT"},
                                                                {"HKU", "HKEY_USERS"},
                                                                {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"},
                                                                {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},
                                                                {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},
                                                                {"HKEY_USERS", "HKEY_USERS"}};
    size_t slash = key.find('\\');
    std::string root = Upper(key.substr(0, slash));
    for (const auto& [abbrev, full] : roots) {
        if (root == abbrev) {
            std::string rest = slash == std::string::npos ? "" : key.substr(slash + 1);
            while (!rest.empty() && rest.back() == '\\')
                rest.pop_back();
            return rest.empty() ? std::string(full) : std::string(full) + "\\" + rest;
        }
    }
    return std::nullopt;
}

std::string Wow32Path(const std::string& fullKey) {
    static const std::string prefix = "HKEY_LOCAL_MACHINE\\SOFTWARE";
    std::string up = Upper(fullKey);
    if (up.rfind(Upper(prefix), 0) != 0)
        return fullKey;
    if (up.size() > prefix.size() && up[prefix.size()] != '\\')
        return fullKey;
    if (up.rfind(Upper(prefix + "\\Wow6432Node"), 0) == 0)
        return fullKey;
    return fullKey.substr(0, prefix.size()) + "\\Wow6432Node" + fullKey.substr(prefix.size());
}

Scenario ParseScenario(const std::string& jsonText, const std::string& where) {
    json doc;
    try {
        doc = json::parse(jsonText);
    } catch (const nlohmann::json::parse_error& e) {
        throw ScenarioError(where + ": " + e.what());
    }
    const std::string w = where;
    Scenario s;
    s.source = where;
    OnlyKeys(doc, w, {"description",  "properties", "uiLevel",     "modes",   "localTime",       "userName",
                      "computerName", "token",      "environment", "drives",  "files",           "programs",
                      "features",     "components", "products",    "summary", "messageBoxReply", "keepLoaded",
                      "actions",      "expect",     "services"});
    if (doc.contains("description"))
        s.description = Str(doc["description"], w + ".description");
    if (doc.contains("properties"))
        s.properties = StringMap(doc["properties"], w + ".properties");
    if (doc.contains("uiLevel"))
        s.uiLevel = static_cast<int>(Int(doc["uiLevel"], w + ".uiLevel"));
    if (doc.contains("modes")) {
        const json& m = doc["modes"];
        if (!m.is_array())
            Fail(w + ".modes", "must be a list of run modes");
        for (size_t i = 0; i < m.size(); ++i) {
            int mode = RunMode(m[i], w + ".modes[" + std::to_string(i) + "]");
            if (mode >= 16)
                Fail(w + ".modes[" + std::to_string(i) + "]", "deferred modes belong to an action's 'mode'");
            s.modes.push_back(mode);
        }
    }
    if (doc.contains("localTime"))
        s.localTime = ParseTime(Str(doc["localTime"], w + ".localTime"), w + ".localTime");
    if (doc.contains("userName"))
        s.userName = Str(doc["userName"], w + ".userName");
    if (doc.contains("computerName"))
        s.computerName = Str(doc["computerName"], w + ".computerName");
    if (doc.contains("token"))
        s.token = Token(doc["token"], w + ".token");
    if (doc.contains("environment"))
        s.environment = StringMap(doc["environment"], w + ".environment");
    if (doc.contains("drives")) {
        const json& d = doc["drives"];
        if (!d.is_object())
            Fail(w + ".drives", "must map drive letters to {type, label}");
        for (auto it = d.begin(); it != d.end(); ++it) {
            std::string dw = w + ".drives." + it.key();
            if (it.key().size() != 1 || !std::isalpha(static_cast<unsigned char>(it.key()[0])))
                Fail(dw, "must be a drive letter");
            OnlyKeys(it.value(), dw, {"type", "label"});
            DriveSetup drive;
            drive.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(it.key()[0])));
            if (it.value().contains("type"))
                drive.type = static_cast<unsigned>(
                    Named(it.value()["type"], dw + ".type",
                          {{"removable", 2}, {"fixed", 3}, {"remote", 4}, {"cdrom", 5}, {"ramdisk", 6}}));
            if (it.value().contains("label"))
                drive.label = Str(it.value()["label"], dw + ".label");
            s.drives.push_back(drive);
        }
    }
    if (doc.contains("files"))
        s.files = StringMap(doc["files"], w + ".files");
    if (doc.contains("programs"))
        s.programs = Programs(doc["programs"], w + ".programs");
    if (doc.contains("services"))
        s.services = Services(doc["services"], w + ".services");
    for (auto [key, target] : {std::pair{"features", &s.features}, std::pair{"components", &s.components}}) {
        if (!doc.contains(key))
            continue;
        const json& f = doc[key];
        if (!f.is_object())
            Fail(w + "." + key, "must map names to {installed, action}");
        for (auto it = f.begin(); it != f.end(); ++it)
            (*target)[it.key()] = States(it.value(), w + "." + key + "." + it.key());
    }
    if (doc.contains("products")) {
        const json& p = doc["products"];
        if (!p.is_array())
            Fail(w + ".products", "must be a list");
        for (size_t i = 0; i < p.size(); ++i) {
            std::string pw = w + ".products[" + std::to_string(i) + "]";
            OnlyKeys(p[i], pw, {"code", "upgradeCode", "state", "name", "info", "features"});
            if (!p[i].contains("code"))
                Fail(pw, "needs 'code'");
            Product prod;
            prod.code = Str(p[i]["code"], pw + ".code");
            if (p[i].contains("upgradeCode"))
                prod.upgradeCode = Str(p[i]["upgradeCode"], pw + ".upgradeCode");
            if (p[i].contains("state"))
                prod.state = static_cast<int>(Named(p[i]["state"], pw + ".state", kInstallStates));
            if (p[i].contains("name"))
                prod.name = Str(p[i]["name"], pw + ".name");
            if (p[i].contains("info"))
                prod.info = StringMap(p[i]["info"], pw + ".info");
            if (p[i].contains("features")) {
                const json& f = p[i]["features"];
                if (!f.is_object())
                    Fail(pw + ".features", "must map features to states");
                for (auto it = f.begin(); it != f.end(); ++it)
                    prod.features[it.key()] =
                        static_cast<int>(Named(it.value(), pw + ".features." + it.key(), kInstallStates));
            }
            s.products.push_back(prod);
        }
    }
    if (doc.contains("summary")) {
        for (const auto& [pid, value] : StringMap(doc["summary"], w + ".summary")) {
            if (pid.empty() || pid.size() > 4 || pid.find_first_not_of("0123456789") != std::string::npos)
                Fail(w + ".summary." + pid, "must be a summary property number");
            s.summary[static_cast<unsigned>(std::stoul(pid))] = value;
        }
    }
    if (doc.contains("messageBoxReply"))
        s.messageBoxReply = static_cast<int>(Named(doc["messageBoxReply"], w + ".messageBoxReply", kReplies));
    if (doc.contains("keepLoaded"))
        s.keepLoaded = Bool(doc["keepLoaded"], w + ".keepLoaded");
    if (doc.contains("actions")) {
        const json& a = doc["actions"];
        if (!a.is_array())
            Fail(w + ".actions", "must be a list");
        for (size_t i = 0; i < a.size(); ++i)
            s.actions.push_back(ParseAction(a[i], w + ".actions[" + std::to_string(i) + "]"));
    }
    if (doc.contains("expect"))
        s.expect = ParseExpect(doc["expect"], w + ".expect");
    return s;
}

Scenario LoadScenario(const std::string& dir) {
    std::string path = dir + "/scenario.json";
    Scenario s;
    if (auto text = ReadHostFile(path))
        s = ParseScenario(*text, path);
    s.source = path;
    std::error_code ec;
    s.dir = std::filesystem::absolute(dir, ec).string();
    CheckScenarioPaths(s);
    return s;
}

void CheckScenarioPaths(const Scenario& s) {
    std::string drives = "C";
    for (const auto& d : s.drives)
        drives += d.letter;
    std::error_code ec;
    if (!s.dir.empty()) {
        for (const auto& entry : std::filesystem::directory_iterator(s.dir + "/drives", ec)) {
            std::string name = entry.path().filename().string();
            if (name.size() == 1 && entry.is_directory(ec))
                drives += static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        }
    }
    for (const auto& [path, content] : s.files)
        CheckPath(FilePlace(s, path), path, drives, true, true);
    for (const ProgramSetup& p : s.programs) {
        if (p.program.find_first_of("\\/:") != std::string::npos)
            CheckPath(p.where, p.program, drives, true, true);
    }
    for (const ServiceSetup& svc : s.services) {
        for (const std::string& f : svc.files)
            CheckPath(svc.where + ".files", f, drives, true, true);
    }
    for (const auto& step : s.actions) {
        for (const auto& hook : step.hooks) {
            if (hook.op != Hook::Op::Cancel)
                CheckPath(hook.where, hook.path, drives,
                          hook.op == Hook::Op::Write || hook.op == Hook::Op::Append, false);
        }
    }
}

std::string FilePlace(const Scenario& s, const std::string& path) {
    return s.source + ".files." + path;
}

} // namespace hxca
