// Ratios printed after the benchmarks: the time of one benchmark run over another's.
#pragma once

#include <string>

void RegisterRatio(const std::string& label, const std::string& measured, const std::string& baseline,
                   double goal);
