#pragma once

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
    std::vector<std::string> imports;
    std::vector<std::string> delayImports;
};

// Reads the two tables, every offset checked against the file. On failure
// says why, in words for the user.
std::optional<PeObject> readPe(const ByteSource& bytes, std::string& why);
std::optional<PeObject> readPe(std::span<const unsigned char> bytes, std::string& why);

// API-set names stand for contracts the system maps itself, not files.
bool isApiSetName(std::string_view name);

} // namespace deptest::names
