// Fuzzes the clean-up lists: the input's first byte chooses the list kind (bit 0: the maintenance
// control file, else a product uninstall list) and whether an installation name is known (bit 1);
// the rest is the list. Stacked, every folder row lies inside the program or data folder, and no
// row's folder has a "." or ".." part; the files present outside both folders are stacked only
// through a control file's "win" line; counting stacks nothing.
#include "zebilogn.h"
#include "zebiwicn.h"
#include "zebiwicnDelete.h"

#include <winsim/sim.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kList[] = "C:\\HX\\uninst\\lastinstall.u03";

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool HasRelativePart(const std::string& path) {
    std::string p = "\\" + path + "\\";
    return p.find("\\.\\") != std::string::npos || p.find("\\..\\") != std::string::npos;
}

bool Inside(const std::string& folder, const std::string& root) {
    std::string f = Lower(folder), r = Lower(root) + "\\";
    return f.size() > r.size() && f.compare(0, r.size(), r) == 0;
}

void CheckRows(bool controlFile) {
    for (const winsim::msi::Row& row : winsim::msi::Rows("RemoveFile")) {
        if (!row.temporary || row.fields.size() < 4)
            continue;
        std::string fileName = row.fields[2].s;
        std::string folder = winsim::msi::Property(row.fields[3].s).value_or("");
        if (HasRelativePart(folder))
            Fail("a row's folder has a relative part: " + folder);
        // A folder row lies below a root; a file may lie in a root itself.
        bool below = Inside(folder + "\\", "C:\\HX") || Inside(folder + "\\", "C:\\HXData");
        bool inRoot = Lower(folder) == "c:\\hx" || Lower(folder) == "c:\\hxdata";
        if (fileName.empty() && !below)
            Fail("a folder row outside the program and data folders: " + folder);
        if (!fileName.empty() && !below && !inRoot && !controlFile)
            Fail("an uninstall list stacked a file outside its folders: " + folder + "\\" + fileName);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool controlFile = (data[0] & 1) != 0;
    const char* name = (data[0] & 2) != 0 ? "Inst2" : nullptr;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    winsim::Reset();
    for (const char* file : {"C:\\HX\\bin\\en_us\\x.txt", "C:\\HX\\bin\\x.txt", "C:\\HX\\Inst2\\a.dll",
                             "C:\\HXData\\a.txt", "C:\\Other\\y.txt", "C:\\Windows\\System32\\z.dll"})
        winsim::fs::WriteFile(file, "x");
    winsim::fs::WriteFile(kList, text);
    for (const char* table : {"RemoveFile", "RemoveRegistry", "Registry"})
        winsim::msi::DefineStandardTable(table);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CaEnterUnframed(winsim::msi::SessionHandle(), "iwiFuzzCleanUp");

    const int kind = controlFile ? ZEB_LIST_CSD : ZEB_LIST_UNINSTALL;
    int ticks = 0;
    DeleteFileList(TRUE, TRUE, &ticks, kind, "lastinstall.u03", kList, "C:\\HX", "C:\\HXData",
                   "Base_base_Instance1", 2, name);
    if (ticks < 0 || !winsim::msi::Rows("RemoveFile").empty())
        Fail("counting stacked rows or went below zero");
    DeleteFileList(TRUE, FALSE, nullptr, kind, "lastinstall.u03", kList, "C:\\HX", "C:\\HXData",
                   "Base_base_Instance1", 2, name);
    CheckRows(controlFile);

    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    if (winsim::OpenHandleCount() != 0 || winsim::msi::LeakedHandles() != 0)
        Fail("handle left open");
    return 0;
}
