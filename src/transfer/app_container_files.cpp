#include "transfer/app_container_files.h"

#include "cleanup/clean_removal_paths.h"
#include "filemanager/action_texts.h"
#include "ui/core/text_utilities.h"

namespace nimbara::transfer {

namespace {

const QString kCaution = QStringLiteral(
    "CAUTION: Only advanced users should delete files. Because device databases manage many "
    "files types, includes photos and videos, deleting files may lead to unexpected results.");

}  // namespace

ContainerSelection containerSelectionOf(const std::vector<ContainerFile>& files) {
    ContainerSelection selection;
    for (const ContainerFile& file : files) {
        if (!file || file->appBundleName().isEmpty()) {
            continue;
        }
        const std::string bundleId = file->appBundleName().toStdString();
        if (selection.files.empty()) {
            selection.bundleId = bundleId;
            selection.appName = file->appDisplayName();
        } else if (bundleId != selection.bundleId) {
            continue;
        }
        selection.files.push_back(file);
    }
    return selection;
}

std::optional<std::string> containerFolderOf(const std::string& madeFor, std::size_t depth) {
    if (depth == 0) {
        return std::string("/");
    }
    std::string path = madeFor;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();  // a folder's record ends in "/"
    }
    const auto parts = cleanup::plainComponents(path);
    if (!parts || parts->size() < depth) {
        return std::nullopt;
    }
    return cleanup::joinComponents({parts->begin(), parts->begin() + static_cast<long>(depth)});
}

filemanager::DeviceFsRoot containerRoot(const amd::DeviceTarget& target,
                                        const std::string& bundleId) {
    return {target, bundleId};
}

std::vector<filemanager::FsRemovalItem> removalPlanOf(const ContainerSelection& selection) {
    std::vector<filemanager::FsRemovalItem> plan;
    for (const ContainerFile& file : selection.files) {
        plan.push_back({file->devicePath(), false});
    }
    return plan;
}

std::vector<filemanager::FsExportItem> exportPlanOf(const ContainerSelection& selection) {
    std::vector<filemanager::FsExportItem> plan;
    for (const ContainerFile& file : selection.files) {
        plan.push_back({file->devicePath(), false});
    }
    return plan;
}

QString containerRemovalText(const ContainerSelection& selection) {
    std::vector<QString> names;
    for (const ContainerFile& file : selection.files) {
        names.push_back(file->fileName());
    }
    const QString app = selection.appName.isEmpty() ? QStringLiteral("the app") : selection.appName;
    QString what;
    if (names.size() == 1) {
        what = QStringLiteral("%1 will be deleted from the files of %2 on the device.")
                   .arg(filemanager::namesText(names), app);
    } else {
        what = QStringLiteral("%1 files will be deleted from the files of %2 on the device: %3.")
                   .arg(QString::number(names.size()), app, filemanager::namesText(names));
    }
    return what + QStringLiteral("\n\n") + kCaution;
}

QString containerReplaceQuestion(const QString& fileName, const QString& appName) {
    return QStringLiteral(
               "A file named \u201c%1\u201d is already in this folder of %2 on your device. Do "
               "you want to replace it?")
        .arg(fileName, appName.isEmpty() ? QStringLiteral("the app") : appName);
}

std::shared_ptr<PRAppDirTreeNode> containerFileRecord(const std::string& devicePath,
                                                      std::uint64_t size, const QString& appName,
                                                      const std::string& bundleId) {
    auto record = std::make_shared<PRAppDirTreeNode>();
    record->setDevicePath(devicePath);
    record->setFileType(QStringLiteral("FILE"));
    record->setFileSize(shell::size_to_unit(size).trimmed());
    record->setAppDisplayName(appName);
    record->setAppBundleName(QString::fromStdString(bundleId));
    return record;
}

}  // namespace nimbara::transfer
