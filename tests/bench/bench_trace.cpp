// Trace lines to the three trace files (user trace, user log, temporary log) through the trace
// writer, against a plain loop that opens, appends and closes the same three files on the same
// simulated machine.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"

#include <benchmark/benchmark.h>
#include <winsim/sim.h>

#include <cstdio>
#include <string>

namespace {

const char* const kTargets[] = {"C:\\Logs\\user.trc", "C:\\Logs\\user.log", "C:\\Temp\\zebg0001.txt"};

void FreshMachine() {
    winsim::Reset();
    winsim::fs::MakeDirs("C:\\Logs");
    winsim::msi::SetProperty("ZEBUSERTRACEPATH", kTargets[0]);
    winsim::msi::SetProperty("ZEBUSERLOGPATH", kTargets[1]);
    winsim::msi::SetProperty("ZEBTEMPLOGPATH", kTargets[2]);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
}

// Between batches: the files and the installer's message list start empty again, so that every
// batch appends to files of the same sizes.
void ClearBetweenBatches() {
    for (const char* target : kTargets)
        winsim::fs::Remove(target);
    winsim::msi::ClearMessages();
}

void BM_TraceLines(benchmark::State& state) {
    FreshMachine();
    const int lines = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 1; i <= lines; i++)
            WriteTrace(NULL, "Property 'ZEBPGMFOLDER' value 'C:\\Program Files\\Corvane\\HX' line %d", i);
        state.PauseTiming();
        ClearBetweenBatches();
        state.ResumeTiming();
    }
    // What was measured wrote to all three files.
    WriteTrace(NULL, "check");
    for (const char* target : kTargets) {
        if (winsim::fs::ReadFile(target).value_or("").find("check") == std::string::npos)
            state.SkipWithError("a trace file did not get the lines");
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * lines);
}

void BM_PlainAppendLoop(benchmark::State& state) {
    FreshMachine();
    const int lines = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 1; i <= lines; i++) {
            for (const char* target : kTargets) {
                FILE* fp = fopen(target, "a+N");
                if (fp == NULL)
                    continue;
                fprintf(fp,
                        "10:00:00 HXCA iwiBench info: Property 'ZEBPGMFOLDER' value "
                        "'C:\\Program Files\\Corvane\\HX' line %d\n",
                        i);
                fclose(fp);
            }
        }
        state.PauseTiming();
        ClearBetweenBatches();
        state.ResumeTiming();
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * lines);
}

// Repeated, and the medians compared: the machine is shared and single runs wander.
BENCHMARK(BM_TraceLines)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainAppendLoop)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

const bool kRegistered =
    (RegisterRatio("trace lines to three files", "BM_TraceLines/1000", "BM_PlainAppendLoop/1000", 1.5), true);

} // namespace
