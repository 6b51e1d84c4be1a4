// The result page on the demo backup shows the records the demo deleted: counted apart, drawn in
// the deleted colour, and alone on show under "Only dispaly deleted files".
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QThread>

#include <functional>

#include "../app/app_test_support.h"
#include "backup/backup_list.h"
#include "backup_writer.h"
#include "browser/pages/deleted_row_delegate.h"
#include "browser/pages/pr_result_view_controller.h"
#include "browser/record_table_model.h"
#include "demo_deleted_records.h"
#include "fake_page_host.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "ui/alerts.h"

namespace {

using nimbara::browser::DeletedRowDelegate;
using nimbara::browser::kDeletedRecordRole;

bool pumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 20000 && !done(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

// The colour the table's delegate gives a row.
struct ColourProbe : DeletedRowDelegate {
    QColor textOf(const QModelIndex& index) const {
        QStyleOptionViewItem option;
        initStyleOption(&option, index);
        return option.palette.color(QPalette::Text);
    }
};

int deletedRows(const QAbstractItemModel& model) {
    int deleted = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        deleted += model.index(row, 0).data(kDeletedRecordRole).toBool() ? 1 : 0;
    }
    return deleted;
}

TEST(DeletedRowsPageTest, TheDemoBackupsDeletedRecordsAreCountedDrawnAndFiltered) {
    nimbara::test::ensureApplication();
    nimbara::test::TempDir tmp;
    std::string error;
    ASSERT_TRUE(nimbara::simdev::makeDemoDevice(tmp / "demo", &error)) << error;
    const auto backup = nimbara::simdev::writeBackup(tmp / "demo", tmp / "backups", {});
    ASSERT_TRUE(backup.ok) << backup.error;
    nimbara::Alerts::ScopedHandler noAlert([](QWidget*, const nimbara::Alerts::Question& q) {
        ADD_FAILURE() << q.message.toStdString() << " " << q.informativeText.toStdString();
        return nimbara::Alerts::Answer::Default;
    });
    QWidget window;
    window.resize(1000, 640);
    nimbara::test::FakePageHost host;
    PRResultViewController page(host);
    page.showView(&window);
    window.show();
    const auto read = nimbara::backup::readBackupFolder(QString::fromStdString(backup.folder));
    ASSERT_TRUE(read) << read.sentence().toStdString();
    page.scanBackup(read.value(), 0);
    ASSERT_TRUE(pumpUntil([&] { return page.scanFinished() && !page.isScanning(); }));
    // The host is handed this backup's contacts, which other records are matched against.
    EXPECT_FALSE(host.contacts.empty());

    const int contacts = static_cast<int>(nimbara::simdev::demoDeletedContacts().size());
    const int messages = static_cast<int>(nimbara::simdev::demoDeletedMessages().size());
    const int notes = static_cast<int>(nimbara::simdev::demoDeletedNotes().size());
    const int calls = static_cast<int>(nimbara::simdev::demoDeletedCalls().size());
    const int bookmarks = static_cast<int>(nimbara::simdev::demoDeletedBookmarks().size());
    const int events = static_cast<int>(nimbara::simdev::demoDeletedCalendarEvents().size());
    EXPECT_EQ(page.records().counters().deleteeFilesNum,
              contacts + messages + notes + calls + bookmarks + events);
    EXPECT_EQ(page.delContactNumlab->text(), QStringLiteral("Contacts:  %1").arg(contacts));
    EXPECT_EQ(page.delMessageNumlab->text(), QStringLiteral("Messages:  %1").arg(messages));
    EXPECT_EQ(page.delNoteNumlab->text(), QStringLiteral("Notes:  %1").arg(notes));
    EXPECT_EQ(page.delCallNumlab->text(), QStringLiteral("Call History:  %1").arg(calls));

    struct Row {
        int category;
        QTableView* table;
        int deleted;  // each deleted message opens a conversation of deleted messages
    };
    const Row rows[] = {
        {PRResultViewController::kContacts, page.contactTableView, contacts},
        {PRResultViewController::kMessages, page.messageTreeTableView, messages},
        {PRResultViewController::kNotes, page.noteTableView, notes},
        {PRResultViewController::kCalls, page.callHistoryTableView, calls},
        {PRResultViewController::kBookmarks, page.bookMarkTableView, bookmarks},
        {PRResultViewController::kCalendar, page.calenderTableView, events},
    };
    ColourProbe probe;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.category);
        page.categoryList->setCurrentRow(row.category);
        const QAbstractItemModel& model = *row.table->model();
        const int all = model.rowCount();
        EXPECT_EQ(deletedRows(model), row.deleted);
        EXPECT_GT(all, row.deleted) << "the live records are there too";
        ASSERT_NE(dynamic_cast<DeletedRowDelegate*>(row.table->itemDelegate()), nullptr);
        for (int r = 0; r < all; ++r) {
            const QModelIndex index = model.index(r, 0);
            EXPECT_EQ(probe.textOf(index) == nimbara::browser::deletedRecordColor(),
                      index.data(kDeletedRecordRole).toBool());
        }

        ASSERT_FALSE(page.checkBtn->isHidden());
        page.checkBtn->setChecked(true);
        page.actCheck(page.checkBtn);
        EXPECT_EQ(model.rowCount(), row.deleted);
        EXPECT_EQ(deletedRows(model), row.deleted);
        page.checkBtn->setChecked(false);
        page.actCheck(page.checkBtn);
        EXPECT_EQ(model.rowCount(), all);
    }
}

}  // namespace
