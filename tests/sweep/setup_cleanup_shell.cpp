// Sweep setups of the removal's shortcut and feature clean-up: the product's and a foreign
// desktop shortcut, a feature being removed whose uninstall list names a file, a folder and its
// uninstall library.
#include "zebsweep.h"

#include <msi.h>
#include <shlobj.h>
#include <winsim/sim.h>

namespace {

const char kRemoveFileIdt[] = "FileKey\tComponent_\tFileName\tDirProperty\tInstallMode\r\n"
                              "s72\ts72\tL255\ts72\ti2\r\nRemoveFile\tFileKey\r\n";

} // namespace

ZEB_SWEEP_SETUP(iwiStackCleanUpServer,
                "the product's and a foreign desktop shortcut, the wizard's RunOnce value") {
    const std::string desktop = winsim::fs::SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    winsim::fs::WriteShortcut(desktop + "\\HX.lnk", "C:\\HX\\bin64\\zebmjpse.exe");
    winsim::fs::WriteShortcut(desktop + "\\Other.lnk", "C:\\Other\\tool.exe");
    winsim::fs::WriteFile(desktop + "\\Broken.lnk", "x");
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\HXData");
    setup.Registry("Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"
                   "\"HXPrepWiz\"=\"prep.exe\"\r\n");
    setup.Tables(kRemoveFileIdt);
}

ZEB_SWEEP_SETUP(iwiStackCleanUpFeatures,
                "a feature being removed with a file, a folder and a library listed") {
    winsim::msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_ABSENT},
                                 {"Client", INSTALLSTATE_ADVERTISED, INSTALLSTATE_UNKNOWN}});
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX");
    winsim::msi::SetProperty("ZEBPGMREGPATH", "C:\\HX");
    winsim::fs::MapModule("C:\\HX\\uninst\\srvca.dll", ZEB_UNINST_LIBRARY);
    winsim::fs::WriteFile("C:\\HX\\uninst\\Server.u02",
                          "file;<PGMDIR>\\bin64\\a.dll\r\nfolder;<PGMDIR>\\web\r\n"
                          "dll;<PGMDIR>\\uninst\\srvca.dll\r\nC:\\HX\\plain.txt\r\n");
    winsim::fs::WriteFile("C:\\HX\\uninst\\Client_1.u02", "dll;C:\\HX\\uninst\\none.dll\r\n");
    setup.Tables(kRemoveFileIdt);
}
