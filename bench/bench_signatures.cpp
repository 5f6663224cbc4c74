// Times what checking the lists' signatures adds to a test run, as a shell
// sees it: `deptest --test --trust KEY` over a signed reference list and
// digest list against the same run over the same lists unsigned and with
// no key, taking turns. Prints the medians, their difference (the target:
// at most 5 ms for the two signatures) and their ratio.

#include "signing/Minisign.h"
#include "signing/Signatures.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TimeProgram.h"

namespace {

constexpr int files = 1000;
constexpr int rounds = 101;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    namespace fs = std::filesystem;
    using bench::timeProgram;
    const std::string deptest = DEPTEST_EXECUTABLE;
    const fs::path base = fs::temp_directory_path() / "deptest-bench-signatures";
    fs::remove_all(base);
    const fs::path signedDir = base / "signed";
    const fs::path plainDir = base / "plain";
    fs::create_directories(signedDir);
    std::ofstream names(signedDir / "dlls.txt", std::ios::binary);
    for (int i = 0; i < files; ++i) {
        const std::string name = "bench-signed-" + std::to_string(i) + ".so";
        std::ofstream(signedDir / name, std::ios::binary) << std::string(static_cast<std::size_t>(100 + i), 'x');
        names << name << "\r\n";
    }
    names.close();
    const deptest::signing::SecretKey key = deptest::signing::newSecretKey();
    std::ofstream(base / "bench.key", std::ios::binary)
        << deptest::signing::secretKeyText(deptest::signing::sealSecretKey(key, "", 0, 0));
    std::ofstream(base / "bench.pub", std::ios::binary)
        << deptest::signing::publicKeyText(deptest::signing::publicKeyOf(key));
    timeProgram(
        { deptest, "--generate", "--digest", "--sign", (base / "bench.key").string(), "--dir", signedDir.string() }, 0);
    fs::copy(signedDir, plainDir);
    fs::remove(plainDir / "indll.txt.minisig");
    fs::remove(plainDir / "indll.sha256.minisig");

    const std::vector<std::string> checked { deptest, "--test", "--trust", (base / "bench.pub").string(), "--dir",
        signedDir.string() };
    const std::vector<std::string> unchecked { deptest, "--test", "--dir", plainDir.string() };
    timeProgram(checked, 0);
    timeProgram(unchecked, 0);
    std::vector<double> withSignatures;
    std::vector<double> without;
    std::vector<double> withCpu;
    std::vector<double> withoutCpu;
    for (int round = 0; round < rounds; ++round) {
        const bench::Timing one = timeProgram(checked, 0);
        const bench::Timing other = timeProgram(unchecked, 0);
        withSignatures.push_back(one.wall);
        withCpu.push_back(one.cpu);
        without.push_back(other.wall);
        withoutCpu.push_back(other.cpu);
    }
    const double a = median(withSignatures);
    const double b = median(without);
    std::printf("%d entries with their digests, medians of %d runs (wall, CPU)\n", files, rounds);
    std::printf("two signatures checked        %8.2f ms %8.2f ms\n", a * 1e3, median(withCpu) * 1e3);
    std::printf("no signature, no key          %8.2f ms %8.2f ms\n", b * 1e3, median(withoutCpu) * 1e3);
    std::printf("added by the signatures       %8.2f ms %8.2f ms (target at most 5 ms)\n", (a - b) * 1e3,
        (median(withCpu) - median(withoutCpu)) * 1e3);
    std::printf("ratio checked / unchecked     %8.3f\n", a / b);
    fs::remove_all(base);
    return 0;
}
