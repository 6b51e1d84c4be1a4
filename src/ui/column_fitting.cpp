#include "ui/column_fitting.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QTableView>
#include <QTreeView>

#include <algorithm>

namespace nimbara::ui {
namespace {

// Room a cell's text needs beside it (margins and a sort arrow in the header).
constexpr int kCellPadding = 16;
// Refits wait this long, so rows arriving in quick batches are measured once.
constexpr int kRefitDelayMs = 30;

bool isSizeColumn(const QString& title) {
    return title.contains(QLatin1String("size"), Qt::CaseInsensitive);
}

bool isDateColumn(const QString& title) {
    for (const char* word : {"date", "time", "modified", "created"}) {
        if (title.contains(QLatin1String(word), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

}  // namespace

ColumnFitter::ColumnFitter(QAbstractItemView* view) : QObject(view), view_(view) {
    setObjectName(QStringLiteral("columnFitter"));
    timer_.setSingleShot(true);
    timer_.setInterval(kRefitDelayMs);
    connect(&timer_, &QTimer::timeout, this, &ColumnFitter::fit);
    if (QHeaderView* h = header()) {
        // A new model (or a model's new columns) reaches the header first.
        connect(h, &QHeaderView::sectionCountChanged, this, [this] { watchModel(); });
    }
    if (auto* tree = qobject_cast<QTreeView*>(view)) {
        // Rows that come into view only when their folder opens.
        connect(tree, &QTreeView::expanded, this, &ColumnFitter::schedule);
    }
    view->installEventFilter(this);
    watchModel();
}

QHeaderView* ColumnFitter::header() const {
    if (auto* table = qobject_cast<QTableView*>(view_)) {
        return table->horizontalHeader();
    }
    if (auto* tree = qobject_cast<QTreeView*>(view_)) {
        return tree->header();
    }
    return nullptr;
}

bool ColumnFitter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ &&
        (event->type() == QEvent::Show || event->type() == QEvent::FontChange)) {
        watchModel();
        schedule();
    }
    return QObject::eventFilter(watched, event);
}

void ColumnFitter::watchModel() {
    // The header hears of a new model before its view does.
    QHeaderView* h = header();
    QAbstractItemModel* model = h != nullptr ? h->model() : view_->model();
    if (model != model_) {
        for (const QMetaObject::Connection& c : modelConnections_) {
            disconnect(c);
        }
        modelConnections_.clear();
        model_ = model;
        if (model != nullptr) {
            using M = QAbstractItemModel;
            modelConnections_ = {
                connect(model, &M::rowsInserted, this, &ColumnFitter::schedule),
                connect(model, &M::modelReset, this, &ColumnFitter::schedule),
                connect(model, &M::layoutChanged, this, &ColumnFitter::schedule),
                connect(model, &M::dataChanged, this, &ColumnFitter::schedule),
                connect(model, &M::headerDataChanged, this, &ColumnFitter::schedule),
            };
        }
    }
    schedule();
}

void ColumnFitter::schedule() {
    if (!timer_.isActive()) {
        timer_.start();
    }
}

int ColumnFitter::minimumWidth(int column) const {
    if (!model_) {
        return 0;
    }
    const QString title = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const QFontMetrics metrics(view_->font());
    if (isSizeColumn(title)) {
        return metrics.horizontalAdvance(QStringLiteral("999.99bytes")) + kCellPadding;
    }
    if (isDateColumn(title)) {
        return metrics.horizontalAdvance(QStringLiteral("2026-12-31 23:59:59")) + kCellPadding;
    }
    return 0;
}

void ColumnFitter::fit() {
    QHeaderView* h = header();
    if (h == nullptr || !model_ || h->count() == 0) {
        return;
    }
    int lastVisual = -1;
    for (int visual = h->count() - 1; visual >= 0 && lastVisual < 0; --visual) {
        if (!h->isSectionHidden(h->logicalIndex(visual))) {
            lastVisual = visual;
        }
    }
    for (int column = 0; column < h->count(); ++column) {
        if (h->isSectionHidden(column) ||
            h->sectionResizeMode(column) != QHeaderView::Interactive) {
            continue;
        }
        if (h->stretchLastSection() && h->visualIndex(column) == lastVisual) {
            continue;  // the last column takes what is left
        }
        int wanted = std::max(
            {view_->sizeHintForColumn(column), h->sectionSizeHint(column), minimumWidth(column)});
        wanted = std::min(wanted, kMaxFittedColumnWidth);
        if (wanted > h->sectionSize(column)) {
            h->resizeSection(column, wanted);
        }
    }
}

void fitColumnsToContents(QAbstractItemView* view) {
    if (view != nullptr &&
        view->findChild<ColumnFitter*>(QString(), Qt::FindDirectChildrenOnly) == nullptr) {
        new ColumnFitter(view);
    }
}

}  // namespace nimbara::ui
