#pragma once

#include "platform/HostDirectories.h"
#include "platform/HostFiles.h"
#include "platform/LongDateFormat.h"
#include "platform/Runtime.h"

#include <QLocale>

#include <memory>
#include <string>

namespace deptest {

struct HostSettings {
    std::string applicationDirectory;
    HostDirectories directories;
    QLocale locale;
};

// The runtime on the real machine: files through the operating system,
// dates through the locale, messages, events and printing through Qt.
class HostRuntime : public Runtime {
public:
    // This machine: the executable's directory, the configured search
    // directories and the user's locale.
    static HostSettings settingsForThisMachine();

    explicit HostRuntime(HostSettings settings);
    ~HostRuntime() override;

    [[nodiscard]] std::string applicationDirectory() const override;
    std::unique_ptr<InputFile> openForReading(std::string_view path, ErrorState& state) override;
    std::unique_ptr<OutputFile> openForWriting(std::string_view path, ErrorState& state) override;
    void fileSize(std::string_view path, std::int64_t& size, ErrorState& state) override;
    void fileTime(std::string_view path, FileTime& time, ErrorState& state) override;
    void longDate(const FileTime& time, std::string& text, ErrorState& state) override;
    void longDate(std::string_view dateText, std::string& text, ErrorState& state) override;
    void showMessage(std::string_view text) override;
    void processEvents() override;
    Printer& printer() override;

    [[nodiscard]] std::string hostPath(std::string_view path) const;
    void setPrinter(std::unique_ptr<Printer> printer);

private:
    HostSettings m_settings;
    LongDateFormat m_dates;
    std::unique_ptr<Printer> m_printer;
    std::string m_lastMeasuredPath;
    FileMeasurement m_lastMeasurement;
};

} // namespace deptest
