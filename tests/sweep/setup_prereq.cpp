// Sweep setups of the prerequisite checks: a probed system whose files, registry and secure channel
// are all read, every item's lines listed, and selections whose dependants need Server or JRE.
#include "zebsweep.h"

#include <winsim/sim.h>

namespace {

const char kListBoxIdt[] = "Property\tOrder\tValue\tText\r\n"
                           "s72\ti2\ts64\tL64\r\n"
                           "ListBox\tProperty\tOrder\r\n"
                           "ZEBPRODUCTPREREQLIST\t1\told\tOld entry\r\n";

const char kSystemReg[] =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer]\n"
    "\"Version\"=\"4.72.3110.8\"\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009]\n"
    "\"Installed\"=dword:00000001\n";

// An old system: the service-pack probe reads the hotfix, the file probes read versions.
void ProbedSystem(zebsweep::Setup& setup) {
    winsim::fs::WriteFile("C:\\Windows\\system32\\mmc.exe", winsim::fs::VersionImage(5, 0, 1920, 1));
    winsim::fs::WriteFile("C:\\Windows\\system32\\hhctrl.ocx", winsim::fs::VersionImage(4, 74, 8793, 0));
    winsim::fs::WriteFile("C:\\Windows\\system32\\activeds.dll", "MZ");
    winsim::WindowsVersion nt4;
    nt4.major = 4;
    nt4.suiteMask = 0;
    winsim::SetWindowsVersion(nt4);
    setup.Registry(kSystemReg);
    setup.Tables(kListBoxIdt);
    winsim::msi::SetProperty("VersionNT", "400");
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    // Every item listed: the overrides force the ones the probes find present.
    for (const char* name : {"ZEBPREREQSP", "ZEBPREREQIE", "ZEBPREREQENCRYPT"})
        winsim::msi::SetProperty(name, "1");
    winsim::msi::SetProperty("ZEBCHECKPRODUCTPREREQS", "1");
}

void Selection() {
    winsim::msi::DefineFeatures({{"Server", 2, 2},
                                 {"Client", 2, 3},
                                 {"Toolkit", 2, 3},
                                 {"JRE", 3, 2},
                                 {"MFT_Agent", 2, 3},
                                 {"AMS", 3, -1, "Server"}});
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    winsim::msi::SetProperty("VersionNT", "1000");
}

} // namespace

ZEB_SWEEP_SETUP(iwiListProductPrereqs, "old system, every item listed") {
    ProbedSystem(setup);
    Selection();
}

ZEB_SWEEP_SETUP(iwiListFeaturePrereqs, "old system, new features need the items") {
    ProbedSystem(setup);
    Selection();
    winsim::msi::SetProperty("ONLYINI", "C:\\r.ini");
}

ZEB_SWEEP_SETUP(iwiCheckServerPrereqs, "Server removed under a kept dependant") {
    Selection();
}

ZEB_SWEEP_SETUP(iwiAddServerPrereq, "Server removed under a kept dependant") {
    Selection();
}

ZEB_SWEEP_SETUP(iwiCheckJREPrereqs, "JRE removed under a new dependant") {
    Selection();
}

ZEB_SWEEP_SETUP(iwiAddJREPrereq, "JRE removed under a new dependant") {
    Selection();
}
