// The installer session a custom action talks to: properties, run modes, the deferred context,
// messages and their log, record formatting, actions, feature and component states, handles.
#include "msi_internal.h"

#include <algorithm>
#include <cstring>

namespace winsim::msi::impl {

namespace {

void ResetInstaller() {
    winsim::detail::Guard g(winsim::detail::MachineLock());
    S() = State();
}

[[maybe_unused]] const bool g_registered = (winsim::detail::OnReset(&ResetInstaller), true);

bool IsDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

StateList::iterator FindNamed(StateList& list, const std::string& name) {
    return std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.first == name; });
}

void AddState(StateList& list, const std::string& name, int installed, int action) {
    auto it = FindNamed(list, name);
    if (it != list.end())
        it->second = {installed, action};
    else
        list.push_back({name, {installed, action}});
}

std::optional<std::pair<int, int>> StateOf(StateList& list, const std::string& name) {
    auto it = FindNamed(list, name);
    if (it == list.end())
        return std::nullopt;
    return it->second;
}

// Template expansion as the engine does it: [n] record fields, [Property], [%ENV], [\c] and
// {...} groups that vanish when something inside them is empty. Without a session, property
// references and escapes stay as written.
class Formatter {
  public:
    Formatter(const Record& rec, bool withSession) : rec_(rec), session_(withSession) {}

    struct Result {
        std::string text;
        bool empty = false; // a reference inside resolved to nothing
        bool kept = false;  // a reference inside stayed as written
    };

    Result Expand(const std::string& t) const {
        Result r;
        size_t i = 0;
        while (i < t.size()) {
            const char c = t[i];
            if (c == '[' && i + 3 < t.size() && t[i + 1] == '\\' && t[i + 3] == ']') {
                // [\c] stands for the character c, brackets included.
                if (session_) {
                    r.text += t[i + 2];
                } else {
                    r.text += t.substr(i, 4);
                    r.kept = true;
                }
                i += 4;
            } else if (c == '[') {
                size_t end = Matching(t, i, '[', ']');
                if (end == std::string::npos) {
                    r.text += t.substr(i);
                    break;
                }
                std::string key = t.substr(i + 1, end - i - 1);
                if (key.find('[') != std::string::npos)
                    key = Expand(key).text;
                Resolve(key, r);
                i = end + 1;
            } else if (c == '{') {
                size_t end = Matching(t, i, '{', '}');
                if (end == std::string::npos) {
                    r.text += c;
                    ++i;
                    continue;
                }
                std::string inner = t.substr(i + 1, end - i - 1);
                if (inner.find('[') == std::string::npos) {
                    if (!inner.empty())
                        r.text += "{" + inner + "}";
                } else {
                    Result sub = Expand(inner);
                    if (sub.kept)
                        r.text += "{" + sub.text + "}";
                    else if (!sub.empty)
                        r.text += sub.text;
                }
                i = end + 1;
            } else {
                r.text += c;
                ++i;
            }
        }
        return r;
    }

  private:
    static size_t Matching(const std::string& t, size_t open, char o, char c) {
        int depth = 0;
        for (size_t j = open; j < t.size(); ++j) {
            if (t[j] == o)
                ++depth;
            else if (t[j] == c && --depth == 0)
                return j;
        }
        return std::string::npos;
    }

    void Resolve(const std::string& key, Result& r) const {
        if (IsDigits(key)) {
            const unsigned long n = std::strtoul(key.c_str(), nullptr, 10);
            if (n == 0) {
                Keep(key, r);
                return;
            }
            std::string value = n <= rec_.Count() ? FieldText(rec_.fields[n]) : std::string();
            if (value.empty())
                r.empty = true;
            r.text += value;
            return;
        }
        if (!session_ || key.empty() || key[0] == '-' || key[0] == ' ') {
            Keep(key, r);
            return;
        }
        std::string value;
        if (key[0] == '\\') {
            value = key.substr(1, 1);
        } else if (key[0] == '%') {
            value = winsim::Env(key.substr(1)).value_or("");
        } else if (key[0] == '#' || key[0] == '!' || key[0] == '$' || key[0] == '~') {
            value.clear(); // file, component and null-character references are not simulated
        } else {
            value = SessionProperty(key).value_or("");
        }
        if (value.empty())
            r.empty = true;
        r.text += value;
    }

    static void Keep(const std::string& key, Result& r) {
        r.text += "[" + key + "]";
        r.kept = true;
    }

    const Record& rec_;
    bool session_;
};

} // namespace

State& S() {
    static State state;
    return state;
}

namespace {

unsigned long AddHandle(Handle h) {
    unsigned long id = S().nextHandle++;
    S().handles.emplace(id, std::move(h));
    return id;
}

} // namespace

unsigned long NewHandle(std::shared_ptr<Record> record) {
    Handle h;
    h.kind = Kind::Record;
    h.record = std::move(record);
    return AddHandle(std::move(h));
}

unsigned long NewHandle(std::shared_ptr<View> view) {
    Handle h;
    h.kind = Kind::View;
    h.view = std::move(view);
    return AddHandle(std::move(h));
}

unsigned long NewHandle(Kind kind) {
    Handle h;
    h.kind = kind;
    return AddHandle(std::move(h));
}

Handle* Find(unsigned long h, Kind kind) {
    auto it = S().handles.find(h);
    if (it == S().handles.end() || it->second.kind != kind)
        return nullptr;
    return &it->second;
}

std::shared_ptr<Record> FindRecord(unsigned long h) {
    Handle* handle = Find(h, Kind::Record);
    return handle ? handle->record : nullptr;
}

bool IsSession(unsigned long h) {
    return h != 0 && h == S().session;
}

std::optional<DWORD> Fault(const char* function, const char* arg) {
    auto error = winsim::Faulted(function, arg);
    if (error)
        winsim::detail::SetError(*error);
    return error;
}

UINT CopyValue(const std::string& value, char* buffer, DWORD* pcch, bool wideBytes) {
    const DWORD length = static_cast<DWORD>(value.size());
    const DWORD needed = wideBytes ? length * 2 : length;
    if (!pcch)
        return buffer ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    if (!buffer) {
        *pcch = needed;
        return ERROR_SUCCESS;
    }
    if (length >= *pcch) {
        if (*pcch > 0) {
            std::memcpy(buffer, value.data(), *pcch - 1);
            buffer[*pcch - 1] = '\0';
        }
        *pcch = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, value.c_str(), length + 1);
    *pcch = length;
    return ERROR_SUCCESS;
}

std::string FieldText(const Field& f) {
    switch (f.kind) {
    case Field::Int:
        return std::to_string(f.i);
    case Field::Str:
        return f.s;
    case Field::Stream:
    case Field::Null:
        break;
    }
    return "";
}

std::string FormatRecord(const Record& rec, bool withSession) {
    std::string tmpl = FieldText(rec.fields[0]);
    if (tmpl.empty()) {
        // No template: every field as "n: [n] ", the form the engine logs such records in.
        for (size_t n = 1; n <= rec.Count(); ++n)
            tmpl += std::to_string(n) + ": [" + std::to_string(n) + "] ";
    }
    return Formatter(rec, withSession).Expand(tmpl).text;
}

std::optional<std::string> SessionProperty(const std::string& name) {
    State& s = S();
    if (s.deferred) {
        // Only these survive into the installation script.
        if (name == "CustomActionData")
            return s.customActionData;
        if (name == "ProductCode" && s.deferredMode == MSIRUNMODE_COMMIT)
            return std::nullopt;
        if (name != "ProductCode" && name != "UserSID")
            return std::nullopt;
    }
    auto it = s.properties.find(name);
    if (it == s.properties.end())
        return std::nullopt;
    return it->second;
}

} // namespace winsim::msi::impl

// ---- fixture API -----------------------------------------------------------------------------

namespace winsim::msi {

using namespace impl;
using winsim::detail::Guard;
using winsim::detail::MachineLock;

unsigned long SessionHandle() {
    Guard g(MachineLock());
    return S().session;
}

int LeakedHandles() {
    Guard g(MachineLock());
    return static_cast<int>(S().handles.size());
}

void SetProperty(const std::string& name, const std::string& value) {
    Guard g(MachineLock());
    if (value.empty())
        S().properties.erase(name);
    else
        S().properties[name] = value;
}

void RemoveProperty(const std::string& name) {
    Guard g(MachineLock());
    S().properties.erase(name);
}

std::optional<std::string> Property(const std::string& name) {
    Guard g(MachineLock());
    auto it = S().properties.find(name);
    if (it == S().properties.end())
        return std::nullopt;
    return it->second;
}

std::map<std::string, std::string> Properties() {
    Guard g(MachineLock());
    return S().properties;
}

void SetMode(int mode, bool on) {
    Guard g(MachineLock());
    if (mode >= 0 && mode < static_cast<int>(S().modes.size()))
        S().modes[mode] = on;
}

bool Mode(int mode) {
    Guard g(MachineLock());
    return mode >= 0 && mode < static_cast<int>(S().modes.size()) && S().modes[mode];
}

void EnterDeferred(const std::string& actionName, int mode, bool asLocalSystem) {
    Guard g(MachineLock());
    State& s = S();
    winsim::detail::SetRunningAsSystem(asLocalSystem);
    if (mode != MSIRUNMODE_SCHEDULED && mode != MSIRUNMODE_ROLLBACK && mode != MSIRUNMODE_COMMIT)
        mode = MSIRUNMODE_SCHEDULED;
    s.deferred = true;
    s.deferredMode = mode;
    s.modes[MSIRUNMODE_SCHEDULED] = s.modes[MSIRUNMODE_ROLLBACK] = s.modes[MSIRUNMODE_COMMIT] = false;
    s.modes[mode] = true;
    auto it = s.properties.find(actionName);
    s.customActionData = it == s.properties.end() ? "" : it->second;
}

void LeaveDeferred() {
    Guard g(MachineLock());
    State& s = S();
    winsim::detail::SetRunningAsSystem(false);
    s.deferred = false;
    s.deferredMode = 0;
    s.customActionData.clear();
    s.modes[MSIRUNMODE_SCHEDULED] = s.modes[MSIRUNMODE_ROLLBACK] = s.modes[MSIRUNMODE_COMMIT] = false;
}

const std::vector<Message>& Messages() {
    Guard g(MachineLock());
    return S().messages;
}

std::vector<std::string> LogLines() {
    Guard g(MachineLock());
    std::vector<std::string> lines;
    for (const Message& m : S().messages) {
        if (m.type != INSTALLMESSAGE_INFO)
            continue;
        if (!m.fields.empty() && !m.fields[0].empty()) {
            lines.push_back(m.text);
            continue;
        }
        std::string line;
        for (size_t i = 1; i < m.fields.size(); ++i)
            line += (i > 1 ? " " : "") + m.fields[i];
        lines.push_back(line);
    }
    return lines;
}

void ClearMessages() {
    Guard g(MachineLock());
    S().messages.clear();
}

void ReplyTo(int type, int nth, int reply) {
    Guard g(MachineLock());
    S().replies.push_back(ScriptedReply{type, std::max(nth, 1), reply});
}

void AddFeature(const std::string& feature, int installed, int action) {
    Guard g(MachineLock());
    AddState(S().features, feature, installed, action);
}

std::optional<std::pair<int, int>> Feature(const std::string& feature) {
    Guard g(MachineLock());
    return StateOf(S().features, feature);
}

void DefineFeatures(const std::vector<FeatureSpec>& features) {
    Guard g(MachineLock());
    DefineStandardTable("Feature");
    for (const FeatureSpec& f : features) {
        AddRow("Feature", {Field::str(f.name), f.parent.empty() ? Field::null() : Field::str(f.parent),
                           Field::str(f.name), Field::null(), Field::integer(1), Field::integer(1),
                           Field::null(), Field::integer(0)});
        AddState(S().features, f.name, f.installed, f.action);
    }
}

void AddComponent(const std::string& component, int installed, int action) {
    Guard g(MachineLock());
    AddState(S().components, component, installed, action);
}

std::optional<std::pair<int, int>> Component(const std::string& component) {
    Guard g(MachineLock());
    return StateOf(S().components, component);
}

int InstallLevel() {
    Guard g(MachineLock());
    return S().installLevel;
}

void OnDoAction(const std::string& action, std::function<UINT()> handler) {
    Guard g(MachineLock());
    S().actionHandlers[action] = std::move(handler);
}

std::vector<std::string> ActionsDone() {
    Guard g(MachineLock());
    return S().actionsDone;
}

} // namespace winsim::msi

// ---- simulated functions ---------------------------------------------------------------------

using namespace winsim::msi::impl;
using winsim::detail::Guard;
using winsim::detail::MachineLock;
using winsim::msi::Field;

namespace {

// Features and components answer alike, each list with its own "unknown" error; `use` reads or
// changes the (installed, action) pair of the one named.
template <class Fn>
UINT WithState(const char* function, MSIHANDLE hInstall, StateList State::*list, UINT unknown, LPCSTR szName,
               Fn use) {
    Guard g(MachineLock());
    if (auto e = Fault(function, szName))
        return *e;
    if (!IsSession(hInstall) || S().deferred)
        return ERROR_INVALID_HANDLE;
    StateList& states = S().*list;
    auto it = szName ? FindNamed(states, szName) : states.end();
    if (it == states.end())
        return unknown;
    return use(it->second);
}

UINT GetState(std::pair<int, int>& state, INSTALLSTATE* piInstalled, INSTALLSTATE* piAction) {
    if (!piInstalled || !piAction)
        return RPC_X_NULL_REF_POINTER;
    *piInstalled = static_cast<INSTALLSTATE>(state.first);
    *piAction = static_cast<INSTALLSTATE>(state.second);
    return ERROR_SUCCESS;
}

UINT SetAction(std::pair<int, int>& state, INSTALLSTATE iState) {
    state.second = iState;
    return ERROR_SUCCESS;
}

} // namespace

UINT WINAPI MsiGetPropertyA(MSIHANDLE hInstall, LPCSTR szName, LPSTR szValueBuf, LPDWORD pcchValueBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiGetPropertyA", szName))
        return *e;
    if (!IsSession(hInstall))
        return ERROR_INVALID_HANDLE;
    if (!szName)
        return ERROR_INVALID_PARAMETER;
    return CopyValue(SessionProperty(szName).value_or(""), szValueBuf, pcchValueBuf, true);
}

UINT WINAPI MsiSetPropertyA(MSIHANDLE hInstall, LPCSTR szName, LPCSTR szValue) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiSetPropertyA", szName))
        return *e;
    if (!IsSession(hInstall))
        return ERROR_INVALID_HANDLE;
    if (!szName)
        return ERROR_INVALID_PARAMETER;
    if (S().deferred)
        return ERROR_FUNCTION_FAILED;
    if (!*szName)
        return szValue ? ERROR_FUNCTION_FAILED : ERROR_SUCCESS;
    if (!szValue || !*szValue)
        S().properties.erase(szName);
    else
        S().properties[szName] = szValue;
    return ERROR_SUCCESS;
}

BOOL WINAPI MsiGetMode(MSIHANDLE hInstall, MSIRUNMODE eRunMode) {
    Guard g(MachineLock());
    if (Fault("MsiGetMode"))
        return FALSE;
    if (!IsSession(hInstall) || eRunMode < 0 || eRunMode >= static_cast<int>(S().modes.size()))
        return FALSE;
    // A deferred action learns only which part of the script it runs in.
    if (S().deferred && eRunMode != MSIRUNMODE_SCHEDULED && eRunMode != MSIRUNMODE_ROLLBACK &&
        eRunMode != MSIRUNMODE_COMMIT)
        return FALSE;
    return S().modes[eRunMode] ? TRUE : FALSE;
}

UINT WINAPI MsiSetMode(MSIHANDLE hInstall, MSIRUNMODE eRunMode, BOOL fState) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiSetMode"))
        return *e;
    // A deferred action may only read properties, format records, ask the modes and the
    // language and send messages; Windows treats its handle as invalid for anything else.
    if (!IsSession(hInstall) || S().deferred)
        return ERROR_INVALID_HANDLE;
    if (eRunMode != MSIRUNMODE_REBOOTATEND && eRunMode != MSIRUNMODE_REBOOTNOW)
        return ERROR_ACCESS_DENIED;
    S().modes[eRunMode] = fState != FALSE;
    return ERROR_SUCCESS;
}

UINT WINAPI MsiDoActionA(MSIHANDLE hInstall, LPCSTR szAction) {
    std::function<UINT()> handler;
    {
        Guard g(MachineLock());
        if (auto e = Fault("MsiDoActionA", szAction))
            return *e;
        if (!IsSession(hInstall) || S().deferred)
            return ERROR_INVALID_HANDLE;
        if (!szAction)
            return ERROR_INVALID_PARAMETER;
        S().actionsDone.push_back(szAction);
        auto it = S().actionHandlers.find(szAction);
        if (it != S().actionHandlers.end()) {
            handler = it->second;
        } else if (std::strcmp(szAction, "ResolveSource") == 0) {
            if (!S().properties.count("SourceDir")) {
                std::string db =
                    S().properties.count("OriginalDatabase") ? S().properties["OriginalDatabase"] : "";
                size_t slash = db.find_last_of('\\');
                std::string dir = slash == std::string::npos ? "C:\\" : db.substr(0, slash + 1);
                S().properties["SourceDir"] = dir;
                S().properties["SOURCEDIR"] = dir;
            }
            return ERROR_SUCCESS;
        } else if (std::strcmp(szAction, "WriteRegistryValues") == 0) {
            return RunWriteRegistryValues();
        } else if (std::strcmp(szAction, "RemoveRegistryValues") == 0) {
            return RunRemoveRegistryValues();
        } else if (std::strcmp(szAction, "RemoveFiles") == 0) {
            return RunRemoveFiles();
        } else {
            return ERROR_SUCCESS;
        }
    }
    // The handler may call back into the session.
    return handler();
}

int WINAPI MsiProcessMessage(MSIHANDLE hInstall, INSTALLMESSAGE eMessageType, MSIHANDLE hRecord) {
    Guard g(MachineLock());
    if (Fault("MsiProcessMessage"))
        return -1;
    auto rec = FindRecord(hRecord);
    if (!IsSession(hInstall) || !rec)
        return -1;
    const int type = static_cast<int>(static_cast<unsigned>(eMessageType) & 0xFF000000u);
    winsim::msi::Message m;
    m.type = type;
    for (const Field& f : rec->fields)
        m.fields.push_back(FieldText(f));
    m.text = FormatRecord(*rec, true);
    S().messages.push_back(std::move(m));

    // With no user interface the engine logs INFO and answers IDOK; other messages get "no
    // action taken".
    int reply = type == INSTALLMESSAGE_INFO ? IDOK : 0;
    bool scripted = false;
    auto& replies = S().replies;
    for (auto it = replies.begin(); it != replies.end();) {
        if (it->type != 0 && it->type != type) {
            ++it;
            continue;
        }
        if (--it->remaining == 0) {
            if (!scripted) {
                reply = it->reply;
                scripted = true;
            }
            it = replies.erase(it);
        } else {
            ++it;
        }
    }
    return reply;
}

UINT WINAPI MsiFormatRecordA(MSIHANDLE hInstall, MSIHANDLE hRecord, LPSTR szResultBuf,
                             LPDWORD pcchResultBuf) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiFormatRecordA"))
        return *e;
    auto rec = FindRecord(hRecord);
    if (!rec || (hInstall != 0 && !IsSession(hInstall)))
        return ERROR_INVALID_HANDLE;
    const bool withSession = hInstall != 0;
    return CopyValue(FormatRecord(*rec, withSession), szResultBuf, pcchResultBuf, withSession);
}

UINT WINAPI MsiGetFeatureStateA(MSIHANDLE hInstall, LPCSTR szFeature, INSTALLSTATE* piInstalled,
                                INSTALLSTATE* piAction) {
    return WithState("MsiGetFeatureStateA", hInstall, &State::features, ERROR_UNKNOWN_FEATURE, szFeature,
                     [&](auto& state) { return GetState(state, piInstalled, piAction); });
}

UINT WINAPI MsiSetFeatureStateA(MSIHANDLE hInstall, LPCSTR szFeature, INSTALLSTATE iState) {
    return WithState("MsiSetFeatureStateA", hInstall, &State::features, ERROR_UNKNOWN_FEATURE, szFeature,
                     [&](auto& state) { return SetAction(state, iState); });
}

UINT WINAPI MsiGetComponentStateA(MSIHANDLE hInstall, LPCSTR szComponent, INSTALLSTATE* piInstalled,
                                  INSTALLSTATE* piAction) {
    return WithState("MsiGetComponentStateA", hInstall, &State::components, ERROR_UNKNOWN_COMPONENT,
                     szComponent, [&](auto& state) { return GetState(state, piInstalled, piAction); });
}

UINT WINAPI MsiSetComponentStateA(MSIHANDLE hInstall, LPCSTR szComponent, INSTALLSTATE iState) {
    return WithState("MsiSetComponentStateA", hInstall, &State::components, ERROR_UNKNOWN_COMPONENT,
                     szComponent, [&](auto& state) { return SetAction(state, iState); });
}

UINT WINAPI MsiSetInstallLevel(MSIHANDLE hInstall, int iInstallLevel) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiSetInstallLevel"))
        return *e;
    if (!IsSession(hInstall) || S().deferred)
        return ERROR_INVALID_HANDLE;
    S().installLevel = iInstallLevel;
    S().properties["INSTALLLEVEL"] = std::to_string(iInstallLevel);
    return ERROR_SUCCESS;
}

UINT WINAPI MsiCloseHandle(MSIHANDLE hAny) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiCloseHandle"))
        return *e;
    // The session belongs to the engine; closing the action's copy of it is harmless.
    if (hAny == 0 || IsSession(hAny))
        return ERROR_SUCCESS;
    return S().handles.erase(hAny) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

UINT WINAPI MsiCloseAllHandles(void) {
    Guard g(MachineLock());
    if (auto e = Fault("MsiCloseAllHandles"))
        return *e;
    UINT open = static_cast<UINT>(S().handles.size());
    S().handles.clear();
    return open;
}
