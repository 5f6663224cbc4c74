// Times the content check from outside, as a shell sees it: `deptest
// --test` over 400 files of 1 MiB with their digest list against
// `sha256sum -c` over the same list, and the same test run without the
// digest list, against another build of deptest when one is named (the
// build before the content check). Prints medians and their ratios.
//
//   bench_digests [OTHER_DEPTEST]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TimeProgram.h"

namespace {

constexpr int files = 400;
constexpr std::size_t fileSize = std::size_t { 1 } << 20;
constexpr int rounds = 7;

using bench::timeProgram;
using bench::Timing;

// The medians of two programs run in turn, `count` times each, after one
// run each that fills the page cache: taking turns spreads the load of
// other programs over both alike.
std::pair<Timing, Timing> medians(const std::vector<std::string>& one, const std::vector<std::string>& other, int count)
{
    timeProgram(one, 0);
    timeProgram(other, 0);
    std::vector<Timing> first;
    std::vector<Timing> second;
    for (int round = 0; round < count; ++round) {
        first.push_back(timeProgram(one, 0));
        second.push_back(timeProgram(other, 0));
    }
    const auto median = [](std::vector<Timing> times) {
        std::vector<double> wall;
        std::vector<double> cpu;
        for (const Timing& time : times) {
            wall.push_back(time.wall);
            cpu.push_back(time.cpu);
        }
        std::sort(wall.begin(), wall.end());
        std::sort(cpu.begin(), cpu.end());
        return Timing { wall[wall.size() / 2], cpu[cpu.size() / 2] };
    };
    return { median(first), median(second) };
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

    const auto [withDigests, sha256sum] = medians({ deptest, "--test", "--dir", dir },
        { "sh", "-c", "cd '" + dir + "' && sha256sum --check --quiet indll.sha256" }, rounds);
    std::printf("%d files of 1 MiB, medians of %d runs (wall, CPU)\n", files, rounds);
    std::printf("deptest --test with digests   %8.1f ms %8.1f ms\n", withDigests.wall * 1e3, withDigests.cpu * 1e3);
    std::printf("sha256sum -c                  %8.1f ms %8.1f ms\n", sha256sum.wall * 1e3, sha256sum.cpu * 1e3);
    std::printf("ratio deptest / sha256sum     %8.2f    %8.2f    (target at most 0.5)\n",
        withDigests.wall / sha256sum.wall, withDigests.cpu / sha256sum.cpu);

    std::filesystem::remove(directory / "indll.sha256");
    const std::vector<std::string> test { deptest, "--test", "--dir", dir };
    const std::string other = argc > 1 ? argv[1] : deptest;
    const auto [without, before] = medians(test, { other, "--test", "--dir", dir }, 101);
    std::printf("without digests: this build   %8.2f ms %8.2f ms\n", without.wall * 1e3, without.cpu * 1e3);
    std::printf("                 %-13s %8.2f ms %8.2f ms\n", argc > 1 ? "the other" : "itself again",
        before.wall * 1e3, before.cpu * 1e3);
    std::printf("ratio this build / other      %8.3f    %8.3f    (target at most 1.02)\n", without.wall / before.wall,
        without.cpu / before.cpu);
    std::filesystem::remove_all(directory);
    return 0;
}
