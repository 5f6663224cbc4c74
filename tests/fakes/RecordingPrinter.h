#pragma once

#include "services/Printer.h"

#include <string>
#include <utility>
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

} // namespace deptest::test
