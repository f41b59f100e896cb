// Simulated installer session and machine-wide installer data.
//
// The session behaves as the engine does towards a DLL custom action running in its custom-action
// server: "A" functions that go through the session (MsiGetPropertyA, MsiFormatRecordA with a
// session, MsiSummaryInfoGetPropertyA of the active database) report the length they need in
// bytes of the wide value, i.e. twice the character count, when they answer ERROR_MORE_DATA or a
// size query; on success they report the characters copied. A fault injected with FailCall makes
// a function return the fault's value: its error code, or for functions that return a state
// (MsiQueryProductStateA, MsiGetComponentPathA...) the value as that state, or 0 for those that
// return a handle, MSI_NULL_INTEGER for MsiRecordGetInteger, FALSE for MsiGetMode, -1 for
// MsiProcessMessage.
#pragma once

#include "winsim/wintypes.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace winsim::msi {

// The handle an action receives. Reset() opens a fresh session; handles of records, views,
// databases and summary information that the library leaves open are counted (LeakedHandles)
// so tests can catch them.
unsigned long SessionHandle();
int LeakedHandles();

// Properties. An absent property reads as "" (MsiGetPropertyA: 0 with length 0).
void SetProperty(const std::string& name, const std::string& value);
void RemoveProperty(const std::string& name);
std::optional<std::string> Property(const std::string& name);
std::map<std::string, std::string> Properties();

// Run modes (MSIRUNMODE values 0..18).
void SetMode(int mode, bool on);
bool Mode(int mode);
// Runs the next actions as the engine runs a deferred action of that name: mode 16, 17 or 18
// set, CustomActionData = the property named after the action when this is called, only the
// deferred-legal modes answer MsiGetMode, MsiSetPropertyA refused, MsiSetMode 6 (as Windows
// refuses it there), MsiGetPropertyA answers only
// CustomActionData, ProductCode (not in a commit action) and UserSID, no database handle.
// asLocalSystem: the engine does not impersonate, so the process token is LocalSystem's until
// LeaveDeferred, as Windows runs deferred actions marked no-impersonate.
void EnterDeferred(const std::string& actionName, int mode = 16, bool asLocalSystem = false);
void LeaveDeferred();

// Messages sent with MsiProcessMessage, in order.
struct Message {
    int type = 0;                    // INSTALLMESSAGE value (0x04000000 INFO, ...), flags masked off
    std::vector<std::string> fields; // fields[0] is field 0 (template), fields[1] field 1, ...
    std::string text;                // the record as the engine formats it into its log
};
const std::vector<Message>& Messages();
// The lines the library wrote to the installer log: for each INFO message, its template
// formatted, or without a template its fields (the engine's own log shows a record without a
// template as "1: <field 1> ", which is kept in Message::text).
std::vector<std::string> LogLines();
void ClearMessages();
// Reply for the nth (1-based, from now) message of a type (0 = any type). Without a scripted
// reply the session answers as the engine does with no user interface: IDOK (1) for INFO, 0 for
// the others.
void ReplyTo(int type, int nth, int reply);

// Package database.
struct Field {
    enum Kind { Null, Int, Str, Stream } kind = Null;
    int i = 0;
    std::string s; // string or stream bytes
    static Field null() { return {}; }
    static Field integer(int v) { return {Int, v, {}}; }
    static Field str(std::string v) { return {Str, 0, std::move(v)}; }
    static Field stream(std::string bytes) { return {Stream, 0, std::move(bytes)}; }
};
struct Row {
    std::vector<Field> fields; // field 1 is fields[0]
    bool temporary = false;
};
// Columns as in .idt files: "Name" and type code ("s72", "i2", "L0", "v0" for streams...). A
// lower-case type letter marks a column that must not be null.
struct Column {
    std::string name;
    std::string type;
};
// Defines (or redefines, emptying) a table. Primary keys are named columns; none given means
// the first column.
void DefineTable(const std::string& table, const std::vector<Column>& columns,
                 const std::vector<std::string>& keys = {});
// Defines one of the standard tables the library uses with its standard columns and keys:
// Binary, Component, CustomAction, Feature, ListBox, Media, Property, Registry, RemoveFile,
// RemoveRegistry, Shortcut, UIText. False for other names.
bool DefineStandardTable(const std::string& table);
void DropTable(const std::string& table);
// Adds a persistent row; integer columns take Int fields (a Str holding a number is converted),
// text columns take Str fields (an Int is written in decimal).
void AddRow(const std::string& table, const std::vector<Field>& fields);
bool HasTable(const std::string& table);
std::vector<Row> Rows(const std::string& table); // persistent and temporary, in table order
std::vector<Column> Columns(const std::string& table);
std::vector<std::string> PrimaryKeys(const std::string& table);
std::vector<std::string> Tables();
// Loads one table from .idt text (tab-separated: names, types, "Table<TAB>keys", rows; the
// escapes \x11 CR, \x19 LF and \x15 TAB in values); stream columns name files under streamDir,
// a folder of the host, or of the simulated machine when it starts with a drive or "\\". The
// _SummaryInformation table sets the summary information. Returns false with a message on bad
// input.
bool ImportIdt(const std::string& idtText, const std::string& streamDir = "", std::string* error = nullptr);

// Views as Wine's engine walks them, for this session: a fetch reads the live table in key order
// from the cursor's place; MSIMODIFY_DELETE moves the cursor back one row with the rows after the
// deleted one; a row inserted (MSIMODIFY_INSERT_TEMPORARY) takes its key's place, where the cursor
// may reach it again. Each fetch orders the table anew. Off by default: the result set is the
// rows that existed at MsiViewExecute, as Windows gives it.
void SetWineViews(bool on);

// Features and components of the package: installed and action states (INSTALLSTATE values).
void AddFeature(const std::string& feature, int installed = 2, int action = -1);
std::optional<std::pair<int, int>> Feature(const std::string& feature);
void AddComponent(const std::string& component, int installed = 2, int action = -1);
std::optional<std::pair<int, int>> Component(const std::string& component);
// The package's Feature table and the session's feature states in one call: the standard Feature
// table defined anew with one row per feature, in order (its parent, the name as title, display
// and level 1), each feature added with its installed and action states.
struct FeatureSpec {
    std::string name;
    int installed = 2; // INSTALLSTATE_ABSENT
    int action = -1;   // INSTALLSTATE_UNKNOWN
    std::string parent = "";
};
void DefineFeatures(const std::vector<FeatureSpec>& features);
int InstallLevel(); // last level set by MsiSetInstallLevel (0 when never); also sets INSTALLLEVEL

// Machine-wide installer data: products, their states, info, features and components. Products
// are enumerated by upgrade code in the order they were added; a name given here is the
// product's "ProductName" and "InstalledProductName".
void AddProduct(const std::string& productCode, const std::string& upgradeCode, int state = 5,
                const std::string& name = "");
void SetProductInfo(const std::string& productCode, const std::string& property, const std::string& value);
void SetProductFeature(const std::string& productCode, const std::string& feature, int state);
void SetProductComponent(const std::string& productCode, const std::string& componentCode, int state,
                         const std::string& path);

// Summary information of the running package (pid 9 text, pid 12 FILETIME, pid 14 integer...).
void SetSummaryString(unsigned pid, const std::string& value);
void SetSummaryTime(unsigned pid, FILETIME value);
void SetSummaryInt(unsigned pid, int value);
void ClearSummary(unsigned pid);

// Standard actions run by MsiDoActionA: a handler returns the action's result. Without one,
// "ResolveSource" sets SourceDir and SOURCEDIR (when SourceDir is not set) to the folder of
// OriginalDatabase with a trailing backslash ("C:\" without one) and returns 0;
// "WriteRegistryValues" writes the Registry rows (RunWriteRegistryValues), "RemoveRegistryValues"
// and "RemoveFiles" carry out the removal rows (RunRemovalSteps); other names return 0.
void OnDoAction(const std::string& action, std::function<UINT()> handler);
std::vector<std::string> ActionsDone();

// The engine's removal steps, in the order of the standard sequence, acting at once:
// RemoveRegistryValues: RemoveRegistry rows of components being installed (action state local
// or source; Name "-" removes the key with all it holds, another name that value), then Registry
// rows of components being removed (action state absent; "-" and "*" without a Value remove the
// key, "+" nothing, another name its value and then the key and its parents as far as that
// leaves them empty). Root 0-3 as HKCR, HKCU, HKLM, HKU; -1 HKLM when
// ALLUSERS is "1", else HKCU; a key below SOFTWARE\Wow6432Node is the 32-bit view's.
// RemoveFiles: rows whose InstallMode (1 install, 2 removal, 3 both) meets their component's
// action state; the folder is the value of the property DirProperty names, read now. FileName
// matches files of that folder with * and ? (long or short name; "short|long" uses the long
// one); a row without FileName removes its folder when it is empty at that moment. Rows are taken
// in row order, file and folder rows alike, as Wine's engine takes them: a folder row before the
// rows that empty the folder leaves it. Files held open by another process stay. Components are
// those of AddComponent.
void RunRemovalSteps();
// WriteRegistryValues, acting at once: Registry rows of components being installed (action state
// local or source), Key, Name and Value formatted. A Value "#123" is a REG_DWORD, "#%..."
// REG_EXPAND_SZ, "#x0a1b" REG_BINARY, "##..." a REG_SZ starting with "#", one holding "[~]"
// REG_MULTI_SZ; Name "+" or "*" without a Value creates the key, "-" does nothing. Roots and the
// 32-bit view as for RunRemovalSteps.
void RunWriteRegistryValues();

} // namespace winsim::msi
