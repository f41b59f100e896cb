// State of the simulated installer shared by the msi*.cpp files: the session, its handles, the
// package database and the machine-wide product registrations.
#pragma once

#include "internal.h"
#include "winsim/sim_msi.h"

#include <msidefs.h>
#include <msiquery.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace winsim::msi::impl {

// A record: fields 0..count, each with a read position for streams. A record fetched from a view
// remembers the row it came from, so MSIMODIFY_DELETE can find it.
struct Record {
    std::vector<Field> fields;
    std::vector<size_t> readPos;
    std::string table;
    uint64_t rowId = 0;

    explicit Record(size_t count = 0) : fields(count + 1), readPos(count + 1, 0) {}
    size_t Count() const { return fields.size() - 1; }
};

struct StoredRow {
    uint64_t id = 0;
    std::vector<Field> fields; // one per column
    bool temporary = false;
};

// Rows are kept in the order of their ids (every new row is appended with the next id), so a
// row is found by binary search and a view walks the table without copying it.
struct Table {
    std::string name;
    std::vector<Column> columns;
    std::vector<size_t> keys; // column indexes
    std::vector<StoredRow> rows;
    std::unordered_set<std::string> keyIndex; // the primary key of every row, encoded
};

// "WHERE `Col` = value" terms of a view; a parameter term takes its value from the record given
// to MsiViewExecute.
struct Condition {
    size_t column = 0;
    bool parameter = false;
    Field value;
};

// The result set of an executed view is the rows that existed at execute: those with an id
// below `limit`. Rows added later, also rows deleted and inserted again, are not in it.
struct View {
    std::string table;
    std::string query;
    std::vector<Condition> where;
    std::vector<Field> params;
    bool executed = false;
    uint64_t limit = 0;  // first row id not in the result set
    uint64_t lastId = 0; // the row fetched last
    size_t pos = 0;      // Wine-like views: rows of the key order passed so far
};

struct SummaryValue {
    UINT type = VT_EMPTY;
    std::string text;
    int number = 0;
    FILETIME time{};
};

struct Product {
    std::string code;
    std::string upgradeCode;
    int state = INSTALLSTATE_DEFAULT;
    std::map<std::string, std::string> info;
    std::map<std::string, int> features;
};

struct ComponentRegistration {
    std::string product;
    std::string component;
    int state = INSTALLSTATE_LOCAL;
    std::string path;
};

// Features or components of the session by name, each with its installed and action states.
using StateList = std::vector<std::pair<std::string, std::pair<int, int>>>;

struct ScriptedReply {
    int type = 0;
    int remaining = 0;
    int reply = 0;
};

enum class Kind { Record, View, Database, Summary };

struct Handle {
    Kind kind = Kind::Record;
    std::shared_ptr<Record> record;
    std::shared_ptr<View> view;
};

struct State {
    // Session.
    unsigned long session = 1;
    std::map<std::string, std::string> properties; // names are case-sensitive
    std::array<bool, 19> modes{};
    bool deferred = false;
    int deferredMode = 0;
    std::string customActionData;
    std::vector<Message> messages;
    std::vector<ScriptedReply> replies;
    StateList features;
    StateList components;
    int installLevel = 0;
    bool wineViews = false;
    std::map<std::string, std::function<UINT()>> actionHandlers;
    std::vector<std::string> actionsDone;

    // Package database.
    std::vector<Table> tables;
    uint64_t nextRowId = 1;
    std::map<unsigned, SummaryValue> summary;
    std::shared_ptr<Record> lastError;

    // Machine-wide installer data.
    std::vector<Product> products;
    std::vector<ComponentRegistration> componentRegistrations;
    // Lookups that keep a machine of many components quick: a registration by its product and
    // component (lower case, "product|component"), and every component code once, as first
    // registered, in that order.
    std::unordered_map<std::string, size_t> registrationIndex;
    std::vector<std::string> distinctComponents;
    std::unordered_set<std::string> distinctIndex; // lower case

    // Handles.
    std::map<unsigned long, Handle> handles;
    unsigned long nextHandle = 2;
};

State& S();

// Handle table. Database and summary handles carry no state of their own.
unsigned long NewHandle(std::shared_ptr<Record> record);
unsigned long NewHandle(std::shared_ptr<View> view);
unsigned long NewHandle(Kind kind);
Handle* Find(unsigned long h, Kind kind);
std::shared_ptr<Record> FindRecord(unsigned long h);
bool IsSession(unsigned long h);

// An injected fault for this call, already set as the thread's last error.
std::optional<DWORD> Fault(const char* function, const char* arg = nullptr);

// The head of the calls on a handle that answer an error code: under the machine lock, after an
// injected fault, `use` gets the handle if it is one of this kind.
template <class Fn>
UINT WithHandle(const char* function, const char* arg, unsigned long handle, Kind kind, Fn use) {
    winsim::detail::Guard g(winsim::detail::MachineLock());
    if (auto e = Fault(function, arg))
        return *e;
    Handle* h = Find(handle, kind);
    if (!h)
        return ERROR_INVALID_HANDLE;
    return use(*h);
}

// Copies a value out the way the installer's "A" functions do: a NULL buffer asks for the
// length; a value whose length reaches the capacity gives ERROR_MORE_DATA with as much as fits.
// Session calls through the custom-action server report needed lengths in bytes of the wide
// value (wideBytes).
UINT CopyValue(const std::string& value, char* buffer, DWORD* pcch, bool wideBytes);

// Field text as MsiRecordGetStringA gives it (integers in decimal, null as "").
std::string FieldText(const Field& f);
// The record formatted as MsiFormatRecordA does; session properties are looked up only when
// withSession is true (and then as the deferred context allows).
std::string FormatRecord(const Record& rec, bool withSession);

// Database helpers.
Table* FindTable(const std::string& name);
void SetLastErrorRecord(std::shared_ptr<Record> rec);

// Properties as the session answers them (deferred restrictions applied).
std::optional<std::string> SessionProperty(const std::string& name);

// The engine's registry and removal steps (msi_engine.cpp), run under the machine lock.
UINT RunWriteRegistryValues();
UINT RunRemoveRegistryValues();
UINT RunRemoveFiles();

} // namespace winsim::msi::impl
