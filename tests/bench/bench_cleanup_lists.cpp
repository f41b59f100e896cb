// Stacking a product uninstall list: DeleteFileList over N lines naming existing files in N/100
// folders, each file a RemoveFile row, then the folders sorted and stacked deepest first, with
// reduced logging on as the clean-up actions run it. The growth from 10,000 to 100,000 lines
// shows whether the folder sort stays near N log N.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnDelete.h"

#include <benchmark/benchmark.h>
#include <winsim/sim.h>

#include <string>

namespace {

const char kList[] = "C:\\HX\\uninst\\lastinstall.u03";

void FreshMachine(int files, int folders) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    winsim::msi::DefineStandardTable("RemoveFile");
    std::string list;
    for (int i = 0; i < files; i++) {
        std::string line =
            "pgm\\samples\\set" + std::to_string(i % folders) + "\\f" + std::to_string(i) + ".txt";
        winsim::fs::WriteFile("C:\\HX\\" + line.substr(4), "x");
        list += line + "\r\n";
    }
    winsim::fs::WriteFile(kList, list);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
    iiiSetReducedCSDLogging(TRUE);
}

void BM_DeleteFileListStack(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const int folders = static_cast<int>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        FreshMachine(files, folders);
        state.ResumeTiming();
        if (!DeleteFileList(TRUE, FALSE, nullptr, 0, "lastinstall.u03", kList, "C:\\HX", "C:\\HXData",
                            "Base_base_Instance1", 2, nullptr)) {
            state.SkipWithError("the list was not stacked");
            break;
        }
    }
    // A row per file, per set folder and for "samples".
    if (winsim::msi::Rows("RemoveFile").size() != static_cast<size_t>(files + folders + 1))
        state.SkipWithError("the table did not get every row");
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * files);
}

BENCHMARK(BM_DeleteFileListStack)
    ->Args({10000, 100})
    ->Args({100000, 1000})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

const bool kRegistered =
    (RegisterRatio("uninstall list: 100000 lines against 10000", "BM_DeleteFileListStack/100000/1000",
                   "BM_DeleteFileListStack/10000/100", 12.0),
     true);

} // namespace
