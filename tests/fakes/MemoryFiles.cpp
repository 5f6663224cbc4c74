#include "tests/fakes/MemoryFiles.h"

#include "errors/Messages.h"
#include "services/Files.h"

#include <algorithm>
#include <utility>

namespace deptest::test {

namespace {

std::string directoryOf(const std::string& path)
{
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

class MemoryInput final : public InputFile {
public:
    explicit MemoryInput(std::string bytes)
        : m_bytes(std::move(bytes))
    {
    }
    Result<std::size_t> read(char* buffer, std::size_t size) override
    {
        const std::size_t count = std::min(size, m_bytes.size() - m_offset);
        std::copy_n(m_bytes.data() + m_offset, count, buffer);
        m_offset += count;
        return count;
    }
    Outcome rewind() override
    {
        m_offset = 0;
        return {};
    }

private:
    std::string m_bytes;
    std::size_t m_offset { 0 };
};

// Writes straight into the file, or into a new version that takes its
// place on a clean close.
class MemoryOutput final : public OutputFile {
public:
    MemoryOutput(MemoryFiles::File& target, std::size_t& room, bool replacing)
        : m_target(target)
        , m_room(room)
        , m_replacing(replacing)
    {
    }
    Outcome write(std::string_view bytes) override
    {
        if (m_failure)
            return m_failure;
        const std::size_t fits = std::min(bytes.size(), m_room);
        m_room -= fits;
        (m_replacing ? m_version : m_target.bytes).append(bytes.substr(0, fits));
        if (fits < bytes.size())
            m_failure = Error::of(error::diskFull);
        return m_failure;
    }
    // Memory holds everything at once: nothing is left to write out.
    Outcome finish() override { return m_failure; }
    Outcome close() override
    {
        if (m_closed)
            return m_failure;
        m_closed = true;
        if (m_replacing && !m_failure)
            m_target.bytes = std::move(m_version);
        return m_failure;
    }

private:
    MemoryFiles::File& m_target;
    std::size_t& m_room;
    bool m_replacing;
    bool m_closed { false };
    std::string m_version;
    Outcome m_failure;
};

} // namespace

void MemoryFiles::put(const std::string& path, std::string bytes, FileTime modified)
{
    addDirectory(directoryOf(path));
    m_files[path] = File { std::move(bytes), modified };
}

void MemoryFiles::putSized(const std::string& path, std::size_t size, FileTime modified)
{
    put(path, std::string(size, 'x'), modified);
}

const MemoryFiles::File* MemoryFiles::find(const std::string& path) const
{
    const auto found = m_files.find(path);
    return found == m_files.end() ? nullptr : &found->second;
}

bool MemoryFiles::isDirectory(const std::string& path) const { return m_directories.contains(path + "\\"); }

std::int32_t MemoryFiles::missing(const std::string& path) const
{
    if (m_files.contains(path))
        return error::none;
    return m_directories.contains(directoryOf(path)) ? error::fileNotFound : error::pathNotFound;
}

Result<std::unique_ptr<InputFile>> MemoryFiles::openForReading(std::string_view path)
{
    const std::string name(path);
    if (isDirectory(name))
        return Error::of(error::pathFileAccess);
    if (const std::int32_t failure = missing(name))
        return Error::of(failure);
    if (const auto unreadable = m_unreadable.find(name); unreadable != m_unreadable.end())
        return unreadable->second;
    return std::unique_ptr<InputFile>(std::make_unique<MemoryInput>(m_files[name].bytes));
}

Result<std::unique_ptr<OutputFile>> MemoryFiles::openForWriting(std::string_view path)
{
    const std::string name(path);
    if (isDirectory(name))
        return Error::of(error::pathFileAccess);
    if (!m_directories.contains(directoryOf(name)))
        return Error::of(error::pathNotFound);
    File& file = m_files[name];
    file.bytes.clear();
    return std::unique_ptr<OutputFile>(std::make_unique<MemoryOutput>(file, room, false));
}

Result<std::unique_ptr<OutputFile>> MemoryFiles::openForReplacing(std::string_view path)
{
    const std::string name(path);
    if (isDirectory(name))
        return Error::of(error::pathFileAccess);
    if (!m_directories.contains(directoryOf(name)))
        return Error::of(error::pathNotFound);
    return std::unique_ptr<OutputFile>(std::make_unique<MemoryOutput>(m_files[name], room, true));
}

Result<FileMeasurement> MemoryFiles::measure(std::string_view path)
{
    const std::string name(path);
    if (isDirectory(name))
        return Error::of(error::fileNotFound); // a directory is not a file
    if (const std::int32_t failure = missing(name))
        return Error::of(failure);
    const File& file = m_files[name];
    return FileMeasurement { static_cast<std::int64_t>(file.bytes.size()), file.modified };
}

Result<FileMeasurement> MemoryFiles::measureIn(const std::string& directory, std::string_view relative)
{
    return measure(directory + std::string(relative));
}

ContentDigest MemoryFiles::fingerprint(std::string_view bytes)
{
    ContentDigest digest {};
    for (std::size_t part = 0; part < digest.size() / 8; ++part) {
        std::uint64_t hash = 14695981039346656037ULL + part; // FNV-1a, one seed per eighth
        for (const char byte : bytes)
            hash = (hash ^ static_cast<std::uint8_t>(byte)) * 1099511628211ULL;
        for (std::size_t i = 0; i < 8; ++i)
            digest[part * 8 + i] = static_cast<std::uint8_t>(hash >> (8 * i));
    }
    return digest;
}

Result<ContentDigest> MemoryFiles::digest(std::string_view path, const std::function<bool()>& betweenBlocks)
{
    const std::string name(path);
    if (const auto unreadable = m_unreadable.find(name); unreadable != m_unreadable.end())
        return unreadable->second;
    if (const std::int32_t failure = missing(name))
        return Error::of(failure);
    if (betweenBlocks && !betweenBlocks())
        return Error { error::pathFileAccess, std::string(message::stoppedOnRequest) };
    return fingerprint(m_files[name].bytes);
}

Outcome MemoryFiles::remove(std::string_view path)
{
    m_files.erase(std::string(path));
    return {};
}

} // namespace deptest::test
