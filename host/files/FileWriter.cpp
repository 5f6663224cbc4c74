#include "host/files/FileWriter.h"

#include <utility>

namespace deptest {

namespace {

class BufferedOutput : public OutputFile {
public:
    explicit BufferedOutput(std::unique_ptr<SystemFile> file)
        : m_file(std::move(file))
    {
        m_buffer.reserve(bufferSize);
    }
    // Closing on the way out has no one to tell of a failure; running out
    // of memory for the buffer's last write is such a failure too.
    ~BufferedOutput() override
    {
        try {
            if (m_file)
                (void)BufferedOutput::close();
        } catch (...) { // NOLINT(bugprone-empty-catch)
        }
    }
    BufferedOutput(const BufferedOutput&) = delete;
    BufferedOutput& operator=(const BufferedOutput&) = delete;

    Outcome write(std::string_view bytes) override
    {
        if (m_failure)
            return m_failure;
        m_buffer.append(bytes);
        if (m_buffer.size() >= bufferSize)
            return flush();
        return {};
    }

    // Writes what is buffered, puts it on the disk and closes the file.
    Outcome close() override
    {
        if (!m_file)
            return {};
        Outcome outcome = m_failure ? Outcome {} : flush();
        if (!m_failure && !outcome)
            outcome = m_file->sync();
        const Outcome closed = m_file->close();
        if (!m_failure && !outcome)
            outcome = closed;
        m_file.reset();
        return outcome;
    }

protected:
    [[nodiscard]] bool isOpen() const { return m_file != nullptr; }

private:
    static constexpr std::size_t bufferSize = std::size_t { 64 } * 1024;

    Outcome flush()
    {
        std::size_t written = 0;
        while (written < m_buffer.size()) {
            const Result<std::size_t> put = m_file->writeSome(std::string_view(m_buffer).substr(written));
            if (put && *put > 0) {
                written += *put;
                continue;
            }
            const std::size_t lastLineEnd = std::string_view(m_buffer.data(), written).rfind('\n');
            m_file->truncate(m_committed + (lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1));
            m_failure = put ? Error::of(error::diskFull) : put.error();
            m_buffer.clear();
            return m_failure;
        }
        m_committed += written;
        m_buffer.clear();
        return {};
    }

    std::unique_ptr<SystemFile> m_file;
    std::string m_buffer;
    std::uint64_t m_committed { 0 };
    Outcome m_failure;
};

class ReplacementOutput final : public BufferedOutput {
public:
    ReplacementOutput(std::unique_ptr<SystemFile> file, std::unique_ptr<PendingVersion> version)
        : BufferedOutput(std::move(file))
        , m_version(std::move(version))
    {
    }
    // Dropped unclosed: the old file stays and the new version goes.
    ~ReplacementOutput() override
    {
        if (!isOpen())
            return;
        try {
            (void)BufferedOutput::close();
        } catch (...) { // NOLINT(bugprone-empty-catch)
        }
        m_version->discard();
    }
    ReplacementOutput(const ReplacementOutput&) = delete;
    ReplacementOutput& operator=(const ReplacementOutput&) = delete;

    Outcome close() override
    {
        if (!isOpen())
            return {};
        Outcome outcome = BufferedOutput::close();
        if (!outcome)
            outcome = m_version->putInPlace();
        if (outcome)
            m_version->discard();
        return outcome;
    }

private:
    std::unique_ptr<PendingVersion> m_version;
};

} // namespace

bool isUsablePath(std::string_view hostPath) { return hostPath.find('\0') == std::string_view::npos; }

std::unique_ptr<OutputFile> bufferedOutput(std::unique_ptr<SystemFile> file)
{
    return std::make_unique<BufferedOutput>(std::move(file));
}

std::unique_ptr<OutputFile> replacementOutput(std::unique_ptr<SystemFile> file, std::unique_ptr<PendingVersion> version)
{
    return std::make_unique<ReplacementOutput>(std::move(file), std::move(version));
}

} // namespace deptest
