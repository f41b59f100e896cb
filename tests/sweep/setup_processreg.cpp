// Sweep setups of the registry rows: a server installation with folders that differ from the
// registry's and a stale record in its data folder.
#include "zebsweep.h"

#include <winsim/sim.h>

ZEB_SWEEP_SETUP(iwiStackRegistryUpdates, "new server installation, stale LastInstall.reg") {
    for (const char* table : {"Registry", "RemoveFile"})
        winsim::msi::DefineStandardTable(table);
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Installation1");
    winsim::msi::SetProperty("ZEBPRODUCT", "server");
    winsim::msi::SetProperty("ZEBDATFOLDER", "C:\\HXData\\");
    winsim::msi::SetProperty("ZEBLOGFOLDER", "C:\\HXData\\log");
    setup.Registry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft "
                   "HX]\r\n\"WorkPath\"=\"C:\\\\Old\"\r\n");
    winsim::fs::WriteFile("C:\\HXData\\Config\\LastInstall.reg", "stale");
}
