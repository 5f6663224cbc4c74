#pragma once

#include "cli/CommandLine.h"
#include "cli/Progress.h"
#include "services/Files.h"
#include "services/Printer.h"
#include "services/Window.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deptest::cli {

// The shell's side of the commands: what the window and message boxes do
// elsewhere, on standard output and standard error.

// A line of text for a terminal or a file: the bytes as the window would
// show them, with control characters (a name may hold a line end) shown
// as '?' so that every entry stays on one line.
QByteArray oneLine(std::string_view bytes);
void writeLine(std::FILE* stream, const QByteArray& line);
void writeJson(std::FILE* stream, const QJsonObject& object);
// The bytes as the window would show them, or null when not `present`.
QJsonValue textOrNull(std::string_view bytes, bool present);

// The host runtime with the shell's standard error in place of message
// boxes. The progress line, when one is drawn, is erased first.
class ConsoleRuntime final : public HostRuntime {
public:
    ConsoleRuntime(HostSettings settings, std::FILE* err, PrinterFactory printer)
        : HostRuntime(std::move(settings))
        , m_err(err)
        , m_makePrinter(std::move(printer))
    {
    }

    void showMessage(std::string_view text) override;
    // From the terminal, or standard input when that is not one.
    std::optional<std::string> askPassword(std::string_view prompt) override;

    Printer& printer() override;

    std::vector<std::string> messages;
    Progress* progress { nullptr };

private:
    std::FILE* m_err;
    PrinterFactory m_makePrinter;
    std::unique_ptr<Printer> m_printer;
};

// The window side of the commands for a shell: the lines of lstMissing
// (and with --verbose of lstMatching) go to standard output, one per line;
// with --json the entries are written by the command instead. A request
// to end stands for closing the window.
class ConsoleWindow final : public Window {
public:
    ConsoleWindow(const Options& options, std::FILE* out, std::FILE* err)
        : m_options(options)
        , m_out(out)
        , m_err(err)
    {
    }

    void setEnabled(Button /*button*/, bool /*enabled*/) override { }
    void clear(ListBox /*list*/) override { }
    void append(ListBox list, std::string_view line, std::string_view /*detail*/) override
    {
        if (list == ListBox::Missing)
            ++m_missing;
        if (!m_options.json && (list == ListBox::Missing || m_options.verbose))
            writeLine(m_out, oneLine(line));
    }
    [[nodiscard]] int missingCount() const override { return m_missing; }
    [[nodiscard]] bool appDirOnly() const override { return m_options.appDirOnly; }
    void pressExit() override { exited = true; }
    [[nodiscard]] bool isUnloaded() const override { return exited || stopRequested; }
    // A line on standard error, and with --json an object on standard output.
    void noteSignature(const ListSignatureNote& note) override;

    // The printing command's lstMissing: the records of the exceptions file.
    void setMissingCount(int count) { m_missing = count; }

    bool exited { false };
    bool stopRequested { false };

private:
    const Options& m_options;
    std::FILE* m_out;
    std::FILE* m_err;
    int m_missing { 0 };
};

// Standard output as the file the name list is written to.
class StreamOutput final : public OutputFile {
public:
    explicit StreamOutput(std::FILE* stream)
        : m_stream(stream)
    {
    }
    Outcome write(std::string_view bytes) override
    {
        if (std::fwrite(bytes.data(), 1, bytes.size(), m_stream) != bytes.size())
            return Error::of(error::deviceIo);
        return std::nullopt;
    }
    Outcome finish() override
    {
        if (std::fflush(m_stream) != 0)
            return Error::of(error::deviceIo);
        return std::nullopt;
    }
    Outcome close() override { return StreamOutput::finish(); }

private:
    std::FILE* m_stream;
};

} // namespace deptest::cli
