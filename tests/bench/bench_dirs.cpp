// The first free default program folder: iwiCalcAvailableDefaultPath with N installations holding
// the first N candidates ("HX", "HX_1", ... "HX_<N-1>"), the even ones in the 64-bit view and the
// odd ones in the 32-bit view, so the answer is "HX_<N>". Each candidate walks the installations
// of both views until one claims it: the work is bounded by candidates x 2N keys and must grow no
// faster than N^2.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnPrereq.h"

#include <benchmark/benchmark.h>
#include <hxrecord.h>
#include <winsim/sim.h>

#include <string>

namespace {

const char kDefault[] = "C:\\Program Files\\Corvane\\HX";

std::string Candidate(int n) {
    return n == 0 ? std::string(kDefault) : std::string(kDefault) + "_" + std::to_string(n);
}

void Machine(int installations) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    std::string keys;
    for (int i = 0; i < installations; i++)
        keys += hxrecord::Keys(hxrecord::Installation{.name = "Inst" + std::to_string(i + 1),
                                                      .identifier = std::to_string(i + 1),
                                                      .folder = Candidate(i),
                                                      .view32 = i % 2 == 1});
    winsim::reg::Import(hxrecord::RegFile(keys));
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
}

void BM_AvailableDefaultPath(benchmark::State& state) {
    const int installations = static_cast<int>(state.range(0));
    Machine(installations);
    const std::string expected = Candidate(installations);
    const int opensBefore = winsim::CallCount("RegOpenKeyExA");
    for (auto _ : state) {
        char szPath[ZEB_CCH_PATH];
        lstrcpynA(szPath, kDefault, sizeof(szPath));
        iwiCalcAvailableDefaultPath(szPath);
        if (expected != szPath) {
            state.SkipWithError("not the first free candidate");
            break;
        }
    }
    const int opens = winsim::CallCount("RegOpenKeyExA") - opensBefore;
    state.counters["opens_per_call"] =
        state.iterations() > 0 ? static_cast<double>(opens) / static_cast<double>(state.iterations()) : 0.0;
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
}

BENCHMARK(BM_AvailableDefaultPath)
    ->Arg(1)
    ->Arg(16)
    ->Arg(64)
    ->Arg(127)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// (127 / 64)^2 is 3.9: quadratic growth stays below 4.
const bool kRegistered = (RegisterRatio("iwiCalcAvailableDefaultPath: 127 installations against 64",
                                        "BM_AvailableDefaultPath/127", "BM_AvailableDefaultPath/64", 4.0),
                          true);

} // namespace
