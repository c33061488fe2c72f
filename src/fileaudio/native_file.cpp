#include "fileaudio/native_file.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestravel::plugins {

namespace {
// One system call moves at most this much, so sizes fit every platform's count type.
constexpr size_t kMaxIo = size_t{1} << 30;
} // namespace

NativeFile::~NativeFile()
{
    std::error_code ignored;
    close(ignored);
}

NativeFile::NativeFile(NativeFile&& other) noexcept
{
    *this = std::move(other);
}

#ifdef _WIN32

namespace {
std::error_code lastError() noexcept
{
    return {static_cast<int>(GetLastError()), std::system_category()};
}

OVERLAPPED at(uint64_t offset) noexcept
{
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}
} // namespace

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept
{
    if (this != &other) {
        std::error_code ignored;
        close(ignored);
        handle = std::exchange(other.handle, nullptr);
    }
    return *this;
}

NativeFile NativeFile::openForReading(const std::filesystem::path& path, std::error_code& ec)
{
    NativeFile file;
    // A streamed file stays open while it plays; sharing deletion lets the user delete or
    // rename it meanwhile, as on Linux.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return file;
    }
    // A pipe or a device would block reads or never end: only disk files are read.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        ec = std::make_error_code(std::errc::not_supported);
        return file;
    }
    ec.clear();
    file.handle = h;
    return file;
}

NativeFile NativeFile::createNew(const std::filesystem::path& path, std::error_code& ec)
{
    NativeFile file;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        ec = lastError();
        return file;
    }
    ec.clear();
    file.handle = h;
    return file;
}

bool NativeFile::isOpen() const noexcept
{
    return handle != nullptr;
}

uint64_t NativeFile::size(std::error_code& ec) const noexcept
{
    LARGE_INTEGER s{};
    if (!GetFileSizeEx(static_cast<HANDLE>(handle), &s)) {
        ec = lastError();
        return 0;
    }
    ec.clear();
    return static_cast<uint64_t>(s.QuadPart);
}

NativeFile::Stamp NativeFile::stamp(std::error_code& ec) const noexcept
{
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER s{};
    if (!GetFileSizeEx(static_cast<HANDLE>(handle), &s) ||
        !GetFileInformationByHandleEx(static_cast<HANDLE>(handle), FileBasicInfo, &basic, sizeof(basic))) {
        ec = lastError();
        return {};
    }
    ec.clear();
    return {static_cast<uint64_t>(s.QuadPart), basic.LastWriteTime.QuadPart};
}

size_t NativeFile::readAt(uint64_t offset, void* dst, size_t n, std::error_code& ec) const noexcept
{
    ec.clear();
    size_t done = 0;
    while (done < n) {
        const auto want = static_cast<DWORD>(std::min(n - done, kMaxIo));
        OVERLAPPED o = at(offset + done);
        DWORD got = 0;
        if (!ReadFile(static_cast<HANDLE>(handle), static_cast<char*>(dst) + done, want, &got, &o)) {
            if (GetLastError() != ERROR_HANDLE_EOF)
                ec = lastError();
            break;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

size_t NativeFile::writeAt(uint64_t offset, const void* src, size_t n, std::error_code& ec) noexcept
{
    ec.clear();
    size_t done = 0;
    while (done < n) {
        const auto want = static_cast<DWORD>(std::min(n - done, kMaxIo));
        OVERLAPPED o = at(offset + done);
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(handle), static_cast<const char*>(src) + done, want, &put,
                       &o)) {
            ec = lastError();
            break;
        }
        if (put == 0) {
            ec = std::make_error_code(std::errc::io_error);
            break;
        }
        done += put;
    }
    return done;
}

bool NativeFile::truncate(uint64_t size, std::error_code& ec) noexcept
{
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(static_cast<HANDLE>(handle), to, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(static_cast<HANDLE>(handle))) {
        ec = lastError();
        return false;
    }
    ec.clear();
    return true;
}

bool NativeFile::syncToDisk(std::error_code& ec) noexcept
{
    if (!FlushFileBuffers(static_cast<HANDLE>(handle))) {
        ec = lastError();
        return false;
    }
    ec.clear();
    return true;
}

bool NativeFile::close(std::error_code& ec) noexcept
{
    ec.clear();
    if (!handle)
        return true;
    const bool ok = CloseHandle(static_cast<HANDLE>(std::exchange(handle, nullptr))) != 0;
    if (!ok)
        ec = lastError();
    return ok;
}

#else

namespace {
std::error_code lastError() noexcept
{
    return {errno, std::generic_category()};
}
} // namespace

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept
{
    if (this != &other) {
        std::error_code ignored;
        close(ignored);
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

NativeFile NativeFile::openForReading(const std::filesystem::path& path, std::error_code& ec)
{
    NativeFile file;
    // Non-blocking, so that opening a FIFO returns at once instead of waiting for a writer;
    // only a regular file is kept, and it reads blocking as usual.
    int f = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (f < 0) {
        ec = lastError();
        return file;
    }
    struct stat st {};
    const bool statted = ::fstat(f, &st) == 0;
    if (!statted || !S_ISREG(st.st_mode)) {
        ec = !statted ? lastError()
             : S_ISDIR(st.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                   : std::make_error_code(std::errc::not_supported);
        ::close(f);
        return file;
    }
    const int flags = ::fcntl(f, F_GETFL);
    if (flags < 0 || ::fcntl(f, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ec = lastError();
        ::close(f);
        return file;
    }
    ::posix_fadvise(f, 0, 0, POSIX_FADV_SEQUENTIAL);
    ec.clear();
    file.fd = f;
    return file;
}

NativeFile NativeFile::createNew(const std::filesystem::path& path, std::error_code& ec)
{
    NativeFile file;
    int f = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (f < 0) {
        ec = lastError();
        return file;
    }
    ec.clear();
    file.fd = f;
    return file;
}

bool NativeFile::isOpen() const noexcept
{
    return fd >= 0;
}

uint64_t NativeFile::size(std::error_code& ec) const noexcept
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ec = lastError();
        return 0;
    }
    ec.clear();
    return static_cast<uint64_t>(st.st_size);
}

NativeFile::Stamp NativeFile::stamp(std::error_code& ec) const noexcept
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ec = lastError();
        return {};
    }
    ec.clear();
    return {static_cast<uint64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

size_t NativeFile::readAt(uint64_t offset, void* dst, size_t n, std::error_code& ec) const noexcept
{
    ec.clear();
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, static_cast<char*>(dst) + done, std::min(n - done, kMaxIo),
                                    static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ec = lastError();
            break;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return done;
}

size_t NativeFile::writeAt(uint64_t offset, const void* src, size_t n, std::error_code& ec) noexcept
{
    ec.clear();
    size_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(fd, static_cast<const char*>(src) + done,
                                     std::min(n - done, kMaxIo), static_cast<off_t>(offset + done));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            ec = lastError();
            break;
        }
        if (put == 0) {
            ec = std::make_error_code(std::errc::io_error);
            break;
        }
        done += static_cast<size_t>(put);
    }
    return done;
}

bool NativeFile::truncate(uint64_t size, std::error_code& ec) noexcept
{
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ec = lastError();
        return false;
    }
    ec.clear();
    return true;
}

bool NativeFile::syncToDisk(std::error_code& ec) noexcept
{
    if (::fsync(fd) != 0) {
        ec = lastError();
        return false;
    }
    ec.clear();
    return true;
}

bool NativeFile::close(std::error_code& ec) noexcept
{
    ec.clear();
    if (fd < 0)
        return true;
    // The descriptor is gone after close whatever it reports, so it is never retried.
    const bool ok = ::close(std::exchange(fd, -1)) == 0;
    if (!ok)
        ec = lastError();
    return ok;
}

#endif

} // namespace kestravel::plugins
