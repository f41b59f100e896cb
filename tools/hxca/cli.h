// Command line of hxca.
#pragma once

#include "scenario.h"

#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace hxca {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Options {
    std::string scenarioDir; // empty: a bare machine
    std::string library;     // empty: libzebiwicn.so beside the executable
    std::vector<std::string> actions;
    std::optional<Mode> mode; // for the actions given with --action
    std::map<std::string, std::string> properties;
    bool keepLoaded = false;
    bool json = false;
    std::string saveMachine; // folder for the machine after the run (drives/, *.reg); empty: none
    bool help = false;
};

Options ParseArgs(const std::vector<std::string>& args);
const char* Usage();

// The steps to run: the scenario's, or those named on the command line (taking a scenario
// step of the same name with its settings when there is one).
std::vector<ActionStep> StepsToRun(const Scenario& scenario, const Options& options);

// Exit codes: 0 ran and met every expectation, 1 an expectation failed, 2 bad input or an
// action that could not be called.
int RunHxca(const Options& options, const std::string& defaultLibrary, std::ostream& out, std::ostream& err);

} // namespace hxca
