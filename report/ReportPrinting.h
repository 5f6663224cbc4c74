#pragma once

#include <string>
#include <vector>

namespace deptest {

class Runtime;
class Window;

// One printed block: the six texts of an exceptions record.
struct ReportRecord {
    std::string name;
    std::string targetSize;
    std::string originalSize;
    std::string targetDate;
    std::string originalDate;
    std::string error;
};

// Places the fields of one exceptions line: six fields are a mismatch
// record; up to four are a not-found record (name, original size, original
// date, error), which has no target values. Missing fields stay empty.
ReportRecord reportRecordFromFields(const std::vector<std::string>& fields);

// The Print command: prints the exceptions file on the default printer, a
// block of seven lines per record, nine blocks to a page.
void printReport(Window& window, Runtime& runtime);

} // namespace deptest
