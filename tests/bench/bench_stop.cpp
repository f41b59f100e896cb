// iwiStopAllHx over N queue managers, half of them another installation's: the immediate run
// (end requests, ticks reserved) and the deferred run (listener ends, every wait counted down
// with its progress messages, nothing running). Both must grow linearly.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnStop.h"

#include <benchmark/benchmark.h>
#include <hxrecord.h>
#include <winsim/sim.h>

#include <string>

namespace {

const char kData[] = "C:\\HXData";
const char kValueList[] = "C:\\Temp\\zebp0001.txt";

void MakeMachine(int count) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    for (const auto& [name, value] :
         {std::pair{"ZEBPGMFOLDER", "C:\\HX"}, std::pair{"ZEBDATFOLDER", kData},
          std::pair{"ZEBINSTALLINSTANCENAME", "Inst1"}, std::pair{"ZEBSERVICENAME", "HX_Inst1"},
          std::pair{"ZEBTEMP", "C:\\Temp"}})
        winsim::msi::SetProperty(name, value);
    winsim::fs::WriteFile(kValueList,
                          "ZEBPGMFOLDER=C:\\HX;ZEBDATFOLDER=C:\\HXData;ZEBINSTALLINSTANCENAME=Inst1;"
                          "ZEBSERVICENAME=HX_Inst1;ZEBTEMP=C:\\Temp;");
    std::string ini = hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = kData, .logPath = "C:\\HXLog"});
    for (int i = 0; i < count; i++) {
        hxrecord::QueueManager qm{.name = "QM" + std::to_string(i),
                                  .installation = i % 2 ? "Inst2" : "Inst1"};
        ini += hxrecord::IniStanza(qm);
        winsim::fs::MakeDirs(std::string(kData) + "\\qmgrs\\" + qm.name);
        winsim::fs::MakeDirs("C:\\HXLog\\" + qm.name);
    }
    winsim::fs::WriteFile(std::string(kData) + "\\hxs.ini", ini);
    for (const char* tool : {"endhxm.exe", "endhxlsr.exe"})
        winsim::proc::InstallProgram(std::string("C:\\HX\\bin64\\") + tool);
    winsim::svc::AddService("HX_Inst1", winsim::svc::Service{.stopMs = 1000});
}

void Run(benchmark::State& state, bool deferred) {
    const int count = static_cast<int>(state.range(0));
    MakeMachine(count);
    const MSIHANDLE h = winsim::msi::SessionHandle();
    for (auto _ : state) {
        state.PauseTiming();
        DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
        if (deferred) {
            winsim::msi::SetProperty("iwiStopAllHx", kValueList);
            winsim::msi::EnterDeferred("iwiStopAllHx");
        }
        state.ResumeTiming();
        UINT rc = iwiStopAllHx(h);
        state.PauseTiming();
        if (deferred)
            winsim::msi::LeaveDeferred();
        if (rc != 0)
            state.SkipWithError("iwiStopAllHx failed");
        DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
        winsim::msi::ClearMessages();
        winsim::ClearEvents();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_StopAllImmediate(benchmark::State& state) {
    Run(state, false);
}
void BM_StopAllDeferred(benchmark::State& state) {
    Run(state, true);
}

void StopArgs(benchmark::internal::Benchmark* b) {
    for (int count : {10, 100, 1000})
        b->Arg(count);
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_StopAllImmediate)->Apply(StopArgs);
BENCHMARK(BM_StopAllDeferred)->Apply(StopArgs);

const bool kRegistered = (RegisterRatio("stop, immediate: 1000 against 100 queue managers",
                                        "BM_StopAllImmediate/1000", "BM_StopAllImmediate/100", 12.0),
                          RegisterRatio("stop, deferred: 1000 against 100 queue managers",
                                        "BM_StopAllDeferred/1000", "BM_StopAllDeferred/100", 12.0),
                          true);

} // namespace
