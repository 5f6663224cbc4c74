#pragma once

#include "names/ByteSource.h"
#include "names/ElfObject.h"
#include "names/LoaderCache.h"
#include "names/PeObject.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace deptest::names {

// How the loaders of this machine look for libraries.
struct LoaderOptions {
    // LD_LIBRARY_PATH's directories, used only when asked for.
    std::optional<std::string> libraryPath;
    std::string cachePath { "/etc/ld.so.cache" };
    // The directories the ELF loader tries last, in its order.
    std::vector<std::string> defaultDirectories;
    // What $LIB and $PLATFORM stand for in a search path.
    std::string lib;
    std::string platform;
    // The directories a Windows program's DLLs are looked for in after the
    // program's own directory: the system directory, then the windows one
    // (on Windows then the current folder and PATH's folders).
    std::vector<std::string> windowsDirectories;
    // DLLs taken from the system directory before the program's own is
    // searched (Windows' KnownDLLs), in any letter case.
    std::vector<std::string> knownDlls;
    // The system directory of a 32-bit program, where it has one of its own
    // (SysWOW64 on 64-bit Windows): it takes the first directory's place.
    std::string system32BitDirectory;
    // Deeper chains of dependencies than this are not followed.
    unsigned depthLimit { 64 };
};

// The loader options of this machine (its default directories, $LIB and
// $PLATFORM), with the given Windows directories; on Windows its loader's
// own search beyond them.
LoaderOptions machineLoaderOptions(std::vector<std::string> windowsDirectories);

// One library a program needs, as its loader would find it.
struct Dependency {
    std::string name;
    // Where the loader would load it from; empty when it would not find it.
    std::string path;
    std::string neededBy;
};

struct FileProblem {
    std::string file;
    std::string why;
};

// What a program needs, each library once, in the order the loader loads
// them (breadth first), its program interpreter first.
struct ProgramDependencies {
    std::string program;
    Format format { Format::Unknown };
    std::vector<Dependency> dependencies;
    // The program itself or a library that could not be read.
    std::vector<FileProblem> problems;
    // API sets needed, each once: left out, since no file has their name.
    std::vector<Dependency> apiSets;
    // Why the walk stopped short of some libraries; empty when it did not.
    std::string incomplete;
};

// Follows programs' dependencies without running anything. The files read
// and the loader's cache are kept, so many programs cost little more than one.
class DependencyWalker {
public:
    explicit DependencyWalker(LoaderOptions options);
    ~DependencyWalker();
    DependencyWalker(const DependencyWalker&) = delete;
    DependencyWalker& operator=(const DependencyWalker&) = delete;

    ProgramDependencies walk(const std::string& program);

    // Why the loader's cache could not be used; empty when it was read.
    const std::string& cacheProblem() const { return m_cacheProblem; }

    struct Parsed;

private:
    struct Loaded;
    struct ElfWalk;
    const Parsed& parse(const std::string& path);
    void walkElf(ProgramDependencies& result, const Parsed& program);
    void addInterpreter(ProgramDependencies& result, const Parsed& program, ElfWalk& walk);
    // Follows the needs of one loaded library; false when some lie too deep.
    bool followNeeds(ProgramDependencies& result, ElfWalk& walk, std::size_t at, const std::string& programOrigin);
    void walkPe(ProgramDependencies& result, const Parsed& program);
    std::optional<std::string> searchElf(const std::vector<Loaded>& loaded, std::size_t requester,
        const std::string& name, const std::string& programOrigin);
    std::optional<std::string> findIgnoringCase(const std::string& directory, const std::string& name);
    std::optional<std::string> searchPe(const std::vector<std::string>& directories, const std::string& name);
    bool loadable(const std::string& path, const ElfObject& like);

    LoaderOptions m_options;
    std::optional<LoaderCache> m_cache;
    std::string m_cacheProblem;
    std::unordered_map<std::string, std::unique_ptr<Parsed>> m_parsed;
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> m_directories;
};

} // namespace deptest::names
