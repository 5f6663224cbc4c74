#include "tests/fakes/RecordingPrinter.h"

namespace deptest::test {

Outcome RecordingPrinter::nextOperation()
{
    ++m_operations;
    if (failAt != 0 && m_operations == failAt)
        return Error::of(failWith);
    return {};
}

Outcome RecordingPrinter::printLine(std::span<const PrintText> texts)
{
    if (Outcome failure = nextOperation())
        return failure;
    if (pages.empty())
        pages.emplace_back();
    Line line;
    for (const PrintText& text : texts)
        line.emplace_back(text.column, std::string(text.text));
    pages.back().push_back(std::move(line));
    return {};
}

Outcome RecordingPrinter::newPage()
{
    if (Outcome failure = nextOperation())
        return failure;
    if (pages.empty())
        pages.emplace_back();
    pages.emplace_back();
    return {};
}

Outcome RecordingPrinter::endDocument()
{
    if (Outcome failure = nextOperation())
        return failure;
    ++ended;
    printed.push_back(std::move(pages));
    pages.clear();
    return {};
}

void RecordingPrinter::cancelDocument()
{
    ++cancelled;
    pages.clear();
}

} // namespace deptest::test
