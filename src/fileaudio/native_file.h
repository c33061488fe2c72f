#pragma once
// Positional file access over the platform's own calls: wide paths on Windows, and reads and
// writes that go straight between the OS and the caller's buffer with no stream in between.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace kestravel::plugins {

class NativeFile {
public:
    NativeFile() = default;
    ~NativeFile();
    NativeFile(NativeFile&& other) noexcept;
    NativeFile& operator=(NativeFile&& other) noexcept;
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    // An existing regular file, read-only; other readers and writers may keep it open meanwhile.
    // Anything else (a directory, a FIFO, a device) is refused at once, never waited on.
    static NativeFile openForReading(const std::filesystem::path& path, std::error_code& ec);
    // A new file, read-write, failing if anything exists at the path; others may only read it.
    static NativeFile createNew(const std::filesystem::path& path, std::error_code& ec);

    bool isOpen() const noexcept;
    uint64_t size(std::error_code& ec) const noexcept;
    // Size and last write time: a file rewritten in place (by another program) changes them.
    struct Stamp {
        uint64_t size = 0;
        int64_t written = 0; // platform ticks, compared only
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp(std::error_code& ec) const noexcept;
    // Fewer than n bytes only at the end of the file, or on an error (then ec is set).
    size_t readAt(uint64_t offset, void* dst, size_t n, std::error_code& ec) const noexcept;
    // Fewer than n bytes only on an error (ec set); the count says how much reached the file.
    size_t writeAt(uint64_t offset, const void* src, size_t n, std::error_code& ec) noexcept;
    // Cuts the file to size bytes.
    bool truncate(uint64_t size, std::error_code& ec) noexcept;
    // Everything written so far onto the device.
    bool syncToDisk(std::error_code& ec) noexcept;
    bool close(std::error_code& ec) noexcept;

private:
#ifdef _WIN32
    void* handle = nullptr; // a HANDLE; null when closed
#else
    int fd = -1;
#endif
};

} // namespace kestravel::plugins
