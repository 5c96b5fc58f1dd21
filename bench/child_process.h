// Running the program as cron would, for the benchmarks: a child in its own
// start directory, with no display, its output kept in output.log there.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

struct ChildResult {
    double seconds = 0;
    long maxRssKb = 0;
    int status = 0; // as wait4 gives it
};

inline ChildResult RunChild(const std::vector<std::string>& argv,
                            const std::filesystem::path& directory) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(directory.c_str()) != 0)
            _exit(127);
        // No display, as under cron: the program picks its platform itself.
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        // The children's chatter would hide the figures.
        if (std::FILE* log = std::fopen("output.log", "w")) {
            ::dup2(fileno(log), STDOUT_FILENO);
            ::dup2(fileno(log), STDERR_FILENO);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        _exit(127);
    }
    ChildResult result;
    rusage usage{};
    ::wait4(pid, &result.status, 0, &usage);
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.maxRssKb = usage.ru_maxrss;
    return result;
}

// The folder of the running benchmark, where the program is built beside it.
inline std::string ExeDirectory() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

} // namespace bench
