// kernel32 of the simulated machine: Windows' names, values and ANSI signatures.
#pragma once
#include "winsim/wintypes.h"

#include <stdarg.h>

#ifndef ERROR_BUFFER_OVERFLOW
#define ERROR_BUFFER_OVERFLOW 111L
#endif

// Errors and time.
WINSIM_API DWORD WINAPI GetLastError(void);
WINSIM_API void WINAPI SetLastError(DWORD dwErrCode);
WINSIM_API void WINAPI Sleep(DWORD dwMilliseconds);
WINSIM_API DWORD WINAPI GetTickCount(void);
WINSIM_API ULONGLONG WINAPI GetTickCount64(void);
WINSIM_API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
WINSIM_API void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
WINSIM_API void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
WINSIM_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
WINSIM_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
WINSIM_API BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
WINSIM_API BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);

// Environment and identity.
WINSIM_API DWORD WINAPI GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize);
WINSIM_API BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue);
WINSIM_API DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize);
WINSIM_API BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize);
