// Taking the queue-manager stanzas out of hxs.ini at removal. The file is product configuration
// that other tools read: it is replaced only by a complete copy, after a backup.
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnUninstall.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kFunction[] = "RemoveQMgrsFromIni";
const char kQmStanza[] = "QueueManager";

// A line with its line end, of any length: the rest of the file is copied byte for byte.
struct Line {
    ZebHeap<char> text;
    size_t cb;
    size_t cch;
};

// FALSE at the end of the file; *pbNoMemory when the line could not be held.
BOOL ReadWholeLine(FILE* fp, Line& line, BOOL* pbNoMemory) {
    line.cch = 0;
    for (int c = getc(fp); c != EOF; c = getc(fp)) {
        if (line.cch == line.cb) {
            size_t cbNew = line.cb == 0 ? ZEB_CCH_MSG : line.cb * 2;
            char* pNew = (char*)realloc(line.text.Get(), cbNew);
            if (pNew == NULL) {
                *pbNoMemory = TRUE;
                return FALSE;
            }
            line.text.Detach();
            line.text.Reset(pNew);
            line.cb = cbNew;
        }
        line.text.Get()[line.cch++] = (char)c;
        if (c == '\n')
            break;
    }
    return line.cch > 0;
}

// A stanza header: from the first non-blank character, a ":" met before the end, "#", ";" or
// "=". *ppKey and *pcchKey give its text up to the colon.
BOOL IsStanzaHeader(const char* pLine, size_t cch, const char** ppKey, size_t* pcchKey) {
    size_t i = 0;
    while (i < cch && (pLine[i] == ' ' || pLine[i] == '\t'))
        i++;
    for (size_t iStart = i; i < cch; i++) {
        char c = pLine[i];
        if (c == '#' || c == ';' || c == '=')
            return FALSE;
        if (c == ':') {
            *ppKey = pLine + iStart;
            *pcchKey = i - iStart;
            return TRUE;
        }
    }
    return FALSE;
}

// Copies the file without its queue-manager stanzas. FALSE, traced, when anything could not be
// read or written: the copy is then incomplete.
BOOL CopyWithoutQmStanzas(FILE* pIn, LPCSTR pszIni, FILE* pOut, LPCSTR pszTemp) {
    Line line;
    line.cb = line.cch = 0;
    BOOL bNoMemory = FALSE;
    BOOL bDropping = FALSE;
    while (ReadWholeLine(pIn, line, &bNoMemory)) {
        const char* pKey;
        size_t cchKey;
        if (IsStanzaHeader(line.text.Get(), line.cch, &pKey, &cchKey)) {
            TraceText(kFunction, "Found stanza key %.*s", (int)cchKey, pKey);
            bDropping = cchKey == sizeof(kQmStanza) - 1 && memcmp(pKey, kQmStanza, cchKey) == 0;
        }
        if (!bDropping && fwrite(line.text.Get(), 1, line.cch, pOut) != line.cch) {
            TraceText(kFunction, "***Can't write '%s'", pszTemp);
            return FALSE;
        }
    }
    if (bNoMemory) {
        TraceText(kFunction, "***Can't allocate memory for a line of '%s'", pszIni);
        return FALSE;
    }
    if (ferror(pIn)) {
        TraceText(kFunction, "***Can't read '%s'", pszIni);
        return FALSE;
    }
    return TRUE;
}

} // namespace

BOOL RemoveQMgrsFromIni(LPCSTR pszFolder) {
    MSIHANDLE hInstall = FrameSession();
    char szIni[ZEB_CCH_PATH];
    if (pszFolder[0] == '\0' || !MakeFilePath(szIni, pszFolder, "hxs.ini")) {
        TraceText(kFunction, "***No configuration file in folder '%s'; nothing changed", pszFolder);
        return FALSE;
    }
    if (!EnsureTempFolder(hInstall, kFunction))
        return FALSE;
    char szBackup[ZEB_CCH_PATH];
    char szTemp[ZEB_CCH_PATH];
    if (TempFolder()[0] == '\0' || !MakeFilePath(szBackup, TempFolder(), "hxs.ini_backup") ||
        !MakeFilePath(szTemp, TempFolder(), "hxs.ini")) {
        TraceText(kFunction, "***No temporary folder for the copy of '%s'; it stays unchanged", szIni);
        return FALSE;
    }

    DeleteFileA(szBackup);
    if (!CopyFileA(szIni, szBackup, FALSE)) {
        DWORD dwErr = GetLastError();
        if (dwErr == ERROR_FILE_NOT_FOUND || dwErr == ERROR_PATH_NOT_FOUND) {
            TraceText(kFunction, "Unable to open %s", szIni);
            return TRUE;
        }
        TraceText(kFunction, "***Can't back up '%s' to '%s' (%d); it stays unchanged", szIni, szBackup,
                  (int)dwErr);
        return FALSE;
    }

    {
        ZebFile in(fopen(szIni, "rb"));
        if (!in.IsValid()) {
            TraceText(kFunction, "Unable to open %s", szIni);
            return FALSE;
        }
        TraceText(kFunction, "Opened %s", szIni);
        ZebFile out(fopen(szTemp, "wb"));
        if (!out.IsValid()) {
            TraceText(kFunction, "***Can't open '%s' (%d); '%s' stays unchanged", szTemp, (int)GetLastError(),
                      szIni);
            return FALSE;
        }
        TraceText(kFunction, "Opened %s", szTemp);
        BOOL bCopied = CopyWithoutQmStanzas(in.Get(), szIni, out.Get(), szTemp);
        if (!out.Close() && bCopied) {
            TraceText(kFunction, "***Can't write '%s'", szTemp);
            bCopied = FALSE;
        }
        if (!bCopied) {
            DeleteFileA(szTemp);
            TraceText(kFunction, "***'%s' stays unchanged", szIni);
            return FALSE;
        }
    }

    TraceText(kFunction, "Replacing %s with %s", szIni, szTemp);
    BOOL bReplaced = CopyFileA(szTemp, szIni, FALSE);
    if (!bReplaced) {
        TraceText(kFunction, "***Can't replace '%s' (%d); restoring it from '%s'", szIni, (int)GetLastError(),
                  szBackup);
        if (!CopyFileA(szBackup, szIni, FALSE))
            TraceText(kFunction, "***Can't restore '%s' (%d); its copy is '%s'", szIni, (int)GetLastError(),
                      szBackup);
    }
    DeleteFileA(szTemp);
    return bReplaced;
}
