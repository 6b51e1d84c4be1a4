// What a simulated device folder holds, counted from the disk: for the tool's report and for
// tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace nimbara::simdev {

struct DeviceSummary {
    std::string deviceName;
    std::string udid;
    std::uint64_t mediaFiles = 0;
    std::uint64_t mediaFolders = 0;
    std::uint64_t mediaBytes = 0;  // sizes as the device reports them
    std::uint64_t diskBytes = 0;   // blocks really used (files are mostly sparse)
    std::uint64_t userApps = 0;
    std::uint64_t systemApps = 0;
    std::uint64_t crashLogs = 0;
};

// Reads device.plist and walks media/, apps/ and crashes/. Throws
// std::filesystem::filesystem_error (folder_steps.h) when a folder can't be read.
DeviceSummary summarizeDevice(const std::filesystem::path& dir);

// "Nora's iPhone (udid): 63 media files in 40 folders, 211.3 MB ..." over several lines.
std::string describeSummary(const DeviceSummary& s);

}  // namespace nimbara::simdev
