#include "browser/pages/thumbnail_strip_model.h"

#include <QSet>

#include <algorithm>

#include "backup/pr_photo_and_video_node.h"
#include "browser/record_selection.h"
#include "browser/thumbnail_strip_title.h"
#include "ui/named_image.h"

namespace nimbara::browser {
namespace {

// Pictures kept, in KiB: about two thousand thumbnails of 128 points.
constexpr int kCacheKiB = 96 * 1024;

}  // namespace

ThumbnailStripModel::ThumbnailStripModel(Records* records, std::unique_ptr<ThumbnailSource> source,
                                         QObject* parent)
    : QAbstractListModel(parent),
      records_(records),
      source_(std::move(source)),
      highlighted_(records->size(), 0),
      pictures_(kCacheKiB),
      placeholder_(nimbara::ui::namedImage(QStringLiteral("photos_Nom"))),
      movie_(nimbara::ui::namedImage(QStringLiteral("videos_Nom"))),
      unreadable_(nimbara::ui::namedImage(QStringLiteral("music.png"))) {
    connect(records_, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (first < rowCount()) {
                    dropLoads();  // rows move: what was asked for belongs to other rows now
                }
                beginInsertRows({}, first, last);
            });
    connect(records_, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                highlighted_.insert(highlighted_.begin() + first, last - first + 1, 0);
                endInsertRows();
            });
    connect(records_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                dropLoads();
                beginRemoveRows({}, first, last);
            });
    connect(records_, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                highlighted_.erase(highlighted_.begin() + first, highlighted_.begin() + last + 1);
                endRemoveRows();
            });
    connect(records_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        dropLoads();
        beginResetModel();
    });
    connect(records_, &QAbstractItemModel::modelReset, this, [this] {
        highlighted_.assign(records_->size(), 0);
        forgetUnlisted();
        endResetModel();
    });
    // The list may go first (the page's members go before its widgets): the strip empties.
    connect(records_, &QObject::destroyed, this, [this] {
        beginResetModel();
        dropLoads();
        records_ = nullptr;
        highlighted_.clear();
        endResetModel();
    });
    connect(records_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::CheckStateRole)) {
                    emit dataChanged(index(from.row()), index(to.row()), {Qt::CheckStateRole});
                }
            });
}

ThumbnailStripModel::~ThumbnailStripModel() = default;

int ThumbnailStripModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(highlighted_.size());
}

ThumbnailStripModel::Thumbnail ThumbnailStripModel::stateOf(const QString& path) const {
    const Thumbnail state = made_.value(path, Thumbnail::Placeholder);
    // A picture the cache let go is wanted anew.
    return state == Thumbnail::Picture && !pictures_.contains(path) ? Thumbnail::Placeholder
                                                                    : state;
}

ThumbnailStripModel::Thumbnail ThumbnailStripModel::thumbnail(int row) const {
    const Record node = record(row);
    return node ? stateOf(node->filePath()) : Thumbnail::Placeholder;
}

QVariant ThumbnailStripModel::data(const QModelIndex& index, int role) const {
    const Record node = index.isValid() ? record(index.row()) : nullptr;
    if (!node) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return thumbnailTitle(node->fileNodeName());
        case Qt::ToolTipRole:
            return node->fileNodeName();
        case Qt::CheckStateRole:
            return node->bSelected() ? Qt::Checked : Qt::Unchecked;
        case kHighlightRole:
            return highlighted_[static_cast<std::size_t>(index.row())] != 0;
        case kThumbnailRole:
            return static_cast<int>(thumbnail(index.row()));
        case Qt::DecorationRole:
            switch (thumbnail(index.row())) {
                case Thumbnail::Picture:
                    return *pictures_.object(node->filePath());
                case Thumbnail::Movie:
                    return movie_;
                case Thumbnail::Unreadable:
                    return unreadable_;
                default:
                    return placeholder_;
            }
        default:
            return {};
    }
}

Qt::ItemFlags ThumbnailStripModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
}

bool ThumbnailStripModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || !record(index.row())) {
        return false;
    }
    tick(index.row(), value.toInt() == Qt::Checked);
    return true;
}

// The record takes the tick (the category's list and every view of it hear so), the other
// items lose their highlight and this one's turns over.
void ThumbnailStripModel::tick(int row, bool ticked) {
    const int change = setTicked(*record(row), ticked);
    for (int i = 0; i < rowCount(); ++i) {
        if (i != row) {
            setHighlight(i, false);
        }
    }
    setHighlight(row, highlighted_[static_cast<std::size_t>(row)] == 0);
    records_->refreshTicks();  // the category's table and this strip hear of it
    if (ticked_) {
        ticked_(change);
    }
}

void ThumbnailStripModel::mouseDown(int row) {
    const bool onItem = row >= 0 && row < rowCount();
    const auto lit = std::count(highlighted_.begin(), highlighted_.end(), 1);
    if (lit > 1 && onItem && highlighted_[static_cast<std::size_t>(row)] != 0) {
        return;
    }
    for (int i = 0; i < rowCount(); ++i) {
        setHighlight(i, i == row && highlighted_[static_cast<std::size_t>(i)] == 0);
    }
}

void ThumbnailStripModel::setHighlight(int row, bool on) {
    char& lit = highlighted_[static_cast<std::size_t>(row)];
    if ((lit != 0) != on) {
        lit = on ? 1 : 0;
        emit dataChanged(index(row), index(row), {kHighlightRole});
    }
}

void ThumbnailStripModel::showNodeImageFromRange(IndexRange range) {
    const int start = std::max(0, range.start);
    const int end = std::min(rowCount(), range.end());
    const bool stale = std::any_of(loading_.cbegin(), loading_.cend(),
                                   [&](int row) { return row < start || row >= end; });
    if (stale) {
        dropLoads();
    }
    for (int row = start; row < end; ++row) {
        const Record node = record(row);
        const QString path = node->filePath();
        if (stateOf(path) != Thumbnail::Placeholder) {
            continue;  // made, or on its way
        }
        made_.insert(path, Thumbnail::Loading);
        loading_.insert(path, row);
        source_->make(path, node->bmov(),
                      [this, path](const ThumbnailSource::Made& made) { took(path, made); });
    }
}

void ThumbnailStripModel::took(const QString& path, const ThumbnailSource::Made& made) {
    const auto asked = loading_.find(path);
    if (asked == loading_.end()) {
        return;
    }
    const int row = asked.value();
    loading_.erase(asked);
    using Kind = ThumbnailSource::Kind;
    switch (made.kind) {
        case Kind::Picture: {
            const int kib =
                static_cast<int>(std::max<qsizetype>(1, made.image.sizeInBytes() / 1024));
            pictures_.insert(path, new QPixmap(QPixmap::fromImage(made.image)), kib);
            made_.insert(path, Thumbnail::Picture);
            break;
        }
        case Kind::NotPicture:
            made_.insert(path, Thumbnail::FileIcon);
            break;
        case Kind::Movie:
            made_.insert(path, Thumbnail::Movie);
            break;
        case Kind::Unreadable:
            made_.insert(path, Thumbnail::Unreadable);
            break;
    }
    if (row < rowCount()) {
        emit dataChanged(index(row), index(row), {Qt::DecorationRole, kThumbnailRole});
    }
}

// Asks still waiting are let go; their items show their placeholders until asked again.
void ThumbnailStripModel::dropLoads() {
    if (loading_.isEmpty()) {
        return;
    }
    source_->cancelAll();
    for (auto it = loading_.cbegin(); it != loading_.cend(); ++it) {
        made_.remove(it.key());
    }
    loading_.clear();
}

// Thumbnails of files the list no longer holds (another backup) are let go.
void ThumbnailStripModel::forgetUnlisted() {
    if (!records_) {
        return;
    }
    QSet<QString> listed;
    for (const Record& node : records_->records()) {
        listed.insert(node->filePath());
    }
    for (auto it = made_.begin(); it != made_.end();) {
        if (listed.contains(it.key())) {
            ++it;
        } else {
            pictures_.remove(it.key());
            it = made_.erase(it);
        }
    }
}

}  // namespace nimbara::browser
