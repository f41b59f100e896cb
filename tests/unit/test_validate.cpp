// Validation of folders and installation parameters: folder lengths by kind, the name, description
// and program-folder rules with their messages, the inaccessible-folder and legacy notices, and the
// volume label of removable source media.
#include "zebiwicnPrereq.h"
#include "zebtest.h"

namespace {

namespace reg = winsim::reg;

const char kTelemetryKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane Skyloft HX Telemetry";

struct Box {
    std::string text;
    unsigned style;
};

std::vector<Box> Boxes() {
    std::vector<Box> out;
    for (const winsim::Event& e : winsim::Events())
        if (e.kind == "messagebox")
            out.push_back({e.text, static_cast<unsigned>(e.flags & MB_ICONMASK)});
    return out;
}

hxrecord::Installation Other(const std::string& name, std::optional<std::string> folder,
                             bool view32 = false) {
    return {.name = name, .identifier = "1", .vrmf = "9.4.0.0", .folder = folder, .view32 = view32};
}

class Validation : public ZebTest {
  protected:
    // The table's text with its "%1" and "%2" (or its "%s") filled.
    static std::string Filled(unsigned id, const std::string& insert1, const std::string& insert2 = "") {
        std::string text = TableStrings("zebircan").at(id);
        for (const auto& [mark, value] :
             {std::pair<std::string, std::string>{"%1", insert1}, {"%2", insert2}, {"%s", insert1}}) {
            size_t at = text.find(mark);
            if (at != std::string::npos)
                text.replace(at, mark.size(), value);
        }
        return text;
    }
};

class ValidatePath : public Validation {
  protected:
    void SetUp() override {
        Validation::SetUp();
        UnpackLanguageLibrary();
        winsim::msi::SetProperty("_BrowseProperty", "_BrowseFolder");
    }
    UINT Run(const std::string& which, size_t length) {
        std::string path = "C:\\" + std::string(length - 3, 'p');
        SetProps({{"_BrowseFolder", path}, {"ZEBWhichFolder", which}});
        winsim::ClearEvents();
        return iwiValidatePath(h);
    }
};

TEST_F(ValidatePath, EachKindAtItsLimitAndOneBeyond) {
    const struct {
        const char* which;
        size_t limit;
        unsigned message;
    } kinds[] = {{"PGM", 190, 601}, {"dat", 72, 602}, {"Log", 232, 603}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.which);
        EXPECT_EQ(Run(kind.which, kind.limit), ZEB_RC_SUCCESS);
        EXPECT_EQ(Prop("ZEBPathValid"), "1");
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(Run(kind.which, kind.limit + 1), ZEB_RC_SUCCESS);
        EXPECT_EQ(Prop("ZEBPathValid"), "");
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].text, TableStrings("zebircan").at(kind.message));
        EXPECT_EQ(Boxes()[0].style, static_cast<unsigned>(MB_ICONERROR));
    }
    EXPECT_TRUE(HasTextContaining("icsIsValid64BitPath: 'C:\\ppp"));
}

TEST_F(ValidatePath, OtherKindsHaveNoLimitButAPathBeyondAnyFolderFails) {
    EXPECT_EQ(Run("other", 250), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPathValid"), "1");
    // Longer than any folder can be: refused for every kind, and the action still succeeds.
    EXPECT_EQ(Run("other", 300), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPathValid"), "");
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Run("pgm", 300), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBPathValid"), "");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, TableStrings("zebircan").at(601));
    EXPECT_TRUE(HasText("Property '_BrowseFolder' value is longer than 259 characters"));
}

// ---- Name, description and program folder ------------------------------------------------------

class ValidateParms : public Validation {
  protected:
    void SetUp() override {
        Validation::SetUp();
        UnpackLanguageLibrary();
        SetProps({{"ZEBINSTALLINSTANCENAME", "Inst9"}, {"ZEBPGMFOLDER", "C:\\HX"}, {"UILevel", "5"}});
    }
    // The internal judgement alone, in the frame of an action.
    bool Judge() {
        FrameSetSession(h);
        message[0] = '\0';
        return iwiValidateInstallationParmsInternal(message);
    }
    char message[ZEB_CCH_MSG] = "";
};

TEST_F(ValidateParms, NameRuleAndReservedNames) {
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Bad name");
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message), Filled(2100, "Bad name"));
    EXPECT_TRUE(HasTextContaining("***Error Invalid InstallationName. The name 'Bad name' is invalid"));
    for (const char* reserved : {"installation0", "CURRENTVERSION"}) {
        winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", reserved);
        EXPECT_FALSE(Judge()) << reserved;
        EXPECT_EQ(std::string(message), Filled(2101, reserved));
    }
    // A name far beyond the property buffer is still judged, and refused.
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", std::string(700, 'a'));
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message).substr(0, 30), Filled(2100, "").substr(0, 30));
}

TEST_F(ValidateParms, NameInUseInEitherViewWhateverItsCase) {
    AddInstallation(Other("Inst1", "C:\\zebtest\\P1"));
    AddInstallation(Other("Inst2", "C:\\zebtest\\P2", /*view32=*/true));
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "inst2");
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message), Filled(2102, "inst2"));
    EXPECT_TRUE(
        TextsInOrder({"Loop 0 (0==64 bit tree, 1==32 bit tree)", "Found other installation name 'Inst1'",
                      "Loop 1 (0==64 bit tree, 1==32 bit tree)", "Found other installation name 'Inst2'",
                      "***Error Invalid Installation Name. The name 'inst2' is already in use and cannot "
                      "be specified for the Installation Name, select a new unique name."}));
    // Rules after the failing one do not run.
    EXPECT_FALSE(HasTextContaining("pre-7.1"));
}

TEST_F(ValidateParms, KeepingTheOldNameSkipsTheSearch) {
    AddInstallation(Other("Inst2", "C:\\HX", /*view32=*/true));
    SetProps({{"ZEBINSTALLINSTANCENAME", "Inst2"}, {"ZEBOLDINSTALLINSTANCENAME", "Inst2"}});
    EXPECT_TRUE(Judge());
    EXPECT_FALSE(HasTextContaining("Loop "));
    // The old name differs in case only: the search runs and finds the name.
    winsim::msi::SetProperty("ZEBOLDINSTALLINSTANCENAME", "INST2");
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message), Filled(2102, "Inst2"));
}

TEST_F(ValidateParms, ProgramFolderInsideOrAroundAnotherInstallation) {
    AddInstallation(Other("Other", "C:\\HX\\Sub"));
    AddInstallation(Other("NoFolder", std::nullopt, /*view32=*/true));
    AddInstallation(Other("EmptyFolder", "", /*view32=*/true));
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message), Filled(2112, "C:\\HX\\"));
    EXPECT_TRUE(HasText("Which is installed in 'C:\\HX\\Sub\\'"));

    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX\\Sub\\Deeper");
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message), Filled(2112, "C:\\HX\\Sub\\Deeper\\"));

    // A sibling sharing the first letters, and records without a folder, block nothing.
    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\HX2");
    EXPECT_TRUE(Judge());
    EXPECT_TRUE(HasText("Which is installed in ''"));
    EXPECT_TRUE(HasText("Installation length is valid."));

    // An upgrade or maintenance keeps its folder.
    SetProps({{"ZEBPGMFOLDER", "C:\\HX"}, {"ZEBPREVPGM", "C:\\HX\\Sub"}});
    EXPECT_TRUE(Judge());
    EXPECT_TRUE(HasText("Skipped directory check as upgrage / maintenance"));
}

TEST_F(ValidateParms, OldSingleRecordFolderButAnEmptyFolderMatchesNothing) {
    AddInstallation(Other("Other", "C:\\HX\\Sub"));
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.6", .folder = "C:\\Hexline\\Old"});
    winsim::msi::SetProperty("ZEBPGMFOLDER", "");
    EXPECT_TRUE(Judge());
    EXPECT_TRUE(HasText("Pre-7.1 installed in 'C:\\Hexline\\Old\\'"));

    winsim::msi::SetProperty("ZEBPGMFOLDER", "C:\\Hexline");
    EXPECT_FALSE(Judge());
    EXPECT_TRUE(TextsInOrder(
        {"Checking for pre-7.1 installation path", "Pre-7.1 installed in 'C:\\Hexline\\Old\\'"}));
    EXPECT_EQ(std::string(message), Filled(2112, "C:\\Hexline\\"));
    reg::DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\Hexline", reg::View::Wow32);
    EXPECT_TRUE(Judge());
    EXPECT_TRUE(HasText("No pre-7.1 installation."));
}

TEST_F(ValidateParms, DescriptionLength) {
    winsim::msi::SetProperty("ZEBINSTALLINSTANCEDESC", std::string(64, 'd'));
    EXPECT_TRUE(Judge());
    EXPECT_TRUE(HasText("Installation length is valid."));
    for (size_t length : {65, 900}) {
        winsim::msi::SetProperty("ZEBINSTALLINSTANCEDESC", std::string(length, 'd'));
        EXPECT_FALSE(Judge()) << length;
        EXPECT_EQ(std::string(message), TableStrings("zebircan").at(2103)) << length;
    }
}

TEST_F(ValidateParms, TelemetryFolderWinsOverAnEarlierRefusal) {
    reg::SetString(HKEY_LOCAL_MACHINE, kTelemetryKey, "InstallLocation", "C:\\hx\\bin", reg::View::Wow32);
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Bad-name");
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message), TableStrings("zebircan").at(2111));
    EXPECT_TRUE(TextsInOrder(
        {"***Error Invalid InstallationName. The name 'Bad-name' is invalid, it must be a "
         "maximum of 16, a-z, A-Z, 0-9 characters only",
         "HXXR is at 'C:\\hx\\'", "***HXXR installed in same location as planned destination!"}));
    // Elsewhere, the telemetry product is only traced.
    SetProps({{"ZEBINSTALLINSTANCENAME", "Inst9"}, {"ZEBPGMFOLDER", "C:\\HX\\Sub"}});
    EXPECT_TRUE(Judge());
}

TEST_F(ValidateParms, MaintenanceAndUnreadablePropertiesAreAcceptable) {
    SetProps({{"ZEBINSTALLINSTANCENAME", "Bad name"}, {"Installed", "00:00:00"}});
    EXPECT_TRUE(Judge());
    winsim::msi::SetProperty("Installed", "");
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 0, "ZEBPREVPGM");
    EXPECT_TRUE(Judge());
    EXPECT_FALSE(HasTextContaining("***Error Invalid"));
}

TEST_F(ValidateParms, DialogShowsAndStaysOpenSilentFails) {
    winsim::msi::SetProperty("ZEBINSTALLINSTANCEDESC", std::string(65, 'd'));
    EXPECT_EQ(iwiValidateInstallationParms(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBInstallationParmsValid"), "");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, TableStrings("zebircan").at(2103));
    EXPECT_EQ(Boxes()[0].style, static_cast<unsigned>(MB_ICONERROR));

    winsim::ClearEvents();
    winsim::msi::SetProperty("UILevel", "3");
    EXPECT_EQ(iwiValidateInstallationParms(h), ZEB_RC_FAILURE);
    EXPECT_EQ(Prop("ZEBInstallationParmsValid"), "");
    for (const Box& box : Boxes())
        EXPECT_NE(box.text, TableStrings("zebircan").at(2103)) << "no dialog to show it in";

    winsim::ClearEvents();
    EXPECT_EQ(iwiValidateInstallPath(h), ZEB_RC_FAILURE);
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0].text, TableStrings("zebircan").at(2103));

    winsim::msi::SetProperty("ZEBINSTALLINSTANCEDESC", "Fine");
    EXPECT_EQ(iwiValidateInstallationParms(h), ZEB_RC_SUCCESS);
    EXPECT_EQ(Prop("ZEBInstallationParmsValid"), "1");
    EXPECT_EQ(iwiValidateInstallPath(h), ZEB_RC_SUCCESS);
}

TEST_F(ValidateParms, FallbackTextsWithoutLanguageLibrary) {
    winsim::msi::SetProperty("ZEBLANGDLLCREATED", "");
    AddInstallation(Other("Other", "C:\\HX"));
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message),
              "Invalid Installation Path. The path 'C:\\HX\\' is already in use and cannot be "
              "specified for the installation path, select a different path. (ZEB4780)");
    winsim::msi::SetProperty("ZEBINSTALLINSTANCENAME", "Other");
    EXPECT_FALSE(Judge());
    EXPECT_EQ(std::string(message),
              "Invalid Installation Name. The name 'Other' is already in use and cannot be "
              "specified for the Installation Name, select a new unique name. (ZEB4771)");
}

// ---- Notices -------------------------------------------------------------------------------------

using Notices = ValidateParms;

TEST_F(Notices, BothRecommendedFoldersInaccessible) {
    SetProps({{"ZEBINACCESSIBLELASTDAT", "1"},
              {"ZEBINACCESSIBLELASTLOG", "1"},
              {"ZEBLASTDAT", "Q:\\Data\\"},
              {"ZEBLASTLOG", "Q:\\Log"},
              {"ZEBDATFOLDER", "C:\\ProgramData\\HX\\"},
              {"ZEBLOGFOLDER", "C:\\ProgramData\\HX\\log"}});
    EXPECT_EQ(iwiInaccessibleFolder(h), ZEB_RC_SUCCESS);
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, Filled(2120, "Q:\\Data", "C:\\ProgramData\\HX"));
    EXPECT_EQ(boxes[1].text, Filled(2121, "Q:\\Log", "C:\\ProgramData\\HX\\log"));
    EXPECT_EQ(boxes[0].style, static_cast<unsigned>(MB_ICONWARNING));
    EXPECT_EQ(boxes[1].style, static_cast<unsigned>(MB_ICONWARNING));

    winsim::ClearEvents();
    winsim::msi::SetProperty("ZEBINACCESSIBLELASTDAT", "0");
    EXPECT_EQ(iwiInaccessibleFolder(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, Filled(2121, "Q:\\Log", "C:\\ProgramData\\HX\\log"));
}

TEST_F(Notices, LegacyInstallationInformsAndNeverFails) {
    EXPECT_EQ(iwiUnableToCoexist(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(Boxes().empty());
    AddOldRecord({.productCode = kOldCode, .vrmf = "7.0.1.3"});
    EXPECT_EQ(iwiUnableToCoexist(h), ZEB_RC_SUCCESS);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, Filled(2119, "7.0.1.3", "7.0.1.6"));
    EXPECT_EQ(Boxes()[0].style, static_cast<unsigned>(MB_ICONINFORMATION));
    // Without the language library the notice has no text: nothing is shown.
    winsim::ClearEvents();
    winsim::msi::SetProperty("ZEBLANGDLLCREATED", "");
    EXPECT_EQ(iwiUnableToCoexist(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(HasText("***Unable to load message 2119"));
}

// ---- Volume label -----------------------------------------------------------------------------------

class VolumeLabel : public Validation {
  protected:
    void SetUp() override {
        Validation::SetUp();
        SetProps({{"ZEBCHECKVOLUME", "1"}, {"SourceDir", "D:\\HX\\Windows\\"}});
        winsim::fs::AddDrive('D', DRIVE_CDROM, "HXCD1");
        winsim::fs::AddDrive('E', DRIVE_REMOTE, "Share");
    }
    void Media(const std::string& label) {
        winsim::msi::DefineStandardTable("Media");
        winsim::msi::AddRow("Media", {winsim::msi::Field::integer(1), winsim::msi::Field::integer(100),
                                      winsim::msi::Field::str("1"), winsim::msi::Field::str(""),
                                      winsim::msi::Field::str(label), winsim::msi::Field::str("")});
    }
};

TEST_F(VolumeLabel, TrimmedDriveLabelMatchesCaseSensitively) {
    winsim::fs::AddDrive('D', DRIVE_CDROM, " HXCD1 \r\nrest");
    Media("HXCD1");
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"Source drive is 'D:\\'", "'D:\\' is drive type 5", "Found source drive 'D:\\'",
                              "Drive 'D:\\' is removable", "Volume label is ' HXCD1 \r\nrest'",
                              "Media table volume label is 'HXCD1'"}));
    Media("hxcd1");
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CD volume label is incorrect; should be 'hxcd1'"));
}

TEST_F(VolumeLabel, BlankMediaLabelOrNoMediumIsNotChecked) {
    Media("  ");
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("Media table volume label is blank; not checking"));
    winsim::msi::DropTable("Media");
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasTextContaining("***MsiDatabaseOpenView failed"));

    Media("HXCD1");
    winsim::fs::SetMediaPresent('D', false);
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(HasText("***Can't get Volume label for 'D:\\' 21"));
}

TEST_F(VolumeLabel, FixedNetworkOrMissingSourceDrivesAreNotRemovable) {
    Media("Other");
    const struct {
        const char* source;
        const char* drive;
    } sources[] = {{"C:\\Kit\\", "C:\\"},
                   {"E:\\HX\\", "E:\\"},
                   {"\\\\server\\share\\HX\\", "\\"},
                   {"Q:\\HX\\", "Q:\\"},
                   {"D:", "D:\\"}};
    for (const auto& source : sources) {
        SCOPED_TRACE(source.source);
        Reload(); // the source is settled once per loaded copy
        winsim::msi::SetProperty("SourceDir", source.source);
        winsim::fs::RemoveDrive('D');
        if (std::string(source.drive) == "D:\\")
            winsim::fs::AddDrive('D', DRIVE_FIXED, "Disk");
        EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
        EXPECT_TRUE(HasText(std::string("Drive '") + source.drive + "' is not removable"));
    }
    EXPECT_TRUE(HasText("'E:\\' is drive type 4"));
    EXPECT_FALSE(HasTextContaining("Media table"));
}

TEST_F(VolumeLabel, DrivesListTooLongCountsAsNoDrives) {
    Media("Other");
    winsim::fs::SetDriveStringsLength(600);
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
    EXPECT_TRUE(TextsInOrder({"***Unable to get drives list", "Drive 'D:\\' is not removable"}));
}

TEST_F(VolumeLabel, OnlyFirstInstallationsWithTheCheckAskedForAndNeverDeferred) {
    Media("Other");
    winsim::msi::SetProperty("Installed", "1");
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
    SetProps({{"Installed", ""}, {"ZEBCHECKVOLUME", ""}});
    EXPECT_EQ(iwiCheckVolumeLabel(h), ZEB_RC_SUCCESS);
    EXPECT_FALSE(HasTextContaining("Source drive"));
    EXPECT_EQ(RunDeferred(iwiCheckVolumeLabel, "ZEBCHECKVOLUME=1;"), ZEB_RC_FAILURE);
    EXPECT_TRUE(HasText("***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'."));
}

} // namespace
