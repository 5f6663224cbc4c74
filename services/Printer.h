#pragma once

#include "errors/Error.h"

#include <span>
#include <string_view>

namespace deptest {

// One text of a printed line, starting at a print column: columns count
// from 1 at the left margin in the printer font's average character width.
struct PrintText {
    int column { 1 };
    std::string_view text;
};

// Lines a printed page holds: nine blocks of seven.
inline constexpr int printLinesPerPage = 63;

// The system's default printer. A document begins with the first output
// and goes to the printer with endDocument(); cancelDocument() throws away
// everything since the last endDocument().
class Printer {
public:
    virtual ~Printer() = default;
    virtual Outcome printLine(std::span<const PrintText> texts) = 0;
    virtual Outcome newPage() = 0;
    virtual Outcome endDocument() = 0;
    virtual void cancelDocument() = 0;
};

} // namespace deptest
