// zeb_sweep: every action of zebiwicn.def on small machines, each call it makes failed in turn,
// and the invariants checked after each run. Runs happen in child processes, so a crash or a
// sanitizer report fails the run it happened in and the sweep goes on.
#include "zebsweep.h"

#include <machine.h>
#include <report.h>
#include <winsim/sim.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>

#if defined(__SANITIZE_ADDRESS__)
#define ZEB_SWEEP_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEB_SWEEP_LEAK_CHECK 1
#endif
#endif
#ifdef ZEB_SWEEP_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

namespace zebsweep {
namespace {

// Faulted runs the normal test run tries; beyond it a seeded sample of this many is taken, and
// scripts/sweep.sh tries every one. A run took 6 ms of processor time in the sanitizer build
// (2 ms without) when five actions made 3938 runs: 8000 runs stay well within 5 minutes on two
// busy cores, with room for actions that make more calls.
const size_t kTestRunCaseBudget = 8000;
const uint32_t kSampleSeed = 20260115;
// A run that takes longer is hung: every wait of the machine is virtual.
const unsigned kRunSeconds = 60;
// Runs one child process makes before the next takes over: bounds what its memory grows to.
const size_t kItemsPerChild = 250;
// Failures whose trace is shown in full.
const int kTracesShown = 5;

const char kBareMachine[] = "bare";
const char kGuardText[] = "***CA execute error; run mode must not be '";
const char kValueListPath[] = "C:\\Temp\\zebsweep.txt";

struct Options {
    std::string library;
    std::string def;
    std::string examples;
    std::string builtExamples; // the build's complete copies of folders marked from-build.md
    bool all = false;
    size_t budget = kTestRunCaseBudget;
    std::vector<std::string> actions;
    std::string machine;
    std::optional<hxca::Mode> mode;
    std::optional<hxca::Fault> fault;
    std::string summaryFile; // the summary lines are also written here
};

struct Machine {
    std::string name;
    hxca::Scenario scenario;
    const SetupEntry* setup = nullptr;
};

struct Group {
    std::string action;
    size_t machine = 0;
    hxca::Mode mode = hxca::Mode::Immediate;
    bool skipWhenGuarded = false; // a deferred run the action's guard refuses is not swept
};

struct Case {
    size_t group = 0;
    hxca::Fault fault; // nth 0: no fault
};

struct Outcome {
    bool done = false;
    unsigned status = 0;
    bool guarded = false;
    std::map<std::string, int> calls;
    std::vector<Broken> broken;
    std::vector<std::string> trace; // only when something broke
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(path + ": cannot read");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- Setting a run up ----------------------------------------------------------------------

void PrepareMachine(const Options& options, const Machine& machine, Setup& setup) {
    if (machine.setup == nullptr && !machine.scenario.dir.empty()) {
        hxca::SetUpMachine(machine.scenario, {});
        return;
    }
    hxca::SetUpMachine(hxca::Scenario{}, {{"ProductName", "HX"}});
    setup.library = options.library;
    if (machine.setup != nullptr)
        machine.setup->fn(setup);
}

// Every property of the session as a value list, as the hand-over file would carry it.
std::string SessionValueList() {
    std::string list;
    for (const auto& [name, value] : winsim::msi::Properties()) {
        if (name.find_first_of(";=\r\n") != std::string::npos ||
            value.find_first_of(";\r\n") != std::string::npos)
            continue;
        list += name + "=" + value + ";";
    }
    return list;
}

hxca::ActionStep StepFor(const Machine& machine, const Group& group, const Setup& setup) {
    hxca::ActionStep step;
    step.name = group.action;
    for (const auto& s : machine.scenario.actions)
        if (s.name == group.action) {
            step = s;
            break;
        }
    step.expect = {};
    step.faults.clear(); // the sweep's fault is the only one
    const bool wasDeferred = step.mode != hxca::Mode::Immediate;
    step.mode = group.mode;
    if (group.mode != hxca::Mode::Immediate && (!wasDeferred || !step.customActionData)) {
        winsim::fs::WriteFile(kValueListPath, setup.valueList.value_or(SessionValueList()));
        step.customActionData = kValueListPath;
    }
    return step;
}

Outcome RunOne(const Options& options, const Machine& machine, const Group& group, const hxca::Fault& fault) {
    Setup setup;
    PrepareMachine(options, machine, setup);
    hxca::ActionStep step = StepFor(machine, group, setup);
    if (fault.nth > 0)
        step.faults = {fault};
    hxca::Engine engine(options.library, false, machine.scenario.messageBoxReply.value_or(1));
    hxca::ActionRun run = engine.Run(step);
    engine.Finish();

    Outcome o;
    o.done = true;
    o.status = run.status;
    o.calls = run.calls;
    o.broken = CheckRun(run, fault.nth > 0 ? fault.function : "");
    for (const std::string& line : run.trace)
        o.guarded |= TraceText(line).rfind(kGuardText, 0) == 0;
    if (!o.broken.empty())
        o.trace = run.trace;
    return o;
}

// ---- Child processes -----------------------------------------------------------------------

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

std::string Serialize(size_t item, const Outcome& o) {
    std::ostringstream s;
    s << "I " << item << "\nS " << o.status << "\n";
    if (o.guarded)
        s << "G\n";
    for (const auto& [function, count] : o.calls)
        s << "C " << count << " " << function << "\n";
    for (const Broken& b : o.broken)
        s << "B " << InvariantName(b.invariant) << " " << OneLine(b.what) << "\n";
    for (const std::string& line : o.trace)
        s << "T " << OneLine(line) << "\n";
    s << ".\n";
    return s.str();
}

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            _exit(3);
        done += static_cast<size_t>(n);
    }
}

// TRUE when the sanitizer found memory the run lost (it printed the report).
bool LostMemory() {
#ifdef ZEB_SWEEP_LEAK_CHECK
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

std::string DescribeEnd(int status) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGALRM)
            return "no end within " + std::to_string(kRunSeconds) + " s";
        return std::string("killed by signal ") + std::to_string(sig) + " (" + strsignal(sig) + ")";
    }
    return "the process ended with exit status " + std::to_string(WEXITSTATUS(status)) +
           " (a sanitizer report is above)";
}

Outcome Parse(std::istringstream& in, size_t& item, bool& lost) {
    Outcome o;
    std::string line;
    while (std::getline(in, line)) {
        const std::string rest = line.size() > 2 ? line.substr(2) : "";
        switch (line.empty() ? ' ' : line[0]) {
        case 'I':
            item = std::stoul(rest);
            break;
        case 'S':
            o.status = static_cast<unsigned>(std::stoul(rest));
            break;
        case 'G':
            o.guarded = true;
            break;
        case 'C': {
            const size_t space = rest.find(' ');
            o.calls[rest.substr(space + 1)] = std::stoi(rest.substr(0, space));
            break;
        }
        case 'B': {
            const size_t space = rest.find(' ');
            o.broken.push_back({*ParseInvariant(rest.substr(0, space)), rest.substr(space + 1)});
            break;
        }
        case 'T':
            o.trace.push_back(rest);
            break;
        case 'L':
            lost = true;
            break;
        case '.':
            o.done = true;
            return o;
        default:
            break;
        }
    }
    return o;
}

// Runs work(items[...]) in child processes, a chunk per child. A child that dies takes only the
// item it was running with it, which is reported as a crash; the next child goes on after it.
// Lost memory is looked for once per chunk (the check is slow), and a chunk that lost some is
// run again item by item to name the runs that lost it.
void RunChildren(const std::vector<size_t>& items, const std::function<Outcome(size_t)>& work, bool checkEach,
                 std::vector<Outcome>& out) {
    size_t next = 0;
    while (next < items.size()) {
        const size_t end = std::min(items.size(), next + kItemsPerChild);
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error("pipe failed");
        std::fflush(stdout);
        std::cout.flush();
        const pid_t pid = fork();
        if (pid < 0)
            throw std::runtime_error("fork failed");
        if (pid == 0) {
            ::close(fds[0]);
            for (size_t pos = next; pos < end; ++pos) {
                alarm(kRunSeconds);
                Outcome o;
                try {
                    o = work(items[pos]);
                } catch (const std::exception& e) {
                    o.broken.push_back({Invariant::crash, std::string("could not run: ") + e.what()});
                }
                alarm(0);
                // The report names every loss still there, so a fresh child goes on after one.
                const bool lost = checkEach && LostMemory();
                if (lost)
                    o.broken.push_back({Invariant::crash, "memory lost (LeakSanitizer report above)"});
                WriteAll(fds[1], Serialize(pos, o));
                if (lost)
                    _exit(0);
            }
            if (!checkEach && LostMemory())
                WriteAll(fds[1], "L\n");
            _exit(0);
        }
        ::close(fds[1]);
        std::string buffer;
        char chunk[65536];
        ssize_t got;
        while ((got = ::read(fds[0], chunk, sizeof(chunk))) > 0)
            buffer.append(chunk, static_cast<size_t>(got));
        ::close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);

        const size_t first = next;
        std::istringstream in(buffer);
        bool lost = false;
        while (in.peek() != EOF) {
            size_t pos = items.size();
            Outcome o = Parse(in, pos, lost);
            if (o.done && pos >= next && pos < end) {
                out[items[pos]] = std::move(o);
                next = pos + 1;
            }
        }
        const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (next < end && !clean) {
            out[items[next]].done = true;
            out[items[next]].broken.push_back({Invariant::crash, DescribeEnd(status)});
            ++next;
        }
        if (lost)
            RunChildren(std::vector<size_t>(items.begin() + first, items.begin() + next), work, true, out);
    }
}

std::vector<Outcome> RunIsolated(size_t n, const std::function<Outcome(size_t)>& work) {
    std::vector<Outcome> out(n);
    std::vector<size_t> items(n);
    for (size_t i = 0; i < n; ++i)
        items[i] = i;
    RunChildren(items, work, false, out);
    return out;
}

// ---- The sweep -----------------------------------------------------------------------------

std::string Describe(const std::vector<Machine>& machines, const Group& g, const hxca::Fault& f) {
    std::string text = g.action + " on " + machines[g.machine].name + " (" + hxca::ModeName(g.mode) + ")";
    if (f.nth > 0)
        text += ", call " + std::to_string(f.nth) + " of " + f.function + " failing with " +
                std::to_string(static_cast<int32_t>(f.error));
    else
        text += ", no fault";
    return text;
}

std::string Rerun(const std::vector<Machine>& machines, const Group& g, const hxca::Fault& f) {
    std::string text = "scripts/sweep.sh --action " + g.action + " --machine \"" + machines[g.machine].name +
                       "\" --mode " + hxca::ModeName(g.mode);
    if (f.nth > 0)
        text += " --fault '" + f.function + ":" + std::to_string(static_cast<int32_t>(f.error)) + ":" +
                std::to_string(f.nth) + "'";
    return text;
}

std::vector<Machine> Machines(const Options& options, const std::string& action) {
    std::vector<Machine> machines;
    std::error_code ec;
    if (!options.examples.empty()) {
        std::vector<std::string> dirs;
        for (const auto& entry : std::filesystem::directory_iterator(options.examples, ec))
            if (entry.is_directory(ec))
                dirs.push_back(entry.path().string());
        std::sort(dirs.begin(), dirs.end());
        for (const std::string& dir : dirs) {
            Machine m;
            const std::string leaf = std::filesystem::path(dir).filename().string();
            m.name = "examples/" + leaf;
            // A folder the build completes (it needs build outputs) runs from the build's copy.
            std::string from = dir;
            if (std::filesystem::exists(std::filesystem::path(dir) / "from-build.md", ec)) {
                if (options.builtExamples.empty())
                    continue;
                from = (std::filesystem::path(options.builtExamples) / leaf).string();
            }
            m.scenario = hxca::LoadScenario(from);
            machines.push_back(std::move(m));
        }
    }
    Machine bare;
    bare.name = kBareMachine;
    machines.push_back(std::move(bare));
    for (const SetupEntry& s : Setups())
        if (s.action == action) {
            Machine m;
            m.name = "setup '" + s.name + "'";
            m.setup = &s;
            machines.push_back(std::move(m));
        }
    return machines;
}

std::vector<hxca::Mode> ModesFor(const Options& options, const Machine& machine, const std::string& action,
                                 bool& fromSetup) {
    fromSetup = false;
    if (machine.setup != nullptr) {
        Setup setup;
        PrepareMachine(options, machine, setup);
        if (!setup.modes.empty()) {
            fromSetup = true;
            return setup.modes;
        }
    }
    std::vector<hxca::Mode> modes = {hxca::Mode::Immediate, hxca::Mode::Deferred};
    for (const auto& s : machine.scenario.actions)
        if (s.name == action && std::find(modes.begin(), modes.end(), s.mode) == modes.end())
            modes.push_back(s.mode);
    return modes;
}

struct Tally {
    std::map<Invariant, int> failures;
    std::map<std::pair<std::string, Invariant>, int> allowed;
    int tracesShown = 0;
};

const Allowance* AllowanceFor(const std::string& action, Invariant invariant) {
    for (const Allowance& a : Allowances())
        if (a.action == action && a.invariant == invariant)
            return &a;
    return nullptr;
}

void Judge(const std::vector<Machine>& machines, const Group& g, const hxca::Fault& f, const Outcome& o,
           Tally& tally) {
    bool failed = false;
    for (const Broken& b : o.broken) {
        if (AllowanceFor(g.action, b.invariant) != nullptr) {
            tally.allowed[{g.action, b.invariant}]++;
            continue;
        }
        tally.failures[b.invariant]++;
        std::cout << "FAIL " << InvariantName(b.invariant) << ": " << Describe(machines, g, f) << ": "
                  << b.what << "\n";
        failed = true;
    }
    if (!failed)
        return;
    std::cout << "  rerun: " << Rerun(machines, g, f) << "\n";
    if (tally.tracesShown++ < kTracesShown && !o.trace.empty()) {
        for (const std::string& line : o.trace)
            std::cout << "  | " << line << "\n";
    }
}

int Sweep(const Options& options) {
    std::vector<std::string> actions = ReadDefExports(ReadText(options.def));
    if (!options.actions.empty()) {
        for (const std::string& a : options.actions)
            if (std::find(actions.begin(), actions.end(), a) == actions.end())
                throw std::runtime_error("'" + a + "' is not an export of " + options.def);
        actions = options.actions;
    }
    for (const SetupEntry& s : Setups())
        if (std::find(actions.begin(), actions.end(), s.action) == actions.end() && options.actions.empty())
            throw std::runtime_error("setup '" + s.name + "' is for " + s.action + ", which " + options.def +
                                     " does not export");

    // Machines per action; the groups are an action on a machine in one mode.
    std::vector<Machine> machines;
    std::vector<Group> groups;
    std::set<std::string> machineNames;
    for (const std::string& action : actions) {
        for (Machine& m : Machines(options, action)) {
            if (!options.machine.empty() && m.name != options.machine)
                continue;
            machineNames.insert(m.name);
            machines.push_back(std::move(m));
            bool fromSetup = false;
            for (hxca::Mode mode : ModesFor(options, machines.back(), action, fromSetup)) {
                if (options.mode && mode != *options.mode)
                    continue;
                groups.push_back(
                    {action, machines.size() - 1, mode, !fromSetup && mode == hxca::Mode::Deferred});
            }
        }
    }
    if (groups.empty())
        throw std::runtime_error("nothing to run: no action, machine and mode match");

    // The unfaulted run of each group counts the calls to fail.
    std::vector<Outcome> baselines = RunIsolated(groups.size(), [&](size_t i) {
        return RunOne(options, machines[groups[i].machine], groups[i], hxca::Fault{});
    });
    Tally tally;
    std::map<std::string, std::string> notes;
    std::vector<Case> cases;
    size_t runs = 0;
    for (size_t gi = 0; gi < groups.size(); ++gi) {
        const Group& g = groups[gi];
        const Outcome& base = baselines[gi];
        Judge(machines, g, hxca::Fault{}, base, tally);
        if (!base.done || (g.skipWhenGuarded && base.guarded))
            continue;
        ++runs;
        if (options.fault) {
            cases.push_back({gi, *options.fault});
            continue;
        }
        for (const auto& [function, count] : base.calls) {
            const FaultErrors fe = ErrorsFor(function);
            if (!fe.note.empty() && !fe.errors.empty())
                notes[function] = fe.note;
            for (uint32_t error : fe.errors)
                for (int k = 1; k <= count; ++k)
                    cases.push_back({gi, hxca::Fault{function, error, k, ""}});
        }
    }

    const size_t budget = options.all || options.fault ? cases.size() : options.budget;
    const std::vector<size_t> chosen = SampleCases(cases.size(), budget, kSampleSeed);
    std::vector<Outcome> outcomes = RunIsolated(chosen.size(), [&](size_t i) {
        const Case& c = cases[chosen[i]];
        return RunOne(options, machines[groups[c.group].machine], groups[c.group], c.fault);
    });
    for (size_t i = 0; i < chosen.size(); ++i) {
        const Case& c = cases[chosen[i]];
        Judge(machines, groups[c.group], c.fault, outcomes[i], tally);
    }

    std::ostringstream summary;
    summary << "== Sweep: " << actions.size() << " actions on " << machineNames.size() << " machines, "
            << runs << " runs swept; " << actions.size() << " actions x " << chosen.size() << " faults tried";
    if (chosen.size() < cases.size())
        summary << " (a sample of " << cases.size() << ", seed " << kSampleSeed
                << "; scripts/sweep.sh tries all)";
    summary << "\n== Failures by invariant:";
    int failures = 0;
    for (Invariant inv : {Invariant::crash, Invariant::leak, Invariant::status, Invariant::silent}) {
        summary << " " << InvariantName(inv) << " " << tally.failures[inv]
                << (inv == Invariant::silent ? "" : ",");
        failures += tally.failures[inv];
    }
    summary << "\n";
    for (const auto& [key, count] : tally.allowed)
        summary << "== Allowed: " << key.first << " " << InvariantName(key.second) << " in " << count
                << " runs: " << AllowanceFor(key.first, key.second)->reason << "\n";
    for (const auto& [function, note] : notes)
        summary << "== " << function << ": " << note << "\n";
    std::cout << summary.str();
    if (!options.summaryFile.empty()) {
        std::ofstream file(options.summaryFile);
        file << summary.str();
    }
    return failures == 0 ? 0 : 1;
}

const char kUsage[] =
    "usage: zeb_sweep --library PATH --def PATH [--examples DIR [--built-examples DIR]] [options]\n"
    "Runs every export of the .def file on a bare session, the example machines and its registered\n"
    "setups, fails each call it makes in turn and checks: no crash, nothing left open, status 0,\n"
    "1602 or 1603, and no 1603 without a *** line.\n"
    "  --built-examples DIR  where the build completes example folders marked from-build.md\n"
    "  --all              try every fault (default: a fixed sample of at most the test run's budget)\n"
    "  --budget N         try at most N faults\n"
    "  --action NAME      only this action (repeatable)\n"
    "  --machine NAME     only this machine ('bare', 'examples/x', \"setup 'name'\")\n"
    "  --mode MODE        only this mode (immediate, deferred, rollback, commit)\n"
    "  --fault F:ERROR:N  only the N-th call of F failing with ERROR\n"
    "  --summary FILE     also write the summary lines to FILE\n"
    "Exit status: 0 every invariant held, 1 one broke, 2 bad input.\n";

Options ParseArgs(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::invalid_argument(a + " needs a value");
            return argv[++i];
        };
        if (a == "--library")
            o.library = value();
        else if (a == "--def")
            o.def = value();
        else if (a == "--examples")
            o.examples = value();
        else if (a == "--built-examples")
            o.builtExamples = value();
        else if (a == "--summary")
            o.summaryFile = value();
        else if (a == "--all")
            o.all = true;
        else if (a == "--budget")
            o.budget = std::stoul(value());
        else if (a == "--action")
            o.actions.push_back(value());
        else if (a == "--machine")
            o.machine = value();
        else if (a == "--mode") {
            o.mode = hxca::ParseMode(value());
            if (!o.mode)
                throw std::invalid_argument("--mode must be immediate, deferred, rollback or commit");
        } else if (a == "--fault") {
            // The function's own name may hold a colon ("CopyFileExA:chunk").
            const std::string text = value();
            const size_t last = text.rfind(':');
            const size_t middle =
                last == std::string::npos || last == 0 ? std::string::npos : text.rfind(':', last - 1);
            if (middle == std::string::npos || middle == 0)
                throw std::invalid_argument("--fault needs FUNCTION:ERROR:N, got '" + text + "'");
            hxca::Fault f;
            f.function = text.substr(0, middle);
            f.error = static_cast<uint32_t>(std::stol(text.substr(middle + 1, last - middle - 1)));
            f.nth = std::stoi(text.substr(last + 1));
            if (f.nth < 1)
                throw std::invalid_argument("--fault: N counts calls from 1");
            o.fault = f;
        } else
            throw std::invalid_argument("unknown option " + a);
    }
    if (o.library.empty() || o.def.empty())
        throw std::invalid_argument("--library and --def are needed");
    o.library = std::filesystem::absolute(o.library).string();
    return o;
}

} // namespace
} // namespace zebsweep

int main(int argc, char** argv) {
    zebsweep::Options options;
    try {
        options = zebsweep::ParseArgs(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "zeb_sweep: " << e.what() << "\n" << zebsweep::kUsage;
        return 2;
    }
    try {
        return zebsweep::Sweep(options);
    } catch (const std::exception& e) {
        std::cerr << "zeb_sweep: " << e.what() << "\n";
        return 2;
    }
}
