// Microsoft C runtime pieces for native builds. fopen reaches the simulated file system with
// Microsoft's mode letters (text mode translates "\n" <-> "\r\n" and stops reading at 0x1A);
// the FILE it returns works with the ordinary stdio functions.
#pragma once
#include <stdio.h>
#include <string.h>
#include <stdlib.h>
#include <stdarg.h>

#include "winsim/wintypes.h"

#define _SH_DENYRW 0x10
#define _SH_DENYWR 0x20
#define _SH_DENYRD 0x30
#define _SH_DENYNO 0x40

WINSIM_API FILE* winsim_fopen(const char* path, const char* mode);
WINSIM_API FILE* winsim_fsopen(const char* path, const char* mode, int shflag);
#define fopen winsim_fopen
#define _fsopen winsim_fsopen
#ifdef __cplusplus
namespace std {
using ::winsim_fopen;
}
#endif

WINSIM_API int _unlink(const char* path);
WINSIM_API int _access(const char* path, int mode);
WINSIM_API int _mkdir(const char* path);
WINSIM_API int _rmdir(const char* path);

WINSIM_API int _stricmp(const char* a, const char* b);
WINSIM_API int _strnicmp(const char* a, const char* b, size_t n);
WINSIM_API char* _strlwr(char* s);
WINSIM_API char* _strupr(char* s);
// Microsoft semantics: -1 when the output does not fit (then it is not terminated).
WINSIM_API int _snprintf(char* buffer, size_t count, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
WINSIM_API int _vsnprintf(char* buffer, size_t count, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));
