// Shortcuts of a shell folder whose target is one of the product's programs: deleted or stacked.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnDelete.h"

#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kFunction[] = "DeleteShortcut";

// COM for the length of one walk; a thread already in another apartment model is usable as it is.
class ComScope {
  public:
    ComScope() : m_hr(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    BOOL IsUsable() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }
    HRESULT Result() const { return m_hr; }

  private:
    HRESULT m_hr;
};

// The folder of a CSIDL. The allocator is taken first, so the item list is always freed.
BOOL GetSpecialFolder(int iFolder, char (&szFolder)[ZEB_CCH_PATH]) {
    IMalloc* pMalloc = NULL;
    if (FAILED(SHGetMalloc(&pMalloc)) || pMalloc == NULL) {
        TraceText(kFunction, "***SHGetMalloc error");
        return FALSE;
    }
    LPITEMIDLIST pidl = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, iFolder, &pidl)) || pidl == NULL) {
        TraceText(kFunction, "***SHGetSpecialFolderLocation error");
        pMalloc->Release();
        return FALSE;
    }
    char szPath[MAX_PATH] = "";
    BOOL bOk = SHGetPathFromIDListA(pidl, szPath);
    pMalloc->Free(pidl);
    pMalloc->Release();
    if (!bOk) {
        TraceText(kFunction, "***SHGetPathFromIDList error");
        return FALSE;
    }
    lstrcpynA(szFolder, szPath, sizeof(szFolder));
    return TRUE;
}

// The target of one shortcut file. FALSE with the failing call's result in *phr and, in
// *pbFile, whether the file (rather than the shortcut object) was the trouble.
BOOL ReadShortcutTarget(LPCSTR pszPath, char (&szTarget)[ZEB_CCH_PATH], HRESULT* phr, BOOL* pbFile) {
    *pbFile = FALSE;
    ZebCom<IShellLinkA> link;
    *phr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)link.Out());
    if (FAILED(*phr))
        return FALSE;
    ZebCom<IPersistFile> file;
    *phr = link.Get()->QueryInterface(IID_IPersistFile, (void**)file.Out());
    if (FAILED(*phr))
        return FALSE;
    WCHAR wszPath[ZEB_CCH_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, pszPath, -1, wszPath, ZEB_CCH_PATH) == 0) {
        *phr = HRESULT_FROM_WIN32(GetLastError());
        return FALSE;
    }
    *pbFile = TRUE;
    *phr = file.Get()->Load(wszPath, STGM_READ);
    if (FAILED(*phr))
        return FALSE;
    WIN32_FIND_DATAA fd;
    *phr = link.Get()->GetPath(szTarget, sizeof(szTarget), &fd, SLGP_UNCPRIORITY);
    return SUCCEEDED(*phr);
}

} // namespace

BOOL DeleteShortcut(BOOL bAct, BOOL bNow, int* piTicks, LPCSTR pszTarget, int iFolder, LPCSTR pszSubfolder,
                    LPCSTR pszComponent, int iInstallMode) {
    if (!bAct && !bNow)
        return TRUE;
    char szFolder[ZEB_CCH_PATH];
    if (!GetSpecialFolder(iFolder, szFolder))
        return FALSE;
    TraceText(kFunction, "Folder type %d is '%s'", iFolder, szFolder);

    BOOL bSubfolder = pszSubfolder != NULL && pszSubfolder[0] != '\0';
    char szListed[ZEB_CCH_PATH];
    char szSearch[ZEB_CCH_PATH];
    if (!bSubfolder) {
        lstrcpynA(szListed, szFolder, sizeof(szListed));
    } else if (!MakeFilePath(szListed, szFolder, pszSubfolder)) {
        TraceText(kFunction, "***Invalid path: '%s\\%s'", szFolder, pszSubfolder);
        return FALSE;
    }
    if (!MakeFilePath(szSearch, szListed, "*.lnk")) {
        TraceText(kFunction, "***Invalid path: '%s\\*.lnk'", szListed);
        return FALSE;
    }

    WIN32_FIND_DATAA fd;
    ZebFindHandle hFind(FindFirstFileA(szSearch, &fd));
    if (!hFind.IsValid()) {
        DWORD dwErr = GetLastError();
        if (dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND)
            return TRUE;
        TraceText(kFunction, "***FindFirstFile(11) error %d, path '%s'", (int)dwErr, szSearch);
        return FALSE;
    }
    ComScope com;
    if (!com.IsUsable()) {
        TraceText(kFunction, "***CoInitializeEx error 0x%08X", (unsigned)com.Result());
        return FALSE;
    }

    BOOL bResult = TRUE;
    BOOL bMatched = FALSE;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        char szLink[ZEB_CCH_PATH];
        if (!MakeFilePath(szLink, szListed, fd.cFileName)) {
            TraceText(kFunction, "***Invalid path: '%s\\%s'", szListed, fd.cFileName);
            bResult = FALSE;
            continue;
        }
        TraceText(kFunction, "Checking '%s'", szLink);
        char szLinkTarget[ZEB_CCH_PATH] = "";
        HRESULT hr;
        BOOL bFile;
        if (!ReadShortcutTarget(szLink, szLinkTarget, &hr, &bFile)) {
            // Someone else's unreadable file must not stop the removal; the shortcut object
            // itself missing would fail on every file.
            if (bFile) {
                TraceText(kFunction, "Can't read shortcut '%s'; error 0x%08X", szLink, (unsigned)hr);
                continue;
            }
            TraceText(kFunction, "***Shortcut object error 0x%08X, path '%s'", (unsigned)hr, szLink);
            return FALSE;
        }
        if (lstrcmpiA(szLinkTarget, pszTarget) != 0) {
            TraceText(kFunction, "Non-HX target: '%s'", szLinkTarget);
            continue;
        }
        bMatched = TRUE;
        if (!iiiDeleteFile(bAct, bNow, piTicks, szLink, TRUE, NULL, pszComponent, iInstallMode))
            bResult = FALSE;
    } while (FindNextFileA(hFind.Get(), &fd));
    hFind.Close();

    // Only a named subfolder goes: never the common desktop or programs folder itself.
    if (bMatched && bSubfolder) {
        char szSub[ZEB_CCH_PATH];
        if (!MakeFilePath(szSub, szListed, "")) {
            TraceText(kFunction, "***Invalid path: '%s\\'", szListed);
            bResult = FALSE;
        } else if (!iiiDeleteDir(bAct, bNow, piTicks, szSub, FALSE, NULL, pszComponent, iInstallMode)) {
            bResult = FALSE;
        }
    }
    if (bMatched && bNow && !bAct)
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, szFolder, NULL);
    return bResult;
}
