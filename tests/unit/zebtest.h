// Test fixture for the library: a fresh simulated machine and a freshly loaded library per test.
#pragma once

#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicn.h"

#include <gtest/gtest.h>
#include <winsim/sim.h>

#include <regex>
#include <string>
#include <vector>

inline const std::string kBanner1 = "=============|||| Error, failure, problem, warning ||||=============";
inline const std::string kBanner2 =
    std::string(13, ' ') + "vvvv" + std::string(34, ' ') + "vvvv" + std::string(13, ' ');

class ZebTest : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        winsim::fs::MakeDirs("C:\\Temp");
        DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
        h = winsim::msi::SessionHandle();
        g_zebFrame.hSession = h;
    }
    void TearDown() override {
        DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
        // Every handle is closed on the path that opened it.
        EXPECT_EQ(winsim::msi::LeakedHandles(), 0);
        EXPECT_EQ(winsim::OpenHandleCount(), 0);
        EXPECT_EQ(winsim::reg::OpenKeyHandles(), 0);
    }

    // Whole trace lines as the installer log received them.
    static std::vector<std::string> Lines() { return winsim::msi::LogLines(); }

    // The text of each line after the "HH:MM:SS HXCA action[(function)] info: " prefix.
    static std::vector<std::string> Texts() {
        static const std::regex prefix(R"(^\d\d:\d\d:\d\d HXCA \S+(?: \S+)*? info: )");
        std::vector<std::string> out;
        for (const std::string& line : Lines()) {
            std::smatch m;
            out.push_back(std::regex_search(line, m, prefix) ? m.suffix().str() : line);
        }
        return out;
    }

    static bool HasText(const std::string& text) {
        for (const std::string& t : Texts())
            if (t == text)
                return true;
        return false;
    }

    static int IndexOf(const std::string& text) {
        std::vector<std::string> texts = Texts();
        for (size_t i = 0; i < texts.size(); i++)
            if (texts[i] == text)
                return (int)i;
        return -1;
    }

    static std::vector<std::string> MessageBoxes() {
        std::vector<std::string> out;
        for (const winsim::Event& e : winsim::Events())
            if (e.kind == "messagebox")
                out.push_back(e.text);
        return out;
    }

    static std::string File(const std::string& path) {
        return winsim::fs::ReadFile(path).value_or("<absent>");
    }

    // Runs a read through the read pattern and returns the value; status goes to stat.
    std::string Read(const char* name, DWORD cch = ZEB_CCH_PATH) {
        std::vector<char> buf(cch);
        GetPropertyValue(h, "TestFn", name, buf.data(), cch, &stat);
        return buf.data();
    }

    MSIHANDLE h = 0;
    UINT stat = 0;
};
