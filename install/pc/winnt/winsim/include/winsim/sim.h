// The simulated Windows machine: what tests, the runner and the substitute's own implementation
// use to set the machine up and read it back. The library itself never includes this header.
#pragma once

#include "winsim/sim_core.h"
#include "winsim/sim_fs.h"
#include "winsim/sim_reg.h"
#include "winsim/sim_msi.h"
#include "winsim/sim_token.h"
#include "winsim/sim_proc.h"
#include "winsim/sim_svc.h"
