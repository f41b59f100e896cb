// Fuzzes the queue-manager sources: the input is up to three files separated by "\0\1": hxs.ini,
// the QM.INI of every queue manager, and config\Config.reg (read only when its byte says hxs.ini
// is absent). The list built from them must keep its rules: no two entries of one name, folders
// that fit a path, never a data folder without a folder name of its own under "qmgrs". hxs.ini is then
// stripped of its queue-manager stanzas and compared with a plain model of that removal: the
// other lines byte for byte, and the backup equal to the file before.
#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnUninstall.h"

#include <winsim/sim.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const std::string kData = "C:\\HXData";
const std::string kSeparator("\0\1", 2);

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

std::vector<std::string> Split(const std::string& input) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() < 3) {
        size_t at = input.find(kSeparator, start);
        parts.push_back(input.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            break;
        start = at + kSeparator.size();
    }
    parts.resize(3);
    return parts;
}

// The removal as a reader of the rule would do it: a header is a line whose first non-blank
// text reaches ":" before the end, "#", ";" or "="; "QueueManager:" starts dropping lines, any
// other header stops it.
std::string WithoutQmStanzas(const std::string& text) {
    std::string out;
    bool dropping = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        size_t first = line.find_first_not_of(" \t");
        size_t stop = first == std::string::npos ? std::string::npos : line.find_first_of(":#;=", first);
        if (stop != std::string::npos && line[stop] == ':')
            dropping = line.compare(first, 13, "QueueManager:") == 0;
        if (!dropping)
            out += line;
        start = end;
    }
    return out;
}

void CheckList() {
    std::set<std::string> names;
    char szName[ZEB_CCH_MSG], szData[ZEB_CCH_PATH], szLog[ZEB_CCH_PATH], szInstallation[ZEB_CCH_MSG];
    int count = 0;
    for (BOOL b = isuGetFirstQm(&szName, &szData, &szLog, &szInstallation); b;
         b = isuGetNextQm(&szName, &szData, &szLog, &szInstallation), count++) {
        if (!names.insert(szName).second)
            Fail(std::string("two entries named '") + szName + "'");
        if (strlen(szData) >= ZEB_CCH_PATH || strlen(szLog) >= ZEB_CCH_PATH)
            Fail("folder longer than a path");
        std::string folder = szData;
        size_t last = folder.rfind('\\');
        if (!folder.empty() && (last == std::string::npos || last + 1 == folder.size() || last < 6 ||
                                folder.compare(last - 6, 6, "\\qmgrs") != 0 ||
                                folder.compare(last + 1, std::string::npos, "..") == 0))
            Fail("data folder '" + folder + "' is no queue manager's");
    }
    if (count != isuQmCount())
        Fail("the count differs from the entries");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool withIni = (data[0] & 1) != 0;
    std::vector<std::string> parts = Split(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    winsim::Reset();
    winsim::fs::MakeDirs("C:\\Temp");
    winsim::fs::MakeDirs(kData + "\\qmgrs\\QM1");
    winsim::fs::MakeDirs("C:\\HXLog");
    if (withIni)
        winsim::fs::WriteFile(kData + ((data[0] & 2) != 0 ? "\\config\\hxs.ini" : "\\hxs.ini"), parts[0]);
    winsim::fs::WriteFile(kData + "\\qmgrs\\QM1\\QM.INI", parts[1]);
    winsim::fs::WriteFile(kData + "\\config\\Config.reg", parts[2]);
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiFuzzQm");

    isuBuildQmList(kData.c_str());
    CheckList();
    isuBuildQmList(kData.c_str()); // a second build starts from an empty list
    CheckList();

    if (withIni && (data[0] & 2) == 0) {
        if (!RemoveQMgrsFromIni(kData.c_str()))
            Fail("hxs.ini could not be stripped");
        if (winsim::fs::ReadFile(kData + "\\hxs.ini").value_or("<absent>") != WithoutQmStanzas(parts[0]))
            Fail("hxs.ini stripped differs from the model");
        if (winsim::fs::ReadFile("C:\\Temp\\hxs.ini_backup").value_or("<absent>") != parts[0])
            Fail("the backup differs from the file");
    }

    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    if (winsim::OpenHandleCount() != 0 || winsim::msi::LeakedHandles() != 0)
        Fail("handle left open");
    return 0;
}
