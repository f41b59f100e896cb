// Deleting a whole tree now (iiiDelDirFiles with pattern "*", folders removed, descending) on the
// simulated machine: N files in folders of 100. The time per file must not grow with the tree.
#include "bench_ratio.h"

#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicn.h"

#include <benchmark/benchmark.h>
#include <winsim/sim.h>

#include <cstdio>
#include <string>

namespace {

const int kFilesPerFolder = 100;

void MakeTree(int files) {
    char path[64];
    for (int i = 0; i < files; i++) {
        std::snprintf(path, sizeof(path), "C:\\QMgrs\\QM1\\d%04d\\f%05d.dat", i / kFilesPerFolder, i);
        winsim::fs::WriteFile(path, "x");
    }
}

void BM_DelDirFilesTree(benchmark::State& state) {
    winsim::Reset();
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
    const int files = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        winsim::msi::ClearMessages();
        MakeTree(files);
        state.ResumeTiming();
        if (!iiiDelDirFiles(FALSE, TRUE, NULL, "C:\\QMgrs\\QM1\\*", TRUE, TRUE, TRUE, "", 2))
            state.SkipWithError("the walk failed");
    }
    if (winsim::fs::Exists("C:\\QMgrs\\QM1"))
        state.SkipWithError("the tree is still there");
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * files);
}

BENCHMARK(BM_DelDirFilesTree)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Ten times the files in at most eleven times the time.
const bool kRegistered = (RegisterRatio("tree delete, 100000 files against 10000",
                                        "BM_DelDirFilesTree/100000", "BM_DelDirFilesTree/10000", 11.0),
                          true);

} // namespace
