#include "names/ElfObject.h"

#include "names/Refusal.h"

#include <algorithm>
#include <cstring>
#include <gelf.h>
#include <libelf.h>

namespace deptest::names {

namespace {

// Ends the libelf descriptor however reading ends.
struct ElfHandle {
    Elf* elf;
    ~ElfHandle() { elf_end(elf); }
};

// Bounds on what is read of one program, whatever its headers claim (a
// sparse file can claim gigabytes): programs have a few program headers
// (core files may have more than 65535), the kernel loads no interpreter
// whose path is longer than PATH_MAX, real dynamic sections hold a few
// hundred bytes, and a name or search path is read up to its end and no
// further.
constexpr std::size_t mostProgramHeaders = 65535;
constexpr GElf_Xword longestInterpreter = 4096;
constexpr GElf_Xword largestDynamicSection = GElf_Xword { 1 } << 20;
constexpr GElf_Xword longestString = GElf_Xword { 64 } * 1024;

struct Load {
    GElf_Addr address;
    GElf_Off offset;
    GElf_Xword size;
};

// A NUL-ended string at an offset into a table; empty when it runs off.
std::optional<std::string> stringAt(std::span<const char> table, GElf_Xword offset)
{
    if (offset >= table.size())
        return std::nullopt;
    const auto rest = table.subspan(offset);
    const auto end = std::find(rest.begin(), rest.end(), '\0');
    if (end == rest.end())
        return std::nullopt;
    return std::string(rest.begin(), end);
}

Outcome libelfReady()
{
    static const bool initialised = elf_version(EV_CURRENT) != EV_NONE;
    if (!initialised)
        return refusal("libelf cannot be used");
    return {};
}

// The segments the rest is found through.
struct Segments {
    std::vector<Load> loads;
    std::optional<GElf_Phdr> dynamic;
};

// What the dynamic section names: offsets into its string table.
struct DynamicEntries {
    std::vector<GElf_Xword> needed;
    std::optional<GElf_Xword> rpath;
    std::optional<GElf_Xword> runpath;
    std::optional<GElf_Xword> soname;
    GElf_Addr stringsAddress { 0 };
    GElf_Xword stringsSize { 0 };
    [[nodiscard]] bool namesNothing() const { return needed.empty() && !rpath && !runpath && !soname; }
};

// The file header of an executable or a shared library.
Result<GElf_Ehdr> readHeader(const ElfHandle& handle)
{
    if (handle.elf == nullptr || elf_kind(handle.elf) != ELF_K_ELF)
        return refusal("is not an ELF file");
    GElf_Ehdr header;
    if (gelf_getehdr(handle.elf, &header) == nullptr)
        return refusal("has a truncated or malformed ELF header");
    if (header.e_type != ET_EXEC && header.e_type != ET_DYN)
        return refusal("is an ELF file but neither an executable nor a shared library");
    return header;
}

// The number of program headers, all of them within the file. libelf
// quietly shortens a table that runs past the end of the file: such a file
// is broken, not an executable without a dynamic section.
Result<std::size_t> programHeaderCount(const ElfHandle& handle, const GElf_Ehdr& header, std::uint64_t fileSize)
{
    std::size_t count = 0;
    const std::size_t headerSize = gelf_fsize(handle.elf, ELF_T_PHDR, 1, EV_CURRENT);
    const bool counted = elf_getphdrnum(handle.elf, &count) == 0;
    if (header.e_phnum != PN_XNUM)
        count = header.e_phnum;
    if (!counted || (count > 0 && header.e_phentsize != headerSize) || count > mostProgramHeaders
        || header.e_phoff > fileSize || (fileSize - header.e_phoff) / std::max<std::size_t>(headerSize, 1) < count)
        return refusal("has a malformed program header table");
    return count;
}

Result<std::string> readInterpreter(const ElfHandle& handle, const GElf_Phdr& segment)
{
    if (segment.p_filesz > longestInterpreter)
        return refusal("has a program interpreter longer than any path the loader takes");
    Elf_Data* data
        = elf_getdata_rawchunk(handle.elf, static_cast<int64_t>(segment.p_offset), segment.p_filesz, ELF_T_BYTE);
    auto text = data == nullptr ? std::nullopt : stringAt({ static_cast<const char*>(data->d_buf), data->d_size }, 0);
    if (!text || text->empty())
        return refusal("has a program interpreter outside the file");
    return std::move(*text);
}

// The loaded segments and the dynamic one; the interpreter into `object`.
Result<Segments> readSegments(
    const ElfHandle& handle, const GElf_Ehdr& header, std::uint64_t fileSize, ElfObject& object)
{
    const Result<std::size_t> count = programHeaderCount(handle, header, fileSize);
    if (!count)
        return count.error();
    Segments segments;
    for (std::size_t i = 0; i < *count; ++i) {
        GElf_Phdr segment;
        if (gelf_getphdr(handle.elf, static_cast<int>(i), &segment) == nullptr)
            return refusal("has a program header outside the file");
        if (segment.p_type == PT_LOAD) {
            segments.loads.push_back({ segment.p_vaddr, segment.p_offset, segment.p_filesz });
        } else if (segment.p_type == PT_DYNAMIC) {
            segments.dynamic = segment;
        } else if (segment.p_type == PT_INTERP) {
            Result<std::string> interpreter = readInterpreter(handle, segment);
            if (!interpreter)
                return interpreter.error();
            object.interpreter = std::move(*interpreter);
        }
    }
    return segments;
}

// The entries of the dynamic section up to its end; whether the loader
// skips its default directories into `object`.
Result<DynamicEntries> readDynamic(const ElfHandle& handle, const GElf_Phdr& dynamic, ElfObject& object)
{
    Elf_Data* table = elf_getdata_rawchunk(handle.elf, static_cast<int64_t>(dynamic.p_offset),
        std::min(dynamic.p_filesz, largestDynamicSection), ELF_T_DYN);
    if (table == nullptr)
        return refusal("has a dynamic section outside the file");
    const std::size_t entrySize = gelf_fsize(handle.elf, ELF_T_DYN, 1, EV_CURRENT);
    const std::size_t count = entrySize == 0 ? 0 : table->d_size / entrySize;
    DynamicEntries entries;
    bool ended = false;
    for (std::size_t i = 0; i < count; ++i) {
        GElf_Dyn entry;
        ended = gelf_getdyn(table, static_cast<int>(i), &entry) == nullptr || entry.d_tag == DT_NULL;
        if (ended)
            break;
        switch (entry.d_tag) {
        case DT_NEEDED: entries.needed.push_back(entry.d_un.d_val); break;
        case DT_RPATH: entries.rpath = entry.d_un.d_val; break;
        case DT_RUNPATH: entries.runpath = entry.d_un.d_val; break;
        case DT_SONAME: entries.soname = entry.d_un.d_val; break;
        case DT_STRTAB: entries.stringsAddress = entry.d_un.d_ptr; break;
        case DT_STRSZ: entries.stringsSize = entry.d_un.d_val; break;
        case DT_FLAGS_1: object.noDefaultLibraries = (entry.d_un.d_val & DF_1_NODEFLIB) != 0; break;
        default: break;
        }
    }
    if (!ended && dynamic.p_filesz > largestDynamicSection)
        return refusal("has a dynamic section without an end in its first megabyte");
    return entries;
}

// The dynamic string table, found in the file through the loaded segment
// that holds its address; each string is read on its own, up to its end,
// since a table may be large.
class StringTable {
public:
    StringTable(const ElfHandle& handle, GElf_Off offset, GElf_Xword size)
        : m_handle(handle)
        , m_offset(offset)
        , m_size(size)
    {
    }

    static Result<StringTable> locate(
        const ElfHandle& handle, const std::vector<Load>& loads, const DynamicEntries& entries)
    {
        const GElf_Addr address = entries.stringsAddress;
        const auto segment = std::find_if(loads.begin(), loads.end(),
            [&](const Load& load) { return address >= load.address && address - load.address < load.size; });
        if (segment == loads.end())
            return refusal("has a string table outside its loaded segments");
        return StringTable(handle, segment->offset + (address - segment->address),
            std::min(entries.stringsSize, segment->size - (address - segment->address)));
    }

    // The string at `offset` into `into`.
    Outcome take(GElf_Xword offset, std::string& into) const
    {
        if (offset >= m_size)
            return refusal("names a string outside its string table");
        const GElf_Xword window = std::min(m_size - offset, longestString);
        Elf_Data* bytes
            = elf_getdata_rawchunk(m_handle.elf, static_cast<int64_t>(m_offset + offset), window, ELF_T_BYTE);
        if (bytes == nullptr)
            return refusal("has a string table outside the file");
        auto value = stringAt({ static_cast<const char*>(bytes->d_buf), bytes->d_size }, 0);
        if (!value) {
            return refusal(window == longestString ? "names a string longer than 64 KiB"
                                                   : "names a string outside its string table");
        }
        into = std::move(*value);
        return {};
    }

private:
    const ElfHandle& m_handle;
    GElf_Off m_offset;
    GElf_Xword m_size;
};

Outcome readNames(const StringTable& strings, const DynamicEntries& entries, ElfObject& object)
{
    for (const GElf_Xword offset : entries.needed) {
        if (Outcome failure = strings.take(offset, object.needed.emplace_back()))
            return failure;
    }
    if (entries.rpath) {
        if (Outcome failure = strings.take(*entries.rpath, object.rpath.emplace()))
            return failure;
    }
    // The loader ignores the older search path when the newer one is there.
    if (entries.runpath) {
        object.rpath.reset();
        if (Outcome failure = strings.take(*entries.runpath, object.runpath.emplace()))
            return failure;
    }
    return entries.soname ? strings.take(*entries.soname, object.soname) : Outcome {};
}

// Reads the object through libelf's descriptor of it; `fileSize` is the
// size of the file it reads.
Result<ElfObject> readElf(const ElfHandle& handle, std::uint64_t fileSize)
{
    const Result<GElf_Ehdr> header = readHeader(handle);
    if (!header)
        return header.error();
    ElfObject object;
    object.elfClass = header->e_ident[EI_CLASS];
    object.byteOrder = header->e_ident[EI_DATA];
    object.machine = header->e_machine;
    const Result<Segments> segments = readSegments(handle, *header, fileSize, object);
    if (!segments)
        return segments.error();
    if (!segments->dynamic)
        return object; // linked statically: it needs nothing
    const Result<DynamicEntries> entries = readDynamic(handle, *segments->dynamic, object);
    if (!entries)
        return entries.error();
    if (entries->namesNothing())
        return object;
    const Result<StringTable> strings = StringTable::locate(handle, segments->loads, *entries);
    if (!strings)
        return strings.error();
    if (Outcome failure = readNames(*strings, *entries, object))
        return *failure;
    return object;
}

} // namespace

Result<ElfObject> readElf(std::span<unsigned char> bytes)
{
    if (Outcome failure = libelfReady())
        return *failure;
    const ElfHandle handle { elf_memory(reinterpret_cast<char*>(bytes.data()), bytes.size()) };
    return readElf(handle, bytes.size());
}

Result<ElfObject> readElf(const BinaryFile& file)
{
    if (Outcome failure = libelfReady())
        return *failure;
    // Read, not mapped: libelf reads each table with pread when it is
    // asked for, and a table the file no longer holds is an error.
    const ElfHandle handle { elf_begin(static_cast<int>(file.handle()), ELF_C_READ, nullptr) };
    return readElf(handle, file.size());
}

} // namespace deptest::names
