#pragma once

#include "platform/Files.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace deptest::test {

// An input file over bytes in memory, handed out in small pieces so that
// every buffer boundary inside the reader gets crossed.
class MemoryFile final : public InputFile {
public:
    explicit MemoryFile(std::string bytes, std::size_t piece = 7)
        : m_bytes(std::move(bytes))
        , m_piece(piece)
    {
    }
    std::size_t read(char* buffer, std::size_t size, ErrorState&) override
    {
        const std::size_t count = std::min({ size, m_piece, m_bytes.size() - m_position });
        std::memcpy(buffer, m_bytes.data() + m_position, count);
        m_position += count;
        return count;
    }

private:
    std::string m_bytes;
    std::size_t m_piece;
    std::size_t m_position { 0 };
};

} // namespace deptest::test
