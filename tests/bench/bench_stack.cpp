// Stacking the removal of a queue manager's data: N files spread over M folders through
// StackDeleteFiles (path property, record counter, row) against the bare AddTableRecord loop that
// adds the same rows, both with reduced logging on as the clean-up actions run them.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnDelete.h"

#include <benchmark/benchmark.h>
#include <winsim/sim.h>

#include <string>
#include <vector>

namespace {

const char kComponent[] = "Base_base_Instance1";

// A fresh machine and library for each batch: the path-property cache, the counters and the
// table start empty every time.
void FreshMachine() {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    winsim::msi::DefineStandardTable("RemoveFile");
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
    iiiSetReducedCSDLogging(TRUE);
}

struct Workload {
    std::vector<std::string> paths; // "folder\file" for StackDeleteFiles
    std::vector<std::string> keys;  // what the rows get: key, file name, property
    std::vector<std::string> names;
    std::vector<std::string> properties;
};

Workload MakeWorkload(int files, int folders) {
    Workload w;
    for (int i = 0; i < files; i++) {
        int folder = i % folders;
        std::string name = "msg" + std::to_string(i) + ".dat";
        w.paths.push_back("C:\\ProgramData\\Corvane\\HX\\qmgrs\\QM" + std::to_string(folder) + "\\queues\\" +
                          name);
        w.keys.push_back("ZEB_Record_" + std::to_string(i));
        w.names.push_back(name);
        w.properties.push_back("ZEBPATHPROPERTY" + std::to_string(folder));
    }
    return w;
}

void BM_StackFiles(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const Workload w = MakeWorkload(files, static_cast<int>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        FreshMachine();
        state.ResumeTiming();
        for (const std::string& path : w.paths) {
            if (StackDeleteFiles(path.c_str(), kComponent, 2) != 0) {
                state.SkipWithError("a file could not be stacked");
                break;
            }
        }
    }
    if (winsim::msi::Rows("RemoveFile").size() != static_cast<size_t>(files))
        state.SkipWithError("the table did not get every row");
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * files);
}

void BM_StackBaselineAddTableRecord(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const Workload w = MakeWorkload(files, static_cast<int>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        FreshMachine();
        state.ResumeTiming();
        for (int i = 0; i < files; i++) {
            const ULONG_PTR values[] = {(ULONG_PTR)w.keys[i].c_str(), (ULONG_PTR)kComponent,
                                        (ULONG_PTR)w.names[i].c_str(), (ULONG_PTR)w.properties[i].c_str(), 2};
            if (AddTableRecord("RemoveFile", 5, 0x10, values) != 0) {
                state.SkipWithError("a row could not be added");
                break;
            }
        }
    }
    if (winsim::msi::Rows("RemoveFile").size() != static_cast<size_t>(files))
        state.SkipWithError("the table did not get every row");
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * files);
}

// Files over folders as a queue manager's data lies: about a hundred files per folder.
void StackArgs(benchmark::internal::Benchmark* b) {
    for (int files : {1000, 10000, 100000})
        b->Args({files, files / 100});
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_StackFiles)->Apply(StackArgs);
BENCHMARK(BM_StackBaselineAddTableRecord)->Apply(StackArgs);

const bool kRegistered =
    (RegisterRatio("stacking 100000 files against the bare row loop", "BM_StackFiles/100000/1000",
                   "BM_StackBaselineAddTableRecord/100000/1000", 3.0),
     RegisterRatio("stacking: 100000 files against 10000", "BM_StackFiles/100000/1000",
                   "BM_StackFiles/10000/100", 11.0),
     true);

} // namespace
