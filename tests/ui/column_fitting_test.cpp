// Tables show their sizes, dates and names whole: columns grow to what they show.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include "../app/app_test_support.h"
#include "ui/column_fitting.h"

namespace {

void settle() {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 100) {
        QCoreApplication::processEvents();
    }
}

int textWidth(const QTableView& table, const QString& text) {
    return QFontMetrics(table.font()).horizontalAdvance(text);
}

TEST(ColumnFitting, ColumnsGrowToTheirTextsAndKeepWiderWidths) {
    nimbara::test::ensureApplication();
    QTableView table;
    table.resize(900, 300);
    table.horizontalHeader()->setStretchLastSection(true);
    table.horizontalHeader()->setDefaultSectionSize(60);
    nimbara::ui::fitColumnsToContents(&table);
    QStandardItemModel model(0, 5);
    model.setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Data Size"),
                                     QStringLiteral("Date"), QStringLiteral("Kind"),
                                     QStringLiteral("Path")});
    table.setModel(&model);
    table.setColumnWidth(3, 200);  // a width the page chose
    settle();
    // Before any row: a size or date column already holds the longest size or date.
    EXPECT_GE(table.columnWidth(1), textWidth(table, QStringLiteral("999.99bytes")));
    EXPECT_GE(table.columnWidth(2), textWidth(table, QStringLiteral("2026-12-31 23:59:59")));

    const QString name = QStringLiteral("Wordsmith Dictionary.app");
    const QString size = QStringLiteral("less than 50KB");
    const QString tooLong = QString(300, QLatin1Char('x'));
    model.appendRow({new QStandardItem(name), new QStandardItem(size),
                     new QStandardItem(QStringLiteral("2026-06-23 10:15:32 +0000")),
                     new QStandardItem(QStringLiteral("File")), new QStandardItem(tooLong)});
    settle();
    EXPECT_GT(table.columnWidth(0), textWidth(table, name));
    EXPECT_GT(table.columnWidth(1), textWidth(table, size));
    EXPECT_GT(table.columnWidth(2), textWidth(table, QStringLiteral("2026-06-23 10:15:32 +0000")));
    EXPECT_EQ(table.columnWidth(3), 200);  // wider than "File": kept

    // A text that changes later widens its column too, up to the limit.
    model.item(0, 0)->setText(tooLong);
    settle();
    EXPECT_EQ(table.columnWidth(0), nimbara::ui::kMaxFittedColumnWidth);
}

}  // namespace
