// Sweep setups of the installation-name action: the branches that read the registry records.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kServerCode[] = "{11111111-2222-3333-4444-555555555555}";
const char kOtherCode[] = "{66666666-7777-8888-9999-000000000000}";

std::string TwoInstallations() {
    return hxrecord::RegFile(hxrecord::Keys(hxrecord::Installation{.name = "Inst1",
                                                                   .description = "First",
                                                                   .identifier = "1",
                                                                   .vrmf = "9.4.0.0",
                                                                   .productCode = kServerCode,
                                                                   .folder = "C:\\HX1",
                                                                   .components = {"Server"}}) +
                             hxrecord::Keys(hxrecord::Installation{.name = "Inst2",
                                                                   .description = "Second",
                                                                   .identifier = "2",
                                                                   .vrmf = "9.3.0.0",
                                                                   .productCode = kOtherCode,
                                                                   .folder = "C:\\HX2",
                                                                   .view32 = true}));
}

} // namespace

// Maintenance of an installed installation: found by its product code, folder compared.
ZEB_SWEEP_SETUP(iwiProcessUserInstallationName, "maintenance of a recorded installation") {
    setup.Registry(TwoInstallations());
    winsim::msi::SetProperty("Installed", "1");
    winsim::msi::SetProperty("ProductCode", kServerCode);
    winsim::msi::SetProperty("INSTALLATIONNAME", "Inst1");
    winsim::msi::SetProperty("PGMFOLDER", "C:\\HX1");
}

// An upgrade of a named installation found in the 32-bit view, renamed through a response file.
ZEB_SWEEP_SETUP(iwiProcessUserInstallationName, "named upgrade from a response file") {
    setup.Registry(TwoInstallations());
    winsim::fs::WriteFile("C:\\Temp\\resp.ini",
                          "[Response]\r\nINSTALLATIONNAME=Inst2,Inst2\r\nINSTALLATIONDESC=Renamed\r\n"
                          "PGMFOLDER=C:\\HX2\r\n");
    winsim::msi::SetProperty("USEINI", "C:\\Temp\\resp.ini");
    winsim::msi::SetProperty("ZEBOLDSERVER", std::string(kOtherCode) + ";" + kServerCode);
}

// A new installation under a supplied name: the next free identifier is counted in both views.
ZEB_SWEEP_SETUP(iwiProcessUserInstallationName, "new named installation") {
    setup.Registry(TwoInstallations());
    winsim::msi::SetProperty("INSTALLATIONNAME", "Inst3");
    winsim::msi::SetProperty("PGMFOLDER", "C:\\HX3");
}
