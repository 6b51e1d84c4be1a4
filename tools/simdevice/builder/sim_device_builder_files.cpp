// The file side of the builder: media files, container files and crash logs.
#include <functional>
#include <string>

#include "device_path.h"
#include "file_writer.h"
#include "folder_steps.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;
namespace layout = md::sim;

namespace {

// Writes into `local`, which lies below `area`, creating the folders on the way; refuses links
// that would lead elsewhere before anything is created.
void writeInside(const fs::path& area, const fs::path& local, const std::string& contents) {
    checkResolvedInside(area, local);
    writeBytes(local, contents);
}

void fillInside(const fs::path& area, const fs::path& local, std::uint64_t size) {
    checkResolvedInside(area, local);
    writeFiller(local, size, static_cast<std::uint32_t>(std::hash<std::string>{}(local.string())));
}

void makeDirInside(const fs::path& area, const fs::path& local) {
    checkResolvedInside(area, local);
    makeFolders(local);
}

// The text of a crash report: a one-line JSON header and a body, cut or padded to `size`.
std::string crashReportText(const std::string& devicePath, std::uint64_t size) {
    if (size == 0) {
        return {};
    }
    const std::string name = fs::path(devicePath).filename().string();
    std::string text =
        "{\"bug_type\":\"109\",\"timestamp\":\"2026-11-30 10:15:00.00 +0100\",\"os_version\":"
        "\"iPhone OS 12.4.1 (16G102)\",\"incident_id\":\"" +
        name + "\"}\n";
    text +=
        "Incident Identifier: 6E1C2F3A-0B4D-4C8E-9A7F-1D2E3F4A5B6C\n"
        "Hardware Model:      iPhone10,4\n"
        "Exception Type:  EXC_CRASH (SIGKILL)\n"
        "Termination Reason: Namespace SPRINGBOARD, Code 0x8badf00d\n\n"
        "Thread 0 name:  Dispatch queue: com.apple.main-thread\n";
    int frame = 0;
    while (text.size() < size) {
        text += std::to_string(frame % 40) + "   libsystem_kernel.dylib        0x00000001" +
                std::to_string(100000 + frame * 37) + " mach_msg_trap + 8\n";
        ++frame;
    }
    text.resize(static_cast<std::size_t>(size));
    return text;
}

}  // namespace

SimDeviceBuilder& SimDeviceBuilder::addMediaFile(const std::string& devicePath,
                                                 const std::string& contents, std::int64_t mtime) {
    const fs::path local = confinedPath(dir_ / layout::kMediaDir, devicePath);
    writeInside(dir_ / layout::kMediaDir, local, contents);
    setModificationTime(local, mtime);
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::addMediaFileOfSize(const std::string& devicePath,
                                                       std::uint64_t size, std::int64_t mtime) {
    const fs::path local = confinedPath(dir_ / layout::kMediaDir, devicePath);
    fillInside(dir_ / layout::kMediaDir, local, size);
    setModificationTime(local, mtime);
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::addMediaDir(const std::string& devicePath) {
    makeDirInside(dir_ / layout::kMediaDir, mediaPath(devicePath));
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::addContainerFile(const std::string& bundleId,
                                                     const std::string& devicePath,
                                                     std::uint64_t size) {
    const fs::path area = appPath(bundleId) / layout::kAppContainer;
    fillInside(area, confinedPath(area, devicePath), size);
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::addContainerText(const std::string& bundleId,
                                                     const std::string& devicePath,
                                                     const std::string& contents) {
    const fs::path area = appPath(bundleId) / layout::kAppContainer;
    writeInside(area, confinedPath(area, devicePath), contents);
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::addContainerDir(const std::string& bundleId,
                                                    const std::string& devicePath) {
    const fs::path area = appPath(bundleId) / layout::kAppContainer;
    makeDirInside(area, confinedPath(area, devicePath));
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::addCrashLog(const std::string& devicePath, std::uint64_t size) {
    const fs::path area = dir_ / layout::kCrashesDir;
    const fs::path local = confinedPath(area, devicePath);
    if (size > kSparseThreshold) {
        fillInside(area, local, size);
    } else {
        writeInside(area, local, crashReportText(devicePath, size));
    }
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::setITunesPrefs(const std::vector<std::uint8_t>& bytes) {
    return addMediaFile("/iTunes_Control/iTunes/iTunesPrefs",
                        std::string(bytes.begin(), bytes.end()));
}

}  // namespace nimbara::simdev
