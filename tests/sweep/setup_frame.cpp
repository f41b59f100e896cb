// Sweep setups and allowances of the frame and the trivial actions.
#include "zebsweep.h"

#include <winsim/sim.h>

ZEB_SWEEP_ALLOW(test, silent,
                "1603 is the answer of the copy that runs it, which the frame's generic message shows");

// The outermost failure with the language library unpacked: the generic message is loaded and
// shown, the library freed at the exit, and every line goes to all three trace files.
ZEB_SWEEP_SETUP(iwiERROR, "language library and three trace files") {
    winsim::fs::WriteFile(
        "C:\\Temp\\zebl0001.dll",
        winsim::fs::MakeStringTable({{2027, "Corvane Skyloft HX"}, {2041, zebsweep::kSetupGenericText}}));
    for (const auto& [name, value] : {std::pair{"UILevel", "5"},
                                      {"ZEBTEMP", "C:\\Temp"},
                                      {"ZEBTEMPFILENUM", "0001"},
                                      {"ZEBLANGDLLCREATED", "1"},
                                      {"ZEBLANGUAGECODE", "a"},
                                      {"ZEBUSERTRACEPATH", "C:\\Temp\\hxtrace.txt"},
                                      {"ZEBUSERLOGPATH", "C:\\Logs\\hxlog.txt"},
                                      {"ZEBTEMPLOGPATH", "C:\\Temp\\zebg0001.txt"}})
        winsim::msi::SetProperty(name, value);
    winsim::fs::MakeDirs("C:\\Logs");
}

// The call handed to a second copy of the library in the folder ZEBEXTCA60000 names.
ZEB_SWEEP_SETUP(iwiPause, "second copy of the library") {
    winsim::fs::MapModule("C:\\Ext\\zebiwicn.dll", setup.library);
    winsim::msi::SetProperty("ZEBEXTCA60000", "C:\\Ext");
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
}
