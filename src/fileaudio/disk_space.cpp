#include "fileaudio/disk_space.h"

#include "core/text_utf.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/statvfs.h>
#endif

namespace kestravel::plugins {

uint64_t freeDiskBytes(const std::u16string& path) noexcept
{
    try {
        // The folder is asked, not the file: it exists even before the take does.
        const std::filesystem::path folder = toFsPath(path).parent_path();
#ifdef _WIN32
        ULARGE_INTEGER available{};
        if (!GetDiskFreeSpaceExW(folder.empty() ? L"." : folder.c_str(), &available, nullptr, nullptr))
            return kUnknownFreeBytes;
        return available.QuadPart;
#else
        struct statvfs fs {};
        if (::statvfs(folder.empty() ? "." : folder.c_str(), &fs) != 0)
            return kUnknownFreeBytes;
        return uint64_t{fs.f_bavail} * fs.f_frsize;
#endif
    } catch (...) {
        return kUnknownFreeBytes;
    }
}

} // namespace kestravel::plugins
