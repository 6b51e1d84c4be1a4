// nimbara-simdevice: writes simulated devices for the demo, the tests and the benchmarks.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
                 "\n"
                 "  make DIR             write the demo iPhone into DIR\n"
                 "  make DIR --files N   write a device whose media root holds N files\n"
                 "                       (0 to %d) in nested folders, for benchmarks\n"
                 "\n"
                 "DIR may be missing, empty or an earlier simulated device, which is replaced.\n"
                 "A folder with other contents is left alone.\n",
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
    } catch (const std::exception& e) {
        std::fprintf(stderr, "nimbara-simdevice: %s\n", e.what());
        return 1;
    }
    return usageError("unknown command \"" + std::string(args[0]) + "\"");
}
