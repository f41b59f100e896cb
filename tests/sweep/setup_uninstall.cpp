// Sweep setups of the queue-manager removal and the deferred hand-over: machines with queue
// managers in every source, the tables the actions read and write, and the deferred updates'
// library and configuration file.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kData[] = "C:\\HXData";

const char kRemoveFileIdt[] = "FileKey\tComponent_\tFileName\tDirProperty\tInstallMode\r\n"
                              "s72\ts72\tL255\ts72\ti2\r\nRemoveFile\tFileKey\r\n";

std::string InstallationKeys(const std::string& name, const std::string& component) {
    return hxrecord::Keys(hxrecord::Installation{.name = name, .identifier = "1", .components = {component}});
}

// Two queue managers of the old levels' registry (one with its log folder in its QM.INI), two
// in hxs.ini, each with data and log files.
void QueueManagers(zebsweep::Setup& setup) {
    setup.Registry(hxrecord::RegFile(
        hxrecord::Keys(hxrecord::QmDefaults{.prefix = "C:\\Old", .logPath = "C:\\OldLog"}) +
        hxrecord::Keys(
            hxrecord::QueueManager{.name = "QMR1", .prefix = "C:\\Old", .logPath = "C:\\OldLog\\QMR1"}) +
        hxrecord::Keys(hxrecord::QueueManager{.name = "QMR2", .dataPath = "C:\\Old\\qmgrs\\QMR2"}) +
        InstallationKeys("Inst1", "Server")));
    winsim::fs::WriteFile("C:\\Old\\qmgrs\\QMR2\\QM.INI", hxrecord::QmIni("C:\\OldLog\\QMR2"));
    winsim::fs::WriteFile("C:\\OldLog\\QMR2\\S0000000.LOG", "l");
    winsim::fs::WriteFile(
        std::string(kData) + "\\hxs.ini",
        hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = kData, .logPath = "C:\\HXLog"}) +
            hxrecord::IniStanza(hxrecord::QueueManager{.name = "QM1", .installation = "Inst1"}) +
            hxrecord::IniStanza(hxrecord::QueueManager{.name = "QMR1", .prefix = kData}));
    winsim::fs::WriteFile("C:\\HXData\\qmgrs\\QM1\\QM.INI", hxrecord::QmIni("C:\\HXLog\\QM1"));
    winsim::fs::WriteFile("C:\\HXData\\qmgrs\\QM1\\queues\\q1\\msg", "m");
    winsim::fs::WriteFile("C:\\HXLog\\QM1\\active\\S0000000.LOG", "l");
    winsim::msi::SetProperty("ZEBPREVDAT", kData);
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst1");
    winsim::msi::SetProperty("ZEBLEAVEQMDATAREMOVE", "delete");
    setup.Tables(kRemoveFileIdt);
}

} // namespace

ZEB_SWEEP_SETUP(iwiStackDeleteQMgrs, "delete the data of queue managers of the registry and hxs.ini") {
    QueueManagers(setup);
}

ZEB_SWEEP_SETUP(iwiStackDeleteQMgrs, "delete the data of queue managers of Config.reg") {
    winsim::fs::WriteFile(
        std::string(kData) + "\\config\\Config.reg",
        "REGEDIT4\r\n\r\n" +
            hxrecord::ConfigReg(hxrecord::QmDefaults{.prefix = kData, .logPath = "C:\\HXLog"}) +
            hxrecord::ConfigReg(hxrecord::QueueManager{.name = "QM.A", .directory = "QM!A"}));
    winsim::fs::WriteFile("C:\\HXData\\qmgrs\\QM!A\\QM.INI", "x");
    winsim::fs::MakeDirs("C:\\HXLog");
    winsim::msi::SetProperty("ZEBPREVDAT", kData);
    winsim::msi::SetProperty("ZEBLEAVEQMDATAINSTALL", "delete");
    setup.Tables(kRemoveFileIdt);
}

ZEB_SWEEP_SETUP(iwiValidateLeaveQM, "delete asked while another server installation exists") {
    setup.Registry(
        hxrecord::RegFile(InstallationKeys("Inst1", "Server") + InstallationKeys("Inst2", "Server")));
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst1");
    winsim::msi::SetProperty("ZEBLEAVEQMDATAINSTALL", "delete");
}

ZEB_SWEEP_SETUP(iwiWriteDeferredProperties, "three name lists, settings from a response file") {
    winsim::fs::WriteFile("C:\\Temp\\resp.ini", "[Response]\r\nPGMFOLDER=C:\\HX\r\nKEEPQMDATA=delete\r\n");
    for (const auto& [name, value] : {std::pair{"ZEBTEMP", "C:\\Temp"},
                                      {"USEINI", "C:\\Temp\\resp.ini"},
                                      {"ZEBPROPERTYNAMELIST1", "ZEBINSTALLINSTANCENAME;PGMFOLDER"},
                                      {"ZEBPROPERTYNAMELIST2", ";KEEPQMDATA;;ZEBDATFOLDER"},
                                      {"ZEBPROPERTYNAMELIST3", "ZEBREMOVE"},
                                      {"ZEBINSTALLINSTANCENAME", "Inst1"},
                                      {"ZEBDATFOLDER", "C:\\HXData"},
                                      {"ZEBREMOVE", "1"}})
        winsim::msi::SetProperty(name, value);
}

ZEB_SWEEP_SETUP(iwiSetCustomActionData, "custom actions of every kind") {
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    setup.Tables("Action\tType\tSource\tTarget\tExtendedType\r\ns72\ti2\tS72\tS255\tI4\r\n"
                 "CustomAction\tAction\r\n"
                 "iwiDeferredUpdatesDeferred\t3073\tzebiwicn.dll\tiwiDeferredUpdates\t\r\n"
                 "iwiDeferredUpdatesRollback\t3329\tzebiwicn.dll\tiwiDeferredUpdates\t\r\n"
                 "iwiStackDeleteQMgrs\t1\tzebiwicn.dll\tiwiStackDeleteQMgrs\t\r\n"
                 "ScriptDeferred\t1061\tScript\tmain\t\r\n");
}

ZEB_SWEEP_SETUP(iwiDeferredUpdates, "removal of the whole product with its library and queue managers") {
    setup.modes = {hxca::Mode::Deferred, hxca::Mode::Rollback};
    winsim::fs::WriteFile("C:\\HX\\bin64\\ZEBMTSXATMC.DLL", "MZ");
    winsim::fs::WriteFile(std::string(kData) + "\\hxs.ini",
                          hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = kData}) +
                              hxrecord::IniStanza(hxrecord::QueueManager{.name = "QM1"}) +
                              "Log:\r\n   x=y\r\n");
    for (const auto& [name, value] : {std::pair{"ZEBTEMP", "C:\\Temp"},
                                      {"ZEBINSTALLINSTANCENAME", "Inst1"},
                                      {"ZEBPGMFOLDER", "C:\\HX"},
                                      {"ZEBDATFOLDER", kData},
                                      {"ZEBLEAVEQMDATAREMOVE", "delete"},
                                      {"ZEBREMOVE", "1"}})
        winsim::msi::SetProperty(name, value);
}

ZEB_SWEEP_SETUP(iwiDeferredUpdates, "library gone, its value left") {
    setup.modes = {hxca::Mode::Rollback};
    setup.Registry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\MSDTC\\XADLL]\r\n"
                   "\"Skyloft HX Client (Inst1)\"=\"C:\\\\HX\\\\bin64\\\\ZEBMTSXATMC.DLL\"\r\n");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst1");
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
}
