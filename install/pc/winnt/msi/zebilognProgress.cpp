// Progress and action text for the engine's progress dialog.
#include "zebilogn.h"
#include "zebhold.h"

namespace {

const DWORD kWaitStepMs = 500;
const int kProgressTicksPerStep = 100000;

// A progress record that advances the bar: (2, ticks, 0).
MSIHANDLE CreateProgressRecord(int iTicks) {
    MSIHANDLE hRec = MsiCreateRecord(3);
    if (hRec != 0) {
        MsiRecordSetInteger(hRec, 1, 2);
        MsiRecordSetInteger(hRec, 2, iTicks);
        MsiRecordSetInteger(hRec, 3, 0);
    }
    return hRec;
}

UINT Send(INSTALLMESSAGE eType, LPCSTR pszType, MSIHANDLE hRec) {
    UINT uiStat = ZEB_RC_SUCCESS;
    CheckMsiPmRc(pszType, MsiProcessMessage(FrameSession(), eType, hRec), &uiStat);
    return uiStat;
}

BOOL InDeferredScript(void) {
    return MsiGetMode(FrameSession(), MSIRUNMODE_SCHEDULED);
}

} // namespace

UINT iwiLoadActionTextAndData(UINT uText, UINT uTemplate) {
    ZebMsiHandle hRec(MsiCreateRecord(3));
    if (!hRec.IsValid()) {
        WriteTrace(NULL, "***Unable to create record");
        return ZEB_RC_SUCCESS;
    }
    char szText[ZEB_CCH_MSG] = "";
    char szTemplate[ZEB_CCH_MSG] = "";
    if (uText != 0)
        iwiLoadNlsString(szText, uText);
    if (uTemplate != 0)
        iwiLoadNlsString(szTemplate, uTemplate);
    MsiRecordSetStringA(hRec.Get(), 1, FrameOuterAction());
    MsiRecordSetStringA(hRec.Get(), 2, szText);
    MsiRecordSetStringA(hRec.Get(), 3, szTemplate);
    return Send(INSTALLMESSAGE_ACTIONSTART, "INSTALLMESSAGE_ACTIONSTART", hRec.Get());
}

UINT LoadActionTextAndData(UINT uText, UINT uTemplate) {
    return iwiLoadActionTextAndData(uText, uTemplate);
}

UINT iwiMoveProgressBar(MSIHANDLE hRecord, int iTicks) {
    if (!InDeferredScript())
        return ZEB_RC_SUCCESS;
    ZebMsiHandle hOwn;
    if (hRecord == 0) {
        hOwn.Reset(CreateProgressRecord(iTicks));
        if (!hOwn.IsValid()) {
            WriteTrace(NULL, "***Unable to create record");
            return ZEB_RC_SUCCESS;
        }
        hRecord = hOwn.Get();
    }
    return Send(INSTALLMESSAGE_PROGRESS, "INSTALLMESSAGE_PROGRESS", hRecord);
}

UINT iwiUpdateActionDataField(LPCSTR pszText) {
    if (!InDeferredScript())
        return ZEB_RC_SUCCESS;
    ZebMsiHandle hRec(MsiCreateRecord(1));
    if (!hRec.IsValid()) {
        WriteTrace(NULL, "***Unable to create record");
        return ZEB_RC_SUCCESS;
    }
    MsiRecordSetStringA(hRec.Get(), 1, pszText);
    return Send(INSTALLMESSAGE_ACTIONDATA, "INSTALLMESSAGE_ACTIONDATA", hRec.Get());
}

UINT ActionWait(int iSteps) {
    UINT uiStat = ZEB_RC_SUCCESS;
    ZebMsiHandle hProgress(CreateProgressRecord(kProgressTicksPerStep));
    ZebMsiHandle hData(MsiCreateRecord(1));
    // Without records the wait still takes its time; only what it shows is lost.
    BOOL bShow = hProgress.IsValid() && hData.IsValid();
    if (!bShow)
        WriteTrace(NULL, "***Unable to create record");
    else if (iwiLoadActionTextAndData(ZEB_MSG_WAIT_TEXT, ZEB_MSG_WAIT_TEMPLATE) != ZEB_RC_SUCCESS)
        uiStat = ZEB_RC_CANCEL;

    long lShown = -1;
    for (int n = iSteps; n >= 1; n--) {
        long lSecondsLeft = (long)((unsigned long)n * kWaitStepMs / 1000);
        if (bShow && lSecondsLeft != lShown) {
            lShown = lSecondsLeft;
            MsiRecordSetInteger(hData.Get(), 1, (int)lSecondsLeft);
            if (Send(INSTALLMESSAGE_ACTIONDATA, "INSTALLMESSAGE_ACTIONDATA", hData.Get()) != ZEB_RC_SUCCESS)
                uiStat = ZEB_RC_CANCEL;
            if (IsCancelFlagSet())
                break;
        }
        if (bShow &&
            Send(INSTALLMESSAGE_PROGRESS, "INSTALLMESSAGE_PROGRESS", hProgress.Get()) != ZEB_RC_SUCCESS)
            uiStat = ZEB_RC_CANCEL;
        if (IsCancelFlagSet())
            break;
        Sleep(kWaitStepMs);
    }
    // Set by a reply or by another process: either way the user cancelled.
    if (IsCancelFlagSet())
        uiStat = ZEB_RC_CANCEL;
    return uiStat;
}
