// Sweep setups of stopping the product and the launches at the end: a running installation with
// its service, queue managers, taskbar and tools; an installed server for the wizard.
#include "zebsweep.h"

#include <hxrecord.h>
#include <winsim/sim.h>

namespace {

const char kQmProgram[] = "C:\\HX\\bin64\\zebzxma0.exe";

void RunningInstallation(zebsweep::Setup& setup) {
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst1");
    winsim::msi::SetProperty("ZEBSERVICENAME", "HX_Inst1");
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    winsim::msi::SetProperty("ZEBREMOVE", "1");
    winsim::fs::WriteFile(
        "C:\\HXData\\hxs.ini",
        hxrecord::IniStanza(hxrecord::QmDefaults{.prefix = "C:\\HXData", .logPath = "C:\\Log"}) +
            hxrecord::IniStanza(hxrecord::QueueManager{.name = "QM1", .installation = "Inst1"}) +
            hxrecord::IniStanza(hxrecord::QueueManager{.name = "QM2", .installation = "Inst2"}));
    for (const char* folder :
         {"C:\\HXData\\qmgrs\\QM1", "C:\\HXData\\qmgrs\\QM2", "C:\\Log\\QM1", "C:\\Log\\QM2"})
        winsim::fs::MakeDirs(folder);
    setup.Registry(
        hxrecord::RegFile(hxrecord::Keys(hxrecord::Installation{.name = "Inst1", .identifier = "7"})));
    winsim::svc::AddService("HX_Inst1",
                            winsim::svc::Service{.stopMs = 1500, .files = {"C:\\HX\\bin64\\zebxssvn.exe"}});
    winsim::fs::WriteFile("C:\\HX\\bin64\\zebxssvn.exe", "MZ");
    winsim::fs::WriteFile(kQmProgram, "MZ");
    winsim::proc::Run({.program = kQmProgram}, winsim::proc::Behaviour{.runMs = 1000, .locks = {kQmProgram}});
    winsim::proc::Run({.program = "C:\\HX\\bin64\\zebmtbrn.exe"},
                      winsim::proc::Behaviour{.untilEvent = "Global\\ZEBMTBRN.EVENT.7"});
    for (const char* tool : {"endhxm.exe", "endhxlsr.exe", "endhxtrc.exe"})
        winsim::proc::InstallProgram(std::string("C:\\HX\\bin64\\") + tool);
    winsim::proc::InstallProgram("C:\\HX\\bin64\\dsphx.exe", winsim::proc::Behaviour::Exits(5, 1000));
}

} // namespace

ZEB_SWEEP_SETUP(iwiStopAllHx, "running installation being removed") {
    RunningInstallation(setup);
}

ZEB_SWEEP_SETUP(iwiStopAllHx, "old levels' service that never stops") {
    RunningInstallation(setup);
    winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "CurrentVersion");
    winsim::svc::AddService("HexlineServices",
                            winsim::svc::Service{.stop = winsim::svc::Service::Stop::Never});
    setup.modes = {hxca::Mode::Immediate};
}

ZEB_SWEEP_SETUP(iwiIsHxRunning, "service holding its program") {
    RunningInstallation(setup);
}

ZEB_SWEEP_SETUP(iwiSetLaunchWiz, "server upgrade from an old level") {
    RunningInstallation(setup);
    winsim::msi::SetProperty("ZEBREMOVE", "");
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    winsim::msi::SetProperty("VersionNT", "603");
    winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "Installation0");
    winsim::msi::AddFeature("Server", 2, 3);
    winsim::svc::AddService("HexlineServices", winsim::svc::Service{.state = 1});
}

ZEB_SWEEP_SETUP(iwiTestAndLaunchConfig, "silent server installation with the wizard") {
    RunningInstallation(setup);
    winsim::msi::SetProperty("ProductCode", "{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}");
    winsim::msi::AddProduct("{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}",
                            "{6B2F6C4E-2222-4A6B-9E3A-2B6C7D8E9F01}");
    winsim::msi::SetProductFeature("{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}", "Server", 3);
    winsim::msi::SetProperty("UILevel", "2");
    winsim::msi::SetProperty("LAUNCHWIZ", "1");
    winsim::msi::SetProperty("WIZPARMFILE", "C:\\Temp\\wiz.txt");
    winsim::msi::SetProperty("ZEBNCSEC", "TLS");
    winsim::fs::WriteFile("C:\\Temp\\wiz.txt", "x");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebmjpse.exe");
}

ZEB_SWEEP_SETUP(iwiTestAndLaunchConfig, "restart pending") {
    RunningInstallation(setup);
    winsim::msi::SetProperty("ProductCode", "{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}");
    winsim::msi::AddProduct("{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}",
                            "{6B2F6C4E-2222-4A6B-9E3A-2B6C7D8E9F01}");
    winsim::msi::SetProductFeature("{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}", "Client", 3);
    winsim::msi::SetProperty("LAUNCHWIZ", "yes");
    winsim::msi::SetProperty("ZEBBOOT", "1");
}

ZEB_SWEEP_SETUP(iwiTestAndLaunchConfig, "service and taskbar instead of the wizard") {
    RunningInstallation(setup);
    winsim::msi::SetProperty("ProductCode", "{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}");
    winsim::msi::AddProduct("{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}",
                            "{6B2F6C4E-2222-4A6B-9E3A-2B6C7D8E9F01}");
    winsim::msi::SetProductFeature("{6B2F6C4E-1111-4A6B-9E3A-2B6C7D8E9F01}", "Server", 3);
    winsim::msi::SetProperty("LAUNCHWIZ", "no");
    winsim::msi::SetProperty("ZEBSTARTSERVICE", "1");
    winsim::msi::SetProperty("ZEBSTARTTASKBAR", "1");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\strhxsvc.exe");
}

ZEB_SWEEP_SETUP(iwiLaunchReadme, "readme on the media") {
    winsim::fs::AddDrive('D', 5, "HXMEDIA");
    winsim::msi::SetProperty("SourceDir", "D:\\windows\\server");
    winsim::msi::SetProperty("ZEBLANGUAGECODE", "g");
    winsim::fs::WriteFile("D:\\readmes\\windows\\de_de\\readme.txt", "r");
    setup.modes = {hxca::Mode::Immediate};
}

ZEB_SWEEP_SETUP(iwiLaunchLaunchPad, "launchpad on the media") {
    winsim::fs::AddDrive('D', 5, "HXMEDIA");
    winsim::msi::SetProperty("OriginalDatabase", "D:\\windows\\hx.msi");
    winsim::proc::InstallProgram("D:\\HXLaunch.exe", winsim::proc::Behaviour::Exits(0, 2000));
    setup.modes = {hxca::Mode::Immediate};
}

ZEB_SWEEP_SETUP(iwiLaunchSetHxInstPrim, "program folder with the tool") {
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Inst1");
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    winsim::proc::InstallProgram("C:\\HX\\bin64\\sethxinst.exe");
}
