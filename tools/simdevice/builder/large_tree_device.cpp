// Devices with very many media files, for benchmarks of the scans. The files are holes of the
// right size: creating 200,000 of them writes almost nothing. The device's backup holds the same
// files (MediaDomain, "Media/LargeTree/..."), as second names of the media files, so a backup of
// the device lists and stores every one of them at no cost in disk space.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "backup_source.h"
#include "device_path.h"
#include "folder_steps.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

constexpr int kFilesPerFolder = 100;
constexpr int kFoldersPerFolder = 100;

// Mostly small files, with one in every 997 above 5 MB.
std::uint64_t sizeOfFile(int i) {
    if (i % 997 == 996) {
        return 5200000 + static_cast<std::uint64_t>(i % 7) * 1300000;
    }
    return 200 + static_cast<std::uint64_t>((i * 7919) % 180000);
}

void makeHole(const fs::path& file, std::uint64_t size) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw fs::filesystem_error("cannot create file", file,
                                   std::error_code(errno, std::generic_category()));
    }
    const int rc = ::ftruncate(fd, static_cast<off_t>(size));
    const int err = errno;
    ::close(fd);
    if (rc != 0) {
        throw fs::filesystem_error("cannot size file", file,
                                   std::error_code(err, std::generic_category()));
    }
}

}  // namespace

bool makeLargeTreeDevice(const fs::path& dir, int files, std::string* error) {
    try {
        if (files < 0 || files > kMaxLargeTreeFiles) {
            throw std::invalid_argument("the number of files must be from 0 to " +
                                        std::to_string(kMaxLargeTreeFiles));
        }
        SimDeviceBuilder b(dir);
        b.setValue(md::sim::kGlobalDomain, "DeviceName", "Benchmark iPhone");
        b.setAssetMetrics(0, 0, 0, 0, 0);
        // Three levels: /LargeTree/Annn/Bnnn/file-nnnnnn.dat, a hundred entries a folder.
        const fs::path root = b.mediaPath("/LargeTree");
        const fs::path backupRoot =
            backupSourcePath(dir, kLargeTreeBackupDomain, "Media/LargeTree");
        checkResolvedInside(dir / md::sim::kBackupSourceDir, backupRoot);
        fs::path folder;
        fs::path backupFolder;
        for (int i = 0; i < files; ++i) {
            if (i % kFilesPerFolder == 0) {
                const int leaf = i / kFilesPerFolder;
                char name[32];
                std::snprintf(name, sizeof name, "A%03d/B%03d", leaf / kFoldersPerFolder,
                              leaf % kFoldersPerFolder);
                folder = root / name;
                backupFolder = backupRoot / name;
                makeFolders(folder);
                makeFolders(backupFolder);
            }
            char name[32];
            std::snprintf(name, sizeof name, "file-%06d.dat", i);
            makeHole(folder / name, sizeOfFile(i));
            linkFile(folder / name, backupFolder / name);
        }
        if (!b.write()) {
            throw std::runtime_error("cannot write device.plist in " + dir.string());
        }
        return true;
    } catch (const std::exception& e) {
        if (error) {
            *error = e.what();
        }
        return false;
    }
}

}  // namespace nimbara::simdev
