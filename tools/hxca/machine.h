// Driving the simulated machine: setting it up from a scenario, reading it back, and calling
// actions of the library the way the installer engine does.
#pragma once

#include "run.h"
#include "scenario.h"
#include "snapshot.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace hxca {

// Resets the machine and applies the scenario's folder (drives/, *.reg, tables/) and settings;
// overrides are properties given on the command line. Throws ScenarioError on bad input.
void SetUpMachine(const Scenario& scenario, const std::map<std::string, std::string>& overrides);

Snapshot TakeSnapshot();

// Runs the engine's removal steps on the machine as the run left it (after) and returns what they
// removed: keys, values of keys that stay, files and folders.
std::vector<Change> EngineRemovals(const Snapshot& after);

// Writes the machine into a scenario folder's form: every file and folder under
// dir/drives/<letter>/ and the registry in dir/machine-N.reg, which SetUpMachine applies to a
// later scenario in that folder. Installer data (products, features) is not written.
void SaveMachine(const std::string& dir);

// Loads the library from a simulated temporary copy for each action (the engine's default), or
// once for the whole run when keepLoaded. An action's own message-box reply lasts for that action;
// messageBoxReply is the one restored after it.
class Engine {
  public:
    Engine(std::string hostLibrary, bool keepLoaded, int messageBoxReply);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    ActionRun Run(const ActionStep& step);
    // Events seen so far, tagged with the action that was running.
    const std::vector<EventText>& Events() const { return events_; }
    // Unloads a kept copy and deletes its temporary file.
    void Finish();

  private:
    void* Load(std::string& simPath, std::string& error);
    void Unload(void* module, const std::string& simPath);

    std::string host_;
    bool keep_;
    int boxReply_;
    int copies_ = 0;
    void* kept_ = nullptr;
    std::string keptPath_;
    std::vector<EventText> events_;
    // Filled by hooks, which may fire in any later action too.
    std::shared_ptr<std::vector<std::string>> hookErrors_ = std::make_shared<std::vector<std::string>>();
};

} // namespace hxca
