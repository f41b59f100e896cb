// Per-instance component codes and upgrade discovery on growing packages and machines.
// iwiRuntimeMVChanges walks every Component row once (the 39 per-instance ones among N others):
// linear in N, the guard against rows met again included. iwiListAvailableUpgrades looks each code
// of ZEBOLDSERVER up among all installations: quadratic by design, reported at the 127 the
// identifiers allow.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnPrereq.h"

#include <benchmark/benchmark.h>
#include <hxrecord.h>
#include <winsim/sim.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

namespace msi = winsim::msi;

void Load() {
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(msi::SessionHandle(), "iwiBench");
    iiiSetReducedCSDLogging(TRUE);
}

void Components(int others) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    msi::DefineStandardTable("Component");
    auto row = [](const std::string& name) {
        msi::AddRow("Component",
                    {msi::Field::str(name), msi::Field::str("{00000000-0000-4000-8000-000000000000}"),
                     msi::Field::str("INSTALLDIR"), msi::Field::integer(0), msi::Field::null(),
                     msi::Field::null()});
    };
    std::set<std::string> names;
    for (const ZebComponentIdentity& identity : g_aComponentIdentities)
        if (names.insert(identity.szName).second)
            row(identity.szName);
    for (int i = 0; i < others; i++) {
        char name[32];
        snprintf(name, sizeof(name), "Other%06d", i);
        row(name);
    }
    msi::SetProperty("ZEBINSTANCEID", "7");
    Load();
}

void BM_RuntimeMVChanges(benchmark::State& state) {
    Components(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (iwiRuntimeMVChanges(msi::SessionHandle()) != 0) {
            state.SkipWithError("iwiRuntimeMVChanges failed");
            break;
        }
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_RuntimeMVChanges)
    ->Arg(5000)
    ->Arg(25000)
    ->Arg(50000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void Installations(int count) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    msi::DefineStandardTable("ListBox");
    std::string keys;
    std::string list;
    for (int i = 1; i <= count; i++) {
        char code[40];
        snprintf(code, sizeof(code), "{%08X-0000-4000-8000-000000000001}", static_cast<unsigned>(i));
        keys += hxrecord::Keys(hxrecord::Installation{.name = "Inst" + std::to_string(i),
                                                      .description = "Installation " + std::to_string(i),
                                                      .identifier = std::to_string(i),
                                                      .vrmf = "9.4.0.0",
                                                      .productCode = code});
        list += (list.empty() ? "" : ";") + std::string(code);
    }
    winsim::reg::Import(hxrecord::RegFile(keys));
    msi::SetProperty("ZEBOLDSERVER", list);
    Load();
}

void BM_ListAvailableUpgrades(benchmark::State& state) {
    Installations(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        if (iwiListAvailableUpgrades(msi::SessionHandle()) != 0) {
            state.SkipWithError("iwiListAvailableUpgrades failed");
            break;
        }
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ListAvailableUpgrades)
    ->Arg(1)
    ->Arg(16)
    ->Arg(127)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

const bool kRegistered =
    (RegisterRatio("iwiRuntimeMVChanges: 50000 Component rows against 5000", "BM_RuntimeMVChanges/50000",
                   "BM_RuntimeMVChanges/5000", 11.0),
     RegisterRatio("iwiListAvailableUpgrades: 127 installations against 16 (quadratic: 63 expected)",
                   "BM_ListAvailableUpgrades/127", "BM_ListAvailableUpgrades/16", 80.0),
     true);

} // namespace
