// version.dll: file version resources. A file made by fs::VersionImage carries one; the block
// GetFileVersionInfoA copies out holds its fixed file information.
#include "fsinternal.h"

#include "winsim/sim_fs.h"
#include "winsim/version.h"

#include <cstdio>
#include <cstring>

namespace winsim {
namespace {

using detail::Guard;

constexpr char kImageMark[] = "WINSIM-VERSION ";
constexpr char kBlockMark[8] = {'W', 'S', 'V', 'E', 'R', 'B', 'L', 'K'};

struct Block {
    char mark[8];
    VS_FIXEDFILEINFO info;
};

// The file's fixed file information; 0, or the error GetFileVersionInfoSizeA gives.
DWORD ReadVersion(LPCSTR path, VS_FIXEDFILEINFO& info) {
    if (!path || !*path)
        return ERROR_INVALID_PARAMETER;
    detail::fsys::FileImage image;
    if (DWORD e = detail::fsys::ReadImage(path, image))
        return e;
    unsigned a = 0, b = 0, c = 0, d = 0;
    const size_t at = image.data.find(kImageMark);
    if (image.data.compare(0, 2, "MZ") != 0 || at == std::string::npos ||
        std::sscanf(image.data.c_str() + at + sizeof(kImageMark) - 1, "%u.%u.%u.%u", &a, &b, &c, &d) != 4)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    info = VS_FIXEDFILEINFO{};
    info.dwSignature = VS_FFI_SIGNATURE;
    info.dwStrucVersion = VS_FFI_STRUCVERSION;
    info.dwFileVersionMS = info.dwProductVersionMS = (a << 16) | (b & 0xFFFF);
    info.dwFileVersionLS = info.dwProductVersionLS = (c << 16) | (d & 0xFFFF);
    info.dwFileOS = 0x40004; // VOS_NT_WINDOWS32
    info.dwFileType = 1;     // VFT_APP
    return 0;
}

} // namespace

namespace fs {

std::string VersionImage(WORD a, WORD b, WORD c, WORD d) {
    return std::string("MZ\x90", 3) + std::string(1, '\0') + kImageMark + std::to_string(a) + "." +
           std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d) + "\n";
}

} // namespace fs
} // namespace winsim

using namespace winsim;

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle) {
    Guard g(detail::MachineLock());
    if (lpdwHandle)
        *lpdwHandle = 0;
    if (detail::Fail("GetFileVersionInfoSizeA", lptstrFilename))
        return 0;
    VS_FIXEDFILEINFO info;
    if (DWORD e = ReadVersion(lptstrFilename, info)) {
        detail::SetError(e);
        return 0;
    }
    return sizeof(Block);
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD, DWORD dwLen, LPVOID lpData) {
    Guard g(detail::MachineLock());
    if (detail::Fail("GetFileVersionInfoA", lptstrFilename))
        return FALSE;
    VS_FIXEDFILEINFO info;
    if (DWORD e = ReadVersion(lptstrFilename, info)) {
        detail::SetError(e);
        return FALSE;
    }
    if (!lpData || dwLen < sizeof(Block)) {
        detail::SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    Block block;
    std::memcpy(block.mark, kBlockMark, sizeof(kBlockMark));
    block.info = info;
    std::memcpy(lpData, &block, sizeof(block));
    return TRUE;
}

BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen) {
    Guard g(detail::MachineLock());
    if (detail::Fail("VerQueryValueA", lpSubBlock))
        return FALSE;
    if (lplpBuffer)
        *lplpBuffer = nullptr;
    if (puLen)
        *puLen = 0;
    auto* block = static_cast<const Block*>(pBlock);
    if (!block || !lpSubBlock || !lplpBuffer ||
        std::memcmp(block->mark, kBlockMark, sizeof(kBlockMark)) != 0) {
        detail::SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (std::strcmp(lpSubBlock, "\\") != 0) {
        detail::SetError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    *lplpBuffer = const_cast<VS_FIXEDFILEINFO*>(&block->info);
    if (puLen)
        *puLen = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
