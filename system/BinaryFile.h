#pragma once

#include "errors/Error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace deptest {

// A file opened for reading its headers. Its bytes are read where a parser
// asks for them, never mapped: a file cut short while it is read (a copy
// written over it in place) gives a short read and a clear reason, never
// a fault that ends the program; and a file of many gigabytes costs only
// the ranges its tables lie in.
class BinaryFile {
public:
    BinaryFile() = default;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;
    ~BinaryFile();

    // Opens a regular, non-empty file; otherwise says why it cannot be read.
    static Result<BinaryFile> open(const std::string& path);

    [[nodiscard]] bool isOpen() const { return m_handle != closed; }
    // The system's own handle of the file (a POSIX descriptor, a Windows
    // HANDLE), for a library that reads it itself.
    [[nodiscard]] std::intptr_t handle() const { return m_handle; }
    // The size when it was opened.
    [[nodiscard]] std::uint64_t size() const { return m_size; }
    // Fills `out` from `offset`; false when the file does not hold all of it
    // (any more).
    [[nodiscard]] bool read(std::uint64_t offset, std::span<unsigned char> out) const;
    // The whole file, if it holds no more than `most` bytes.
    [[nodiscard]] Result<std::vector<unsigned char>> readAll(std::size_t most) const;

private:
    // No descriptor and no HANDLE (INVALID_HANDLE_VALUE) is -1.
    static constexpr std::intptr_t closed = -1;
    // Gives the system's handle back (close, CloseHandle).
    static void release(std::intptr_t handle);

    std::intptr_t m_handle { closed };
    std::uint64_t m_size { 0 };
};

} // namespace deptest
