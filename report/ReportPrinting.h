#pragma once

namespace deptest {

class Runtime;
class Window;

// The Print command: prints the exceptions file on the default printer, a
// block of seven lines per record, nine blocks to a page. A not-found
// record prints its original size and date; its target lines stay empty.
void printReport(Window& window, Runtime& runtime);

} // namespace deptest
