// Bait for the sweep's own test: actions that each break one invariant when a call fails, one
// that breaks none, one that needs a setup and one the sweep allows. Never part of the shipped
// library.
#include <msi.h>
#include <msiquery.h>
#include <windows.h>

#include <stdlib.h>

#define BAIT_ACTION extern "C" __attribute__((visibility("default"))) UINT __stdcall

namespace {

void Log(MSIHANDLE hInstall, const char* text) {
    MSIHANDLE record = MsiCreateRecord(1);
    if (record == 0)
        return;
    MsiRecordSetStringA(record, 0, "[1]");
    MsiRecordSetStringA(record, 1, text);
    MsiProcessMessage(hInstall, INSTALLMESSAGE_INFO, record);
    MsiCloseHandle(record);
}

// Only baitTidy has a deferred run; the others refuse one, as the library's guard does.
bool Refused(MSIHANDLE hInstall) {
    if (!MsiGetMode(hInstall, MSIRUNMODE_SCHEDULED))
        return false;
    Log(hInstall, "***CA execute error; run mode must not be 'MSIRUNMODE_SCHEDULED'.");
    return true;
}

bool ReadValue(MSIHANDLE hInstall, char (&value)[260]) {
    DWORD cch = sizeof(value);
    return MsiGetPropertyA(hInstall, "BAITVALUE", value, &cch) == ERROR_SUCCESS;
}

} // namespace

BAIT_ACTION baitTidy(MSIHANDLE hInstall) {
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        Log(hInstall, "***Can't open HKLM\\SOFTWARE");
        return 1603;
    }
    char value[260];
    const bool read = ReadValue(hInstall, value);
    RegCloseKey(key);
    if (!read)
        Log(hInstall, "***Can't read BAITVALUE");
    return read ? 0 : 1603;
}

BAIT_ACTION baitLeakOnFailure(MSIHANDLE hInstall) {
    if (Refused(hInstall))
        return 1603;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        Log(hInstall, "***Can't open HKLM\\SOFTWARE");
        return 1603;
    }
    char value[260];
    if (!ReadValue(hInstall, value)) {
        Log(hInstall, "***Can't read BAITVALUE");
        return 1603; // the key stays open
    }
    RegCloseKey(key);
    return 0;
}

BAIT_ACTION baitSilent(MSIHANDLE hInstall) {
    if (Refused(hInstall))
        return 1603;
    char value[260];
    return ReadValue(hInstall, value) ? 0 : 1603;
}

BAIT_ACTION baitStatus(MSIHANDLE hInstall) {
    if (Refused(hInstall))
        return 1603;
    char value[260];
    DWORD cch = sizeof(value);
    return MsiGetPropertyA(hInstall, "BAITVALUE", value, &cch);
}

BAIT_ACTION baitCrash(MSIHANDLE hInstall) {
    if (Refused(hInstall))
        return 1603;
    HANDLE file = CreateFileA("C:\\Temp\\bait.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        volatile int* nowhere = NULL;
        *nowhere = 1;
    }
    CloseHandle(file);
    return 0;
}

BAIT_ACTION baitLostMemory(MSIHANDLE hInstall) {
    if (Refused(hInstall))
        return 1603;
    char* copy = (char*)malloc(64);
    char value[260];
    if (!ReadValue(hInstall, value)) {
        Log(hInstall, "***Can't read BAITVALUE");
        return 1603; // the copy is lost
    }
    free(copy);
    return 0;
}

// Does something only where its setup gave it a folder.
BAIT_ACTION baitNeedsSetup(MSIHANDLE hInstall) {
    if (Refused(hInstall))
        return 1603;
    char folder[260];
    DWORD cch = sizeof(folder);
    if (MsiGetPropertyA(hInstall, "BAITFOLDER", folder, &cch) != ERROR_SUCCESS || cch == 0)
        return 0;
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Bait", 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) !=
        ERROR_SUCCESS) {
        Log(hInstall, "***Can't create HKLM\\SOFTWARE\\Bait");
        return 1603;
    }
    if (RegSetValueExA(key, "Folder", 0, REG_SZ, (const BYTE*)folder, cch + 1) != ERROR_SUCCESS) {
        Log(hInstall, "***Can't set Folder");
        return 1603; // the key stays open
    }
    RegCloseKey(key);
    return 0;
}

BAIT_ACTION baitAllowed(MSIHANDLE hInstall) {
    if (Refused(hInstall))
        return 1603;
    return 1603;
}
