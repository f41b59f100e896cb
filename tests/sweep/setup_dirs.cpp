// Sweep setups of the program, data and log folders: an upgrade with queue managers and a
// response file, recommendations on a drive the machine lacks, the derived forms of existing
// folders, the shortcut table and an administrative installation.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

void Package(void) {
    winsim::msi::SetProperty("UpgradeCode", "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}");
    winsim::msi::SetProperty("Manufacturer", "Corvane");
    winsim::msi::SetProperty("ZEBDISKFOLDERNAME", "HX");
    winsim::msi::SetProperty("ProgramFiles64Folder", "C:\\Program Files\\");
    winsim::msi::SetProperty("ProgramFilesFolder", "C:\\Program Files (x86)\\");
    winsim::msi::SetProperty("CommonAppDataFolder", "C:\\ProgramData\\");
}

} // namespace

// An upgrade of Inst1 beside Inst2, queue managers in the shared data folder, every folder from the
// response file: the in-use walk over both views and the legacy record, the queue-manager list.
ZEB_SWEEP_SETUP(iwiSetDirs, "upgrade beside another installation, queue managers, response file") {
    Package();
    setup.Registry(hxrecord::RegFile(
        hxrecord::Keys(hxrecord::Installation{.name = "Inst1",
                                              .identifier = "1",
                                              .vrmf = "9.3.0.0",
                                              .folder = "C:\\HX1",
                                              .serverVersion = "9",
                                              .serverRelease = "3"}) +
        hxrecord::Keys(
            hxrecord::Installation{.name = "Inst2", .identifier = "2", .folder = "C:\\HX2", .view32 = true}) +
        hxrecord::Keys(hxrecord::OldRecord{.folder = "C:\\Hexline", .logDefaultPath = "C:\\HXLog"}) +
        hxrecord::WorkPath("C:\\HXData")));
    winsim::fs::WriteFile("C:\\HXData\\hxs.ini",
                          hxrecord::IniStanza(hxrecord::QueueManager{.name = "QM1", .prefix = "C:\\HXData"}));
    winsim::fs::MakeDirs("C:\\HXData\\qmgrs\\QM1");
    winsim::fs::WriteFile("C:\\Cfg\\resp.ini",
                          "[Response]\r\nPGMFOLDER=C:\\IniPgm\r\nDATFOLDER=C:\\IniDat\r\n"
                          "LOGFOLDER=C:\\IniLog\r\n");
    winsim::msi::SetProperty("USEINI", "C:\\Cfg\\resp.ini");
    winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "Inst1");
    winsim::msi::SetProperty("ZEBLASTPGM", "C:\\HX2\\sub");
}

// Nothing installed; the previous data and log folders are recommendations on a missing drive.
ZEB_SWEEP_SETUP(iwiSetDirs, "recommendations on a missing drive, silent") {
    Package();
    setup.Registry(hxrecord::RegFile(hxrecord::Keys(hxrecord::OldRecord{.logDefaultPath = "R:\\HXLog"}) +
                                     hxrecord::WorkPath("Q:\\HXData")));
    winsim::msi::SetProperty("UILevel", "2");
}

ZEB_SWEEP_SETUP(iwiSetDirs, "recommendations on a missing drive, full interface") {
    Package();
    setup.Registry(hxrecord::RegFile(hxrecord::Keys(hxrecord::OldRecord{.logDefaultPath = "R:\\HXLog"}) +
                                     hxrecord::WorkPath("Q:\\HXData")));
    winsim::msi::SetProperty("UILevel", "5");
    winsim::msi::SetProperty("ZEBLASTPGM", "C:\\Last");
}

ZEB_SWEEP_SETUP(iwiSetRegistryDirs, "existing program folder, Windows 9x") {
    winsim::fs::MakeDirs("C:\\Program Files\\Corvane\\HX");
    winsim::msi::SetProperty("Version9X", "490");
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\Program Files\\Corvane\\HX");
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\Program Data\\HX");
    winsim::msi::SetProperty("ZEBLOGFOLDER", "C:\\Program Data\\HX\\log");
}

ZEB_SWEEP_SETUP(iwiSetupDynamicPaths, "shortcuts of the first instance and another component") {
    setup.Tables("Shortcut\tDirectory_\tName\tComponent_\tTarget\r\n"
                 "s72\ts72\tl128\ts72\ts72\r\n"
                 "Shortcut\tShortcut\r\n"
                 "Explorer\tProgramMenuDir\tHX Explorer\tBase_base_Instance1\tExplorerFeature\r\n"
                 "Docs\tProgramMenuDir\tDocs\tDocumentation\tDocsFeature\r\n");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Installation2");
}

ZEB_SWEEP_SETUP(iwiSetAdminDir, "administrative installation, default target") {
    Package();
    winsim::msi::SetMode(0, true);
}

ZEB_SWEEP_SETUP(iwiSetAdminDir, "administrative installation, response-file target") {
    winsim::fs::WriteFile("C:\\Cfg\\resp.ini", "[Response]\r\nSERVERFOLDER=D:\\Images\\HX\r\n");
    winsim::msi::SetProperty("USEINI", "C:\\Cfg\\resp.ini");
    winsim::msi::SetMode(0, true);
}
