// security.h of the simulated machine (SECURITY_WIN32): the SSPI declarations.
#pragma once

#include "winsim/sspi.h"
