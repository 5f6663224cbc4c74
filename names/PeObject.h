#pragma once

#include "errors/Error.h"
#include "names/ByteSource.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace deptest::names {

// What the Windows loader reads from a PE executable or DLL to know the
// DLLs it needs: the names in its import and delay-import tables.
struct PeObject {
    std::uint16_t machine { 0 };
    // A 32-bit image (PE32), not a 64-bit one (PE32+).
    bool is32Bit { false };
    std::vector<std::string> imports;
    std::vector<std::string> delayImports;
};

// Reads the two tables, every offset checked against the file. On failure
// says why, in words for the user.
Result<PeObject> readPe(const ByteSource& bytes);
Result<PeObject> readPe(std::span<const unsigned char> bytes);

// API-set names stand for contracts the system maps itself, not files.
bool isApiSetName(std::string_view name);

} // namespace deptest::names
