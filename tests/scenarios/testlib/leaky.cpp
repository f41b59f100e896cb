// A test library for the runner's leak report: each export leaves one kind of handle open, and
// one closes all it opens. Never part of the shipped library.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#define LEAKY_ACTION extern "C" __attribute__((visibility("default"))) UINT __stdcall

LEAKY_ACTION zebLeakFile(MSIHANDLE) {
    HANDLE file =
        CreateFileA("C:\\Temp\\leak.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    return file == INVALID_HANDLE_VALUE ? 1603 : 0;
}

LEAKY_ACTION zebLeakKey(MSIHANDLE) {
    HKEY key = NULL;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key) == ERROR_SUCCESS ? 0 : 1603;
}

LEAKY_ACTION zebLeakRecord(MSIHANDLE) {
    return MsiCreateRecord(1) != 0 ? 0 : 1603;
}

LEAKY_ACTION zebLeakModule(MSIHANDLE) {
    return LoadLibraryExA("C:\\Temp\\res.dll", NULL, LOAD_LIBRARY_AS_DATAFILE) != NULL ? 0 : 1603;
}

LEAKY_ACTION zebTidy(MSIHANDLE) {
    HANDLE file =
        CreateFileA("C:\\Temp\\tidy.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    HKEY key = NULL;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key);
    MSIHANDLE record = MsiCreateRecord(1);
    HMODULE module = LoadLibraryExA("C:\\Temp\\res.dll", NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module)
        FreeLibrary(module);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (rc == ERROR_SUCCESS)
        RegCloseKey(key);
    if (record)
        MsiCloseHandle(record);
    return file != INVALID_HANDLE_VALUE && rc == ERROR_SUCCESS && record && module ? 0 : 1603;
}
