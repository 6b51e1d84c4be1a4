// Measures the quick scan's large-file walk over a simulated device with many media files, and
// a plain `find` over the same folder for comparison.
//
//   nimbara-bench-large-files [--files N]     N from 0 to 200000 (default 20000)
#include <sys/resource.h>

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "cleanup/quick_scan_engine.h"
#include "device/device_manager.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/scratch_dir.h"
#include "sim_device_builder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double perSecond(long count, Clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return seconds > 0 ? count / seconds : 0.0;
}

bool parseFiles(int argc, char** argv, int& files) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc) {
            char* end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || n < 0 || n > nimbara::simdev::kMaxLargeTreeFiles) {
                return false;
            }
            files = static_cast<int>(n);
        } else {
            return false;
        }
    }
    return true;
}

// Runs `find <folder> -type f` as a child process (no shell) and counts the files it prints.
long runFind(const fs::path& folder, Clock::duration& elapsed) {
    QProcess find;
    const Clock::time_point start = Clock::now();
    find.start(QStringLiteral("find"), {QString::fromStdString(folder.string()),
                                        QStringLiteral("-type"), QStringLiteral("f")});
    if (!find.waitForStarted() || !find.waitForFinished(-1)) {
        return -1;
    }
    elapsed = Clock::now() - start;
    return find.readAllStandardOutput().count('\n');
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int files = 20000;
    if (!parseFiles(argc, argv, files)) {
        std::fprintf(stderr, "usage: nimbara-bench-large-files [--files N]  (N from 0 to %d)\n",
                     nimbara::simdev::kMaxLargeTreeFiles);
        return 2;
    }

    const fs::path deviceDir = nimbara::scratchFolder("bench-large-files");
    if (deviceDir.empty()) {
        std::fprintf(stderr, "cannot make a private scratch folder\n");
        return 1;
    }
    std::string error;
    if (!nimbara::simdev::makeLargeTreeDevice(deviceDir, files, &error)) {
        std::fprintf(stderr, "cannot make the device: %s\n", error.c_str());
        nimbara::removeScratchRoot();
        return 1;
    }

    int rc = 0;
    {
        auto library = std::make_shared<nimbara::md::sim::SimulatedLibrary>();
        nimbara::md::setLibrary(library);
        amd::DeviceManager& manager = amd::DeviceManager::GetInstance();
        manager.Subscribe();
        if (!library->attach(deviceDir.string()) || manager.Indices().empty()) {
            std::fprintf(stderr, "cannot attach the simulated device\n");
            rc = 1;
        } else {
            const long rssBefore = peakRssKb();
            QuickScanOptions options;
            options.deviceIndex = manager.Indices().back();
            QuickScanEngine engine(options, {});
            const Clock::time_point start = Clock::now();
            engine.QuickScanLargeFileFromUserData();
            const Clock::duration walk = Clock::now() - start;
            std::printf("files on the device:        %d\n", files);
            std::printf("large files found:          %zu (%llu bytes)\n",
                        engine.result().userDataBigFileArray.size(),
                        static_cast<unsigned long long>(engine.result().bigFileSize));
            std::printf("large-file walk:            %.3f s, %.0f files/s\n",
                        std::chrono::duration<double>(walk).count(), perSecond(files, walk));
            std::printf("peak memory (ru_maxrss):    %ld KB (before the walk %ld KB)\n",
                        peakRssKb(), rssBefore);

            Clock::duration findTime{};
            const long found = runFind(deviceDir / nimbara::md::sim::kMediaDir, findTime);
            if (found < 0) {
                std::fprintf(stderr, "find could not be run\n");
                rc = 1;
            } else {
                std::printf("find -type f:               %.3f s, %.0f files/s (%ld files)\n",
                            std::chrono::duration<double>(findTime).count(),
                            perSecond(found, findTime), found);
            }
            library->detach(deviceDir.string());
        }
        manager.Reset();
        nimbara::md::setLibrary(nullptr);
    }
    std::error_code ec;
    fs::remove_all(deviceDir, ec);
    nimbara::removeScratchRoot();
    return rc;
}
