#pragma once

#include "platform/HostRuntime.h"
#include "platform/Printer.h"
#include "platform/Window.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace deptest::test {

// Three real directories standing in for the system, windows and
// application directories, and helpers to put files into them.
class Machine {
public:
    Machine();
    [[nodiscard]] bool isValid() const { return m_root.isValid(); }
    [[nodiscard]] std::string systemDirectory() const { return path("system"); }
    [[nodiscard]] std::string windowsDirectory() const { return path("windows"); }
    [[nodiscard]] std::string applicationDirectory() const { return path("app"); }
    [[nodiscard]] std::string root() const { return m_root.path().toStdString(); }

    // Writes `size` bytes and sets the modification time.
    static void makeFile(const std::string& path, qint64 size, const QDateTime& modified);
    static void writeText(const std::string& path, std::string_view bytes);
    static std::string readText(const std::string& path);
    [[nodiscard]] std::string dataFile(std::string_view name) const
    {
        return applicationDirectory() + "/" + std::string(name);
    }

private:
    [[nodiscard]] std::string path(const char* leaf) const
    {
        return m_root.filePath(QLatin1String(leaf)).toStdString();
    }
    QTemporaryDir m_root;
};

// The host runtime on a test machine: its own directories and locale,
// messages recorded instead of shown, printing recorded.
class TestRuntime : public HostRuntime {
public:
    explicit TestRuntime(
        const Machine& machine, const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));

    void showMessage(std::string_view text) override;
    void processEvents() override;

    std::vector<std::string> messages;
    // Called on every event processing, before the real one.
    std::function<void()> onProcessEvents;
    int eventRounds { 0 };
};

// A window that remembers what the commands did to it.
class FakeWindow final : public Window {
public:
    void setEnabled(Button button, bool enabled) override;
    void clear(ListBox list) override;
    void append(ListBox list, std::string_view line) override;
    [[nodiscard]] int missingCount() const override { return static_cast<int>(missing.size()); }
    [[nodiscard]] bool appDirOnly() const override { return appDirectoryOnly; }
    void pressExit() override;
    [[nodiscard]] bool isUnloaded() const override { return exited; }

    std::vector<std::string> matching;
    std::vector<std::string> missing;
    std::array<bool, 3> enabled { true, true, true };
    // Every gating step in order, e.g. "Test-", "Print-", "Exit-", "Test+".
    std::vector<std::string> gating;
    bool appDirectoryOnly { false };
    bool exited { false };
};

// A printer that keeps every page as lines of "column:text" pieces.
class RecordingPrinter final : public Printer {
public:
    void printLine(std::span<const PrintText> texts, ErrorState& state) override;
    void newPage(ErrorState& state) override;
    void endDocument(ErrorState& state) override;
    void cancelDocument() override;

    using Line = std::vector<std::pair<int, std::string>>;
    std::vector<std::vector<Line>> pages; // the document being printed
    std::vector<std::vector<std::vector<Line>>> printed; // documents sent to the printer
    int cancelled { 0 };
    int ended { 0 };
    // Raise this error on the n-th output operation (1-based), 0 for never.
    int failAt { 0 };
    int failWith { 0 };

private:
    bool fails(ErrorState& state);
    int m_operations { 0 };
};

} // namespace deptest::test
