#pragma once

#include <array>
#include <cstdint>

namespace deptest {

// A file's last-modification date and time in local time.
struct FileTime {
    int year { 0 };
    int month { 0 };
    int day { 0 };
    int hour { 0 };
    int minute { 0 };
    int second { 0 };

    friend bool operator==(const FileTime&, const FileTime&) = default;
};

// Size and modification time from one look at a file, so that both always
// describe the same version of it.
struct FileMeasurement {
    std::int64_t size { 0 };
    FileTime modified;

    friend bool operator==(const FileMeasurement&, const FileMeasurement&) = default;
};

// The SHA-256 digest of a file's contents.
using ContentDigest = std::array<std::uint8_t, 32>;

} // namespace deptest
