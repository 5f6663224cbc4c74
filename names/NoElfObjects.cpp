#include "names/ElfObject.h"

#include "names/Refusal.h"

namespace deptest::names {

// Where libelf is absent (Windows), programs of the ELF loader are not
// read: their loader is not on this system either, so nothing here could
// say where their libraries would be found.

namespace {

Error notReadHere() { return refusal("is an ELF program, which this system does not read"); }

} // namespace

Result<ElfObject> readElf(std::span<unsigned char> /*bytes*/) { return notReadHere(); }

Result<ElfObject> readElf(const BinaryFile& /*file*/) { return notReadHere(); }

} // namespace deptest::names
