// Sweep setups of feature selection and upgrade discovery: a package with its features, list boxes
// and per-instance components, installations to upgrade and a legacy record.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kListBoxIdt[] = "Property\tOrder\tValue\tText\r\n"
                           "s72\ti2\ts64\tL64\r\n"
                           "ListBox\tProperty\tOrder\r\n"
                           "ZEBSELECTUPGRADELISTBOX\t1\told\tOld entry\r\n";

const char kComponentIdt[] =
    "Component\tComponentId\tDirectory_\tAttributes\tCondition\tKeyPath\r\n"
    "s72\tS38\ts72\ti2\tS255\tS72\r\n"
    "Component\tComponent\r\n"
    "Base_base_Instance1\t{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E01}\tINSTALLDIR\t0\t\t\r\n"
    "Docs\t{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E99}\tINSTALLDIR\t0\t\t\r\n"
    "Server_base_Instance1\t{6B0E4C1A-53D2-4F7E-9E11-0A1B2C3D4E02}\tINSTALLDIR\t0\t\t\r\n";

const char kCode1[] = "{11111111-1111-1111-1111-111111111111}";
const char kLegacyCode[] = "{00000000-0000-0000-0000-000000000007}";

void Features() {
    winsim::msi::DefineFeatures({{"Base"},
                                 {"Server", 3, -1},
                                 {"Client"},
                                 {"JavaMsg"},
                                 {"Toolkit"},
                                 {"JRE", 3, 2},
                                 {"Web", 2, 3, "JavaMsg"},
                                 {"MFT_Agent", 2, 3},
                                 {"AMQP", 3, -1, "Server"}});
}

} // namespace

ZEB_SWEEP_SETUP(iwiListAvailableUpgrades, "registered, legacy and unknown codes") {
    setup.Tables(kListBoxIdt);
    setup.Registry(hxrecord::RegFile(hxrecord::Keys(hxrecord::Installation{.name = "Inst1",
                                                                           .description = "First",
                                                                           .identifier = "1",
                                                                           .vrmf = "9.4.0.0",
                                                                           .productCode = kCode1})));
    setup.Registry(hxrecord::RegFile(
        hxrecord::Keys(hxrecord::OldRecord{.productCode = kLegacyCode, .vrmf = "7.0.1.6"})));
    winsim::msi::SetProperty("ZEBOLDSERVER", std::string(kCode1) + ";;" + kLegacyCode);
    winsim::msi::SetProperty("ZEBOLDCLIENT", "{99999999-9999-9999-9999-999999999999}");
}

ZEB_SWEEP_SETUP(iwiListAvailableUpgrades, "legacy level that cannot coexist") {
    setup.Tables(kListBoxIdt);
    setup.Registry(hxrecord::RegFile(
        hxrecord::Keys(hxrecord::OldRecord{.productCode = kLegacyCode, .vrmf = "7.0.1.5"})));
    winsim::msi::SetProperty("ZEBOLDSERVER", kLegacyCode);
    winsim::msi::SetProperty("ZEBOLDSERVERINSTALLED", kLegacyCode);
}

ZEB_SWEEP_SETUP(iwiSetFeaturesMinimum, "server package, client run") {
    Features();
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    winsim::msi::SetProperty("ZEBCLIENT", "1");
}

ZEB_SWEEP_SETUP(iwiSetFeaturesTypical, "server package, server run") {
    Features();
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    winsim::msi::SetProperty("VersionNT", "1000");
}

ZEB_SWEEP_SETUP(iwiCheckAtLeastOneFeature, "every feature removed") {
    winsim::msi::SetProperty("ZEBREMOVE", "1");
}

ZEB_SWEEP_SETUP(iwiAddFeaturesNeedingJRE, "Java dependants selected") {
    setup.Tables(kListBoxIdt);
    Features();
}

ZEB_SWEEP_SETUP(iwiTestLosingFeatures, "Java support, legacy documentation, removal") {
    setup.Tables(kListBoxIdt);
    Features();
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    winsim::msi::SetProperty("ZEBHAVEQMS", "1");
    winsim::msi::SetProperty("REMOVE", "ALL");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst2");
    winsim::msi::AddProduct("{0B170000-0000-0000-0000-000000000001}",
                            "{37C07B43-CAD0-11D4-B2C4-000629BE98FC}", 5, "QB17 Java");
    winsim::msi::SetProductComponent("{0B170000-0000-0000-0000-000000000001}",
                                     "{C0000000-0000-0000-0000-000000000003}", 3, "C:\\HX\\java\\lib\\x.jar");
    winsim::msi::SetProductComponent("{F150DC72-75A6-11D3-B481-000629BE881D}",
                                     "{C5210D0C-0001-4D0C-9A5E-521000000001}", -4, "C:\\Docs\\e");
    setup.Registry(hxrecord::RegFile(hxrecord::Keys(
        hxrecord::Installation{.name = "Other", .identifier = "1", .components = {"Server"}})));
}

ZEB_SWEEP_SETUP(iwiRuntimeMVChanges, "instance 2 of the package") {
    setup.Tables(kComponentIdt);
    winsim::msi::SetProperty("ZEBINSTANCEID", "2");
}
