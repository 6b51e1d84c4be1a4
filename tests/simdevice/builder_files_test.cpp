// Media files, container files and crash logs: exact sizes, cheap on disk, dated as asked.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "sim_device_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::readText;
using nimbara::test::TempDir;

namespace {

std::uint64_t blocksOnDisk(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0);
    return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

}  // namespace

TEST(SimDeviceBuilderFiles, ContentsAndSizesAreExact) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    b.addMediaFile("/Notes/hello.txt", std::string("hi\0there", 8));
    b.addMediaFile("/Notes/empty.txt", "");
    for (std::uint64_t size : {0ull, 1ull, 4097ull, 64ull * 1024, 64ull * 1024 + 1, 7000000ull}) {
        b.addMediaFileOfSize("/Sized/f" + std::to_string(size), size);
    }
    b.addMediaFile("/Notes/hello.txt", "replaced");

    EXPECT_EQ(readText(b.mediaPath("/Notes/hello.txt")), "replaced");
    EXPECT_EQ(fs::file_size(b.mediaPath("/Notes/empty.txt")), 0u);
    for (std::uint64_t size : {0ull, 1ull, 4097ull, 64ull * 1024, 64ull * 1024 + 1, 7000000ull}) {
        EXPECT_EQ(fs::file_size(b.mediaPath("/Sized/f" + std::to_string(size))), size);
    }
    // Filler is not all zeros (a scan reading the head sees data).
    const std::string head = readText(b.mediaPath("/Sized/f4097"));
    EXPECT_NE(head.find_first_not_of('\0'), std::string::npos);
}

TEST(SimDeviceBuilderFiles, LargeFilesAreSparse) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    b.addMediaFileOfSize("/DCIM/100APPLE/IMG_0010.MOV", 400000000);
    b.addContainerFile("com.example.app", "/Library/Caches/blob", 300000000);
    EXPECT_LT(blocksOnDisk(b.mediaPath("/DCIM/100APPLE/IMG_0010.MOV")), 1000000u);
    EXPECT_LT(blocksOnDisk(b.containerPath("com.example.app", "/Library/Caches/blob")), 1000000u);
}

TEST(SimDeviceBuilderFiles, ModificationTimesAreSet) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    b.addMediaFile("/DCIM/a.jpg", "a", 1577880000);  // 2020-01-01 12:00 UTC
    b.addMediaFileOfSize("/DCIM/b.mov", 100000, 1262347200);
    struct stat st {};
    ASSERT_EQ(::stat(b.mediaPath("/DCIM/a.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1577880000);
    ASSERT_EQ(::stat(b.mediaPath("/DCIM/b.mov").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1262347200);
}

TEST(SimDeviceBuilderFiles, CrashLogsHaveExactSizesInNestedFolders) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    b.addCrashLog("/top.ips", 300);
    b.addCrashLog("/Retired/Older/old.ips", 12);
    b.addCrashLog("/Assistant/SpeechLogs/empty.log", 0);
    b.addCrashLog("/Panics/big.ips", 2000000);
    EXPECT_EQ(fs::file_size(b.crashPath("/top.ips")), 300u);
    EXPECT_EQ(readText(b.crashPath("/top.ips")).front(), '{');  // a report, not filler
    EXPECT_EQ(fs::file_size(b.crashPath("/Retired/Older/old.ips")), 12u);
    EXPECT_EQ(fs::file_size(b.crashPath("/Assistant/SpeechLogs/empty.log")), 0u);
    EXPECT_EQ(fs::file_size(b.crashPath("/Panics/big.ips")), 2000000u);
}

TEST(SimDeviceBuilderFiles, ITunesPrefsKeepsItsBytes) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    std::vector<std::uint8_t> bytes(104);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(255 - i);
    }
    bytes[7] = 0;
    b.setITunesPrefs(bytes);
    const std::string stored = readText(b.mediaPath("/iTunes_Control/iTunes/iTunesPrefs"));
    EXPECT_EQ(std::vector<std::uint8_t>(stored.begin(), stored.end()), bytes);
}
