// Helpers shared by the window and page builders: every widget they make carries its outlet's
// name as objectName.
#pragma once

#include <QAbstractItemView>
#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QString>
#include <QTableView>
#include <QWidget>

#include "ui/column_fitting.h"
#include "ui/fonts.h"
#include "ui/view_helpers.h"

namespace nimbara::ui::build {

// The text colour of the windows' ordinary labels.
inline const QColor kText{40, 44, 52};

template <class T>
T* named(T* widget, const char* objectName) {
    widget->setObjectName(QLatin1String(objectName));
    return widget;
}

inline QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text,
                         int pointSize, const QColor& colour = kText, bool bold = false) {
    auto* label = named(new QLabel(text, parent), objectName);
    label->setFont(ui::appFont(pointSize, bold));
    setLabelColour(label, colour);
    return label;
}

inline QLabel* makeImageView(QWidget* parent, const char* objectName, const QString& imageName,
                             bool scaled = true) {
    auto* view = named(new QLabel(parent), objectName);
    view->setScaledContents(scaled);
    view->setAlignment(Qt::AlignCenter);
    if (!imageName.isEmpty()) {
        setImageViewImage(view, imageName);
    }
    return view;
}

// A hidden view of a page, shown when its page switches to it.
inline QWidget* hiddenView(QWidget* parent, const char* objectName) {
    auto* view = named(new QWidget(parent), objectName);
    view->hide();
    return view;
}

// A wrapped grey line of 11 points under a view's title: counts, what is going on, what failed.
inline QLabel* infoLine(QWidget* parent, const char* objectName) {
    QLabel* info = makeLabel(parent, objectName, QString(), 11, QColor(96, 110, 128));
    info->setWordWrap(true);
    return info;
}

// A table of records: whole rows selected (several when `multiple`), not editable, no grid,
// its columns as wide as what they show.
inline QTableView* makeRecordTable(QWidget* parent, const char* objectName, bool multiple,
                                   int pointSize) {
    auto* table = named(new QTableView(parent), objectName);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection
                                     : QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setFont(ui::appFont(pointSize));
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(22);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setDefaultSectionSize(150);
    table->horizontalHeader()->setHighlightSections(false);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    // Sizes, dates and names are shown whole: the columns grow to what they show.
    ui::fitColumnsToContents(table);
    return table;
}

}  // namespace nimbara::ui::build
