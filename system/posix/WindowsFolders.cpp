#include "system/WindowsFolders.h"

namespace deptest {

std::optional<WindowsFolders> windowsFolders() { return std::nullopt; }

} // namespace deptest
