#include "host/HostRuntime.h"

#include "services/Files.h"
#include "system/FileWriter.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

namespace deptest {

HostSettings HostRuntime::settingsForThisMachine()
{
    return { QCoreApplication::applicationDirPath().toStdString(), thisMachinesDirectories(), QLocale::system() };
}

HostRuntime::HostRuntime(HostSettings settings)
    : m_settings(std::move(settings))
    , m_applicationDirectory(m_settings.applicationDirectory + m_settings.directories.separator)
    , m_files(m_settings.files ? m_settings.files : std::shared_ptr<SystemFiles>(thisSystemsFiles()))
    , m_dates(m_settings.locale)
{
}

const std::string& HostRuntime::applicationDirectory() const { return m_settings.applicationDirectory; }

std::string HostRuntime::hostPath(std::string_view path) const
{
    // The application directory is this machine's own: a backslash in its
    // name is part of the name. Only what follows it is the program's path.
    const std::string& application = m_settings.applicationDirectory;
    if (path.size() > application.size() && path.starts_with(application) && path[application.size()] == '\\') {
        std::string host = m_applicationDirectory;
        const std::size_t inside = host.size();
        host.append(path.substr(application.size() + 1));
        std::replace(
            host.begin() + static_cast<std::ptrdiff_t>(inside), host.end(), '\\', m_settings.directories.separator);
        return host;
    }
    return toHostPath(path, m_settings.directories);
}

Result<std::unique_ptr<InputFile>> HostRuntime::openForReading(std::string_view path)
{
    return m_files->openForReading(hostPath(path));
}

Result<std::unique_ptr<OutputFile>> HostRuntime::openForWriting(std::string_view path)
{
    return m_files->openForWriting(hostPath(path));
}

Result<std::unique_ptr<OutputFile>> HostRuntime::openForReplacing(std::string_view path)
{
    return m_files->openForReplacing(hostPath(path));
}

Result<FileMeasurement> HostRuntime::measure(std::string_view path)
{
    // A path in one of the searched directories is looked up in it.
    if (const LiteralSplit split = splitAtDirectoryLiteral(path, m_settings.directories); split.directory != nullptr)
        return m_files->measureIn(*split.directory, split.rest);
    const std::string& application = m_settings.applicationDirectory;
    if (path.size() > application.size() && path.starts_with(application) && path[application.size()] == '\\')
        return m_files->measureIn(m_applicationDirectory, path.substr(application.size() + 1));
    return m_files->measure(hostPath(path));
}

Result<ContentDigest> HostRuntime::digest(std::string_view path, const std::function<void()>& betweenBlocks)
{
    return m_files->digest(hostPath(path), betweenBlocks);
}

Outcome HostRuntime::remove(std::string_view path) { return m_files->remove(hostPath(path)); }

Outcome HostRuntime::longDate(const FileTime& time, std::string& text) { return m_dates.render(time, text); }

const std::string& HostRuntime::longDate(std::string_view dateText)
{
    // A list gives most of its entries the date of the one before: that
    // date is kept here rather than looked up again.
    if (!m_lastDateValid || dateText != m_lastDateText) {
        m_lastDateText.assign(dateText);
        m_lastDate = m_dates.render(dateText);
        m_lastDateValid = true;
    }
    return m_lastDate;
}

void HostRuntime::startList(std::span<const std::string> dateTexts)
{
    // The same text may read as another day in the next list: nothing of
    // the list before may answer for it.
    m_lastDateValid = false;
    m_dates.study(dateTexts);
}

void HostRuntime::processEvents()
{
    // Every couple of milliseconds is as often as anyone can tell: a click
    // still applies from the entry after it, and the lists still grow.
    constexpr qint64 interval = 2'000'000; // nanoseconds
    if (m_sinceEvents.isValid() && m_sinceEvents.nsecsElapsed() < interval)
        return;
    QCoreApplication::processEvents();
    m_sinceEvents.start();
}

} // namespace deptest
