#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace deptest::names {

// A file opened for reading its headers: mapped, never read whole, so a
// file of many gigabytes costs only the pages its tables lie in. The
// mapping is private: a parser may not change the file through it.
class BinaryFile {
public:
    BinaryFile() = default;
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    BinaryFile(BinaryFile&& other) noexcept;
    BinaryFile& operator=(BinaryFile&& other) noexcept;
    ~BinaryFile();

    // Opens a regular, non-empty file; otherwise says why it cannot be read.
    static BinaryFile open(const std::string& path, std::string& why);

    bool isOpen() const { return m_data != nullptr; }
    std::span<unsigned char> bytes() const { return { m_data, m_size }; }

private:
    unsigned char* m_data { nullptr };
    std::size_t m_size { 0 };
};

enum class Format { Unknown, Elf, Pe };

// What a file's first bytes say it is.
Format formatOf(std::span<const unsigned char> bytes);

} // namespace deptest::names
