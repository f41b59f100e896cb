// Text functions of kernel32: FormatMessageA and the lstr family.
#include "internal.h"

#include "winsim/kernel32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

using namespace winsim;

namespace {

// The system message table, for the codes the library may meet.
const std::map<DWORD, const char*>& SystemMessages() {
    static const std::map<DWORD, const char*> table = {
        {0, "The operation completed successfully."},
        {1, "Incorrect function."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {8, "Not enough memory resources are available to process this command."},
        {18, "There are no more files."},
        {21, "The device is not ready."},
        {32, "The process cannot access the file because it is being used by another process."},
        {80, "The file exists."},
        {87, "The parameter is incorrect."},
        {112, "There is not enough space on the disk."},
        {122, "The data area passed to a system call is too small."},
        {123, "The filename, directory name, or volume label syntax is incorrect."},
        {126, "The specified module could not be found."},
        {127, "The specified procedure could not be found."},
        {145, "The directory is not empty."},
        {183, "Cannot create a file when that file already exists."},
        {193, "%1 is not a valid Win32 application."},
        {234, "More data is available."},
        {259, "No more data is available."},
        {1223, "The operation was canceled by the user."},
        {1235, "The request was aborted."},
        {1460, "This operation returned because the timeout period expired."},
    };
    return table;
}

// One "%n!fmt!" insert, printed with the C runtime from a pointer-sized argument.
bool FormatInsert(const std::string& conversion, DWORD_PTR arg, std::string& out) {
    std::string flags;
    size_t i = 0;
    while (i < conversion.size() && std::strchr("-+ #0123456789.", conversion[i]))
        flags += conversion[i++];
    bool wide64 = false;
    while (i < conversion.size() && std::strchr("hlIL", conversion[i])) {
        if (conversion.compare(i, 3, "I64") == 0 || conversion.compare(i, 2, "ll") == 0) {
            wide64 = true;
            i += conversion[i] == 'I' ? 3 : 2;
            continue;
        }
        if (conversion.compare(i, 3, "I32") == 0) {
            i += 3;
            continue;
        }
        ++i;
    }
    if (i + 1 != conversion.size())
        return false;
    const char conv = conversion[i];
    char buf[512];
    const std::string fmt = "%" + flags;
    int n = 0;
    switch (conv) {
    case 's':
    case 'S':
        n = std::snprintf(buf, sizeof(buf), (fmt + "s").c_str(),
                          arg ? reinterpret_cast<const char*>(arg) : "(null)");
        if (n >= static_cast<int>(sizeof(buf))) {
            // Long strings: print into a buffer of their own size.
            std::string big(static_cast<size_t>(n) + 1, '\0');
            std::snprintf(&big[0], big.size(), (fmt + "s").c_str(), reinterpret_cast<const char*>(arg));
            big.pop_back();
            out += big;
            return true;
        }
        break;
    case 'c':
        n = std::snprintf(buf, sizeof(buf), (fmt + "c").c_str(), static_cast<int>(arg & 0xFF));
        break;
    case 'd':
    case 'i':
        n = wide64 ? std::snprintf(buf, sizeof(buf), (fmt + "lld").c_str(), static_cast<long long>(arg))
                   : std::snprintf(buf, sizeof(buf), (fmt + "d").c_str(), static_cast<int32_t>(arg));
        break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        n = wide64 ? std::snprintf(buf, sizeof(buf), (fmt + "ll" + conv).c_str(),
                                   static_cast<unsigned long long>(arg))
                   : std::snprintf(buf, sizeof(buf), (fmt + conv).c_str(), static_cast<uint32_t>(arg));
        break;
    case 'p':
        n = std::snprintf(buf, sizeof(buf), "%016llX", static_cast<unsigned long long>(arg));
        break;
    default:
        return false;
    }
    if (n < 0)
        return false;
    out.append(buf, std::min<size_t>(static_cast<size_t>(n), sizeof(buf) - 1));
    return true;
}

// Windows' message-text rules; returns 0 or an error code.
DWORD Expand(const std::string& tmpl, DWORD flags, const DWORD_PTR* array, va_list* args, std::string& out) {
    const bool ignoreInserts = flags & FORMAT_MESSAGE_IGNORE_INSERTS;
    const bool oneLine = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) == FORMAT_MESSAGE_MAX_WIDTH_MASK;
    std::vector<DWORD_PTR> fromList; // va_list arguments read so far, in order
    auto argument = [&](int index, DWORD_PTR& value) {
        if (array) {
            value = array[index - 1];
            return true;
        }
        if (!args)
            return false;
        while (static_cast<int>(fromList.size()) < index)
            fromList.push_back(va_arg(*args, DWORD_PTR));
        value = fromList[static_cast<size_t>(index - 1)];
        return true;
    };
    for (size_t i = 0; i < tmpl.size(); ++i) {
        const char c = tmpl[i];
        if (c != '%') {
            if (oneLine && (c == '\r' || c == '\n')) {
                if (c == '\r' && i + 1 < tmpl.size() && tmpl[i + 1] == '\n')
                    ++i;
                out += ' ';
                continue;
            }
            out += c;
            continue;
        }
        if (i + 1 >= tmpl.size())
            break;
        const char d = tmpl[++i];
        if (d >= '1' && d <= '9') {
            int index = d - '0';
            size_t end = i + 1;
            if (end < tmpl.size() && tmpl[end] >= '0' && tmpl[end] <= '9')
                index = index * 10 + (tmpl[end++] - '0');
            std::string conversion = "s";
            if (end < tmpl.size() && tmpl[end] == '!') {
                const size_t close = tmpl.find('!', end + 1);
                if (close == std::string::npos)
                    return ERROR_INVALID_PARAMETER;
                conversion = tmpl.substr(end + 1, close - end - 1);
                end = close + 1;
            }
            if (ignoreInserts) {
                out += tmpl.substr(i - 1, end - (i - 1));
            } else {
                DWORD_PTR value = 0;
                if (!argument(index, value) || !FormatInsert(conversion, value, out))
                    return ERROR_INVALID_PARAMETER;
            }
            i = end - 1;
            continue;
        }
        switch (d) {
        case '0':
            return 0; // ends the message, with no line break after it
        case 'n':
            out += "\r\n";
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        default: // "%%", "%.", "%!", "% " and any other character stand for themselves
            out += d;
        }
    }
    return 0;
}

} // namespace

DWORD WINAPI FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD, LPSTR lpBuffer,
                            DWORD nSize, va_list* Arguments) {
    detail::Guard g(detail::MachineLock());
    const bool fromString = dwFlags & FORMAT_MESSAGE_FROM_STRING;
    if (detail::Fail("FormatMessageA", fromString ? static_cast<const char*>(lpSource) : nullptr))
        return 0;
    std::string tmpl;
    if (fromString) {
        if (!lpSource) {
            detail::SetError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        tmpl = static_cast<const char*>(lpSource);
    } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        auto it = SystemMessages().find(dwMessageId);
        if (it == SystemMessages().end()) {
            detail::SetError(ERROR_MR_MID_NOT_FOUND);
            return 0;
        }
        tmpl = std::string(it->second) + "\r\n"; // system texts end in CRLF
    } else if (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) {
        detail::SetError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    } else {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string out;
    const DWORD_PTR* array =
        (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) ? reinterpret_cast<const DWORD_PTR*>(Arguments) : nullptr;
    if (DWORD e = Expand(tmpl, dwFlags, array, array ? nullptr : Arguments, out)) {
        detail::SetError(e);
        return 0;
    }
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        const size_t size = std::max<size_t>(out.size() + 1, nSize);
        char* mem = static_cast<char*>(std::malloc(size));
        if (!mem) {
            detail::SetError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        std::memcpy(mem, out.c_str(), out.size() + 1);
        *reinterpret_cast<char**>(lpBuffer) = mem;
        return static_cast<DWORD>(out.size());
    }
    if (!detail::CopyOut(out, lpBuffer, nSize)) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<DWORD>(out.size());
}

void* WINAPI LocalFree(void* hMem) {
    std::free(hMem);
    return nullptr;
}

int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString ? static_cast<int>(std::strlen(lpString)) : 0;
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2 || iMaxLength <= 0)
        return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i)
        lpString1[i] = lpString2[i];
    lpString1[i] = '\0';
    return lpString1;
}

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2)
        return nullptr;
    return std::strcpy(lpString1, lpString2);
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
    if (!lpString1 || !lpString2)
        return nullptr;
    return std::strcat(lpString1, lpString2);
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    const int r = detail::ICompare(lpString1 ? lpString1 : "", lpString2 ? lpString2 : "");
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    const int r = std::strcmp(lpString1 ? lpString1 : "", lpString2 ? lpString2 : "");
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}
