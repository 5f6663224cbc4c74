#pragma once

#include "platform/HostRuntime.h"
#include "services/Printer.h"
#include "services/Window.h"
#include "tests/support/Machine.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace deptest::test {

// A printer that keeps every page as lines of "column:text" pieces.
class RecordingPrinter final : public Printer {
public:
    Outcome printLine(std::span<const PrintText> texts) override;
    Outcome newPage() override;
    Outcome endDocument() override;
    void cancelDocument() override;

    using Line = std::vector<std::pair<int, std::string>>;
    std::vector<std::vector<Line>> pages; // the document being printed
    std::vector<std::vector<std::vector<Line>>> printed; // documents sent to the printer
    int cancelled { 0 };
    int ended { 0 };
    // Fail with this error on the n-th output operation (1-based), 0 for never.
    int failAt { 0 };
    int failWith { 0 };

private:
    Outcome nextOperation();
    int m_operations { 0 };
};

// The host runtime on a test machine: its own directories and locale,
// messages recorded instead of shown, a recording printer unless the test
// sets another.
class TestRuntime : public HostRuntime {
public:
    explicit TestRuntime(
        const Machine& machine, const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));
    explicit TestRuntime(HostSettings settings);

    void showMessage(std::string_view text) override;
    void processEvents() override;
    Printer& printer() override { return *m_printer; }
    void setPrinter(std::unique_ptr<Printer> printer) { m_printer = std::move(printer); }

    std::vector<std::string> messages;
    // Called on every event processing, before the real one.
    std::function<void()> onProcessEvents;
    int eventRounds { 0 };

private:
    std::unique_ptr<Printer> m_printer = std::make_unique<RecordingPrinter>();
};

// A window that remembers what the commands did to it.
class FakeWindow final : public Window {
public:
    void setEnabled(Button button, bool enabled) override;
    void clear(ListBox list) override;
    void append(ListBox list, std::string_view line, std::string_view detail) override;
    [[nodiscard]] int missingCount() const override { return static_cast<int>(missing.size()); }
    [[nodiscard]] bool appDirOnly() const override { return appDirectoryOnly; }
    void pressExit() override;
    [[nodiscard]] bool isUnloaded() const override { return exited; }

    std::vector<std::string> matching;
    std::vector<std::string> missing;
    std::vector<std::string> missingDetails;
    std::array<bool, 3> enabled { true, true, true };
    // Every gating step in order, e.g. "Test-", "Print-", "Exit-", "Test+".
    std::vector<std::string> gating;
    bool appDirectoryOnly { false };
    bool exited { false };
};

} // namespace deptest::test
