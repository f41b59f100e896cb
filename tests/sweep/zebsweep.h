// The fault sweep: every action of zebiwicn.def, on small machines, with each call the action
// makes failed once in turn. A test file adds what an action needs beyond the bare session:
//
//     ZEB_SWEEP_SETUP(iwiExample, "example folder present") {
//         winsim::fs::MakeDirs("C:\\HX");
//         winsim::msi::SetProperty("EXAMPLEFOLDER", "C:\\HX");
//         setup.Registry(R"(Windows Registry Editor Version 5.00 ...)");
//     }
//
//     ZEB_SWEEP_ALLOW(iwiExample, silent, "why this action may fail without a *** line");
//
// Every action runs on the bare session (a reset machine with ProductName set), on each example
// folder and on each of its setups. A setup starts from the bare session; `setup` adjusts how the
// action is run there.
#pragma once

#include <run.h>
#include <scenario.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zebsweep {

// What must hold after every run, faulted or not.
enum class Invariant { crash, leak, status, silent };
const char* InvariantName(Invariant invariant);
std::optional<Invariant> ParseInvariant(const std::string& name);

struct Setup {
    // The library under test (a host path), for a setup that maps a copy of it onto the machine.
    std::string library;
    // Modes to run; empty: immediate, and deferred unless the action's run-mode guard refuses it.
    std::vector<hxca::Mode> modes;
    // Deferred runs: the value list handed over; nullopt: every property of the session.
    std::optional<std::string> valueList;
    // The machine from the formats scenarios use: one table's .idt text, a .reg file's text.
    void Tables(const std::string& idtText);
    void Registry(const std::string& regText);
};

typedef void (*SetupFn)(Setup& setup);

struct SetupEntry {
    std::string action;
    std::string name;
    SetupFn fn = nullptr;
};

struct Allowance {
    std::string action;
    Invariant invariant;
    std::string reason;
};

bool RegisterSetup(const char* action, const char* name, SetupFn fn);
bool RegisterAllowance(const char* action, Invariant invariant, const char* reason);
const std::vector<SetupEntry>& Setups();
const std::vector<Allowance>& Allowances();

// The usual Windows errors a faulted call returns, and the functions never faulted (faults.cpp).
struct FaultErrors {
    std::vector<uint32_t> errors; // empty: never faulted
    std::string note;             // why never faulted, or that the family's default was taken
};
FaultErrors ErrorsFor(const std::string& function);
extern const char kNotInTable[]; // the note of a function faulted with the default error

// Texts a failure is reported with that carry no "***": the frame's generic failure message
// after one of them is the report.
bool IsUnmarkedFailureText(const std::string& text);
// The calls that carry a trace line to the installer log: when one of them fails, the line lost
// may be the *** line, and the frame's generic failure message is the report left.
bool CarriesLogLines(const std::string& function);

// The frame's generic failure message as a box shows it: string 2041 of the language library
// (the library's own text, or kSetupGenericText in the sweep's setups), the fixed text of a
// library not yet unpacked, or nothing when the string could not be loaded. Any other error box
// is a refusal the action showed itself, which reports its failure as a *** line does.
extern const char kSetupGenericText[];
bool IsGenericFailureText(const std::string& boxText);

// The text of a trace line after its "HH:MM:SS HXCA action[(function)] info: " prefix.
std::string TraceText(const std::string& line);

// The invariants one run broke (crashes are seen by the parent process); faulted names the
// function that was made to fail, if any.
struct Broken {
    Invariant invariant;
    std::string what;
};
std::vector<Broken> CheckRun(const hxca::ActionRun& run, const std::string& faulted = "");

// The export names of a .def file.
std::vector<std::string> ReadDefExports(const std::string& defText);

// `count` of `total` case numbers, chosen by the seed, in increasing order; every number when
// count >= total.
std::vector<size_t> SampleCases(size_t total, size_t count, uint32_t seed);

} // namespace zebsweep

#define ZEB_SWEEP_CAT2(a, b) a##b
#define ZEB_SWEEP_CAT(a, b) ZEB_SWEEP_CAT2(a, b)

#define ZEB_SWEEP_SETUP(action, name)                                                                        \
    static void ZEB_SWEEP_CAT(ZebSweepSetup_##action##_, __LINE__)(zebsweep::Setup & setup);                 \
    static const bool ZEB_SWEEP_CAT(kZebSweepSetup_##action##_, __LINE__) =                                  \
        zebsweep::RegisterSetup(#action, name, &ZEB_SWEEP_CAT(ZebSweepSetup_##action##_, __LINE__));         \
    static void ZEB_SWEEP_CAT(ZebSweepSetup_##action##_, __LINE__)([[maybe_unused]] zebsweep::Setup & setup)

#define ZEB_SWEEP_ALLOW(action, invariant, reason)                                                           \
    static const bool ZEB_SWEEP_CAT(kZebSweepAllow_##action##_, __LINE__) =                                  \
        zebsweep::RegisterAllowance(#action, zebsweep::Invariant::invariant, reason)
