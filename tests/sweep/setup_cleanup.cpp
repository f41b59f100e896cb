// Sweep setups of the stacked clean-up: the last installation of the machine with its uninstall
// list, kept configuration files, log and sockets folders, exit libraries and LastInstall.reg.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kTablesIdt[] = "FileKey\tComponent_\tFileName\tDirProperty\tInstallMode\r\n"
                          "s72\ts72\tL255\ts72\ti2\r\nRemoveFile\tFileKey\r\n";
const char kRegistryIdt[] = "Registry\tRoot\tKey\tName\tValue\tComponent_\r\n"
                            "s72\ti2\tl255\tL255\tL0\ts72\r\nRegistry\tRegistry\r\n";

void LastInstallation(zebsweep::Setup& setup) {
    setup.Registry(hxrecord::RegFile(hxrecord::Keys(hxrecord::Installation{
        .name = "Installation1", .description = "Mine", .identifier = "1", .folder = "C:\\HX"})));
    winsim::msi::SetProperty("ZEBREMOVE", "1");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Installation1");
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    winsim::msi::SetProperty("ZEBLOGFOLDER", "C:\\HXLog");
    winsim::fs::WriteFile("C:\\HXData\\hxs.ini", "AllQueueManagers:\r\n");
    winsim::fs::WriteFile("C:\\HXData\\Config\\hxs.ini_migrated", "old");
    winsim::fs::WriteFile("C:\\HXData\\sockets\\s1\\sock", "s");
    winsim::fs::WriteFile("C:\\HX\\bin\\en_us\\x.txt", "x");
    winsim::fs::WriteFile("C:\\HX\\uninst\\lastinstall.u03", "pgm\\bin\\-lang1-\\x.txt\r\ndat\\hxs.ini\r\n");
    winsim::fs::WriteFile("C:\\HXData\\exits64\\Installation1\\zebrspin.dll", "x");
    winsim::fs::MakeDirs("C:\\HXLog");
    setup.Tables(kTablesIdt);
    setup.Tables(kRegistryIdt);
}

} // namespace

ZEB_SWEEP_SETUP(iwiStackCleanUpLastInstall, "last installation with its uninstall list") {
    LastInstallation(setup);
}

ZEB_SWEEP_SETUP(iwiStackCleanUpFinal, "installation key, exit libraries and LastInstall.reg") {
    LastInstallation(setup);
    winsim::fs::WriteFile("C:\\HXData\\Config\\LastInstall.reg", "old");
    setup.modes = {hxca::Mode::Immediate, hxca::Mode::Rollback};
    setup.valueList = "ZEBDATFOLDER=C:\\HXData;";
}

ZEB_SWEEP_SETUP(iwiStackSetHighContrast, "high contrast on") {
    setup.Tables(kRegistryIdt);
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Installation1");
    winsim::msi::SetProperty("ZEBSETHIGHCONTRAST", "1");
}

ZEB_SWEEP_SETUP(iwiStackDeleteCsds, "maintenance level with its control file, backups and shortcut") {
    LastInstallation(setup);
    setup.Registry(hxrecord::RegFile(
        hxrecord::Keys(hxrecord::Installation{.name = "Installation1",
                                              .identifier = "1",
                                              .folder = "C:\\HX",
                                              .shipped = "1.0",
                                              .maintenance = {{"1.2", "C:\\HX\\maint\\1.2"}}})));
    winsim::fs::WriteFile("C:\\HX\\maint\\1.2\\backup.csd", "file;a;b;c;d;e;pgm\\bin\\en_us\\x.txt\r\n");
    winsim::fs::WriteFile("C:\\HXData\\BackUp\\u2001\\f.txt", "x");
    winsim::msi::SetProperty("ZEBSTARTFOLDER", "HX Installation1");
    winsim::fs::WriteShortcut(winsim::fs::SpecialFolder(0x17) + "\\HX Installation1\\Remove.lnk",
                              "C:\\HX\\bin64\\zebilaunchelevated.exe");
}
