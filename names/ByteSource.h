#pragma once

#include "system/BinaryFile.h"

#include <cstdint>
#include <optional>
#include <span>

namespace deptest::names {

// Where a parser's bytes come from: bytes in memory, or an open file read
// piece by piece. Both answer alike, so a parser fuzzed over memory reads
// files the same way.
class ByteSource {
public:
    explicit ByteSource(std::span<const unsigned char> memory)
        : m_memory(memory)
        , m_size(memory.size())
    {
    }
    explicit ByteSource(const BinaryFile& file)
        : m_file(&file)
        , m_size(file.size())
    {
    }

    [[nodiscard]] std::uint64_t size() const { return m_size; }
    // Fills `out` from `offset`; false when the source does not hold all of it.
    [[nodiscard]] bool read(std::uint64_t offset, std::span<unsigned char> out) const;

private:
    std::span<const unsigned char> m_memory;
    const BinaryFile* m_file { nullptr };
    std::uint64_t m_size { 0 };
};

enum class Format { Unknown, Elf, Pe };

// What a file's first bytes say it is; nothing when they cannot be read (a
// file cut short since it was opened).
std::optional<Format> formatOf(const ByteSource& bytes);

} // namespace deptest::names
