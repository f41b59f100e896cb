// shell32 and ole32: special folders, item lists, change notification, COM initialisation and
// the shortcut object over the simulated file system.
#include "fsinternal.h"

#include "winsim/kernel32.h"
#include "winsim/ole32.h"
#include "winsim/shell32.h"
#include "winsim/sim_core.h"
#include "winsim/sim_fs.h"

#include <cstring>
#include <set>
#include <string>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IMalloc = {0x00000002, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace winsim {
namespace {

using detail::Guard;

constexpr char kShortcutMagic[] = "WINSIM-SHORTCUT";

struct State {
    int comInits = 0;      // CoInitializeEx calls not yet balanced
    DWORD apartment = 0;   // the model of the first initialisation
    int objects = 0;       // COM objects not yet released
    std::set<void*> pidls; // item lists not yet freed
};

State MakeInitial() {
    return State{};
}

State& S() {
    static State state = MakeInitial();
    return state;
}

const bool kRegistered = detail::ResetTo<S, MakeInitial>();

struct Folder {
    int csidl;
    const char* path;
};
const Folder kFolders[] = {
    {CSIDL_PROGRAMS, "C:\\Users\\Admin\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
    {CSIDL_STARTMENU, "C:\\Users\\Admin\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu"},
    {CSIDL_DESKTOPDIRECTORY, "C:\\Users\\Admin\\Desktop"},
    {CSIDL_COMMON_STARTMENU, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu"},
    {CSIDL_COMMON_PROGRAMS, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
    {CSIDL_COMMON_DESKTOPDIRECTORY, "C:\\Users\\Public\\Desktop"},
};

const char* FolderOf(int csidl) {
    for (const Folder& f : kFolders)
        if (f.csidl == (csidl & ~CSIDL_FLAG_CREATE))
            return f.path;
    return nullptr;
}

std::string Narrow(LPCOLESTR text) {
    std::string out;
    for (; text && *text; ++text)
        out += (*text > 0 && *text < 0x80) ? static_cast<char>(*text) : '?';
    return out;
}

HRESULT FromError(DWORD error) {
    return HRESULT_FROM_WIN32(error);
}

void CopyCut(const std::string& text, LPSTR buffer, int cch) {
    if (!buffer || cch <= 0)
        return;
    const size_t n = std::min(text.size(), static_cast<size_t>(cch - 1));
    memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// The fault of a method: its HRESULT is the injected error as it stands.
bool MethodFault(const char* function, HRESULT& hr, const char* arg = nullptr) {
    if (auto e = Faulted(function, arg)) {
        hr = static_cast<HRESULT>(*e);
        return true;
    }
    return false;
}

class ShellLink final : public IShellLinkA, public IPersistFile {
  public:
    ShellLink() { ++S().objects; }
    ~ShellLink() { --S().objects; }

    // IUnknown (both interfaces share one identity and count).
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        Guard g(detail::MachineLock());
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        HRESULT hr = S_OK;
        if (MethodFault("IShellLinkA::QueryInterface", hr))
            return hr;
        if (riid == IID_IUnknown || riid == IID_IShellLinkA)
            *ppv = static_cast<IShellLinkA*>(this);
        else if (riid == IID_IPersistFile)
            *ppv = static_cast<IPersistFile*>(this);
        else
            return E_NOINTERFACE;
        ++refs_;
        return S_OK;
    }
    ULONG AddRef() override {
        Guard g(detail::MachineLock());
        return ++refs_;
    }
    ULONG Release() override {
        Guard g(detail::MachineLock());
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

    // IShellLinkA.
    HRESULT GetPath(LPSTR pszFile, int cch, WIN32_FIND_DATAA* pfd, DWORD) override {
        Guard g(detail::MachineLock());
        HRESULT hr = S_OK;
        if (MethodFault("IShellLinkA::GetPath", hr)) {
            CopyCut("", pszFile, cch);
            return hr;
        }
        if (!pszFile || cch <= 0)
            return E_INVALIDARG;
        if (pfd)
            memset(pfd, 0, sizeof(*pfd));
        CopyCut(target_, pszFile, cch);
        return target_.empty() ? S_FALSE : S_OK;
    }
    HRESULT GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
    HRESULT SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT GetDescription(LPSTR pszName, int cch) override { return Get(description_, pszName, cch); }
    HRESULT SetDescription(LPCSTR pszName) override { return Set(description_, pszName); }
    HRESULT GetWorkingDirectory(LPSTR pszDir, int cch) override { return Get(directory_, pszDir, cch); }
    HRESULT SetWorkingDirectory(LPCSTR pszDir) override { return Set(directory_, pszDir); }
    HRESULT GetArguments(LPSTR pszArgs, int cch) override { return Get(arguments_, pszArgs, cch); }
    HRESULT SetArguments(LPCSTR pszArgs) override { return Set(arguments_, pszArgs); }
    HRESULT GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT GetIconLocation(LPSTR, int, int*) override { return E_NOTIMPL; }
    HRESULT SetIconLocation(LPCSTR, int) override { return E_NOTIMPL; }
    HRESULT SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT Resolve(HWND, DWORD) override { return S_OK; }
    HRESULT SetPath(LPCSTR pszFile) override { return Set(target_, pszFile); }

    // IPersistFile.
    HRESULT GetClassID(CLSID* pClassID) override {
        if (!pClassID)
            return E_POINTER;
        *pClassID = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT IsDirty() override { return S_FALSE; }
    HRESULT Load(LPCOLESTR pszFileName, DWORD) override {
        Guard g(detail::MachineLock());
        const std::string path = Narrow(pszFileName);
        HRESULT hr = S_OK;
        if (MethodFault("IPersistFile::Load", hr, path.c_str()))
            return hr;
        detail::fsys::FileImage image;
        if (DWORD error = detail::fsys::ReadImage(path.c_str(), image))
            return FromError(error);
        ShellLink loaded;
        if (!loaded.Parse(image.data))
            return E_FAIL;
        target_ = loaded.target_;
        arguments_ = loaded.arguments_;
        directory_ = loaded.directory_;
        description_ = loaded.description_;
        return S_OK;
    }
    HRESULT Save(LPCOLESTR pszFileName, BOOL) override {
        Guard g(detail::MachineLock());
        const std::string path = Narrow(pszFileName);
        HRESULT hr = S_OK;
        if (MethodFault("IPersistFile::Save", hr, path.c_str()))
            return hr;
        auto opened =
            detail::fsys::Open(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
        if (opened.error != 0 && opened.error != ERROR_ALREADY_EXISTS)
            return FromError(opened.error);
        const std::string bytes = Format();
        if (DWORD error = detail::fsys::Write(*opened.file, bytes.data(), bytes.size()))
            return FromError(error);
        return S_OK;
    }
    HRESULT SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

    std::string Format() const {
        return std::string(kShortcutMagic) + "\r\nTarget=" + target_ + "\r\nArguments=" + arguments_ +
               "\r\nWorkingDirectory=" + directory_ + "\r\nDescription=" + description_ + "\r\n";
    }
    void SetTarget(const std::string& target) { target_ = target; }

  private:
    HRESULT Get(const std::string& value, LPSTR buffer, int cch) {
        if (!buffer || cch <= 0)
            return E_INVALIDARG;
        CopyCut(value, buffer, cch);
        return S_OK;
    }
    HRESULT Set(std::string& value, LPCSTR text) {
        value = text ? text : "";
        return S_OK;
    }
    bool Parse(const std::string& data) {
        if (data.compare(0, sizeof(kShortcutMagic) - 1, kShortcutMagic) != 0)
            return false;
        size_t pos = data.find('\n');
        while (pos != std::string::npos && pos + 1 < data.size()) {
            const size_t end = data.find('\n', pos + 1);
            std::string line =
                data.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const size_t eq = line.find('=');
            if (eq != std::string::npos) {
                const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
                if (key == "Target")
                    target_ = value;
                else if (key == "Arguments")
                    arguments_ = value;
                else if (key == "WorkingDirectory")
                    directory_ = value;
                else if (key == "Description")
                    description_ = value;
            }
            pos = end;
        }
        return true;
    }

    ULONG refs_ = 1;
    std::string target_, arguments_, directory_, description_;
};

// The shell's allocator: item lists are freed through it.
class ShellMalloc final : public IMalloc {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = (riid == IID_IUnknown || riid == IID_IMalloc) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    // One static allocator: its count does not end its life.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    void* Alloc(SIZE_T cb) override { return cb ? new char[cb] : nullptr; }
    void* Realloc(void*, SIZE_T) override { return nullptr; }
    void Free(void* pv) override {
        Guard g(detail::MachineLock());
        if (!pv)
            return;
        S().pidls.erase(pv);
        delete[] static_cast<char*>(pv);
    }
    SIZE_T GetSize(void*) override { return static_cast<SIZE_T>(-1); }
    int DidAlloc(void* pv) override {
        Guard g(detail::MachineLock());
        return S().pidls.count(pv) ? 1 : -1;
    }
    void HeapMinimize() override {}
};

ShellMalloc g_malloc;

} // namespace

namespace detail {

int ShellObjectCount() {
    Guard g(MachineLock());
    return S().comInits + S().objects + static_cast<int>(S().pidls.size());
}

} // namespace detail

namespace fs {

std::string SpecialFolder(int csidl) {
    const char* path = FolderOf(csidl);
    return path ? path : "";
}

void WriteShortcut(const std::string& path, const std::string& target) {
    ShellLink* link = new ShellLink();
    link->SetTarget(target);
    WriteFile(path, link->Format());
    static_cast<IShellLinkA*>(link)->Release();
}

} // namespace fs
} // namespace winsim

using namespace winsim;

// ---- shell32 -----------------------------------------------------------------------------------

// An item list holds the folder's path after a two-byte size, the shell's own layout for it.
HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int csidl, PIDLIST_ABSOLUTE* ppidl) {
    Guard g(detail::MachineLock());
    if (!ppidl)
        return E_INVALIDARG;
    *ppidl = nullptr;
    if (auto e = Faulted("SHGetSpecialFolderLocation"))
        return static_cast<HRESULT>(*e);
    const char* path = FolderOf(csidl);
    if (!path)
        return E_INVALIDARG;
    if (!fs::IsDir(path)) {
        if ((csidl & CSIDL_FLAG_CREATE) == 0)
            return FromError(ERROR_FILE_NOT_FOUND);
        fs::MakeDirs(path);
    }
    const size_t len = strlen(path);
    char* block = new char[sizeof(USHORT) + len + 1 + sizeof(USHORT)]();
    const USHORT cb = static_cast<USHORT>(sizeof(USHORT) + len + 1);
    memcpy(block, &cb, sizeof(cb));
    memcpy(block + sizeof(USHORT), path, len + 1);
    S().pidls.insert(block);
    *ppidl = reinterpret_cast<PIDLIST_ABSOLUTE>(block);
    return S_OK;
}

BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath) {
    Guard g(detail::MachineLock());
    if (pszPath)
        pszPath[0] = '\0';
    if (detail::Fail("SHGetPathFromIDListA"))
        return FALSE;
    if (!pidl || !pszPath || !S().pidls.count(const_cast<ITEMIDLIST*>(pidl)))
        return FALSE;
    const char* path = reinterpret_cast<const char*>(pidl) + sizeof(USHORT);
    return detail::CopyOut(path, pszPath, MAX_PATH) ? TRUE : FALSE;
}

HRESULT WINAPI SHGetMalloc(IMalloc** ppMalloc) {
    Guard g(detail::MachineLock());
    if (!ppMalloc)
        return E_INVALIDARG;
    *ppMalloc = nullptr;
    if (auto e = Faulted("SHGetMalloc"))
        return static_cast<HRESULT>(*e);
    *ppMalloc = &g_malloc;
    return S_OK;
}

// A fault is a notification lost on its way: the caller cannot tell.
void WINAPI SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID) {
    Guard g(detail::MachineLock());
    if (Faulted("SHChangeNotify"))
        return;
    Event e;
    e.kind = "shellnotify";
    if ((uFlags & 0xFF) == SHCNF_PATHA && dwItem1)
        e.text = static_cast<const char*>(dwItem1);
    e.flags = static_cast<unsigned>(wEventId);
    RecordEvent(e);
}

// ---- ole32 -------------------------------------------------------------------------------------

HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit) {
    Guard g(detail::MachineLock());
    if (auto e = Faulted("CoInitializeEx"))
        return static_cast<HRESULT>(*e);
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (S().comInits > 0 && S().apartment != model)
        return RPC_E_CHANGED_MODE;
    if (S().comInits++ == 0) {
        S().apartment = model;
        return S_OK;
    }
    return S_FALSE;
}

void WINAPI CoUninitialize(void) {
    Guard g(detail::MachineLock());
    if (S().comInits > 0)
        --S().comInits;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD, REFIID riid, LPVOID* ppv) {
    Guard g(detail::MachineLock());
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (auto e = Faulted("CoCreateInstance"))
        return static_cast<HRESULT>(*e);
    if (S().comInits == 0)
        return CO_E_NOTINITIALIZED;
    if (!(rclsid == CLSID_ShellLink))
        return REGDB_E_CLASSNOTREG;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    ShellLink* link = new ShellLink();
    IShellLinkA* unknown = link;
    const HRESULT hr = unknown->QueryInterface(riid, ppv);
    unknown->Release();
    return hr;
}

// ---- kernel32 ----------------------------------------------------------------------------------

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
    Guard g(detail::MachineLock());
    if (detail::Fail("MultiByteToWideChar", lpMultiByteStr))
        return 0;
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (CodePage != CP_ACP && CodePage != CP_UTF8)) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t n = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    if (cchWideChar == 0)
        return static_cast<int>(n);
    if (!lpWideCharStr || static_cast<size_t>(cchWideChar) < n) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < n; ++i)
        lpWideCharStr[i] = static_cast<WCHAR>(static_cast<unsigned char>(lpMultiByteStr[i]));
    return static_cast<int>(n);
}
