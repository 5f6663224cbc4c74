// Times lookups in flight from outside, as a shell sees it. Every figure is
// a ratio to a baseline measured in the same run, over the same files:
//
// 1. On a file system that answers each request after 2 ms (bench_slowfs,
//    a pass-through of a local folder, mounted and unmounted here), 2,000
//    entries: `deptest --test` and `--generate` with one job and with the
//    default, against a serial loop of one stat() per entry.
// 2. On the local disk, warm, 100,000 entries: `deptest --test` with one
//    job and with the default, against the same kind of loop.
// 3. 400 files of 1 MiB with their digest list: `deptest --test` against
//    `openssl dgst -sha256` over the same files one after another.
//
// Without /dev/fuse (or without bench_slowfs, built only where libfuse3 is
// installed) the first part is skipped, and says so.
//
//   bench_lookups [--quick]

#include "TimeProgram.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using bench::timeProgram;

const std::string deptest = DEPTEST_EXECUTABLE;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double seconds(const std::function<void()>& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string fileName(int i) { return "bench-lookup-" + std::to_string(i) + ".so"; }

// `count` small files of varied sizes and the name list naming them.
void makeFiles(const fs::path& directory, int count)
{
    fs::create_directories(directory);
    std::ofstream names(directory / "dlls.txt", std::ios::binary);
    for (int i = 0; i < count; ++i) {
        std::ofstream(directory / fileName(i), std::ios::binary) << std::string(static_cast<std::size_t>(i % 7), 'x');
        names << fileName(i) << "\r\n";
    }
}

// The floor: one stat() per entry, in turn.
double statLoop(const fs::path& directory, int count)
{
    return seconds([&] {
        int found = 0;
        for (int i = 0; i < count; ++i) {
            struct stat status { };
            found += ::stat((directory / fileName(i)).c_str(), &status) == 0 ? 1 : 0;
        }
        if (found != count)
            std::fprintf(stderr, "warning: %d of %d files found by the loop\n", found, count);
    });
}

// Medians of the loop and of each command, run in turn round after round,
// so that other load on the machine falls on all of them alike.
std::vector<double> medians(const fs::path& directory, int count, const std::vector<std::vector<std::string>>& commands,
    const std::vector<int>& statuses, int rounds)
{
    std::vector<std::vector<double>> times(commands.size() + 1);
    for (int round = 0; round < rounds; ++round) {
        times[0].push_back(statLoop(directory, count));
        for (std::size_t i = 0; i < commands.size(); ++i)
            times[i + 1].push_back(timeProgram(commands[i], statuses[i]).wall);
    }
    std::vector<double> result;
    result.reserve(times.size());
    for (const auto& series : times)
        result.push_back(median(series));
    return result;
}

void printRatios(const std::vector<std::string>& labels, const std::vector<double>& times, const char* target)
{
    std::printf("  %-34s %9.1f ms\n", "serial loop, one stat() per entry", times[0] * 1e3);
    for (std::size_t i = 0; i < labels.size(); ++i)
        std::printf(
            "  %-34s %9.1f ms  %5.2fx the loop\n", labels[i].c_str(), times[i + 1] * 1e3, times[i + 1] / times[0]);
    std::printf("  (target: %s)\n", target);
}

std::string jobsDefault() { return "default"; }

// The test run and the generation over files on `directory`.
void timeLookups(const fs::path& directory, int count, int rounds, bool withGeneration, const char* target)
{
    const std::string dir = directory.string();
    timeProgram({ deptest, "--generate", "--dir", dir, "--jobs", "1" }, 0);
    std::vector<std::vector<std::string>> commands { { deptest, "--test", "--dir", dir, "--jobs", "1" },
        { deptest, "--test", "--dir", dir } };
    std::vector<std::string> labels { "deptest --test --jobs 1", "deptest --test (" + jobsDefault() + " jobs)" };
    if (withGeneration) {
        commands.push_back({ deptest, "--generate", "--dir", dir, "--jobs", "1" });
        commands.push_back({ deptest, "--generate", "--dir", dir });
        labels.emplace_back("deptest --generate --jobs 1");
        labels.push_back("deptest --generate (" + jobsDefault() + " jobs)");
    }
    // Warm for everyone.
    statLoop(directory, count);
    printRatios(labels, medians(directory, count, commands, std::vector<int>(commands.size(), 0), rounds), target);
}

// Starts bench_slowfs over `source` at `mountPoint` and waits until the
// mount is there; 0 when it could not be.
pid_t mountSlow(const fs::path& source, const fs::path& mountPoint, int delayMicroseconds)
{
    const std::string delay = std::to_string(delayMicroseconds);
    std::vector<std::string> arguments { BENCH_SLOWFS, source.string(), mountPoint.string(), delay, "-o",
        "max_threads=64", "-o", "max_idle_threads=64" };
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (::posix_spawn(&child, argv.front(), nullptr, nullptr, argv.data(), environ) != 0)
        return 0;
    struct stat parent { };
    ::stat(mountPoint.parent_path().c_str(), &parent);
    for (int tries = 0; tries < 200; ++tries) {
        struct stat mounted { };
        if (::stat(mountPoint.c_str(), &mounted) == 0 && mounted.st_dev != parent.st_dev)
            return child;
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    return 0;
}

void unmount(const fs::path& mountPoint, pid_t server)
{
    if (timeProgram({ "fusermount3", "-u", mountPoint.string() }, 0).wall < 0)
        return;
    ::waitpid(server, nullptr, 0);
}

void slowFileSystem(const fs::path& root, int count, int rounds)
{
    std::printf("\n1. %d entries on a file system answering each request after 2 ms\n", count);
    const std::string server = BENCH_SLOWFS;
    if (server.empty()) {
        std::printf("  SKIPPED: bench_slowfs was not built (install libfuse3-dev and configure again)\n");
        return;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        std::printf("  SKIPPED: /dev/fuse is not there or not usable here, so nothing can be mounted\n");
        return;
    }
    const fs::path source = root / "slow-source";
    const fs::path mountPoint = root / "slow";
    makeFiles(source, count);
    fs::create_directories(mountPoint);
    const pid_t mounted = mountSlow(source, mountPoint, 2000);
    if (mounted == 0) {
        std::printf("  SKIPPED: bench_slowfs could not mount %s (fusermount3 missing?)\n", mountPoint.c_str());
        return;
    }
    timeLookups(mountPoint, count, rounds, true, "test at most 0.25x, generation at most 0.3x");
    unmount(mountPoint, mounted);
}

void localDisk(const fs::path& root, int count, int rounds)
{
    std::printf("\n2. %d entries on the local disk, warm\n", count);
    const fs::path directory = root / "local";
    makeFiles(directory, count);
    timeLookups(directory, count, rounds, false, "test at most 1.0x");
}

void digests(const fs::path& root, int files, int rounds)
{
    std::printf("\n3. %d files of 1 MiB with their digests\n", files);
    const fs::path directory = root / "digests";
    fs::create_directories(directory);
    std::mt19937_64 random(7);
    std::ofstream names(directory / "dlls.txt", std::ios::binary);
    std::string list;
    for (int i = 0; i < files; ++i) {
        const std::string name = "bench-digest-" + std::to_string(i) + ".bin";
        std::string bytes(std::size_t { 1 } << 20, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        std::ofstream(directory / name, std::ios::binary) << bytes;
        names << name << "\r\n";
        list += " " + name;
    }
    names.close();
    const std::string dir = directory.string();
    timeProgram({ deptest, "--generate", "--digest", "--dir", dir }, 0);
    const std::vector<std::vector<std::string>> commands { { "sh", "-c",
                                                               "cd '" + dir + "' && openssl dgst -sha256" + list },
        { deptest, "--test", "--dir", dir, "--jobs", "1" }, { deptest, "--test", "--dir", dir } };
    for (const auto& command : commands)
        timeProgram(command, 0); // the page cache filled for all
    std::vector<std::vector<double>> times(commands.size());
    std::vector<std::vector<double>> cpu(commands.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const bench::Timing timing = timeProgram(commands[i], 0);
            times[i].push_back(timing.wall);
            cpu[i].push_back(timing.cpu);
        }
    }
    // CPU time over wall time: how many cores were at work, on average.
    const double openssl = median(times[0]);
    std::printf("  %-34s %9.1f ms                    %4.2f cores\n", "openssl dgst -sha256, in turn", openssl * 1e3,
        median(cpu[0]) / openssl);
    const char* labels[] { "deptest --test --jobs 1", "deptest --test (default jobs)" };
    for (std::size_t i = 1; i < commands.size(); ++i)
        std::printf("  %-34s %9.1f ms  %5.2fx openssl  %4.2f cores\n", labels[i - 1], median(times[i]) * 1e3,
            median(times[i]) / openssl, median(cpu[i]) / median(times[i]));
    std::printf("  (target: at most 0.6x)\n");
}

} // namespace

int main(int argc, char* argv[])
{
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const fs::path root = fs::temp_directory_path() / ("deptest-bench-lookups-" + std::to_string(::getpid()));
    fs::remove_all(root);
    std::printf("%u cores; medians of rounds run in turn\n", std::thread::hardware_concurrency());
    slowFileSystem(root, 2000, quick ? 1 : 3);
    localDisk(root, quick ? 10000 : 100000, quick ? 3 : 7);
    digests(root, quick ? 40 : 400, quick ? 3 : 5);
    fs::remove_all(root);
    return 0;
}
