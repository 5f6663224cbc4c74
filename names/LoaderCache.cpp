#include "names/LoaderCache.h"

#include "names/Refusal.h"

#include <algorithm>
#include <cstring>

namespace deptest::names {

namespace {

constexpr std::string_view oldMagic = "ld.so-1.7.0";
constexpr std::string_view newMagic = "glibc-ld.so.cache1.1";
constexpr std::size_t oldHeaderSize = 16; // magic padded, entry count
constexpr std::size_t oldEntrySize = 12;
constexpr std::size_t newHeaderSize = 48;
constexpr std::size_t newEntrySize = 24;

// The ELF numbers of the machines and the 64-bit class the cache tells
// apart, as the ELF standard fixes them (<elf.h>, which not every system
// the reader builds on has).
constexpr std::uint16_t machine386 = 3;
constexpr std::uint16_t machinePpc64 = 21;
constexpr std::uint16_t machineS390 = 22;
constexpr std::uint16_t machineX86_64 = 62;
constexpr std::uint16_t machineAarch64 = 183;
constexpr unsigned char elfClass64 = 2;

// The flag word a library of this kind carries in the cache: its ABI in
// the low byte (3: the GNU C library), its architecture above.
std::optional<std::int32_t> cacheFlags(unsigned char elfClass, std::uint16_t machine)
{
    constexpr std::int32_t libc6 = 0x0003;
    switch (machine) {
    case machineX86_64: return elfClass == elfClass64 ? libc6 | 0x0300 : libc6 | 0x0800;
    case machine386: return libc6;
    case machineAarch64: return libc6 | 0x0a00;
    case machinePpc64: return libc6 | 0x0500;
    case machineS390: return elfClass == elfClass64 ? libc6 | 0x0400 : libc6;
    default: return std::nullopt;
    }
}

template <typename T> std::optional<T> numberAt(std::span<const unsigned char> bytes, std::size_t offset)
{
    T value {};
    if (offset > bytes.size() || bytes.size() - offset < sizeof value)
        return std::nullopt;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

std::optional<std::string> stringAt(std::span<const unsigned char> bytes, std::size_t offset)
{
    if (offset >= bytes.size())
        return std::nullopt;
    const auto rest = bytes.subspan(offset);
    const auto end = std::find(rest.begin(), rest.end(), 0);
    if (end == rest.end())
        return std::nullopt;
    return std::string(rest.begin(), end);
}

} // namespace

Result<LoaderCache> LoaderCache::read(std::span<const unsigned char> bytes)
{
    const auto startsWith = [](std::span<const unsigned char> data, std::string_view magic) {
        return data.size() >= magic.size() && std::memcmp(data.data(), magic.data(), magic.size()) == 0;
    };
    // The old format, when there, comes first and the current one follows
    // its entries, aligned.
    std::span<const unsigned char> current = bytes;
    if (startsWith(bytes, oldMagic)) {
        const auto count = numberAt<std::uint32_t>(bytes, 12);
        std::size_t after = oldHeaderSize + std::size_t { count.value_or(0) } * oldEntrySize;
        after = (after + 7) & ~std::size_t { 7 };
        if (!count || after > bytes.size())
            return refusal("has a truncated header");
        current = bytes.subspan(after);
    }
    if (!startsWith(current, newMagic) || current.size() < newHeaderSize)
        return refusal("is not in a format this program knows");
    const auto count = numberAt<std::uint32_t>(current, 20);
    if (!count || (current.size() - newHeaderSize) / newEntrySize < *count)
        return refusal("has entries outside the file");
    LoaderCache cache;
    for (std::size_t i = 0; i < *count; ++i) {
        const std::size_t at = newHeaderSize + i * newEntrySize;
        const auto flags = numberAt<std::int32_t>(current, at);
        const auto key = numberAt<std::uint32_t>(current, at + 4);
        const auto value = numberAt<std::uint32_t>(current, at + 8);
        const auto hardware = numberAt<std::uint64_t>(current, at + 16);
        // Strings are counted from the start of this format's header.
        auto name = stringAt(current, key.value_or(~0U));
        auto path = stringAt(current, value.value_or(~0U));
        if (!flags || !hardware || !name || !path)
            return refusal("has a name outside the file");
        if (*hardware != 0)
            continue;
        // The first entry of a name and kind is the one the loader takes.
        cache.m_entries[std::move(*name)].try_emplace(*flags, std::move(*path));
    }
    return cache;
}

std::optional<std::string> LoaderCache::find(std::string_view name, unsigned char elfClass, std::uint16_t machine) const
{
    const auto entry = m_entries.find(std::string(name));
    const auto flags = cacheFlags(elfClass, machine);
    if (entry == m_entries.end() || !flags)
        return std::nullopt;
    const auto path = entry->second.find(*flags);
    if (path == entry->second.end())
        return std::nullopt;
    return path->second;
}

} // namespace deptest::names
