#include "platform/HostRuntime.h"

#include "errors/Messages.h"
#include "platform/DisplayText.h"
#include "platform/Files.h"
#include "platform/HostFiles.h"
#include "platform/QtPrinter.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace deptest {

HostSettings HostRuntime::settingsForThisMachine()
{
    return { QCoreApplication::applicationDirPath().toStdString(), configuredHostDirectories(), QLocale::system() };
}

HostRuntime::HostRuntime(HostSettings settings)
    : m_settings(std::move(settings))
    , m_dates(m_settings.locale)
    , m_printer(std::make_unique<QtPrinter>())
{
}

HostRuntime::~HostRuntime() = default;

std::string HostRuntime::applicationDirectory() const { return m_settings.applicationDirectory; }

std::string HostRuntime::hostPath(std::string_view path) const { return toHostPath(path, m_settings.directories); }

std::unique_ptr<InputFile> HostRuntime::openForReading(std::string_view path, ErrorState& state)
{
    return openHostFileForReading(hostPath(path), state);
}

std::unique_ptr<OutputFile> HostRuntime::openForWriting(std::string_view path, ErrorState& state)
{
    return openHostFileForWriting(hostPath(path), state);
}

void HostRuntime::fileSize(std::string_view path, std::int64_t& size, ErrorState& state)
{
    hostFileSize(hostPath(path), size, state);
}

void HostRuntime::fileTime(std::string_view path, FileTime& time, ErrorState& state)
{
    hostFileTime(hostPath(path), time, state);
}

void HostRuntime::longDate(const FileTime& time, std::string& text, ErrorState& state)
{
    m_dates.render(time, text, state);
}

void HostRuntime::longDate(std::string_view dateText, std::string& text, ErrorState& state)
{
    m_dates.render(dateText, text, state);
}

void HostRuntime::showMessage(std::string_view text)
{
    QMessageBox box(QMessageBox::NoIcon, toDisplayText(message::applicationTitle), toDisplayText(text),
        QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void HostRuntime::processEvents() { QCoreApplication::processEvents(); }

Printer& HostRuntime::printer() { return *m_printer; }

void HostRuntime::setPrinter(std::unique_ptr<Printer> printer) { m_printer = std::move(printer); }

} // namespace deptest
