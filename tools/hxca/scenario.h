// What a scenario folder describes: the machine before the run, the actions to run and what the
// run must show afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace hxca {

// Bad scenario input; the message names the file and the place.
struct ScenarioError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Mode { Immediate, Deferred, Rollback, Commit };
const char* ModeName(Mode mode);
std::optional<Mode> ParseMode(const std::string& text);
int RunModeOf(Mode mode); // MSIRUNMODE value the engine sets for the mode (0 for immediate)

// A text that must (or must not) occur: a substring, or a regular expression searched for.
struct TextMatch {
    std::string text;
    bool regex = false;
    bool Matches(const std::string& line) const;
    std::string Describe() const;
};

// Installer message reply for the nth message of a type (0 = any), counted from the action's start.
struct Reply {
    int type = 0;
    int nth = 1;
    int reply = 0;
};

struct Fault {
    std::string function;
    uint32_t error = 0;
    int nth = 0;
    std::string match;
};

// Another process acting while an action runs: at the nth call of a function, or once the
// virtual clock has advanced atMs past the action's start.
struct Hook {
    std::string function; // empty: timed hook
    int nth = 1;
    uint64_t atMs = 0;
    enum class Op { Write, Append, Remove, Lock, Unlock, Cancel } op = Op::Write;
    std::string path;
    std::string content;
    std::string where; // its place in the scenario, for errors
};

struct ActionExpect {
    std::optional<unsigned> status;
    std::vector<TextMatch> trace;
    std::vector<TextMatch> noTrace;
};

struct ActionStep {
    std::string name; // the engine's name of the row: its CustomActionData property
    // The DLL entry point; empty: the name (a second row of an export has a name of its own).
    std::string entry;
    // The sequence row's condition, decided when the step is reached; false skips the step.
    std::optional<std::string> condition;
    // Not an action: the engine's InstallFinalize, after which every feature and component of the
    // scenario is installed as its action state asked.
    bool installFinalize = false;
    std::string where; // its place in the scenario ("scenario.json.actions[2]"), for errors
    Mode mode = Mode::Immediate;
    // Deferred runs: the value the engine hands over as CustomActionData.
    std::optional<std::string> customActionData;
    // Set just before the action, as dialogs and the engine do between actions; nullopt removes.
    std::map<std::string, std::optional<std::string>> properties;
    std::vector<Reply> replies;
    std::vector<Fault> faults;
    std::vector<Hook> hooks;
    std::optional<int> messageBoxReply;
    ActionExpect expect;
};

// Expected value of a file: existence only, exact content or a match.
struct FileExpect {
    std::string path;
    bool exists = true;
    std::optional<std::string> content;
    std::optional<TextMatch> match;
};

// A registry expectation. The key names its root ("HKLM\..." or "HKEY_LOCAL_MACHINE\..."); wow32
// looks in the 32-bit view. Without a value name it is about the key; value nullopt means absent.
struct RegistryExpect {
    std::string key;
    bool wow32 = false;
    bool exists = true;
    std::optional<std::string> name;
    std::optional<std::string> value;
    std::optional<std::string> type; // "REG_SZ", "REG_DWORD"...
};

struct PropertyExpect {
    std::string name;
    std::optional<std::string> value; // nullopt: not set (absent or empty)
    std::optional<TextMatch> match;
};

struct Expect {
    std::vector<std::pair<std::string, unsigned>> status; // by action name: every run of it
    std::vector<TextMatch> trace;
    std::vector<TextMatch> noTrace;
    std::vector<TextMatch> events;
    std::vector<PropertyExpect> properties;
    std::vector<FileExpect> files;
    std::vector<RegistryExpect> registry;
    std::vector<std::pair<std::string, int>> tempRows; // table -> number of temporary rows
    std::vector<std::pair<std::string, int>> rows;     // table -> number of rows of both kinds
    // Files, folders and registry keys ("HKLM\...", physical path) that the engine's removal steps
    // must remove after the run.
    std::vector<std::string> engineRemoves;
    // Handles of every kind that the actions together leave open; 0 makes any leak a failure.
    std::optional<int> leakedHandles;
    bool Empty() const;
};

struct DriveSetup {
    char letter = 'C';
    unsigned type = 3;
    std::string label;
};

struct Product {
    std::string code;
    std::string upgradeCode;
    int state = 5;
    std::string name;
    std::map<std::string, std::string> info;
    std::map<std::string, int> features;
};

// A program the machine can start: by full path (the file is created too) or by file name (every
// program of that name without a path of its own).
struct ProgramSetup {
    std::string program;
    std::string where; // its place in the scenario, for errors
    uint32_t launchError = 0;
    uint32_t exitCode = 0;
    std::optional<uint32_t> runMs = 0; // nullopt: never ends
    std::string out;
    std::string err;
};

// A service of the service control manager: its state (1 stopped .. 7 paused), what a stop does
// (stopped after stopMs, never, or error 1064) and the files its process holds while not stopped.
struct ServiceSetup {
    std::string name;
    std::string where;
    uint32_t state = 4;
    int stop = 0; // winsim::svc::Service::Stop
    uint32_t stopMs = 0;
    std::vector<std::string> files;
};

struct Scenario {
    std::string dir;    // host folder; empty for a folder-less run
    std::string source; // the name places in error messages start with ("x/scenario.json")
    std::string description;
    std::map<std::string, std::string> properties;
    std::optional<int> uiLevel;
    std::vector<int> modes;
    std::optional<std::vector<int>> localTime; // y, m, d, h, min, s
    std::optional<std::string> userName;
    std::optional<std::string> computerName;
    // The process token's preset, as winsim::token::Preset: 0 elevated administrator (the
    // machine's default), 1 filtered administrator, 2 standard user, 3 LocalSystem.
    std::optional<int> token;
    std::map<std::string, std::string> environment;
    std::vector<DriveSetup> drives;
    std::map<std::string, std::string> files; // simulated path -> content
    std::vector<ProgramSetup> programs;
    std::vector<ServiceSetup> services;
    std::map<std::string, std::pair<int, int>> features;   // installed, action
    std::map<std::string, std::pair<int, int>> components; // installed, action
    std::vector<Product> products;
    std::map<unsigned, std::string> summary;
    std::optional<int> messageBoxReply;
    bool keepLoaded = false;
    std::vector<ActionStep> actions;
    Expect expect;
};

// Parses scenario.json text; where names the file in error messages.
Scenario ParseScenario(const std::string& jsonText, const std::string& where = "scenario.json");
// Reads dir/scenario.json (optional: an absent file gives an empty scenario) and checks its paths.
Scenario LoadScenario(const std::string& dir);

// Checks the paths the run writes (files, hooks): each is a full path of a file on a drive the
// machine will have (C:, the drives block, a drives/<letter> folder of dir). Throws ScenarioError.
void CheckScenarioPaths(const Scenario& scenario);
// The place of a files entry in error messages.
std::string FilePlace(const Scenario& scenario, const std::string& path);

// "HKLM\X" -> "HKEY_LOCAL_MACHINE\X"; nullopt when the root is unknown.
std::optional<std::string> FullRegistryPath(const std::string& key);
// The physical path of a key of the 32-bit view (HKLM\SOFTWARE\X -> HKLM\SOFTWARE\Wow6432Node\X).
std::string Wow32Path(const std::string& fullKey);

} // namespace hxca
