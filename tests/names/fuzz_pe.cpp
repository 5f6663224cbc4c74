// libFuzzer target for the PE reader: any bytes must neither crash nor
// read out of bounds, and every name it gives must lie within the file.

#include "names/PeObject.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string why;
    const auto object = deptest::names::readPe(std::span(data, size), why);
    if (!object) {
        if (why.empty())
            std::abort(); // a failure always says why
        return 0;
    }
    for (const auto* names : { &object->imports, &object->delayImports }) {
        for (const std::string& name : *names) {
            if (name.empty() || name.size() > size)
                std::abort();
        }
    }
    return 0;
}
