// The baseline of the command-line benchmark: a plain program that does
// for each of `count` files what a test run must do at the least and
// nothing else: a full-path stat for each directory tried until the file
// is found, the local date rendered with localtime_r and strftime, and a
// string compare with the reference date.
//   bench_cli_loop SYSTEM_DIR WINDOWS_DIR APP_DIR COUNT REFERENCE_DATE

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <sys/stat.h>

int main(int argc, char* argv[])
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_cli_loop SYSTEM_DIR WINDOWS_DIR APP_DIR COUNT REFERENCE_DATE\n");
        return 2;
    }
    const std::array<std::string, 3> directories { argv[1], argv[2], argv[3] };
    const long count = std::strtol(argv[4], nullptr, 10);
    const char* referenceDate = argv[5];
    long matching = 0;
    for (long i = 0; i < count; ++i) {
        const std::string name = "deptestbench" + std::to_string(i) + ".so";
        struct stat status { };
        bool found = false;
        for (const std::string& directory : directories) {
            found = ::stat((directory + "/" + name).c_str(), &status) == 0;
            if (found)
                break;
        }
        if (!found)
            continue;
        std::tm local {};
        localtime_r(&status.st_mtime, &local);
        std::array<char, 64> date {};
        std::strftime(date.data(), date.size(), "%A, %B %d, %Y", &local);
        matching += std::strcmp(date.data(), referenceDate) == 0 ? 1 : 0;
    }
    std::printf("%ld\n", matching);
    return 0;
}
