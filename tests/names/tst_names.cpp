#include "generate/ReferenceGeneration.h"
#include "names/ByteSource.h"
#include "names/DependencyWalker.h"
#include "names/LoaderCache.h"
#include "names/NameList.h"
#include "names/NameListCommand.h"
#include "records/DataFiles.h"
#include "services/Files.h"
#include "system/FolderLock.h"
#include "tests/names/TestBinaries.h"
#include "tests/support/Machine.h"
#include "tests/support/Requirement.h"
#include "tests/support/TestRuntime.h"
#include "verify/TestRun.h"

#include <QTemporaryDir>
#include <QTest>

#include <elf.h>
#include <filesystem>
#include <span>
#include <sys/stat.h>
#include <type_traits>

using namespace deptest;
using namespace deptest::names;
using deptest::test::ElfRecipe;
using deptest::test::Machine;
using deptest::test::makeElf;
using deptest::test::makePe;
using deptest::test::PeRecipe;
using deptest::test::put;
using deptest::test::writeBinary;

Q_DECLARE_METATYPE(std::string)

namespace {

Result<ElfObject> elfOf(std::string bytes)
{
    return readElf(std::span(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()));
}

Result<PeObject> peOf(const std::string& bytes)
{
    return readPe(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

// The same bytes read from a file, as a run reads programs.
template <typename Object> Result<Object> fromFile(const std::string& bytes)
{
    QTemporaryDir scratch;
    const std::string path = scratch.path().toStdString() + "/program";
    writeBinary(path, bytes);
    const Result<BinaryFile> file = BinaryFile::open(path);
    if (!file)
        return file.error();
    if constexpr (std::is_same_v<Object, ElfObject>)
        return readElf(*file);
    else
        return readPe(ByteSource(*file));
}

// Why a read failed, for a test's message; empty when it did not.
template <typename T> std::string whyNot(const Result<T>& read)
{
    return read ? std::string() : read.error().description;
}

// Loader options that look only in the given directories: no cache, no
// directories of this machine.
LoaderOptions isolated(std::vector<std::string> defaults = {})
{
    LoaderOptions options;
    options.cachePath = "/nonexistent/ld.so.cache";
    options.defaultDirectories = std::move(defaults);
    options.lib = "lib64";
    options.platform = "x86_64";
    return options;
}

// What a walk found, as "name=path" with the root cut off the paths
// ("name=" when not found), in the walk's order.
QStringList found(const ProgramDependencies& walk, const std::string& root)
{
    QStringList result;
    for (const Dependency& dependency : walk.dependencies) {
        std::string path = dependency.path;
        if (path.starts_with(root))
            path.erase(0, root.size());
        result << QString::fromStdString(dependency.name + "=" + path);
    }
    return result;
}

QStringList problems(const std::vector<FileProblem>& list, const std::string& root)
{
    QStringList result;
    for (const FileProblem& problem : list) {
        result << QString::fromStdString(problem.file + ": " + problem.why).replace(QString::fromStdString(root), "");
    }
    return result;
}

QStringList toList(const std::vector<std::string>& names)
{
    QStringList result;
    for (const std::string& name : names)
        result << QString::fromStdString(name);
    return result;
}

} // namespace

class tst_Names : public QObject {
    Q_OBJECT

private slots:
    void readsWhatTheLoaderReads();
    void loaderCacheIsReadBoundsChecked_data();
    void loaderCacheIsReadBoundsChecked();
    void malformedElfIsRefused_data();
    void malformedElfIsRefused();
    void malformedPeIsRefused_data();
    void malformedPeIsRefused();
    void programCutShortWhileReadIsRefused_data();
    void programCutShortWhileReadIsRefused();
    void filesThatAreNoProgramsAreRefused_data();
    void filesThatAreNoProgramsAreRefused();
    void hugeFileIsReadByItsHeaders();
    void elfSearchFollowsTheLoader_data();
    void elfSearchFollowsTheLoader();
    void loaderCacheAndInterpreter();
    void peSearchFollowsTheLoader();
    void listNamesAsTheSearchFindsThem();
    void listThenGenerationThenTestMatchesEverything();
    void droppedProgramsReplaceTheListOnlyWhenAllowed();
};

void tst_Names::readsWhatTheLoaderReads()
{
    const auto elf = elfOf(makeElf({ .needed = { "liba.so.1", "libb.so.2" },
        .soname = "libme.so.1",
        .rpath = "/old",
        .runpath = "$ORIGIN/lib",
        .interpreter = "/lib64/ld-linux-x86-64.so.2" }));
    QVERIFY2(elf, whyNot(elf).c_str());
    QCOMPARE(elf->needed, (std::vector<std::string> { "liba.so.1", "libb.so.2" }));
    QCOMPARE(elf->soname, std::string("libme.so.1"));
    QCOMPARE(elf->runpath, std::optional<std::string>("$ORIGIN/lib"));
    QVERIFY(!elf->rpath); // the loader ignores it beside the newer one
    QCOMPARE(elf->interpreter, std::string("/lib64/ld-linux-x86-64.so.2"));
    QCOMPARE(elf->machine, std::uint16_t { EM_X86_64 });

    const auto pe = peOf(makePe({ { "KERNEL32.dll", "user32.dll" }, { "Delayed.dll" } }));
    QVERIFY2(pe, whyNot(pe).c_str());
    QCOMPARE(pe->imports, (std::vector<std::string> { "KERNEL32.dll", "user32.dll" }));
    QCOMPARE(pe->delayImports, std::vector<std::string> { "Delayed.dll" });
    QCOMPARE(pe->machine, std::uint16_t { 0x8664 });

    // An old delay-import table names its DLL by address in the loaded image.
    std::string old = makePe({ {}, { "Old.dll" } });
    const std::size_t descriptor = test::peSectionData + 20; // after the empty import table
    std::uint32_t nameAddress = 0;
    for (unsigned i = 0; i < 4; ++i)
        nameAddress |= static_cast<std::uint32_t>(static_cast<unsigned char>(old[descriptor + 4 + i])) << (8 * i);
    put(old, test::peHeaderOffset + 24 + 24, 0x10000000, 8); // an image base addresses fit in
    put(old, descriptor, 0, 4);
    put(old, descriptor + 4, 0x10000000 + nameAddress, 4);
    const auto oldPe = peOf(old);
    QVERIFY2(oldPe, whyNot(oldPe).c_str());
    QCOMPARE(oldPe->delayImports, std::vector<std::string> { "Old.dll" });
}

void tst_Names::loaderCacheIsReadBoundsChecked_data()
{
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<QString>("found"); // libfoo.so.1 for x86-64, or the reason the cache is refused
    // The cache's header and entries: flags, name, path, hardware bits.
    struct Entry {
        std::int32_t flags;
        std::string name;
        std::string path;
        std::uint64_t hardware;
    };
    const auto cache = [](const std::vector<Entry>& entries, std::uint32_t count) {
        std::string bytes = "glibc-ld.so.cache1.1";
        bytes.resize(48 + entries.size() * 24);
        put(bytes, 20, count, 4);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::size_t at = 48 + i * 24;
            put(bytes, at, static_cast<std::uint32_t>(entries[i].flags), 4);
            put(bytes, at + 4, bytes.size(), 4);
            bytes += entries[i].name + '\0';
            put(bytes, at + 8, bytes.size(), 4);
            bytes += entries[i].path + '\0';
            put(bytes, at + 16, entries[i].hardware, 8);
        }
        return bytes;
    };
    QTest::newRow("plain entry") << cache({ { 0x0303, "libfoo.so.1", "/lib/libfoo.so.1", 0 } }, 1)
                                 << "/lib/libfoo.so.1";
    QTest::newRow("optimised entry passed over") << cache(
        { { 0x0303, "libfoo.so.1", "/lib/glibc-hwcaps/x86-64-v3/libfoo.so.1", 1ULL << 62 },
            { 0x0303, "libfoo.so.1", "/lib/libfoo.so.1", 0 } },
        2) << "/lib/libfoo.so.1";
    QTest::newRow("32-bit entry passed over") << cache({ { 0x0003, "libfoo.so.1", "/lib32/libfoo.so.1", 0 } }, 1) << "";
    QTest::newRow("more entries than the file holds")
        << cache({ { 0x0303, "libfoo.so.1", "/lib/libfoo.so.1", 0 } }, 100000) << "entries outside the file";
    std::string nameOutside = cache({ { 0x0303, "libfoo.so.1", "/lib/libfoo.so.1", 0 } }, 1);
    put(nameOutside, 48 + 4, 0x7fffffff, 4);
    QTest::newRow("name outside the file") << nameOutside << "name outside the file";
    QTest::newRow("old format alone") << std::string("ld.so-1.7.0") + std::string(8, '\0') << "not in a format";
    QTest::newRow("truncated old header") << std::string("ld.so-1.7.0") << "truncated";
    QTest::newRow("truncated header") << std::string("glibc-ld.so.cache1.1") + "xx"
                                      << "not in a format";
}

void tst_Names::loaderCacheIsReadBoundsChecked()
{
    QFETCH(std::string, bytes);
    QFETCH(QString, found);
    const auto cache = LoaderCache::read(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    const std::string why = whyNot(cache);
    if (!found.isEmpty() && !found.startsWith('/')) {
        QVERIFY(!cache);
        QVERIFY2(QString::fromStdString(why).contains(found), why.c_str());
        return;
    }
    QVERIFY2(cache, why.c_str());
    QCOMPARE(QString::fromStdString(cache->find("libfoo.so.1", ELFCLASS64, EM_X86_64).value_or("")), found);
}

void tst_Names::malformedElfIsRefused_data()
{
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<QString>("why");
    test::ElfLayout layout {};
    const std::string good = makeElf({ .needed = { "liba.so" }, .soname = "libme.so" }, &layout);
    QTest::newRow("only the magic") << good.substr(0, 4) << "ELF";
    QTest::newRow("truncated header") << good.substr(0, 40) << "ELF";
    QTest::newRow("truncated program headers") << good.substr(0, 100) << "program header";
    QTest::newRow("truncated dynamic section") << good.substr(0, layout.dynamic + 8) << "outside the file";
    std::string dynamicOutside = good;
    put(dynamicOutside, layout.programHeaders + 56 + 8, 0x7fffffff0000, 8);
    QTest::newRow("dynamic section outside the file") << dynamicOutside << "dynamic section outside the file";
    std::string hugeCount = good;
    put(hugeCount, 56, 0xffff, 2);
    QTest::newRow("more program headers than the file holds") << hugeCount << "program header";
    std::string nameOutside = good;
    put(nameOutside, layout.dynamic + 8, 0x10000, 8); // DT_NEEDED's offset
    QTest::newRow("name outside the string table") << nameOutside << "outside its string table";
    std::string tableUnloaded = good;
    put(tableUnloaded, layout.dynamic + 2 * 16 + 8, 0x900000, 8); // DT_STRTAB
    QTest::newRow("string table outside the loaded segments") << tableUnloaded << "outside its loaded segments";
    std::string unended = good;
    put(unended, layout.dynamic + 3 * 16 + 8, 3, 8); // DT_STRSZ cuts "liba.so"
    QTest::newRow("name without its end") << unended << "outside its string table";
    std::string relocatable = good;
    put(relocatable, 16, ET_REL, 2);
    QTest::newRow("object file") << relocatable << "neither an executable nor a shared library";

    // Tables that claim more than any program has are refused before they
    // are read, however large the file that holds them.
    test::ElfLayout withInterpreter {};
    std::string longInterpreter
        = makeElf({ .needed = { "liba.so" }, .interpreter = "/lib/ld.so" }, &withInterpreter) + std::string(8192, 'x');
    put(longInterpreter, withInterpreter.programHeaders + 2 * 56 + 32, 5000, 8); // PT_INTERP's p_filesz
    QTest::newRow("interpreter longer than a path") << longInterpreter << "longer than any path";
    const std::size_t megabyte = 1 << 20;
    std::string endless = good.substr(0, layout.dynamic);
    for (std::size_t i = 0; i < 2 * megabyte / 16; ++i) {
        endless.append(16, '\0');
        put(endless, endless.size() - 16, DT_DEBUG, 8);
    }
    put(endless, layout.programHeaders + 56 + 32, 2 * megabyte, 8); // PT_DYNAMIC's p_filesz
    QTest::newRow("dynamic section without an end") << endless << "without an end in its first megabyte";
    std::string manyHeaders = good + std::string(70'000 * 56, '\0');
    const std::size_t sectionHeader = manyHeaders.size();
    manyHeaders.append(64, '\0');
    put(manyHeaders, 40, sectionHeader, 8); // e_shoff
    put(manyHeaders, 56, PN_XNUM, 2); // the count is in the first section header
    put(manyHeaders, 58, 64, 2); // e_shentsize
    put(manyHeaders, 60, 1, 2); // e_shnum
    put(manyHeaders, sectionHeader + 44, 70'000, 4); // sh_info
    QTest::newRow("more program headers than a program has") << manyHeaders << "program header";
}

void tst_Names::malformedElfIsRefused()
{
    QFETCH(std::string, bytes);
    QFETCH(QString, why);
    const auto fromMemory = elfOf(bytes);
    QVERIFY(!fromMemory);
    const std::string reason = whyNot(fromMemory);
    QVERIFY2(QString::fromStdString(reason).contains(why), reason.c_str());
    const auto read = fromFile<ElfObject>(bytes);
    QVERIFY(!read);
    const std::string fromDisk = whyNot(read);
    QVERIFY2(QString::fromStdString(fromDisk).contains(why), fromDisk.c_str());
}

void tst_Names::malformedPeIsRefused_data()
{
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<QString>("why");
    const std::string good = makePe({ { "KERNEL32.dll" }, { "delayed.dll" } });
    QTest::newRow("only MZ") << good.substr(0, 2) << "truncated DOS header";
    std::string dosOnly = good;
    put(dosOnly, 0x3c, 0x7ffffff0, 4);
    QTest::newRow("PE header outside the file") << dosOnly << "without a PE header";
    QTest::newRow("truncated PE header") << good.substr(0, test::peHeaderOffset + 10) << "truncated PE header";
    QTest::newRow("truncated optional header") << good.substr(0, test::peHeaderOffset + 60) << "optional header";
    QTest::newRow("truncated section table") << good.substr(0, test::peSectionTable + 20) << "section table";
    std::string importsOutside = good;
    put(importsOutside, test::peImportDirectory, 0x7ff00000, 4);
    QTest::newRow("import table outside the image") << importsOutside << "import table outside the file";
    std::string nameOutside = good;
    put(nameOutside, test::peSectionData + 12, 0x7ff00000, 4);
    QTest::newRow("import name outside the image") << nameOutside << "import name outside the file";
    std::string rawOutside = good;
    put(rawOutside, test::peSectionTable + 20, 0x7ff00000, 4);
    QTest::newRow("section data outside the file") << rawOutside << "outside the file";
    QTest::newRow("section data cut short") << good.substr(0, test::peSectionData + 30) << "outside the file";
    std::string unknownMagic = good;
    put(unknownMagic, test::peHeaderOffset + 24, 0x107, 2);
    QTest::newRow("unknown optional header") << unknownMagic << "unknown kind";
}

void tst_Names::malformedPeIsRefused()
{
    QFETCH(std::string, bytes);
    QFETCH(QString, why);
    const auto fromMemory = peOf(bytes);
    QVERIFY(!fromMemory);
    const std::string reason = whyNot(fromMemory);
    QVERIFY2(QString::fromStdString(reason).contains(why), reason.c_str());
    const auto read = fromFile<PeObject>(bytes);
    QVERIFY(!read);
    const std::string fromDisk = whyNot(read);
    QVERIFY2(QString::fromStdString(fromDisk).contains(why), fromDisk.c_str());
}

void tst_Names::programCutShortWhileReadIsRefused_data()
{
    QTest::addColumn<bool>("elf");
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<qint64>("cutTo");
    QTest::addColumn<QString>("why");
    test::ElfLayout layout {};
    const std::string elf = makeElf({ .needed = { "liba.so" }, .soname = "libme.so" }, &layout);
    const std::string pe = makePe({ { "KERNEL32.dll" }, { "delayed.dll" } });
    // Emptied: a mapping of the file would fault on its first byte.
    QTest::newRow("ELF emptied") << true << elf << qint64 { 0 } << "ELF";
    QTest::newRow("ELF cut in its dynamic section")
        << true << elf << qint64(layout.dynamic + 8) << "dynamic section outside the file";
    QTest::newRow("PE emptied") << false << pe << qint64 { 0 } << "not a PE file";
    QTest::newRow("PE cut in its section data")
        << false << pe << qint64(test::peSectionData + 30) << "outside the file";
}

void tst_Names::programCutShortWhileReadIsRefused()
{
    // A copy written over a program in place (cp onto it) empties it, then
    // fills it again: a run that reads it meanwhile must say so, not fault.
    QFETCH(bool, elf);
    QFETCH(std::string, bytes);
    QFETCH(qint64, cutTo);
    QFETCH(QString, why);
    QTemporaryDir scratch;
    const std::string path = scratch.path().toStdString() + "/program";
    writeBinary(path, bytes);
    const Result<BinaryFile> file = BinaryFile::open(path);
    QVERIFY2(file, whyNot(file).c_str());
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(cutTo));
    QCOMPARE(formatOf(ByteSource(*file)).has_value(), cutTo >= 4); // an emptied file has no kind
    const std::string reason = elf ? whyNot(readElf(*file)) : whyNot(readPe(ByteSource(*file)));
    QVERIFY(!reason.empty());
    QVERIFY2(QString::fromStdString(reason).contains(why), reason.c_str());
}

void tst_Names::filesThatAreNoProgramsAreRefused_data()
{
    QTest::addColumn<std::string>("name");
    QTest::addColumn<std::string>("bytes");
    QTest::addColumn<QString>("why");
    QTest::newRow("empty file") << std::string("empty") << std::string() << "is empty";
    QTest::newRow("directory") << std::string("directory") << std::string() << "is a directory";
    QTest::newRow("text file") << std::string("notes.txt") << std::string("#!/bin/sh\necho hello\n")
                               << "neither an ELF nor a PE";
    QTest::newRow("missing file") << std::string("absent") << std::string() << "No such file";
    QTest::newRow("named pipe") << std::string("pipe") << std::string() << "not a regular file";
    QTest::newRow("truncated ELF") << std::string("cut.so") << makeElf({ .needed = { "x" } }).substr(0, 50) << "ELF";
    QTest::newRow("DOS program") << std::string("old.exe") << std::string("MZ") + std::string(100, '\0')
                                 << "without a PE header";
}

void tst_Names::filesThatAreNoProgramsAreRefused()
{
    QFETCH(std::string, name);
    QFETCH(std::string, bytes);
    QFETCH(QString, why);
    QTemporaryDir root;
    const std::string path = root.path().toStdString() + "/" + name;
    if (name == "directory")
        std::filesystem::create_directory(path);
    else if (name == "pipe")
        QCOMPARE(mkfifo(path.c_str(), 0600), 0);
    else if (name != "absent")
        writeBinary(path, bytes);
    DependencyWalker walker(isolated());
    const ProgramDependencies walk = walker.walk(path);
    QVERIFY(walk.dependencies.empty());
    QCOMPARE(walk.problems.size(), std::size_t { 1 });
    QCOMPARE(walk.problems[0].file, path);
    QVERIFY2(QString::fromStdString(walk.problems[0].why).contains(why), walk.problems[0].why.c_str());

    // The list then names none of it and says the file could not be read.
    const NameListResult list = collectNames({ path }, { { root.path().toStdString() }, isolated() });
    QVERIFY(list.names.empty());
    QCOMPARE(list.exitStatus(), 2);
}

void tst_Names::hugeFileIsReadByItsHeaders()
{
    // Five gigabytes, nearly all a hole: only the pages of the headers and
    // tables are read, so this takes no time and no memory.
    QTemporaryDir scratch;
    const std::string program = scratch.path().toStdString() + "/huge";
    writeBinary(program, makeElf({ .needed = { "libhuge.so" } }));
    std::error_code failure;
    std::filesystem::resize_file(program, 5ULL << 30, failure);
    if (failure)
        SKIP_UNLESS_REQUIRED("no sparse files here");
    DependencyWalker walker(isolated());
    const ProgramDependencies walk = walker.walk(program);
    QVERIFY(walk.problems.empty());
    QCOMPARE(found(walk, ""), QStringList { "libhuge.so=" });
}

void tst_Names::elfSearchFollowsTheLoader_data()
{
    // Each row lays out files (path relative to a scratch root, and what
    // the file needs and how it searches), then walks "app/prog".
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("libraryPath");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("expectedProblems");

    // file:needed,needed|rpath|runpath (rpath/runpath may name $ORIGIN, $LIB, $PLATFORM)
    QTest::newRow("runpath with $ORIGIN") << QStringList { "app/prog:liba.so||$ORIGIN/lib", "app/lib/liba.so:" }
                                          << false << QStringList { "liba.so=/app/lib/liba.so" } << QStringList {};
    QTest::newRow("rpath is inherited by the libraries it finds")
        << QStringList { "app/prog:liba.so|$ORIGIN/lib|", "app/lib/liba.so:libb.so", "app/lib/libb.so:" } << false
        << QStringList { "liba.so=/app/lib/liba.so", "libb.so=/app/lib/libb.so" } << QStringList {};
    QTest::newRow("runpath is not inherited")
        << QStringList { "app/prog:liba.so||$ORIGIN/lib", "app/lib/liba.so:libb.so", "app/lib/libb.so:" } << false
        << QStringList { "liba.so=/app/lib/liba.so", "libb.so=" } << QStringList {};
    QTest::newRow("a library's own runpath hides the rpath chain")
        << QStringList { "app/prog:liba.so|$ORIGIN/lib|", "app/lib/liba.so:libb.so||$ORIGIN/none", "app/lib/libb.so:" }
        << false << QStringList { "liba.so=/app/lib/liba.so", "libb.so=" } << QStringList {};
    QTest::newRow("$LIB and ${PLATFORM} expanded")
        << QStringList { "app/prog:liba.so,libb.so||$ORIGIN/$LIB:$ORIGIN/${PLATFORM}",
               "app/lib64/liba.so:", "app/x86_64/libb.so:" }
        << false << QStringList { "liba.so=/app/lib64/liba.so", "libb.so=/app/x86_64/libb.so" } << QStringList {};
    QTest::newRow("LD_LIBRARY_PATH only when asked, before runpath")
        << QStringList { "app/prog:liba.so||$ORIGIN/lib", "app/lib/liba.so:", "env/liba.so:" } << true
        << QStringList { "liba.so=/env/liba.so" } << QStringList {};
    QTest::newRow("LD_LIBRARY_PATH not asked")
        << QStringList { "app/prog:liba.so", "env/liba.so:" } << false << QStringList { "liba.so=" } << QStringList {};
    QTest::newRow("a cycle: each library once")
        << QStringList { "app/prog:liba.so||$ORIGIN", "app/liba.so:libb.so||$ORIGIN", "app/libb.so:liba.so||$ORIGIN" }
        << false << QStringList { "liba.so=/app/liba.so", "libb.so=/app/libb.so" } << QStringList {};
    QTest::newRow("a library of another machine is passed over")
        << QStringList { "app/prog:liba.so||$ORIGIN/arm:$ORIGIN/lib", "app/arm/liba.so:!arm", "app/lib/liba.so:" }
        << false << QStringList { "liba.so=/app/lib/liba.so" } << QStringList {};
    QTest::newRow("default directories last, unless the library forbids them")
        << QStringList { "app/prog:liba.so,libn.so||$ORIGIN", "app/liba.so:libd.so", "app/libn.so:libe.so|!nodeflib",
               "default/libd.so:", "default/libe.so:" }
        << false
        << QStringList { "liba.so=/app/liba.so", "libn.so=/app/libn.so", "libd.so=/default/libd.so", "libe.so=" }
        << QStringList {};
    QTest::newRow("the same file under two names is loaded once")
        << QStringList { "app/prog:liba.so,liba.so.1||$ORIGIN", "app/liba.so:", "app/liba.so.1>liba.so" } << false
        << QStringList { "liba.so=/app/liba.so" } << QStringList {};
    QTest::newRow("a soname already loaded is not looked for again")
        << QStringList { "app/prog:liba.so,libother.so||$ORIGIN", "app/liba.so:|soname=libx.so.1",
               "app/libother.so:libx.so.1" }
        << false << QStringList { "liba.so=/app/liba.so", "libother.so=/app/libother.so" } << QStringList {};
    QTest::newRow("a needed path is taken as it is")
        << QStringList { "app/prog:$ORIGIN/sub/liba.so", "app/sub/liba.so:" } << false
        << QStringList { "$ORIGIN/sub/liba.so=/app/sub/liba.so" } << QStringList {};
    QTest::newRow("a chain deeper than the limit")
        << QStringList { "app/prog:l1.so||$ORIGIN", "app/l1.so:l2.so||$ORIGIN", "app/l2.so:l3.so||$ORIGIN",
               "app/l3.so:l4.so||$ORIGIN", "app/l4.so:l5.so||$ORIGIN", "app/l5.so:" }
        << false << QStringList { "l1.so=/app/l1.so", "l2.so=/app/l2.so", "l3.so=/app/l3.so" }
        << QStringList { "/app/prog: needs libraries more than 3 levels deep" };
}

void tst_Names::elfSearchFollowsTheLoader()
{
    QFETCH(QStringList, files);
    QFETCH(bool, libraryPath);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, expectedProblems);
    QTemporaryDir scratch;
    const std::string root = scratch.path().toStdString();
    for (const QString& line : files) {
        if (line.contains('>')) { // a link to another file of the same directory
            const QStringList parts = line.split('>');
            std::filesystem::create_symlink(parts[1].toStdString(), root + "/" + parts[0].toStdString());
            continue;
        }
        const QStringList parts = line.section(':', 1).split('|');
        ElfRecipe recipe;
        for (const QString& name : parts[0].split(',', Qt::SkipEmptyParts)) {
            if (name == "!arm")
                recipe.machine = EM_AARCH64;
            else
                recipe.needed.push_back(name.toStdString());
        }
        if (parts.size() > 1 && parts[1] == "!nodeflib")
            recipe.noDefaultLibraries = true;
        else if (parts.size() > 1 && parts[1].startsWith("soname="))
            recipe.soname = parts[1].mid(7).toStdString();
        else if (parts.size() > 1)
            recipe.rpath = parts[1].toStdString();
        if (parts.size() > 2)
            recipe.runpath = parts[2].toStdString();
        writeBinary(root + "/" + line.section(':', 0, 0).toStdString(), makeElf(recipe));
    }
    LoaderOptions options = isolated({ root + "/default" });
    if (libraryPath)
        options.libraryPath = root + "/nothing:" + root + "/env";
    options.depthLimit = 3;
    DependencyWalker walker(options);
    const ProgramDependencies walk = walker.walk(root + "/app/prog");
    QCOMPARE(found(walk, root), expected);
    std::vector<FileProblem> reported = walk.problems;
    if (!walk.incomplete.empty())
        reported.push_back({ walk.program, walk.incomplete });
    QCOMPARE(problems(reported, root), expectedProblems);
}

void tst_Names::loaderCacheAndInterpreter()
{
    // This machine's own cache and C library: a program that needs it
    // finds it where the cache says, and lists its interpreter first.
    QTemporaryDir scratch;
    const std::string program = scratch.path().toStdString() + "/prog";
    writeBinary(program, makeElf({ .needed = { "libc.so.6" }, .interpreter = "/lib64/ld-linux-x86-64.so.2" }));
    LoaderOptions options = isolated();
    options.cachePath = "/etc/ld.so.cache";
    DependencyWalker walker(options);
    QCOMPARE(walker.cacheProblem(), std::string());
    const ProgramDependencies walk = walker.walk(program);
    QCOMPARE(walk.dependencies.size(), std::size_t { 2 });
    QCOMPARE(walk.dependencies[0].path, std::string("/lib64/ld-linux-x86-64.so.2"));
    QCOMPARE(walk.dependencies[1].name, std::string("libc.so.6"));
    QVERIFY2(walk.dependencies[1].path.ends_with("/libc.so.6"), walk.dependencies[1].path.c_str());
    QVERIFY(walk.problems.empty());

    // A broken cache is said to be broken and the search goes on without it.
    const std::string cache = scratch.path().toStdString() + "/ld.so.cache";
    writeBinary(cache, std::string("glibc-ld.so.cache1.1") + std::string("\xff\xff\xff\x0f", 4) + std::string(40, 'x'));
    options.cachePath = cache;
    DependencyWalker broken(options);
    QVERIFY(!broken.cacheProblem().empty());
    QCOMPARE(broken.walk(program).dependencies[1].path, std::string());
}

void tst_Names::peSearchFollowsTheLoader()
{
    QTemporaryDir scratch;
    const std::string root = scratch.path().toStdString();
    writeBinary(root + "/app/Prog.exe",
        makePe({ { "KERNEL32.dll", "api-ms-win-core-synch-l1-2-0.dll", "Local.DLL", "missing.dll" },
            { "delayed.dll", "EXT-MS-win-foo.dll" } }));
    writeBinary(root + "/app/local.dll", makePe({ { "cycle.dll", "kernel32.DLL" }, {} }));
    writeBinary(root + "/system/cycle.dll", makePe({ { "LOCAL.dll" }, {} }));
    writeBinary(root + "/system/kernel32.dll", makePe({ { "ntdll.dll" }, {} }));
    writeBinary(root + "/windows/ntdll.dll", makePe({}));
    writeBinary(root + "/windows/Delayed.dll", makePe({}));
    writeBinary(root + "/app/kernel32.dll.txt", "not looked at");
    LoaderOptions options = isolated();
    options.windowsDirectories = { root + "/system/", root + "/windows/" };
    DependencyWalker walker(options);
    const ProgramDependencies walk = walker.walk(root + "/app/Prog.exe");
    QCOMPARE(found(walk, root),
        (QStringList { "KERNEL32.dll=/system/kernel32.dll", "Local.DLL=/app/local.dll", "missing.dll=",
            "delayed.dll=/windows/Delayed.dll", "ntdll.dll=/windows/ntdll.dll", "cycle.dll=/system/cycle.dll" }));
    QVERIFY(walk.problems.empty());
    QCOMPARE(found({ .dependencies = walk.apiSets }, root),
        (QStringList { "api-ms-win-core-synch-l1-2-0.dll=", "EXT-MS-win-foo.dll=" }));

    // Windows' own search: KnownDLLs from the system directory before the
    // program's, and a 32-bit program's system directory of its own.
    writeBinary(root + "/app/known.dll", makePe({}));
    writeBinary(root + "/system/known.dll", makePe({}));
    writeBinary(root + "/wow/known.dll", makePe({}));
    writeBinary(root + "/wow/kernel32.dll", makePe({}));
    writeBinary(root + "/app/Prog64.exe", makePe({ { "known.dll", "kernel32.dll" } }));
    writeBinary(root + "/app/Prog32.exe", makePe({ { "known.dll", "kernel32.dll" }, {}, true }));
    options.knownDlls = { "KNOWN.DLL" };
    options.system32BitDirectory = root + "/wow/";
    DependencyWalker windows(options);
    QCOMPARE(found(windows.walk(root + "/app/Prog64.exe"), root),
        (QStringList {
            "known.dll=/system/known.dll", "kernel32.dll=/system/kernel32.dll", "ntdll.dll=/windows/ntdll.dll" }));
    QCOMPARE(found(windows.walk(root + "/app/Prog32.exe"), root),
        (QStringList { "known.dll=/wow/known.dll", "kernel32.dll=/wow/kernel32.dll" }));
}

void tst_Names::listNamesAsTheSearchFindsThem()
{
    Machine machine;
    const std::string system = machine.systemDirectory();
    const std::string windows = machine.windowsDirectory();
    const std::string application = machine.applicationDirectory();
    writeBinary(application + "/prog",
        makeElf({ .needed = { "libsys.so.1", "libsub.so", "libapp.so", "libnone.so", "libaway.so", "libshadow.so",
                      "libdeep.so", "odd\\name.so" },
            .runpath
            = application + ":" + system + ":" + system + "/sub:" + windows + "/deep:" + machine.root() + "/away" }));
    writeBinary(system + "/libsys.so.1.2", makeElf({}));
    std::filesystem::create_symlink("libsys.so.1.2", system + "/libsys.so.1");
    writeBinary(system + "/sub/libsub.so", makeElf({}));
    // In a subfolder of the windows directory that the system directory
    // lacks: the search goes on to the windows directory and finds it.
    writeBinary(windows + "/deep/libdeep.so", makeElf({}));
    writeBinary(application + "/libapp.so", makeElf({}));
    writeBinary(machine.root() + "/away/libaway.so", makeElf({}));
    // In the application directory, but the search finds another file of
    // its name in the system directory first.
    writeBinary(application + "/libshadow.so", makeElf({}));
    writeBinary(system + "/libshadow.so", makeElf({ .soname = "other" }));
    // A backslash in a name here would read as a folder in the list.
    writeBinary(application + "/odd\\name.so", makeElf({}));
    const std::string second = application + "/helper.so";
    writeBinary(second, makeElf({ .needed = { "libapp.so", "libsys.so.1" }, .runpath = "$ORIGIN:" + system }));

    const NameListOptions options { { system + "/", windows + "/", application + "/" }, isolated() };
    const NameListResult list = collectNames({ application + "/prog", second }, options);
    QCOMPARE(toList(list.names),
        (QStringList {
            "prog", "helper.so", "libsys.so.1", "sub\\libsub.so", "libapp.so", "libnone.so", "deep\\libdeep.so" }));
    QCOMPARE(list.unresolved.size(), std::size_t { 1 });
    QCOMPARE(list.unresolved[0].name, std::string("libnone.so"));
    QCOMPARE(problems(list.unlisted, machine.root()),
        (QStringList { "/away/libaway.so: lies outside the directories the test searches",
            "/app/libshadow.so: is hidden from the test by another file of its name: /system/libshadow.so",
            "/app/odd\\name.so: has a character in its name that the list cannot hold" }));
    QVERIFY(list.fileErrors.empty());
    QCOMPARE(list.exitStatus(), 1);
    QCOMPARE(list.messages().size(), std::size_t { 4 });
    QCOMPARE(list.messages()[0], "libnone.so: not found, needed by " + application + "/prog");
}

void tst_Names::listThenGenerationThenTestMatchesEverything()
{
    // The list written for a program, then the reference list made from
    // it, then a test run on the same machine: every file matches.
    Machine machine;
    const std::string system = machine.systemDirectory();
    const std::string windows = machine.windowsDirectory();
    const std::string application = machine.applicationDirectory();
    writeBinary(application + "/prog",
        makeElf({ .needed = { "liba.so", "libb.so" }, .rpath = "$ORIGIN/plugins:" + system + ":" + windows }));
    writeBinary(system + "/liba.so", makeElf({ .needed = { "libc2.so" } }));
    writeBinary(windows + "/libb.so", makeElf({ .needed = { "liba.so", "libd.so" }, .runpath = "$ORIGIN/deep" }));
    // Subfolders the search reaches: each earlier directory has the folder.
    writeBinary(windows + "/deep/libd.so", makeElf({}));
    std::filesystem::create_directories(system + "/deep");
    writeBinary(application + "/plugins/libc2.so", makeElf({}));
    std::filesystem::create_directories(system + "/plugins");
    std::filesystem::create_directories(windows + "/plugins");
    Machine::writeText(machine.dataFile("dlls.txt"), "\"old list\"\r\n");

    test::TestRuntime runtime(machine);
    auto output = runtime.openForReplacing(dataFilePath(runtime.applicationDirectory(), dataFile::nameList));
    QVERIFY(output);
    const NameListOptions options { { system + "/", windows + "/", application + "/" }, isolated() };
    NameListResult list = collectNames({ application + "/prog" }, options);
    list.writeFailure = writeNames(list, **output);
    QCOMPARE(list.exitStatus(), 0);
    QCOMPARE(Machine::readText(machine.dataFile("dlls.txt")),
        std::string("\"prog\"\r\n\"liba.so\"\r\n\"libb.so\"\r\n\"plugins\\libc2.so\"\r\n\"deep\\libd.so\"\r\n"));

    generateReference(runtime);
    test::FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(QString::fromStdString(Machine::readText(machine.dataFile("dllerr.txt"))), QString());
    QCOMPARE(window.matching.size(), std::size_t { 5 });
    QVERIFY(window.missing.empty());
    QVERIFY(runtime.messages.empty());
}

void tst_Names::droppedProgramsReplaceTheListOnlyWhenAllowed()
{
    Machine machine;
    const std::string application = machine.applicationDirectory();
    writeBinary(application + "/prog", makeElf({ .needed = { "liba.so", "libgone.so" }, .runpath = "$ORIGIN" }));
    writeBinary(application + "/liba.so", makeElf({}));
    Machine::writeText(machine.dataFile("dlls.txt"), "\"old list\"\r\n");
    test::TestRuntime runtime(machine);

    names::offerNameList(runtime, { application + "/prog" });
    QCOMPARE(runtime.questions,
        std::vector<std::string> { "Write the names of the 3 files these programs need to dlls.txt?" });
    QCOMPARE(Machine::readText(machine.dataFile("dlls.txt")), std::string("\"old list\"\r\n"));
    QVERIFY(runtime.messages.empty());

    runtime.answer = true;
    names::offerNameList(runtime, { application + "/prog" });
    QCOMPARE(
        Machine::readText(machine.dataFile("dlls.txt")), std::string("\"prog\"\r\n\"liba.so\"\r\n\"libgone.so\"\r\n"));
    QCOMPARE(
        runtime.messages, std::vector<std::string> { "libgone.so: not found, needed by " + application + "/prog\n" });

    // Not while another run has the lists: the message says why.
    {
        const FolderLock::Attempt otherRun = FolderLock::tryTake(application);
        QVERIFY(otherRun.lock);
        runtime.messages.clear();
        Machine::writeText(machine.dataFile("dlls.txt"), "\"old list\"\r\n");
        names::offerNameList(runtime, { application + "/prog" });
        QCOMPARE(Machine::readText(machine.dataFile("dlls.txt")), std::string("\"old list\"\r\n"));
        QCOMPARE(runtime.messages.size(), std::size_t { 1 });
        QVERIFY2(runtime.messages.front().find("are in use by another run of deptest") != std::string::npos,
            runtime.messages.front().c_str());
    }

    // Nothing readable: no question, only why.
    runtime.questions.clear();
    runtime.messages.clear();
    Machine::writeText(application + "/notes.txt", "text");
    names::offerNameList(runtime, { application + "/notes.txt" });
    QVERIFY(runtime.questions.empty());
    QCOMPARE(runtime.messages,
        std::vector<std::string> { application + "/notes.txt: is neither an ELF nor a PE executable\n" });
}

QTEST_GUILESS_MAIN(tst_Names)
#include "tst_names.moc"
