// Deleting an unpacked Java runtime (icsDeleteJREFiles) of N files in N/20 folders on the
// simulated machine. Files per second must stay flat as the runtime grows.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiobjn.h"
#include "zebiwicn.h"

#include <benchmark/benchmark.h>
#include <winsim/sim.h>

#include <cstdio>

namespace {

const int kFilesPerFolder = 20;

void MakeRuntime(int files) {
    char path[80];
    for (int i = 0; i < files; i++) {
        std::snprintf(path, sizeof(path), "C:\\HX\\java\\jre\\lib\\d%05d\\f%06d.class", i / kFilesPerFolder,
                      i);
        winsim::fs::WriteFile(path, "x");
    }
    winsim::fs::WriteFile("C:\\HX\\java\\docs\\index.html", "x");
    winsim::fs::WriteFile("C:\\HX\\java\\notices.txt", "x");
}

void BM_DeleteJREFiles(benchmark::State& state) {
    winsim::Reset();
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
    const int files = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        winsim::msi::ClearMessages();
        MakeRuntime(files);
        state.ResumeTiming();
        if (!icsDeleteJREFiles("C:\\HX"))
            state.SkipWithError("the deletion failed");
    }
    if (winsim::fs::Exists("C:\\HX\\java\\jre"))
        state.SkipWithError("the runtime is still there");
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * files);
}

BENCHMARK(BM_DeleteJREFiles)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// Ten times the files in at most eleven times the time, at both steps.
const bool kRegistered = (RegisterRatio("JRE delete, 10000 files against 1000", "BM_DeleteJREFiles/10000",
                                        "BM_DeleteJREFiles/1000", 11.0),
                          RegisterRatio("JRE delete, 100000 files against 10000", "BM_DeleteJREFiles/100000",
                                        "BM_DeleteJREFiles/10000", 11.0),
                          true);

} // namespace
