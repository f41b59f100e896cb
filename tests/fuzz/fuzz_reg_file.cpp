// Fuzzes the registry-export and initialisation-file reader (GetStringFromRegFile): the input is a
// file, looked up for a few names quoted and unquoted; every answer must fit its buffer. Its first
// line is also a value saved as the final clean-up saves LastInstall.reg (", ' and \ escaped):
// read back from such a file it must be the value unchanged (unless it holds 0x1A, the end of a
// file read in text mode).
#include "zebiwicn.h"
#include "zebiwicnUtil.h"

#include <winsim/sim.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kFile[] = "C:\\HXData\\Config\\LastInstall.reg";

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
    std::abort();
}

std::string Read(const char* name, BOOL quoted) {
    char value[ZEB_CCH_PATH + 1];
    value[ZEB_CCH_PATH] = '#';
    if (!GetStringFromRegFile(kFile, name, *reinterpret_cast<char(*)[ZEB_CCH_PATH]>(value), quoted))
        Fail("an existing file was not read");
    if (value[ZEB_CCH_PATH] != '#' || strlen(value) >= ZEB_CCH_PATH)
        Fail("answer beyond its buffer");
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    input = input.c_str();
    winsim::Reset();
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);

    winsim::fs::WriteFile(kFile, input);
    for (const char* name : {"Name", "Description", "LogDefaultPath", ""}) {
        Read(name, TRUE);
        Read(name, FALSE);
    }

    std::string value = input.substr(0, input.find_first_of("\r\n"));
    // The file is read in text mode, where 0x1A ends it.
    if (value.size() <= 200 && value.find('\x1a') == std::string::npos) {
        std::string line = "\"Description\"=\"";
        for (char c : value) {
            if (c == '"' || c == '\'' || c == '\\')
                line += '\\';
            line += c;
        }
        line += "\"\r\n";
        winsim::fs::WriteFile(kFile, "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"Name\"=\"N\"\r\n" + line);
        std::string back = Read("Description", TRUE);
        if (back != value)
            Fail("'" + value + "' saved came back as '" + back + "'");
    }
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    return 0;
}
