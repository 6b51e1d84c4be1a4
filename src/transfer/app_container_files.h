// What the transfer page does with the files of an app's container, as plain values taken on the
// GUI thread: the chosen files of one app, the container folder an outline folder stands for, the
// plans of a deletion and an export, and the texts of the questions asked before the device
// changes. The work itself is done by the device file engines (filemanager/device_fs_actions.h)
// over one connection to the app's container per job.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device_target.h"
#include "filemanager/device_fs_actions.h"
#include "ui/core/app_tree_nodes.h"

namespace nimbara::transfer {

using ContainerFile = std::shared_ptr<PRAppFileTreeNode>;

// Chosen files of one app: what a deletion or an export works on. A snapshot: later changes of
// the page's selection change nothing in it.
struct ContainerSelection {
    QString appName;  // the app's display name
    std::string bundleId;
    std::vector<ContainerFile> files;

    bool empty() const { return files.empty(); }
};

// The files among `files` of the first one's app, in the given order (entries of other apps, or
// of no app, are left out).
ContainerSelection containerSelectionOf(const std::vector<ContainerFile>& files);

// The container folder an outline folder `depth` levels below its app stands for, told from the
// device path of the record it was made for: its first `depth` components ("/" for the app
// itself). nullopt when the path is no plain device path or has fewer components.
std::optional<std::string> containerFolderOf(const std::string& madeFor, std::size_t depth);

filemanager::DeviceFsRoot containerRoot(const amd::DeviceTarget& target,
                                        const std::string& bundleId);

std::vector<filemanager::FsRemovalItem> removalPlanOf(const ContainerSelection& selection);
std::vector<filemanager::FsExportItem> exportPlanOf(const ContainerSelection& selection);

// The informative text of the delete question: what will be deleted from which app (a few names
// and how many more), then the caution.
QString containerRemovalText(const ContainerSelection& selection);
// The question before a file added from the computer replaces the container's file of its name.
QString containerReplaceQuestion(const QString& fileName, const QString& appName);

// A record for the app tree of a file the container holds now (after an upload).
std::shared_ptr<PRAppDirTreeNode> containerFileRecord(const std::string& devicePath,
                                                      std::uint64_t size, const QString& appName,
                                                      const std::string& bundleId);

}  // namespace nimbara::transfer
