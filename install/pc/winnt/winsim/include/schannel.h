// schannel.h of the simulated machine: the secure-channel declarations.
#pragma once

#include "winsim/sspi.h"
