// Prerequisite probes: what the system offers that the product needs. Each answers whether the
// prerequisite is satisfied; what cannot be read counts as not satisfied.
#pragma once

#include "zebiwicnDefs.h"

enum ZebProbeResult {
    ZEB_PROBE_MISSING = 0,
    ZEB_PROBE_SATISFIED = 1,
    ZEB_PROBE_NOT_APPLICABLE = 2, // the other kind of system: nothing probed, the item counts present
};

// Suite-mask bit of a terminal server.
#define ZEB_SUITE_TERMINAL 0x0010

// The file's version in the system folder ("%u.%u.%u.%u" of its fixed file information) is at
// least the required one (CompareVersionTokens). No file or no version resource: missing.
ZebProbeResult ProbeSystemFileVersion(LPCSTR pszFunction, LPCSTR pszFile, LPCSTR pszRequired);
ZebProbeResult ProbeMmc(LPCSTR pszFunction);
ZebProbeResult ProbeAdsi(LPCSTR pszFunction);
ZebProbeResult ProbeHtmlHelp(LPCSTR pszFunction);
ZebProbeResult ProbeIe(LPCSTR pszFunction);
ZebProbeResult ProbeJvm(LPCSTR pszFunction);
// Service packs: the first on a terminal server only, the second on other systems only.
ZebProbeResult ProbeWtsServicePack(LPCSTR pszFunction);
ZebProbeResult ProbeServicePack(LPCSTR pszFunction);
ZebProbeResult ProbeEncryption(LPCSTR pszFunction);

// The maximum cipher strength of outbound secure-channel credentials in bits, 168 and more given
// as 128; 0 when it cannot be learnt.
DWORD GetCipherStrength(LPCSTR pszFunction);
