#pragma once

#include "errors/Error.h"

#include <string>
#include <utility>

namespace deptest::names {

// Why a file cannot be read as a program or a loader's cache, in words for
// the user ("has a truncated PE header"): shown after the file's name.
inline Error refusal(std::string why) { return { error::pathFileAccess, std::move(why) }; }

} // namespace deptest::names
