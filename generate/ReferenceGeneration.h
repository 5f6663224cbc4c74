#pragma once

namespace deptest {

class Runtime;

// The hidden Ctrl+B command: measures every file named in the name list
// with the full search and writes a reference record for each one found
// and a not-found record for each one that is not. It touches no list of
// the window and is silent when it succeeds; a failed write is reported
// once at its end.
void generateReference(Runtime& runtime);

} // namespace deptest
