// The summary list of a server removal over N queue managers: every queue manager is one row of
// the list box and one line of the summary file. Rows per second must stay flat from 100 to
// 10,000.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnSimpleCA.h"

#include <benchmark/benchmark.h>
#include <hxrecord.h>
#include <winsim/sim.h>

#include <string>

namespace {

namespace msi = winsim::msi;

const char kData[] = "C:\\HXData";

void MakeMachine(int count) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    winsim::fs::MakeDirs("C:\\Temp");
    winsim::fs::MakeDirs("C:\\HXLog");
    msi::DefineStandardTable("ListBox");
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT}});
    for (const auto& [name, value] : {std::pair{"ZEBTEMP", "C:\\Temp"},
                                      {"ZEBTEMPFILENUM", "0001"},
                                      {"ZEBPRODUCT", "server"},
                                      {"VersionNT", "1000"},
                                      {"Installed", "1"},
                                      {"ZEBREMOVE", "1"},
                                      {"ZEBINSTALLINSTANCENAME", "Inst1"},
                                      {"ZEBDATFOLDER", kData},
                                      {"ZEBLEAVEQMDATAREMOVE", "delete"}})
        msi::SetProperty(name, value);
    std::string ini = hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = kData, .logPath = "C:\\HXLog"});
    for (int i = 0; i < count; i++) {
        hxrecord::QueueManager qm{.name = "QM" + std::to_string(i), .installation = "Inst1"};
        ini += hxrecord::IniStanza(qm);
        winsim::fs::WriteFile(std::string(kData) + "\\qmgrs\\" + qm.name + "\\QM.INI",
                              hxrecord::QmIni("C:\\HXLog\\" + qm.name));
    }
    winsim::fs::WriteFile(std::string(kData) + "\\hxs.ini", ini);
    winsim::reg::Import(hxrecord::RegFile(hxrecord::Keys(
        hxrecord::Installation{.name = "Inst1", .identifier = "1", .components = {"Server"}})));
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
}

void BM_ListInstallSummary(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    MakeMachine(count);
    for (auto _ : state) {
        if (iwiListInstallSummary(msi::SessionHandle()) != 0)
            state.SkipWithError("iwiListInstallSummary failed");
        state.PauseTiming();
        if (msi::Rows("ListBox").size() < static_cast<size_t>(count))
            state.SkipWithError("the list does not hold every queue manager");
        msi::ClearMessages();
        state.ResumeTiming();
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_ListInstallSummary)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

const bool kRegistered = (RegisterRatio("summary list: 10000 against 1000 queue managers",
                                        "BM_ListInstallSummary/10000", "BM_ListInstallSummary/1000", 12.0),
                          true);

} // namespace
