// advapi32 of the simulated machine: Windows' names, values and ANSI signatures.
#pragma once
#include "winsim/wintypes.h"

// Identity.
WINSIM_API BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer);
