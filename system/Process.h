#pragma once

namespace deptest {

// What the program sets for its whole process, once, as it starts, before
// any file is written: a file-size limit comes back as a failed write, not
// as a signal that ends the program with its records half written.
void prepareProcess();

} // namespace deptest
