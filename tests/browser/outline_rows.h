// Reading the rows of an outline model in the browser's tests.
#pragma once

#include <QAbstractItemModel>
#include <QStringList>

namespace nimbara::test {

// The names in the first column under `parent`, in row order.
inline QStringList names(const QAbstractItemModel& model,
                         const QModelIndex& parent = QModelIndex()) {
    QStringList out;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        out << model.index(row, 0, parent).data().toString();
    }
    return out;
}

// Follows a path of names from the top; an invalid index when a name is missing.
inline QModelIndex find(const QAbstractItemModel& model, const QStringList& path) {
    QModelIndex at;
    for (const QString& name : path) {
        const int row = static_cast<int>(names(model, at).indexOf(name));
        if (row < 0) {
            return QModelIndex();
        }
        at = model.index(row, 0, at);
    }
    return at;
}

}  // namespace nimbara::test
