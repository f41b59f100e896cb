// Holders that close what a function opened on every way out of it. No exceptions: a holder
// takes the result of the call that opens, is tested with IsValid, and closes in its destructor
// unless the handle was handed to a longer-lived owner with Detach.
//
//     ZebFindHandle hFind(FindFirstFileA(pszPattern, &fd));
//     if (!hFind.IsValid())
//         return FALSE;                  // nothing to close
//     ...                                // every return from here closes the search
//
//     ZebRegKey hKey;
//     if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, KEY_READ, hKey.Out()) != ERROR_SUCCESS)
//         return FALSE;
#pragma once

#include "zebiwicnDefs.h"
#include <msi.h>
#include <msiquery.h>

#include <stdio.h>
#include <stdlib.h>

template <typename Traits> class ZebHolder {
  public:
    typedef typename Traits::Type Type;

    ZebHolder() : m_h(Traits::Empty()) {}
    explicit ZebHolder(Type h) : m_h(h) {}
    ~ZebHolder() { Close(); }
    ZebHolder(const ZebHolder&) = delete;
    ZebHolder& operator=(const ZebHolder&) = delete;

    Type Get() const { return m_h; }
    BOOL IsValid() const { return Traits::IsValid(m_h); }
    // For calls that return the handle through a pointer; whatever was held is closed first.
    Type* Out() {
        Close();
        return &m_h;
    }
    // Takes another handle, closing the one held.
    void Reset(Type h) {
        Close();
        m_h = h;
    }
    // Gives the handle to another owner; the holder then closes nothing.
    Type Detach() {
        Type h = m_h;
        m_h = Traits::Empty();
        return h;
    }
    // Closes now. TRUE when nothing was held or the close succeeded.
    BOOL Close() {
        BOOL bOk = TRUE;
        if (Traits::IsValid(m_h))
            bOk = Traits::Close(m_h);
        m_h = Traits::Empty();
        return bOk;
    }

  private:
    Type m_h;
};

struct ZebMsiTraits {
    typedef MSIHANDLE Type;
    static Type Empty() { return 0; }
    static BOOL IsValid(Type h) { return h != 0; }
    static BOOL Close(Type h) { return MsiCloseHandle(h) == ERROR_SUCCESS; }
};

struct ZebRegKeyTraits {
    typedef HKEY Type;
    static Type Empty() { return NULL; }
    static BOOL IsValid(Type h) { return h != NULL; }
    static BOOL Close(Type h) { return RegCloseKey(h) == ERROR_SUCCESS; }
};

// CreateFileA fails with INVALID_HANDLE_VALUE, CreateMutexA and OpenProcess with NULL.
struct ZebKernelTraits {
    typedef HANDLE Type;
    static Type Empty() { return NULL; }
    static BOOL IsValid(Type h) { return h != NULL && h != INVALID_HANDLE_VALUE; }
    static BOOL Close(Type h) { return CloseHandle(h); }
};

struct ZebFindTraits {
    typedef HANDLE Type;
    static Type Empty() { return INVALID_HANDLE_VALUE; }
    static BOOL IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != NULL; }
    static BOOL Close(Type h) { return FindClose(h); }
};

struct ZebModuleTraits {
    typedef HMODULE Type;
    static Type Empty() { return NULL; }
    static BOOL IsValid(Type h) { return h != NULL; }
    static BOOL Close(Type h) { return FreeLibrary(h); }
};

struct ZebFileTraits {
    typedef FILE* Type;
    static Type Empty() { return NULL; }
    static BOOL IsValid(Type h) { return h != NULL; }
    static BOOL Close(Type h) { return fclose(h) == 0; }
};

// A buffer from malloc, calloc or realloc.
template <typename T> struct ZebHeapTraits {
    typedef T* Type;
    static Type Empty() { return NULL; }
    static BOOL IsValid(Type p) { return p != NULL; }
    static BOOL Close(Type p) {
        free(p);
        return TRUE;
    }
};

// A COM interface pointer (CoCreateInstance, QueryInterface): released.
template <typename T> struct ZebComTraits {
    typedef T* Type;
    static Type Empty() { return NULL; }
    static BOOL IsValid(Type p) { return p != NULL; }
    static BOOL Close(Type p) {
        p->Release();
        return TRUE;
    }
};

typedef ZebHolder<ZebMsiTraits> ZebMsiHandle;       // records, views, databases, summary info
typedef ZebHolder<ZebRegKeyTraits> ZebRegKey;       // opened or created registry keys
typedef ZebHolder<ZebKernelTraits> ZebKernelHandle; // files, mutexes, events, processes, tokens
typedef ZebHolder<ZebFindTraits> ZebFindHandle;     // FindFirstFileA searches
typedef ZebHolder<ZebModuleTraits> ZebModule;       // LoadLibraryExA
typedef ZebHolder<ZebFileTraits> ZebFile;           // fopen
template <typename T> using ZebHeap = ZebHolder<ZebHeapTraits<T>>;
template <typename T> using ZebCom = ZebHolder<ZebComTraits<T>>; // IShellLinkA, IPersistFile
