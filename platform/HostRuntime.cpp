#include "platform/HostRuntime.h"

#include "errors/ErrorState.h"
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
    m_lastMeasuredPath.clear();
    ErrorState measuring;
    measureHostFile(hostPath(path), m_lastMeasurement, measuring);
    if (measuring.pending()) {
        state.raise(measuring.number(), measuring.description());
        return;
    }
    size = m_lastMeasurement.size;
    m_lastMeasuredPath = path;
}

void HostRuntime::fileTime(std::string_view path, FileTime& time, ErrorState& state)
{
    // The date asked for right after the size comes from the same look at
    // the file, so size and date always describe one version of it.
    if (!m_lastMeasuredPath.empty() && path == m_lastMeasuredPath) {
        m_lastMeasuredPath.clear();
        time = m_lastMeasurement.modified;
        return;
    }
    FileMeasurement measurement;
    ErrorState measuring;
    measureHostFile(hostPath(path), measurement, measuring);
    if (measuring.pending()) {
        state.raise(measuring.number(), measuring.description());
        return;
    }
    time = measurement.modified;
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
    QMessageBox box(QMessageBox::NoIcon, toDisplayText(message::applicationTitle), toDisplayText(text), QMessageBox::Ok,
        QApplication::activeWindow());
    // A command that shows a wait cursor still wants the box answered.
    const bool waiting = QGuiApplication::overrideCursor() != nullptr;
    if (waiting)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (waiting)
        QGuiApplication::restoreOverrideCursor();
}

void HostRuntime::processEvents() { QCoreApplication::processEvents(); }

Printer& HostRuntime::printer() { return *m_printer; }

void HostRuntime::setPrinter(std::unique_ptr<Printer> printer) { m_printer = std::move(printer); }

} // namespace deptest
