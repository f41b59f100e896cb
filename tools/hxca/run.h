// What one run of a scenario produced, and the checks of its expectations.
#pragma once

#include "scenario.h"
#include "snapshot.h"

#include <map>
#include <string>
#include <vector>

namespace hxca {

struct MessageText {
    int type = 0;
    std::string text;
};

struct EventText {
    std::string action; // the action that was running
    std::string kind;
    std::string text;
};

// Handles an action left open, by kind.
struct OpenHandles {
    int installer = 0; // records, views, databases, summary information
    int kernel = 0;    // files, searches, mutexes, events, ...
    int registry = 0;  // keys
    int modules = 0;   // library loads not freed
    int Total() const { return installer + kernel + registry + modules; }
};

struct ActionRun {
    std::string name;
    Mode mode = Mode::Immediate;
    bool ran = false;
    std::string error; // why the action could not be called
    unsigned status = 0;
    OpenHandles leaked;
    std::vector<std::string> hookErrors; // what the scenario's other process could not do
    std::vector<std::string> trace;      // INFO messages: the installer log's lines
    std::vector<MessageText> messages;   // every other message sent to the installer
    std::map<std::string, int> calls;    // the substitute's calls the action made, by function
    ActionExpect expect;
};

struct RunResult {
    std::vector<ActionRun> actions;
    std::vector<EventText> events;
    std::vector<Change> changes;
    Snapshot after;
    // What the engine's RemoveRegistryValues and RemoveFiles steps would take away after the run
    // (keys, values of keys that stay, files and folders), from the rows and component states.
    std::vector<Change> engineRemovals;
};

struct CheckResult {
    int checks = 0;
    std::vector<std::string> failures;
};

// Checks the per-action expectations of the runs and the scenario's expect block.
CheckResult CheckExpectations(const Expect& expect, const RunResult& run);

const char* MessageTypeName(int type);

} // namespace hxca
