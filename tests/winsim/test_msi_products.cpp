// Machine-wide installer data: related products, product states and information, features and
// components of installed products.
#include <gtest/gtest.h>
#include <msi.h>
#include <winsim/sim.h>

#include <string>
#include <vector>

namespace {

namespace msi = winsim::msi;

const char* kServerUpgrade = "{8D1C5EA1-A4C5-4967-97FA-77FE6D4B5EA7}";
const char* kClientUpgrade = "{5A8B5D80-6DCC-4317-9922-99EC0093BF24}";
const char* kProductA = "{AAAAAAAA-0000-0000-0000-000000000001}";
const char* kProductB = "{BBBBBBBB-0000-0000-0000-000000000002}";
const char* kProductC = "{CCCCCCCC-0000-0000-0000-000000000003}";
const char* kComponent = "{DDDDDDDD-0000-0000-0000-000000000004}";

class MsiProducts : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        msi::AddProduct(kProductA, kServerUpgrade, INSTALLSTATE_DEFAULT, "HX Server");
        msi::AddProduct(kProductB, kClientUpgrade, INSTALLSTATE_ADVERTISED);
        msi::AddProduct(kProductC, kServerUpgrade, INSTALLSTATE_DEFAULT);
    }

    static std::vector<std::string> Related(const char* upgradeCode) {
        std::vector<std::string> out;
        char buf[39];
        for (DWORD i = 0; MsiEnumRelatedProductsA(upgradeCode, 0, i, buf) == ERROR_SUCCESS; ++i)
            out.push_back(buf);
        return out;
    }
};

TEST_F(MsiProducts, RelatedProductsByUpgradeCodeInOrderThenNoMoreItems) {
    EXPECT_EQ(Related(kServerUpgrade), (std::vector<std::string>{kProductA, kProductC}));
    EXPECT_EQ(Related(kClientUpgrade), (std::vector<std::string>{kProductB}));
    EXPECT_TRUE(Related("{37C07B43-CAD0-11D4-B2C4-000629BE98FC}").empty());
    // Codes compare without regard to case.
    EXPECT_EQ(Related("{8d1c5ea1-a4c5-4967-97fa-77fe6d4b5ea7}").size(), 2u);

    char buf[39];
    EXPECT_EQ(MsiEnumRelatedProductsA(kServerUpgrade, 0, 2, buf), static_cast<UINT>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(MsiEnumRelatedProductsA("not-a-guid", 0, 0, buf), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MsiEnumRelatedProductsA(kServerUpgrade, 1, 0, buf), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MsiEnumRelatedProductsA(kServerUpgrade, 0, 0, nullptr),
              static_cast<UINT>(ERROR_INVALID_PARAMETER));
}

TEST_F(MsiProducts, ProductStatesAndInjectedStates) {
    EXPECT_EQ(MsiQueryProductStateA(kProductA), INSTALLSTATE_DEFAULT);
    EXPECT_EQ(MsiQueryProductStateA(kProductB), INSTALLSTATE_ADVERTISED);
    EXPECT_EQ(MsiQueryProductStateA("{EEEEEEEE-0000-0000-0000-000000000005}"), INSTALLSTATE_UNKNOWN);
    EXPECT_EQ(MsiQueryProductStateA("{bad}"), INSTALLSTATE_INVALIDARG);
    winsim::FailCall("MsiQueryProductStateA", static_cast<DWORD>(INSTALLSTATE_BADCONFIG), 0, "CCCC");
    EXPECT_EQ(MsiQueryProductStateA(kProductC), INSTALLSTATE_BADCONFIG);
    EXPECT_EQ(MsiQueryProductStateA(kProductA), INSTALLSTATE_DEFAULT);
}

TEST_F(MsiProducts, ProductInfoUnknownProductPropertyAndBufferRule) {
    char buf[10];
    DWORD cch = sizeof buf;
    EXPECT_EQ(MsiGetProductInfoA(kProductA, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, buf, &cch), 0u);
    EXPECT_STREQ(buf, "HX Server");
    EXPECT_EQ(cch, 9u);
    cch = 9;
    EXPECT_EQ(MsiGetProductInfoA(kProductA, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, buf, &cch),
              static_cast<UINT>(ERROR_MORE_DATA));
    EXPECT_EQ(cch, 9u); // outside the session lengths are plain characters
    cch = sizeof buf;
    EXPECT_EQ(MsiGetProductInfoA(kProductA, "NoSuchProperty", buf, &cch),
              static_cast<UINT>(ERROR_UNKNOWN_PROPERTY));
    EXPECT_EQ(MsiGetProductInfoA("{EEEEEEEE-0000-0000-0000-000000000005}",
                                 INSTALLPROPERTY_INSTALLEDPRODUCTNAME, buf, &cch),
              static_cast<UINT>(ERROR_UNKNOWN_PRODUCT));
    msi::SetProductInfo(kProductB, INSTALLPROPERTY_VERSIONSTRING, "9.4.0.0");
    cch = sizeof buf;
    EXPECT_EQ(MsiGetProductInfoA(kProductB, INSTALLPROPERTY_VERSIONSTRING, buf, &cch), 0u);
    EXPECT_STREQ(buf, "9.4.0.0");
}

TEST_F(MsiProducts, FeaturesAndComponentsOfInstalledProducts) {
    msi::SetProductFeature(kProductA, "Server", INSTALLSTATE_LOCAL);
    EXPECT_EQ(MsiQueryFeatureStateA(kProductA, "Server"), INSTALLSTATE_LOCAL);
    EXPECT_EQ(MsiQueryFeatureStateA(kProductA, "Client"), INSTALLSTATE_UNKNOWN);
    EXPECT_EQ(MsiQueryFeatureStateA("{EEEEEEEE-0000-0000-0000-000000000005}", "Server"),
              INSTALLSTATE_UNKNOWN);
    EXPECT_EQ(MsiQueryFeatureStateA("x", "Server"), INSTALLSTATE_INVALIDARG);

    msi::SetProductComponent(kProductA, kComponent, INSTALLSTATE_LOCAL, "C:\\Program Files\\HX\\bin\\hx.dll");
    msi::SetProductComponent(kProductC, kComponent, INSTALLSTATE_SOURCEABSENT, "01:\\SOFTWARE\\HX");
    char buf[64];
    DWORD cch = sizeof buf;
    EXPECT_EQ(MsiGetComponentPathA(kProductA, kComponent, buf, &cch), INSTALLSTATE_LOCAL);
    EXPECT_STREQ(buf, "C:\\Program Files\\HX\\bin\\hx.dll");
    cch = sizeof buf;
    EXPECT_EQ(MsiGetComponentPathA(kProductC, kComponent, buf, &cch), INSTALLSTATE_SOURCEABSENT);
    EXPECT_STREQ(buf, "01:\\SOFTWARE\\HX");
    cch = 4;
    EXPECT_EQ(MsiGetComponentPathA(kProductA, kComponent, buf, &cch), INSTALLSTATE_MOREDATA);
    EXPECT_EQ(cch, 30u);
    cch = sizeof buf;
    EXPECT_EQ(MsiGetComponentPathA(kProductB, kComponent, buf, &cch), INSTALLSTATE_UNKNOWN);

    // A component shared by two products is listed once; its product is the one that has it.
    char code[39];
    EXPECT_EQ(MsiEnumComponentsA(0, code), 0u);
    EXPECT_STREQ(code, kComponent);
    EXPECT_EQ(MsiEnumComponentsA(1, code), static_cast<UINT>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(MsiGetProductCodeA(kComponent, code), 0u);
    EXPECT_STREQ(code, kProductA);
    EXPECT_EQ(MsiGetProductCodeA("{FFFFFFFF-0000-0000-0000-000000000006}", code),
              static_cast<UINT>(ERROR_UNKNOWN_COMPONENT));
}

TEST_F(MsiProducts, ComponentsAreEnumeratedOnceInOrderOfFirstRegistration) {
    const std::string c1 = "{D0000000-0000-0000-0000-000000000001}";
    const std::string c2 = "{D0000000-0000-0000-0000-000000000002}";
    const std::string c3 = "{D0000000-0000-0000-0000-00000000000A}";
    msi::SetProductComponent(kProductA, c2, INSTALLSTATE_LOCAL, "C:\\a");
    msi::SetProductComponent(kProductA, c1, INSTALLSTATE_LOCAL, "C:\\b");
    msi::SetProductComponent(kProductC, c2, INSTALLSTATE_LOCAL, "C:\\c");
    msi::SetProductComponent(kProductB, "{d0000000-0000-0000-0000-00000000000a}", INSTALLSTATE_LOCAL,
                             "C:\\d");
    msi::SetProductComponent(kProductA, c3, INSTALLSTATE_LOCAL, "C:\\e"); // the same code as B's
    msi::SetProductComponent(kProductA, c2, INSTALLSTATE_ABSENT, "");     // an update, not another

    std::vector<std::string> codes;
    char code[39];
    for (DWORD i = 0; MsiEnumComponentsA(i, code) == ERROR_SUCCESS; ++i)
        codes.push_back(code);
    EXPECT_EQ(codes, (std::vector<std::string>{c2, c1, "{d0000000-0000-0000-0000-00000000000a}"}));
    EXPECT_EQ(MsiEnumComponentsA(3, code), static_cast<UINT>(ERROR_NO_MORE_ITEMS));
    EXPECT_EQ(MsiEnumComponentsA(0xFFFFFFFF, code), static_cast<UINT>(ERROR_NO_MORE_ITEMS));

    // Registrations are found by product and component, either case.
    char path[16];
    DWORD cch = sizeof path;
    EXPECT_EQ(MsiGetComponentPathA(kProductA, c3.c_str(), path, &cch), INSTALLSTATE_LOCAL);
    EXPECT_STREQ(path, "C:\\e");
    cch = sizeof path;
    EXPECT_EQ(MsiGetComponentPathA(kProductB, c3.c_str(), path, &cch), INSTALLSTATE_LOCAL);
    EXPECT_STREQ(path, "C:\\d");
    cch = sizeof path;
    EXPECT_EQ(MsiGetComponentPathA(kProductA, c2.c_str(), path, &cch), INSTALLSTATE_ABSENT);
}

} // namespace
