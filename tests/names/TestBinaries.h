#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace deptest::test {

// The parts of a small ELF shared object or executable that the loader
// reads: enough to stand for a program and its libraries in a test.
struct ElfRecipe {
    std::vector<std::string> needed;
    std::string soname;
    std::string rpath;
    std::string runpath;
    std::string interpreter;
    std::uint16_t machine { 62 }; // x86-64
    bool noDefaultLibraries { false };
};

// Where the pieces of a made ELF file lie, for tests that break them.
struct ElfLayout {
    std::size_t programHeaders;
    std::size_t dynamic;
    std::size_t strings;
};

std::string makeElf(const ElfRecipe& recipe, ElfLayout* layout = nullptr);

// A small PE32+ file (or PE32, for x86) with one section that holds its
// import and delay-import tables.
struct PeRecipe {
    std::vector<std::string> imports;
    std::vector<std::string> delayImports;
    bool is32Bit { false };
};

// Offsets into a made PE file of its parts.
inline constexpr std::size_t peHeaderOffset = 0x40;
inline constexpr std::size_t peImportDirectory = 0x40 + 24 + 112 + 8;
inline constexpr std::size_t peSectionTable = 0x40 + 24 + 240;
inline constexpr std::size_t peSectionData = 0x200;

std::string makePe(const PeRecipe& recipe);

// Writes `value` as `width` little-endian bytes at `offset`, growing the
// bytes to hold them.
void put(std::string& bytes, std::size_t offset, std::uint64_t value, unsigned width);

// Writes bytes to a file, creating its directory.
void writeBinary(const std::string& path, const std::string& bytes);

} // namespace deptest::test
