#include "names/NameList.h"

#include "names/Refusal.h"
#include "records/DataFiles.h"
#include "records/RecordWriter.h"
#include "services/Files.h"
#include "system/FileSystem.h"

#include <algorithm>
#include <unordered_set>

namespace deptest::names {

namespace {

std::string realPathOrNothing(const std::string& path) { return realPath(path).value_or(std::string()); }

bool sameFile(const std::string& a, const FileIdentity& b)
{
    const PathStatus status = statusOf(a);
    return status.presence == Presence::Found && status.identity == b;
}

// Names files as the test run's search will find them: relative to the
// first of its directories that holds them, with the program's backslash.
class ListNames {
public:
    explicit ListNames(const std::vector<std::string>& directories)
    {
        for (const std::string& directory : directories) {
            std::string real = realPathOrNothing(directory);
            if (real.empty())
                real = directory;
            if (!isPathSeparator(real.back()))
                real += pathSeparator();
            m_directories.push_back(std::move(real));
        }
    }

    // The name, or why the file cannot be listed.
    Result<std::string> nameOf(const std::string& path) const
    {
        const PathStatus file = statusOf(path);
        if (file.presence != Presence::Found)
            return refusal("cannot be read");
        // The file under the name the loader uses (a link's name, in the
        // link's real directory) first, then the file the link leads to.
        const auto separator = std::find_if(path.rbegin(), path.rend(), isPathSeparator);
        const std::string base(separator.base(), path.end());
        std::string linkName = realPathOrNothing(folderOf(path));
        if (!linkName.empty())
            linkName = inFolder(linkName, base);
        std::string hidden;
        for (const std::string& candidate : { linkName, realPathOrNothing(path) }) {
            if (candidate.empty())
                continue;
            for (const std::string& searched : m_directories) {
                if (!candidate.starts_with(searched))
                    continue;
                const std::string relative = candidate.substr(searched.size());
                std::string stoppedAt;
                const std::string first = firstFound(relative, stoppedAt);
                if (!first.empty() && sameFile(first, file.identity))
                    return listed(relative);
                if (!first.empty())
                    hidden = "is hidden from the test by another file of its name: " + first;
                else if (!stoppedAt.empty())
                    hidden = "cannot be reached by the test, whose search stops at " + stoppedAt;
            }
        }
        return refusal(hidden.empty() ? "lies outside the directories the test searches" : hidden);
    }

private:
    // The file the search measures under a name: the first directory that
    // holds one decides. The search goes on to the next directory when a
    // directory lacks the file or the name's subfolder; where the file
    // cannot be looked at, the search stops there.
    std::string firstFound(const std::string& relative, std::string& stoppedAt) const
    {
        for (const std::string& searched : m_directories) {
            const Presence presence = statusOf(searched + relative).presence;
            if (presence == Presence::Found)
                return searched + relative;
            if (presence == Presence::Unreadable) {
                stoppedAt = searched;
                return {};
            }
        }
        return {};
    }

    static Result<std::string> listed(std::string relative)
    {
        // The list holds a name between quotes, as it is, on one line, its
        // folders ended by backslashes: a backslash that ends no folder here
        // cannot be told from one.
        for (char& c : relative) {
            if (isPathSeparator(c))
                c = '\\';
            else if (c == '"' || c == '\\' || c == '\r' || c == '\n')
                return refusal("has a character in its name that the list cannot hold");
        }
        return relative;
    }

    std::vector<std::string> m_directories;
};

} // namespace

int NameListResult::exitStatus() const
{
    if (!fileErrors.empty() || writeFailure)
        return 2;
    return unresolved.empty() && unlisted.empty() ? 0 : 1;
}

std::vector<std::string> NameListResult::messages() const
{
    std::vector<std::string> lines;
    for (const FileProblem& problem : fileErrors)
        lines.push_back(problem.file + ": " + problem.why);
    for (const Unresolved& library : unresolved)
        lines.push_back(library.name + ": not found, needed by " + library.neededBy);
    for (const FileProblem& problem : unlisted)
        lines.push_back(problem.file + ": " + problem.why);
    for (const Unresolved& apiSet : apiSets) {
        lines.push_back(apiSet.name
            + ": left out, an API set that Windows maps to DLLs of its own, not a file; needed by " + apiSet.neededBy);
    }
    return lines;
}

NameListOptions hostNameListOptions(
    const std::string& systemDirectory, const std::string& windowsDirectory, const std::string& applicationDirectory)
{
    return { { systemDirectory, windowsDirectory, applicationDirectory },
        machineLoaderOptions({ systemDirectory, windowsDirectory }) };
}

NameListResult collectNames(const std::vector<std::string>& files, const NameListOptions& options)
{
    NameListResult result;
    const ListNames listNames(options.searchDirectories);
    DependencyWalker walker(options.loader);
    std::unordered_set<std::string> listed;
    std::unordered_set<std::string> reported;
    const auto add = [&](const std::string& name) {
        if (listed.insert(name).second)
            result.names.push_back(name);
    };
    const auto place = [&](const std::string& path) {
        if (const Result<std::string> name = listNames.nameOf(path); name)
            add(*name);
        else if (reported.insert(path).second)
            result.unlisted.push_back({ path, name.error().description });
    };

    std::vector<ProgramDependencies> walks;
    for (const std::string& file : files) {
        ProgramDependencies walk = walker.walk(file);
        const bool readable = std::none_of(walk.problems.begin(), walk.problems.end(),
            [&](const FileProblem& problem) { return problem.file == file; });
        for (FileProblem& problem : walk.problems) {
            if (reported.insert(problem.file).second)
                result.fileErrors.push_back(std::move(problem));
        }
        if (readable)
            place(file);
        if (!walk.incomplete.empty())
            result.unlisted.push_back({ file, walk.incomplete });
        for (const Dependency& apiSet : walk.apiSets) {
            if (reported.insert(apiSet.name).second)
                result.apiSets.push_back({ apiSet.name, apiSet.neededBy });
        }
        walks.push_back(std::move(walk));
    }
    for (const ProgramDependencies& walk : walks) {
        for (const Dependency& dependency : walk.dependencies) {
            if (!dependency.path.empty()) {
                place(dependency.path);
                continue;
            }
            // Not found: listed under its own name, so the test run shows it missing.
            const std::string name = dependency.name.substr(dependency.name.rfind('/') + 1);
            if (reported.insert(dependency.name).second)
                result.unresolved.push_back({ dependency.name, dependency.neededBy });
            if (name.find_first_of("\"\r\n") == std::string::npos)
                add(name);
        }
    }
    return result;
}

Outcome writeNames(const NameListResult& result, OutputFile& output)
{
    RecordWriter writer(output);
    for (const std::string& name : result.names) {
        if (Outcome failure = writeName(writer, name))
            return failure;
    }
    return output.close();
}

} // namespace deptest::names
