// The bait's setup and allowance, registered as a test file of the real sweep registers them.
#include "../zebsweep.h"

#include <winsim/sim.h>

ZEB_SWEEP_SETUP(baitNeedsSetup, "folder given") {
    winsim::msi::SetProperty("BAITFOLDER", "C:\\Bait");
}

ZEB_SWEEP_ALLOW(baitAllowed, silent, "the bait's planted silent failure, allowed");
