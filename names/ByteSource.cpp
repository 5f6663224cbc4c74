#include "names/ByteSource.h"

#include <algorithm>
#include <array>

namespace deptest::names {

bool ByteSource::read(std::uint64_t offset, std::span<unsigned char> out) const
{
    if (m_file != nullptr)
        return m_file->read(offset, out);
    if (offset > m_size || m_size - offset < out.size())
        return false;
    std::copy_n(m_memory.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

std::optional<Format> formatOf(const ByteSource& bytes)
{
    std::array<unsigned char, 4> first {};
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), first.size()));
    if (!bytes.read(0, std::span(first).first(length)))
        return std::nullopt;
    const auto head = std::span<const unsigned char>(first).first(length);
    if (head.size() >= 4 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return Format::Elf;
    if (head.size() >= 2 && head[0] == 'M' && head[1] == 'Z')
        return Format::Pe;
    return Format::Unknown;
}

} // namespace deptest::names
