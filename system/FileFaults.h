#pragma once

#include "errors/Error.h"

#include <string_view>

namespace deptest {

// The faults both systems' files report alike: the same number and the
// same words (errors/Messages.h) whichever system found them.

// A list, or a file whose contents are digested, was written while it was
// read: 75.
Error changedWhileRead();
// A list that is not a plain file, by what it is ("a directory", "a pipe"):
// 75, "<path> is <what>, not a plain file".
Error notPlainFile(std::string_view path, std::string_view what);
// A list that gives more bytes than its size said when it was opened (the
// files of /proc and /sys say 0): 75.
Error moreBytesThanItsSize(std::string_view path);

// A file whose contents cannot be digested: not a regular file (75),
// stopped between two blocks (75), or the digest's own failure (57).
Error notRegularForDigest();
Error stoppedOnRequest();
Error digestNotComputed();

// A program file the name list reads (BinaryFile) that cannot be read: a
// folder, a device or a pipe (75); empty (62); larger than the reader takes
// (75); shorter than it was when it was opened (62).
Error binaryIsDirectory();
Error binaryNotRegular();
Error binaryIsEmpty();
Error binaryTooLarge();
Error binaryCutShort();

} // namespace deptest
