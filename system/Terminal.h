#pragma once

#include <string_view>

namespace deptest {

// What the progress line asks of the descriptor it draws on.

// Whether the descriptor is a terminal, where a line redrawn in place shows.
bool isTerminal(int descriptor);

// Writes the text straight to the descriptor, unbuffered; false when the
// descriptor does not take all of it.
bool writeUnbuffered(int descriptor, std::string_view text);

} // namespace deptest
