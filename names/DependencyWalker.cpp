#include "names/DependencyWalker.h"

#include "errors/Messages.h"
#include "system/DllSearch.h"
#include "system/FileSystem.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <set>
#include <unordered_set>

namespace deptest::names {

struct DependencyWalker::Parsed {
    Format format { Format::Unknown };
    std::optional<ElfObject> elf;
    std::optional<PeObject> pe;
    std::string why;
    // The file's identity: the loader loads a file once, whatever its names.
    FileIdentity identity;

    // Keeps what a reader gave: the object, or why there is none.
    template <typename Object> void keep(Result<Object> read, std::optional<Object>& object)
    {
        if (read)
            object = std::move(*read);
        else
            why = read.error().description;
    }
};

// A library the walk has loaded, and who needed it.
struct DependencyWalker::Loaded {
    std::string path;
    const Parsed* parsed;
    std::optional<std::size_t> loader;
    std::string origin;
    unsigned depth;
};

namespace {

std::string fileNameOf(const std::string& path)
{
    const auto separator = std::find_if(path.rbegin(), path.rend(), isPathSeparator);
    return std::string(separator.base(), path.end());
}

std::string realPathOr(const std::string& path) { return realPath(path).value_or(path); }

std::string lowered(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Replaces the loader's dynamic string tokens: $ORIGIN, $LIB and $PLATFORM,
// bare or in braces. An unknown token stays as it is.
std::string expandTokens(const std::string& text, const std::string& origin, const LoaderOptions& options)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '$') {
            result += text[i];
            continue;
        }
        bool done = false;
        for (const auto& [token, value] : { std::pair<std::string_view, const std::string&> { "ORIGIN", origin },
                 { "LIB", options.lib }, { "PLATFORM", options.platform } }) {
            const std::string_view rest(text.data() + i + 1, text.size() - i - 1);
            const bool braced = rest.size() > token.size() + 1 && rest[0] == '{'
                && rest.substr(1, token.size()) == token && rest[token.size() + 1] == '}';
            const bool bare = rest.substr(0, token.size()) == token
                && (rest.size() == token.size()
                    || !(std::isalnum(static_cast<unsigned char>(rest[token.size()])) || rest[token.size()] == '_'));
            if (braced || bare) {
                result += value;
                i += token.size() + (braced ? 2 : 0);
                done = true;
                break;
            }
        }
        if (!done)
            result += '$';
    }
    return result;
}

// The directories of a search path, tokens expanded, trailing slashes
// dropped. Empty elements are left out: they would mean the directory the
// program is started from, which is nothing a list can name.
void addDirectories(
    std::vector<std::string>& into, const std::string& path, const std::string& origin, const LoaderOptions& options)
{
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find_first_of(":;", start), path.size());
        std::string directory = expandTokens(path.substr(start, end - start), origin, options);
        while (directory.size() > 1 && directory.back() == '/')
            directory.pop_back();
        if (!directory.empty() && std::find(into.begin(), into.end(), directory) == into.end())
            into.push_back(std::move(directory));
        start = end + 1;
    }
}

} // namespace

LoaderOptions machineLoaderOptions(std::vector<std::string> windowsDirectories)
{
    LoaderOptions options;
    options.windowsDirectories = std::move(windowsDirectories);
    if (std::optional<DllSearchPlaces> windows = dllSearchPlaces()) {
        // Windows: its loader's own search. No ELF program is read here,
        // so there is no cache of the ELF loader to read either.
        options.knownDlls = std::move(windows->knownDlls);
        options.system32BitDirectory = std::move(windows->system32Bit);
        for (std::string& folder : windows->lastFolders)
            options.windowsDirectories.push_back(std::move(folder));
        options.cachePath.clear();
        return options;
    }
    // Empty where the build knows of no multiarch directory.
    const std::string architecture = DEPTEST_LIBRARY_ARCHITECTURE;
    if (!architecture.empty()) {
        // A multiarch system: the loader was built with the architecture's
        // directories first, then the plain ones.
        options.defaultDirectories = { "/lib/" + architecture, "/usr/lib/" + architecture, "/lib", "/usr/lib" };
        options.lib = "lib/" + architecture;
    } else {
        options.defaultDirectories = { "/lib", "/usr/lib" };
        options.lib = "lib";
    }
    options.platform = machineHardwareName();
    return options;
}

DependencyWalker::DependencyWalker(LoaderOptions options)
    : m_options(std::move(options))
{
    if (m_options.cachePath.empty())
        return;
    // The loader's cache is small, and read whole.
    constexpr std::size_t largestCache = std::size_t { 64 } * 1024 * 1024;
    const Result<BinaryFile> file = BinaryFile::open(m_options.cachePath);
    const Result<std::vector<unsigned char>> bytes = file ? file->readAll(largestCache) : file.error();
    Result<LoaderCache> cache = bytes ? LoaderCache::read(*bytes) : bytes.error();
    if (cache)
        m_cache = std::move(*cache);
    else
        m_cacheProblem = cache.error().description;
}

DependencyWalker::~DependencyWalker() = default;

const DependencyWalker::Parsed& DependencyWalker::parse(const std::string& path)
{
    auto& slot = m_parsed[path];
    if (slot)
        return *slot;
    slot = std::make_unique<Parsed>();
    Parsed& parsed = *slot;
    if (const PathStatus status = statusOf(path); status.presence == Presence::Found)
        parsed.identity = status.identity;
    const Result<BinaryFile> file = BinaryFile::open(path);
    if (!file) {
        parsed.why = file.error().description;
        return parsed;
    }
    const ByteSource bytes(*file);
    const std::optional<Format> format = formatOf(bytes);
    if (!format) {
        parsed.why = message::binaryCutShort;
        return parsed;
    }
    parsed.format = *format;
    if (parsed.format == Format::Elf)
        parsed.keep(readElf(*file), parsed.elf);
    else if (parsed.format == Format::Pe)
        parsed.keep(readPe(bytes), parsed.pe);
    else
        parsed.why = "is neither an ELF nor a PE executable";
    return parsed;
}

ProgramDependencies DependencyWalker::walk(const std::string& program)
{
    ProgramDependencies result;
    result.program = program;
    const Parsed& parsed = parse(program);
    result.format = parsed.format;
    if (parsed.elf)
        walkElf(result, parsed);
    else if (parsed.pe)
        walkPe(result, parsed);
    else
        result.problems.push_back({ program, parsed.why });
    return result;
}

bool DependencyWalker::loadable(const std::string& path, const ElfObject& like)
{
    const Parsed& parsed = parse(path);
    return parsed.elf && parsed.elf->elfClass == like.elfClass && parsed.elf->byteOrder == like.byteOrder
        && parsed.elf->machine == like.machine;
}

std::optional<std::string> DependencyWalker::searchElf(
    const std::vector<Loaded>& loaded, std::size_t requester, const std::string& name, const std::string& programOrigin)
{
    const ElfObject& asking = *loaded[requester].parsed->elf;
    // A name with a slash is a path: no search.
    if (name.find('/') != std::string::npos) {
        std::string path = expandTokens(name, loaded[requester].origin, m_options);
        return loadable(path, asking) ? std::optional(path) : std::nullopt;
    }
    std::vector<std::string> directories;
    // The older search path of the library and of each one that led to it,
    // unless the library has the newer one.
    if (!asking.runpath) {
        for (std::optional<std::size_t> at = requester; at; at = loaded[*at].loader) {
            if (loaded[*at].parsed->elf->rpath)
                addDirectories(directories, *loaded[*at].parsed->elf->rpath, loaded[*at].origin, m_options);
        }
    }
    if (m_options.libraryPath)
        addDirectories(directories, *m_options.libraryPath, programOrigin, m_options);
    if (asking.runpath) {
        std::vector<std::string> own;
        addDirectories(own, *asking.runpath, loaded[requester].origin, m_options);
        for (auto& directory : own) {
            if (std::find(directories.begin(), directories.end(), directory) == directories.end())
                directories.push_back(std::move(directory));
        }
    }
    for (const std::string& directory : directories) {
        std::string path = inFolder(directory, name);
        if (loadable(path, asking))
            return path;
    }
    if (asking.noDefaultLibraries)
        return std::nullopt;
    if (m_cache) {
        if (auto path = m_cache->find(name, asking.elfClass, asking.machine); path && loadable(*path, asking))
            return path;
    }
    for (const std::string& directory : m_options.defaultDirectories) {
        std::string path = inFolder(directory, name);
        if (loadable(path, asking))
            return path;
    }
    return std::nullopt;
}

// What a walk through ELF libraries has met so far.
struct DependencyWalker::ElfWalk {
    std::vector<Loaded> loaded;
    // The names the loader already knows, each for the library it loaded
    // under it (none: it was looked for and not found).
    std::unordered_map<std::string, std::optional<std::size_t>> known;
    std::set<FileIdentity> files;

    void add(const std::string& name, const std::string& path, const Parsed& parsed, std::size_t loader)
    {
        loaded.push_back({ path, &parsed, loader, folderOf(path), loaded[loader].depth + 1 });
        known.emplace(name, loaded.size() - 1);
        if (parsed.elf && !parsed.elf->soname.empty())
            known.emplace(parsed.elf->soname, loaded.size() - 1);
        files.insert(parsed.identity);
    }
};

void DependencyWalker::walkElf(ProgramDependencies& result, const Parsed& program)
{
    const std::string origin = folderOf(realPathOr(result.program));
    ElfWalk walk { { { result.program, &program, std::nullopt, origin, 0 } }, {}, { program.identity } };
    if (!program.elf->soname.empty())
        walk.known.emplace(program.elf->soname, 0);
    if (!program.elf->interpreter.empty())
        addInterpreter(result, program, walk);
    bool tooDeep = false;
    for (std::size_t at = 0; at < walk.loaded.size(); ++at) {
        if (walk.loaded[at].parsed->elf && !followNeeds(result, walk, at, origin))
            tooDeep = true;
    }
    if (tooDeep)
        result.incomplete = "needs libraries more than " + std::to_string(m_options.depthLimit) + " levels deep";
}

void DependencyWalker::addInterpreter(ProgramDependencies& result, const Parsed& program, ElfWalk& walk)
{
    const std::string& interpreter = program.elf->interpreter;
    const Parsed& parsed = parse(interpreter);
    const bool found = loadable(interpreter, *program.elf);
    result.dependencies.push_back({ interpreter, found ? interpreter : std::string(), result.program });
    if (found) {
        // The interpreter is loaded but its own needs are not followed:
        // it has none, and it is not on the chain of any other library.
        walk.known.emplace(interpreter, std::nullopt);
        if (!parsed.elf->soname.empty())
            walk.known.emplace(parsed.elf->soname, std::nullopt);
        walk.files.insert(parsed.identity);
    }
}

bool DependencyWalker::followNeeds(
    ProgramDependencies& result, ElfWalk& walk, std::size_t at, const std::string& programOrigin)
{
    bool complete = true;
    // Copied: adding to `loaded` may move the library this refers to.
    const std::vector<std::string> needed = walk.loaded[at].parsed->elf->needed;
    for (const std::string& name : needed) {
        if (walk.known.contains(name))
            continue;
        if (walk.loaded[at].depth + 1 > m_options.depthLimit) {
            complete = false;
            continue;
        }
        const auto path = searchElf(walk.loaded, at, name, programOrigin);
        if (!path) {
            walk.known.emplace(name, std::nullopt);
            result.dependencies.push_back({ name, {}, walk.loaded[at].path });
            continue;
        }
        const Parsed& parsed = parse(*path);
        if (walk.files.contains(parsed.identity)) {
            walk.known.emplace(name, std::nullopt);
            continue;
        }
        walk.add(name, *path, parsed, at);
        result.dependencies.push_back({ name, *path, walk.loaded[at].path });
    }
    return complete;
}

std::optional<std::string> DependencyWalker::findIgnoringCase(const std::string& directory, const std::string& name)
{
    auto [entry, added] = m_directories.try_emplace(directory);
    if (added) {
        for (std::string& file : namesInDirectory(directory))
            entry->second.try_emplace(lowered(file), std::move(file));
    }
    const auto found = entry->second.find(lowered(name));
    if (found == entry->second.end())
        return std::nullopt;
    return inFolder(directory, found->second);
}

std::optional<std::string> DependencyWalker::searchPe(
    const std::vector<std::string>& directories, const std::string& name)
{
    for (const std::string& directory : directories) {
        if (std::optional<std::string> found = findIgnoringCase(directory, name))
            return found;
    }
    return std::nullopt;
}

void DependencyWalker::walkPe(ProgramDependencies& result, const Parsed& program)
{
    // After KnownDLLs, the loader looks in the program's directory, then
    // the system directory (a 32-bit program's own where it has one), then
    // the others.
    std::vector<std::string> directories { folderOf(realPathOr(result.program)) };
    directories.insert(directories.end(), m_options.windowsDirectories.begin(), m_options.windowsDirectories.end());
    if (program.pe->is32Bit && !m_options.system32BitDirectory.empty() && directories.size() > 1)
        directories[1] = m_options.system32BitDirectory;
    std::unordered_set<std::string> knownDlls;
    for (const std::string& name : m_options.knownDlls)
        knownDlls.insert(lowered(name));
    std::unordered_set<std::string> known { lowered(fileNameOf(result.program)) };
    std::deque<std::pair<std::string, unsigned>> queue { { result.program, 0 } };
    bool tooDeep = false;
    while (!queue.empty()) {
        const auto [path, depth] = queue.front();
        queue.pop_front();
        const Parsed& parsed = path == result.program ? program : parse(path);
        if (!parsed.pe) {
            result.problems.push_back({ path, parsed.why });
            continue;
        }
        std::vector<std::string> needed = parsed.pe->imports;
        needed.insert(needed.end(), parsed.pe->delayImports.begin(), parsed.pe->delayImports.end());
        for (const std::string& name : needed) {
            if (name.find_first_of("/\\") != std::string::npos || !known.insert(lowered(name)).second)
                continue;
            if (isApiSetName(name)) {
                result.apiSets.push_back({ name, {}, path });
                continue;
            }
            if (depth + 1 > m_options.depthLimit) {
                tooDeep = true;
                continue;
            }
            std::optional<std::string> found;
            if (knownDlls.contains(lowered(name)) && directories.size() > 1)
                found = findIgnoringCase(directories[1], name);
            if (!found)
                found = searchPe(directories, name);
            result.dependencies.push_back({ name, found.value_or(std::string()), path });
            if (found)
                queue.emplace_back(*found, depth + 1);
        }
    }
    if (tooDeep)
        result.incomplete = "needs DLLs more than " + std::to_string(m_options.depthLimit) + " levels deep";
}

} // namespace deptest::names
