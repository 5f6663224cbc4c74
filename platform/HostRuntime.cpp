#include "platform/HostRuntime.h"

#include "services/Files.h"

#include <QCoreApplication>

#include <utility>

namespace deptest {

HostSettings HostRuntime::settingsForThisMachine()
{
    return { QCoreApplication::applicationDirPath().toStdString(), configuredHostDirectories(), QLocale::system() };
}

HostRuntime::HostRuntime(HostSettings settings)
    : m_settings(std::move(settings))
    , m_dates(m_settings.locale)
{
}

std::string HostRuntime::applicationDirectory() const { return m_settings.applicationDirectory; }

std::string HostRuntime::hostPath(std::string_view path) const { return toHostPath(path, m_settings.directories); }

Result<std::unique_ptr<InputFile>> HostRuntime::openForReading(std::string_view path)
{
    return m_files.openForReading(hostPath(path));
}

Result<std::unique_ptr<OutputFile>> HostRuntime::openForWriting(std::string_view path)
{
    return m_files.openForWriting(hostPath(path));
}

Result<std::unique_ptr<OutputFile>> HostRuntime::openForReplacing(std::string_view path)
{
    return m_files.openForReplacing(hostPath(path));
}

Result<FileMeasurement> HostRuntime::measure(std::string_view path) { return m_files.measure(hostPath(path)); }

Result<std::string> HostRuntime::longDate(const FileTime& time) { return m_dates.render(time); }

std::string HostRuntime::longDate(std::string_view dateText) { return m_dates.render(dateText); }

void HostRuntime::processEvents() { QCoreApplication::processEvents(); }

} // namespace deptest
