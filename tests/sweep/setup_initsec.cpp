// Sweep setup of the secondary initialisation: an upgrade of an older installation with features to
// carry over, a response file and a launchpad on the media, run silently.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

ZEB_SWEEP_SETUP(iwiInstallInitSec, "silent upgrade carrying features over, response file, launchpad") {
    winsim::msi::SetProperty("UpgradeCode", "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}");
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    winsim::msi::SetProperty("VersionNT", "1000");
    winsim::msi::SetProperty("ZEBVRMF", "9.4.0.0");
    winsim::msi::SetProperty("ZEBBUILDTIME", "200");
    winsim::msi::SetProperty("UILevel", "2");
    winsim::msi::DefineStandardTable("ListBox");
    winsim::msi::DefineFeatures({{"Base"}, {"Server"}, {"Client"}, {"Toolkit"}, {"JRE"}, {"Web"}});
    setup.Registry(hxrecord::RegFile(
        hxrecord::Keys(hxrecord::Installation{.name = "Inst1",
                                              .identifier = "1",
                                              .vrmf = "9.3.0.0",
                                              .package = "Server",
                                              .productType = "Server",
                                              .serverVersion = "9",
                                              .serverRelease = "3",
                                              .components = {"Server", "Local Clients\\Windows NT Client"},
                                              .values = {{"BuildTime", "100"}}})));
    winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "Inst1");
    winsim::msi::SetProperty("ZEBOLDSERVER", "{11111111-1111-1111-1111-111111111111}");
    winsim::fs::WriteFile("C:\\Cfg\\resp.ini", "[Response]\r\nREMOVE=Toolkit\r\nREMOVEFEATURES=yes\r\n");
    winsim::msi::SetProperty("USEINI", "C:\\Cfg\\resp.ini");
    winsim::fs::WriteFile("C:\\Media\\HXLaunch.exe", "MZ");
    winsim::msi::SetProperty("SourceDir", "C:\\Media\\Windows\\");
}
