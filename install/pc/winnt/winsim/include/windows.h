// windows.h of the simulated machine: the Win32 declarations the library uses, with Windows'
// names, values and ANSI signatures, implemented by libwinsim over the simulated machine.
#pragma once

#include "winsim/wintypes.h"
#include "winsim/kernel32.h"
#include "winsim/advapi32.h"
#include "winsim/winsvc.h"
#include "winsim/user32.h"
#include "winsim/crt.h"
#include "winsim/version.h"
