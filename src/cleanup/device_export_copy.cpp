#include "cleanup/device_export_copy.h"

#include <utility>

#include "backup/writers/export_file.h"
#include "cleanup/clean_export.h"
#include "cleanup/clean_removal_paths.h"
#include "cleanup/device_walk.h"
#include "device/afc_service.h"
#include "platform/file_name_fit.h"

namespace nimbara::cleanup {

namespace fs = std::filesystem;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

std::string shownDeviceName(const std::string& name, HiddenNameRule rule) {
    switch (rule) {
        case HiddenNameRule::Underscore:
            break;
        case HiddenNameRule::DropLeadingDot:
            return !name.empty() && name.front() == '.' ? name.substr(1) : name;
        case HiddenNameRule::DropLeadingDots: {
            const std::size_t first = name.find_first_not_of('.');
            return first == std::string::npos ? std::string() : name.substr(first);
        }
    }
    return name;
}

std::string localDeviceName(const std::string& name, HiddenNameRule rule) {
    return fittedFileName(
        backup::safeFileStem(qs(shownDeviceName(name, rule)), QStringLiteral("Untitled")), {}, {});
}

DeviceExportCopy::DeviceExportCopy(amd::AfcService* afc, CleanRunGuard& guard, fs::path root,
                                   HiddenNameRule names, FailSink failed, WrittenSink written)
    : afc_(afc),
      guard_(guard),
      root_(std::move(root)),
      names_(names),
      failed_(std::move(failed)),
      written_(std::move(written)) {}

void DeviceExportCopy::fail(const std::string& devicePath, int code, const QString& reason) const {
    if (failed_) {
        failed_(devicePath, code, reason);
    }
}

bool DeviceExportCopy::copyFile(const std::string& devicePath, const fs::path& into,
                                const std::string& name) {
    if (afc_ == nullptr) {
        fail(devicePath, -1, QStringLiteral("The device's files could not be reached."));
        return false;
    }
    const std::string fileName =
        name.empty() ? shownDeviceName(lastPathComponent(devicePath), names_) : name;
    std::uint64_t copied = 0;
    const backup::ExportWriteResult result = exportDeviceFileNamed(
        *afc_, devicePath, into, qs(fileName), [this] { return guard_.stopRequested(); }, &copied);
    if (!result) {
        if (!guard_.stopRequested()) {
            fail(devicePath, -1, QStringLiteral("The copy failed: %1").arg(qs(result.error)));
        }
        return false;
    }
    if (written_) {
        written_(result.path, copied);
    }
    return true;
}

std::optional<fs::path> DeviceExportCopy::makeFolder(const std::string& deviceFolder,
                                                     const std::vector<std::string>& localParts) {
    std::string why;
    std::optional<fs::path> folder = backup::makeFolderInside(root_, localParts, &why);
    if (!folder) {
        fail(deviceFolder, -1,
             QStringLiteral("The folder for the copy could not be made: %1").arg(qs(why)));
    }
    return folder;
}

std::vector<std::string> DeviceExportCopy::localNames(
    const std::vector<std::string>& deviceParts) const {
    std::vector<std::string> names;
    names.reserve(deviceParts.size());
    for (const std::string& part : deviceParts) {
        names.push_back(localDeviceName(part, names_));
    }
    return names;
}

std::optional<fs::path> DeviceExportCopy::mirrorFolder(
    const std::vector<std::string>& deviceParts) {
    return makeFolder(joinComponents(deviceParts), localNames(deviceParts));
}

void DeviceExportCopy::copyMirroredTree(const std::vector<std::string>& deviceParts) {
    copyTree(joinComponents(deviceParts), localNames(deviceParts), 0);
}

void DeviceExportCopy::copyTree(const std::string& deviceFolder,
                                const std::vector<std::string>& localParts, int depth) {
    if (afc_ == nullptr) {
        fail(deviceFolder, -1, QStringLiteral("The device's files could not be reached."));
        return;
    }
    const std::optional<fs::path> into = makeFolder(deviceFolder, localParts);
    if (!into) {
        return;
    }
    const auto names = afc_->ReadDirectory(deviceFolder);
    if (!names) {
        // A folder that went with its device is no failure of its own: the run's status tells.
        guard_.checkGone();
        if (!guard_.deviceGone()) {
            fail(deviceFolder, 1, QStringLiteral("The folder could not be read."));
        }
        return;
    }
    const std::string prefix = deviceFolder == "/" ? std::string() : deviceFolder;
    for (const std::string& name : *names) {
        if (guard_.stopRequested()) {
            return;
        }
        if (!isPlainEntryName(name)) {
            continue;
        }
        const std::string path = prefix + "/" + name;
        const auto info = afc_->GetFileKindAndSize(path);
        if (!info) {
            continue;  // gone meanwhile
        }
        if (info->kind == "S_IFDIR") {
            if (depth >= kMaxDepth) {
                fail(path, -1, QStringLiteral("The folder is nested too deeply."));
                continue;
            }
            std::vector<std::string> child = localParts;
            child.push_back(localDeviceName(name, names_));
            copyTree(path, child, depth + 1);
        } else if (info->kind == "S_IFREG") {
            copyFile(path, *into);
        }
        // Links and anything else are not copied.
    }
}

}  // namespace nimbara::cleanup
