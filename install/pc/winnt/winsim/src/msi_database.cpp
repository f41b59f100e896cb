// The running package's database as a custom action sees it: tables with persistent and
// temporary rows, "SELECT * FROM" views, the last-error record, summary information, and the
// .idt import that builds a package for tests.
#include "msi_internal.h"

#include "winsim/sim_fs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

namespace winsim::msi::impl {

Table* FindTable(const std::string& name) {
    for (Table& t : S().tables)
        if (t.name == name)
            return &t;
    return nullptr;
}

void SetLastErrorRecord(std::shared_ptr<Record> rec) {
    S().lastError = std::move(rec);
}

} // namespace winsim::msi::impl

namespace {

using namespace winsim::msi::impl;
using winsim::msi::Column;
using winsim::msi::Field;

char TypeLetter(const Column& c) {
    return c.type.empty() ? 's' : static_cast<char>(std::tolower(static_cast<unsigned char>(c.type[0])));
}
bool IsNullable(const Column& c) {
    return !c.type.empty() && std::isupper(static_cast<unsigned char>(c.type[0]));
}

bool ParseDecimal(const std::string& s, int* out) {
    if (s.empty())
        return false;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size())
        return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
        if (v > 0xFFFFFFFFLL)
            return false;
    }
    *out = static_cast<int>(s[0] == '-' ? -v : v);
    return true;
}

// A value as the column stores it: integer columns keep numbers, text columns text, stream
// columns bytes; an empty string is null.
Field Coerce(const Column& c, const Field& f) {
    switch (TypeLetter(c)) {
    case 'i': {
        if (f.kind == Field::Int)
            return f;
        int v = 0;
        if (f.kind == Field::Str && ParseDecimal(f.s, &v))
            return Field::integer(v);
        return Field::null();
    }
    case 'v':
        return f.kind == Field::Stream ? f : Field::null();
    default:
        if (f.kind == Field::Int)
            return Field::str(std::to_string(f.i));
        if (f.kind == Field::Str && !f.s.empty())
            return f;
        return Field::null();
    }
}

bool SameValue(const Field& a, const Field& b) {
    if (a.kind != b.kind)
        return false;
    if (a.kind == Field::Int)
        return a.i == b.i;
    return a.kind == Field::Null || a.s == b.s;
}

// The first row whose id is not below id.
std::vector<StoredRow>::iterator RowFrom(Table& t, uint64_t id) {
    return std::lower_bound(t.rows.begin(), t.rows.end(), id,
                            [](const StoredRow& r, uint64_t want) { return r.id < want; });
}

StoredRow* FindRow(Table& t, uint64_t id) {
    auto it = RowFrom(t, id);
    return it != t.rows.end() && it->id == id ? &*it : nullptr;
}

// The first column a row leaves empty although the column does not allow it.
std::optional<size_t> MissingValue(const Table& t, const std::vector<Field>& fields) {
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (fields[i].kind == Field::Null && !IsNullable(t.columns[i]))
            return i;
    return std::nullopt;
}

// The key columns of a row as one text: equal texts exactly when SameValue holds column by column.
std::string KeyOf(const Table& t, const std::vector<Field>& fields) {
    std::string key;
    for (size_t k : t.keys) {
        const Field& f = fields[k];
        key += static_cast<char>('0' + f.kind);
        if (f.kind == Field::Int)
            key += std::to_string(f.i);
        else if (f.kind != Field::Null)
            key += std::to_string(f.s.size()) + ':' + f.s;
        key += ';';
    }
    return key;
}

bool DuplicateKey(const Table& t, const std::vector<Field>& fields) {
    return t.keyIndex.count(KeyOf(t, fields)) != 0;
}

void EraseRow(Table& t, uint64_t id) {
    auto it = RowFrom(t, id);
    if (it == t.rows.end() || it->id != id)
        return;
    t.keyIndex.erase(KeyOf(t, it->fields));
    t.rows.erase(it);
}

// An empty table; with no key named, the first column is the key.
Table NewTable(const std::string& name, const std::vector<Column>& columns,
               const std::vector<std::string>& keys) {
    Table t;
    t.name = name;
    t.columns = columns;
    for (const std::string& k : keys)
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == k)
                t.keys.push_back(i);
    if (t.keys.empty() && !columns.empty())
        t.keys.push_back(0);
    return t;
}

// A table takes the place of any table of its name.
void Install(Table t) {
    if (Table* existing = FindTable(t.name))
        *existing = std::move(t);
    else
        S().tables.push_back(std::move(t));
}

// The summary properties held as integers; the code page is the one two-byte value.
UINT SummaryIntegerType(unsigned pid) {
    return pid == PID_CODEPAGE ? VT_I2 : VT_I4;
}

// Wine keeps a table's rows in key order: a row inserted later takes its key's place among them.
bool KeyLess(const Table& t, const StoredRow& a, const StoredRow& b) {
    for (size_t k : t.keys) {
        const Field& x = a.fields[k];
        const Field& y = b.fields[k];
        if (x.kind != y.kind)
            return x.kind < y.kind;
        if (x.kind == Field::Int && x.i != y.i)
            return x.i < y.i;
        if (x.kind != Field::Int && x.s != y.s)
            return x.s < y.s;
    }
    return a.id < b.id;
}

std::vector<const StoredRow*> KeyOrder(const Table& t) {
    std::vector<const StoredRow*> order;
    order.reserve(t.rows.size());
    for (const StoredRow& r : t.rows)
        order.push_back(&r);
    std::sort(order.begin(), order.end(),
              [&t](const StoredRow* a, const StoredRow* b) { return KeyLess(t, *a, *b); });
    return order;
}

void Append(Table& t, const std::vector<Field>& fields, bool temporary) {
    StoredRow row;
    row.id = S().nextRowId++;
    row.temporary = temporary;
    for (size_t i = 0; i < t.columns.size(); ++i)
        row.fields.push_back(Coerce(t.columns[i], i < fields.size() ? fields[i] : Field::null()));
    t.keyIndex.insert(KeyOf(t, row.fields));
    t.rows.push_back(std::move(row));
}

// ---- the SQL the library uses: SELECT * FROM t [WHERE `c` = 'v' [AND ...]] ----------------

struct Token {
    enum Kind { Word, Quoted, String, Number, Symbol, End } kind = End;
    std::string text;
};

std::vector<Token> Tokenize(const std::string& q, bool* ok) {
    std::vector<Token> out;
    size_t i = 0;
    *ok = true;
    while (i < q.size()) {
        const char c = q[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '`' || c == '\'') {
            size_t end = q.find(c, i + 1);
            if (end == std::string::npos) {
                *ok = false;
                return out;
            }
            out.push_back({c == '`' ? Token::Quoted : Token::String, q.substr(i + 1, end - i - 1)});
            i = end + 1;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '-' && i + 1 < q.size() && std::isdigit(static_cast<unsigned char>(q[i + 1])))) {
            size_t j = i + 1;
            while (j < q.size() && std::isdigit(static_cast<unsigned char>(q[j])))
                ++j;
            out.push_back({Token::Number, q.substr(i, j - i)});
            i = j;
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t j = i + 1;
            while (j < q.size() &&
                   (std::isalnum(static_cast<unsigned char>(q[j])) || q[j] == '_' || q[j] == '.'))
                ++j;
            out.push_back({Token::Word, q.substr(i, j - i)});
            i = j;
        } else if (c == '*' || c == '=' || c == '?') {
            out.push_back({Token::Symbol, std::string(1, c)});
            ++i;
        } else {
            *ok = false;
            return out;
        }
    }
    out.push_back({Token::End, ""});
    return out;
}

bool IsKeyword(const Token& t, const char* word) {
    return t.kind == Token::Word && winsim::detail::IEquals(t.text, word);
}

bool IsName(const Token& t) {
    return t.kind == Token::Quoted || t.kind == Token::Word;
}

struct ParsedQuery {
    std::string table;
    std::vector<std::pair<std::string, Token>> where; // column, value token
};

bool Parse(const std::string& query, ParsedQuery* out) {
    bool ok = false;
    std::vector<Token> t = Tokenize(query, &ok);
    if (!ok || t.size() < 5)
        return false;
    if (!IsKeyword(t[0], "SELECT") || t[1].kind != Token::Symbol || t[1].text != "*" ||
        !IsKeyword(t[2], "FROM") || !IsName(t[3]))
        return false;
    out->table = t[3].text;
    size_t i = 4;
    if (t[i].kind == Token::End)
        return true;
    if (!IsKeyword(t[i], "WHERE"))
        return false;
    ++i;
    for (;;) {
        if (!IsName(t[i]) || t[i + 1].kind != Token::Symbol || t[i + 1].text != "=")
            return false;
        const Token& value = t[i + 2];
        const bool valueOk = value.kind == Token::String || value.kind == Token::Number ||
                             (value.kind == Token::Symbol && value.text == "?");
        if (!valueOk)
            return false;
        out->where.push_back({t[i].text, value});
        i += 3;
        if (t[i].kind == Token::End)
            return true;
        if (!IsKeyword(t[i], "AND"))
            return false;
        ++i;
    }
}

bool Matches(const Table& t, const StoredRow& row, const View& v) {
    size_t param = 1;
    for (const Condition& c : v.where) {
        Field want = c.value;
        if (c.parameter)
            want = param < v.params.size() ? v.params[param++] : Field::null();
        if (!SameValue(row.fields[c.column], Coerce(t.columns[c.column], want)))
            return false;
    }
    return true;
}

std::shared_ptr<Record> RowRecord(const Table& t, const StoredRow& row) {
    auto rec = std::make_shared<Record>(t.columns.size());
    for (size_t i = 0; i < row.fields.size(); ++i)
        rec->fields[i + 1] = row.fields[i];
    rec->table = t.name;
    rec->rowId = row.id;
    return rec;
}

template <class Fn> UINT WithView(const char* function, MSIHANDLE hView, Fn use) {
    return WithHandle(function, nullptr, hView, Kind::View, [&](Handle& h) -> UINT { return use(*h.view); });
}

// ---- .idt import ------------------------------------------------------------------------------

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    for (char c : line) {
        if (c == '\t') {
            cells.push_back(cell);
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells.push_back(cell);
    return cells;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\x11')
            out += '\r';
        else if (c == '\x19')
            out += '\n';
        else if (c == '\x15')
            out += '\t';
        else
            out += c;
    }
    return out;
}

bool ValidType(const std::string& type) {
    if (type.size() < 2 || std::string("sSlLiIvV").find(type[0]) == std::string::npos)
        return false;
    return std::all_of(type.begin() + 1, type.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

bool IsSimulatedPath(const std::string& dir) {
    return (dir.size() >= 2 && dir[1] == ':') || dir.rfind("\\\\", 0) == 0;
}

std::optional<std::string> ReadStreamFile(const std::string& dir, const std::string& name) {
    if (IsSimulatedPath(dir)) {
        std::string path = dir;
        if (!path.empty() && path.back() != '\\')
            path += '\\';
        return winsim::fs::ReadFile(path + name);
    }
    std::string path = dir.empty() ? name : dir + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Summary times are written "yyyy/mm/dd hh:mm:ss".
bool ParseSummaryTime(const std::string& s, FILETIME* ft) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (std::sscanf(s.c_str(), "%d/%d/%d %d:%d:%d", &y, &mo, &d, &h, &mi, &sec) != 6)
        return false;
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(sec);
    const std::optional<uint64_t> ms = winsim::detail::MsFromSystemTime(st);
    if (!ms)
        return false;
    *ft = winsim::detail::ToFileTime(*ms * 10000);
    return true;
}

bool Fail(std::string* error, const std::string& text) {
    if (error)
        *error = text;
    return false;
}

struct StandardTable {
    const char* name;
    std::vector<Column> columns;
    std::vector<std::string> keys;
};

const std::vector<StandardTable>& StandardTables() {
    static const std::vector<StandardTable> tables = {
        {"Binary", {{"Name", "s72"}, {"Data", "v0"}}, {"Name"}},
        {"Component",
         {{"Component", "s72"},
          {"ComponentId", "S38"},
          {"Directory_", "s72"},
          {"Attributes", "i2"},
          {"Condition", "S255"},
          {"KeyPath", "S72"}},
         {"Component"}},
        {"CustomAction",
         {{"Action", "s72"}, {"Type", "i2"}, {"Source", "S72"}, {"Target", "S255"}, {"ExtendedType", "I4"}},
         {"Action"}},
        {"Feature",
         {{"Feature", "s38"},
          {"Feature_Parent", "S38"},
          {"Title", "L64"},
          {"Description", "L255"},
          {"Display", "I2"},
          {"Level", "i2"},
          {"Directory_", "S72"},
          {"Attributes", "i2"}},
         {"Feature"}},
        {"ListBox",
         {{"Property", "s72"}, {"Order", "i2"}, {"Value", "s64"}, {"Text", "L64"}},
         {"Property", "Order"}},
        {"Media",
         {{"DiskId", "i2"},
          {"LastSequence", "i4"},
          {"DiskPrompt", "L64"},
          {"Cabinet", "S255"},
          {"VolumeLabel", "S32"},
          {"Source", "S72"}},
         {"DiskId"}},
        {"Property", {{"Property", "s72"}, {"Value", "l0"}}, {"Property"}},
        {"Registry",
         {{"Registry", "s72"},
          {"Root", "i2"},
          {"Key", "l255"},
          {"Name", "L255"},
          {"Value", "L0"},
          {"Component_", "s72"}},
         {"Registry"}},
        {"RemoveFile",
         {{"FileKey", "s72"},
          {"Component_", "s72"},
          {"FileName", "L255"},
          {"DirProperty", "s72"},
          {"InstallMode", "i2"}},
         {"FileKey"}},
        {"RemoveRegistry",
         {{"RemoveRegistry", "s72"},
          {"Root", "i2"},
          {"Key", "l255"},
          {"Name", "L255"},
          {"Component_", "s72"}},
         {"RemoveRegistry"}},
        {"Shortcut",
         {{"Shortcut", "s72"},
          {"Directory_", "s72"},
          {"Name", "l128"},
          {"Component_", "s72"},
          {"Target", "s72"},
          {"Arguments", "S255"},
          {"Description", "L255"},
          {"Hotkey", "I2"},
          {"Icon_", "S72"},
          {"IconIndex", "I2"},
          {"ShowCmd", "I2"},
          {"WkDir", "S72"},
          {"DisplayResourceDLL", "S255"},
          {"DisplayResourceId", "I2"},
          {"DescriptionResourceDLL", "S255"},
          {"DescriptionResourceId", "I2"}},
         {"Shortcut"}},
        {"UIText", {{"Key", "s72"}, {"Text", "L255"}}, {"Key"}},
    };
    return tables;
}

} // namespace

// ---- fixture API -----------------------------------------------------------------------------

namespace winsim::msi {

using winsim::detail::Guard;
using winsim::detail::MachineLock;

void DefineTable(const std::string& table, const std::vector<Column>& columns,
                 const std::vector<std::string>& keys) {
    Guard g(MachineLock());
    Install(NewTable(table, columns, keys));
}

bool DefineStandardTable(const std::string& table) {
    Guard g(MachineLock());
    for (const StandardTable& t : StandardTables()) {
        if (table == t.name) {
            Install(NewTable(t.name, t.columns, t.keys));
            return true;
        }
    }
    return false;
}

void DropTable(const std::string& table) {
    Guard g(MachineLock());
    auto& tables = S().tables;
    tables.erase(
        std::remove_if(tables.begin(), tables.end(), [&](const impl::Table& t) { return t.name == table; }),
        tables.end());
}

void AddRow(const std::string& table, const std::vector<Field>& fields) {
    Guard g(MachineLock());
    if (impl::Table* t = FindTable(table))
        Append(*t, fields, false);
}

bool HasTable(const std::string& table) {
    Guard g(MachineLock());
    return FindTable(table) != nullptr;
}

std::vector<Row> Rows(const std::string& table) {
    Guard g(MachineLock());
    std::vector<Row> rows;
    if (const impl::Table* t = FindTable(table))
        for (const StoredRow& r : t->rows)
            rows.push_back(Row{r.fields, r.temporary});
    return rows;
}

std::vector<Column> Columns(const std::string& table) {
    Guard g(MachineLock());
    const impl::Table* t = FindTable(table);
    return t ? t->columns : std::vector<Column>{};
}

std::vector<std::string> PrimaryKeys(const std::string& table) {
    Guard g(MachineLock());
    std::vector<std::string> keys;
    if (const impl::Table* t = FindTable(table))
        for (size_t k : t->keys)
            keys.push_back(t->columns[k].name);
    return keys;
}

std::vector<std::string> Tables() {
    Guard g(MachineLock());
    std::vector<std::string> names;
    for (const impl::Table& t : S().tables)
        names.push_back(t.name);
    return names;
}

bool ImportIdt(const std::string& idtText, const std::string& streamDir, std::string* error) {
    Guard g(MachineLock());
    std::vector<std::string> lines;
    {
        std::string line;
        std::istringstream in(idtText);
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
    }
    if (lines.size() >= 2 && lines[0].empty() && SplitTabs(lines[1]).size() == 2 &&
        SplitTabs(lines[1])[1] == "_ForceCodepage")
        return true; // code page marker: nothing to load
    if (lines.size() < 3)
        return Fail(error, "an .idt file needs column names, types and a table line");
    const std::vector<std::string> names = SplitTabs(lines[0]);
    const std::vector<std::string> types = SplitTabs(lines[1]);
    const std::vector<std::string> labels = SplitTabs(lines[2]);
    if (names.size() != types.size())
        return Fail(error, "line 1 has " + std::to_string(names.size()) + " column names but line 2 has " +
                               std::to_string(types.size()) + " types");
    if (labels.empty() || labels[0].empty())
        return Fail(error, "line 3 does not name the table");
    std::vector<Column> columns;
    for (size_t i = 0; i < names.size(); ++i) {
        if (!ValidType(types[i]))
            return Fail(error, "column '" + names[i] + "' has an unknown type '" + types[i] + "'");
        columns.push_back({names[i], types[i]});
    }
    const std::string table = labels[0];

    if (table == "_SummaryInformation") {
        for (size_t n = 3; n < lines.size(); ++n) {
            if (lines[n].empty())
                continue;
            std::vector<std::string> cells = SplitTabs(lines[n]);
            int pid = 0;
            if (cells.size() < 2 || !ParseDecimal(cells[0], &pid) || pid < 0 || pid > 19)
                return Fail(error, "bad summary information line " + std::to_string(n + 1));
            const std::string value = Unescape(cells[1]);
            impl::SummaryValue v;
            if (pid == PID_CODEPAGE || pid == PID_PAGECOUNT || pid == PID_WORDCOUNT || pid == PID_CHARCOUNT ||
                pid == PID_SECURITY) {
                if (!ParseDecimal(value, &v.number))
                    return Fail(error, "summary property " + std::to_string(pid) + " is not a number");
                v.type = SummaryIntegerType(static_cast<unsigned>(pid));
            } else if (pid >= PID_EDITTIME && pid <= PID_LASTSAVE_DTM) {
                if (!ParseSummaryTime(value, &v.time))
                    return Fail(error, "summary property " + std::to_string(pid) + " is not a time");
                v.type = VT_FILETIME;
            } else {
                v.text = value;
                v.type = VT_LPSTR;
            }
            S().summary[static_cast<unsigned>(pid)] = v;
        }
        return true;
    }

    std::vector<std::string> keys(labels.begin() + 1, labels.end());
    for (const std::string& k : keys)
        if (std::none_of(columns.begin(), columns.end(), [&](const Column& c) { return c.name == k; }))
            return Fail(error, "primary key '" + k + "' is not a column");

    impl::Table t = NewTable(table, columns, keys);
    for (size_t n = 3; n < lines.size(); ++n) {
        if (lines[n].empty())
            continue;
        const std::string at = "line " + std::to_string(n + 1);
        std::vector<std::string> cells = SplitTabs(lines[n]);
        if (cells.size() > columns.size())
            return Fail(error, at + " has more values than columns");
        std::vector<Field> fields;
        for (size_t i = 0; i < columns.size(); ++i) {
            const std::string cell = i < cells.size() ? Unescape(cells[i]) : std::string();
            if (cell.empty()) {
                fields.push_back(Field::null());
                continue;
            }
            switch (TypeLetter(columns[i])) {
            case 'i': {
                int v = 0;
                if (!ParseDecimal(cell, &v))
                    return Fail(error, at + ": '" + cell + "' is not a number");
                fields.push_back(Field::integer(v));
                break;
            }
            case 'v': {
                auto bytes = ReadStreamFile(streamDir, cell);
                if (!bytes)
                    return Fail(error, at + ": stream file '" + cell + "' not found");
                fields.push_back(Field::stream(*bytes));
                break;
            }
            default:
                fields.push_back(Field::str(cell));
            }
        }
        if (auto i = MissingValue(t, fields))
            return Fail(error, at + ": column '" + columns[*i].name + "' must not be empty");
        if (DuplicateKey(t, fields))
            return Fail(error, at + " repeats a primary key");
        Append(t, fields, false);
    }
    Install(std::move(t));
    return true;
}

void SetSummaryString(unsigned pid, const std::string& value) {
    Guard g(MachineLock());
    S().summary[pid] = impl::SummaryValue{VT_LPSTR, value, 0, {}};
}

void SetSummaryTime(unsigned pid, FILETIME value) {
    Guard g(MachineLock());
    S().summary[pid] = impl::SummaryValue{VT_FILETIME, "", 0, value};
}

void SetSummaryInt(unsigned pid, int value) {
    Guard g(MachineLock());
    S().summary[pid] = impl::SummaryValue{SummaryIntegerType(pid), "", value, {}};
}

void ClearSummary(unsigned pid) {
    Guard g(MachineLock());
    S().summary.erase(pid);
}

void SetWineViews(bool on) {
    Guard g(MachineLock());
    S().wineViews = on;
}

} // namespace winsim::msi

// ---- simulated functions ---------------------------------------------------------------------

using winsim::detail::Guard;
using winsim::detail::MachineLock;

MSIHANDLE WINAPI MsiGetActiveDatabase(MSIHANDLE hInstall) {
    Guard g(MachineLock());
    if (Fault("MsiGetActiveDatabase"))
        return 0;
    // The installation script has no database.
    if (!IsSession(hInstall) || S().deferred)
        return 0;
    return NewHandle(Kind::Database);
}

UINT WINAPI MsiDatabaseOpenViewA(MSIHANDLE hDatabase, LPCSTR szQuery, MSIHANDLE* phView) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiDatabaseOpenViewA", szQuery))
        return *e;
    if (!Find(hDatabase, Kind::Database))
        return ERROR_INVALID_HANDLE;
    if (!phView)
        return ERROR_INVALID_PARAMETER;
    if (!szQuery)
        return ERROR_BAD_QUERY_SYNTAX;
    ParsedQuery q;
    if (!Parse(szQuery, &q))
        return ERROR_BAD_QUERY_SYNTAX;
    Table* table = FindTable(q.table);
    if (!table) {
        // Windows explains a missing table with error 2228 (database, table, query). Wine
        // returns the same 1615 but leaves no error record.
        auto rec = std::make_shared<Record>(4);
        rec->fields[1] = Field::integer(2228);
        rec->fields[3] = Field::str(q.table);
        rec->fields[4] = Field::str(szQuery);
        SetLastErrorRecord(std::move(rec));
        return ERROR_BAD_QUERY_SYNTAX;
    }
    auto view = std::make_shared<View>();
    view->table = q.table;
    view->query = szQuery;
    for (const auto& [column, token] : q.where) {
        auto it = std::find_if(table->columns.begin(), table->columns.end(),
                               [&name = column](const Column& c) { return c.name == name; });
        if (it == table->columns.end())
            return ERROR_BAD_QUERY_SYNTAX;
        Condition c;
        c.column = static_cast<size_t>(it - table->columns.begin());
        if (token.kind == Token::Symbol) {
            c.parameter = true;
        } else if (token.kind == Token::Number) {
            int v = 0;
            ParseDecimal(token.text, &v);
            c.value = Field::integer(v);
        } else {
            c.value = Field::str(token.text);
        }
        view->where.push_back(c);
    }
    *phView = NewHandle(std::move(view));
    return ERROR_SUCCESS;
}

UINT WINAPI MsiViewExecute(MSIHANDLE hView, MSIHANDLE hRecord) {
    return WithView("MsiViewExecute", hView, [&](View& v) -> UINT {
        std::shared_ptr<Record> params;
        if (hRecord) {
            params = FindRecord(hRecord);
            if (!params)
                return ERROR_INVALID_HANDLE;
        }
        Table* table = FindTable(v.table);
        if (!table)
            return ERROR_FUNCTION_FAILED;
        v.params = params ? params->fields : std::vector<Field>{};
        // The result set is fixed here: rows deleted and inserted again while the caller walks it
        // are new rows and do not come round a second time.
        v.limit = S().nextRowId;
        v.lastId = 0;
        v.pos = 0;
        v.executed = true;
        return ERROR_SUCCESS;
    });
}

UINT WINAPI MsiViewFetch(MSIHANDLE hView, MSIHANDLE* phRecord) {
    return WithView("MsiViewFetch", hView, [&](View& v) -> UINT {
        if (!phRecord)
            return ERROR_INVALID_PARAMETER;
        *phRecord = 0;
        if (!v.executed)
            return ERROR_FUNCTION_FAILED;
        Table* table = FindTable(v.table);
        if (!table)
            return ERROR_NO_MORE_ITEMS;
        if (S().wineViews) {
            // The live table in key order, from the cursor's place on.
            std::vector<const StoredRow*> order = KeyOrder(*table);
            for (; v.pos < order.size(); ++v.pos) {
                if (Matches(*table, *order[v.pos], v)) {
                    *phRecord = NewHandle(RowRecord(*table, *order[v.pos]));
                    ++v.pos;
                    return ERROR_SUCCESS;
                }
            }
            return ERROR_NO_MORE_ITEMS;
        }
        // Rows deleted since execute are simply no longer there.
        for (auto it = RowFrom(*table, v.lastId + 1); it != table->rows.end() && it->id < v.limit; ++it) {
            v.lastId = it->id;
            if (Matches(*table, *it, v)) {
                *phRecord = NewHandle(RowRecord(*table, *it));
                return ERROR_SUCCESS;
            }
        }
        v.lastId = v.limit;
        return ERROR_NO_MORE_ITEMS;
    });
}

UINT WINAPI MsiViewModify(MSIHANDLE hView, MSIMODIFY eModifyMode, MSIHANDLE hRecord) {
    return WithView("MsiViewModify", hView, [&](View& v) -> UINT {
        auto rec = FindRecord(hRecord);
        if (!rec)
            return ERROR_INVALID_HANDLE;
        Table* table = FindTable(v.table);
        // Windows documents MsiViewExecute as required before MsiViewModify (Wine does not check).
        if (!table || !v.executed)
            return ERROR_FUNCTION_FAILED;
        switch (eModifyMode) {
        case MSIMODIFY_INSERT_TEMPORARY: {
            std::vector<Field> fields;
            for (size_t i = 0; i < table->columns.size(); ++i)
                fields.push_back(
                    Coerce(table->columns[i], i + 1 <= rec->Count() ? rec->fields[i + 1] : Field::null()));
            if (MissingValue(*table, fields) || DuplicateKey(*table, fields))
                return ERROR_FUNCTION_FAILED;
            Append(*table, fields, true);
            return ERROR_SUCCESS;
        }
        case MSIMODIFY_DELETE: {
            // Only a row fetched through a view of this table, and only while it is still there.
            const StoredRow* row = rec->table == table->name ? FindRow(*table, rec->rowId) : nullptr;
            if (!row)
                return ERROR_FUNCTION_FAILED;
            if (S().wineViews) {
                // The rows after it move up one place, and so does the cursor.
                std::vector<const StoredRow*> order = KeyOrder(*table);
                size_t at = static_cast<size_t>(std::find(order.begin(), order.end(), row) - order.begin());
                if (at < v.pos)
                    --v.pos;
            }
            EraseRow(*table, rec->rowId);
            return ERROR_SUCCESS;
        }
        case MSIMODIFY_REFRESH: {
            StoredRow* row = rec->table == table->name ? FindRow(*table, rec->rowId) : nullptr;
            if (!row)
                return ERROR_FUNCTION_FAILED;
            *rec = *RowRecord(*table, *row);
            return ERROR_SUCCESS;
        }
        case MSIMODIFY_SEEK:
        case MSIMODIFY_INSERT:
        case MSIMODIFY_UPDATE:
        case MSIMODIFY_ASSIGN:
        case MSIMODIFY_REPLACE:
        case MSIMODIFY_MERGE:
        case MSIMODIFY_VALIDATE:
        case MSIMODIFY_VALIDATE_NEW:
        case MSIMODIFY_VALIDATE_FIELD:
        case MSIMODIFY_VALIDATE_DELETE:
            // A custom action may only change temporary data; the other modes are not simulated.
            return ERROR_FUNCTION_FAILED;
        }
        return ERROR_INVALID_PARAMETER;
    });
}

UINT WINAPI MsiViewClose(MSIHANDLE hView) {
    return WithView("MsiViewClose", hView, [](View& v) -> UINT {
        v.executed = false;
        v.limit = 0;
        v.lastId = 0;
        v.pos = 0;
        return ERROR_SUCCESS;
    });
}

UINT WINAPI MsiGetSummaryInformationA(MSIHANDLE hDatabase, LPCSTR szDatabasePath, UINT uiUpdateCount,
                                      MSIHANDLE* phSummaryInfo) {
    (void)uiUpdateCount;
    Guard g(MachineLock());
    if (auto e = Fault("MsiGetSummaryInformationA", szDatabasePath))
        return *e;
    if (!phSummaryInfo)
        return ERROR_INVALID_PARAMETER;
    if (hDatabase == 0)
        return szDatabasePath ? ERROR_INSTALL_PACKAGE_OPEN_FAILED : ERROR_INVALID_PARAMETER;
    if (!Find(hDatabase, Kind::Database))
        return ERROR_INVALID_HANDLE;
    *phSummaryInfo = NewHandle(Kind::Summary);
    return ERROR_SUCCESS;
}

UINT WINAPI MsiSummaryInfoGetPropertyCount(MSIHANDLE hSummaryInfo, UINT* puiPropertyCount) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiSummaryInfoGetPropertyCount"))
        return *e;
    if (!Find(hSummaryInfo, Kind::Summary))
        return ERROR_INVALID_HANDLE;
    if (!puiPropertyCount)
        return RPC_X_NULL_REF_POINTER;
    *puiPropertyCount = static_cast<UINT>(S().summary.size());
    return ERROR_SUCCESS;
}

UINT WINAPI MsiSummaryInfoGetPropertyA(MSIHANDLE hSummaryInfo, UINT uiProperty, UINT* puiDataType,
                                       INT* piValue, FILETIME* pftValue, LPSTR szValueBuf,
                                       LPDWORD pcchValueBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiSummaryInfoGetPropertyA"))
        return *e;
    if (!Find(hSummaryInfo, Kind::Summary))
        return ERROR_INVALID_HANDLE;
    if (!puiDataType)
        return RPC_X_NULL_REF_POINTER;
    if (uiProperty > PID_SECURITY)
        return ERROR_UNKNOWN_PROPERTY;
    auto it = S().summary.find(uiProperty);
    const SummaryValue v = it == S().summary.end() ? SummaryValue{} : it->second;
    *puiDataType = v.type;
    if (piValue)
        *piValue = (v.type == VT_I2 || v.type == VT_I4) ? v.number : 0;
    if (v.type == VT_FILETIME && pftValue)
        *pftValue = v.time;
    if (v.type != VT_LPSTR)
        return ERROR_SUCCESS; // the length is left as it was
    return CopyValue(v.text, szValueBuf, pcchValueBuf, true);
}
