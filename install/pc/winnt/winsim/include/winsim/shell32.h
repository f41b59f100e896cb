// shell32 of the simulated machine: ShellExecuteExA and its structure, special folders, item
// lists, change notification and the shortcut object, with Windows' names and values. The SW_*
// show values are user32's (winsim/user32.h).
#pragma once
#include "winsim/wintypes.h"
#include "winsim/user32.h"
#include "winsim/kernel32.h"
#include "winsim/ole32.h"

#define SEE_MASK_DEFAULT 0x00000000
#define SEE_MASK_CLASSNAME 0x00000001
#define SEE_MASK_CLASSKEY 0x00000003
#define SEE_MASK_IDLIST 0x00000004
#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_CONNECTNETDRV 0x00000080
#define SEE_MASK_NOASYNC 0x00000100
#define SEE_MASK_DOENVSUBST 0x00000200
#define SEE_MASK_FLAG_NO_UI 0x00000400
#define SEE_MASK_NO_CONSOLE 0x00008000
#define SEE_MASK_WAITFORINPUTIDLE 0x02000000

// What hInstApp holds after a failure (a value above 32 means success).
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

#ifndef ERROR_NO_ASSOCIATION
#define ERROR_NO_ASSOCIATION 1155L
#endif

typedef struct _SHELLEXECUTEINFOA {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCSTR lpVerb;
    LPCSTR lpFile;
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCSTR lpClass;
    HKEY hkeyClass;
    DWORD dwHotKey;
    union {
        HANDLE hIcon;
        HANDLE hMonitor;
    };
    HANDLE hProcess;
} SHELLEXECUTEINFOA, *LPSHELLEXECUTEINFOA;
typedef SHELLEXECUTEINFOA SHELLEXECUTEINFO;
typedef LPSHELLEXECUTEINFOA LPSHELLEXECUTEINFO;

// Starts a program of the simulated machine (winsim/sim_proc.h tells how programs are found and
// what they do). Verbs: NULL, "" or "open" in any case; others fail with ERROR_NO_ASSOCIATION.
WINSIM_API BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo);

// ---- Special folders and item lists ------------------------------------------------------------

#define CSIDL_DESKTOP 0x0000
#define CSIDL_PROGRAMS 0x0002
#define CSIDL_STARTMENU 0x000b
#define CSIDL_DESKTOPDIRECTORY 0x0010
#define CSIDL_COMMON_STARTMENU 0x0016
#define CSIDL_COMMON_PROGRAMS 0x0017
#define CSIDL_COMMON_DESKTOPDIRECTORY 0x0019
#define CSIDL_FLAG_CREATE 0x8000

typedef struct _SHITEMID {
    USHORT cb;
    BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
    SHITEMID mkid;
} ITEMIDLIST;
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;

// The folder of a CSIDL (winsim::fs::SpecialFolder); an unknown CSIDL is E_INVALIDARG. The item
// list is the shell's allocation: the caller frees it through SHGetMalloc's Free.
WINSIM_API HRESULT WINAPI SHGetSpecialFolderLocation(HWND hwnd, int csidl, PIDLIST_ABSOLUTE* ppidl);
// Buffer of MAX_PATH characters; FALSE (empty buffer) for an item list that names no folder.
WINSIM_API BOOL WINAPI SHGetPathFromIDListA(PCIDLIST_ABSOLUTE pidl, LPSTR pszPath);
WINSIM_API HRESULT WINAPI SHGetMalloc(IMalloc** ppMalloc);

#define SHCNE_RENAMEITEM 0x00000001L
#define SHCNE_CREATE 0x00000002L
#define SHCNE_DELETE 0x00000004L
#define SHCNE_MKDIR 0x00000008L
#define SHCNE_RMDIR 0x00000010L
#define SHCNE_UPDATEDIR 0x00001000L
#define SHCNE_ALLEVENTS 0x7FFFFFFFL
#define SHCNF_IDLIST 0x0000
#define SHCNF_PATHA 0x0001
#define SHCNF_PATH SHCNF_PATHA
#define SHCNF_FLUSH 0x1000
// Recorded as an event "shellnotify": text the path (SHCNF_PATHA) or "", flags the event id.
WINSIM_API void WINAPI SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2);

// ---- The shortcut object ----------------------------------------------------------------------

#define SLGP_SHORTPATH 0x0001
#define SLGP_UNCPRIORITY 0x0002
#define SLGP_RAWPATH 0x0004

// CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, ...); its
// IPersistFile (QueryInterface) loads and saves the shortcut file. GetPath gives the target (cut
// to cch - 1 characters), S_FALSE with an empty buffer when the shortcut has none. Only the path,
// arguments, working folder and description are kept; the other members answer E_NOTIMPL.
struct IShellLinkA : public IUnknown {
    STDMETHOD(GetPath)(LPSTR pszFile, int cch, WIN32_FIND_DATAA* pfd, DWORD fFlags) = 0;
    STDMETHOD(GetIDList)(PIDLIST_ABSOLUTE* ppidl) = 0;
    STDMETHOD(SetIDList)(PCIDLIST_ABSOLUTE pidl) = 0;
    STDMETHOD(GetDescription)(LPSTR pszName, int cch) = 0;
    STDMETHOD(SetDescription)(LPCSTR pszName) = 0;
    STDMETHOD(GetWorkingDirectory)(LPSTR pszDir, int cch) = 0;
    STDMETHOD(SetWorkingDirectory)(LPCSTR pszDir) = 0;
    STDMETHOD(GetArguments)(LPSTR pszArgs, int cch) = 0;
    STDMETHOD(SetArguments)(LPCSTR pszArgs) = 0;
    STDMETHOD(GetHotkey)(WORD* pwHotkey) = 0;
    STDMETHOD(SetHotkey)(WORD wHotkey) = 0;
    STDMETHOD(GetShowCmd)(int* piShowCmd) = 0;
    STDMETHOD(SetShowCmd)(int iShowCmd) = 0;
    STDMETHOD(GetIconLocation)(LPSTR pszIconPath, int cch, int* piIcon) = 0;
    STDMETHOD(SetIconLocation)(LPCSTR pszIconPath, int iIcon) = 0;
    STDMETHOD(SetRelativePath)(LPCSTR pszPathRel, DWORD dwReserved) = 0;
    STDMETHOD(Resolve)(HWND hwnd, DWORD fFlags) = 0;
    STDMETHOD(SetPath)(LPCSTR pszFile) = 0;
};

WINSIM_EXTERN_C const CLSID CLSID_ShellLink;
WINSIM_EXTERN_C const IID IID_IShellLinkA;
