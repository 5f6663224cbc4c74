#pragma once

#include "services/Files.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace deptest {

// An input file over text in memory, handed out at most `piece` bytes at a
// time (a small piece makes a reader cross its buffer boundaries often).
class TextFile final : public InputFile {
public:
    explicit TextFile(std::string text, std::size_t piece = std::string::npos)
        : m_text(std::move(text))
        , m_piece(piece)
    {
    }

    Result<std::size_t> read(char* buffer, std::size_t size) override
    {
        const std::size_t count = std::min({ size, m_piece, m_text.size() - m_position });
        std::memcpy(buffer, m_text.data() + m_position, count);
        m_position += count;
        return count;
    }

    Outcome rewind() override
    {
        m_position = 0;
        return {};
    }

private:
    std::string m_text;
    std::size_t m_piece;
    std::size_t m_position { 0 };
};

} // namespace deptest
