// Sweep setups of the install summaries: a server removal whose queue managers are listed, with
// the language library, the list box and the package's features and components.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kListBoxIdt[] = "Property\tOrder\tValue\tText\r\n"
                           "s72\ti2\ts64\tL64\r\n"
                           "ListBox\tProperty\tOrder\r\n"
                           "ZEBSUMMARYLIST\t1\told\tOld line\r\n";

const char kComponentIdt[] = "Component\tComponentId\tDirectory_\tAttributes\tCondition\tKeyPath\r\n"
                             "s72\tS38\ts72\ti2\tS255\tS72\r\n"
                             "Component\tComponent\r\n"
                             "Base_base\t{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E01}\tINSTALLDIR\t0\t\t\r\n";

void LanguageLibrary() {
    winsim::fs::WriteFile("C:\\Temp\\zebl0001.dll", winsim::fs::MakeStringTable({{247, "Apply %1 again"},
                                                                                 {549, "Summary for '%1'"},
                                                                                 {573, "Deleted:"},
                                                                                 {581, "'%s'"},
                                                                                 {1031, "Removed:"},
                                                                                 {1056, "Removing"},
                                                                                 {1067, "HX 7"}}));
    for (const auto& [name, value] : {std::pair{"ZEBTEMP", "C:\\Temp"},
                                      {"ZEBTEMPFILENUM", "0001"},
                                      {"ZEBLANGDLLCREATED", "1"},
                                      {"UILevel", "5"}})
        winsim::msi::SetProperty(name, value);
}

// Inst1, a server installation with one queue manager, being removed with its data.
void ServerRemoval(zebsweep::Setup& setup) {
    LanguageLibrary();
    setup.Tables(kListBoxIdt);
    setup.Tables(kComponentIdt);
    setup.Registry(hxrecord::RegFile(hxrecord::Keys(hxrecord::Installation{.name = "Inst1",
                                                                           .identifier = "1",
                                                                           .vrmf = "7.0.1.0",
                                                                           .productType = "Server",
                                                                           .serverVersion = "7",
                                                                           .serverRelease = "0",
                                                                           .components = {"Server"}})));
    winsim::fs::WriteFile(
        "C:\\HXData\\hxs.ini",
        hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = "C:\\HXData", .logPath = "C:\\HXLog"}) +
            hxrecord::IniStanza(hxrecord::QueueManager{.name = "QM1", .installation = "Inst1"}));
    winsim::fs::WriteFile("C:\\HXData\\qmgrs\\QM1\\QM.INI", hxrecord::QmIni("C:\\HXLog\\QM1"));
    winsim::fs::MakeDirs("C:\\HXLog\\QM1");
    winsim::msi::DefineFeatures({{"Base", 3, 2}, {"Server", 3, 2}, {"Client"}});
    for (const auto& [name, value] : {std::pair{"ZEBPRODUCT", "server"},
                                      {"VersionNT", "1000"},
                                      {"Installed", "1"},
                                      {"ZEBREMOVE", "1"},
                                      {"ZEBINSTALLINSTANCENAME", "Inst1"},
                                      {"ZEBOLDINSTALLINSTANCENAME", "Inst1"},
                                      {"ZEBPGMFOLDER", "C:\\HX"},
                                      {"ZEBDATFOLDER", "C:\\HXData"},
                                      {"ZEBLEAVEQMDATAREMOVE", "delete"},
                                      {"ZEBPREVSTARTFOLDER", "Old"},
                                      {"USEINI", "C:\\r.ini"},
                                      {"IS_MINOR_UPGRADE", "1"},
                                      {"ZEBREAPPLYSERVICE", "9.4.0.1"}})
        winsim::msi::SetProperty(name, value);
}

} // namespace

ZEB_SWEEP_SETUP(iwiListInstallSummary, "server removal listing its queue managers") {
    ServerRemoval(setup);
}

ZEB_SWEEP_SETUP(iwiListInstallSummary, "first installation over an older product") {
    ServerRemoval(setup);
    winsim::msi::SetProperty("Installed", "");
    winsim::msi::SetProperty("ZEBREMOVE", "");
}

ZEB_SWEEP_SETUP(iwiDisplayHelpfulSummary, "server minor upgrade of a recorded installation") {
    ServerRemoval(setup);
}

ZEB_SWEEP_SETUP(iwiDumpDiagnostics, "features and components") {
    ServerRemoval(setup);
}

ZEB_SWEEP_SETUP(iwiDisplayApplyService, "reminder text present") {
    ServerRemoval(setup);
}
