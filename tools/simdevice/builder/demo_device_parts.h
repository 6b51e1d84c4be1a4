// The parts of the demo iPhone, one file each (demo_device*.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "sim_device_builder.h"

namespace nimbara::simdev::demo {

inline constexpr std::uint64_t kKB = 1000;
inline constexpr std::uint64_t kMB = 1000 * kKB;

// Seconds since 1970 of a UTC date and time.
std::int64_t utc(int year, unsigned month, unsigned day, int hour = 12, int minute = 0);
// Leading bytes of an SQLite database followed by filler, `size` bytes in all.
std::string sqliteLike(std::size_t size, std::uint32_t seed);

// The bytes of the music and the videos of the media library whose files are on the device.
struct LibraryBytes {
    std::int64_t music = 0;
    std::int64_t movies = 0;
};
// Photos, music, books, recordings, downloads and the leftovers of syncs and photo edits;
// returns what the media library's files on the device take.
LibraryBytes addMedia(SimDeviceBuilder& b);
// The sizes the installation service reports for the apps (bundle and data together).
struct AppBytes {
    std::int64_t user = 0;
    std::int64_t all = 0;  // user, system and every other kind
};
// The user and system apps with their containers.
AppBytes addApps(SimDeviceBuilder& b);
// Crash reports in nested folders, one of them empty.
void addCrashLogs(SimDeviceBuilder& b);
// Deep, empty and hidden folders and empty files on the media root.
void addFileSystemCorners(SimDeviceBuilder& b);

}  // namespace nimbara::simdev::demo
