#pragma once

// Times a program from outside, start to exit, as a shell sees it.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

struct Timing {
    double wall { 0 }; // from start to exit
    double cpu { 0 }; // user and system time, which other programs on a busy machine do not inflate
};

// Runs a program (a path, or a name looked for in PATH) with its output
// thrown away; its times in seconds. Any other exit status than the one
// expected ends the benchmark: a run that failed measures nothing.
inline Timing timeProgram(const std::vector<std::string>& arguments, int expectedStatus)
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
    rusage usage {};
    ::wait4(child, &status, 0, &usage);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expectedStatus) {
        std::fprintf(stderr, "%s ended with %d, not %d\n", argv.front(), WEXITSTATUS(status), expectedStatus);
        std::exit(1);
    }
    const auto seconds = [](const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; };
    return { elapsed, seconds(usage.ru_utime) + seconds(usage.ru_stime) };
}

} // namespace bench
