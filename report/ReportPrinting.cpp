#include "report/ReportPrinting.h"

#include "errors/Messages.h"
#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "services/Files.h"
#include "services/Printer.h"
#include "services/Runtime.h"
#include "services/Window.h"

#include <array>
#include <cstdint>

namespace deptest {

namespace {

constexpr int labelColumn = 10;
constexpr int valueColumn = 30;
constexpr int linesPerBlock = 7;
// After the ninth block of seven lines the counter reaches 63: a page is
// full once 60 lines are on it.
constexpr std::int16_t pageLineLimit = 60;
static_assert(printLinesPerPage / linesPerBlock * linesPerBlock >= pageLineLimit);

// The six texts of a printed block.
struct Block {
    const std::string& name;
    const std::string& targetSize;
    const std::string& originalSize;
    const std::string& targetDate;
    const std::string& originalDate;
    const std::string& error;
};

Block blockOf(const ExceptionRecord& record)
{
    static const std::string none;
    if (const auto* missing = std::get_if<NotFoundRecord>(&record))
        return { missing->name, none, missing->originalSize, none, missing->originalDate, missing->error };
    const auto& mismatch = std::get<MismatchRecord>(record);
    return { mismatch.name, mismatch.targetSize, mismatch.originalSize, mismatch.targetDate, mismatch.originalDate,
        mismatch.error };
}

Outcome printBlock(Printer& printer, const Block& block)
{
    const std::string fileLine = "File:  " + block.name;
    const std::string errorLine = "Error:  " + block.error;
    const std::array<std::array<PrintText, 2>, 4> values { {
        { { { labelColumn, "Target File Size:" }, { valueColumn, block.targetSize } } },
        { { { labelColumn, "Original File Size:" }, { valueColumn, block.originalSize } } },
        { { { labelColumn, "Target File Date:" }, { valueColumn, block.targetDate } } },
        { { { labelColumn, "Original File Date:" }, { valueColumn, block.originalDate } } },
    } };

    const PrintText file[] = { { 1, fileLine } };
    if (Outcome failure = printer.printLine(file))
        return failure;
    for (const auto& line : values) {
        if (Outcome failure = printer.printLine(line))
            return failure;
    }
    const PrintText error[] = { { labelColumn, errorLine } };
    if (Outcome failure = printer.printLine(error))
        return failure;
    return printer.printLine({});
}

// Prints every record of the exceptions file and ends the document; the
// first failure ends it early and is handed back to the handler.
Outcome printExceptions(Runtime& runtime, Printer& printer)
{
    auto exceptions = runtime.openForReading(dataFilePath(runtime.applicationDirectory(), dataFile::exceptions));
    if (!exceptions)
        return exceptions.error();
    RecordReader reader(**exceptions);
    // The first line describes the records. An empty file has none: 62 is
    // passed over and the loop finds the end.
    if (Result<std::string> header = reader.readLine(); !header && header.error().number != error::inputPastEnd)
        return header.error();

    std::int16_t lineCount = 0;
    bool pageFull = false;
    while (!reader.atEnd()) {
        Result<std::string> line = reader.readRecordLine();
        if (!line)
            return line.error();
        const std::optional<ExceptionRecord> record = exceptionFromLine(*line);
        if (!record)
            continue; // a blank line holds no record
        // A page is begun only when a block is there to go on it, so a
        // report of exactly nine blocks has no empty page behind it.
        if (pageFull) {
            if (Outcome failure = printer.newPage())
                return failure;
            pageFull = false;
        }
        if (Outcome failure = printBlock(printer, blockOf(*record)))
            return failure;
        lineCount = static_cast<std::int16_t>(lineCount + linesPerBlock);
        if (lineCount >= pageLineLimit) {
            pageFull = true;
            lineCount = 0;
        }
    }
    if (reader.fileError())
        return reader.fileError();
    return printer.endDocument();
}

} // namespace

void printReport(Window& window, Runtime& runtime)
{
    setButtonsEnabled(window, false);
    if (window.missingCount() == 0) {
        runtime.showMessage(message::noMissingFiles);
        setButtonsEnabled(window, true);
        return;
    }

    Printer& printer = runtime.printer();
    // The handler: a missing exceptions file has its own message; any other
    // failure shows the general message and nothing of the document prints.
    if (const Outcome failure = printExceptions(runtime, printer)) {
        if (failure->number == error::fileNotFound) {
            runtime.showMessage(message::printCouldNotFindOutDll);
        } else {
            runtime.showMessage(generalErrorMessage(*failure));
            printer.cancelDocument();
        }
    }
    setButtonsEnabled(window, true);
}

} // namespace deptest
