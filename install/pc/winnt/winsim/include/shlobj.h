// shlobj.h of the simulated machine: special folders, item lists and change notification, with
// the shortcut object and COM (winsim/shell32.h, winsim/ole32.h).
#pragma once

#include <objbase.h>
#include <shobjidl.h>

#include "winsim/shell32.h"
