// objbase.h of the simulated machine: COM (winsim/ole32.h).
#pragma once

#include <windows.h>

#include "winsim/ole32.h"
