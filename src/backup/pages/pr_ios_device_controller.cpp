#include "backup/pages/pr_ios_device_controller.h"

#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QtGlobal>

#include <algorithm>

#include "backup/backup_list.h"
#include "platform/log_categories.h"
#include "ui/fonts.h"
#include "ui/named_image.h"
#include "ui/page_call_log.h"

namespace {

// The one line logged for a backup folder path with nothing behind it.
void logMissingFolder() {
    qCInfo(lcBackup, "Filepath is not exist");
}

}  // namespace

PRIOSDeviceController::PRIOSDeviceController(QObject* parent) : QAbstractTableModel(parent) {}

PRIOSDeviceController::~PRIOSDeviceController() = default;

int PRIOSDeviceController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(content_.size());
}

int PRIOSDeviceController::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString PRIOSDeviceController::columnIdentifier(int column) {
    switch (column) {
        case NameColumn:
            return QStringLiteral("Name");
        case TypeColumn:
            return QStringLiteral("Type");
        case VersionColumn:
            return QStringLiteral("iOS");
        case SerialColumn:
            return QStringLiteral("Serial");
        case TimeColumn:
            return QStringLiteral("Date");
        default:
            return QString();
    }
}

QVariant PRIOSDeviceController::data(const QModelIndex& index, int role) const {
    const auto node = index.isValid() ? nodeAt(index.row()) : nullptr;
    if (!node) {
        return QVariant();
    }
    switch (role) {
        case Qt::FontRole:
            return nimbara::ui::appFont(11);
        case Qt::DecorationRole:
            if (columnIdentifier(index.column()) == QLatin1String("Name")) {
                return nimbara::ui::namedIcon(
                    node->deviceImage());  // drawn at the view's icon size
            }
            return QVariant();
        case Qt::ToolTipRole: {
            const QString reason = node->unreadableReason();
            return reason.isEmpty() ? node->backUpFilePath() : reason;
        }
        case Qt::DisplayRole:
            break;
        default:
            return QVariant();
    }
    switch (index.column()) {
        case NameColumn:
            return node->strDeviceName();
        case TypeColumn: {
            const QString type = node->strDeviceType();
            return type.isEmpty() ? QStringLiteral("Unknown") : type;
        }
        case VersionColumn:
            return node->strIOSVersion();
        case SerialColumn:
            return node->strDeviceSerial();
        case TimeColumn:
            return node->strDeviceBackUpTime();
        default:
            return QVariant();
    }
}

QVariant PRIOSDeviceController::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) {
        return QVariant();
    }
    if (role == Qt::FontRole) {
        return nimbara::ui::appFont(11);
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    static const char* const kTitles[ColumnCount] = {"Name", "Type", "iOS Version", "Serial Number",
                                                     "Backup Time"};
    return QString::fromLatin1(kTitles[section]);
}

void PRIOSDeviceController::setContent(std::vector<std::shared_ptr<PRIOSDeviceNode>> nodes) {
    beginResetModel();
    content_ = std::move(nodes);
    endResetModel();
}

std::shared_ptr<PRIOSDeviceNode> PRIOSDeviceController::nodeAt(int row) const {
    if (row < 0 || row >= static_cast<int>(content_.size())) {
        return nullptr;
    }
    return content_[static_cast<std::size_t>(row)];
}

void PRIOSDeviceController::removeAllObjects() {
    nimbara::ui::PageCallLog::record("PRIOSDeviceController::removeAllObjects()");
    setContent({});
}

void PRIOSDeviceController::addDeviceNodeByPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        logMissingFolder();
        return;
    }
    auto node = nimbara::backup::readBackupFolder(path);
    if (!node) {
        return;
    }
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    content_.push_back(std::move(node).value());
    endInsertRows();
}

void PRIOSDeviceController::loadDeviceNodes(const QString& root, std::function<void()> then) {
    removeAllObjects();
    if (then) {
        waiting_.push_back(std::move(then));
    }
    loading_ = true;
    // What a replaced listing still posts is dropped by the runner, and so is all of it once the
    // controller is gone: the step below only runs while `this` lives.
    reader_.replace([this, root, included = included_](const nimbara::JobRunner::StopCheck& stop,
                                                       const nimbara::JobRunner::Post& post) {
        if (stop()) {
            return;  // superseded before it started
        }
        nimbara::backup::BackupListing listing = nimbara::backup::scanLocalBackups(root);
        for (const nimbara::backup::SkippedBackupEntry& entry : listing.skipped) {
            // Gone between the listing and the read (or a link to nowhere).
            if (!QFileInfo::exists(root + QLatin1Char('/') + entry.name)) {
                logMissingFolder();
            }
        }
        for (const QString& folder : included) {
            const bool listed = std::any_of(
                listing.backups.cbegin(), listing.backups.cend(),
                [&folder](const auto& node) { return node->backUpFilePath() == folder; });
            if (auto node = nimbara::backup::readBackupFolder(folder); node && !listed) {
                listing.backups.push_back(std::move(node).value());
            }
        }
        post([this, nodes = std::move(listing.backups)]() mutable {
            reader_.finish();
            finishLoad(std::move(nodes));
        });
    });
}

void PRIOSDeviceController::includeBackupFolder(const QString& folder) {
    if (std::find(included_.cbegin(), included_.cend(), folder) == included_.cend()) {
        included_.push_back(folder);
    }
}

void PRIOSDeviceController::finishLoad(std::vector<std::shared_ptr<PRIOSDeviceNode>> nodes) {
    loading_ = false;
    setContent(std::move(nodes));
    std::vector<std::function<void()>> waiting;
    waiting.swap(waiting_);
    for (const auto& step : waiting) {
        step();
    }
}
