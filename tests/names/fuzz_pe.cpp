// libFuzzer target for the PE reader: any bytes, from memory and from a
// file as a run reads programs, must neither crash nor read out of bounds,
// and every name it gives must lie within the file.

#include "names/BinaryFile.h"
#include "names/PeObject.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void check(const std::optional<deptest::names::PeObject>& object, const std::string& why, std::size_t size)
{
    if (!object) {
        if (why.empty())
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

// The bytes as a file of their own, opened as a run opens a program.
deptest::names::BinaryFile asFile(const std::uint8_t* data, std::size_t size, std::string& why)
{
    static const int file = ::memfd_create("fuzz-pe", MFD_CLOEXEC);
    if (file < 0 || ::ftruncate(file, 0) != 0 || ::pwrite(file, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    return deptest::names::BinaryFile::open("/proc/self/fd/" + std::to_string(file), why);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string why;
    const auto fromMemory = deptest::names::readPe(std::span(data, size), why);
    check(fromMemory, why, size);
    std::string fileWhy;
    const deptest::names::BinaryFile file = asFile(data, size, fileWhy);
    if (!file.isOpen()) {
        if (size > 0)
            std::abort(); // any bytes make a readable file
        return 0;
    }
    const auto fromFile = deptest::names::readPe(deptest::names::ByteSource(file), fileWhy);
    check(fromFile, fileWhy, size);
    // Both ways read the same bytes through the same reader: they agree.
    if (fromMemory.has_value() != fromFile.has_value() || why != fileWhy
        || (fromMemory
            && (fromMemory->imports != fromFile->imports || fromMemory->delayImports != fromFile->delayImports)))
        std::abort();
    return 0;
}
