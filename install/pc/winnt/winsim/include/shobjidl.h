// shobjidl.h of the simulated machine: the shell's shortcut object (winsim/shell32.h).
#pragma once

#include <objbase.h>

#include "winsim/shell32.h"
