// Fuzzes the lists of upgradable product codes: the input is ZEBOLDSERVER, optionally followed by
// "\0" and ZEBOLDCLIENT, on a machine with two registered installations and a legacy record. The
// action must end with 0 or 1603; after 0 it has listed the new entry and every non-empty piece
// of both lists, in order, and counted them.
#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnPrereq.h"

#include <winsim/sim.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kRecords[] =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1]\r\n"
    "\"Name\"=\"Inst1\"\r\n\"Identifier\"=\"1\"\r\n\"VRMF\"=\"9.4.0.0\"\r\n"
    "\"ProductCode\"=\"{11111111-1111-1111-1111-111111111111}\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane\\Skyloft HX\\Installation\\Inst2]\r\n"
    "\"Name\"=\"Inst2\"\r\n\"Identifier\"=\"2\"\r\n\"VRMF\"=\"9.3.0.0\"\r\n"
    "\"Description\"=\"%1 [ProductName]\"\r\n"
    "\"ProductCode\"=\"{22222222-2222-2222-2222-222222222222}\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Corvane\\Hexline\\CurrentVersion]\r\n"
    "\"ProductCode\"=\"{00000000-0000-0000-0000-000000000007}\"\r\n\"VRMF\"=\"7.0.1.6\"\r\n";

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

void AddPieces(const std::string& list, std::vector<std::string>& pieces) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            pieces.push_back(list.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t nul = input.find('\0');
    std::string server = input.substr(0, nul);
    std::string client = nul == std::string::npos ? "" : input.substr(nul + 1);
    client = client.substr(0, client.find('\0'));
    if (server.size() > 5999 || client.size() > 5999)
        return 0;

    winsim::Reset();
    winsim::reg::Import(kRecords);
    winsim::msi::DefineStandardTable("ListBox");
    winsim::msi::SetProperty("ZEBOLDSERVER", server);
    winsim::msi::SetProperty("ZEBOLDCLIENT", client);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    UINT uiRc = iwiListAvailableUpgrades(winsim::msi::SessionHandle());
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    if (uiRc != 0 && uiRc != 1603)
        Fail("status " + std::to_string(uiRc));
    if (winsim::OpenHandleCount() != 0 || winsim::msi::LeakedHandles() != 0)
        Fail("handle left open");
    if (uiRc != 0)
        return 0;

    std::vector<std::string> pieces;
    AddPieces(server, pieces);
    AddPieces(client, pieces);
    std::vector<std::string> values;
    for (const winsim::msi::Row& row : winsim::msi::Rows("ListBox"))
        values.push_back(row.fields[2].s);
    if (values.empty() || values[0] != ZEB_UPGRADE_NEW_ENTRY || values.size() != pieces.size() + 1)
        Fail("entries do not match the lists");
    for (size_t i = 0; i < pieces.size(); i++)
        if (_stricmp(values[i + 1].c_str(), pieces[i].c_str()) != 0)
            Fail("entry " + std::to_string(i + 1) + " is not the list's piece");
    if (winsim::msi::Property("ZEBNUMUPGRADEABLES").value_or("") != std::to_string(values.size()))
        Fail("count differs from the entries");
    return 0;
}
