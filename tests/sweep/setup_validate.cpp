// Sweep setups of the validation and named-initialisation actions: installations in both views,
// the old single record and the telemetry product for the name and folder rules, a removable source
// with its Media row, the inaccessible-folder flags, the upgrade of a named installation with its
// permission written, and a full-interface maintenance run.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kCode1[] = "{11111111-1111-1111-1111-111111111111}";
const char kOldCode[] = "{00000000-0000-0000-0000-000000000007}";

std::string Machine(void) {
    return hxrecord::RegFile(
        hxrecord::Keys(hxrecord::Installation{.name = "Inst1",
                                              .identifier = "1",
                                              .vrmf = "9.2.0.5",
                                              .productCode = kCode1,
                                              .folder = "C:\\HX1",
                                              .values = {{"CreatedAccount", "17"}}}) +
        hxrecord::Keys(hxrecord::Installation{
            .name = "Inst1", .identifier = "1", .productCode = kCode1, .folder = "C:\\HX1", .view32 = true}) +
        hxrecord::Keys(hxrecord::Installation{.name = "Inst2", .identifier = "2", .view32 = true}) +
        hxrecord::Keys(
            hxrecord::OldRecord{.productCode = kOldCode, .vrmf = "7.0.1.5", .folder = "C:\\Hexline"}));
}

void Package(void) {
    winsim::msi::SetProperty("ProductVersion", "9.3.0.0");
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    winsim::msi::SetProperty("VersionNT", "603");
}

} // namespace

ZEB_SWEEP_SETUP(iwiValidateInstallationParms, "new installation beside others, old record, telemetry") {
    setup.Registry(Machine());
    setup.Registry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\"
        "Uninstall\\Corvane Skyloft HX Telemetry]\r\n\"InstallLocation\"=\"C:\\\\XR\\\\bin\"\r\n");
    winsim::msi::SetProperty("UILevel", "5");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst9");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCEDESC", "Accounts");
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX9");
}

ZEB_SWEEP_SETUP(iwiValidateInstallPath, "folder inside another installation") {
    setup.Registry(Machine());
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst9");
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX1\\Sub");
}

ZEB_SWEEP_SETUP(iwiValidatePath, "program folder too long") {
    winsim::msi::SetProperty("_BrowseProperty", "_BrowseFolder");
    winsim::msi::SetProperty("_BrowseFolder", "C:\\" + std::string(300, 'p'));
    winsim::msi::SetProperty("ZEBWhichFolder", "pgm");
}

ZEB_SWEEP_SETUP(iwiInaccessibleFolder, "both recommendations inaccessible") {
    winsim::msi::SetProperty("ZEBINACCESSIBLELASTDAT", "1");
    winsim::msi::SetProperty("ZEBINACCESSIBLELASTLOG", "1");
    winsim::msi::SetProperty("ZEBLASTDAT", "Q:\\Data");
    winsim::msi::SetProperty("ZEBLASTLOG", "Q:\\Log");
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
}

ZEB_SWEEP_SETUP(iwiUnableToCoexist, "legacy installation") {
    setup.Registry(Machine());
}

ZEB_SWEEP_SETUP(iwiCheckVolumeLabel, "removable source with a Media label") {
    winsim::fs::AddDrive('D', 5, "HXCD1 \r\n");
    winsim::msi::SetProperty("SourceDir", "D:\\HX\\Windows\\");
    winsim::msi::SetProperty("ZEBCHECKVOLUME", "1");
    winsim::msi::DefineStandardTable("Media");
    winsim::msi::AddRow("Media", {winsim::msi::Field::integer(1), winsim::msi::Field::integer(100),
                                  winsim::msi::Field::str("1"), winsim::msi::Field::str(""),
                                  winsim::msi::Field::str("HXCD1"), winsim::msi::Field::str("")});
}

ZEB_SWEEP_SETUP(iwiInstallInitNamed, "upgrade chosen in the list box") {
    Package();
    setup.Registry(Machine());
    winsim::msi::SetProperty("UILevel", "5");
    winsim::msi::SetProperty("ZEBOLDSERVER", kCode1);
    winsim::msi::SetProperty("ZEBSELECTUPGRADELISTBOX", kCode1);
    winsim::fs::WriteFile("C:\\HX1\\bin64\\zebmtbrn.exe", "MZ");
}

ZEB_SWEEP_SETUP(iwiInstallInitNamed, "silent, old release that cannot coexist") {
    Package();
    setup.Registry(Machine());
    winsim::msi::SetProperty("UILevel", "2");
    winsim::msi::SetProperty("ZEBSERVICESHIPLEVEL", "1.5");
}

ZEB_SWEEP_SETUP(iwiInstallInitNamed, "upgrade of the old release, its account") {
    Package();
    setup.Registry(Machine());
    setup.Registry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane\\Hexline\\CurrentVersion]\r\n"
        "\"CreatedAccount\"=dword:0000002a\r\n");
    winsim::msi::SetProperty("ZEBOLDCLIENT", kOldCode);
}

ZEB_SWEEP_SETUP(iwiInstallInitNamed, "maintenance") {
    Package();
    setup.Registry(Machine());
    winsim::msi::SetProperty("Installed", "1");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst1");
}

ZEB_SWEEP_SETUP(iwiInstallInitScript, "full-interface maintenance") {
    setup.Registry(Machine());
    winsim::msi::SetProperty("UILevel", "5");
    winsim::msi::SetProperty("Installed", "1");
    winsim::msi::SetProperty("ProductCode", kCode1);
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX1");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst1");
}
