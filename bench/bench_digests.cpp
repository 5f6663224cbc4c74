// Times the content check from outside, as a shell sees it: `deptest
// --test` over 400 files of 1 MiB with their digest list against
// `sha256sum -c` over the same list, and the same test run without the
// digest list, against another build of deptest when one is named (the
// build before the content check). Prints medians and their ratios.
//
//   bench_digests [OTHER_DEPTEST]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int files = 400;
constexpr std::size_t fileSize = std::size_t { 1 } << 20;
constexpr int rounds = 7;

// Runs a program with its output thrown away; its wall time in seconds.
double timeProgram(const std::vector<std::string>& arguments, int expectedStatus)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv.front(), &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(argv.front());
        std::exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expectedStatus) {
        std::fprintf(stderr, "%s ended with %d, not %d\n", argv.front(), WEXITSTATUS(status), expectedStatus);
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The median of several runs, after one that fills the page cache.
double median(const std::vector<std::string>& arguments, int expectedStatus = 0)
{
    timeProgram(arguments, expectedStatus);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round)
        times.push_back(timeProgram(arguments, expectedStatus));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string deptest = DEPTEST_EXECUTABLE;
    const std::filesystem::path directory = std::filesystem::temp_directory_path() / "deptest-bench-digests";
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    std::mt19937_64 random(7);
    std::ofstream names(directory / "dlls.txt", std::ios::binary);
    for (int i = 0; i < files; ++i) {
        const std::string name = "bench-digest-" + std::to_string(i) + ".bin";
        std::string bytes(fileSize, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        std::ofstream(directory / name, std::ios::binary) << bytes;
        names << name << "\r\n";
    }
    names.close();
    const std::string dir = directory.string();
    timeProgram({ deptest, "--generate", "--digest", "--dir", dir }, 0);

    const double withDigests = median({ deptest, "--test", "--dir", dir });
    const double sha256sum = median({ "sh", "-c", "cd '" + dir + "' && sha256sum --check --quiet indll.sha256" });
    std::printf("%d files of 1 MiB, median of %d runs\n", files, rounds);
    std::printf("deptest --test with digests   %8.1f ms\n", withDigests * 1e3);
    std::printf("sha256sum -c                  %8.1f ms\n", sha256sum * 1e3);
    std::printf("ratio deptest / sha256sum     %8.2f (target at most 0.5)\n", withDigests / sha256sum);

    std::filesystem::remove(directory / "indll.sha256");
    const double without = median({ deptest, "--test", "--dir", dir });
    std::printf("deptest --test without digests %7.1f ms\n", without * 1e3);
    if (argc > 1) {
        const double other = median({ argv[1], "--test", "--dir", dir });
        std::printf("%s --test   %7.1f ms\n", argv[1], other * 1e3);
        std::printf("ratio this build / other       %7.3f (target at most 1.02)\n", without / other);
    }
    std::filesystem::remove_all(directory);
    return 0;
}
