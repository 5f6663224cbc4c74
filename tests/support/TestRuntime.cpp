#include "tests/support/TestRuntime.h"

#include "errors/ErrorState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <fstream>
#include <sstream>

namespace deptest::test {

Machine::Machine()
{
    for (const char* leaf : { "system", "windows", "app" })
        QDir(m_root.path()).mkpath(QLatin1String(leaf));
}

void Machine::makeFile(const std::string& path, qint64 size, const QDateTime& modified)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot create %s", path.c_str());
    file.write(QByteArray(size, 'x'));
    file.flush(); // a later flush would move the modification time again
    file.setFileTime(modified, QFileDevice::FileModificationTime);
}

void Machine::writeText(const std::string& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Machine::readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TestRuntime::TestRuntime(const Machine& machine, const QLocale& locale)
    : HostRuntime(HostSettings { machine.applicationDirectory(),
        HostDirectories { machine.systemDirectory() + "/", machine.windowsDirectory() + "/" }, locale })
{
}

void TestRuntime::showMessage(std::string_view text) { messages.emplace_back(text); }

void TestRuntime::processEvents()
{
    ++eventRounds;
    if (onProcessEvents)
        onProcessEvents();
    QCoreApplication::processEvents();
}

void FakeWindow::setEnabled(Button button, bool on)
{
    static constexpr const char* names[] = { "Test", "Print", "Exit" };
    const auto index = static_cast<std::size_t>(button);
    enabled[index] = on;
    gating.push_back(std::string(names[index]) + (on ? "+" : "-"));
}

void FakeWindow::clear(ListBox list) { (list == ListBox::Matching ? matching : missing).clear(); }

void FakeWindow::append(ListBox list, std::string_view line)
{
    (list == ListBox::Matching ? matching : missing).emplace_back(line);
}

void FakeWindow::pressExit() { exited = true; }

bool RecordingPrinter::fails(ErrorState& state)
{
    ++m_operations;
    if (failAt != 0 && m_operations == failAt) {
        state.raise(failWith);
        return true;
    }
    return false;
}

void RecordingPrinter::printLine(std::span<const PrintText> texts, ErrorState& state)
{
    if (fails(state))
        return;
    if (pages.empty())
        pages.emplace_back();
    Line line;
    for (const PrintText& text : texts)
        line.emplace_back(text.column, std::string(text.text));
    pages.back().push_back(std::move(line));
}

void RecordingPrinter::newPage(ErrorState& state)
{
    if (fails(state))
        return;
    if (pages.empty())
        pages.emplace_back();
    pages.emplace_back();
}

void RecordingPrinter::endDocument(ErrorState& state)
{
    if (fails(state))
        return;
    ++ended;
    printed.push_back(std::move(pages));
    pages.clear();
}

void RecordingPrinter::cancelDocument()
{
    ++cancelled;
    pages.clear();
}

} // namespace deptest::test
