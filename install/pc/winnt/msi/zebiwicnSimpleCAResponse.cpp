// The response file writer: the user's choices saved as a [Response] stanza that a later silent
// installation reads back (USEINI).
#include "zebhold.h"
#include "zebicson.h"
#include "zebilogn.h"
#include "zebiwicnFeatures.h"
#include "zebiwicnSimpleCA.h"
#include "zebiwicnUtil.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kFunction[] = "iwiWriteResponseFile";
const char kFallbackWrite[] = "Cannot write to the response file '%2' (error %1). (ZEB4733)";
const char kFallbackCreate[] = "Cannot create the response file '%2' (error %1). (ZEB4735)";

// The feature lists in the order of their lines.
enum FeatureList { kAddLocal, kRemove, kAddSource, kAdvertise, kFeatureLists };
const LPCSTR kListNames[kFeatureLists] = {PROP_ADDLOCAL, PROP_REMOVE, PROP_ADDSOURCE, PROP_ADVERTISE};

struct ResponseRun {
    MSIHANDLE hInstall;
    UINT* puiStat;
    HANDLE hFile;
    LPCSTR pszPath;
    char aszLists[kFeatureLists][ZEB_CCH_FEATURELIST];
};

// Writes one line with its CR LF. A failed line is reported and the next one still tried, so the
// user sees every line that is missing.
void WriteLine(ResponseRun& r, LPCSTR pszLine) {
    size_t cch = strlen(pszLine);
    ZebHeap<char> buffer((char*)malloc(cch + 3));
    DWORD dwWritten = 0;
    BOOL bOk = FALSE;
    DWORD dwError = ERROR_NOT_ENOUGH_MEMORY;
    if (buffer.IsValid()) {
        memcpy(buffer.Get(), pszLine, cch);
        memcpy(buffer.Get() + cch, "\r\n", 3);
        bOk = WriteFile(r.hFile, buffer.Get(), (DWORD)(cch + 2), &dwWritten, NULL) && dwWritten == cch + 2;
        if (!bOk)
            dwError = GetLastError();
    }
    if (bOk)
        return;
    if (*r.puiStat == ZEB_RC_SUCCESS)
        *r.puiStat = ZEB_RC_FAILURE;
    char szError[ZEB_CCH_FLAG];
    snprintf(szError, sizeof(szError), "%d", (int)dwError);
    TraceText(kFunction, "***Can't write '%s' to response file '%s' (%s)", pszLine, r.pszPath, szError);
    ShowNlsError(ZEB_MSG_SAVEINI_WRITE, kFallbackWrite, szError, r.pszPath);
}

// NAME="value", or ;NAME="value" as a comment. The reader ends a line at CR or LF: what follows
// one would be read as a setting of its own, so the value ends there.
void WriteSetting(ResponseRun& r, BOOL bComment, LPCSTR pszName, LPCSTR pszValue) {
    size_t cchValue = strcspn(pszValue, "\r\n");
    if (pszValue[cchValue] != '\0')
        TraceText(kFunction, "Value of %s written up to its line break", pszName);
    size_t cch = strlen(pszName) + cchValue + 5;
    ZebHeap<char> line((char*)malloc(cch));
    if (!line.IsValid()) {
        TraceText(kFunction, "***Unable to allocate the line of %s", pszName);
        *r.puiStat = ZEB_RC_FAILURE;
        return;
    }
    snprintf(line.Get(), cch, "%s%s=\"%.*s\"", bComment ? ";" : "", pszName, (int)cchValue, pszValue);
    WriteLine(r, line.Get());
}

// A property's setting; with bOptional only when the property is not empty. FALSE after a failed
// read (the status is then 1603).
BOOL WriteProperty(ResponseRun& r, LPCSTR pszKeyword, LPCSTR pszProperty, BOOL bOptional,
                   BOOL bComment = FALSE) {
    char szValue[ZEB_CCH_FEATURELIST];
    if (!GetPropertyValue(r.hInstall, kFunction, pszProperty, szValue, sizeof(szValue), r.puiStat))
        return FALSE;
    if (!bOptional || szValue[0] != '\0')
        WriteSetting(r, bComment, pszKeyword, szValue);
    return TRUE;
}

BOOL WriteFolder(ResponseRun& r, LPCSTR pszKeyword, LPCSTR pszProperty) {
    char szFolder[ZEB_CCH_PATH];
    if (!GetPropertyValue(r.hInstall, kFunction, pszProperty, szFolder, sizeof(szFolder), r.puiStat))
        return FALSE;
    NormalizePath(FALSE, szFolder);
    WriteSetting(r, FALSE, pszKeyword, szFolder);
    return TRUE;
}

// The list a state puts a feature in, or -1.
int ListOfState(int iState) {
    switch (iState) {
    case INSTALLSTATE_LOCAL:
        return kAddLocal;
    case INSTALLSTATE_ABSENT:
        return kRemove;
    case INSTALLSTATE_ADVERTISED:
        return kAdvertise;
    case INSTALLSTATE_SOURCE:
    case INSTALLSTATE_SOURCEABSENT:
        return kAddSource;
    default:
        return -1;
    }
}

// Appends with a separator; FALSE when the name does not fit, since a cut list would name another
// feature or lose one.
BOOL AppendFeature(char (&szList)[ZEB_CCH_FEATURELIST], LPCSTR pszFeature) {
    size_t cchList = strlen(szList);
    size_t cchNeeded = cchList + (cchList > 0 ? 1 : 0) + strlen(pszFeature);
    if (cchNeeded >= sizeof(szList))
        return FALSE;
    if (cchList > 0)
        szList[cchList++] = ',';
    strcpy(szList + cchList, pszFeature);
    return TRUE;
}

// The summary feature table's features by the list their states give. FALSE after a failure.
BOOL BuildFeatureLists(ResponseRun& r, BOOL bClientOnly) {
    BOOL bOk = TRUE;
    for (int i = 0; i < ZEB_FEATURE_ROWS && SummaryFeature(i).pszName[0] != '\0'; i++) {
        if (!IsListedSummaryFeature(i, bClientOnly))
            continue;
        const ZebSummaryFeature& row = SummaryFeature(i);
        INSTALLSTATE iInstalled = INSTALLSTATE_UNKNOWN;
        INSTALLSTATE iAction = INSTALLSTATE_UNKNOWN;
        UINT uiRc = MsiGetFeatureStateA(r.hInstall, row.pszName, &iInstalled, &iAction);
        if (uiRc == ERROR_UNKNOWN_FEATURE) {
            iInstalled = INSTALLSTATE_UNKNOWN;
            iAction = INSTALLSTATE_UNKNOWN;
        } else if (uiRc != ERROR_SUCCESS) {
            // Left out silently, a later installation from the file would drop the feature.
            TraceText(kFunction, "Error %d from MsiGetFeatureState(%s)", (int)uiRc, row.pszName);
            TraceText(kFunction, "***Feature '%s' missing from the response file", row.pszName);
            *r.puiStat = ZEB_RC_FAILURE;
            bOk = FALSE;
            continue;
        }
        TraceText(kFunction, "'%s' Installed: %d Action: %d", row.pszName, (int)iInstalled, (int)iAction);
        int iList = ListOfState(iAction);
        if (iList < 0)
            iList = ListOfState(iInstalled);
        if (iList < 0)
            continue;
        if (!AppendFeature(r.aszLists[iList], row.pszName)) {
            TraceText(kFunction, "***Feature list %s too long for '%s'", kListNames[iList], row.pszName);
            *r.puiStat = ZEB_RC_FAILURE;
            return FALSE;
        }
    }
    return bOk;
}

void WriteResponseFile(MSIHANDLE hInstall, UINT* puiStat) {
    if (!RunModeGuard(hInstall, ZEB_FORBID_DEFERRED, puiStat))
        return;
    char szPath[ZEB_CCH_PATH];
    if (!GetPropertyValue(hInstall, kFunction, PROP_SAVEINI, szPath, sizeof(szPath), puiStat))
        return;
    NormalizePath(FALSE, szPath);
    if (szPath[0] == '\0')
        return;
    BOOL bClientOnly = IsClientInstall();

    ZebKernelHandle hFile(
        CreateFileA(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (!hFile.IsValid()) {
        // Reported, but the installation itself goes on.
        char szError[ZEB_CCH_FLAG];
        snprintf(szError, sizeof(szError), "%d", (int)GetLastError());
        TraceText(kFunction, "***Can't create response file '%s' (%s)", szPath, szError);
        ShowNlsError(ZEB_MSG_SAVEINI_CREATE, kFallbackCreate, szError, szPath);
        return;
    }
    TraceText(kFunction, "Writing response file '%s'", szPath);

    ZebHeap<ResponseRun> run((ResponseRun*)calloc(1, sizeof(ResponseRun)));
    if (!run.IsValid()) {
        TraceText(kFunction, "***Unable to allocate the feature lists");
        *puiStat = ZEB_RC_FAILURE;
        return;
    }
    ResponseRun& r = *run.Get();
    r.hInstall = hInstall;
    r.puiStat = puiStat;
    r.hFile = hFile.Get();
    r.pszPath = szPath;

    WriteLine(r, "[Response]");
    if (!WriteProperty(r, PROP_INSTALLATIONNAME, PROP_ZEBINSTALLINSTANCENAME, FALSE) ||
        !WriteProperty(r, PROP_INSTALLATIONDESC, PROP_ZEBINSTALLINSTANCEDESC, FALSE))
        return;
    char szPrimary[ZEB_CCH_FLAG];
    if (!GetPropertyValue(hInstall, kFunction, PROP_ZEBMAKEPRIMARY, szPrimary, sizeof(szPrimary), puiStat))
        return;
    WriteSetting(r, FALSE, PROP_MAKEPRIMARY, szPrimary[0] != '\0' ? szPrimary : "0");
    if (!WriteFolder(r, PROP_PGMFOLDER, PROP_ZEBPGMFOLDER) ||
        !WriteFolder(r, PROP_DATFOLDER, PROP_ZEBDATFOLDER) ||
        (!bClientOnly && !WriteFolder(r, PROP_LOGFOLDER, PROP_ZEBLOGFOLDER)))
        return;

    if (!BuildFeatureLists(r, bClientOnly))
        return;
    WriteSetting(r, FALSE, PROP_ADDLOCAL, r.aszLists[kAddLocal]);
    WriteSetting(r, FALSE, PROP_REMOVE, r.aszLists[kRemove]);
    if (r.aszLists[kAddSource][0] != '\0')
        WriteSetting(r, FALSE, PROP_ADDSOURCE, r.aszLists[kAddSource]);
    if (r.aszLists[kAdvertise][0] != '\0')
        WriteSetting(r, FALSE, PROP_ADVERTISE, r.aszLists[kAdvertise]);
    WriteSetting(r, TRUE, "REMOVEFEATURES", "yes");

    if (!WriteProperty(r, PROP_KEEPQMDATA, PROP_KEEPQMDATA, TRUE) ||
        !WriteProperty(r, PROP_USERCHOICE, PROP_USERCHOICE, TRUE) ||
        !WriteProperty(r, PROP_LAUNCHWIZ, PROP_LAUNCHWIZ, TRUE) ||
        !WriteProperty(r, PROP_WIZPARMFILE, PROP_WIZPARMFILE, TRUE, TRUE) ||
        !WriteProperty(r, PROP_STARTSERVICE, PROP_STARTSERVICE, TRUE) ||
        !WriteProperty(r, PROP_STARTTASKBAR, PROP_STARTTASKBAR, TRUE) ||
        !WriteProperty(r, PROP_HIGHCONTRAST, PROP_HIGHCONTRAST, TRUE))
        return;
}

} // namespace

ZEB_ACTION iwiWriteResponseFile(MSIHANDLE hInstall) {
    UINT uiStat = ZEB_RC_SUCCESS;
    if (!CaProlog(hInstall, &uiStat, kFunction, NULL))
        WriteResponseFile(hInstall, &uiStat);
    return CaEpilog(hInstall, uiStat);
}
