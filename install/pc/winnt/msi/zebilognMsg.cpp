// Language strings, message boxes and the launcher's splash window.
#include "zebilogn.h"
#include "zebhold.h"
#include "zebiwicn.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kNoLanguageLibrary[] = "Language DLL has not yet been created, unable to load NLS string.";
const char kDefaultTitle[] = "Corvane Skyloft HX";

struct LanguageMap {
    char cLetter;
    WORD wLanguage;
};
const LanguageMap kBoxLanguages[] = {{'a', 1033}, {'b', 1046}, {'c', 1029}, {'f', 1036}, {'g', 1031},
                                     {'h', 1038}, {'i', 1040}, {'j', 17},   {'k', 1042}, {'p', 1045},
                                     {'r', 1049}, {'s', 1034}, {'t', 1028}, {'z', 2052}};

char g_szLanguagePath[ZEB_CCH_PATH];

// The splash window is looked for every 250 ms, 40 times: 10 seconds.
const DWORD kSplashPollMs = 250;
const int kSplashLooks = 40;

WORD BoxLanguage(LPCSTR pszCode) {
    char c = (char)tolower((unsigned char)pszCode[0]);
    for (const LanguageMap& entry : kBoxLanguages) {
        if (entry.cLetter == c)
            return entry.wLanguage;
    }
    return 1024;
}

} // namespace

#if !defined(_WIN32)
// Natively the own string table is data the library exports, which the simulated loader reads as
// Windows reads the STRINGTABLE resource of zebiwicn.dll.
extern "C" {
__attribute__((visibility("default"))) extern const char winsim_resource_strings[];
const char winsim_resource_strings[] =
#include "zebiwicn_strings.inc"
    ;
}
#endif

BOOL LoadStringFromResource(char (&szOut)[ZEB_CCH_MSG], UINT uId) {
    // Cleared first: a failed load leaves the buffer as it was on some systems.
    char szText[ZEB_CCH_MSG] = "";
    BOOL bFound = LoadStringA(ZebInstance(), uId, szText, sizeof(szText)) != 0;
    if (!bFound) {
        szText[0] = '\0';
        WriteTrace(NULL, "LoadString failed (ID '%lu'). (ZEB4702)", (unsigned long)uId);
    }
    lstrcpynA(szOut, szText, sizeof(szOut));
    return bFound;
}

BOOL iwiLoadNlsString(char (&szOut)[ZEB_CCH_MSG], UINT uId) {
    static const char kFunction[] = "iwiLoadNlsString";
    MSIHANDLE hInstall = FrameSession();
    UINT uiStat = ZEB_RC_SUCCESS;
    char szCreated[ZEB_CCH_MSG];
    szOut[0] = '\0';
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBLANGDLLCREATED, szCreated, sizeof(szCreated),
                          &uiStat) ||
        szCreated[0] != '1') {
        lstrcpynA(szOut, kNoLanguageLibrary, sizeof(szOut));
        return FALSE;
    }

    if (FrameLanguageLibrary() == NULL) {
        if (!EnsureTempFolder(hInstall, kFunction))
            return FALSE;
        if (g_szLanguagePath[0] == '\0')
            lstrcpynA(g_szLanguagePath, iiiGetTempFileName("zebl", ".dll"), sizeof(g_szLanguagePath));
        ZebModule hLanguage(LoadLibraryExA(g_szLanguagePath, NULL, LOAD_LIBRARY_AS_DATAFILE));
        if (!hLanguage.IsValid()) {
            TraceText(NULL, "***iwiLoadNlsString LoadLibrary(%s) failed %d (ID '%lu').", g_szLanguagePath,
                      (int)GetLastError(), (unsigned long)uId);
            return FALSE;
        }
        FrameSetLanguageLibrary(hLanguage.Detach());
    }

    char szText[ZEB_CCH_MSG] = "";
    if (LoadStringA(FrameLanguageLibrary(), uId, szText, sizeof(szText)) == 0) {
        TraceText(NULL, "***iwiLoadNlsString() failed (ID '%lu'). (ZEB4701)", (unsigned long)uId);
        szOut[0] = '\0';
        return FALSE;
    }
    lstrcpynA(szOut, szText, sizeof(szOut));
    return TRUE;
}

LPCSTR LanguageLibraryPath(void) {
    return g_szLanguagePath;
}

void ResetMessageState(void) {
    g_szLanguagePath[0] = '\0';
}

UINT iwiKillSplashBitmap(void) {
    HWND hSplash = FindWindowA(ZEB_SPLASH_CLASS, NULL);
    if (hSplash == NULL) {
        WriteTrace(NULL, "Splash bitmap not running");
        return ZEB_RC_SUCCESS;
    }
    WriteTrace(NULL, "Closing splash window (class %s)", ZEB_SPLASH_CLASS);
    PostMessageA(hSplash, WM_CLOSE, 0, 0);
    // A launcher that ignores the request must not hold every message box for ever.
    for (int iLook = 0; iLook < kSplashLooks; iLook++) {
        Sleep(kSplashPollMs);
        if (FindWindowA(ZEB_SPLASH_CLASS, NULL) == NULL)
            return ZEB_RC_SUCCESS;
    }
    WriteTrace(NULL, "***Splash window (class %s) still open after %lu seconds; going on", ZEB_SPLASH_CLASS,
               (unsigned long)(kSplashLooks * kSplashPollMs / 1000));
    return ZEB_RC_SUCCESS;
}

int iiiDisplayMsgBox(LPCSTR pszText, UINT uStyle) {
    static const char kFunction[] = "iiiDisplayMsgBox";
    MSIHANDLE hInstall = FrameSession();
    iwiKillSplashBitmap();
    // The icon is a field, not a set of bits: the warning icon (48) contains the error bit (16).
    LPCSTR pszKind = "";
    UINT uIcon = uStyle & MB_ICONMASK;
    if (uIcon == MB_ICONERROR) {
        pszKind = "*** error";
        FrameSetErrorShown();
    } else if (uIcon == MB_ICONWARNING) {
        pszKind = "warning";
    } else if (uIcon == MB_ICONINFORMATION) {
        pszKind = "info";
    }
    TraceText(NULL, "HXCA %s MB %s: %s", FrameOuterAction(), pszKind, pszText);

    UINT uiStat = ZEB_RC_SUCCESS;
    char szValue[ZEB_CCH_MSG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_UILEVEL, szValue, sizeof(szValue), &uiStat))
        return 0;
    if (atoi(szValue) == INSTALLUILEVEL_NONE)
        return 0;
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBLANGUAGECODE, szValue, sizeof(szValue), &uiStat))
        return 0;
    WORD wLanguage = BoxLanguage(szValue);

    char szTitle[ZEB_CCH_MSG];
    LoadNlsStringOr(szTitle, ZEB_MSG_BOX_TITLE, kDefaultTitle);

    HWND hWnd = GetForegroundWindow();
    int iButton = MessageBoxExA(hWnd, pszText, szTitle, uStyle, wLanguage);
    if (iButton == 0)
        iButton = MessageBoxA(hWnd, pszText, szTitle, uStyle);
    return iButton;
}

ZEB_ACTION iwiStopSplash(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiStopSplash", NULL) &&
        RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, &uiStat))
        iwiKillSplashBitmap();
    return CaEpilog(hInstall, uiStat);
}

ZEB_ACTION iwiWaitForSplash(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, "iwiWaitForSplash", NULL)) {
        WriteTrace(NULL, "Waiting for splash window to start (class %s)", ZEB_SPLASH_CLASS);
        BOOL bStarted = FALSE;
        for (int iLook = 0; iLook < kSplashLooks && !bStarted; iLook++) {
            bStarted = FindWindowA(ZEB_SPLASH_CLASS, NULL) != NULL;
            if (!bStarted)
                Sleep(kSplashPollMs);
        }
        WriteTrace(NULL, bStarted ? "Splash window started" : "Timed out waiting for splash window");
    }
    return CaEpilog(hInstall, uiStat);
}

void LoadNlsStringOr(char (&szOut)[ZEB_CCH_MSG], UINT uId, LPCSTR pszFallback) {
    if (!iwiLoadNlsString(szOut, uId))
        lstrcpynA(szOut, pszFallback, sizeof(szOut));
}

void ShowNlsError(UINT uId, LPCSTR pszFallback, LPCSTR pszInsert1, LPCSTR pszInsert2, LPCSTR pszInsert3,
                  LPCSTR pszPlace) {
    char szText[ZEB_CCH_MSG];
    LoadNlsStringOr(szText, uId, pszFallback);
    char szMessage[ZEB_CCH_MSG];
    iwiFormatMsgBuffer(szMessage, szText, pszInsert1, pszInsert2, pszInsert3, NULL);
    if (pszPlace != NULL && strlen(szMessage) + strlen(pszPlace) < sizeof(szMessage))
        strcat(szMessage, pszPlace);
    iiiDisplayMsgBox(szMessage, MB_ICONERROR);
}

void ShowNlsPathError(UINT uId, LPCSTR pszFallback, LPCSTR pszPath) {
    char szText[ZEB_CCH_MSG];
    LoadNlsStringOr(szText, uId, pszFallback);
    char szMessage[ZEB_CCH_MSG];
    FillPathInsert(szMessage, szText, pszPath);
    iiiDisplayMsgBox(szMessage, MB_ICONERROR);
}

BOOL ShowNlsMessage(UINT uId, UINT uStyle, LPCSTR pszInsert1, LPCSTR pszInsert2) {
    char szText[ZEB_CCH_MSG];
    if (!iwiLoadNlsString(szText, uId)) {
        TraceText(NULL, "***Unable to load message %u", uId);
        return FALSE;
    }
    char szMessage[ZEB_CCH_MSG];
    iwiFormatMsgBuffer(szMessage, szText, pszInsert1, pszInsert2, NULL, NULL);
    iiiDisplayMsgBox(szMessage, uStyle);
    return TRUE;
}
