#include "system/DllSearch.h"

namespace deptest {

// Windows programs read here are searched for in the folders the host maps
// Windows' own to: there is no Windows loader to ask.
std::optional<DllSearchPlaces> dllSearchPlaces() { return std::nullopt; }

} // namespace deptest
