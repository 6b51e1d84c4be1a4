// Measures the quick scan's large-file walk (and the large-file finder's walk of the user files,
// which goes through the same device walk) over a simulated device with many media files, beside
// `find DIR -printf '%y %s %p\n'` over the same folder in the same run (the floor: one listing per
// folder and one attribute read per entry, as the walk asks of the device). Both are measured
// with the device folder where it is usually made and again four folder levels deeper, since the
// walk must cost the same wherever the device folder lies.
//
//   nimbara-bench-large-files [--files N] [--runs R]
//       N from 0 to 200000 (default 20000); each figure is the best of R runs (default 3).
//
// Goals: the walk reaches at least half of find's files per second at both depths and takes at
// most 1.3 times find's time there, the deeper folder costs at most 10% more, and the walk's peak
// memory for all files is no more than 1 MB above its peak for a tenth of them (memory flat in the
// number of files).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_options.h"
#include "cleanup/large_file_scan.h"
#include "cleanup/quick_scan_engine.h"
#include "device/afc_service.h"
#include "device/device_manager.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/scratch_dir.h"
#include "sim_device_builder.h"

extern char** environ;

namespace {

using nimbara::bench::parseNumber;
using nimbara::bench::statusKb;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kWalkShareOfFind = 0.5;     // at least half of find's files per second
constexpr double kWalkTimeOverFind = 1.3;    // at most 1.3 times find's time
constexpr double kDeeperSlowdown = 0.10;     // four levels deeper: at most 10% slower
constexpr long kFlatMemorySlackKb = 1024;    // all files: at most 1 MB above a tenth of them
constexpr int kFilesForMemoryCheck = 20000;  // a tenth is the first 100 folders of 100 files

struct Options {
    int files = 20000;
    int runs = 3;
};

struct Figure {
    double seconds = 0;
    long files = 0;    // the files on the device: both walks visit every one of them
    long entries = 0;  // what find printed (files and folders)
    long peakKb = 0;   // peak resident memory of the process that did the work
    double perSecond() const { return seconds > 0 ? files / seconds : 0.0; }
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        std::optional<int> n;
        if (arg == "--files") {
            n = parseNumber(argv[++i], 0, nimbara::simdev::kMaxLargeTreeFiles);
            if (n) {
                options.files = *n;
            }
        } else if (arg == "--runs") {
            n = parseNumber(argv[++i], 1, 100);
            if (n) {
                options.runs = *n;
            }
        }
        if (!n) {
            return false;
        }
    }
    return true;
}

// Starts the peak resident memory afresh at the current size (false when the kernel can't).
bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// Runs `find <folder> -printf '%y %s %p\n'` as a child process (no shell), reading and counting
// the lines it prints; nullopt when it could not be run. Its peak memory is read from its status
// while it runs (the one the kernel reports at its end also counts this process, which started
// it).
std::optional<Figure> runFind(const fs::path& folder, int files) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::string dir = folder.string();
    std::string printfArg = "-printf";
    std::string format = "%y %s %p\n";
    std::string name = "find";
    char* args[] = {name.data(), dir.data(), printfArg.data(), format.data(), nullptr};
    pid_t pid = -1;
    const Clock::time_point start = Clock::now();
    const int spawned = posix_spawnp(&pid, "find", &actions, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return std::nullopt;
    }
    Figure figure;
    figure.files = files;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(out[0], buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        figure.entries += std::count(buffer.begin(), buffer.begin() + n, '\n');
        figure.peakKb = std::max(figure.peakKb, statusKb("VmHWM", std::to_string(pid)));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    figure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return figure;
}

// The best (fastest) of `runs` figures.
Figure best(int runs, const std::function<std::optional<Figure>()>& measure, bool& ok) {
    std::optional<Figure> fastest;
    for (int i = 0; i < runs; ++i) {
        const std::optional<Figure> figure = measure();
        if (!figure) {
            ok = false;
            return {};
        }
        if (!fastest || figure->seconds < fastest->seconds) {
            fastest = figure;
        }
    }
    return *fastest;
}

// How long `work` took over a device of `files` files, with this process's peak memory.
Figure timed(int files, const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    work();
    Figure figure;
    figure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figure.files = files;
    figure.peakKb = statusKb("VmHWM");
    return figure;
}

// The large-file walk of the whole device at `index`: time, entries (the files on the device)
// and the peak memory of this process.
Figure runWalk(int index, int files, std::size_t* largeFiles, std::uint64_t* largeBytes) {
    QuickScanOptions options;
    options.deviceIndex = index;
    QuickScanEngine engine(options, {});
    const Figure figure = timed(files, [&] { engine.QuickScanLargeFileFromUserData(); });
    if (largeFiles) {
        *largeFiles = engine.result().userDataBigFileArray.size();
    }
    if (largeBytes) {
        *largeBytes = engine.result().bigFileSize;
    }
    return figure;
}

// The large-file finder's walk of the user files of the device at `index`.
Figure runFinderWalk(int index, int files) {
    nimbara::cleanup::LargeFileScanOptions options;
    options.deviceIndex = index;
    nimbara::cleanup::LargeFileScanEngine engine(options, {});
    return timed(files, [&] { engine.scanFindLargeFileWithInUserData(); });
}

// The walk of the first tenth of the large tree ("/LargeTree/A000", 10,000 files).
void walkTenth(int index) {
    QuickScanOptions options;
    options.deviceIndex = index;
    QuickScanEngine engine(options, {});
    amd::AfcService afc;
    if (afc.Init(index) == 0) {
        engine.userdatatraverseDirWithpath(QStringLiteral("/LargeTree/A000"), afc);
    }
}

int attachedIndex(nimbara::md::sim::SimulatedLibrary& library, const fs::path& dir) {
    amd::DeviceManager& manager = amd::DeviceManager::GetInstance();
    const std::size_t before = manager.Indices().size();
    if (!library.attach(dir.string())) {
        return -1;
    }
    // The device manager binds a device on its own worker: wait for it (at most 10 s).
    for (int i = 0; i < 1000 && (manager.Indices().size() == before || !manager.BindingIdle());
         ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (manager.Indices().size() == before) {
        return -1;
    }
    return manager.Indices().back();
}

void printFigure(const char* what, const Figure& f) {
    // A process that ended before its memory could be read has no figure.
    const std::string peak = f.peakKb > 0 ? std::to_string(f.peakKb) + " KB" : "n/a";
    std::printf("%-34s %8.3f s %10.0f files/s   peak %10s\n", what, f.seconds, f.perSecond(),
                peak.c_str());
}

void printGoal(const std::string& goal, bool met, const std::string& detail) {
    std::printf("goal %-58s %s (%s)\n", (goal + ":").c_str(), met ? "met" : "not met",
                detail.c_str());
}

std::string ratioText(double value, const char* of) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f of %s", value, of);
    return text;
}

// The walk's time over find's, against the goal.
void printTimeGoal(const char* where, const Figure& walk, const Figure& find) {
    const double times = walk.seconds / find.seconds;
    char detail[64];
    std::snprintf(detail, sizeof detail, "%.2fx find's %.3f s", times, find.seconds);
    printGoal(std::string("walk at most 1.3x find's time, ") + where, times <= kWalkTimeOverFind,
              detail);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: nimbara-bench-large-files [--files N] [--runs R]  (N from 0 to %d, "
                     "R from 1 to 100)\n",
                     nimbara::simdev::kMaxLargeTreeFiles);
        return 2;
    }

    // The usual place, and one four folder levels deeper for the second half.
    const fs::path usualDir = nimbara::scratchFolder("bench-large-files");
    const fs::path deepParent = nimbara::scratchFolder("bench-deep/one/two/three");
    if (usualDir.empty() || deepParent.empty()) {
        std::fprintf(stderr, "cannot make a private scratch folder\n");
        return 1;
    }
    const fs::path deepDir = deepParent / "bench-large-files";
    std::string error;
    if (!nimbara::simdev::makeLargeTreeDevice(usualDir, options.files, &error)) {
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
        bool ok = true;
        std::size_t largeFiles = 0;
        std::uint64_t largeBytes = 0;
        Figure findUsual, walkUsual, finderUsual, findDeep, walkDeep;
        long tenthKb = -1;
        long allKb = 0;

        int index = attachedIndex(*library, usualDir);
        if (index < 0) {
            std::fprintf(stderr, "cannot attach the simulated device\n");
            ok = false;
        } else {
            // Memory first, while the heap is fresh: a tenth of the files, then all of them,
            // both measured from the same starting point.
            const bool peakResets = resetPeakMemory();
            const long startKb = statusKb("VmRSS");
            if (peakResets && options.files >= kFilesForMemoryCheck) {
                walkTenth(index);
                tenthKb = statusKb("VmHWM") - startKb;
            }
            runWalk(index, options.files, &largeFiles, &largeBytes);
            allKb = statusKb("VmHWM") - startKb;

            findUsual = best(
                options.runs, [&] { return runFind(usualDir / "media", options.files); }, ok);
            walkUsual = best(
                options.runs, [&] { return runWalk(index, options.files, nullptr, nullptr); }, ok);
            finderUsual = best(
                options.runs, [&] { return runFinderWalk(index, options.files); }, ok);
            library->detach(usualDir.string());
        }

        std::error_code ec;
        if (ok) {
            fs::rename(usualDir, deepDir, ec);
            index = ec ? -1 : attachedIndex(*library, deepDir);
            if (index < 0) {
                std::fprintf(stderr, "cannot move the device four levels deeper\n");
                ok = false;
            } else {
                findDeep = best(
                    options.runs, [&] { return runFind(deepDir / "media", options.files); }, ok);
                walkDeep = best(
                    options.runs, [&] { return runWalk(index, options.files, nullptr, nullptr); },
                    ok);
                library->detach(deepDir.string());
            }
        }

        if (!ok) {
            std::fprintf(stderr, "the benchmark could not be completed (is find installed?)\n");
            rc = 1;
        } else {
            std::printf("files on the device:               %d (best of %d runs)\n", options.files,
                        options.runs);
            std::printf("large files found:                 %zu (%llu bytes)\n", largeFiles,
                        static_cast<unsigned long long>(largeBytes));
            std::printf("lines find printed:                %ld\n", findUsual.entries);
            printFigure("find -printf, usual depth:", findUsual);
            printFigure("large-file walk, usual depth:", walkUsual);
            printFigure("finder's user-file walk, usual:", finderUsual);
            printFigure("find -printf, 4 levels deeper:", findDeep);
            printFigure("large-file walk, 4 levels deeper:", walkDeep);
            if (tenthKb >= 0) {
                std::printf(
                    "walk memory growth:                +%ld KB for a tenth of the files, "
                    "+%ld KB for all\n",
                    tenthKb, allKb);
            } else {
                std::printf("walk memory growth:                +%ld KB for all files\n", allKb);
            }

            char detail[64];
            if (options.files > 0) {
                const double usualShare = walkUsual.perSecond() / findUsual.perSecond();
                const double deepShare = walkDeep.perSecond() / findDeep.perSecond();
                const double slowdown = walkDeep.seconds / walkUsual.seconds - 1.0;
                printGoal("walk >= half of find's files/s, usual depth",
                          usualShare >= kWalkShareOfFind, ratioText(usualShare, "find"));
                const double finderShare = finderUsual.perSecond() / findUsual.perSecond();
                printGoal("finder's walk >= half of find's files/s",
                          finderShare >= kWalkShareOfFind, ratioText(finderShare, "find"));
                printGoal("walk >= half of find's files/s, 4 levels deeper",
                          deepShare >= kWalkShareOfFind, ratioText(deepShare, "find"));
                printTimeGoal("usual depth", walkUsual, findUsual);
                printTimeGoal("finder's walk", finderUsual, findUsual);
                printTimeGoal("4 levels deeper", walkDeep, findDeep);
                std::snprintf(detail, sizeof detail, "%+.1f%%", slowdown * 100.0);
                printGoal("walk 4 levels deeper at most 10% slower", slowdown <= kDeeperSlowdown,
                          detail);
            } else {
                std::printf("goal %-58s not measured (no files)\n", "walk speed:");
            }
            if (tenthKb >= 0) {
                std::snprintf(detail, sizeof detail, "%+ld KB above a tenth", allKb - tenthKb);
                printGoal("walk memory flat in the number of files",
                          allKb - tenthKb <= kFlatMemorySlackKb, detail);
            } else {
                std::printf("goal %-58s not measured (needs --files %d or more)\n",
                            "walk memory flat in the number of files:", kFilesForMemoryCheck);
            }
        }
        manager.Reset();
        nimbara::md::setLibrary(nullptr);
    }
    std::error_code ec;
    fs::remove_all(usualDir, ec);
    fs::remove_all(deepDir, ec);
    nimbara::removeScratchRoot();
    return rc;
}
