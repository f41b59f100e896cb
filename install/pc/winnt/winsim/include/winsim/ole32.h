// ole32 of the simulated machine: COM's identifiers, IUnknown and IMalloc, initialisation and
// object creation, with Windows' names and values. The only class the machine knows is the
// shell's shortcut (CLSID_ShellLink, winsim/shell32.h).
#pragma once
#include "winsim/wintypes.h"
#include "winsim/kernel32.h"

#include <string.h>

#define STDMETHODCALLTYPE
#define STDMETHOD(name) virtual HRESULT STDMETHODCALLTYPE name
#define STDMETHOD_(type, name) virtual type STDMETHODCALLTYPE name

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b);
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

#ifndef HRESULT_FROM_WIN32
#define HRESULT_FROM_WIN32(x)                                                                                \
    ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((x)&0x0000FFFF) | (7 << 16) | 0x80000000)))
#endif
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17

#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IMalloc : public IUnknown {
    STDMETHOD_(void*, Alloc)(SIZE_T cb) = 0;
    STDMETHOD_(void*, Realloc)(void* pv, SIZE_T cb) = 0;
    STDMETHOD_(void, Free)(void* pv) = 0;
    STDMETHOD_(SIZE_T, GetSize)(void* pv) = 0;
    STDMETHOD_(int, DidAlloc)(void* pv) = 0;
    STDMETHOD_(void, HeapMinimize)() = 0;
};
typedef IMalloc* LPMALLOC;

struct IPersist : public IUnknown {
    STDMETHOD(GetClassID)(CLSID* pClassID) = 0;
};

// Load(wide path, STGM_*): on the machine a shortcut file of winsim::fs::WriteShortcut; any other
// file fails with E_FAIL, a missing or refused one with HRESULT_FROM_WIN32 of the file error.
// Save writes that format.
struct IPersistFile : public IPersist {
    STDMETHOD(IsDirty)() = 0;
    STDMETHOD(Load)(LPCOLESTR pszFileName, DWORD dwMode) = 0;
    STDMETHOD(Save)(LPCOLESTR pszFileName, BOOL fRemember) = 0;
    STDMETHOD(SaveCompleted)(LPCOLESTR pszFileName) = 0;
    STDMETHOD(GetCurFile)(LPOLESTR* ppszFileName) = 0;
};

WINSIM_EXTERN_C const IID IID_IUnknown;
WINSIM_EXTERN_C const IID IID_IMalloc;
WINSIM_EXTERN_C const IID IID_IPersistFile;

// Each successful CoInitializeEx (S_OK, or S_FALSE when already initialised) needs its
// CoUninitialize; a different apartment model than the thread's gives RPC_E_CHANGED_MODE (no
// CoUninitialize owed). CoCreateInstance without initialisation is CO_E_NOTINITIALIZED.
WINSIM_API HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
WINSIM_API void WINAPI CoUninitialize(void);
WINSIM_API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                           REFIID riid, LPVOID* ppv);
