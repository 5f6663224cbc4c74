#include "report/ReportPrinting.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "platform/Files.h"
#include "platform/Printer.h"
#include "platform/Runtime.h"
#include "platform/Window.h"
#include "records/DataFiles.h"
#include "records/RecordReader.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace deptest {

namespace {

constexpr int labelColumn = 10;
constexpr int valueColumn = 30;
constexpr int linesPerBlock = 7;
constexpr std::int16_t pageLineLimit = 60; // nine blocks of seven lines to a page

// Reads a whole line and splits it into fields with the same field reader
// every list uses, so quotes and commas mean the same here.
class LineSource final : public InputFile {
public:
    explicit LineSource(std::string_view line)
        : m_rest(line)
    {
    }
    std::size_t read(char* buffer, std::size_t size, ErrorState&) override
    {
        const std::size_t count = std::min(size, m_rest.size());
        std::memcpy(buffer, m_rest.data(), count);
        m_rest.remove_prefix(count);
        return count;
    }

private:
    std::string_view m_rest;
};

std::vector<std::string> splitFields(std::string_view line)
{
    LineSource source(line);
    RecordReader reader(source);
    std::vector<std::string> fields;
    while (!reader.atEnd()) {
        ErrorState state;
        std::string field;
        reader.readField(field, state);
        if (state.pending())
            break; // only blanks were left
        fields.push_back(std::move(field));
    }
    return fields;
}

void printBlock(Printer& printer, const ReportRecord& record, ErrorState& state)
{
    const std::string fileLine = "File:  " + record.name;
    const std::string errorLine = "Error:  " + record.error;
    const std::array<std::array<PrintText, 2>, 4> values { {
        { { { labelColumn, "Target File Size:" }, { valueColumn, record.targetSize } } },
        { { { labelColumn, "Original File Size:" }, { valueColumn, record.originalSize } } },
        { { { labelColumn, "Target File Date:" }, { valueColumn, record.targetDate } } },
        { { { labelColumn, "Original File Date:" }, { valueColumn, record.originalDate } } },
    } };

    const PrintText file[] = { { 1, fileLine } };
    printer.printLine(file, state);
    for (const auto& line : values) {
        if (state.pending())
            return;
        printer.printLine(line, state);
    }
    if (state.pending())
        return;
    const PrintText error[] = { { labelColumn, errorLine } };
    printer.printLine(error, state);
    if (!state.pending())
        printer.printLine({}, state);
}

} // namespace

ReportRecord reportRecordFromFields(const std::vector<std::string>& fields)
{
    const auto field = [&fields](std::size_t index) { return index < fields.size() ? fields[index] : std::string(); };
    if (fields.size() <= 4)
        return { field(0), {}, field(1), {}, field(2), field(3) };
    return { field(0), field(1), field(2), field(3), field(4), field(5) };
}

void printReport(Window& window, Runtime& runtime)
{
    ErrorState state(ErrorMode::Handler);
    Printer& printer = runtime.printer();
    std::unique_ptr<InputFile> exceptions;

    // The handler: every failure but a read past the end finishes here.
    const auto finishOnFailure = [&] {
        if (state.number() == error::fileNotFound) {
            runtime.showMessage(message::printCouldNotFindOutDll);
        } else {
            state.setMode(ErrorMode::Continue);
            runtime.showMessage(generalErrorMessage(state));
            exceptions.reset();
            printer.cancelDocument();
        }
        setButtonsEnabled(window, true);
    };

    setButtonsEnabled(window, false);
    if (window.missingCount() == 0) {
        runtime.showMessage(message::noMissingFiles);
        setButtonsEnabled(window, true);
        return;
    }

    exceptions = runtime.openForReading(dataFilePath(runtime.applicationDirectory(), dataFile::exceptions), state);
    if (state.pending()) {
        finishOnFailure();
        return;
    }
    RecordReader reader(*exceptions);
    std::string header;
    reader.readLine(header, state);
    if (state.number() == error::inputPastEnd) {
        state.reset(); // an empty file: carry on, the loop finds its end
    } else if (state.pending()) {
        finishOnFailure();
        return;
    }

    std::int16_t lineCount = 0;
    bool pageFull = false;
    while (!reader.atEnd()) {
        std::string line;
        reader.readLine(line, state);
        if (state.pending()) {
            finishOnFailure();
            return;
        }
        const std::vector<std::string> fields = splitFields(line);
        if (fields.empty())
            continue; // a blank line holds no record
        // A page is begun only when a block is there to go on it, so a
        // report of exactly nine blocks has no empty page behind it.
        if (pageFull) {
            printer.newPage(state);
            pageFull = false;
        }
        if (!state.pending())
            printBlock(printer, reportRecordFromFields(fields), state);
        if (state.pending()) {
            finishOnFailure();
            return;
        }
        lineCount = static_cast<std::int16_t>(lineCount + linesPerBlock);
        if (lineCount >= pageLineLimit) {
            pageFull = true;
            lineCount = 0;
        }
    }
    if (reader.fileError().pending()) {
        state.raise(reader.fileError().number(), reader.fileError().description());
        finishOnFailure();
        return;
    }

    printer.endDocument(state);
    if (state.pending()) {
        finishOnFailure();
        return;
    }
    exceptions.reset();
    state.setMode(ErrorMode::Off);
    setButtonsEnabled(window, true);
}

} // namespace deptest
