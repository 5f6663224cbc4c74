#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace deptest {

class ErrorState;
class InputFile;
class OutputFile;
class Printer;

// The services every command draws on: files, file measurements, dates,
// messages, event processing and the printer. Paths are the program's own:
// directory literals and backslashes become host paths behind this seam.
// Operations that deliver a value leave it untouched when they raise.
class Runtime {
public:
    virtual ~Runtime() = default;

    // The directory holding the executable, without a trailing separator.
    [[nodiscard]] virtual std::string applicationDirectory() const = 0;

    virtual std::unique_ptr<InputFile> openForReading(std::string_view path, ErrorState& state) = 0;
    // Creates the file, or empties it when it exists.
    virtual std::unique_ptr<OutputFile> openForWriting(std::string_view path, ErrorState& state) = 0;

    virtual void fileSize(std::string_view path, std::int64_t& size, ErrorState& state) = 0;
    virtual void fileTime(std::string_view path, FileTime& time, ErrorState& state) = 0;

    // The date in the user's long date format, without the time.
    virtual void longDate(const FileTime& time, std::string& text, ErrorState& state) = 0;
    // Text that reads as a date comes back in the long date format; any
    // other text comes back unchanged.
    virtual void longDate(std::string_view dateText, std::string& text, ErrorState& state) = 0;

    // A modal box with one OK button; returns when the user has closed it.
    virtual void showMessage(std::string_view text) = 0;
    // Handles the window events waiting now, then returns.
    virtual void processEvents() = 0;

    virtual Printer& printer() = 0;
};

} // namespace deptest
