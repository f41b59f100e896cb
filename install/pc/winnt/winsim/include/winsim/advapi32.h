#pragma once
#include "winsim/wintypes.h"
