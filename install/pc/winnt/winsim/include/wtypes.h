// wtypes.h of the simulated machine: the variant types the summary information answers with
// (defined with the installer's query API).
#pragma once

#include <windows.h>

#include <msiquery.h>
