// Sweep setups of the primary initialisation: the package kinds, an installed package being
// removed by an upgrading one, the response files and the feature-list check.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kServerUpgrade[] = "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}";
const char kClientUpgrade[] = "{5A8B5D80-6DCC-4317-9922-99EC0093BF24}";
const char kInstalledCode[] = "{11111111-2222-3333-4444-555555555555}";

const char kFeatureIdt[] =
    "Feature\tFeature_Parent\tTitle\tDescription\tDisplay\tLevel\tDirectory_\tAttributes\r\n"
    "s38\tS38\tL64\tL255\tI2\ti2\tS72\ti2\r\n"
    "Feature\tFeature\r\n"
    "Server\t\tServer\t\t1\t1\t\t0\r\n"
    "Client\t\tClient\t\t2\t1\t\t0\r\n"
    "Toolkit\tClient\tToolkit\t\t3\t1\t\t0\r\n";

void Package(zebsweep::Setup& setup, const char* upgradeCode) {
    setup.Tables(kFeatureIdt);
    winsim::msi::SetProperty("UpgradeCode", upgradeCode);
    winsim::msi::SetProperty("ProductVersion", "9.4.0.0");
    winsim::msi::SetProperty("TempFolder", "C:\\Temp\\");
    winsim::msi::SetProperty("VersionNT", "601");
    FILETIME ft = {0x5D5C0000u, 0x01DA6F11u};
    winsim::msi::SetSummaryTime(12, ft);
    winsim::msi::SetSummaryString(9, "{0C0DE000-0000-0000-0000-000000000001}");
}

} // namespace

// A fresh server installation: every step that is not skipped for a new install, the feature
// lists and the wizard file checked, the response files read and created.
ZEB_SWEEP_SETUP(iwiInstallInitPri, "server package, new installation") {
    Package(setup, kServerUpgrade);
    winsim::msi::AddProduct("{10000000-0000-0000-0000-000000000001}", kServerUpgrade, 5);
    winsim::msi::AddProduct("{20000000-0000-0000-0000-000000000002}", kClientUpgrade, 1);
    winsim::fs::WriteFile("C:\\Cfg\\resp.ini",
                          "[Response]\r\nKEEPQMDATA=delete\r\nADDLOCAL=Server, Client\r\n");
    winsim::fs::WriteFile("C:\\Cfg\\wiz.ini", "");
    winsim::msi::SetProperty("USEINI", "C:\\Cfg\\resp.ini");
    winsim::msi::SetProperty("SAVEINI", "C:\\Out\\Sub\\saved.ini");
    winsim::msi::SetProperty("REMOVE", "Toolkit");
    winsim::msi::SetProperty("WIZPARMFILE", "C:\\Cfg\\wiz.ini");
    setup.Registry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane\\Sendrill for .NET]\r\n");
}

// The installed package removed by an upgrading one: its record read for high contrast and the
// upgrade permission.
ZEB_SWEEP_SETUP(iwiInstallInitPri, "installed package removed by an upgrade") {
    Package(setup, kServerUpgrade);
    setup.Registry(hxrecord::RegFile(hxrecord::Keys(
        hxrecord::Installation{.name = "Inst1",
                               .description = "First",
                               .identifier = "1",
                               .vrmf = "9.4.0.0",
                               .productCode = kInstalledCode,
                               .folder = "C:\\HX1",
                               .values = {{"HighContrastMode", "No"}, {"AllowUpgrade", "1"}}})));
    winsim::msi::SetProperty("Installed", "00:00:00");
    winsim::msi::SetProperty("ProductCode", kInstalledCode);
    winsim::msi::SetProperty("REMOVE", "ALL");
    winsim::msi::SetProperty("UPGRADINGPRODUCTCODE", "{99999999-0000-0000-0000-000000000000}");
    winsim::msi::SetProperty("ONLYINI", "1");
}

// An administrative installation of the client package with a high-contrast choice.
ZEB_SWEEP_SETUP(iwiInstallInitPri, "client package, administrative") {
    Package(setup, kClientUpgrade);
    winsim::msi::SetMode(0, true);
    winsim::msi::SetProperty("HIGHCONTRAST", "yes");
    winsim::msi::SetProperty("ADDLOCAL", "Client,Toolkit");
}
