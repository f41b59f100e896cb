// Sweep setups of the helper-script actions: a program folder holding both archives, the unpack
// script, the web server's stop script and environment file, and the .NET configuration files.
#include "zebsweep.h"

#include <winsim/sim.h>

namespace {

const char kValues[] = "ProductVersion=9.4.0.0;ZEBTEMP=C:\\Temp;ZEBINSTALLINSTANCENAME=Inst1;"
                       "ZEBPGMFOLDER=C:\\HX;ZEBDATFOLDER=C:\\HXData;";

void ProgramFolder(zebsweep::Setup& setup) {
    const std::pair<const char*, const char*> properties[] = {{"ProductVersion", "9.4.0.0"},
                                                              {"ZEBTEMP", "C:\\Temp"},
                                                              {"ZEBINSTALLINSTANCENAME", "Inst1"},
                                                              {"ZEBPGMFOLDER", "C:\\HX"},
                                                              {"ZEBDATFOLDER", "C:\\HXData"}};
    for (const auto& [name, value] : properties)
        winsim::msi::SetProperty(name, value);
    setup.valueList = kValues;
    winsim::fs::MakeDirs("C:\\Temp");
    winsim::fs::WriteFile("C:\\HX\\zips\\hx_jre64.zip", "PK");
    winsim::fs::WriteFile("C:\\HX\\zips\\hx_rzl.zip", "PK");
    winsim::proc::Behaviour unpack = winsim::proc::Behaviour::Exits(0, 1000);
    unpack.out = "unpacked\n";
    unpack.atStart = [](const winsim::proc::Start& start, winsim::proc::Behaviour&) {
        winsim::fs::WriteFile(start.directory + "\\jre\\bin\\x.txt", "x");
    };
    winsim::proc::InstallProgram("C:\\HX\\zips\\UnpackFeature.cmd", unpack);
    winsim::proc::InstallProgram("C:\\HX\\bin\\endhxweb.bat", winsim::proc::Behaviour::Exits(1, 1000));
    winsim::proc::InstallProgram("C:\\HX\\bin64\\zebicvar.exe");
    winsim::fs::WriteFile("C:\\HX\\java\\jre\\bin\\java.exe", "MZ");
    winsim::fs::WriteFile("C:\\HX\\java\\docs\\index.html", "x");
    winsim::fs::WriteFile("C:\\HX\\java\\notices.txt", "x");
    winsim::fs::WriteFile("C:\\HX\\web\\readme.txt", "x");
    winsim::fs::WriteFile("C:\\HX\\web\\bin\\a.dll", "x");
    winsim::fs::WriteFile("C:\\HX\\web\\etc\\server.env", "A=1");
    winsim::fs::WriteFile("C:\\HX\\bin\\runhxdnm.exe.config", "<c/>");
    winsim::fs::WriteFile("C:\\HX\\tools\\dotnet\\samples\\cs\\base\\nhxsget.exe.config", "<c/>");
}

} // namespace

ZEB_SWEEP_SETUP(iwiUnzipJRE, "program folder with archives and scripts") {
    ProgramFolder(setup);
    setup.modes = {hxca::Mode::Deferred, hxca::Mode::Rollback};
}
ZEB_SWEEP_SETUP(iwiUnzipRZL, "program folder with archives and scripts") {
    ProgramFolder(setup);
    setup.modes = {hxca::Mode::Deferred, hxca::Mode::Rollback};
}
ZEB_SWEEP_SETUP(iwiDeleteJREFiles, "program folder with archives and scripts") {
    ProgramFolder(setup);
    setup.modes = {hxca::Mode::Deferred, hxca::Mode::Rollback};
}
ZEB_SWEEP_SETUP(iwiDeleteWebFiles, "program folder with archives and scripts") {
    ProgramFolder(setup);
    setup.modes = {hxca::Mode::Deferred, hxca::Mode::Rollback};
}
ZEB_SWEEP_SETUP(iwiStopRZLServer, "program folder with archives and scripts") {
    ProgramFolder(setup);
}
ZEB_SWEEP_SETUP(iwiFixupDotnetConfigs, "program folder with archives and scripts") {
    ProgramFolder(setup);
}
ZEB_SWEEP_SETUP(iwiFixupWebConfig, "program folder with archives and scripts") {
    ProgramFolder(setup);
}
