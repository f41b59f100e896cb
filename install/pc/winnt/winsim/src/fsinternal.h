// The simulated file system's internals, shared by the kernel32 file functions, the CRT stdio
// layer and the module loader.
#pragma once

#include "internal.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace winsim::detail::fsys {

struct OpenFile;

// A byte-range lock held through one open.
struct RangeLock {
    const OpenFile* owner = nullptr;
    uint64_t start = 0;
    uint64_t length = 0;
};

struct Node {
    std::string name;      // as created, case kept
    std::string shortName; // generated 8.3 alias; empty when the name already is one
    bool dir = false;
    DWORD attrs = 0; // FILE_ATTRIBUTE_* without DIRECTORY
    std::string data;
    std::string hostModule; // host shared object LoadLibraryExA maps this file to
    bool locked = false;    // held open without sharing by another process
    bool denied = false;    // access refused to it and all it holds
    uint64_t created = 0, written = 0, accessed = 0;
    Node* parent = nullptr;
    std::map<std::string, std::shared_ptr<Node>, ILess> children;
    std::vector<OpenFile*> opens;
    std::vector<RangeLock> rangeLocks;
};

// Access an open asks for, for the sharing rules.
enum : unsigned { kRead = 1, kWrite = 2, kDelete = 4 };

struct OpenFile : KernelObject {
    std::shared_ptr<Node> node;
    std::string path; // full path it was opened by (what faults on its reads and writes match)
    char drive = 0;
    unsigned access = 0;
    DWORD share = 0;
    bool appendOnly = false;
    bool deleteOnClose = false;
    uint64_t pos = 0;
    ~OpenFile() override;
};

// Opens like CreateFileA. error is 0 on success; existed tells whether the file was there
// before (CREATE_ALWAYS and OPEN_ALWAYS then report 183).
struct OpenResult {
    std::shared_ptr<OpenFile> file;
    DWORD error = 0;
    bool existed = false;
};
OpenResult Open(const char* path, DWORD desiredAccess, DWORD shareMode, DWORD disposition,
                DWORD flagsAndAttributes);

// Raw reads and writes at the open's position (writes of an append-only open go to the end).
DWORD Read(OpenFile& file, void* buffer, size_t size, size_t& got);
DWORD Write(OpenFile& file, const void* buffer, size_t size);

// A file as the module loader sees it: full path, bytes and the host object it maps to.
struct FileImage {
    std::string fullPath;
    std::string data;
    std::string hostModule;
};
DWORD ReadImage(const char* path, FileImage& out);

// The full path a path names (relative paths against the current folder); empty when invalid.
std::string FullPath(const char* path);

} // namespace winsim::detail::fsys
