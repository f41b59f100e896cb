// The simulated installer session: property buffers, the deferred context, modes, messages and
// replies, record formatting, records, handles, actions and feature states.
#include <gtest/gtest.h>
#include <msidefs.h>
#include <msiquery.h>
#include <winsim/sim.h>

#include <string>
#include <vector>

namespace {

namespace msi = winsim::msi;

class MsiSession : public ::testing::Test {
  protected:
    void SetUp() override {
        winsim::Reset();
        h = msi::SessionHandle();
    }
    void TearDown() override { EXPECT_EQ(msi::LeakedHandles(), 0); }

    // Reads a property through the API with a given capacity; returns the result code.
    UINT Get(const char* name, DWORD capacity, std::string* value, DWORD* length) {
        std::vector<char> buf(capacity + 1, '#');
        buf[capacity] = '\0';
        DWORD cch = capacity;
        UINT rc = MsiGetPropertyA(h, name, buf.data(), &cch);
        *value = capacity ? std::string(buf.data()) : std::string();
        *length = cch;
        return rc;
    }

    // A property read that succeeds, as the action in the current mode sees it.
    std::string Value(const char* name) {
        std::string value;
        DWORD length = 0;
        EXPECT_EQ(Get(name, 260, &value, &length), 0u) << name;
        return value;
    }

    std::string Format(MSIHANDLE install, MSIHANDLE rec) {
        char buf[512];
        DWORD cch = sizeof buf;
        EXPECT_EQ(MsiFormatRecordA(install, rec, buf, &cch), 0u);
        return buf;
    }

    MSIHANDLE Record(const std::vector<const char*>& fields) {
        MSIHANDLE rec = MsiCreateRecord(static_cast<UINT>(fields.size() - 1));
        for (size_t i = 0; i < fields.size(); ++i)
            MsiRecordSetStringA(rec, static_cast<UINT>(i), fields[i]);
        return rec;
    }

    MSIHANDLE h = 0;
};

TEST_F(MsiSession, PropertyReadFitsOnlyWhenShorterThanCapacity) {
    std::string value;
    DWORD length = 0;
    msi::SetProperty("FITS", std::string(259, 'a'));
    EXPECT_EQ(Get("FITS", 260, &value, &length), 0u);
    EXPECT_EQ(value, std::string(259, 'a'));
    EXPECT_EQ(length, 259u);

    // One more character no longer fits: as much as fits is copied, and the length needed comes
    // back in bytes of the wide value, as the custom-action server reports it.
    msi::SetProperty("TOOLONG", std::string(260, 'b'));
    EXPECT_EQ(Get("TOOLONG", 260, &value, &length), static_cast<UINT>(ERROR_MORE_DATA));
    EXPECT_EQ(value, std::string(259, 'b'));
    EXPECT_EQ(length, 520u);

    DWORD cch = 0;
    EXPECT_EQ(MsiGetPropertyA(h, "TOOLONG", nullptr, &cch), 0u);
    EXPECT_EQ(cch, 520u);
}

TEST_F(MsiSession, UndefinedPropertyReadsEmptyAndBadArgumentsAreRefused) {
    std::string value;
    DWORD length = 99;
    EXPECT_EQ(Get("NOPE", 32, &value, &length), 0u);
    EXPECT_EQ(value, "");
    EXPECT_EQ(length, 0u);

    // Even an empty value does not fit a buffer of no characters; the buffer is left alone.
    char buf[4] = "x";
    DWORD cch = 0;
    EXPECT_EQ(MsiGetPropertyA(h, "NOPE", buf, &cch), static_cast<UINT>(ERROR_MORE_DATA));
    EXPECT_STREQ(buf, "x");

    EXPECT_EQ(MsiGetPropertyA(h, "NOPE", buf, nullptr), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MsiGetPropertyA(h, nullptr, nullptr, nullptr), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    cch = sizeof buf;
    EXPECT_EQ(MsiGetPropertyA(h + 100, "NOPE", buf, &cch), static_cast<UINT>(ERROR_INVALID_HANDLE));
}

TEST_F(MsiSession, SetPropertyEmptyRemovesAndNamesAreCaseSensitive) {
    EXPECT_EQ(MsiSetPropertyA(h, "Prop", "one"), 0u);
    EXPECT_EQ(MsiSetPropertyA(h, "PROP", "two"), 0u);
    EXPECT_EQ(msi::Property("Prop").value_or("?"), "one");
    EXPECT_EQ(msi::Property("PROP").value_or("?"), "two");
    EXPECT_EQ(MsiSetPropertyA(h, "Prop", ""), 0u);
    EXPECT_FALSE(msi::Property("Prop").has_value());
    EXPECT_EQ(MsiSetPropertyA(h, "PROP", nullptr), 0u);
    EXPECT_FALSE(msi::Property("PROP").has_value());

    EXPECT_EQ(MsiSetPropertyA(h, "", "x"), static_cast<UINT>(ERROR_FUNCTION_FAILED));
    EXPECT_EQ(MsiSetPropertyA(h, "", nullptr), 0u);
    EXPECT_EQ(MsiSetPropertyA(h, nullptr, "x"), static_cast<UINT>(ERROR_INVALID_PARAMETER));
}

TEST_F(MsiSession, DeferredActionSeesOnlyItsActionDataProductCodeAndUserSid) {
    msi::SetProperty("iwiDeferred", "C:\\Temp\\zebp0001.txt");
    msi::SetProperty("ProductCode", "{11111111-2222-3333-4444-555555555555}");
    msi::SetProperty("UserSID", "S-1-5-18");
    msi::SetProperty("INSTALLDIR", "C:\\HX");
    msi::SetMode(MSIRUNMODE_ADMIN, true);
    msi::EnterDeferred("iwiDeferred");
    // The action data is taken when the script is written; later changes do not reach it.
    msi::SetProperty("iwiDeferred", "changed");

    EXPECT_EQ(Value("CustomActionData"), "C:\\Temp\\zebp0001.txt");
    EXPECT_EQ(Value("ProductCode"), "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(Value("UserSID"), "S-1-5-18");
    EXPECT_EQ(Value("INSTALLDIR"), "");

    EXPECT_EQ(MsiSetPropertyA(h, "INSTALLDIR", "D:\\"), static_cast<UINT>(ERROR_FUNCTION_FAILED));
    EXPECT_EQ(msi::Property("INSTALLDIR").value_or(""), "C:\\HX");

    EXPECT_TRUE(MsiGetMode(h, MSIRUNMODE_SCHEDULED));
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_ROLLBACK));
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_COMMIT));
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_ADMIN)); // set, but not answered in the script
    EXPECT_EQ(MsiGetActiveDatabase(h), 0u);
    EXPECT_EQ(MsiSetMode(h, MSIRUNMODE_REBOOTATEND, TRUE), static_cast<UINT>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(msi::Mode(MSIRUNMODE_REBOOTATEND));

    msi::LeaveDeferred();
    EXPECT_TRUE(MsiGetMode(h, MSIRUNMODE_ADMIN));
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_SCHEDULED));
    EXPECT_EQ(Value("CustomActionData"), "");
    EXPECT_EQ(Value("INSTALLDIR"), "C:\\HX");
}

TEST_F(MsiSession, CommitActionCannotReadProductCode) {
    msi::SetProperty("ProductCode", "{11111111-2222-3333-4444-555555555555}");
    msi::EnterDeferred("iwiCommit", MSIRUNMODE_COMMIT);
    EXPECT_EQ(Value("ProductCode"), "");
    EXPECT_TRUE(MsiGetMode(h, MSIRUNMODE_COMMIT));
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_SCHEDULED));
    msi::LeaveDeferred();
}

TEST_F(MsiSession, OnlyRebootModesCanBeSet) {
    EXPECT_EQ(MsiSetMode(h, MSIRUNMODE_REBOOTATEND, TRUE), 0u);
    EXPECT_TRUE(MsiGetMode(h, MSIRUNMODE_REBOOTATEND));
    EXPECT_EQ(MsiSetMode(h, MSIRUNMODE_REBOOTNOW, TRUE), 0u);
    EXPECT_EQ(MsiSetMode(h, MSIRUNMODE_REBOOTATEND, FALSE), 0u);
    EXPECT_FALSE(msi::Mode(MSIRUNMODE_REBOOTATEND));
    EXPECT_EQ(MsiSetMode(h, MSIRUNMODE_ADMIN, TRUE), static_cast<UINT>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_ADMIN));
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_SCHEDULED));
}

TEST_F(MsiSession, MessagesAreCapturedWithTypeFieldsAndLogText) {
    MSIHANDLE line = Record({nullptr, "10:00:00 HXCA iwiX info: hello [1]"});
    EXPECT_EQ(MsiProcessMessage(h, INSTALLMESSAGE_INFO, line), IDOK);
    MSIHANDLE start = Record({nullptr, "iwiX", "Doing it", "[1] left"});
    EXPECT_EQ(MsiProcessMessage(h, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ACTIONSTART | 0x30), start), 0);
    MSIHANDLE templated = Record({"Copying [1] to [2]", "a.txt", "C:\\b"});
    MsiProcessMessage(h, INSTALLMESSAGE_INFO, templated);

    const auto& m = msi::Messages();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].type, INSTALLMESSAGE_INFO);
    // A record without a template goes to the log as "1: <field> "; the field text is kept as
    // written, brackets and all.
    EXPECT_EQ(m[0].text, "1: 10:00:00 HXCA iwiX info: hello [1] ");
    EXPECT_EQ(m[1].type, INSTALLMESSAGE_ACTIONSTART);
    EXPECT_EQ(m[1].fields, (std::vector<std::string>{"", "iwiX", "Doing it", "[1] left"}));
    EXPECT_EQ(m[2].text, "Copying a.txt to C:\\b");
    EXPECT_EQ(msi::LogLines(),
              (std::vector<std::string>{"10:00:00 HXCA iwiX info: hello [1]", "Copying a.txt to C:\\b"}));

    EXPECT_EQ(MsiProcessMessage(h, INSTALLMESSAGE_INFO, 0), -1);
    EXPECT_EQ(MsiProcessMessage(0, INSTALLMESSAGE_INFO, line), -1);
    EXPECT_EQ(msi::Messages().size(), 3u);
    for (MSIHANDLE r : {line, start, templated})
        MsiCloseHandle(r);
}

TEST_F(MsiSession, ScriptedRepliesCountMessagesOfTheirTypeFromNow) {
    MSIHANDLE rec = Record({nullptr, "x"});
    MsiProcessMessage(h, INSTALLMESSAGE_INFO, rec); // before the script: not counted
    msi::ReplyTo(INSTALLMESSAGE_PROGRESS, 2, IDCANCEL);
    msi::ReplyTo(0, 3, IDNO);
    std::vector<int> replies;
    for (INSTALLMESSAGE t : {INSTALLMESSAGE_PROGRESS, INSTALLMESSAGE_INFO, INSTALLMESSAGE_PROGRESS,
                             INSTALLMESSAGE_PROGRESS, INSTALLMESSAGE_INFO})
        replies.push_back(MsiProcessMessage(h, t, rec));
    EXPECT_EQ(replies, (std::vector<int>{0, IDOK, IDCANCEL, 0, IDOK}));

    msi::ReplyTo(INSTALLMESSAGE_INFO, 1, IDCANCEL);
    msi::ReplyTo(0, 1, IDNO);
    // Both scripts match this message; the earlier one answers, and both are used up.
    EXPECT_EQ(MsiProcessMessage(h, INSTALLMESSAGE_INFO, rec), IDCANCEL);
    EXPECT_EQ(MsiProcessMessage(h, INSTALLMESSAGE_INFO, rec), IDOK);
    MsiCloseHandle(rec);
}

TEST_F(MsiSession, FormatRecordResolvesFieldsPropertiesAndGroups) {
    msi::SetProperty("Prop", "value");
    MSIHANDLE rec = Record({"[1]-[Prop]-{([Missing])}-{([1])}-{plain}-[\\[]", "f1"});
    EXPECT_EQ(Format(h, rec), "f1-value--(f1)-{plain}-[");
    // Without a session only the fields are filled; references to properties stay as written.
    EXPECT_EQ(Format(0, rec), "f1-[Prop]-{([Missing])}-(f1)-{plain}-[\\[]");

    MsiRecordSetStringA(rec, 0, "[[1]] [2]");
    MSIHANDLE nested = MsiCreateRecord(2);
    MsiRecordSetStringA(nested, 0, "[[1]] [2]");
    MsiRecordSetStringA(nested, 1, "2");
    MsiRecordSetInteger(nested, 2, 42);
    EXPECT_EQ(Format(0, nested), "42 42");
    EXPECT_EQ(MsiFormatRecordA(h, 0, nullptr, nullptr), static_cast<UINT>(ERROR_INVALID_HANDLE));
    MsiCloseHandle(nested);
    MsiCloseHandle(rec);
}

TEST_F(MsiSession, FormatRecordBufferRulesDependOnTheSession) {
    MSIHANDLE rec = Record({"foo [1]", "123"});
    char buf[16];
    DWORD cch = 7;
    EXPECT_EQ(MsiFormatRecordA(h, rec, buf, &cch), static_cast<UINT>(ERROR_MORE_DATA));
    EXPECT_STREQ(buf, "foo 12");
    EXPECT_EQ(cch, 14u);
    cch = 7;
    EXPECT_EQ(MsiFormatRecordA(0, rec, buf, &cch), static_cast<UINT>(ERROR_MORE_DATA));
    EXPECT_EQ(cch, 7u);
    cch = 8;
    EXPECT_EQ(MsiFormatRecordA(h, rec, buf, &cch), 0u);
    EXPECT_STREQ(buf, "foo 123");
    EXPECT_EQ(cch, 7u);
    EXPECT_EQ(MsiFormatRecordA(h, rec, buf, nullptr), static_cast<UINT>(ERROR_INVALID_PARAMETER));

    // A record of empty fields still lists them.
    MSIHANDLE empty = MsiCreateRecord(3);
    EXPECT_EQ(Format(0, empty), "1:  2:  3:  ");
    MsiCloseHandle(empty);
    MsiCloseHandle(rec);
}

TEST_F(MsiSession, DeferredFormattingSeesOnlyActionDataAndProductCode) {
    msi::SetProperty("iwiD", "data");
    msi::SetProperty("ProductCode", "{P}");
    msi::SetProperty("Other", "x");
    msi::EnterDeferred("iwiD");
    MSIHANDLE rec = Record({"[CustomActionData]|[ProductCode]|[Other]"});
    EXPECT_EQ(Format(h, rec), "data|{P}|");
    MsiCloseHandle(rec);
    msi::LeaveDeferred();
}

TEST_F(MsiSession, RecordFieldsConvertAndRespectTheirBounds) {
    MSIHANDLE rec = MsiCreateRecord(2);
    EXPECT_EQ(MsiRecordGetFieldCount(rec), 2u);
    EXPECT_TRUE(MsiRecordIsNull(rec, 1));
    EXPECT_TRUE(MsiRecordIsNull(rec, 3));
    EXPECT_EQ(MsiRecordSetInteger(rec, 3, 1), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MsiRecordSetStringA(rec, 3, "x"), static_cast<UINT>(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(MsiRecordSetStringA(rec, 1, "-42"), 0u);
    EXPECT_EQ(MsiRecordGetInteger(rec, 1), -42);
    for (const char* notNumber : {" 42", "42 ", "0x42", "4.2", "-"}) {
        MsiRecordSetStringA(rec, 1, notNumber);
        EXPECT_EQ(MsiRecordGetInteger(rec, 1), static_cast<int>(MSI_NULL_INTEGER)) << notNumber;
    }
    MsiRecordSetStringA(rec, 1, "4294967297");
    EXPECT_EQ(MsiRecordGetInteger(rec, 1), 1); // wraps to 32 bits
    MsiRecordSetInteger(rec, 2, -7);
    char buf[8];
    DWORD cch = sizeof buf;
    EXPECT_EQ(MsiRecordGetStringA(rec, 2, buf, &cch), 0u);
    EXPECT_STREQ(buf, "-7");
    EXPECT_EQ(MsiRecordDataSize(rec, 2), 4u);
    MsiRecordSetInteger(rec, 2, static_cast<int>(MSI_NULL_INTEGER));
    EXPECT_TRUE(MsiRecordIsNull(rec, 2));
    MsiRecordSetStringA(rec, 2, "");
    EXPECT_TRUE(MsiRecordIsNull(rec, 2));

    // Records report plain character counts, also when the value does not fit.
    MsiRecordSetStringA(rec, 1, "hello");
    cch = 4;
    EXPECT_EQ(MsiRecordGetStringA(rec, 1, buf, &cch), static_cast<UINT>(ERROR_MORE_DATA));
    EXPECT_STREQ(buf, "hel");
    EXPECT_EQ(cch, 5u);

    EXPECT_EQ(MsiRecordClearData(rec), 0u);
    EXPECT_TRUE(MsiRecordIsNull(rec, 1));
    EXPECT_EQ(MsiCloseHandle(rec), 0u);

    EXPECT_EQ(MsiCreateRecord(65536), 0u);
    EXPECT_EQ(MsiRecordGetFieldCount(rec), static_cast<UINT>(-1));
    EXPECT_EQ(MsiRecordGetInteger(rec, 0), static_cast<int>(MSI_NULL_INTEGER));
    EXPECT_EQ(MsiRecordSetInteger(rec, 0, 1), static_cast<UINT>(ERROR_INVALID_HANDLE));
}

TEST_F(MsiSession, StreamFieldReadsInChunksFromASimulatedFile) {
    std::string bytes;
    for (int i = 0; i < 600; ++i)
        bytes += static_cast<char>(i & 0xFF);
    winsim::fs::WriteFile("C:\\Temp\\blob.bin", bytes);
    MSIHANDLE rec = MsiCreateRecord(2);
    EXPECT_EQ(MsiRecordSetStreamA(rec, 0, "C:\\Temp\\blob.bin"), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MsiRecordSetStreamA(rec, 2, "C:\\Temp\\absent.bin"), static_cast<UINT>(ERROR_FUNCTION_FAILED));
    ASSERT_EQ(MsiRecordSetStreamA(rec, 2, "C:\\Temp\\blob.bin"), 0u);

    std::string read;
    char chunk[256];
    DWORD n = 0;
    do {
        n = sizeof chunk;
        ASSERT_EQ(MsiRecordReadStream(rec, 2, chunk, &n), 0u);
        read.append(chunk, n);
    } while (n == sizeof chunk);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(n, 600u - 512u);

    DWORD left = 0;
    EXPECT_EQ(MsiRecordSetStreamA(rec, 2, nullptr), 0u); // rewinds
    EXPECT_EQ(MsiRecordReadStream(rec, 2, nullptr, &left), 0u);
    EXPECT_EQ(left, 600u);
    EXPECT_EQ(MsiRecordReadStream(rec, 2, chunk, nullptr), static_cast<UINT>(ERROR_INVALID_PARAMETER));
    n = sizeof chunk;
    EXPECT_EQ(MsiRecordReadStream(rec, 1, chunk, &n), static_cast<UINT>(ERROR_INVALID_DATATYPE));
    DWORD cch = sizeof chunk;
    EXPECT_EQ(MsiRecordGetStringA(rec, 2, chunk, &cch), static_cast<UINT>(ERROR_INVALID_DATATYPE));
    MsiCloseHandle(rec);
}

TEST_F(MsiSession, HandlesAreCountedUntilClosed) {
    MSIHANDLE a = MsiCreateRecord(1);
    MSIHANDLE b = MsiCreateRecord(1);
    MSIHANDLE db = MsiGetActiveDatabase(h);
    EXPECT_NE(db, 0u);
    EXPECT_EQ(msi::LeakedHandles(), 3);
    EXPECT_EQ(MsiCloseHandle(a), 0u);
    EXPECT_EQ(MsiCloseHandle(a), static_cast<UINT>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(MsiCloseHandle(0), 0u);
    EXPECT_EQ(MsiCloseHandle(h), 0u); // the engine's session stays usable
    EXPECT_EQ(MsiSetPropertyA(h, "P", "1"), 0u);
    EXPECT_EQ(msi::LeakedHandles(), 2);
    EXPECT_EQ(MsiCloseAllHandles(), 2u);
    EXPECT_EQ(MsiRecordSetInteger(b, 1, 1), static_cast<UINT>(ERROR_INVALID_HANDLE));
}

TEST_F(MsiSession, InjectedFaultsReturnTheChosenValue) {
    msi::SetProperty("Keep", "k");
    msi::SetProperty("Fails", "f");
    winsim::FailCall("MsiGetPropertyA", ERROR_FUNCTION_FAILED, 0, "fail");
    std::string value;
    DWORD length = 0;
    EXPECT_EQ(Get("Keep", 32, &value, &length), 0u);
    EXPECT_EQ(Get("Fails", 32, &value, &length), static_cast<UINT>(ERROR_FUNCTION_FAILED));

    winsim::FailCall("MsiCreateRecord", ERROR_OUTOFMEMORY, 2);
    MSIHANDLE first = MsiCreateRecord(1);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(MsiCreateRecord(1), 0u);
    MsiCloseHandle(first);

    winsim::FailCall("MsiGetMode", 1);
    msi::SetMode(MSIRUNMODE_ADMIN, true);
    EXPECT_FALSE(MsiGetMode(h, MSIRUNMODE_ADMIN));
    EXPECT_GE(winsim::CallCount("MsiGetPropertyA"), 2);
}

TEST_F(MsiSession, ResolveSourceSetsSourceDirOnceAndHandlersDecide) {
    msi::SetProperty("OriginalDatabase", "D:\\Setup\\HX.msi");
    EXPECT_EQ(MsiDoActionA(h, "ResolveSource"), 0u);
    EXPECT_EQ(msi::Property("SourceDir").value_or(""), "D:\\Setup\\");
    msi::SetProperty("OriginalDatabase", "E:\\Other\\HX.msi");
    EXPECT_EQ(MsiDoActionA(h, "ResolveSource"), 0u);
    EXPECT_EQ(msi::Property("SourceDir").value_or(""), "D:\\Setup\\");

    msi::OnDoAction("ResolveSource", [] { return static_cast<UINT>(ERROR_INSTALL_SOURCE_ABSENT); });
    msi::OnDoAction("Custom", [this] { return MsiSetPropertyA(h, "FromHandler", "1"); });
    EXPECT_EQ(MsiDoActionA(h, "ResolveSource"), static_cast<UINT>(ERROR_INSTALL_SOURCE_ABSENT));
    EXPECT_EQ(MsiDoActionA(h, "Custom"), 0u);
    EXPECT_EQ(msi::Property("FromHandler").value_or(""), "1");
    EXPECT_EQ(MsiDoActionA(h, "Unknown"), 0u);
    EXPECT_EQ(msi::ActionsDone(), (std::vector<std::string>{"ResolveSource", "ResolveSource", "ResolveSource",
                                                            "Custom", "Unknown"}));
}

TEST_F(MsiSession, FeatureAndComponentStates) {
    msi::AddFeature("Server", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL);
    msi::AddComponent("Base_base_Instance1", INSTALLSTATE_UNKNOWN, INSTALLSTATE_LOCAL);
    INSTALLSTATE installed = INSTALLSTATE_UNKNOWN, action = INSTALLSTATE_UNKNOWN;
    EXPECT_EQ(MsiGetFeatureStateA(h, "Server", &installed, &action), 0u);
    EXPECT_EQ(installed, INSTALLSTATE_ABSENT);
    EXPECT_EQ(action, INSTALLSTATE_LOCAL);
    EXPECT_EQ(MsiGetFeatureStateA(h, "server", &installed, &action),
              static_cast<UINT>(ERROR_UNKNOWN_FEATURE));
    EXPECT_EQ(MsiGetFeatureStateA(h, nullptr, &installed, &action), static_cast<UINT>(ERROR_UNKNOWN_FEATURE));
    EXPECT_EQ(MsiGetFeatureStateA(h, "Server", nullptr, &action), static_cast<UINT>(RPC_X_NULL_REF_POINTER));

    EXPECT_EQ(MsiSetFeatureStateA(h, "Server", INSTALLSTATE_ABSENT), 0u);
    EXPECT_EQ(msi::Feature("Server")->second, INSTALLSTATE_ABSENT);
    EXPECT_EQ(MsiSetFeatureStateA(h, "Client", INSTALLSTATE_LOCAL), static_cast<UINT>(ERROR_UNKNOWN_FEATURE));

    EXPECT_EQ(MsiGetComponentStateA(h, "Base_base_Instance1", &installed, &action), 0u);
    EXPECT_EQ(installed, INSTALLSTATE_UNKNOWN);
    EXPECT_EQ(action, INSTALLSTATE_LOCAL);
    EXPECT_EQ(MsiGetComponentStateA(h, "Other", &installed, &action),
              static_cast<UINT>(ERROR_UNKNOWN_COMPONENT));

    EXPECT_EQ(MsiSetInstallLevel(h, 100), 0u);
    EXPECT_EQ(msi::InstallLevel(), 100);
    EXPECT_EQ(msi::Property("INSTALLLEVEL").value_or(""), "100");

    winsim::FailCall("MsiSetInstallLevel", ERROR_FUNCTION_FAILED, 1);
    EXPECT_EQ(MsiSetInstallLevel(h, 0), static_cast<UINT>(ERROR_FUNCTION_FAILED));
    EXPECT_EQ(msi::InstallLevel(), 100);

    msi::EnterDeferred("iwiD");
    EXPECT_EQ(MsiGetFeatureStateA(h, "Server", &installed, &action), static_cast<UINT>(ERROR_INVALID_HANDLE));
    msi::LeaveDeferred();
}

TEST_F(MsiSession, DefineFeaturesGivesTableRowsAndStatesTogether) {
    msi::AddRow("Feature", {msi::Field::str("Stale")}); // no table yet: nothing
    msi::DefineFeatures({{"Server", INSTALLSTATE_LOCAL, INSTALLSTATE_UNKNOWN},
                         {"Web", INSTALLSTATE_ABSENT, INSTALLSTATE_LOCAL, "JavaMsg"}});
    std::vector<msi::Row> rows = msi::Rows("Feature");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].fields[0].s, "Server");
    EXPECT_EQ(rows[0].fields[1].kind, msi::Field::Null);
    EXPECT_EQ(rows[1].fields[0].s, "Web");
    EXPECT_EQ(rows[1].fields[1].s, "JavaMsg");
    INSTALLSTATE installed = INSTALLSTATE_UNKNOWN, action = INSTALLSTATE_UNKNOWN;
    ASSERT_EQ(MsiGetFeatureStateA(h, "Web", &installed, &action), 0u);
    EXPECT_EQ(installed, INSTALLSTATE_ABSENT);
    EXPECT_EQ(action, INSTALLSTATE_LOCAL);

    // Defined again, the table holds only the new rows.
    msi::DefineFeatures({{"Client"}});
    ASSERT_EQ(msi::Rows("Feature").size(), 1u);
    EXPECT_EQ(msi::Feature("Client"), std::make_pair(int(INSTALLSTATE_ABSENT), int(INSTALLSTATE_UNKNOWN)));
}

} // namespace
