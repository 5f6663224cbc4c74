// libFuzzer target for the ELF reader and the loader's cache: any bytes,
// read as an executable (from memory, and from a file as a run reads
// programs) and as a cache, must neither crash nor read out of bounds, and
// what they give must lie within what was read.

#include "names/ByteSource.h"
#include "names/ElfObject.h"
#include "names/LoaderCache.h"
#include "tests/names/FuzzInputFile.h"

#include <cstdint>
#include <cstdlib>
#include <elf.h>
#include <optional>
#include <string>
#include <vector>

namespace {

void check(const std::optional<deptest::names::ElfObject>& object, const std::string& why, std::size_t size)
{
    if (object) {
        std::size_t total = object->interpreter.size() + object->soname.size();
        for (const std::string& name : object->needed)
            total += name.size();
        if (total > size)
            std::abort();
    } else if (why.empty()) {
        std::abort(); // a failure always says why
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The reader may convert in place, so it gets its own copy.
    std::vector<unsigned char> bytes(data, data + size);
    std::string why;
    check(deptest::names::readElf(bytes, why), why, size);
    std::string fileWhy;
    if (const deptest::BinaryFile file = deptest::test::inputAsFile(data, size, fileWhy); file.isOpen())
        check(deptest::names::readElf(file, fileWhy), fileWhy, size);
    else if (size > 0)
        std::abort(); // any bytes make a readable file
    const std::vector<unsigned char> cacheBytes(data, data + size);
    if (const auto cache = deptest::names::LoaderCache::read(cacheBytes, why)) {
        if (cache->size() > size)
            std::abort();
        (void)cache->find("libc.so.6", ELFCLASS64, EM_X86_64);
    }
    return 0;
}
