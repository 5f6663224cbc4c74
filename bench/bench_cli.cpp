// Times the command line from outside, start to exit, as a shell sees it:
// `deptest --test` against a plain program making the same stat calls
// (bench_cli_loop), and `deptest --generate` against `mtree -c -k
// size,time` over the same folder, at 10,000, 100,000 and 1,000,000
// entries. Prints medians and their ratios, and the time per entry; then
// each program's time with no entry at all (its start-up and what it does
// once), and the time per entry beyond it, which shows whether an entry
// costs the same at every size.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TimeProgram.h"

namespace {

using bench::timeProgram;
using bench::Timing;

struct Programs {
    std::string deptest;
    std::string loop;
    bool haveMtree { false };
    std::string referenceDate;
};

// The medians of one size, in seconds for the whole run.
struct SizeTimings {
    Timing test;
    Timing loop;
    Timing generation;
    Timing mtree;
};

Timing median(std::vector<Timing> values)
{
    Timing middle;
    std::sort(values.begin(), values.end(), [](const Timing& a, const Timing& b) { return a.wall < b.wall; });
    middle.wall = values[values.size() / 2].wall;
    std::sort(values.begin(), values.end(), [](const Timing& a, const Timing& b) { return a.cpu < b.cpu; });
    middle.cpu = values[values.size() / 2].cpu;
    return middle;
}

// `count` files of a few bytes in `directory`, all of one day, and the
// name list naming them.
void makeFiles(const std::string& directory, int count, std::time_t modified)
{
    std::ofstream names(directory + "/dlls.txt", std::ios::binary);
    const timespec times[2] = { { modified, 0 }, { modified, 0 } };
    for (int i = 0; i < count; ++i) {
        const std::string name = "deptestbench" + std::to_string(i) + ".so";
        names << name << "\r\n";
        const int file = ::open((directory + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (file < 0 || ::ftruncate(file, i % 97) != 0 || ::futimens(file, times) != 0) {
            std::perror(name.c_str());
            std::exit(1);
        }
        ::close(file);
    }
}

std::string ratio(const Timing& a, const Timing& b)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f [%.2f]", a.wall / b.wall, a.cpu / b.cpu);
    return text;
}

// Medians of rounds of the four programs, interleaved, over `count` files
// in a folder of their own.
SizeTimings measureSize(const Programs& programs, int count, std::time_t modified)
{
    char pattern[] = "/var/tmp/deptest-bench-cli.XXXXXX";
    const std::string root = ::mkdtemp(pattern);
    const std::string app = root + "/app";
    std::filesystem::create_directory(app);
    makeFiles(app, count, modified);
    if (count == 0) // --test needs a reference list, which an empty generation writes
        timeProgram({ programs.deptest, "--generate", "--dir", app }, 0);

    // Short runs are many, so that their medians hold still on a busy machine.
    const int rounds = count >= 1'000'000 ? 3 : count >= 100'000 ? 7 : 21;
    std::vector<Timing> tests;
    std::vector<Timing> loops;
    std::vector<Timing> generations;
    std::vector<Timing> mtrees;
    for (int round = 0; round < rounds; ++round) {
        generations.push_back(timeProgram({ programs.deptest, "--generate", "--dir", app }, 0));
        if (programs.haveMtree)
            mtrees.push_back(timeProgram({ "/usr/bin/mtree", "-c", "-k", "size,time", "-p", app }, 0));
        tests.push_back(timeProgram({ programs.deptest, "--test", "--dir", app }, 0));
        loops.push_back(timeProgram({ programs.loop, DEPTEST_SYSTEM_DIR, DEPTEST_WINDOWS_DIR, app,
                                        std::to_string(count), programs.referenceDate },
            0));
    }
    std::filesystem::remove_all(root);
    return { median(tests), median(loops), median(generations), programs.haveMtree ? median(mtrees) : Timing { 1, 1 } };
}

} // namespace

int main(int argc, char* argv[])
{
    // Dates in one language for both sides; no terminal, so no progress line.
    ::setenv("LANG", "C.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_TIME");
    Programs programs { DEPTEST_EXECUTABLE, BENCH_CLI_LOOP, std::filesystem::exists("/usr/bin/mtree"), {} };
    std::vector<int> sizes { 10'000, 100'000, 1'000'000 };
    if (argc > 1)
        sizes = { std::atoi(argv[1]) };

    std::tm day {};
    day.tm_year = 2026 - 1900;
    day.tm_mon = 11;
    day.tm_mday = 7;
    day.tm_hour = 10;
    day.tm_isdst = -1;
    const std::time_t modified = std::mktime(&day);
    char referenceDate[64];
    std::strftime(referenceDate, sizeof referenceDate, "%A, %B %d, %Y", &day);
    programs.referenceDate = referenceDate;

    std::printf("Medians, in microseconds per entry: wall time from start to exit [CPU time of the process]\n");
    std::printf(
        "%9s %16s %16s %12s %16s %16s %12s\n", "entries", "--test", "loop", "ratio", "--generate", "mtree", "ratio");
    const SizeTimings empty = measureSize(programs, 0, modified);
    std::vector<std::pair<int, SizeTimings>> measured;
    for (const int count : sizes) {
        const SizeTimings timings = measureSize(programs, count, modified);
        measured.emplace_back(count, timings);
        const auto perEntry = [count](const Timing& timing) {
            char text[32];
            std::snprintf(text, sizeof text, "%.2f [%.2f]", timing.wall * 1e6 / count, timing.cpu * 1e6 / count);
            return std::string(text);
        };
        std::printf("%9d %16s %16s %12s %16s %16s %12s\n", count, perEntry(timings.test).c_str(),
            perEntry(timings.loop).c_str(), ratio(timings.test, timings.loop).c_str(),
            perEntry(timings.generation).c_str(), perEntry(timings.mtree).c_str(),
            ratio(timings.generation, timings.mtree).c_str());
        std::fflush(stdout);
    }

    std::printf("\nNo entry at all, in milliseconds: --test %.2f, loop %.2f, --generate %.2f, mtree %.2f\n",
        empty.test.wall * 1e3, empty.loop.wall * 1e3, empty.generation.wall * 1e3, empty.mtree.wall * 1e3);
    std::printf("Beyond that, in microseconds per entry (wall time):\n");
    std::printf("%9s %10s %10s %10s %10s\n", "entries", "--test", "loop", "--generate", "mtree");
    for (const auto& [count, timings] : measured) {
        const auto beyond
            = [count](const Timing& timing, const Timing& none) { return (timing.wall - none.wall) * 1e6 / count; };
        std::printf("%9d %10.2f %10.2f %10.2f %10.2f\n", count, beyond(timings.test, empty.test),
            beyond(timings.loop, empty.loop), beyond(timings.generation, empty.generation),
            beyond(timings.mtree, empty.mtree));
    }
    if (!programs.haveMtree)
        std::printf("mtree is not installed (Debian: mtree-netbsd): no mtree figures\n");
    return 0;
}
