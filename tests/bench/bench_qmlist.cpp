// The queue-manager inventory over N queue managers: isuBuildQmList on an hxs.ini of N stanzas
// with every tenth name also defined in the old levels' registry (duplicates the hash finds),
// and RemoveQMgrsFromIni on that file. Both must grow linearly.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnUninstall.h"

#include <benchmark/benchmark.h>
#include <hxrecord.h>
#include <winsim/sim.h>

#include <string>

namespace {

const char kData[] = "C:\\HXData";

std::string QmName(int i) {
    return "QM" + std::to_string(i);
}

// N queue managers with their data folders and QM.INI, the file's text returned.
std::string MakeMachine(int count) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    winsim::fs::MakeDirs("C:\\Temp");
    winsim::fs::MakeDirs("C:\\HXLog");
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    std::string ini = hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = kData, .logPath = "C:\\HXLog"});
    std::string keys;
    for (int i = 0; i < count; i++) {
        hxrecord::QueueManager qm{.name = QmName(i), .installation = "Inst1"};
        ini += hxrecord::IniStanza(qm);
        winsim::fs::WriteFile(std::string(kData) + "\\qmgrs\\" + qm.name + "\\QM.INI",
                              hxrecord::QmIni("C:\\HXLog\\" + qm.name));
        if (i % 10 == 0) {
            qm.prefix = kData;
            keys += hxrecord::Keys(qm);
        }
    }
    winsim::fs::WriteFile(std::string(kData) + "\\hxs.ini", ini);
    winsim::reg::Import(hxrecord::RegFile(keys));
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
    return ini;
}

void BM_BuildQmList(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    MakeMachine(count);
    for (auto _ : state) {
        isuBuildQmList(kData);
        state.PauseTiming();
        if (isuQmCount() != count)
            state.SkipWithError("the list does not hold every queue manager");
        winsim::msi::ClearMessages();
        state.ResumeTiming();
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_RemoveQMgrsFromIni(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string ini = MakeMachine(count);
    for (auto _ : state) {
        if (!RemoveQMgrsFromIni(kData))
            state.SkipWithError("hxs.ini was not changed");
        state.PauseTiming();
        winsim::fs::WriteFile(std::string(kData) + "\\hxs.ini", ini);
        winsim::msi::ClearMessages();
        state.ResumeTiming();
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * count);
}

void QmArgs(benchmark::internal::Benchmark* b) {
    for (int count : {10, 100, 1000, 10000})
        b->Arg(count);
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_BuildQmList)->Apply(QmArgs);
BENCHMARK(BM_RemoveQMgrsFromIni)->Apply(QmArgs);

const bool kRegistered = (RegisterRatio("queue-manager list: 10000 against 1000", "BM_BuildQmList/10000",
                                        "BM_BuildQmList/1000", 12.0),
                          RegisterRatio("hxs.ini stanzas out: 10000 against 1000",
                                        "BM_RemoveQMgrsFromIni/10000", "BM_RemoveQMgrsFromIni/1000", 12.0),
                          true);

} // namespace
