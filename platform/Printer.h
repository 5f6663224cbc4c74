#pragma once

#include <span>
#include <string_view>

namespace deptest {

class ErrorState;

// One text of a printed line, starting at a print column: columns count
// from 1 at the left margin in the printer font's average character width.
struct PrintText {
    int column { 1 };
    std::string_view text;
};

// The system's default printer. A document begins with the first output
// and goes to the printer with endDocument(); cancelDocument() throws away
// everything since the last endDocument().
class Printer {
public:
    virtual ~Printer() = default;
    virtual void printLine(std::span<const PrintText> texts, ErrorState& state) = 0;
    virtual void newPage(ErrorState& state) = 0;
    virtual void endDocument(ErrorState& state) = 0;
    virtual void cancelDocument() = 0;
};

} // namespace deptest
