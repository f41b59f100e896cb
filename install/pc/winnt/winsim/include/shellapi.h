// shellapi.h of the simulated machine: the shell's execute operation (winsim/shell32.h).
#pragma once

#include <windows.h>

#include "winsim/shell32.h"
