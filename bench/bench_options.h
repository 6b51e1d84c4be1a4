// What the benchmarks share: reading the command line and the memory figures of a process.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "sim_device_builder.h"

namespace nimbara::bench {

// `text` as a whole decimal number from `low` to `high`; nothing for anything else.
inline std::optional<int> parseNumber(const char* text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || n < low || n > high) {
        return std::nullopt;
    }
    return static_cast<int>(n);
}

// A line of /proc/<process>/status in KiB ("VmHWM", "VmRSS"); -1 when it cannot be read.
inline long statusKb(const std::string& key, const std::string& process = "self") {
    std::ifstream status("/proc/" + process + "/status");
    std::string line;
    const std::string prefix = key + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
        }
    }
    return -1;
}

// Reads "--files N" (N from 0 to kMaxLargeTreeFiles) into `files`, the only option there is;
// false for anything else, `files` keeping its default when the option is not given.
inline bool parseFilesOption(int argc, char** argv, int& files) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg != "--files" || i + 1 >= argc) {
            return false;
        }
        char* end = nullptr;
        const long n = std::strtol(argv[++i], &end, 10);
        if (*end != '\0' || n < 0 || n > simdev::kMaxLargeTreeFiles) {
            return false;
        }
        files = static_cast<int>(n);
    }
    return true;
}

}  // namespace nimbara::bench
