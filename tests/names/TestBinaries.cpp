#include "tests/names/TestBinaries.h"

#include <filesystem>
#include <fstream>

namespace deptest::test {

void put(std::string& bytes, std::size_t offset, std::uint64_t value, unsigned width)
{
    if (bytes.size() < offset + width)
        bytes.resize(offset + width);
    for (unsigned i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xff);
}

namespace {

// The dynamic section's string table and its entries (tag, value) that
// name things, before those that say where the table lies.
struct DynamicSection {
    std::string strings = std::string(1, '\0');
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries;

    void add(std::uint64_t tag, const std::string& text)
    {
        entries.emplace_back(tag, strings.size());
        strings += text;
        strings += '\0';
    }
};

DynamicSection dynamicSectionOf(const ElfRecipe& recipe)
{
    DynamicSection dynamic;
    for (const std::string& name : recipe.needed)
        dynamic.add(1, name); // DT_NEEDED
    if (!recipe.soname.empty())
        dynamic.add(14, recipe.soname);
    if (!recipe.rpath.empty())
        dynamic.add(15, recipe.rpath);
    if (!recipe.runpath.empty())
        dynamic.add(29, recipe.runpath);
    if (recipe.noDefaultLibraries)
        dynamic.entries.emplace_back(0x6ffffffb, 0x800); // DT_FLAGS_1, DF_1_NODEFLIB
    return dynamic;
}

// The ELF header of a 64-bit little-endian shared object whose program
// headers follow it.
void putElfHeader(std::string& bytes, std::uint16_t machine, std::size_t programHeaders)
{
    bytes.replace(0, 4,
        "\x7f"
        "ELF");
    bytes[4] = 2; // 64-bit
    bytes[5] = 1; // little-endian
    bytes[6] = 1;
    put(bytes, 16, 3, 2); // ET_DYN
    put(bytes, 18, machine, 2);
    put(bytes, 20, 1, 4);
    put(bytes, 32, 64, 8); // program headers
    put(bytes, 52, 64, 2);
    put(bytes, 54, 56, 2);
    put(bytes, 56, programHeaders, 2);
    put(bytes, 58, 64, 2);
}

// A readable program header of a segment loaded where it lies in the file.
void putProgramHeader(std::string& bytes, std::size_t index, std::uint32_t type, std::size_t offset, std::size_t size)
{
    const std::size_t at = 64 + index * 56;
    put(bytes, at, type, 4);
    put(bytes, at + 4, 4, 4);
    put(bytes, at + 8, offset, 8);
    put(bytes, at + 16, offset, 8);
    put(bytes, at + 24, offset, 8);
    put(bytes, at + 32, size, 8);
    put(bytes, at + 40, size, 8);
    put(bytes, at + 48, 8, 8);
}

} // namespace

std::string makeElf(const ElfRecipe& recipe, ElfLayout* layout)
{
    const bool interpreter = !recipe.interpreter.empty();
    const std::size_t headers = interpreter ? 3 : 2;
    DynamicSection dynamic = dynamicSectionOf(recipe);
    const std::string& strings = dynamic.strings;

    const std::size_t interpreterAt = 64 + headers * 56;
    const std::size_t stringsAt = interpreterAt + (interpreter ? recipe.interpreter.size() + 1 : 0);
    const std::size_t dynamicAt = (stringsAt + strings.size() + 7) & ~std::size_t { 7 };
    dynamic.entries.emplace_back(5, stringsAt); // DT_STRTAB, an address: loaded where it lies
    dynamic.entries.emplace_back(10, strings.size()); // DT_STRSZ
    dynamic.entries.emplace_back(0, 0);
    const std::size_t total = dynamicAt + dynamic.entries.size() * 16;

    std::string bytes(total, '\0');
    putElfHeader(bytes, recipe.machine, headers);
    putProgramHeader(bytes, 0, 1, 0, total); // PT_LOAD: the whole file
    putProgramHeader(bytes, 1, 2, dynamicAt, dynamic.entries.size() * 16); // PT_DYNAMIC
    if (interpreter) {
        putProgramHeader(bytes, 2, 3, interpreterAt, recipe.interpreter.size() + 1); // PT_INTERP
        bytes.replace(interpreterAt, recipe.interpreter.size(), recipe.interpreter);
    }
    bytes.replace(stringsAt, strings.size(), strings);
    for (std::size_t i = 0; i < dynamic.entries.size(); ++i) {
        put(bytes, dynamicAt + i * 16, dynamic.entries[i].first, 8);
        put(bytes, dynamicAt + i * 16 + 8, dynamic.entries[i].second, 8);
    }
    if (layout != nullptr)
        *layout = { 64, dynamicAt, stringsAt };
    return bytes;
}

std::string makePe(const PeRecipe& recipe)
{
    constexpr std::size_t sectionAddress = 0x1000;
    std::string bytes(peSectionData, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    put(bytes, 0x3c, peHeaderOffset, 4);
    bytes.replace(peHeaderOffset, 4, std::string("PE\0\0", 4));
    const std::size_t coff = peHeaderOffset + 4;
    put(bytes, coff, recipe.is32Bit ? 0x14c : 0x8664, 2);
    put(bytes, coff + 2, 1, 2); // one section
    put(bytes, coff + 16, 240, 2); // PE32's shorter header is padded to the same size
    put(bytes, coff + 18, 0x2022, 2); // an executable DLL image
    const std::size_t optional = coff + 20;
    put(bytes, optional, recipe.is32Bit ? 0x10b : 0x20b, 2);
    if (recipe.is32Bit)
        put(bytes, optional + 28, 0x10000000, 4);
    else
        put(bytes, optional + 24, 0x180000000, 8);
    put(bytes, optional + 60, peSectionData, 4);
    const std::size_t directories = optional + (recipe.is32Bit ? 96 : 112);
    put(bytes, directories - 4, 16, 4);

    std::string data;
    const std::size_t importsAt = 0;
    const std::size_t delayedAt = (recipe.imports.size() + 1) * 20;
    std::size_t namesAt = delayedAt + (recipe.delayImports.size() + 1) * 32;
    data.resize(namesAt);
    const auto addName = [&](const std::string& name) {
        const std::size_t at = data.size();
        data += name;
        data += '\0';
        return sectionAddress + at;
    };
    for (std::size_t i = 0; i < recipe.imports.size(); ++i) {
        put(data, importsAt + i * 20 + 12, addName(recipe.imports[i]), 4);
        put(data, importsAt + i * 20 + 16, sectionAddress, 4); // a first thunk
    }
    for (std::size_t i = 0; i < recipe.delayImports.size(); ++i) {
        put(data, delayedAt + i * 32, 1, 4); // addresses are relative
        put(data, delayedAt + i * 32 + 4, addName(recipe.delayImports[i]), 4);
    }
    data.resize((data.size() + 0x1ff) & ~std::size_t { 0x1ff });
    if (!recipe.imports.empty()) {
        put(bytes, directories + 8, sectionAddress + importsAt, 4);
        put(bytes, directories + 12, delayedAt, 4);
    }
    if (!recipe.delayImports.empty()) {
        put(bytes, directories + 13 * 8, sectionAddress + delayedAt, 4);
        put(bytes, directories + 13 * 8 + 4, namesAt - delayedAt, 4);
    }
    bytes.replace(peSectionTable, 6, ".idata");
    put(bytes, peSectionTable + 8, data.size(), 4);
    put(bytes, peSectionTable + 12, sectionAddress, 4);
    put(bytes, peSectionTable + 16, data.size(), 4);
    put(bytes, peSectionTable + 20, peSectionData, 4);
    return bytes + data;
}

void writeBinary(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace deptest::test
