// nimbara-simdevice: writes simulated devices for the demo, the tests and the benchmarks.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup_writer.h"
#include "device_folder.h"
#include "device_summary.h"
#include "platform/text_format.h"
#include "sim_device_builder.h"

namespace {

using namespace nimbara;
using namespace nimbara::simdev;

constexpr int kExitUsage = 2;

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: nimbara-simdevice make DIR [--files N]\n"
                 "       nimbara-simdevice backup DEVICE_DIR BACKUP_ROOT [--ios VERSION]\n"
                 "\n"
                 "  make DIR             write the demo iPhone into DIR\n"
                 "  make DIR --files N   write a device whose media root holds N files\n"
                 "                       (0 to %d) in nested folders, for benchmarks; a\n"
                 "                       backup of it stores the same N files\n"
                 "\n"
                 "DIR may be missing, empty or an earlier simulated device, which is replaced.\n"
                 "A folder with other contents is left alone.\n"
                 "\n"
                 "  backup DEVICE_DIR BACKUP_ROOT\n"
                 "                       write a backup of the simulated device in DEVICE_DIR\n"
                 "                       to BACKUP_ROOT/<UDID>, replacing an earlier one\n"
                 "  --ios VERSION        back up as if the device ran this iOS version; from\n"
                 "                       10 on the backup has Manifest.db and subfolders,\n"
                 "                       before it Manifest.mbdb and flat files\n",
                 kMaxLargeTreeFiles);
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "nimbara-simdevice: %s\n\n", message.c_str());
    printUsage(stderr);
    return kExitUsage;
}

struct MakeOptions {
    std::string dir;
    std::optional<int> files;
};

// Parses the arguments after "make"; an error text on failure.
std::optional<std::string> parseMake(const std::vector<std::string_view>& args,
                                     MakeOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::optional<std::string_view> count;
        if (arg == "--files") {
            if (i + 1 == args.size()) {
                return "--files needs a number";
            }
            count = args[++i];
        } else if (arg.substr(0, 8) == "--files=") {
            count = arg.substr(8);
        } else if (!arg.empty() && arg.front() == '-') {
            return "unknown option " + std::string(arg);
        } else if (options.dir.empty()) {
            options.dir = std::string(arg);
            continue;
        } else {
            return "more than one folder given";
        }
        if (options.files) {
            return "--files given twice";
        }
        auto n = parseInt64(*count);
        if (!n || *n < 0 || *n > kMaxLargeTreeFiles) {
            return "--files needs a number from 0 to " + std::to_string(kMaxLargeTreeFiles) +
                   ", not \"" + std::string(*count) + "\"";
        }
        options.files = static_cast<int>(*n);
    }
    if (options.dir.empty()) {
        return "no folder given";
    }
    return std::nullopt;
}

int runMake(const MakeOptions& options) {
    std::string error;
    const bool ok = installDevice(
        options.dir,
        [&options](const std::filesystem::path& dir, std::string* why) {
            return options.files ? makeLargeTreeDevice(dir, *options.files, why)
                                 : makeDemoDevice(dir, why);
        },
        &error);
    if (!ok) {
        std::fprintf(stderr, "nimbara-simdevice: %s\n", error.c_str());
        return 1;
    }
    const DeviceSummary summary = summarizeDevice(options.dir);
    std::printf("Wrote the %s device to %s\n%s", options.files ? "large-tree" : "demo",
                options.dir.c_str(), describeSummary(summary).c_str());
    return 0;
}

struct BackupArgs {
    std::string deviceDir;
    std::string backupRoot;
    BackupOptions options;
};

// Parses the arguments after "backup"; an error text on failure.
std::optional<std::string> parseBackup(const std::vector<std::string_view>& args,
                                       BackupArgs& parsed) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::optional<std::string_view> version;
        if (arg == "--ios") {
            if (i + 1 == args.size()) {
                return "--ios needs a version";
            }
            version = args[++i];
        } else if (arg.substr(0, 6) == "--ios=") {
            version = arg.substr(6);
        } else if (!arg.empty() && arg.front() == '-') {
            return "unknown option " + std::string(arg);
        } else if (parsed.deviceDir.empty()) {
            parsed.deviceDir = std::string(arg);
            continue;
        } else if (parsed.backupRoot.empty()) {
            parsed.backupRoot = std::string(arg);
            continue;
        } else {
            return "more than two folders given";
        }
        if (parsed.options.iosVersionOverride) {
            return "--ios given twice";
        }
        const std::string text(*version);
        if (!parseInt64(text.substr(0, text.find('.')))) {
            return "--ios needs a version such as 9.3.5 or 12.4, not \"" + text + "\"";
        }
        parsed.options.iosVersionOverride = text;
    }
    if (parsed.deviceDir.empty()) {
        return "no device folder given";
    }
    if (parsed.backupRoot.empty()) {
        return "no backup folder given";
    }
    return std::nullopt;
}

int runBackup(const BackupArgs& args) {
    if (!isSimulatedDevice(args.deviceDir)) {
        std::fprintf(stderr, "nimbara-simdevice: %s is not a simulated device\n",
                     args.deviceDir.c_str());
        return 1;
    }
    const BackupResult result = writeBackup(args.deviceDir, args.backupRoot, args.options);
    if (!result.ok) {
        std::fprintf(stderr, "nimbara-simdevice: %s\n", result.error.c_str());
        return 1;
    }
    std::printf(
        "Wrote the backup to %s\n%d files, %d folders, %s\n", result.folder.c_str(), result.files,
        result.folders,
        result.legacyLayout ? "Manifest.mbdb with flat files" : "Manifest.db with subfolders");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        return usageError("no command given");
    }
    if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        printUsage(stdout);
        return 0;
    }
    try {
        if (args[0] == "make") {
            MakeOptions options;
            if (auto problem = parseMake({args.begin() + 1, args.end()}, options)) {
                return usageError(*problem);
            }
            return runMake(options);
        }
        if (args[0] == "backup") {
            BackupArgs parsed;
            if (auto problem = parseBackup({args.begin() + 1, args.end()}, parsed)) {
                return usageError(*problem);
            }
            return runBackup(parsed);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nimbara-simdevice: %s\n", e.what());
        return 1;
    }
    return usageError("unknown command \"" + std::string(args[0]) + "\"");
}
