// Sweep setups of the final settings: an enterprise edition with the cluster tool in bin64, an
// administrative image beside its media, and a removal with the reboot marker.
#include "zebsweep.h"

#include <winsim/sim.h>

ZEB_SWEEP_SETUP(iwiServerClusterSupport, "enterprise edition, cluster tool present") {
    winsim::WindowsVersion enterprise;
    enterprise.suiteMask = 0x2;
    enterprise.productType = 3;
    winsim::SetWindowsVersion(enterprise);
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    winsim::msi::SetProperty("ZEBREMOVE", "1");
    setup.valueList = "ZEBPGMFOLDER=C:\\HX;ZEBREMOVE=1;";
    winsim::proc::InstallProgram("C:\\HX\\bin64\\haregtyp.exe");
}

ZEB_SWEEP_SETUP(iwiDirectCopyAdminFiles, "media and an image with copied files") {
    for (const char* f : {"HXLaunch.exe", "Response.ini", "setup.exe", "sethxipw.exe", "a.pdf", "a.sms",
                          "Prereqs\\x\\p.txt", "server\\hx.msi", "server\\t.mst"}) {
        winsim::fs::WriteFile(std::string("C:\\Media\\") + f, "m");
        winsim::fs::WriteFile(std::string("C:\\Image\\") + f, "c");
    }
    winsim::fs::WriteFile("C:\\Image\\notes.pdf", "c");
    setup.valueList =
        "SourceDir=C:\\Media\\server;TARGETDIR=C:\\Image\\server;ZEBPRODUCT=server;VersionNT=1000;";
    setup.modes = {hxca::Mode::Deferred, hxca::Mode::Rollback};
}

ZEB_SWEEP_SETUP(iwiSetEnvironment, "removal with the reboot marker") {
    winsim::fs::WriteFile("C:\\Temp\\zebreboot.txt", "");
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    winsim::msi::SetProperty("ZEBREMOVE", "1");
}
