#include "names/PeObject.h"

#include "names/Refusal.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace deptest::names {

namespace {

// A DLL name longer than a Windows path is no name.
constexpr std::size_t longestName = 260;
// More descriptors than any real program has: a table that runs on is broken.
constexpr std::size_t mostDescriptors = 65536;

class Reader {
public:
    explicit Reader(const ByteSource& bytes)
        : m_bytes(bytes)
    {
    }

    std::optional<std::uint64_t> number(std::uint64_t offset, unsigned width) const
    {
        std::array<unsigned char, 8> little {};
        if (width > little.size() || !m_bytes.read(offset, std::span(little).first(width)))
            return std::nullopt;
        std::uint64_t value = 0;
        for (unsigned i = width; i-- > 0;)
            value = (value << 8) | little[i];
        return value;
    }

    std::optional<std::string> text(std::uint64_t offset) const
    {
        if (offset >= m_bytes.size())
            return std::nullopt;
        std::array<unsigned char, longestName + 1> room {};
        const auto rest = std::span(room).first(
            static_cast<std::size_t>(std::min<std::uint64_t>(m_bytes.size() - offset, room.size())));
        if (!m_bytes.read(offset, rest))
            return std::nullopt;
        const auto end = std::find(rest.begin(), rest.end(), 0);
        if (end == rest.end() || end == rest.begin())
            return std::nullopt;
        return std::string(rest.begin(), end);
    }

private:
    const ByteSource& m_bytes;
};

struct Section {
    std::uint32_t address;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawOffset;
};

struct Image {
    Reader reader;
    std::vector<Section> sections;
    std::uint32_t headersSize { 0 };

    // Where an address of the loaded image lies in the file, if it does.
    std::optional<std::uint64_t> offsetOf(std::uint64_t address) const
    {
        if (address < headersSize)
            return address;
        for (const Section& section : sections) {
            if (address >= section.address && address - section.address < section.rawSize
                && address - section.address < std::max(section.virtualSize, section.rawSize))
                return std::uint64_t { section.rawOffset } + (address - section.address);
        }
        return std::nullopt;
    }
};

// The names of an import table (`table` says which, for the user).
Result<std::vector<std::string>> readNames(const Image& image, std::uint64_t tableAddress, unsigned descriptorSize,
    unsigned nameField, std::uint64_t subtract, const char* table)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < mostDescriptors; ++i) {
        const auto at = image.offsetOf(tableAddress + i * descriptorSize);
        const auto name = at ? image.reader.number(*at + nameField, 4) : std::nullopt;
        if (!name)
            return refusal(std::string("has ") + table + " table outside the file");
        if (*name == 0)
            return names;
        const auto nameAt = *name >= subtract ? image.offsetOf(*name - subtract) : std::nullopt;
        auto text = nameAt ? image.reader.text(*nameAt) : std::nullopt;
        if (!text)
            return refusal(std::string("has ") + table + " name outside the file");
        names.push_back(std::move(*text));
    }
    return refusal(std::string("has ") + table + " table without an end");
}

// What the PE and optional headers say of the rest of the file.
struct Headers {
    std::uint16_t machine { 0 };
    bool is32Bit { false };
    std::uint64_t sectionCount { 0 };
    std::uint64_t sectionTable { 0 }; // the optional header's end
    std::uint64_t imageBase { 0 };
    std::uint32_t headersSize { 0 };
    std::uint64_t directoryCountAt { 0 };
    std::uint64_t directoryCount { 0 };
};

// Where the PE header starts, behind the DOS header.
Result<std::uint64_t> peHeaderOffset(const Reader& reader)
{
    if (reader.number(0, 2) != 0x5a4d)
        return refusal("is not a PE file");
    const auto pe = reader.number(0x3c, 4);
    if (!pe)
        return refusal("has a truncated DOS header");
    if (reader.number(*pe, 4) != 0x00004550)
        return refusal("is a DOS program without a PE header");
    return *pe;
}

Result<Headers> readHeaders(const Reader& reader)
{
    const Result<std::uint64_t> pe = peHeaderOffset(reader);
    if (!pe)
        return pe.error();
    const auto machine = reader.number(*pe + 4, 2);
    const auto sectionCount = reader.number(*pe + 6, 2);
    const auto optionalSize = reader.number(*pe + 20, 2);
    const std::uint64_t optional = *pe + 24;
    const auto magic = reader.number(optional, 2);
    if (!machine || !sectionCount || !optionalSize || !magic)
        return refusal("has a truncated PE header");
    const bool plus = *magic == 0x20b;
    if (!plus && *magic != 0x10b)
        return refusal("has an optional header of unknown kind");
    const std::uint64_t directoryCountAt = optional + (plus ? 108 : 92);
    const auto imageBase = reader.number(optional + (plus ? 24 : 28), plus ? 8 : 4);
    const auto headersSize = reader.number(optional + 60, 4);
    const auto directoryCount = reader.number(directoryCountAt, 4);
    if (!imageBase || !headersSize || !directoryCount || directoryCountAt + 4 > optional + *optionalSize)
        return refusal("has a truncated optional header");
    return Headers { static_cast<std::uint16_t>(*machine), !plus, *sectionCount, optional + *optionalSize, *imageBase,
        static_cast<std::uint32_t>(*headersSize), directoryCountAt, *directoryCount };
}

Result<std::vector<Section>> readSections(const Reader& reader, const Headers& headers)
{
    std::vector<Section> sections;
    for (std::uint64_t i = 0; i < headers.sectionCount; ++i) {
        const std::uint64_t at = headers.sectionTable + i * 40;
        const auto virtualSize = reader.number(at + 8, 4);
        const auto address = reader.number(at + 12, 4);
        const auto rawSize = reader.number(at + 16, 4);
        const auto rawOffset = reader.number(at + 20, 4);
        if (!virtualSize || !address || !rawSize || !rawOffset)
            return refusal("has a section table outside the file");
        sections.push_back({ static_cast<std::uint32_t>(*address), static_cast<std::uint32_t>(*virtualSize),
            static_cast<std::uint32_t>(*rawSize), static_cast<std::uint32_t>(*rawOffset) });
    }
    return sections;
}

// The address of a data directory; it exists only if the header counts it
// and holds it.
std::optional<std::uint64_t> dataDirectory(const Reader& reader, const Headers& headers, std::uint64_t index)
{
    const std::uint64_t at = headers.directoryCountAt + 4 + index * 8;
    if (index >= headers.directoryCount || at + 8 > headers.sectionTable)
        return std::nullopt;
    const auto address = reader.number(at, 4);
    const auto size = reader.number(at + 4, 4);
    if (!address || !size || *address == 0)
        return std::nullopt;
    return address;
}

} // namespace

bool isApiSetName(std::string_view name)
{
    const auto startsWith = [&](std::string_view prefix) {
        return name.size() >= prefix.size()
            && std::equal(prefix.begin(), prefix.end(), name.begin(),
                [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    };
    return startsWith("api-ms-win-") || startsWith("ext-ms-");
}

Result<PeObject> readPe(std::span<const unsigned char> bytes) { return readPe(ByteSource(bytes)); }

Result<PeObject> readPe(const ByteSource& bytes)
{
    const Reader reader(bytes);
    const Result<Headers> headers = readHeaders(reader);
    if (!headers)
        return headers.error();
    Result<std::vector<Section>> sections = readSections(reader, *headers);
    if (!sections)
        return sections.error();
    const Image image { reader, std::move(*sections), headers->headersSize };
    PeObject object;
    object.machine = headers->machine;
    object.is32Bit = headers->is32Bit;
    if (const auto imports = dataDirectory(reader, *headers, 1)) {
        Result<std::vector<std::string>> names = readNames(image, *imports, 20, 12, 0, "an import");
        if (!names)
            return names.error();
        object.imports = std::move(*names);
    }
    if (const auto delayed = dataDirectory(reader, *headers, 13)) {
        // Old delay-import tables hold addresses of the loaded image, not
        // offsets into it; their attributes say which.
        const auto at = image.offsetOf(*delayed);
        const auto attributes = at ? reader.number(*at, 4) : std::nullopt;
        const std::uint64_t subtract = attributes && (*attributes & 1) == 0 ? headers->imageBase : 0;
        Result<std::vector<std::string>> names = readNames(image, *delayed, 32, 4, subtract, "a delay-import");
        if (!names)
            return names.error();
        object.delayImports = std::move(*names);
    }
    return object;
}

} // namespace deptest::names
