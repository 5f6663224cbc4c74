#include "tests/fakes/FakeRuntime.h"

#include "services/Files.h"

#include <array>
#include <cstdio>

namespace deptest::test {

FakeRuntime::FakeRuntime(std::string applicationDirectory, SystemFiles& files)
    : m_applicationDirectory(std::move(applicationDirectory))
    , m_files(files)
{
}

Result<std::unique_ptr<InputFile>> FakeRuntime::openForReading(std::string_view path)
{
    return m_files.openForReading(path);
}

Result<std::unique_ptr<OutputFile>> FakeRuntime::openForWriting(std::string_view path)
{
    return m_files.openForWriting(path);
}

Result<std::unique_ptr<OutputFile>> FakeRuntime::openForReplacing(std::string_view path)
{
    return m_files.openForReplacing(path);
}

Result<FileMeasurement> FakeRuntime::measure(std::string_view path) { return m_files.measure(path); }

Outcome FakeRuntime::formatLongDate(const FileTime& time, std::string& text)
{
    std::array<char, 32> written {};
    std::snprintf(written.data(), written.size(), "%04d-%02d-%02d", time.year, time.month, time.day);
    text = written.data();
    return {};
}

void FakeRuntime::processEvents()
{
    ++eventRounds;
    if (onProcessEvents)
        onProcessEvents();
}

} // namespace deptest::test
