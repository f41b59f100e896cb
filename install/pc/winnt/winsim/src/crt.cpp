// C runtime stdio over the simulated file system (glibc fopencookie), plus Microsoft string helpers.
#include "fsinternal.h"

#include "winsim/kernel32.h"
#include "winsim/crt.h"

#include <cerrno>
#include <cstring>
#include <string>

using namespace winsim;
using namespace winsim::detail;

namespace {

struct CrtFile {
    std::shared_ptr<fsys::OpenFile> file;
    bool text = true;
};

int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NOT_READY:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
        return ENOSPC;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    default:
        return EINVAL;
    }
}

// Text mode: "\r\n" reads as "\n" and 0x1A ends the file.
ssize_t CookieRead(void* cookie, char* buf, size_t size) {
    auto* c = static_cast<CrtFile*>(cookie);
    Guard g(MachineLock());
    fsys::OpenFile& f = *c->file;
    if (Fail("fread", f.path.c_str())) {
        errno = EIO;
        return -1;
    }
    if (!(f.access & fsys::kRead) || f.node->dir) {
        errno = EBADF;
        return -1;
    }
    const std::string& data = f.node->data;
    size_t out = 0;
    uint64_t p = f.pos;
    while (out < size && p < data.size()) {
        const char ch = data[p];
        if (c->text && ch == 0x1A)
            break;
        if (c->text && ch == '\r' && p + 1 < data.size() && data[p + 1] == '\n') {
            buf[out++] = '\n';
            p += 2;
            continue;
        }
        buf[out++] = ch;
        ++p;
    }
    f.pos = p;
    return static_cast<ssize_t>(out);
}

ssize_t CookieWrite(void* cookie, const char* buf, size_t size) {
    auto* c = static_cast<CrtFile*>(cookie);
    std::string raw;
    if (c->text) {
        raw.reserve(size + size / 8);
        for (size_t i = 0; i < size; ++i) {
            if (buf[i] == '\n')
                raw += '\r';
            raw += buf[i];
        }
    } else {
        raw.assign(buf, size);
    }
    if (Fail("fwrite", c->file->path.c_str())) {
        errno = ErrnoOf(GetLastError());
        return 0;
    }
    if (DWORD e = fsys::Write(*c->file, raw.data(), raw.size())) {
        SetError(e);
        errno = ErrnoOf(e);
        return 0; // fopencookie: 0 marks the stream's error
    }
    return static_cast<ssize_t>(size);
}

int CookieSeek(void* cookie, off64_t* offset, int whence) {
    auto* c = static_cast<CrtFile*>(cookie);
    Guard g(MachineLock());
    fsys::OpenFile& f = *c->file;
    int64_t base = whence == SEEK_SET   ? 0
                   : whence == SEEK_CUR ? static_cast<int64_t>(f.pos)
                                        : static_cast<int64_t>(f.node->data.size());
    const int64_t target = base + *offset;
    if (target < 0) {
        errno = EINVAL;
        return -1;
    }
    f.pos = static_cast<uint64_t>(target);
    *offset = target;
    return 0;
}

int CookieClose(void* cookie) {
    delete static_cast<CrtFile*>(cookie);
    return 0;
}

FILE* Open(const char* path, const char* mode, int shflag) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    char kind = mode[0];
    if (kind != 'r' && kind != 'w' && kind != 'a') {
        errno = EINVAL;
        return nullptr;
    }
    bool plus = false, text = false, binary = false, exclusive = false;
    for (const char* m = mode + 1; *m && *m != ','; ++m) {
        switch (*m) {
        case '+':
            if (plus) {
                errno = EINVAL;
                return nullptr;
            }
            plus = true;
            break;
        case 't':
            text = true;
            break;
        case 'b':
            binary = true;
            break;
        case 'x':
            exclusive = true;
            break;
        case 'N': // not inherited by child processes: nothing to do here
        case 'c':
        case 'n':
        case 'S':
        case 'R':
        case 'T':
        case 'D':
        case ' ':
            break;
        default:
            errno = EINVAL;
            return nullptr;
        }
    }
    if ((text && binary) || (exclusive && kind != 'w')) {
        errno = EINVAL;
        return nullptr;
    }
    DWORD access = 0, disposition = 0;
    switch (kind) {
    case 'r':
        access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
        disposition = OPEN_EXISTING;
        break;
    case 'w':
        access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
        disposition = exclusive ? CREATE_NEW : CREATE_ALWAYS;
        break;
    default:
        access = FILE_APPEND_DATA | (plus ? GENERIC_READ : 0);
        disposition = OPEN_ALWAYS;
    }
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    if (shflag == _SH_DENYRW)
        share = 0;
    else if (shflag == _SH_DENYWR)
        share = FILE_SHARE_READ;
    else if (shflag == _SH_DENYRD)
        share = FILE_SHARE_WRITE;
    Guard g(MachineLock());
    if (Fail("fopen", path)) {
        errno = ErrnoOf(GetLastError());
        return nullptr;
    }
    fsys::OpenResult r = fsys::Open(path, access, share, disposition, FILE_ATTRIBUTE_NORMAL);
    if (r.error) {
        SetError(r.error);
        errno = ErrnoOf(r.error);
        return nullptr;
    }
    auto* c = new CrtFile{r.file, !binary};
    // "a+" in text mode drops a final 0x1A before appending.
    if (kind == 'a' && plus && c->text && !r.file->node->data.empty() && r.file->node->data.back() == 0x1A)
        r.file->node->data.pop_back();
    cookie_io_functions_t io{CookieRead, CookieWrite, CookieSeek, CookieClose};
    const char* cmode = (kind == 'r' && !plus) ? "r" : plus ? "r+" : "w";
    FILE* fp = fopencookie(c, cmode, io);
    if (!fp) {
        delete c;
        errno = ENOMEM;
    }
    return fp;
}

} // namespace

FILE* winsim_fopen(const char* path, const char* mode) {
    return Open(path, mode, _SH_DENYNO);
}

FILE* winsim_fsopen(const char* path, const char* mode, int shflag) {
    return Open(path, mode, shflag);
}

int _unlink(const char* path) {
    if (DeleteFileA(path))
        return 0;
    errno = ErrnoOf(GetLastError());
    return -1;
}

int _access(const char* path, int mode) {
    const DWORD attrs = GetFileAttributesA(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        errno = ErrnoOf(GetLastError());
        return -1;
    }
    if ((mode & 2) && (attrs & FILE_ATTRIBUTE_READONLY) && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        errno = EACCES;
        return -1;
    }
    return 0;
}

int _mkdir(const char* path) {
    if (CreateDirectoryA(path, nullptr))
        return 0;
    errno = ErrnoOf(GetLastError());
    return -1;
}

int _rmdir(const char* path) {
    if (RemoveDirectoryA(path))
        return 0;
    errno = ErrnoOf(GetLastError());
    return -1;
}

int _stricmp(const char* a, const char* b) {
    return _strnicmp(a, b, static_cast<size_t>(-1));
}

// Microsoft compares lower-cased characters: "_" sorts before letters.
int _strnicmp(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const int x = static_cast<unsigned char>(Lower(a[i]));
        const int y = static_cast<unsigned char>(Lower(b[i]));
        if (x != y || x == 0)
            return x - y;
    }
    return 0;
}

char* _strlwr(char* s) {
    for (char* p = s; p && *p; ++p)
        *p = Lower(*p);
    return s;
}

char* _strupr(char* s) {
    for (char* p = s; p && *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    return s;
}

int _vsnprintf(char* buffer, size_t count, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed < 0)
        return -1;
    if (static_cast<size_t>(needed) > count) {
        // Cut to count characters, without a terminator.
        std::string full(static_cast<size_t>(needed) + 1, '\0');
        std::vsnprintf(&full[0], full.size(), format, args);
        if (count)
            std::memcpy(buffer, full.data(), count);
        return -1;
    }
    if (static_cast<size_t>(needed) == count) {
        std::string full(static_cast<size_t>(needed) + 1, '\0');
        std::vsnprintf(&full[0], full.size(), format, args);
        if (count)
            std::memcpy(buffer, full.data(), count);
        return needed; // fits exactly: no terminator
    }
    return std::vsnprintf(buffer, count, format, args);
}

int _snprintf(char* buffer, size_t count, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int r = _vsnprintf(buffer, count, format, args);
    va_end(args);
    return r;
}
