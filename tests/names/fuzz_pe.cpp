// libFuzzer target for the PE reader: any bytes, from memory and from a
// file as a run reads programs, must neither crash nor read out of bounds,
// and every name it gives must lie within the file.

#include "names/ByteSource.h"
#include "names/PeObject.h"
#include "tests/names/FuzzInputFile.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

namespace {

void check(const deptest::Result<deptest::names::PeObject>& object, std::size_t size)
{
    if (!object) {
        if (object.error().description.empty())
            std::abort(); // a failure always says why
        return;
    }
    for (const auto* names : { &object->imports, &object->delayImports }) {
        for (const std::string& name : *names) {
            if (name.empty() || name.size() > size)
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto fromMemory = deptest::names::readPe(std::span(data, size));
    check(fromMemory, size);
    const auto file = deptest::test::inputAsFile(data, size);
    if (!file) {
        if (size > 0)
            std::abort(); // any bytes make a readable file
        return 0;
    }
    const auto fromFile = deptest::names::readPe(deptest::names::ByteSource(*file));
    check(fromFile, size);
    // Both ways read the same bytes through the same reader: they agree.
    if (fromMemory.ok() != fromFile.ok() || fromMemory.failure() != fromFile.failure()
        || (fromMemory
            && (fromMemory->imports != fromFile->imports || fromMemory->delayImports != fromFile->delayImports)))
        std::abort();
    return 0;
}
