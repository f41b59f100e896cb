// Installation registry record: the lookups by product code, folder and name, the test for other
// installations, the primary's name, maintenance levels, LastInstall.reg and the client test.
#include "zebiwicnUtil.h"
#include "zebtest.h"

namespace {

using winsim::reg::View;

const char kInstallationKey[] = "SOFTWARE\\Corvane\\Skyloft HX\\Installation";

class Record : public ZebTest {
  protected:
    void SetUp() override {
        ZebTest::SetUp();
        before_ = Machine();
    }
    // Every test ends with the registry as it set it up: the lookups only read.
    void TearDown() override {
        EXPECT_EQ(Machine(), before_) << "a lookup changed the registry";
        ZebTest::TearDown();
    }
    // Setting the machine up also counts as "before".
    void Seal() { before_ = Machine(); }
    static std::string Machine() { return winsim::reg::Export(HKEY_LOCAL_MACHINE, "SOFTWARE"); }

    struct Found {
        BOOL ok;
        std::string name, description, identifier, vrmf, code;
    };
    static Found ByCode(const char* code, int view, BOOL old = FALSE) {
        return Lookup(code, NULL, view, old);
    }
    static Found ByFolder(const char* folder, int view, BOOL old = FALSE) {
        return Lookup(NULL, folder, view, old);
    }
    static Found Lookup(const char* code, const char* folder, int view, BOOL old) {
        char name[ZEB_CCH_INSTNAME] = "x", description[ZEB_CCH_INSTDESC] = "x",
             identifier[ZEB_CCH_INSTID] = "x";
        char vrmf[ZEB_CCH_VRMF] = "x", found[ZEB_CCH_PRODUCTCODE] = "x";
        BOOL ok =
            RetrieveInstallDetails(name, description, identifier, &vrmf, &found, old, code, folder, view);
        return {ok, name, description, identifier, vrmf, found};
    }

    std::string before_;
};

// ---- RetrieveInstallDetails ----------------------------------------------------------------------

TEST_F(Record, ByCodeSkipsOthersAndReadsTheMatch) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1"));
    AddInstallation(Inst("Inst2", "2", kCode2, "C:\\HX2"));
    Seal();
    Found f = ByCode("{22222222-2222-2222-2222-222222222222}", ZEB_VIEW_64);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.name, "Inst2");
    EXPECT_EQ(f.description, "Inst2 description");
    EXPECT_EQ(f.identifier, "2");
    EXPECT_EQ(f.vrmf, "9.4.0.0");
    EXPECT_EQ(f.code, kCode2);
    EXPECT_TRUE(TextsInOrder(
        {"Looking for product code '{22222222-2222-2222-2222-222222222222}'", "Searching index 0",
         "Found subkey 'Inst1'", std::string("ProductCode value is '") + kCode1 + "'",
         "Skipping - Not the one I'm looking for", "Searching index 1", "Found subkey 'Inst2'",
         "Name value is 'Inst2'", "Description value is 'Inst2 description'", "Identifier value is '2'",
         "VRMF value is '9.4.0.0'"}));
    EXPECT_FALSE(HasTextContaining("Searching index 2"));

    // By folder, ignoring case; without the optional outs nothing is asked of them.
    char name[ZEB_CCH_INSTNAME], description[ZEB_CCH_INSTDESC], identifier[ZEB_CCH_INSTID];
    EXPECT_TRUE(
        RetrieveInstallDetails(name, description, identifier, NULL, NULL, FALSE, "", "c:\\hx1", ZEB_VIEW_64));
    EXPECT_STREQ(name, "Inst1");
    EXPECT_TRUE(HasText("Looking for installation directory 'c:\\hx1'"));
    EXPECT_TRUE(HasText("FilePath value is 'C:\\HX1'"));
}

TEST_F(Record, RecordWithoutNameOrIdentifierNeverMatches) {
    hxrecord::Installation noId = Inst("A", "", kCode1, "C:\\A");
    hxrecord::Installation noName = Inst("B", "2", kCode1, "C:\\B");
    noName.values = {{"Name", ""}};
    hxrecord::Installation noCompared = Inst("C", "3", kCode1, "C:\\C");
    noCompared.productCode.reset();
    AddInstallation(noId);
    AddInstallation(noName);
    AddInstallation(noCompared);
    Seal();
    Found f = ByCode(kCode1, ZEB_VIEW_64);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.name + f.description + f.identifier + f.vrmf + f.code, "");
    EXPECT_TRUE(TextsInOrder({"Found subkey 'A'", "Did not find the InstallationIdentifier/VRMF value",
                              "Found subkey 'B'", "Did not find the InstallationName value",
                              "Did not find the InstallationIdentifier/VRMF value", "Found subkey 'C'",
                              std::string("Could not retrieve installation that matches ") + kCode1}));

    // A later record with the same code and all its values is the match.
    AddInstallation(Inst("D", "4", kCode1, "C:\\D"));
    Seal();
    f = ByCode(kCode1, ZEB_VIEW_64);
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.name, "D");
}

TEST_F(Record, AskedForVrmfMustNotBeEmpty) {
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    r.vrmf = "";
    AddInstallation(r);
    Seal();
    EXPECT_FALSE(ByCode(kCode1, ZEB_VIEW_64).ok);
    EXPECT_TRUE(HasText("Did not find the InstallationIdentifier/VRMF value"));
    char name[ZEB_CCH_INSTNAME], description[ZEB_CCH_INSTDESC], identifier[ZEB_CCH_INSTID];
    EXPECT_TRUE(
        RetrieveInstallDetails(name, description, identifier, NULL, NULL, FALSE, kCode1, NULL, ZEB_VIEW_64));
}

TEST_F(Record, ViewModesAndTheFallbackToThe32BitView) {
    AddInstallation(Inst("Old32", "5", kCode1, "C:\\HX32", true));
    Seal();
    EXPECT_FALSE(ByCode(kCode1, ZEB_VIEW_64).ok);
    EXPECT_FALSE(HasTextContaining("lets try the old place"));
    EXPECT_TRUE(HasText("INFO: registry key not found 'SOFTWARE\\Corvane\\Skyloft HX\\Installation'"));

    EXPECT_TRUE(ByCode(kCode1, ZEB_VIEW_32).ok);
    winsim::msi::ClearMessages();
    Found f = ByCode(kCode1, ZEB_VIEW_64_THEN_32);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.identifier, "5");
    EXPECT_TRUE(
        TextsInOrder({"INFO: registry key not found 'SOFTWARE\\Corvane\\Skyloft HX\\Installation'",
                      "Could not find match in 64 bit new location - lets try the old place",
                      std::string("Looking for product code '") + kCode1 + "'", "Found subkey 'Old32'"}));
}

// Unreadable, the key holds no match; but the check for other installations assumes there are.
TEST_F(Record, UnreadableInstallationKey) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1"));
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kInstallationKey, true);
    Seal();
    EXPECT_FALSE(ByCode(kCode1, ZEB_VIEW_64).ok);
    EXPECT_TRUE(HasText("***Open key error 5 'SOFTWARE\\Corvane\\Skyloft HX\\Installation'"));
    EXPECT_TRUE(icsCheckForInstalls("Inst1", TRUE, TRUE));
    EXPECT_TRUE(HasText("***Open key error 5 - assuming installs exist"));
    EXPECT_FALSE(HasTextContaining("No other installs"));
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, kInstallationKey, false);
}

TEST_F(Record, NeitherCodeNorFolderFails) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1"));
    Seal();
    Found f = Lookup("", "", ZEB_VIEW_64_THEN_32, TRUE);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.name + f.description + f.identifier + f.vrmf + f.code, "");
    EXPECT_TRUE(HasText("Failing - No product code or directory supplied."));
    EXPECT_FALSE(HasTextContaining("Searching index"));
}

TEST_F(Record, OldRecordFoundByFolderIsInstallationZero) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1"));
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.6", .folder = "C:\\Program Files\\Hexline"});
    Seal();
    EXPECT_FALSE(ByFolder("c:\\program files\\hexline", ZEB_VIEW_64_THEN_32, FALSE).ok);
    EXPECT_FALSE(HasTextContaining("lets try the old place'"));
    winsim::msi::ClearMessages();
    Found f = ByFolder("c:\\program files\\hexline", ZEB_VIEW_64_THEN_32, TRUE);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.name, "Installation0");
    EXPECT_EQ(f.identifier, "");
    EXPECT_EQ(f.description, "");
    EXPECT_EQ(f.vrmf, "7.0.1.6");
    EXPECT_EQ(f.code, kOldCode);
    // The old record comes last: after both views.
    EXPECT_TRUE(TextsInOrder({"Could not find match in 64 bit new location - lets try the old place",
                              "Could not find match in new location - lets try the old place",
                              "FilePath value is 'C:\\Program Files\\Hexline'"}));
    EXPECT_FALSE(ByFolder("C:\\Program Files\\Hexline2", ZEB_VIEW_64, TRUE).ok);

    // An old record without the asked-for VRMF is no match.
    AddOldRecord({.vrmf = ""});
    Seal();
    winsim::msi::ClearMessages();
    f = ByFolder("C:\\Program Files\\Hexline", ZEB_VIEW_64, TRUE);
    EXPECT_FALSE(f.ok);
    EXPECT_EQ(f.name, "");
    EXPECT_EQ(f.code, "");
    EXPECT_TRUE(HasText("Did not find the VRMF or ProductCode value"));
}

TEST_F(Record, DetailsAreCutToTheirBuffersAndTerminated) {
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    r.description = std::string(100, 'd');
    r.identifier = std::string(40, '7');
    r.vrmf = std::string(50, '9');
    r.values = {{"Name", std::string(30, 'N')}};
    AddInstallation(r);
    Seal();
    struct {
        char name[ZEB_CCH_INSTNAME];
        char guard1[4];
        char description[ZEB_CCH_INSTDESC];
        char guard2[4];
        char identifier[ZEB_CCH_INSTID];
        char guard3[4];
        char vrmf[ZEB_CCH_VRMF];
        char guard4[4];
    } b;
    memset(&b, '#', sizeof(b));
    ASSERT_TRUE(RetrieveInstallDetails(b.name, b.description, b.identifier, &b.vrmf, NULL, FALSE, kCode1,
                                       NULL, ZEB_VIEW_64));
    EXPECT_EQ(std::string(b.name), std::string(16, 'N'));
    EXPECT_EQ(std::string(b.description), std::string(64, 'd'));
    EXPECT_EQ(std::string(b.identifier), std::string(14, '7'));
    EXPECT_EQ(std::string(b.vrmf), std::string(31, '9'));
    for (const char* guard : {b.guard1, b.guard2, b.guard3, b.guard4})
        EXPECT_EQ(std::string(guard, 4), "####");
}

// ---- RetrieveInstallDetailsByName ----------------------------------------------------------------

TEST_F(Record, ByNameNeedsEveryValueButAcceptsEmptyOnes) {
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    r.description = "";
    AddInstallation(r);
    hxrecord::Installation noDescription = Inst("Inst2", "2", kCode2, "C:\\HX2");
    noDescription.description.reset();
    AddInstallation(noDescription);
    Seal();
    char code[ZEB_CCH_PRODUCTCODE], description[ZEB_CCH_INSTDESC], identifier[ZEB_CCH_INSTID],
        vrmf[ZEB_CCH_VRMF];
    EXPECT_TRUE(
        RetrieveInstallDetailsByName("inst1", &code, &description, &identifier, &vrmf, FALSE, ZEB_VIEW_64));
    EXPECT_STREQ(code, kCode1);
    EXPECT_STREQ(identifier, "1");
    EXPECT_STREQ(vrmf, "9.4.0.0");
    EXPECT_TRUE(TextsInOrder(
        {"Looking for installation name 'inst1'", std::string("Found: ") + kCode1 + ", 1, 9.4.0.0, "}));

    EXPECT_FALSE(
        RetrieveInstallDetailsByName("Inst2", &code, &description, &identifier, &vrmf, FALSE, ZEB_VIEW_64));
    EXPECT_STREQ(code, "");
    EXPECT_STREQ(identifier, "");
    EXPECT_TRUE(HasText(std::string("Not Found: Results - ") + kCode2 + ", 2, 9.4.0.0, "));
    EXPECT_FALSE(RetrieveInstallDetailsByName("Inst3", NULL, NULL, NULL, NULL, FALSE, ZEB_VIEW_64));
}

TEST_F(Record, ByNameTriesThe32BitViewWhenTheVrmfIsMissing) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1", true));
    Seal();
    EXPECT_FALSE(RetrieveInstallDetailsByName("Inst1", NULL, NULL, NULL, NULL, FALSE, ZEB_VIEW_64));
    EXPECT_FALSE(HasText("Not found in normal tree, try 32 bit tree"));
    char identifier[ZEB_CCH_INSTID];
    EXPECT_TRUE(
        RetrieveInstallDetailsByName("Inst1", NULL, NULL, &identifier, NULL, FALSE, ZEB_VIEW_64_THEN_32));
    EXPECT_STREQ(identifier, "1");
    EXPECT_TRUE(HasText("Not found in normal tree, try 32 bit tree"));
    EXPECT_TRUE(RetrieveInstallDetailsByName("Inst1", NULL, NULL, NULL, NULL, FALSE, ZEB_VIEW_32));
}

TEST_F(Record, ReservedNamesAreTheOldRecordWhenAllowed) {
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.6"});
    Seal();
    char code[ZEB_CCH_PRODUCTCODE], description[ZEB_CCH_INSTDESC] = "x", identifier[ZEB_CCH_INSTID];
    EXPECT_FALSE(
        RetrieveInstallDetailsByName("INSTALLATION0", &code, NULL, NULL, NULL, FALSE, ZEB_VIEW_64_THEN_32));
    EXPECT_TRUE(HasText("Warning: reserved name used but function requested not to use it"));
    EXPECT_TRUE(RetrieveInstallDetailsByName("currentversion", &code, &description, &identifier, NULL, TRUE,
                                             ZEB_VIEW_64_THEN_32));
    EXPECT_STREQ(code, kOldCode);
    EXPECT_STREQ(identifier, "0");
    EXPECT_STREQ(description, "");
    EXPECT_TRUE(HasText(std::string("Found: ") + kOldCode + ", 0, 7.0.1.6, "));
    EXPECT_TRUE(IsReservedInstallName("InStAlLaTiOn0"));
    EXPECT_FALSE(IsReservedInstallName("Installation00"));
}

// ---- icsCheckForInstalls ---------------------------------------------------------------------------

TEST_F(Record, CheckForInstallsOnEmptyAndSimpleMachines) {
    EXPECT_FALSE(icsCheckForInstalls(NULL, FALSE, FALSE));
    EXPECT_TRUE(
        TextsInOrder({"Checking to see if any installations exist on machine",
                      "Taking client installations into account", "Loop 0 (0==64 bit tree, 1==32 bit tree)",
                      "Loop 1 (0==64 bit tree, 1==32 bit tree)", "No other installs exist."}));

    // One in the 32-bit view only: found in the second loop.
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1", true));
    Seal();
    winsim::msi::ClearMessages();
    EXPECT_TRUE(icsCheckForInstalls(NULL, FALSE, FALSE));
    EXPECT_TRUE(TextsInOrder(
        {"Loop 1 (0==64 bit tree, 1==32 bit tree)", "Found installation key - another install exists"}));

    // Ignoring itself by name, in any case; another one is found.
    winsim::msi::ClearMessages();
    EXPECT_FALSE(icsCheckForInstalls("INST1", TRUE, FALSE));
    EXPECT_TRUE(TextsInOrder({"Checking to see if any installations exist on machine except INST1",
                              "Found subkey 'Inst1'", "Skipping - Its ME!", "No other installs exist."}));
    AddInstallation(Inst("Inst2", "2", kCode2, "C:\\HX2"));
    Seal();
    winsim::msi::ClearMessages();
    EXPECT_TRUE(icsCheckForInstalls("Inst1", TRUE, FALSE));
    EXPECT_TRUE(
        TextsInOrder({"Found subkey 'Inst2'", "Its not me, and its passed all checks  - Found someone!",
                      "Found entry we cannot ignore, so installation exists on machine"}));
}

TEST_F(Record, CheckForInstallsSkipsClientsWhenAsked) {
    hxrecord::Installation client = Inst("Client1", "1", kCode1, "C:\\C1");
    client.components = {"Client", "Toolkit"};
    AddInstallation(client);
    Seal();
    EXPECT_TRUE(icsCheckForInstalls(NULL, FALSE, FALSE));
    winsim::msi::ClearMessages();
    EXPECT_FALSE(icsCheckForInstalls(NULL, FALSE, TRUE));
    EXPECT_TRUE(TextsInOrder({"Ignoring client only installations", "Found subkey 'Client1'",
                              "Skipping - Its a client product!", "No other installs exist."}));

    hxrecord::Installation server = Inst("Server1", "2", kCode2, "C:\\S1", true);
    server.components = {"Server"};
    AddInstallation(server);
    Seal();
    winsim::msi::ClearMessages();
    EXPECT_TRUE(icsCheckForInstalls("Other", TRUE, TRUE));
    EXPECT_TRUE(TextsInOrder({"Loop 1 (0==64 bit tree, 1==32 bit tree)", "Found subkey 'Server1'",
                              "Its a server product, so ok",
                              "Found entry we cannot ignore, so installation exists on machine"}));
}

TEST_F(Record, OldRecordMirroringRule) {
    AddOldRecord({.productCode = kOldCode, .name = "Inst1", .components = {"Server"}});
    Seal();
    EXPECT_TRUE(icsCheckForInstalls(NULL, FALSE, FALSE));
    EXPECT_TRUE(TextsInOrder({"Found data appearing to be a v7.0.1 install - checking for mirroring",
                              "Since something is there, somethings installed!"}));
    // Its own mirrored record: the name must be equal, case and all.
    winsim::msi::ClearMessages();
    EXPECT_FALSE(icsCheckForInstalls("Inst1", TRUE, TRUE));
    EXPECT_TRUE(HasText("Installation name matches so ignoring"));
    winsim::msi::ClearMessages();
    EXPECT_TRUE(icsCheckForInstalls("INST1", TRUE, TRUE));
    EXPECT_TRUE(TextsInOrder({"No installation name so not registry mirroring - Weve found 7.0.1",
                              "Its a server product, so ok"}));

    // A client-only old record counts only when clients are taken into account.
    AddOldRecord({.name = "Other"});
    winsim::reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Hexline\\CurrentVersion\\Components",
                            View::Wow32);
    Seal();
    EXPECT_TRUE(icsCheckForInstalls("Inst1", TRUE, FALSE));
    winsim::msi::ClearMessages();
    EXPECT_FALSE(icsCheckForInstalls("Inst1", TRUE, TRUE));
    EXPECT_TRUE(HasText("Skipping - Its a client product!"));
}

// ---- icsGetPrimaryName -----------------------------------------------------------------------------

TEST_F(Record, PrimaryNameThirtyTwoBitViewFirst) {
    char name[ZEB_CCH_INSTNAME] = "x";
    EXPECT_FALSE(icsGetPrimaryName(name));
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(HasText("No primary located"));

    Registry(hxrecord::RegFile(hxrecord::Primary("Inst64")));
    Seal();
    EXPECT_TRUE(icsGetPrimaryName(name));
    EXPECT_STREQ(name, "Inst64");
    EXPECT_TRUE(HasText("Primary (64 bit registry) located, name is 'Inst64'"));

    Registry(hxrecord::RegFile(hxrecord::Primary("AVeryLongPrimaryNameIndeed", true)));
    Seal();
    EXPECT_TRUE(icsGetPrimaryName(name));
    EXPECT_STREQ(name, "AVeryLongPrimary");
    EXPECT_TRUE(HasText("Primary (32 bit registry) located, name is 'AVeryLongPrimary'"));
}

// ---- icsGetMaintenanceLevels -----------------------------------------------------------------------

class Levels : public Record {
  protected:
    struct Result {
        BOOL ok;
        std::string shipped, previous, latest, rollBack;
    };
    static Result Read(const char* name = "Inst1") {
        char sm[ZEB_CCH_LEVEL], sf[ZEB_CCH_LEVEL], pm[ZEB_CCH_LEVEL], pf[ZEB_CCH_LEVEL], lm[ZEB_CCH_LEVEL],
            lf[ZEB_CCH_LEVEL], rb[ZEB_CCH_PATH];
        BOOL ok = icsGetMaintenanceLevels(kInstallationKey, name, &sm, &sf, &pm, &pf, &lm, &lf, &rb);
        return {ok, std::string(sm) + "." + sf, std::string(pm) + "." + pf, std::string(lm) + "." + lf, rb};
    }
};

TEST_F(Levels, ShippedAloneIsTheLatestWithoutRollBack) {
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    r.vrmf = "9.4.1.2";
    r.shipped = "1.2";
    AddInstallation(r);
    Seal();
    Result got = Read();
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.shipped, "1.2");
    EXPECT_EQ(got.latest, "1.2");
    EXPECT_EQ(got.previous, "1.2");
    EXPECT_EQ(got.rollBack, "");
    EXPECT_TRUE(TextsInOrder({"Registry VRMF is '9.4.1.2' (9.4.1.2)", "Found Maint value named 'Shipped'",
                              " - value '1.2'", "Shipped maintenance level is '1.2'",
                              "Latest maintenance level is '1.2'", "RollBack value is ''",
                              "Previous maintenance level is '1.2'", "Shipped maintenance level is '1.2'"}));
}

TEST_F(Levels, OnlyInstalledLevelsCountAndTheHighestGivesTheRollBack) {
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    r.shipped = "1.0";
    r.maintenance = {{"1.2", "C:\\HX1\\maint\\1.2"},
                     {"1.10", "C:\\HX1\\maint\\1.10"},
                     {"1.4", "C:\\HX1\\maint\\1.4"},
                     {"2.0", "C:\\HX1\\maint\\2.0", false},
                     {"", "C:\\HX1\\maint\\bare", true, "Maint"}};
    AddInstallation(r);
    winsim::reg::SetDword(HKEY_LOCAL_MACHINE, std::string(kInstallationKey) + "\\Inst1\\Maintenance Applied",
                          "Maint_3.0", 1);
    Seal();
    Result got = Read();
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.latest, "1.10"); // fields compare as numbers
    EXPECT_EQ(got.rollBack, "C:\\HX1\\maint\\1.10");
    EXPECT_EQ(got.previous, "1.4");
    EXPECT_EQ(got.shipped, "1.0");
    EXPECT_TRUE(HasText("Maintenance level '1.2' is installed"));
    EXPECT_TRUE(HasText("Maintenance level '2.0' is not currently installed"));
    // A value named only "Maint" has no level (read past its end before), a number is no string.
    EXPECT_TRUE(HasText("Ignoring value 'Maint': no maintenance level in its name"));
    EXPECT_FALSE(HasTextContaining("'Maint_3.0'"));
}

TEST_F(Levels, NoMaintenanceKeyAndAnUnreadableOne) {
    AddInstallation(Inst("Inst1", "1", kCode1, "C:\\HX1"));
    Seal();
    Result got = Read();
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.latest + got.previous + got.shipped, "0.00.00.0");
    EXPECT_TRUE(HasText("No service applied"));

    std::string key = std::string(kInstallationKey) + "\\Inst1\\Maintenance Applied";
    winsim::reg::CreateKey(HKEY_LOCAL_MACHINE, key);
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, key, true);
    Seal();
    got = Read();
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.latest, "0.0");
    EXPECT_TRUE(HasText("***Open key error 5 '" + key + "'"));
    winsim::reg::DenyAccess(HKEY_LOCAL_MACHINE, key, false);

    // Every out may be left out.
    EXPECT_TRUE(icsGetMaintenanceLevels(kInstallationKey, "Inst1", NULL, NULL, NULL, NULL, NULL, NULL, NULL));
}

TEST_F(Levels, FailedQueryAndEnumerationAreReported) {
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    r.maintenance = {{"1.2", "C:\\HX1\\maint\\1.2"}};
    AddInstallation(r);
    Seal();
    winsim::FailCall("RegQueryInfoKeyA", ERROR_OUTOFMEMORY, 1);
    EXPECT_FALSE(Read().ok);
    EXPECT_TRUE(HasText("***Can't query key info 14"));
    winsim::FailCall("RegEnumValueA", ERROR_INVALID_HANDLE, 1);
    Result got = Read();
    EXPECT_FALSE(got.ok);
    EXPECT_TRUE(HasTextMatching(R"(^\*\*\*Can't enumerate Key values: '.*\\Maintenance Applied' 6$)"));
}

// ---- GetStringFromRegFile and GetPreviousInstallationDetails ---------------------------------------

TEST_F(Record, RegFileReaderUnquotedAndQuoted) {
    winsim::fs::WriteFile("C:\\HXData\\hxs.ini", "; LogDefaultPath=C:\\Wrong\r\n"
                                                 "# logdefaultpath=C:\\Wrong2\r\n"
                                                 "[Log]\r\n"
                                                 "  LOGDefaultPATH = \"C:\\\\HX\\\\log\"  \r\n");
    char value[ZEB_CCH_PATH];
    EXPECT_TRUE(GetStringFromRegFile("C:\\HXData\\hxs.ini", "LogDefaultPath", value, FALSE));
    EXPECT_STREQ(value, "C:\\HX\\log");
    EXPECT_TRUE(TextsInOrder({"Looking for LogDefaultPath in 'C:\\HXData\\hxs.ini'(0)",
                              "Scanning 'C:\\HXData\\hxs.ini'", "Result is 'C:\\HX\\log'"}));

    // Quoted: case matters, and the writer's escapes are undone.
    winsim::fs::WriteFile("C:\\HXData\\x.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n"
                                               "\"description\"=\"lower\"\r\n"
                                               "\"Description\"=\"Joe\\'s \\\"QM\\\" at C:\\\\HX\\\\\"\r\n");
    EXPECT_TRUE(GetStringFromRegFile("C:\\HXData\\x.reg", "Description", value, TRUE));
    EXPECT_STREQ(value, "Joe's \"QM\" at C:\\HX\\");
    EXPECT_TRUE(GetStringFromRegFile("C:\\HXData\\x.reg", "Name", value, TRUE));
    EXPECT_STREQ(value, "");
    EXPECT_TRUE(HasText("Value is not found."));
}

TEST_F(Record, RegFileReaderMissingUnreadableAndOverlongValues) {
    char value[ZEB_CCH_PATH] = "x";
    EXPECT_TRUE(GetStringFromRegFile("C:\\HXData\\none.reg", "Name", value, TRUE));
    EXPECT_STREQ(value, "");
    EXPECT_TRUE(HasText("Can't find 'C:\\HXData\\none.reg'"));

    winsim::fs::WriteFile("C:\\HXData\\a.reg",
                          "\"Name\"=\"" + std::string(300, 'p') + "\"\r\n\"Name\"=\"B\"\r\n");
    winsim::FailCall("fopen", ERROR_ACCESS_DENIED, 1, "a.reg");
    EXPECT_FALSE(GetStringFromRegFile("C:\\HXData\\a.reg", "Name", value, TRUE));
    EXPECT_TRUE(HasText("***Can't open 'C:\\HXData\\a.reg'"));
    // A value too long for the buffer is refused, not cut; the next line's is taken.
    EXPECT_TRUE(GetStringFromRegFile("C:\\HXData\\a.reg", "Name", value, TRUE));
    EXPECT_STREQ(value, "B");
    EXPECT_TRUE(HasText("***Value of Name too long (300 characters) in 'C:\\HXData\\a.reg'"));
}

TEST_F(Record, PreviousDetailsComeBackAsSaved) {
    SaveLastInstall("C:\\HXData", {.name = "Inst1",
                                   .description = "Joe's \"QM\" C:\\x",
                                   .identifier = "1",
                                   .folder = "C:\\HX1",
                                   .components = {"Server"}});
    Seal();
    char name[ZEB_CCH_INSTNAME], description[ZEB_CCH_INSTDESC];
    GetPreviousInstallationDetails(name, description);
    EXPECT_STREQ(name, "Inst1");
    EXPECT_STREQ(description, "Joe's \"QM\" C:\\x");
    EXPECT_TRUE(TextsInOrder(
        {"Looking for saved registry DataPath information", "Checking 32 bit workpath",
         "Not found... now checking 64 bit workpath", "Using LastInstall.reg previous name of 'Inst1'",
         "From v8.0 we no longer use LastInstall.reg value to set FilePath (property iwiLASTPGMFOLDER)",
         "Using LastInstall.reg previous desc of 'Joe's \"QM\" C:\\x'"}));
    // The saved folder is never written, so never read.
    EXPECT_EQ(File("C:\\HXData\\Config\\LastInstall.reg").find("FilePath"), std::string::npos);
}

TEST_F(Record, PreviousDetailsWithoutFolderOrFile) {
    char name[ZEB_CCH_INSTNAME] = "x", description[ZEB_CCH_INSTDESC] = "x";
    GetPreviousInstallationDetails(name, description);
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(description, "");
    EXPECT_TRUE(HasText("No registry datapath => no cached config file"));

    // The 32-bit view's folder is the one looked in.
    SaveLastInstall("C:\\HXData", {.name = "Inst1"});
    Registry(hxrecord::RegFile(hxrecord::WorkPath("C:\\Other\\", true)));
    Seal();
    GetPreviousInstallationDetails(name, description);
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(HasText("File C:\\Other\\Config\\LastInstall.reg doesnt exist"));

    Registry(hxrecord::RegFile(hxrecord::WorkPath("C:\\HXData", true)));
    Seal();
    GetPreviousInstallationDetails(name, description);
    EXPECT_STREQ(name, "Inst1");
    EXPECT_TRUE(HasText("No LastInstall.reg previous desc"));
}

// ---- IsClientInstall -------------------------------------------------------------------------------

class Client : public Record {
  protected:
    void ServerPackage() { SetProps({{"ZEBPRODUCT", "Server"}, {"VersionNT", "603"}}); }
};

TEST_F(Client, PackageKindDecides) {
    winsim::msi::SetProperty("ZEBCLIENT", "yes");
    EXPECT_TRUE(IsClientInstall());
    EXPECT_EQ(Prop("ZEBCLIENT"), "yes");

    SetProps({{"ZEBCLIENT", ""}, {"ZEBPRODUCT", "client"}, {"VersionNT", "603"}});
    EXPECT_TRUE(IsClientInstall());
    EXPECT_EQ(Prop("ZEBCLIENT"), "1");

    winsim::msi::SetProperty("ZEBCLIENT", "");
    ServerPackage();
    EXPECT_FALSE(IsClientInstall());
    EXPECT_EQ(Prop("ZEBCLIENT"), "");
    winsim::msi::SetProperty("VersionNT", "");
    EXPECT_TRUE(IsClientInstall());
}

TEST_F(Client, InstalledClientRecordIsAClientRunOnlyFromItsCachedPackage) {
    ServerPackage();
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    r.values = {{"ProductType", "client"}};
    AddInstallation(r);
    Seal();
    SetProps({{"Installed", "1"},
              {"ProductCode", kCode1},
              {"DATABASE", "C:\\Windows\\Installer\\1a2b.msi"},
              {"OriginalDatabase", "D:\\media\\hx.msi"}});
    EXPECT_FALSE(IsClientInstall());
    EXPECT_TRUE(TextsInOrder({"Product installed - working out name", "Found matching installation 'Inst1'",
                              "Looking up value in 'SOFTWARE\\Corvane\\Skyloft HX\\Installation\\Inst1'",
                              "Invocation not from ARP."}));
    EXPECT_EQ(Prop("ZEBCLIENT"), "");

    winsim::msi::SetProperty("OriginalDatabase", "c:\\windows\\installer\\1A2B.MSI");
    EXPECT_TRUE(IsClientInstall());
    EXPECT_TRUE(HasText("Invocation from ARP; setting client."));
    EXPECT_EQ(Prop("ZEBCLIENT"), "1");
}

TEST_F(Client, ServerRunWhenTheRecordSaysNothing) {
    ServerPackage();
    hxrecord::Installation r = Inst("Inst1", "1", kCode1, "C:\\HX1");
    AddInstallation(r);
    Seal();
    SetProps({{"Installed", "1"}, {"ProductCode", kCode1}});
    EXPECT_FALSE(IsClientInstall());
    EXPECT_TRUE(HasText("No ProductType value"));
    winsim::msi::SetProperty("ProductCode", kCode2);
    EXPECT_FALSE(IsClientInstall());
    EXPECT_TRUE(TextsInOrder({std::string("Could not find installation '") + kCode2 + "'",
                              "Unknown installation, no ProductType value"}));
}

TEST_F(Client, FailedPropertyAccessIsNoClientRun) {
    winsim::msi::SetProperty("ZEBPRODUCT", "client");
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 1, "ZEBCLIENT");
    EXPECT_FALSE(IsClientInstall());
    winsim::FailCall("MsiSetPropertyA", ERROR_FUNCTION_FAILED, 1, "ZEBCLIENT");
    EXPECT_FALSE(IsClientInstall());
    EXPECT_TRUE(HasTextContaining("***msiSetProperty('ZEBCLIENT') value('1') failed"));
    EXPECT_TRUE(IsClientInstall());
}

} // namespace
