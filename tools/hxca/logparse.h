// What a log says about the library: its trace lines, attributed to the run of the action that
// wrote them, and what the engine (or the runner) logged around them.
#pragma once

#include "logread.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hxca {

// "%H:%M:%S HXCA action[(function)] level: text"
struct TraceFields {
    std::string_view time, action, function, level, text;
};
bool ParseTraceLine(std::string_view line, TraceFields& fields);

enum class RunMode { Unknown, Immediate, Deferred, Rollback, Commit };
const char* RunModeName(RunMode mode);

// One run of a library action: one outermost entry of one loaded copy, with what a second copy
// did for it when the call was handed over.
struct ActionRunInfo {
    int index = 0;
    std::string action;       // the name the library traced it under; empty while none was seen
    std::string engineAction; // the engine's action (or the runner's step) it ran in
    RunMode mode = RunMode::Unknown;
    std::optional<int> status; // the first copy's last "Returning with rc N"
    uint64_t statusLine = 0;
    std::optional<int> engineValue; // the engine's "Return value N" for its action
    std::optional<int> engineCode;  // the code the engine or the runner got from the call
    std::string time;               // of its first line
    uint64_t firstLine = 0, lastLine = 0;
    uint64_t lines = 0;  // trace lines of this run
    uint64_t errors = 0; // of them, lines whose text begins with "***"
    uint64_t firstErrorLine = 0;
    std::string firstError;
    bool banner = false;     // began with the library's banner (a fresh load)
    bool keptLoaded = false; // called again in a copy that stayed loaded ("Invalid depth count")
    std::string handedTo;    // "Executing 'PATH(ACTION)'": the second copy that took the call
    uint64_t secondCopyLines = 0;
    bool merged = false; // read from the temporary log merged into the trace
    int mergedBy = -1;   // the run whose trace merged it
    // Run modes the frame traced (WhatMode), and the engine's word on the mode.
    bool whatMode = false, scheduled = false, rollback = false, commit = false;
    RunMode engineMode = RunMode::Unknown;
};

enum class LineKind { Blank, Trace, Merged, Engine, Runner, Damaged, Other };

struct LineEvent {
    const RawLine* raw = nullptr;
    LineKind kind = LineKind::Other;
    int run = -1; // the run it belongs to; -1 when it belongs to none (or is no trace line)
    int copy = 0; // 1 and up: written by the second copy of a hand-over
    bool error = false;
};

struct SampleLine {
    uint64_t number = 0;
    std::string text;
};

struct LogSummary {
    Encoding encoding = Encoding::Ansi;
    bool bom = false;
    uint64_t bytes = 0;
    uint64_t lines = 0, blank = 0, trace = 0, merged = 0, engine = 0, runner = 0, other = 0;
    bool engineLog = false;     // msiexec's log: action lines, property dump, logging banner
    bool windowsEngine = false; // lines of msi.dll's own layout ("MSI (s) (..) [..]: ...")
    bool runnerOutput = false;
    std::vector<ActionRunInfo> runs;

    uint64_t unattributed = 0; // trace and merged lines that no run can claim
    std::vector<SampleLine> unattributedSample;
    uint64_t damaged = 0; // binary data, or a trace line that does not parse
    std::vector<SampleLine> damagedSample;
    uint64_t cut = 0; // lines longer than the reader keeps
    bool endsMidLine = false;
    uint64_t lastLineNumber = 0;

    // The engine's property dumps ("Property(S): NAME = VALUE"), server's over client's.
    std::map<std::string, std::string> engineProperties;
    bool enginePropertyDump = false;
    // Property values as the library read or set them, the first of each.
    std::map<std::string, std::string> traceProperties;
    std::string package;
    std::optional<int> productStatus; // "... success or error status: N."
    std::optional<int> mainEngine;    // "MainEngineThread is returning N"
    std::optional<int> topLevelValue; // the last top-level action's "Return value N"
    std::string topLevelAction;
};

// Feeds lines one at a time; the sink sees every line with its attribution, in order. The same
// input always gives the same attribution, so a second pass can pick out one run's lines.
class LogParser {
  public:
    using Sink = std::function<void(const LineEvent&)>;
    explicit LogParser(Sink sink = {});
    ~LogParser();
    LogParser(const LogParser&) = delete;
    LogParser& operator=(const LogParser&) = delete;

    void Feed(const RawLine& line);
    void Finish();
    const LogSummary& summary() const { return summary_; }

  private:
    struct State;
    void Emit(const RawLine& raw, LineKind kind, int run, int copy, bool error);
    void FlushMerged();
    State* state_;
    Sink sink_;
    LogSummary summary_;
};

// Reads a whole file through a parser; false with a message when it cannot be read.
bool ParseLogFile(const std::string& path, LogSummary& summary, std::string& error,
                  const LogParser::Sink& sink = {});

// The failing run to show: the first whose library status is not 0, preferring runs of the trace
// itself over runs merged from the temporary log; -1 when none failed.
int FirstFailingRun(const LogSummary& summary);

// Property lines of the library's read and write patterns.
struct PropertyUse {
    enum Kind { Read, NotDefined, ReadFailed, Set, SetIgnored, SetFailed } kind;
    std::string name, value, source; // source: "property table", "CustomActionData", ...
};
std::optional<PropertyUse> ParsePropertyLine(std::string_view text);

// "Returning with rc N"
std::optional<int> ParseReturningRc(std::string_view text);

} // namespace hxca
