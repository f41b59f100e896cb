// Simulated registry: hives, the two views of 64-bit Windows, key handles and access rights.
#include "internal.h"

#include "winsim/advapi32.h"
#include "winsim/kernel32.h"
#include "winsim/sim_reg.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace winsim::reg {
namespace {

using detail::Guard;

constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr uintptr_t kFirstKeyHandle = 0x40000000u;

struct Key {
    std::string name;
    std::map<std::string, std::shared_ptr<Key>, detail::ILess> subkeys;
    std::vector<std::pair<std::string, Value>> values; // creation order
    bool denied = false;
    bool deleted = false;
    uint64_t written = 0;
    Key* parent = nullptr;
};

// Physical location: a hive and the key names below it.
struct Where {
    int hive = -1;
    std::vector<std::string> parts;
};

struct Handle {
    std::shared_ptr<Key> key;
    Where where;
    REGSAM access = 0;
};

enum Hive { kMachine, kUsers, kCurrentUser, kCurrentConfig, kHiveCount };

struct State {
    std::shared_ptr<Key> hives[kHiveCount];
    std::map<uintptr_t, Handle> handles;
    uintptr_t next = kFirstKeyHandle;
};

std::shared_ptr<Key> NewKey(const std::string& name) {
    auto k = std::make_shared<Key>();
    k->name = name;
    k->written = detail::SystemFileTime();
    return k;
}

// Callers have made sure parent has no subkey of that name.
std::shared_ptr<Key> AddSubkey(Key& parent, const std::string& name) {
    auto k = NewKey(name);
    k->parent = &parent;
    parent.subkeys[name] = k;
    return k;
}

State MakeInitial() {
    State s;
    const char* names[] = {"HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_USER", "HKEY_CURRENT_CONFIG"};
    for (int i = 0; i < kHiveCount; ++i)
        s.hives[i] = NewKey(names[i]);
    // The standard top-level keys of a Windows machine.
    auto software = AddSubkey(*s.hives[kMachine], "SOFTWARE");
    AddSubkey(*s.hives[kMachine], "SYSTEM");
    AddSubkey(*s.hives[kMachine], "HARDWARE");
    AddSubkey(*software, "Classes");
    auto microsoft = AddSubkey(*software, "Microsoft");
    AddSubkey(*software, "Wow6432Node");
    // Present on every Windows and Wine machine; programs add values, never the key.
    auto windows = AddSubkey(*microsoft, "Windows");
    auto currentVersion = AddSubkey(*windows, "CurrentVersion");
    AddSubkey(*currentVersion, "RunOnce");
    AddSubkey(*s.hives[kCurrentUser], "Software");
    AddSubkey(*s.hives[kUsers], ".DEFAULT");
    return s;
}

State& S() {
    static State state = MakeInitial();
    return state;
}

const bool kRegistered = detail::ResetTo<S, MakeInitial>();

uint32_t RootValue(HKEY root) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root));
}

bool IsPredefined(HKEY h) {
    const uint32_t v = RootValue(h);
    return (reinterpret_cast<uintptr_t>(h) >> 32) == 0xFFFFFFFFu && v >= 0x80000000u && v <= 0x80000006u;
}

// A predefined key: its hive and the path inside it (HKCR is HKLM\SOFTWARE\Classes).
bool RootWhere(HKEY root, Where& w) {
    if (!IsPredefined(root))
        return false;
    w = Where();
    switch (RootValue(root)) {
    case 0x80000000u:
        w.hive = kMachine;
        w.parts = {"SOFTWARE", "Classes"};
        return true;
    case 0x80000001u:
        w.hive = kCurrentUser;
        return true;
    case 0x80000002u:
        w.hive = kMachine;
        return true;
    case 0x80000003u:
        w.hive = kUsers;
        return true;
    case 0x80000005u:
        w.hive = kCurrentConfig;
        return true;
    default:
        return false;
    }
}

// Splits "A\B\C"; 0 or ERROR_BAD_PATHNAME for a leading backslash.
DWORD Split(const char* sub, std::vector<std::string>& parts) {
    parts.clear();
    if (!sub || !*sub)
        return 0;
    if (*sub == '\\')
        return ERROR_BAD_PATHNAME;
    std::string s(sub);
    size_t i = 0;
    while (i < s.size()) {
        size_t j = s.find('\\', i);
        if (j == std::string::npos)
            j = s.size();
        if (j > i)
            parts.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    for (const auto& p : parts)
        if (p.size() > kMaxKeyName)
            return ERROR_INVALID_PARAMETER;
    return 0;
}

// The 32-bit view of HKLM\SOFTWARE\X is HKLM\SOFTWARE\Wow6432Node\X.
void Redirect(Where& w, View view) {
    if (view != View::Wow32 || w.hive != kMachine || w.parts.empty() ||
        !detail::IEquals(w.parts[0], "SOFTWARE"))
        return;
    if (w.parts.size() >= 2 && detail::IEquals(w.parts[1], "Wow6432Node"))
        return;
    w.parts.insert(w.parts.begin() + 1, "Wow6432Node");
}

View ViewOf(REGSAM sam) {
    return (sam & KEY_WOW64_32KEY) ? View::Wow32 : View::Native;
}

struct Found {
    std::shared_ptr<Key> key;
    Key* parent = nullptr;
    DWORD error = 0;
};

// Walks to a key; create makes missing keys. Denial applies to a key and all below it.
Found Walk(const Where& w, bool create, bool* created = nullptr) {
    Found f;
    std::shared_ptr<Key> cur = S().hives[w.hive];
    if (created)
        *created = false;
    for (const auto& part : w.parts) {
        if (cur->denied) {
            f.error = ERROR_ACCESS_DENIED;
            return f;
        }
        auto it = cur->subkeys.find(part);
        std::shared_ptr<Key> next;
        if (it != cur->subkeys.end()) {
            next = it->second;
        } else {
            if (!create) {
                f.error = ERROR_FILE_NOT_FOUND;
                return f;
            }
            next = AddSubkey(*cur, part);
            cur->written = next->written;
            if (created)
                *created = true;
        }
        f.parent = cur.get();
        cur = next;
    }
    if (cur->denied) {
        f.error = ERROR_ACCESS_DENIED;
        return f;
    }
    f.key = cur;
    return f;
}

// The key behind a handle (a predefined key or one opened before), with the rights it carries.
DWORD Resolve(HKEY h, Handle& out) {
    Where w;
    if (RootWhere(h, w)) {
        out.where = w;
        out.access = KEY_ALL_ACCESS;
        Found f = Walk(w, false);
        if (f.error)
            return f.error == ERROR_ACCESS_DENIED ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
        out.key = f.key;
        return 0;
    }
    auto it = S().handles.find(reinterpret_cast<uintptr_t>(h));
    if (it == S().handles.end())
        return ERROR_INVALID_HANDLE;
    out = it->second;
    if (out.key->deleted)
        return ERROR_KEY_DELETED;
    return 0;
}

REGSAM Rights(REGSAM sam) {
    REGSAM r = sam & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (sam & (MAXIMUM_ALLOWED | GENERIC_ALL))
        r |= KEY_ALL_ACCESS;
    if (sam & GENERIC_READ)
        r |= KEY_READ;
    if (sam & GENERIC_WRITE)
        r |= KEY_WRITE;
    if (sam & GENERIC_EXECUTE)
        r |= KEY_EXECUTE;
    return r;
}

HKEY NewHandle(const std::shared_ptr<Key>& key, const Where& w, REGSAM sam) {
    const uintptr_t v = S().next;
    S().next += 4;
    S().handles[v] = Handle{key, w, Rights(sam)};
    return reinterpret_cast<HKEY>(v);
}

void MarkDeleted(Key& k) {
    k.deleted = true;
    for (auto& [n, sub] : k.subkeys)
        MarkDeleted(*sub);
}

std::vector<std::pair<std::string, Value>>::iterator FindValue(Key& k, const std::string& name) {
    return std::find_if(k.values.begin(), k.values.end(),
                        [&](const auto& nv) { return detail::IEquals(nv.first, name); });
}

// Replaces a value in place (it keeps its position and the case of its name) or adds it last.
void StoreValue(Key& k, const std::string& name, const Value& value) {
    auto it = FindValue(k, name);
    if (it != k.values.end())
        it->second = value;
    else
        k.values.emplace_back(name, value);
    k.written = detail::SystemFileTime();
}

// The key a subkey path below a handle names, in the view sam asks for. parts are the subkey's
// own names (empty: the handle's key itself).
struct Target {
    Handle base;
    std::vector<std::string> parts;
    Where where;
};

DWORD ResolveSubkey(HKEY hKey, LPCSTR lpSubKey, REGSAM sam, Target& t) {
    if (DWORD e = Resolve(hKey, t.base))
        return e;
    if (DWORD e = Split(lpSubKey, t.parts))
        return e;
    t.where = t.base.where;
    t.where.parts.insert(t.where.parts.end(), t.parts.begin(), t.parts.end());
    Redirect(t.where, ViewOf(sam));
    return 0;
}

// Fixture paths: the key of a root and a path in a view, or null.
Where FixtureWhere(HKEY root, const std::string& key, View view) {
    Where w;
    if (!RootWhere(root, w))
        return Where();
    std::vector<std::string> parts;
    if (Split(key.c_str(), parts) != 0)
        return Where();
    w.parts.insert(w.parts.end(), parts.begin(), parts.end());
    Redirect(w, view);
    return w;
}

std::shared_ptr<Key> FixtureKey(HKEY root, const std::string& key, View view, bool create) {
    Where w = FixtureWhere(root, key, view);
    if (w.hive < 0)
        return nullptr;
    std::shared_ptr<Key> cur = S().hives[w.hive];
    for (const auto& part : w.parts) {
        auto it = cur->subkeys.find(part);
        if (it != cur->subkeys.end())
            cur = it->second;
        else if (create)
            cur = AddSubkey(*cur, part);
        else
            return nullptr;
    }
    return cur;
}

} // namespace

// ---- fixture API ------------------------------------------------------------------------------

void CreateKey(HKEY root, const std::string& key, View view) {
    Guard g(detail::MachineLock());
    FixtureKey(root, key, view, true);
}

bool KeyExists(HKEY root, const std::string& key, View view) {
    Guard g(detail::MachineLock());
    return FixtureKey(root, key, view, false) != nullptr;
}

void DeleteTree(HKEY root, const std::string& key, View view) {
    Guard g(detail::MachineLock());
    auto k = FixtureKey(root, key, view, false);
    if (!k || !k->parent)
        return;
    Where w = FixtureWhere(root, key, view);
    if (w.parts.empty())
        return;
    MarkDeleted(*k);
    k->parent->subkeys.erase(k->name);
}

void SetValue(HKEY root, const std::string& key, const std::string& name, const Value& value, View view) {
    Guard g(detail::MachineLock());
    if (auto k = FixtureKey(root, key, view, true))
        StoreValue(*k, name, value);
}

void RemoveValue(HKEY root, const std::string& key, const std::string& name, View view) {
    Guard g(detail::MachineLock());
    auto k = FixtureKey(root, key, view, false);
    if (!k)
        return;
    auto it = FindValue(*k, name);
    if (it != k->values.end())
        k->values.erase(it);
}

void SetString(HKEY root, const std::string& key, const std::string& name, const std::string& text,
               View view) {
    SetValue(root, key, name, Value{REG_SZ, text + std::string(1, '\0')}, view);
}

void SetDword(HKEY root, const std::string& key, const std::string& name, DWORD value, View view) {
    std::string bytes(4, '\0');
    std::memcpy(&bytes[0], &value, 4);
    SetValue(root, key, name, Value{REG_DWORD, bytes}, view);
}

std::optional<Value> GetValue(HKEY root, const std::string& key, const std::string& name, View view) {
    Guard g(detail::MachineLock());
    auto k = FixtureKey(root, key, view, false);
    if (!k)
        return std::nullopt;
    auto it = FindValue(*k, name);
    if (it == k->values.end())
        return std::nullopt;
    return it->second;
}

std::vector<std::string> SubKeys(HKEY root, const std::string& key, View view) {
    Guard g(detail::MachineLock());
    std::vector<std::string> out;
    if (auto k = FixtureKey(root, key, view, false))
        for (const auto& [n, sub] : k->subkeys)
            out.push_back(sub->name);
    return out;
}

std::vector<std::pair<std::string, Value>> Values(HKEY root, const std::string& key, View view) {
    Guard g(detail::MachineLock());
    if (auto k = FixtureKey(root, key, view, false))
        return k->values;
    return {};
}

void DenyAccess(HKEY root, const std::string& key, bool on, View view) {
    Guard g(detail::MachineLock());
    if (auto k = FixtureKey(root, key, view, false))
        k->denied = on;
}

int OpenKeyHandles() {
    Guard g(detail::MachineLock());
    return static_cast<int>(S().handles.size());
}

} // namespace winsim::reg

// ---- advapi32 ---------------------------------------------------------------------------------

using namespace winsim;
using namespace winsim::reg;

static LONG OpenOrCreate(const char* function, HKEY hKey, LPCSTR lpSubKey, REGSAM sam, bool create,
                         PHKEY phkResult, LPDWORD disposition) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted(function, lpSubKey))
        return static_cast<LONG>(*fault);
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Target t;
    if (DWORD e = ResolveSubkey(hKey, lpSubKey, sam, t))
        return static_cast<LONG>(e);
    bool created = false;
    if (create && !t.parts.empty() && !(t.base.access & KEY_CREATE_SUB_KEY)) {
        Found probe = Walk(t.where, false);
        if (probe.error == ERROR_FILE_NOT_FOUND)
            return ERROR_ACCESS_DENIED;
    }
    Found f = Walk(t.where, create, &created);
    if (f.error)
        return static_cast<LONG>(f.error);
    *phkResult = NewHandle(f.key, t.where, sam);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    return OpenOrCreate("RegOpenKeyExA", hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return OpenOrCreate("RegOpenKeyA", hKey, lpSubKey, MAXIMUM_ALLOWED, false, phkResult, nullptr);
}

LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                            LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return OpenOrCreate("RegCreateKeyExA", hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return OpenOrCreate("RegCreateKeyA", hKey, lpSubKey, MAXIMUM_ALLOWED, true, phkResult, nullptr);
}

// The key of a handle for an operation that needs the given rights.
static LONG KeyFor(HKEY hKey, REGSAM needed, Handle& h) {
    if (DWORD e = Resolve(hKey, h))
        return static_cast<LONG>(e);
    if ((h.access & needed) != needed)
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted("RegQueryValueExA", lpValueName))
        return static_cast<LONG>(*fault);
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG e = KeyFor(hKey, KEY_QUERY_VALUE, h))
        return e;
    auto it = FindValue(*h.key, lpValueName ? lpValueName : "");
    if (it == h.key->values.end())
        return ERROR_FILE_NOT_FOUND;
    const Value& v = it->second;
    if (lpType)
        *lpType = v.type;
    if (!lpcbData)
        return ERROR_SUCCESS;
    const DWORD size = static_cast<DWORD>(v.data.size());
    if (!lpData) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, v.data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                           DWORD cbData) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted("RegSetValueExA", lpValueName))
        return static_cast<LONG>(*fault);
    Handle h;
    if (LONG e = KeyFor(hKey, KEY_SET_VALUE, h))
        return e;
    const std::string name = lpValueName ? lpValueName : "";
    if (name.size() > kMaxValueName || (!lpData && cbData))
        return ERROR_INVALID_PARAMETER;
    StoreValue(*h.key, name,
               Value{dwType, std::string(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0)});
    return ERROR_SUCCESS;
}

static LONG EnumKey(const char* function, HKEY hKey, DWORD index, LPSTR name, DWORD* cch, PFILETIME ft) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted(function))
        return static_cast<LONG>(*fault);
    Handle h;
    if (LONG e = KeyFor(hKey, KEY_ENUMERATE_SUB_KEYS, h))
        return e;
    if (!name || !cch)
        return ERROR_INVALID_PARAMETER;
    if (index >= h.key->subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = std::next(h.key->subkeys.begin(), index);
    const std::string& n = it->second->name;
    if (!detail::CopyOut(n, name, *cch))
        return ERROR_MORE_DATA;
    *cch = static_cast<DWORD>(n.size());
    if (ft)
        *ft = detail::ToFileTime(it->second->written);
    return ERROR_SUCCESS;
}

LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                          LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    const LONG r = EnumKey("RegEnumKeyExA", hKey, dwIndex, lpName, lpcchName, lpftLastWriteTime);
    if (r == ERROR_SUCCESS && lpcchClass) {
        if (lpClass && *lpcchClass)
            lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    return r;
}

LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    return EnumKey("RegEnumKeyA", hKey, dwIndex, lpName, &cchName, nullptr);
}

LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                          LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted("RegEnumValueA"))
        return static_cast<LONG>(*fault);
    Handle h;
    if (LONG e = KeyFor(hKey, KEY_QUERY_VALUE, h))
        return e;
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    if (dwIndex >= h.key->values.size())
        return ERROR_NO_MORE_ITEMS;
    const auto& [name, v] = h.key->values[dwIndex];
    if (!detail::CopyOut(name, lpValueName, *lpcchValueName))
        return ERROR_MORE_DATA;
    *lpcchValueName = static_cast<DWORD>(name.size());
    if (lpType)
        *lpType = v.type;
    if (lpcbData) {
        const DWORD size = static_cast<DWORD>(v.data.size());
        if (lpData && *lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (lpData)
            std::memcpy(lpData, v.data.data(), size);
        *lpcbData = size;
    }
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                             LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                             LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                             LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted("RegQueryInfoKeyA"))
        return static_cast<LONG>(*fault);
    Handle h;
    if (LONG e = KeyFor(hKey, KEY_QUERY_VALUE, h))
        return e;
    const Key& k = *h.key;
    DWORD maxSub = 0, maxName = 0, maxData = 0;
    for (const auto& [n, sub] : k.subkeys)
        maxSub = std::max<DWORD>(maxSub, static_cast<DWORD>(sub->name.size()));
    for (const auto& [n, v] : k.values) {
        maxName = std::max<DWORD>(maxName, static_cast<DWORD>(n.size()));
        maxData = std::max<DWORD>(maxData, static_cast<DWORD>(v.data.size()));
    }
    if (lpClass && lpcchClass && *lpcchClass)
        lpClass[0] = '\0';
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpcSubKeys)
        *lpcSubKeys = static_cast<DWORD>(k.subkeys.size());
    if (lpcbMaxSubKeyLen)
        *lpcbMaxSubKeyLen = maxSub;
    if (lpcbMaxClassLen)
        *lpcbMaxClassLen = 0;
    if (lpcValues)
        *lpcValues = static_cast<DWORD>(k.values.size());
    if (lpcbMaxValueNameLen)
        *lpcbMaxValueNameLen = maxName;
    if (lpcbMaxValueLen)
        *lpcbMaxValueLen = maxData;
    if (lpcbSecurityDescriptor)
        *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = detail::ToFileTime(k.written);
    return ERROR_SUCCESS;
}

static LONG DeleteKey(const char* function, HKEY hKey, LPCSTR lpSubKey, REGSAM view) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted(function, lpSubKey))
        return static_cast<LONG>(*fault);
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    Target t;
    if (DWORD e = ResolveSubkey(hKey, lpSubKey, view, t))
        return static_cast<LONG>(e);
    Found f = Walk(t.where, false);
    if (f.error)
        return static_cast<LONG>(f.error);
    // Hive roots and the predefined keys cannot go; neither can a key that still has subkeys.
    Where rootWhere;
    if (!f.parent || (RootWhere(hKey, rootWhere) && t.parts.empty()) || !f.key->subkeys.empty())
        return ERROR_ACCESS_DENIED;
    MarkDeleted(*f.key);
    f.parent->subkeys.erase(f.key->name);
    f.parent->written = detail::SystemFileTime();
    return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return DeleteKey("RegDeleteKeyA", hKey, lpSubKey, 0);
}

LONG WINAPI RegDeleteKeyExA(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, DWORD) {
    return DeleteKey("RegDeleteKeyExA", hKey, lpSubKey, samDesired);
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted("RegDeleteValueA", lpValueName))
        return static_cast<LONG>(*fault);
    Handle h;
    if (LONG e = KeyFor(hKey, KEY_SET_VALUE, h))
        return e;
    auto it = FindValue(*h.key, lpValueName ? lpValueName : "");
    if (it == h.key->values.end())
        return ERROR_FILE_NOT_FOUND;
    h.key->values.erase(it);
    h.key->written = detail::SystemFileTime();
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    Guard g(detail::MachineLock());
    if (auto fault = Faulted("RegCloseKey"))
        return static_cast<LONG>(*fault);
    if (IsPredefined(hKey))
        return ERROR_SUCCESS;
    return S().handles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG WINAPI RegFlushKey(HKEY hKey) {
    Guard g(detail::MachineLock());
    Handle h;
    return static_cast<LONG>(Resolve(hKey, h));
}
