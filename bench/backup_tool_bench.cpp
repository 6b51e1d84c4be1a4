// Measures the backup tool (nimbara-backup --backup) over a simulated device with many files,
// beside `cp -a` of the same files in the same run (the floor: every file opened, copied and
// closed once, with its attributes). Both work on tmpfs (/dev/shm, else the scratch folder), so
// that the figures are the programs' own and not a disk's.
//
//   nimbara-bench-backup-tool [--files N] [--runs R] [--tool PATH]
//       N from 0 to 200000 (default 20000); each figure is the best of R runs (default 3);
//       PATH: the nimbara-backup to time (default: the one of this build), so that an older
//       build's tool can be timed by the same benchmark.
//
// Each run writes into an empty folder: cp -a into a new one, the tool into an empty backup root
// (the device's folder and the root lie in the private folder the benchmark makes and removes).
//
// Goal: the tool takes at most 1.3 times as long as cp -a.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "bench_options.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/scratch_dir.h"
#include "sim_device_builder.h"

extern char** environ;

namespace {

using nimbara::bench::parseNumber;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kGoalRatio = 1.3;

struct Options {
    int files = 20000;
    int runs = 3;
    std::string tool;  // empty: the one of this build
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const char* value = argv[++i];
        if (arg == "--tool") {
            options.tool = value;
            continue;
        }
        std::optional<int> n;
        if (arg == "--files") {
            n = parseNumber(value, 0, nimbara::simdev::kMaxLargeTreeFiles);
            options.files = n.value_or(options.files);
        } else if (arg == "--runs") {
            n = parseNumber(value, 1, 100);
            options.runs = n.value_or(options.runs);
        }
        if (!n) {
            return false;
        }
    }
    return true;
}

// nimbara-backup of this build: beside this program, or in the build folder above bench/.
std::string toolOfThisBuild() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    for (const fs::path& dir : {self.parent_path(), self.parent_path().parent_path()}) {
        const fs::path tool = dir / "nimbara-backup";
        if (::access(tool.c_str(), X_OK) == 0) {
            return tool.string();
        }
    }
    return {};
}

// A private folder on tmpfs (mode 0700), else below the scratch folder; empty when neither can
// be made.
fs::path makePrivateFolder() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec)) {
        std::string pattern = "/dev/shm/nimbara-bench-backup-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            return pattern;
        }
    }
    return nimbara::scratchFolder("bench-backup-tool");
}

// The environment of this process with `extra` ("NAME=value") in place of any of those names.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& x) {
            const std::size_t name = x.find('=') + 1;
            return entry.compare(0, name, x, 0, name) == 0;
        });
        if (!replaced) {
            entries.push_back(entry);
        }
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

struct Finished {
    bool ok = false;
    double seconds = 0;
    std::string lastLine;  // of the program's standard output
};

// Runs `args` (no shell), its standard output read to the end, and times it from the start to
// its exit.
Finished runTimed(const std::vector<std::string>& args, const std::vector<std::string>& env) {
    Finished finished;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return finished;
    }
    std::vector<std::string> argStore = args;
    std::vector<char*> argv;
    for (std::string& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStore = env;
    std::vector<char*> envp;
    for (std::string& e : envStore) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const Clock::time_point start = Clock::now();
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return finished;
    }
    std::string output;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        output.append(buffer, static_cast<std::size_t>(n));
        if (output.size() > 65536) {
            output.erase(0, output.size() - 4096);  // only the last line is wanted
        }
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    finished.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    finished.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    while (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    const std::size_t lineStart = output.rfind('\n');
    finished.lastLine = lineStart == std::string::npos ? output : output.substr(lineStart + 1);
    return finished;
}

// The fastest of `runs` runs of `args`, each into an empty `output`; nullopt when one failed or
// its last line did not start with `expectedStart` (`why` then says what it printed).
std::optional<double> best(int runs, const std::vector<std::string>& args,
                           const std::vector<std::string>& env, const fs::path& output,
                           const std::string& expectedStart, std::string& why) {
    std::optional<double> fastest;
    for (int i = 0; i < runs; ++i) {
        std::error_code ec;
        fs::remove_all(output, ec);  // every run writes into an empty place
        const Finished run = runTimed(args, env);
        if (!run.ok || run.lastLine.rfind(expectedStart, 0) != 0) {
            why = args[0] + " failed: " + run.lastLine;
            return std::nullopt;
        }
        fastest = std::min(fastest.value_or(run.seconds), run.seconds);
    }
    return fastest;
}

std::string udidOf(const fs::path& device) {
    const auto plist =
        nimbara::PlistValue::readFile((device / nimbara::md::sim::kDevicePlist).string());
    if (!plist) {
        return {};
    }
    return (*plist)[nimbara::md::sim::kKeyLockdown][nimbara::md::sim::kGlobalDomain]
                   ["UniqueDeviceID"]
                       .toString();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: nimbara-bench-backup-tool [--files N] [--runs R] [--tool PATH]  (N "
                     "from 0 to %d, R from 1 to 100)\n",
                     nimbara::simdev::kMaxLargeTreeFiles);
        return 2;
    }
    const std::string tool = options.tool.empty() ? toolOfThisBuild() : options.tool;
    if (tool.empty()) {
        std::fprintf(stderr, "cannot find nimbara-backup: give it with --tool PATH\n");
        return 2;
    }
    const fs::path folder = makePrivateFolder();
    if (folder.empty()) {
        std::fprintf(stderr, "cannot make a private folder\n");
        return 1;
    }
    const fs::path devices = folder / "devices";
    const fs::path device = devices / "phone";
    std::string error;
    int rc = 0;
    std::error_code ec;
    fs::create_directories(devices, ec);
    if (!nimbara::simdev::makeLargeTreeDevice(device, options.files, &error)) {
        std::fprintf(stderr, "cannot make the device: %s\n", error.c_str());
        rc = 1;
    }
    const std::string udid = rc == 0 ? udidOf(device) : std::string();
    if (rc == 0 && udid.empty()) {
        std::fprintf(stderr, "the device has no UniqueDeviceID\n");
        rc = 1;
    }

    if (rc == 0) {
        const fs::path copy = folder / "cp-copy";
        const fs::path backups = folder / "backups";
        const std::vector<std::string> cp = {
            "cp", "-a", (device / nimbara::md::sim::kBackupSourceDir).string(), copy.string()};
        const std::vector<std::string> backup = {tool, "--backup", "--target", udid};
        const std::vector<std::string> env =
            environmentWith({"NIMBARA_SIMULATED_DEVICES=" + devices.string(),
                             "NIMBARA_BACKUP_ROOT=" + backups.string()});
        std::string why;
        const std::optional<double> floor =
            best(options.runs, cp, environmentWith({}), copy, "", why);
        const std::optional<double> tooled =
            floor ? best(options.runs, backup, env, backups,
                         "Backed up " + std::to_string(options.files) + " files", why)
                  : std::nullopt;
        if (!floor || !tooled) {
            std::fprintf(stderr, "the benchmark could not be completed: %s\n", why.c_str());
            rc = 1;
        } else {
            const double ratio = *floor > 0 ? *tooled / *floor : 0;
            std::printf("files on the device:       %d (best of %d runs, on %s)\n", options.files,
                        options.runs, folder.parent_path().c_str());
            std::printf("tool:                      %s\n", tool.c_str());
            std::printf("cp -a (floor):             %8.3f s\n", *floor);
            std::printf("nimbara-backup --backup:   %8.3f s\n", *tooled);
            std::printf("goal %-40s %s (%.2fx cp -a)\n",
                        "backup <= 1.3x cp -a:", ratio <= kGoalRatio ? "goal met" : "not met",
                        ratio);
        }
    }
    fs::remove_all(folder, ec);
    return rc;
}
