#include "cli.h"

#include "condition.h"
#include "machine.h"
#include "report.h"

#include <msi.h>
#include <winsim/sim.h>

#include <filesystem>

namespace hxca {

namespace {

// What the engine's script and InstallFinalize leave: the Registry rows of the components being
// installed written, the requested states installed, and the product registered with its
// features' states.
void FinalizeStates(const Scenario& scenario) {
    winsim::msi::RunWriteRegistryValues();
    const std::string code = winsim::msi::Property("ProductCode").value_or("");
    if (!code.empty())
        winsim::msi::AddProduct(code, winsim::msi::Property("UpgradeCode").value_or(""), INSTALLSTATE_DEFAULT,
                                winsim::msi::Property("ProductName").value_or(""));
    for (const auto& [name, states] : scenario.features) {
        auto now = winsim::msi::Feature(name);
        if (now && now->second != INSTALLSTATE_UNKNOWN) {
            winsim::msi::AddFeature(name, now->second, now->second);
            if (!code.empty())
                winsim::msi::SetProductFeature(code, name, now->second);
        }
    }
    for (const auto& [name, states] : scenario.components) {
        auto now = winsim::msi::Component(name);
        if (now && now->second != INSTALLSTATE_UNKNOWN)
            winsim::msi::AddComponent(name, now->second, now->second);
    }
}

} // namespace

const char* Usage() {
    return "usage: hxca [SCENARIO_DIR] [options]\n"
           "       hxca log [options] FILE...   (hxca log --help: reading msiexec logs and traces)\n"
           "Runs custom actions of the library on the simulated machine set up from SCENARIO_DIR\n"
           "(scenario.json, *.reg, tables/*.idt, drives/<letter>/...) and shows their trace, status\n"
           "and what changed.\n"
           "  --library PATH     the library's native shared object (default: libzebiwicn.so beside hxca)\n"
           "  --action NAME      run this action instead of the scenario's list (repeatable)\n"
           "  --mode MODE        run the --action actions immediate, deferred, rollback or commit\n"
           "  -p NAME=VALUE      set a property before the first action (repeatable)\n"
           "  --keep-loaded      keep one copy of the library loaded for the whole run\n"
           "  --json             report as JSON\n"
           "  --save-machine DIR write the machine as the run and the engine's removal steps left it\n"
           "                     into DIR (drives/<letter>/..., machine-N.reg), for a later scenario\n"
           "Exit status: 0 all expectations met, 1 an expectation failed, 2 bad input or an action\n"
           "that could not be run. Expectations are checked only when the scenario's own actions run.\n";
}

Options ParseArgs(const std::vector<std::string>& args) {
    Options o;
    auto value = [&](size_t& i) -> const std::string& {
        if (i + 1 >= args.size())
            throw UsageError(args[i] + " needs a value");
        return args[++i];
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--library") {
            o.library = value(i);
        } else if (a == "--action") {
            o.actions.push_back(value(i));
        } else if (a == "--mode") {
            o.mode = ParseMode(value(i));
            if (!o.mode)
                throw UsageError("--mode must be immediate, deferred, rollback or commit");
        } else if (a == "-p") {
            const std::string& pair = value(i);
            size_t eq = pair.find('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError("-p needs NAME=VALUE, got '" + pair + "'");
            o.properties[pair.substr(0, eq)] = pair.substr(eq + 1);
        } else if (a == "--keep-loaded") {
            o.keepLoaded = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--save-machine") {
            o.saveMachine = value(i);
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else if (o.scenarioDir.empty()) {
            o.scenarioDir = a;
        } else {
            throw UsageError("more than one scenario folder: " + o.scenarioDir + ", " + a);
        }
    }
    if (o.mode && o.actions.empty())
        throw UsageError("--mode goes with --action");
    if (!o.help && o.scenarioDir.empty() && o.actions.empty())
        throw UsageError("give a scenario folder, or --action NAME for a bare machine");
    return o;
}

std::vector<ActionStep> StepsToRun(const Scenario& scenario, const Options& options) {
    if (options.actions.empty())
        return scenario.actions;
    std::vector<ActionStep> steps;
    for (const std::string& name : options.actions) {
        ActionStep step;
        step.name = name;
        for (const auto& s : scenario.actions) {
            if (s.name == name) {
                step = s;
                break;
            }
        }
        if (options.mode)
            step.mode = *options.mode;
        step.expect = {};
        steps.push_back(step);
    }
    return steps;
}

int RunHxca(const Options& options, const std::string& defaultLibrary, std::ostream& out, std::ostream& err) {
    Scenario scenario;
    try {
        if (!options.scenarioDir.empty()) {
            std::error_code ec;
            if (!std::filesystem::is_directory(options.scenarioDir, ec)) {
                err << "hxca: " << options.scenarioDir << ": not a folder\n";
                return 2;
            }
            scenario = LoadScenario(options.scenarioDir);
        }
    } catch (const ScenarioError& e) {
        err << "hxca: " << e.what() << "\n";
        return 2;
    }
    std::vector<ActionStep> steps = StepsToRun(scenario, options);
    if (steps.empty()) {
        err << "hxca: no actions to run\n";
        return 2;
    }
    std::string library = options.library.empty() ? defaultLibrary : options.library;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(library, ec)) {
        err << "hxca: library " << library << " not found (use --library)\n";
        return 2;
    }
    library = std::filesystem::absolute(library, ec).string();

    try {
        SetUpMachine(scenario, options.properties);
    } catch (const ScenarioError& e) {
        err << "hxca: " << e.what() << "\n";
        return 2;
    }

    RunResult result;
    Snapshot before = TakeSnapshot();
    bool allRan = true;
    {
        Engine engine(library, scenario.keepLoaded || options.keepLoaded,
                      scenario.messageBoxReply.value_or(1));
        for (const auto& step : steps) {
            try {
                if (step.installFinalize) {
                    FinalizeStates(scenario);
                    if (!options.json)
                        out << "== " << step.name
                            << " (engine): features and components installed as requested\n\n";
                    continue;
                }
                if (step.condition && !EvaluateCondition(*step.condition)) {
                    if (!options.json)
                        out << "== " << step.name << " skipped: condition '" << *step.condition
                            << "' is false\n\n";
                    continue;
                }
                result.actions.push_back(engine.Run(step));
            } catch (const std::exception& e) {
                err << "hxca: " << (step.where.empty() ? "--action " + step.name : step.where) << ": "
                    << e.what() << "\n";
                return 2;
            }
            const ActionRun& run = result.actions.back();
            allRan &= run.ran;
            if (!options.json)
                PrintAction(out, run);
            // A hook that could not act leaves a run that shows nothing: stop after this action.
            for (const std::string& e : run.hookErrors)
                err << "hxca: " << e << "\n";
            if (!run.hookErrors.empty())
                return 2;
        }
        engine.Finish();
        result.events = engine.Events();
    }
    result.after = TakeSnapshot();
    result.changes = Diff(before, result.after);
    result.engineRemovals = EngineRemovals(result.after);
    if (!options.saveMachine.empty()) {
        try {
            SaveMachine(options.saveMachine);
        } catch (const std::exception& e) {
            err << "hxca: --save-machine " << options.saveMachine << ": " << e.what() << "\n";
            return 2;
        }
    }

    // Expectations describe the scenario's own list of actions; a run of chosen actions only shows.
    std::optional<CheckResult> check;
    if (options.actions.empty())
        check = CheckExpectations(scenario.expect, result);
    if (options.json)
        out << ReportJson(result, check);
    else
        PrintSummary(out, result, check);
    if (!allRan)
        return 2;
    return check && !check->failures.empty() ? 1 : 0;
}

} // namespace hxca
