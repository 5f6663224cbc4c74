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
#include <string>
#include <vector>

namespace {

void check(const deptest::Result<deptest::names::ElfObject>& object, std::size_t size)
{
    if (object) {
        std::size_t total = object->interpreter.size() + object->soname.size();
        for (const std::string& name : object->needed)
            total += name.size();
        if (total > size)
            std::abort();
    } else if (object.error().description.empty()) {
        std::abort(); // a failure always says why
    }
}

bool same(const deptest::names::ElfObject& a, const deptest::names::ElfObject& b)
{
    return a.elfClass == b.elfClass && a.byteOrder == b.byteOrder && a.machine == b.machine
        && a.interpreter == b.interpreter && a.needed == b.needed && a.rpath == b.rpath && a.runpath == b.runpath
        && a.soname == b.soname && a.noDefaultLibraries == b.noDefaultLibraries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<unsigned char> cacheBytes(data, data + size);
    if (const auto cache = deptest::names::LoaderCache::read(cacheBytes)) {
        if (cache->size() > size)
            std::abort();
        (void)cache->find("libc.so.6", ELFCLASS64, EM_X86_64);
    }
    // The reader may convert in place, so it gets its own copy.
    std::vector<unsigned char> bytes(data, data + size);
    const auto fromMemory = deptest::names::readElf(bytes);
    check(fromMemory, size);
    const auto file = deptest::test::inputAsFile(data, size);
    if (!file) {
        if (size > 0)
            std::abort(); // any bytes make a readable file
        return 0;
    }
    const auto fromFile = deptest::names::readElf(*file);
    check(fromFile, size);
    // libelf reads the same bytes from memory and from the file: both say
    // the same, or fail for the same reason.
    if (fromMemory.ok() != fromFile.ok() || fromMemory.failure() != fromFile.failure()
        || (fromMemory && !same(*fromMemory, *fromFile)))
        std::abort();
    return 0;
}
