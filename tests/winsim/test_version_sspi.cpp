// File version resources and the secure channel: what version.dll and schannel answer, with the
// errors Windows gives, and the release of what they hand out.
#include <gtest/gtest.h>
#include <windows.h>
#include <winsim/sim.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <vector>

namespace {

// The error a call leaves when it fails, 0 when it succeeds.
template <class T> DWORD ErrorOf(T result) {
    return result ? 0 : GetLastError();
}

class VersionAndSspi : public ::testing::Test {
  protected:
    void SetUp() override { winsim::Reset(); }
    void TearDown() override {
        EXPECT_EQ(winsim::OpenHandleCount(), 0);
        EXPECT_EQ(winsim::fs::ModuleLoads(), 0);
    }
};

TEST_F(VersionAndSspi, FixedFileInformationOfAVersionedFile) {
    winsim::fs::WriteFile("C:\\Windows\\system32\\mmc.exe", winsim::fs::VersionImage(5, 0, 1920, 65535));
    DWORD handle = 7;
    DWORD size = GetFileVersionInfoSizeA("C:\\Windows\\system32\\MMC.EXE", &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<char> block(size);
    EXPECT_EQ(ErrorOf(GetFileVersionInfoA("C:\\Windows\\system32\\mmc.exe", 0, size - 1, block.data())),
              122u);
    ASSERT_TRUE(GetFileVersionInfoA("C:\\Windows\\system32\\mmc.exe", 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<LPVOID*>(&info), &len));
    EXPECT_EQ(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info->dwFileVersionMS, 0x00050000u);
    EXPECT_EQ(info->dwFileVersionLS, (1920u << 16) | 65535u);
    EXPECT_FALSE(
        VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&info), &len));

    // Rewritten without a resource, then gone.
    winsim::fs::WriteFile("C:\\Windows\\system32\\mmc.exe", "MZ plain");
    EXPECT_EQ(ErrorOf(GetFileVersionInfoSizeA("C:\\Windows\\system32\\mmc.exe", &handle)), 1813u);
    EXPECT_EQ(ErrorOf(GetFileVersionInfoSizeA("C:\\Windows\\system32\\none.exe", &handle)), 2u);
}

TEST_F(VersionAndSspi, CipherStrengthsOfOutboundCredentials) {
    HMODULE schannel = LoadLibraryA("schannel");
    ASSERT_NE(schannel, nullptr);
    EXPECT_EQ(winsim::fs::ModuleLoads(), 1) << "the library must free it";
    auto init = reinterpret_cast<INIT_SECURITY_INTERFACE_A>(
        reinterpret_cast<void*>(GetProcAddress(schannel, "InitSecurityInterfaceA")));
    ASSERT_NE(init, nullptr);
    PSecurityFunctionTableA table = init();
    ASSERT_NE(table, nullptr);

    winsim::SetCipherStrengths(40, 168);
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    CredHandle h{};
    TimeStamp expiry;
    char unisp[] = UNISP_NAME_A;
    char other[] = "Kerberos";
    EXPECT_EQ(table->AcquireCredentialsHandleA(nullptr, other, SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr,
                                               nullptr, &h, &expiry),
              SEC_E_SECPKG_NOT_FOUND);
    ASSERT_EQ(table->AcquireCredentialsHandleA(nullptr, unisp, SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr,
                                               nullptr, &h, &expiry),
              SEC_E_OK);
    EXPECT_EQ(winsim::OpenHandleCount(), 1);
    SecPkgCred_CipherStrengths strengths{};
    EXPECT_EQ(table->QueryCredentialsAttributesA(&h, 0x59, &strengths), SEC_E_UNSUPPORTED_FUNCTION);
    ASSERT_EQ(table->QueryCredentialsAttributesA(&h, SECPKG_ATTR_CIPHER_STRENGTHS, &strengths), SEC_E_OK);
    EXPECT_EQ(strengths.dwMinimumCipherStrength, 40u);
    EXPECT_EQ(strengths.dwMaximumCipherStrength, 168u);
    EXPECT_EQ(table->FreeCredentialsHandle(&h), SEC_E_OK);
    EXPECT_EQ(table->FreeCredentialsHandle(&h), SEC_E_INVALID_HANDLE);

    winsim::FailCall("AcquireCredentialsHandleA", static_cast<DWORD>(SEC_E_SECPKG_NOT_FOUND), 1);
    EXPECT_EQ(table->AcquireCredentialsHandleA(nullptr, unisp, SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr,
                                               nullptr, &h, &expiry),
              SEC_E_SECPKG_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(schannel));

    winsim::FailCall("LoadLibraryA", ERROR_MOD_NOT_FOUND, 1, "schannel");
    EXPECT_EQ(ErrorOf(LoadLibraryA("schannel")), 126u);
}

} // namespace
