#include "system/FileWriter.h"

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
            (void)BufferedOutput::finish();
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

    // Writes what is buffered, puts it on the disk and closes the file. A
    // file whose write failed stays failed: the failure is its outcome.
    Outcome finish() override
    {
        if (m_finished)
            return m_failure;
        m_finished = true;
        if (!m_failure)
            m_failure = flush();
        if (!m_failure)
            m_failure = m_file->sync();
        const Outcome closed = m_file->close();
        if (!m_failure)
            m_failure = closed;
        m_file.reset();
        return m_failure;
    }

    Outcome close() override { return BufferedOutput::finish(); }

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
    bool m_finished { false };
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
        if (m_closed)
            return;
        try {
            (void)BufferedOutput::finish();
        } catch (...) { // NOLINT(bugprone-empty-catch)
        }
        m_version->discard();
    }
    ReplacementOutput(const ReplacementOutput&) = delete;
    ReplacementOutput& operator=(const ReplacementOutput&) = delete;

    // Finishes the new version if that is still to do, then puts it in
    // place; after any failure the old file stays.
    Outcome close() override
    {
        if (m_closed)
            return m_outcome;
        m_closed = true;
        m_outcome = BufferedOutput::finish();
        if (!m_outcome)
            m_outcome = m_version->putInPlace();
        if (m_outcome)
            m_version->discard();
        return m_outcome;
    }

private:
    std::unique_ptr<PendingVersion> m_version;
    bool m_closed { false };
    Outcome m_outcome;
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
