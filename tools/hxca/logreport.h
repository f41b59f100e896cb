// hxca log: what a log says about a run of the installer and the library's actions in it.
#pragma once

#include "logparse.h"

#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace hxca {

struct LogUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct LogOptions {
    std::vector<std::string> files;
    std::vector<std::string> actions; // --action: show these instead of the first failing one
    std::string diffWith;
    bool json = false;
    bool help = false;
};

// The arguments after "log".
LogOptions ParseLogArgs(const std::vector<std::string>& args);
const char* LogUsage();

// Exit status: 0 read, and nothing failed; 1 a library action or the installation failed (with
// --diff: the traces differ); 2 bad arguments, or a file that is no log that can be read.
int RunLog(const LogOptions& options, std::ostream& out, std::ostream& err);

// "msiexec log (Wine), ANSI, 230 lines"
std::string DescribeLog(const LogSummary& summary);

// "iwiERROR (deferred)", with the engine's name for it when that differs.
std::string DescribeRun(const ActionRunInfo& run);

// A file that holds no line of a log: empty, or nothing but binary data.
std::string WhyNotALog(const LogSummary& summary);

// One run in full: its lines, the engine's lines around it, the properties it read and set.
struct DetailLine {
    uint64_t number = 0;
    std::string text;
    std::string mark; // "" own line, "!" error, "2" second copy, "|" engine, ">" merged, "?" unattributed
};
struct RunDetail {
    int run = -1;
    std::vector<DetailLine> before, lines, after;
    uint64_t omitted = 0; // lines beyond what a detail keeps
    std::vector<PropertyUse> properties;
    std::vector<std::string> engineChanges; // "PROPERTY CHANGE: ..." lines of the engine
};

// Reads the file again and collects the detail of each run named.
bool CollectDetails(const std::string& path, const LogSummary& summary, const std::vector<int>& runs,
                    std::vector<RunDetail>& details, std::string& error);

} // namespace hxca
