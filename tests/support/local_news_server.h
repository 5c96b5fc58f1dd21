// The local news server that scripts/newsd runs for the end-to-end tests.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// The source tree, found from this header's own place in it.
inline std::string SourceRoot() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
}

// Runs scripts/newsd with the arguments; its standard output, trimmed.
inline std::string Newsd(const std::string& arguments) {
    const std::string command = SourceRoot() + "/scripts/newsd " + arguments + " 2>/dev/null";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

// Runs scripts/newsd for its effect; true when it succeeded.
inline bool NewsdSucceeds(const std::string& arguments) {
    const std::string command = SourceRoot() + "/scripts/newsd " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

inline int NewsdPort() {
    const int port = std::atoi(Newsd("port").c_str());
    return port > 0 ? port : 119;
}

// A group name no earlier run has used: the server keeps its groups.
inline std::string UniqueGroupName(const std::string& prefix) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return prefix + ".t" + std::to_string(::getpid()) + "x" +
           std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
