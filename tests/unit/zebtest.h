// Test fixture for the library: a fresh simulated machine and a freshly loaded library per test,
// with helpers to set the machine up and read the trace back.
#pragma once

#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicn.h"

#include <gtest/gtest.h>
#include <hxrecord.h>
#include <winsim/sim.h>

#include <map>
#include <string>
#include <vector>

extern const std::string kBanner1;
extern const std::string kBanner2;
// Product codes the record tests give their installations.
extern const char kCode1[], kCode2[], kCode3[], kOldCode[];

typedef UINT(__stdcall* ZebActionProc)(MSIHANDLE);

// Where a queue manager of a test machine is defined (ZebTest::AddQueueManager).
enum class QmSource { Registry, Ini, ConfigReg };

class ZebTest : public ::testing::Test {
  protected:
    void SetUp() override;
    // Unloads the library and checks that every handle was closed on the path that opened it.
    void TearDown() override;

    // Whole trace lines as the installer log received them.
    static std::vector<std::string> Lines();
    // The text of each line after the "HH:MM:SS HXCA action[(function)] info: " prefix.
    static std::vector<std::string> Texts();
    static bool HasText(const std::string& text);
    static bool HasTextContaining(const std::string& part);
    static bool HasTextMatching(const std::string& regex); // ECMAScript, searched in each text
    static int IndexOf(const std::string& text);           // first text equal to it, or -1
    // Every text is traced, each after the one before it.
    static ::testing::AssertionResult TextsInOrder(const std::vector<std::string>& texts);

    static std::vector<std::string> MessageBoxes();
    // A property's value, "" when unset; several at once; several set in order.
    static std::string Prop(const char* name);
    static std::vector<std::string> Props(std::initializer_list<const char*> names);
    static void SetProps(std::initializer_list<std::pair<const char*, std::string>> props);
    // A table's temporary rows, fields joined with " | " (a null field is empty).
    static std::vector<std::string> TempRows(const std::string& table);
    // Texts of the ListBox rows of one property, in order.
    static std::vector<std::string> ListBox(const std::string& property);
    static std::string File(const std::string& path); // "<absent>" when there is no such file

    // The machine from the formats scenarios use: one table's .idt text, a .reg file's text.
    static void Tables(const std::string& idtText);
    static void Registry(const std::string& regText);
    // Installation records (hxrecord.h), one line each: the installation with the Valid.csd file
    // of each valid maintenance level; the old single record; the data folder's saved
    // Config\LastInstall.reg with "WorkPath" (64-bit view) naming the folder.
    static void AddInstallation(const hxrecord::Installation& record);
    // A record of version 9.4.0.0 described as "<name> description".
    static hxrecord::Installation Inst(const std::string& name, const std::string& id, const char* code,
                                       const std::string& folder, bool view32 = false);
    static void AddOldRecord(const hxrecord::OldRecord& record);
    static void SaveLastInstall(const std::string& dataFolder, const hxrecord::Installation& record);
    // A queue manager, one line: its definition in the form of the source (the old levels'
    // registry, hxs.ini of the data folder, or its config\Config.reg; several calls append), its
    // data folder prefix\qmgrs\directory made when it has a prefix, its log folder made when
    // given, and for the files' forms a QM.INI naming that log folder. QmDefaults go to the same
    // source.
    static void AddQueueManager(const hxrecord::QueueManager& qm, QmSource source,
                                const std::string& dataFolder = "C:\\HXData");
    static void AddQmDefaults(const hxrecord::QmDefaults& defaults, QmSource source,
                              const std::string& dataFolder = "C:\\HXData");

    // The language library as the package's unpacking leaves it: the bytes in the Binary table as
    // "zebircan.dll", written to C:\Temp\zebl0001.dll, with ZEBTEMP, ZEBTEMPFILENUM and
    // ZEBLANGDLLCREATED set. By default the library the build made from the string table;
    // winsim::fs::MakeStringTable gives one of a test's own.
    static void UnpackLanguageLibrary(const std::string& bytes = BuiltLanguageLibrary());
    static std::string BuiltLanguageLibrary();
    // The strings of one module of the string table ("zebircan" or "zebiwicn"), escapes undone.
    static std::map<unsigned, std::string> TableStrings(const std::string& module);

    // Runs an action as the engine runs a deferred one (mode 16, 17 or 18) whose CustomActionData
    // names a value-list file holding valueList; afterwards the session is immediate again.
    UINT RunDeferred(ZebActionProc action, const std::string& valueList, int mode = MSIRUNMODE_SCHEDULED);
    // The same for a rollback action as Wine runs it: rollback and scheduled modes both set.
    UINT RunRollbackAsWine(ZebActionProc action, const std::string& valueList);

    // A fresh load of the library in the same session, as the engine loads one for each action;
    // with emptyLog the installer log is emptied too.
    void Reload(bool emptyLog = false);

    // Runs a read through the read pattern and returns the value; the status goes to stat.
    std::string Read(const char* name, DWORD cch = ZEB_CCH_PATH);

    MSIHANDLE h = 0;
    UINT stat = 0;
};
