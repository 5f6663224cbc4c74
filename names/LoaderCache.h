#pragma once

#include "errors/Error.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace deptest::names {

// The dynamic loader's cache (/etc/ld.so.cache), read from the file and
// never by running ldconfig: the library each name stands for, per kind
// of library. Entries for the optimised subdirectories (glibc-hwcaps and
// the older hardware-capability ones) are left out: the loader falls back
// to the plain entry of the same name, which every such library has.
class LoaderCache {
public:
    // Reads the cache in its current format, alone or after the old one.
    static Result<LoaderCache> read(std::span<const unsigned char> bytes);

    // The path of a library for the ELF class and machine asking for it.
    std::optional<std::string> find(std::string_view name, unsigned char elfClass, std::uint16_t machine) const;

    std::size_t size() const { return m_entries.size(); }

private:
    // Name, then the cache's flag word of the kind of library.
    std::unordered_map<std::string, std::unordered_map<std::int32_t, std::string>> m_entries;
};

} // namespace deptest::names
