#pragma once

#include "errors/Error.h"
#include "names/ByteSource.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace deptest::names {

// What the loader reads from an ELF executable or shared library before it
// loads anything: its kind, its program interpreter and its dynamic section.
struct ElfObject {
    unsigned char elfClass { 0 };
    unsigned char byteOrder { 0 };
    std::uint16_t machine { 0 };
    std::string interpreter;
    std::vector<std::string> needed;
    std::optional<std::string> rpath;
    std::optional<std::string> runpath;
    std::string soname;
    // DF_1_NODEFLIB: neither the loader's cache nor its default directories.
    bool noDefaultLibraries { false };
};

// Reads the object from its bytes, bounds-checked throughout (the bytes
// are changed only if libelf converts them in place, so give it a private
// copy). On failure says why, in words for the user.
Result<ElfObject> readElf(std::span<unsigned char> bytes);
// The same from an open file, read where its tables lie.
Result<ElfObject> readElf(const BinaryFile& file);

} // namespace deptest::names
