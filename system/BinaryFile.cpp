// What a file opened for reading its headers does alike on every system,
// over the opening, reading and closing each system does its own way
// (system/posix/BinaryFile.cpp, system/windows/BinaryFile.cpp).

#include "system/BinaryFile.h"

#include "system/FileFaults.h"

#include <utility>

namespace deptest {

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : m_handle(std::exchange(other.m_handle, closed))
    , m_size(std::exchange(other.m_size, 0))
{
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept
{
    if (this != &other) {
        if (isOpen())
            release(m_handle);
        m_handle = std::exchange(other.m_handle, closed);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

BinaryFile::~BinaryFile()
{
    if (isOpen())
        release(m_handle);
}

Result<std::vector<unsigned char>> BinaryFile::readAll(std::size_t most) const
{
    if (m_size > most)
        return binaryTooLarge();
    std::vector<unsigned char> bytes(static_cast<std::size_t>(m_size));
    if (!read(0, bytes))
        return binaryCutShort();
    return bytes;
}

} // namespace deptest
