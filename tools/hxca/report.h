// Showing a run: readable text, or the same as JSON.
#pragma once

#include "run.h"

#include <optional>
#include <ostream>

namespace hxca {

// The header and trace of one action as it finishes (the text report streams them).
void PrintAction(std::ostream& out, const ActionRun& run);
// Changes, events and (when checked) the expectation results.
void PrintSummary(std::ostream& out, const RunResult& run, const std::optional<CheckResult>& check);

std::string ReportJson(const RunResult& run, const std::optional<CheckResult>& check);

// "2 installer handles, 1 registry key"; empty when nothing is open.
std::string Describe(const OpenHandles& open);

// "HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\X" -> {true, "HKEY_LOCAL_MACHINE\SOFTWARE\X"}.
std::pair<bool, std::string> LogicalKey(const std::string& physical);

} // namespace hxca
