// The fixture's helpers, compiled once rather than in every test file.
#include "zebtest.h"

#include <fstream>
#include <regex>
#include <sstream>

const std::string kBanner1 = "=============|||| Error, failure, problem, warning ||||=============";
const std::string kBanner2 =
    std::string(13, ' ') + "vvvv" + std::string(34, ' ') + "vvvv" + std::string(13, ' ');

const char kCode1[] = "{11111111-1111-1111-1111-111111111111}";
const char kCode2[] = "{22222222-2222-2222-2222-222222222222}";
const char kCode3[] = "{33333333-3333-3333-3333-333333333333}";
const char kOldCode[] = "{00000000-0000-0000-0000-000000000007}";

namespace {

const char kValueListPath[] = "C:\\Temp\\zebp0001.txt";
const char kDeferredAction[] = "ZebTestDeferred";

} // namespace

void ZebTest::SetUp() {
    winsim::Reset();
    winsim::fs::MakeDirs("C:\\Temp");
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    h = winsim::msi::SessionHandle();
    FrameSetSession(h);
}

void ZebTest::TearDown() {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    EXPECT_EQ(winsim::msi::LeakedHandles(), 0);
    EXPECT_EQ(winsim::OpenHandleCount(), 0);
    EXPECT_EQ(winsim::reg::OpenKeyHandles(), 0);
    // A wait without limit that nothing could end would hang Windows.
    for (const winsim::Event& e : winsim::Events())
        EXPECT_NE(e.kind, "deadlock") << e.text;
}

std::vector<std::string> ZebTest::Lines() {
    return winsim::msi::LogLines();
}

std::vector<std::string> ZebTest::Texts() {
    static const std::regex prefix(R"(^\d\d:\d\d:\d\d HXCA \S+(?: \S+)*? info: )");
    std::vector<std::string> out;
    for (const std::string& line : Lines()) {
        std::smatch m;
        out.push_back(std::regex_search(line, m, prefix) ? m.suffix().str() : line);
    }
    return out;
}

bool ZebTest::HasText(const std::string& text) {
    return IndexOf(text) >= 0;
}

bool ZebTest::HasTextContaining(const std::string& part) {
    for (const std::string& t : Texts())
        if (t.find(part) != std::string::npos)
            return true;
    return false;
}

bool ZebTest::HasTextMatching(const std::string& regex) {
    const std::regex re(regex);
    for (const std::string& t : Texts())
        if (std::regex_search(t, re))
            return true;
    return false;
}

int ZebTest::IndexOf(const std::string& text) {
    std::vector<std::string> texts = Texts();
    for (size_t i = 0; i < texts.size(); i++)
        if (texts[i] == text)
            return (int)i;
    return -1;
}

::testing::AssertionResult ZebTest::TextsInOrder(const std::vector<std::string>& texts) {
    const std::vector<std::string> traced = Texts();
    size_t from = 0;
    for (const std::string& text : texts) {
        size_t i = from;
        while (i < traced.size() && traced[i] != text)
            i++;
        if (i == traced.size()) {
            ::testing::AssertionResult result = ::testing::AssertionFailure();
            result << "'" << text << "' is not traced"
                   << (from > 0 ? " after '" + traced[from - 1] + "'" : "") << "; the trace:";
            for (const std::string& t : traced)
                result << "\n  " << t;
            return result;
        }
        from = i + 1;
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> ZebTest::MessageBoxes() {
    std::vector<std::string> out;
    for (const winsim::Event& e : winsim::Events())
        if (e.kind == "messagebox")
            out.push_back(e.text);
    return out;
}

std::string ZebTest::Prop(const char* name) {
    return winsim::msi::Property(name).value_or("");
}

std::vector<std::string> ZebTest::Props(std::initializer_list<const char*> names) {
    std::vector<std::string> out;
    for (const char* name : names)
        out.push_back(Prop(name));
    return out;
}

void ZebTest::SetProps(std::initializer_list<std::pair<const char*, std::string>> props) {
    for (const auto& [name, value] : props)
        winsim::msi::SetProperty(name, value);
}

std::string ZebTest::File(const std::string& path) {
    return winsim::fs::ReadFile(path).value_or("<absent>");
}

void ZebTest::Tables(const std::string& idtText) {
    std::string error;
    if (!winsim::msi::ImportIdt(idtText, "", &error))
        ADD_FAILURE() << "bad .idt text: " << error;
}

void ZebTest::Registry(const std::string& regText) {
    std::string error;
    if (!winsim::reg::Import(regText, &error))
        ADD_FAILURE() << "bad .reg text: " << error;
}

void ZebTest::AddInstallation(const hxrecord::Installation& record) {
    Registry(hxrecord::RegFile(hxrecord::Keys(record)));
    for (const hxrecord::Maintenance& m : record.maintenance)
        if (m.valid)
            winsim::fs::WriteFile(m.folder + "\\Valid.csd", "");
}

hxrecord::Installation ZebTest::Inst(const std::string& name, const std::string& id, const char* code,
                                     const std::string& folder, bool view32) {
    return {.name = name,
            .description = name + " description",
            .identifier = id,
            .vrmf = "9.4.0.0",
            .productCode = code,
            .folder = folder,
            .view32 = view32};
}

void ZebTest::AddOldRecord(const hxrecord::OldRecord& record) {
    Registry(hxrecord::RegFile(hxrecord::Keys(record)));
}

void ZebTest::SaveLastInstall(const std::string& dataFolder, const hxrecord::Installation& record) {
    Registry(hxrecord::RegFile(hxrecord::WorkPath(dataFolder)));
    winsim::fs::WriteFile(dataFolder + "\\Config\\LastInstall.reg", hxrecord::LastInstall(record));
}

namespace {

void AppendFile(const std::string& path, const std::string& text, const std::string& header = "") {
    std::optional<std::string> old = winsim::fs::ReadFile(path);
    winsim::fs::WriteFile(path, (old ? *old : header) + text);
}

void AddQmText(QmSource source, const std::string& dataFolder, const std::string& iniText,
               const std::string& configRegText, const std::string& registryKeys) {
    switch (source) {
    case QmSource::Registry: {
        std::string error;
        if (!winsim::reg::Import(hxrecord::RegFile(registryKeys), &error))
            ADD_FAILURE() << "bad .reg text: " << error;
        break;
    }
    case QmSource::Ini:
        AppendFile(dataFolder + "\\hxs.ini", iniText);
        break;
    case QmSource::ConfigReg:
        AppendFile(dataFolder + "\\config\\Config.reg", configRegText, "REGEDIT4\r\n\r\n");
        break;
    }
}

} // namespace

void ZebTest::AddQueueManager(const hxrecord::QueueManager& qm, QmSource source,
                              const std::string& dataFolder) {
    AddQmText(source, dataFolder, hxrecord::IniStanza(qm), hxrecord::ConfigReg(qm), hxrecord::Keys(qm));
    std::string folder = qm.prefix ? *qm.prefix + "\\qmgrs\\" + qm.directory.value_or(qm.name) : "";
    if (!folder.empty())
        winsim::fs::MakeDirs(folder);
    if (!qm.logPath)
        return;
    winsim::fs::MakeDirs(*qm.logPath);
    if (source == QmSource::Registry && qm.dataPath)
        winsim::fs::WriteFile(*qm.dataPath + "\\QM.INI", hxrecord::QmIni(*qm.logPath));
    else if (source != QmSource::Registry && !folder.empty())
        winsim::fs::WriteFile(folder + "\\QM.INI", hxrecord::QmIni(*qm.logPath));
}

void ZebTest::AddQmDefaults(const hxrecord::QmDefaults& defaults, QmSource source,
                            const std::string& dataFolder) {
    AddQmText(source, dataFolder, hxrecord::IniStanza(defaults), hxrecord::ConfigReg(defaults),
              hxrecord::Keys(defaults));
}

std::string ZebTest::BuiltLanguageLibrary() {
    std::ifstream in(ZEB_LANGUAGE_LIBRARY, std::ios::binary);
    if (!in)
        ADD_FAILURE() << "the build made no language library at " << ZEB_LANGUAGE_LIBRARY;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void ZebTest::UnpackLanguageLibrary(const std::string& bytes) {
    winsim::msi::DefineStandardTable("Binary");
    winsim::msi::AddRow("Binary",
                        {winsim::msi::Field::str("zebircan.dll"), winsim::msi::Field::stream(bytes)});
    for (const winsim::msi::Row& row : winsim::msi::Rows("Binary"))
        if (row.fields[0].s == "zebircan.dll")
            winsim::fs::WriteFile("C:\\Temp\\zebl0001.dll", row.fields[1].s);
    winsim::msi::SetProperty("ZEBTEMP", "C:\\Temp");
    winsim::msi::SetProperty("ZEBTEMPFILENUM", "0001");
    winsim::msi::SetProperty("ZEBLANGDLLCREATED", "1");
}

std::map<unsigned, std::string> ZebTest::TableStrings(const std::string& module) {
    std::ifstream in(ZEB_STRING_TABLE);
    if (!in)
        ADD_FAILURE() << "no string table at " << ZEB_STRING_TABLE;
    std::map<unsigned, std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(module + " ", 0) != 0)
            continue;
        size_t idEnd = line.find(' ', module.size() + 1);
        unsigned id = (unsigned)std::stoul(line.substr(module.size() + 1, idEnd - module.size() - 1));
        std::string text;
        for (size_t i = idEnd + 1; i < line.size(); i++) {
            char c = line[i];
            if (c == '\\' && i + 1 < line.size()) {
                c = line[++i];
                c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
            }
            text += c;
        }
        out[id] = text;
    }
    return out;
}

void ZebTest::Reload(bool emptyLog) {
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    FrameSetSession(h);
    if (emptyLog)
        winsim::msi::ClearMessages();
}

UINT ZebTest::RunDeferred(ZebActionProc action, const std::string& valueList, int mode) {
    winsim::fs::WriteFile(kValueListPath, valueList);
    winsim::msi::SetProperty(kDeferredAction, kValueListPath);
    winsim::msi::EnterDeferred(kDeferredAction, mode);
    UINT uiRc = action(h);
    winsim::msi::LeaveDeferred();
    return uiRc;
}

UINT ZebTest::RunRollbackAsWine(ZebActionProc action, const std::string& valueList) {
    winsim::fs::WriteFile(kValueListPath, valueList);
    winsim::msi::SetProperty(kDeferredAction, kValueListPath);
    winsim::msi::EnterDeferred(kDeferredAction, MSIRUNMODE_ROLLBACK);
    winsim::msi::SetMode(MSIRUNMODE_SCHEDULED, true);
    UINT uiRc = action(h);
    winsim::msi::LeaveDeferred();
    return uiRc;
}

std::string ZebTest::Read(const char* name, DWORD cch) {
    std::vector<char> buf(cch);
    GetPropertyValue(h, "TestFn", name, buf.data(), cch, &stat);
    return buf.data();
}

std::vector<std::string> ZebTest::TempRows(const std::string& table) {
    std::vector<std::string> out;
    for (const winsim::msi::Row& row : winsim::msi::Rows(table)) {
        if (!row.temporary)
            continue;
        std::string text;
        for (size_t i = 0; i < row.fields.size(); i++) {
            const winsim::msi::Field& f = row.fields[i];
            text += (i ? " | " : "") + (f.kind == winsim::msi::Field::Int ? std::to_string(f.i) : f.s);
        }
        out.push_back(text);
    }
    return out;
}

std::vector<std::string> ZebTest::ListBox(const std::string& property) {
    std::vector<std::string> out;
    for (const winsim::msi::Row& row : winsim::msi::Rows("ListBox"))
        if (row.fields[0].s == property)
            out.push_back(row.fields[3].s);
    return out;
}
