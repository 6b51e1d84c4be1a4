// Records and dumps shared by the tree builder and tree model tests.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <string>

#include "ui/core/app_tree_nodes.h"
#include "ui/core/device_file_nodes.h"

namespace nimbara::test {

// A device walk record: a file when `size` is given, a directory otherwise.
inline std::shared_ptr<PRPhoneSystemDirNode> walkRecord(const QString& path,
                                                        const QString& size = QString(),
                                                        std::uint64_t bytes = 0) {
    auto record = std::make_shared<PRPhoneSystemDirNode>();
    record->setFilePath(path);
    record->setIsFile(!size.isEmpty());
    if (!size.isNull()) {
        record->setFileSize(size);
    }
    record->setFileSizeNumber(bytes);
    return record;
}

// A found file of the clean-up page.
inline std::shared_ptr<PRCleanDirNode> cleanRecord(const QString& app, const QString& bundle,
                                                   const std::string& path,
                                                   std::uint64_t bytes = 0) {
    auto record = std::make_shared<PRCleanDirNode>();
    record->setAppDisplayName(app);
    record->setAppBundleName(bundle);
    record->setDevicePath(path);
    record->setFileSizeNumber(bytes);
    record->setFileSize(QStringLiteral("%1 B").arg(bytes));
    record->setFileType(QStringLiteral("FILE"));
    record->setIsFile(true);
    return record;
}

// An item of the transfer page's app tree.
inline std::shared_ptr<PRAppDirTreeNode> appRecord(const QString& app, const QString& bundle,
                                                   const QString& path) {
    auto record = std::make_shared<PRAppDirTreeNode>();
    record->setAppDisplayName(app);
    record->setAppBundleName(bundle);
    record->setFilePath(path);
    return record;
}

// A folder tree, one line a folder ("  name [leaf] : entry, entry"), depth by indentation.
template <class Dir>
QStringList dumpFolders(const std::vector<std::shared_ptr<Dir>>& level, int depth = 0) {
    QStringList lines;
    for (const auto& folder : level) {
        QStringList entries;
        for (const auto& entry : folder->fileChildren()) {
            entries << entry->fileName();
        }
        lines << QStringLiteral("%1%2%3 : %4")
                     .arg(QString(depth * 2, QLatin1Char(' ')), folder->fileDirName(),
                          folder->isLeaf() ? QStringLiteral(" [leaf]") : QString(),
                          entries.join(QStringLiteral(", ")));
        lines += dumpFolders(folder->children(), depth + 1);
    }
    return lines;
}

}  // namespace nimbara::test
