// Simulated file system, the kernel32 functions: files, folders, attributes, copy and move,
// searches, drives and the process's folders.
#include "files_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#ifndef ERROR_DIR_NOT_ROOT
#define ERROR_DIR_NOT_ROOT 144L
#endif

using namespace winsim;
using namespace winsim::detail;
using namespace winsim::detail::fsys;

static BOOL FailWith(DWORD error) {
    SetError(error);
    return FALSE;
}

// The open file behind a handle, for a call whose faults may name the file's path; null, with
// the last error set, when a fault is injected or the handle is not an open file.
static std::shared_ptr<OpenFile> FileCall(const char* function, HANDLE hFile) {
    auto f = Lookup<OpenFile>(hFile);
    if (Fail(function, f ? f->path.c_str() : nullptr))
        return nullptr;
    if (!f)
        SetError(ERROR_INVALID_HANDLE);
    return f;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    Guard g(MachineLock());
    if (Fail("CreateFileA", lpFileName))
        return INVALID_HANDLE_VALUE;
    OpenResult r =
        Open(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition, dwFlagsAndAttributes);
    if (r.error) {
        SetError(r.error);
        return INVALID_HANDLE_VALUE;
    }
    const bool reportsExisting =
        dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetError(reportsExisting && r.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return AddHandle(r.file);
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPVOID) {
    Guard g(MachineLock());
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto f = FileCall("ReadFile", hFile);
    if (!f)
        return FALSE;
    size_t got = 0;
    if (DWORD e = Read(*f, lpBuffer, nNumberOfBytesToRead, got))
        return FailWith(e);
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPVOID) {
    Guard g(MachineLock());
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto f = FileCall("WriteFile", hFile);
    if (!f)
        return FALSE;
    if (DWORD e = Write(*f, lpBuffer, nNumberOfBytesToWrite))
        return FailWith(e);
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    Guard g(MachineLock());
    auto f = FileCall("GetFileSize", hFile);
    if (!f)
        return INVALID_FILE_SIZE;
    const uint64_t size = f->node->data.size();
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    Guard g(MachineLock());
    if (Fail("SetFilePointer"))
        return INVALID_SET_FILE_POINTER;
    auto f = Lookup<OpenFile>(hFile);
    if (!f) {
        SetError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh)
        distance =
            static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                 static_cast<uint32_t>(lDistanceToMove));
    int64_t base = 0;
    if (dwMoveMethod == FILE_CURRENT)
        base = static_cast<int64_t>(f->pos);
    else if (dwMoveMethod == FILE_END)
        base = static_cast<int64_t>(f->node->data.size());
    else if (dwMoveMethod != FILE_BEGIN) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    const int64_t target = base + distance;
    if (target < 0) {
        SetError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    f->pos = static_cast<uint64_t>(target);
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(f->pos >> 32);
    SetError(ERROR_SUCCESS);
    return static_cast<DWORD>(f->pos);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    Guard g(MachineLock());
    if (Fail("SetEndOfFile"))
        return FALSE;
    auto f = Lookup<OpenFile>(hFile);
    if (!f)
        return FailWith(ERROR_INVALID_HANDLE);
    if (!(f->access & kWrite))
        return FailWith(ERROR_ACCESS_DENIED);
    if (f->pos > f->node->data.size() && !Fits(*f->node, f->pos - f->node->data.size()))
        return FailWith(ERROR_DISK_FULL);
    f->node->data.resize(f->pos, '\0');
    f->node->written = SystemFileTime();
    return TRUE;
}

static uint64_t Join(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

BOOL WINAPI LockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                     DWORD nNumberOfBytesToLockLow, DWORD nNumberOfBytesToLockHigh) {
    Guard g(MachineLock());
    auto f = FileCall("LockFile", hFile);
    if (!f)
        return FALSE;
    // Windows wants read or write access to the data; appending only is not enough.
    if (!(f->access & kRead) && (!(f->access & kWrite) || f->appendOnly))
        return FailWith(ERROR_ACCESS_DENIED);
    const uint64_t start = Join(dwFileOffsetHigh, dwFileOffsetLow);
    const uint64_t length = Join(nNumberOfBytesToLockHigh, nNumberOfBytesToLockLow);
    if (start + length < start)
        return FailWith(ERROR_INVALID_PARAMETER);
    for (const RangeLock& l : f->node->rangeLocks) {
        if (start < l.start + l.length && l.start < start + length)
            return FailWith(ERROR_LOCK_VIOLATION);
    }
    f->node->rangeLocks.push_back({f.get(), start, length});
    return TRUE;
}

BOOL WINAPI UnlockFile(HANDLE hFile, DWORD dwFileOffsetLow, DWORD dwFileOffsetHigh,
                       DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh) {
    Guard g(MachineLock());
    auto f = FileCall("UnlockFile", hFile);
    if (!f)
        return FALSE;
    const uint64_t start = Join(dwFileOffsetHigh, dwFileOffsetLow);
    const uint64_t length = Join(nNumberOfBytesToUnlockHigh, nNumberOfBytesToUnlockLow);
    auto& locks = f->node->rangeLocks;
    for (auto it = locks.begin(); it != locks.end(); ++it) {
        if (it->owner == f.get() && it->start == start && it->length == length) {
            locks.erase(it);
            return TRUE;
        }
    }
    return FailWith(ERROR_NOT_LOCKED);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    if (!Lookup<OpenFile>(hFile))
        return FailWith(ERROR_INVALID_HANDLE);
    return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
    Guard g(MachineLock());
    auto f = Lookup<OpenFile>(hFile);
    if (!f)
        return FailWith(ERROR_INVALID_HANDLE);
    if (lpCreationTime)
        *lpCreationTime = ToFileTime(f->node->created);
    if (lpLastAccessTime)
        *lpLastAccessTime = ToFileTime(f->node->accessed);
    if (lpLastWriteTime)
        *lpLastWriteTime = ToFileTime(f->node->written);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    Guard g(MachineLock());
    if (Fail("DeleteFileA", lpFileName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpFileName, p, loc))
        return FailWith(e);
    if (loc.node->dir || loc.node->denied || (loc.node->attrs & FILE_ATTRIBUTE_READONLY))
        return FailWith(ERROR_ACCESS_DENIED);
    if (DeleteBlocked(*loc.node))
        return FailWith(ERROR_SHARING_VIOLATION);
    if (ModuleFileInUse(FullPath(lpFileName)))
        return FailWith(ERROR_ACCESS_DENIED);
    Detach(*loc.node);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    Guard g(MachineLock());
    if (Fail("CreateDirectoryA", lpPathName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = Resolve(lpPathName, p, loc))
        return FailWith(e);
    if (p.parts.empty())
        return FailWith(ERROR_ACCESS_DENIED);
    if (loc.node)
        return FailWith(ERROR_ALREADY_EXISTS);
    Attach(*loc.parent, NewNode(p.parts.back(), true));
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    Guard g(MachineLock());
    if (Fail("RemoveDirectoryA", lpPathName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpPathName, p, loc))
        return FailWith(e);
    if (p.parts.empty()) // a drive's root: always there, never removed
        return FailWith(ERROR_ACCESS_DENIED);
    if (!loc.node->dir)
        return FailWith(ERROR_DIRECTORY);
    if (loc.node->denied || (loc.node->attrs & FILE_ATTRIBUTE_READONLY))
        return FailWith(ERROR_ACCESS_DENIED);
    if (DeleteBlocked(*loc.node) || IsCurrentFolder(loc.node.get()))
        return FailWith(ERROR_SHARING_VIOLATION);
    if (!loc.node->children.empty())
        return FailWith(ERROR_DIR_NOT_EMPTY);
    Detach(*loc.node);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    Guard g(MachineLock());
    if (Fail("GetFileAttributesA", lpFileName))
        return INVALID_FILE_ATTRIBUTES;
    Path p;
    Loc loc;
    DWORD e = ResolveExisting(lpFileName, p, loc);
    if (!e && loc.node->denied)
        e = ERROR_ACCESS_DENIED;
    if (!e && p.trailingSep && !loc.node->dir)
        e = ERROR_INVALID_NAME;
    if (e) {
        SetError(e);
        return INVALID_FILE_ATTRIBUTES;
    }
    const DWORD attrs = loc.node->attrs | (loc.node->dir ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    Guard g(MachineLock());
    if (Fail("SetFileAttributesA", lpFileName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpFileName, p, loc))
        return FailWith(e);
    if (loc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    loc.node->attrs = dwFileAttributes & kSettableAttributes;
    return TRUE;
}

static BOOL CopyNode(Node& src, const Path& dp, Loc& dloc, DWORD flags, LPPROGRESS_ROUTINE progress,
                     LPVOID data, LPBOOL pbCancel) {
    std::shared_ptr<Node> dst = dloc.node;
    if (dst) {
        if (dst.get() == &src)
            return FailWith(ERROR_SHARING_VIOLATION);
        if (dst->dir || dst->denied)
            return FailWith(ERROR_ACCESS_DENIED);
        if (flags & COPY_FILE_FAIL_IF_EXISTS)
            return FailWith(ERROR_FILE_EXISTS);
        const DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if ((dst->attrs & FILE_ATTRIBUTE_READONLY) || (dst->attrs & hs & ~src.attrs))
            return FailWith(ERROR_ACCESS_DENIED);
        if (ShareConflict(*dst, kWrite | kDelete, 0))
            return FailWith(ERROR_SHARING_VIOLATION);
        Truncate(*dst);
    } else {
        if (dp.trailingSep || dp.parts.empty())
            return FailWith(ERROR_INVALID_NAME);
        dst = NewNode(dp.parts.back(), false);
        Attach(*dloc.parent, dst);
    }
    const std::string bytes = src.data;
    const std::string host = src.hostModule;
    auto abort = [&](DWORD error) {
        if (dst->parent)
            Detach(*dst);
        return FailWith(error);
    };
    LARGE_INTEGER total{}, done{};
    total.QuadPart = static_cast<LONGLONG>(bytes.size());
    bool quiet = progress == nullptr;
    // Tells the caller's routine; false when it asks to stop the copy.
    auto report = [&](DWORD reason) {
        if (quiet)
            return true;
        const DWORD answer = progress(total, done, total, done, 1, reason, nullptr, nullptr, data);
        quiet = answer == PROGRESS_QUIET;
        return answer != PROGRESS_CANCEL && answer != PROGRESS_STOP;
    };
    if (!report(CALLBACK_STREAM_SWITCH))
        return abort(ERROR_REQUEST_ABORTED);
    size_t offset = 0;
    do {
        // Each chunk counts as a call, so "another process" can act part-way through a copy.
        if (auto e = Faulted("CopyFileExA:chunk", dp.Full().c_str()))
            return abort(*e);
        if (pbCancel && *reinterpret_cast<volatile BOOL*>(pbCancel))
            return abort(S().cancelError);
        const size_t n = std::min(kCopyChunk, bytes.size() - offset);
        if (n && !Fits(*dst, n))
            return abort(ERROR_DISK_FULL);
        dst->data.append(bytes, offset, n);
        offset += n;
        done.QuadPart = static_cast<LONGLONG>(offset);
        if (!report(CALLBACK_CHUNK_FINISHED))
            return abort(ERROR_REQUEST_ABORTED);
    } while (offset < bytes.size());
    dst->hostModule = host;
    dst->attrs = src.attrs | FILE_ATTRIBUTE_ARCHIVE;
    dst->written = src.written;
    return TRUE;
}

static BOOL CopyFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, LPPROGRESS_ROUTINE lpProgressRoutine,
                     LPVOID lpData, LPBOOL pbCancel, DWORD dwCopyFlags) {
    Path sp, dp;
    Loc sloc;
    if (DWORD e = ResolveExisting(lpExistingFileName, sp, sloc))
        return FailWith(e);
    if (sloc.node->dir || sloc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    if (ReadBlocked(*sloc.node))
        return FailWith(ERROR_SHARING_VIOLATION);
    Loc dloc;
    if (DWORD e = Resolve(lpNewFileName, dp, dloc))
        return FailWith(e);
    std::shared_ptr<Node> keep = sloc.node;
    return CopyNode(*keep, dp, dloc, dwCopyFlags, lpProgressRoutine, lpData, pbCancel);
}

BOOL WINAPI CopyFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, LPPROGRESS_ROUTINE lpProgressRoutine,
                        LPVOID lpData, LPBOOL pbCancel, DWORD dwCopyFlags) {
    Guard g(MachineLock());
    if (Fail("CopyFileExA", lpExistingFileName))
        return FALSE;
    return CopyFile(lpExistingFileName, lpNewFileName, lpProgressRoutine, lpData, pbCancel, dwCopyFlags);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    Guard g(MachineLock());
    if (Fail("CopyFileA", lpExistingFileName))
        return FALSE;
    return CopyFile(lpExistingFileName, lpNewFileName, nullptr, nullptr, nullptr,
                    bFailIfExists ? COPY_FILE_FAIL_IF_EXISTS : 0);
}

static BOOL MoveFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    Path sp;
    if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        // Windows only records the request (admin rights needed); it does not look at the file.
        if (S().rebootDenied)
            return FailWith(ERROR_ACCESS_DENIED);
        if (DWORD e = Parse(lpExistingFileName, sp))
            return FailWith(e);
        if (sp.unc)
            return FailWith(ERROR_PATH_NOT_FOUND);
        if (S().rebootChecksSource) {
            Loc loc = Locate(sp);
            if (loc.error)
                return FailWith(loc.error);
            if (!loc.node)
                return FailWith(ERROR_FILE_NOT_FOUND);
        }
        std::string to;
        if (lpNewFileName) {
            to = FullPath(lpNewFileName);
            if (to.empty())
                return FailWith(ERROR_INVALID_NAME);
        }
        S().pending.push_back(fs::PendingRename{sp.Full(), to});
        return TRUE;
    }
    if (!lpNewFileName)
        return FailWith(ERROR_INVALID_PARAMETER);
    Path dp;
    Loc sloc;
    if (DWORD e = ResolveExisting(lpExistingFileName, sp, sloc))
        return FailWith(e);
    if (!sloc.node->parent || sloc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    if (DeleteBlocked(*sloc.node))
        return FailWith(ERROR_SHARING_VIOLATION);
    Loc dloc;
    if (DWORD e = Resolve(lpNewFileName, dp, dloc))
        return FailWith(e);
    if (dp.parts.empty())
        return FailWith(ERROR_ACCESS_DENIED);
    std::shared_ptr<Node> src = sloc.node;
    if (dloc.node && dloc.node != src) {
        if (!(dwFlags & MOVEFILE_REPLACE_EXISTING))
            return FailWith(ERROR_ALREADY_EXISTS);
        if (dloc.node->dir || src->dir || dloc.node->denied || (dloc.node->attrs & FILE_ATTRIBUTE_READONLY))
            return FailWith(ERROR_ACCESS_DENIED);
        if (DeleteBlocked(*dloc.node))
            return FailWith(ERROR_SHARING_VIOLATION);
    }
    if (sp.drive != dp.drive) {
        if (src->dir || !(dwFlags & MOVEFILE_COPY_ALLOWED))
            return FailWith(ERROR_NOT_SAME_DEVICE);
        if (dloc.node)
            Detach(*dloc.node);
        dloc.node = nullptr;
        if (!CopyNode(*src, dp, dloc, 0, nullptr, nullptr, nullptr))
            return FALSE;
        Detach(*src);
        return TRUE;
    }
    if (IsUnder(dloc.parent, src.get()))
        return FailWith(ERROR_SHARING_VIOLATION);
    if (dloc.node && dloc.node != src)
        Detach(*dloc.node);
    Detach(*src);
    src->name = dp.parts.back();
    Attach(*dloc.parent, src);
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    Guard g(MachineLock());
    if (Fail("MoveFileExA", lpExistingFileName))
        return FALSE;
    return MoveFile(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    Guard g(MachineLock());
    if (Fail("MoveFileA", lpExistingFileName))
        return FALSE;
    return MoveFile(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    Guard g(MachineLock());
    if (Fail("FindFirstFileA", lpFileName))
        return INVALID_HANDLE_VALUE;
    auto fail = [](DWORD e) {
        SetError(e);
        return INVALID_HANDLE_VALUE;
    };
    Path p;
    Loc loc;
    if (DWORD e = Resolve(lpFileName, p, loc, true))
        return fail(e);
    if (p.parts.empty() || p.trailingSep)
        return fail(ERROR_FILE_NOT_FOUND);
    const std::string& pattern = p.parts.back();
    auto search = std::make_shared<Search>();
    if (HasWildcards(pattern)) {
        Node& dir = *loc.parent;
        if (dir.parent) {
            if (WildMatch(pattern, "."))
                search->entries.push_back(FindData(dir, "."));
            if (WildMatch(pattern, ".."))
                search->entries.push_back(FindData(*dir.parent, ".."));
        }
        for (const auto& [key, child] : dir.children)
            if (WildMatch(pattern, child->name) ||
                (!child->shortName.empty() && WildMatch(pattern, child->shortName)))
                search->entries.push_back(FindData(*child, child->name));
    } else if (loc.node) {
        search->entries.push_back(FindData(*loc.node, loc.node->name));
    }
    if (search->entries.empty())
        return fail(ERROR_FILE_NOT_FOUND);
    if (lpFindFileData)
        *lpFindFileData = search->entries[0];
    search->next = 1;
    SetError(ERROR_SUCCESS);
    return AddHandle(search);
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    Guard g(MachineLock());
    if (Fail("FindNextFileA"))
        return FALSE;
    auto s = Lookup<Search>(hFindFile);
    if (!s)
        return FailWith(ERROR_INVALID_HANDLE);
    if (s->next >= s->entries.size())
        return FailWith(ERROR_NO_MORE_FILES);
    if (lpFindFileData)
        *lpFindFileData = s->entries[s->next];
    ++s->next;
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    Guard g(MachineLock());
    if (!Lookup<Search>(hFindFile))
        return FailWith(ERROR_INVALID_HANDLE);
    RemoveHandle(hFindFile);
    return TRUE;
}

// A drive root given as "X:\", "X:" or "X:/"; 0 when the text is not a root.
static char RootLetter(LPCSTR root) {
    if (!root)
        return S().cwd[0];
    std::string r(root);
    if (r.size() < 2 || r.size() > 3 || r[1] != ':' || (r.size() == 3 && r[2] != '\\' && r[2] != '/'))
        return 0;
    const char letter = Upper(r[0]);
    return letter >= 'A' && letter <= 'Z' ? letter : 0;
}

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName) {
    Guard g(MachineLock());
    if (Fail("GetDriveTypeA", lpRootPathName))
        return DRIVE_UNKNOWN;
    const char letter = RootLetter(lpRootPathName);
    const Drive* d = DriveNamed(letter);
    return d ? d->type : DRIVE_NO_ROOT_DIR;
}

BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer,
                                  DWORD nFileSystemNameSize) {
    Guard g(MachineLock());
    if (Fail("GetVolumeInformationA", lpRootPathName))
        return FALSE;
    if (lpRootPathName) {
        const size_t len = std::strlen(lpRootPathName);
        if (len == 0 || (lpRootPathName[len - 1] != '\\' && lpRootPathName[len - 1] != '/'))
            return FailWith(ERROR_INVALID_NAME);
        if (!RootLetter(lpRootPathName))
            return FailWith(ERROR_DIR_NOT_ROOT);
    }
    const Drive* found = DriveNamed(RootLetter(lpRootPathName));
    if (!found)
        return FailWith(ERROR_PATH_NOT_FOUND);
    const Drive& d = *found;
    if (!d.media)
        return FailWith(ERROR_NOT_READY);
    const std::string fsName = d.type == DRIVE_CDROM ? "CDFS" : d.type == DRIVE_REMOVABLE ? "FAT32" : "NTFS";
    if (lpVolumeNameBuffer && !CopyOut(d.label, lpVolumeNameBuffer, nVolumeNameSize))
        return FailWith(ERROR_BAD_LENGTH);
    if (lpFileSystemNameBuffer && !CopyOut(fsName, lpFileSystemNameBuffer, nFileSystemNameSize))
        return FailWith(ERROR_BAD_LENGTH);
    if (lpVolumeSerialNumber)
        *lpVolumeSerialNumber = d.serial;
    if (lpMaximumComponentLength)
        *lpMaximumComponentLength = 255;
    if (lpFileSystemFlags)
        *lpFileSystemFlags = fsName == "NTFS" ? 0x03E706FFu : 0x00000006u;
    return TRUE;
}

DWORD WINAPI GetLogicalDriveStringsA(DWORD nBufferLength, LPSTR lpBuffer) {
    Guard g(MachineLock());
    if (Fail("GetLogicalDriveStringsA"))
        return 0;
    std::string all;
    for (const auto& [letter, d] : S().drives)
        all += std::string(1, letter) + ":\\" + std::string(1, '\0');
    if (S().driveStringsLength)
        return S().driveStringsLength;
    if (!lpBuffer || nBufferLength < all.size() + 1)
        return static_cast<DWORD>(all.size() + 1);
    std::memcpy(lpBuffer, all.data(), all.size());
    lpBuffer[all.size()] = '\0';
    return static_cast<DWORD>(all.size());
}

DWORD WINAPI GetLogicalDrives(void) {
    Guard g(MachineLock());
    DWORD mask = 0;
    for (const auto& [letter, d] : S().drives)
        mask |= 1u << (letter - 'A');
    return mask;
}

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName, ULONGLONG* lpFreeBytesAvailableToCaller,
                                ULONGLONG* lpTotalNumberOfBytes, ULONGLONG* lpTotalNumberOfFreeBytes) {
    Guard g(MachineLock());
    if (Fail("GetDiskFreeSpaceExA", lpDirectoryName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = Resolve(lpDirectoryName ? lpDirectoryName : "\\", p, loc))
        return FailWith(e);
    if (!loc.node || !loc.node->dir)
        return FailWith(ERROR_DIRECTORY);
    const uint64_t used = UsedBytes(*loc.drive->root);
    const uint64_t free = loc.drive->capacity > used ? loc.drive->capacity - used : 0;
    if (lpFreeBytesAvailableToCaller)
        *lpFreeBytesAvailableToCaller = free;
    if (lpTotalNumberOfFreeBytes)
        *lpTotalNumberOfFreeBytes = free;
    if (lpTotalNumberOfBytes)
        *lpTotalNumberOfBytes = loc.drive->capacity;
    return TRUE;
}

// The usual "A" buffer protocol: the length without terminator when it fits, otherwise the
// size needed including the terminator.
static DWORD Answer(const std::string& text, LPSTR buffer, DWORD size) {
    if (!CopyOut(text, buffer, size))
        return static_cast<DWORD>(text.size() + 1);
    return static_cast<DWORD>(text.size());
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    Guard g(MachineLock());
    if (Fail("GetTempPathA"))
        return 0;
    std::string dir;
    for (const char* name : {"TMP", "TEMP", "USERPROFILE"}) {
        if (auto v = Env(name); v && !v->empty()) {
            dir = *v;
            break;
        }
    }
    if (dir.empty())
        dir = "C:\\Windows";
    std::string full = FullPath(dir.c_str());
    if (full.empty())
        full = dir;
    if (full.back() != '\\')
        full += '\\';
    return Answer(full, lpBuffer, nBufferLength);
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    Guard g(MachineLock());
    if (Fail("GetFullPathNameA", lpFileName))
        return 0;
    Path p;
    if (DWORD e = Parse(lpFileName, p, true)) {
        SetError(e);
        return 0;
    }
    if (p.unc) {
        std::string s(lpFileName);
        std::replace(s.begin(), s.end(), '/', '\\');
        return Answer(s, lpBuffer, nBufferLength);
    }
    std::string full = p.Full();
    if (p.trailingSep && !p.parts.empty())
        full += '\\';
    const DWORD r = Answer(full, lpBuffer, nBufferLength);
    if (lpFilePart && r < nBufferLength) {
        const size_t slash = full.rfind('\\');
        *lpFilePart = slash + 1 < full.size() ? lpBuffer + slash + 1 : nullptr;
    }
    return r;
}

DWORD WINAPI GetShortPathNameA(LPCSTR lpszLongPath, LPSTR lpszShortPath, DWORD cchBuffer) {
    Guard g(MachineLock());
    if (Fail("GetShortPathNameA", lpszLongPath))
        return 0;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpszLongPath, p, loc)) {
        SetError(e);
        return 0;
    }
    std::string out = std::string(1, p.drive) + ":";
    std::shared_ptr<Node> cur = loc.drive->root;
    for (const auto& part : p.parts) {
        cur = Child(*cur, part);
        out += "\\" + (cur->shortName.empty() ? part : cur->shortName);
    }
    if (p.parts.empty() || p.trailingSep)
        out += "\\";
    return Answer(out, lpszShortPath, cchBuffer);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Fail("GetWindowsDirectoryA"))
        return 0;
    return Answer("C:\\Windows", lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Fail("GetSystemDirectoryA"))
        return 0;
    return Answer("C:\\Windows\\system32", lpBuffer, uSize);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    Guard g(MachineLock());
    return Answer(S().cwd, lpBuffer, nBufferLength);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
    Guard g(MachineLock());
    if (Fail("SetCurrentDirectoryA", lpPathName))
        return FALSE;
    Path p;
    Loc loc;
    if (DWORD e = ResolveExisting(lpPathName, p, loc))
        return FailWith(e);
    if (!loc.node->dir)
        return FailWith(ERROR_DIRECTORY);
    if (loc.node->denied)
        return FailWith(ERROR_ACCESS_DENIED);
    S().cwd = p.Full();
    return TRUE;
}
