// Looking for the old Java add-on's component: GetQb17Info with the add-on's product kept and N
// components of other products registered before its own, so that the enumeration walks them all.
// The walk asks the installer for each component by index; it must grow linearly with N.
#include "bench_ratio.h"

#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnUtil.h"

#include <benchmark/benchmark.h>
#include <winsim/sim.h>

#include <cstdio>
#include <string>

namespace {

const char kQb17Upgrade[] = "{37C07B43-CAD0-11D4-B2C4-000629BE98FC}";
const char kQb17Product[] = "{0B170000-0000-4000-8000-000000000001}";
const char kOtherProduct[] = "{0DD00000-0000-4000-8000-000000000001}";

std::string ComponentCode(int i) {
    char code[40];
    snprintf(code, sizeof(code), "{%08X-0000-4000-8000-000000000000}", static_cast<unsigned>(i));
    return code;
}

void Machine(int others) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    winsim::Reset();
    winsim::msi::AddProduct(kQb17Product, kQb17Upgrade, 5, "QB17");
    for (int i = 0; i < others; i++)
        winsim::msi::SetProductComponent(kOtherProduct, ComponentCode(i + 1), 3, "C:\\Other\\f.dat");
    winsim::msi::SetProductComponent(kQb17Product, "{0B170000-0000-4000-8000-0000000000C0}", 3,
                                     "C:\\QB17\\java\\lib\\samples\\x.jar");
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiBench");
    iiiSetReducedCSDLogging(TRUE);
}

void BM_Qb17Info(benchmark::State& state) {
    Machine(static_cast<int>(state.range(0)));
    char java[ZEB_CCH_PATH], msiJava[ZEB_CCH_PATH];
    BOOL samples = FALSE;
    for (auto _ : state) {
        if (GetQb17Info(java, msiJava, &samples) != 0 || !samples) {
            state.SkipWithError("the add-on's component was not found");
            break;
        }
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    state.SetItemsProcessed(state.iterations() * (state.range(0) + 1));
}

BENCHMARK(BM_Qb17Info)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

const bool kRegistered = (RegisterRatio("GetQb17Info: 100000 other components against 10000",
                                        "BM_Qb17Info/100000", "BM_Qb17Info/10000", 11.0),
                          true);

} // namespace
