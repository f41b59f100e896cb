// Sweep setups of the response file writer: a server run with every optional setting and
// features in each list.
#include "zebsweep.h"

#include <winsim/sim.h>

ZEB_SWEEP_SETUP(iwiWriteResponseFile, "server run with every setting") {
    winsim::fs::MakeDirs("C:\\Out");
    for (auto [name, value] :
         std::vector<std::pair<const char*, const char*>>{{"SAVEINI", "C:\\Out\\resp.ini"},
                                                          {"ZEBINSTALLINSTANCENAME", "Installation1"},
                                                          {"ZEBPGMFOLDER", "C:\\HX"},
                                                          {"ZEBDATFOLDER", "C:\\HXData"},
                                                          {"ZEBLOGFOLDER", "C:\\HXData\\log"},
                                                          {"ZEBPRODUCT", "server"},
                                                          {"VersionNT", "603"},
                                                          {"KEEPQMDATA", "keep"},
                                                          {"WIZPARMFILE", "C:\\w.txt"},
                                                          {"HIGHCONTRAST", "1"}})
        winsim::msi::SetProperty(name, value);
    winsim::msi::DefineFeatures({{"Server", 2, 3}, {"Client", 3, -1}, {"JRE", -4, -1}, {"Toolkit", 2, 1}});
}
