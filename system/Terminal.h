#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace deptest {

// What the progress line asks of the descriptor it draws on.

// Whether the descriptor is a terminal, where a line redrawn in place shows.
bool isTerminal(int descriptor);

// Writes the text straight to the descriptor, unbuffered; false when the
// descriptor does not take all of it.
bool writeUnbuffered(int descriptor, std::string_view text);

// A password for a secret key: asked on the terminal without echo when
// standard input is one (the prompt on standard error), otherwise the first
// line of standard input. Nothing when none could be read.
std::optional<std::string> readPassword(std::string_view prompt);

} // namespace deptest
