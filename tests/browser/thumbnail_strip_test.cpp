// The thumbnail strip as the user meets it, over a source answered by hand: placeholders before
// thumbnails, thumbnails asked for only in the loading range and only once, Qt's grid placing the
// cells where the strip's arithmetic says, ticks and select all, the highlight of a click; and the
// backup's own source on real files.
#include "browser/pages/thumbnail_strip_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "../app/app_test_support.h"
#include "backup/pr_photo_and_video_node.h"
#include "browser/pages/category_table.h"
#include "browser/record_columns.h"
#include "test_support.h"
#include "ui/named_image.h"

namespace nimbara::browser {
namespace {

using Thumbnail = ThumbnailStripModel::Thumbnail;

struct FakeSource final : ThumbnailSource {
    struct Ask {
        QString path;
        Done done;
    };
    std::vector<Ask>* asks;
    explicit FakeSource(std::vector<Ask>* list) : asks(list) {}
    void make(const QString& path, bool, Done done) override {
        asks->push_back({path, std::move(done)});
    }
    void cancelAll() override { asks->clear(); }
};

class ThumbnailStripTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto source = std::make_unique<FakeSource>(&asks_);
        view_ = std::make_unique<PRSrollThumView>(&category_.model(), std::move(source));
        view_->strip()->setTickHandler([this](int change) { selectedFilesNum_ += change; });
    }

    void addRecords(int count) {
        std::vector<std::shared_ptr<PRPhotoAndVideoNode>> records;
        for (int i = 0; i < count; ++i) {
            records.push_back(std::make_shared<PRPhotoAndVideoNode>());
            records.back()->setFileNodeName(QStringLiteral("IMG_%1.JPG").arg(i, 4, 10, QChar('0')));
            records.back()->setFilePath(QStringLiteral("/backup/%1").arg(i));
        }
        category_.model().append(std::move(records));
    }

    // Shows the view with `width` × `height` points of room for the grid.
    void show(int width, int height) {
        view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view_->show();
        QCoreApplication::processEvents();
        const QSize frame = view_->size() - view_->viewport()->size();
        view_->resize(QSize(width, height) + frame);
        QCoreApplication::processEvents();
    }

    // The rows asked for: one run of rows.
    IndexRange asked() const {
        std::set<int> rows;
        for (const auto& ask : asks_) {
            rows.insert(ask.path.mid(8).toInt());
        }
        return rows.empty() ? IndexRange{}
                            : IndexRange{*rows.begin(), *rows.rbegin() + 1 - *rows.begin()};
    }

    void answerAll() {
        for (const auto& ask : std::exchange(asks_, {})) {
            ask.done({ThumbnailSource::Kind::Picture, QImage(128, 96, QImage::Format_RGB32)});
        }
    }

    void click(int row, bool onTickBox) {
        const QRect cell = view_->visualRect(view_->strip()->index(row));
        QTest::mouseClick(view_->viewport(), Qt::LeftButton, {},
                          onTickBox ? PRSrollThumView::tickBoxRect(cell).center() : cell.center());
    }

    // "1" for each highlighted item, "0" for the others.
    std::string lit() const {
        std::string flags;
        for (int i = 0; i < view_->strip()->rowCount(); ++i) {
            flags += view_->strip()->index(i).data(ThumbnailStripModel::kHighlightRole).toBool()
                         ? '1'
                         : '0';
        }
        return flags;
    }

    QApplication& app_ = nimbara::test::ensureApplication();
    QWidget parent_;
    RecordSortState sort_;
    CategoryFamily<PRPhotoAndVideoNode> family_{{}, photoColumns(), {}, SortableTable::Photo};
    TypedCategoryTable<PRPhotoAndVideoNode> category_{
        family_, "photoTableView", &parent_, &sort_, {}, false};
    std::vector<FakeSource::Ask> asks_;
    int selectedFilesNum_ = 0;
    std::unique_ptr<PRSrollThumView> view_;
};

TEST_F(ThumbnailStripTest, PlaceholdersFirstThenThumbnailsOfTheLoadingRangeOnlyAndOnce) {
    addRecords(40);
    EXPECT_TRUE(asks_.empty());  // nothing is made while the strip is not on show
    show(300, 300);              // two columns, two whole rows
    EXPECT_EQ(view_->columns(), 2);
    EXPECT_EQ(asked(), (IndexRange{0, 6}));  // the rows in sight and one below
    const auto picture = [&](int row) {
        return view_->strip()->index(row).data(Qt::DecorationRole).value<QPixmap>().cacheKey();
    };
    EXPECT_EQ(picture(0), nimbara::ui::namedImage(QStringLiteral("photos_Nom")).cacheKey());
    // A movie whose file can't be read.
    asks_[1].done({ThumbnailSource::Kind::Unreadable, {}});
    answerAll();
    EXPECT_EQ(view_->strip()->thumbnail(5), Thumbnail::Picture);
    EXPECT_EQ(picture(1), nimbara::ui::namedImage(QStringLiteral("music.png")).cacheKey());
    EXPECT_EQ(view_->strip()->thumbnail(6), Thumbnail::Placeholder);

    const struct {
        int offset;  // scroll bar value
        IndexRange asked;
    } scrolls[] = {
        {336, {6, 6}},  // row position 2.4: rows 2 to 5, the made ones not again
        {0, {}},        // back to the top: everything there was made
        {10 * 140, {20, 6}},
    };
    for (const auto& scroll : scrolls) {
        view_->verticalScrollBar()->setValue(scroll.offset);
        EXPECT_EQ(view_->loadingRange().start, 2 * (scroll.offset / 140));
        EXPECT_EQ(asked(), scroll.asked) << scroll.offset;
        answerAll();
    }
}

TEST_F(ThumbnailStripTest, QtsGridPlacesTheCellsWhereTheStripArithmeticSays) {
    addRecords(23);
    const struct { int width, columns; } widths[] = {{701, 5}, {700, 4}, {421, 3}, {100, 1}};
    for (const auto& row : widths) {
        show(row.width, 420);
        ASSERT_EQ(view_->columns(), row.columns) << row.width;
        const int offset = view_->verticalScrollBar()->value();
        for (int i : {0, 1, row.columns, 22}) {
            EXPECT_EQ(view_->visualRect(view_->strip()->index(i)),
                      stripCellRect(i, row.columns).translated(0, -offset))
                << i << " of " << row.columns;
        }
        EXPECT_EQ(view_->verticalScrollBar()->maximum() + view_->viewport()->height(),
                  stripGridHeight(23, row.columns, view_->viewport()->height()))
            << row.width;
    }
}

TEST_F(ThumbnailStripTest, TicksCountHighlightsFollowClicksAndSelectAllTicksEveryItem) {
    addRecords(6);
    show(421, 400);  // three columns, two rows
    const struct {
        int row;
        bool onTickBox;
        bool ticked;
        int selected;
        const char* lit;
    } clicks[] = {
        {0, false, false, 0, "100000"},  // a click on the picture highlights only
        {4, false, false, 0, "000010"},
        {2, true, true, 1, "001000"},  // a tick: one more, its item lit, the others not
        {3, true, true, 2, "000100"},
        {3, true, false, 1, "000000"},  // untick
    };
    for (const auto& row : clicks) {
        click(row.row, row.onTickBox);
        EXPECT_EQ(selectedFilesNum_, row.selected) << row.row;
        EXPECT_EQ(category_.model().record(row.row)->bSelected(), row.ticked) << row.row;
        EXPECT_EQ(lit(), row.lit) << row.row;
    }
    QTest::mouseClick(view_->viewport(), Qt::LeftButton, {}, QPoint(10, 350));  // beside them
    EXPECT_EQ(lit(), "000000");

    // Select all of the category ticks every record, and the strip shows every tick.
    EXPECT_EQ(category_.tickShown(true), 5);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(view_->strip()->index(i).data(Qt::CheckStateRole).toInt(), Qt::Checked) << i;
    }
}

TEST(BackupThumbnailSourceTest, PicturesAreScaledMoviesCheckedUnreadableOnesSaidSo) {
    nimbara::test::ensureApplication();
    nimbara::test::TempDir folder;
    QImage(400, 300, QImage::Format_RGB32)
        .save(QString::fromStdString((folder / "p").string()), "PNG");
    nimbara::test::writeText(folder / "not-a-picture", "text");
    nimbara::test::writeText(folder / "movie", "movie bytes");
    using Kind = ThumbnailSource::Kind;
    const struct {
        const char* name;
        bool movie;
        Kind kind;
    } files[] = {{"p", false, Kind::Picture},          {"not-a-picture", false, Kind::NotPicture},
                 {"missing", false, Kind::NotPicture}, {"movie", true, Kind::Movie},
                 {"missing", true, Kind::Unreadable},  {"not-a-picture", true, Kind::Movie}};
    BackupThumbnailSource source;
    std::vector<std::optional<ThumbnailSource::Made>> made(std::size(files));
    const auto waiting = [&] { return std::ranges::any_of(made, [](auto& m) { return !m; }); };
    for (std::size_t i = 0; i < std::size(files); ++i) {
        source.make(QString::fromStdString((folder / files[i].name).string()), files[i].movie,
                    [&made, i](const ThumbnailSource::Made& m) { made[i] = m; });
    }
    for (int wait = 0; wait < 3000 && waiting(); ++wait) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    for (std::size_t i = 0; i < std::size(files); ++i) {
        ASSERT_TRUE(made[i].has_value()) << files[i].name;
        EXPECT_EQ(made[i]->kind, files[i].kind) << files[i].name << " " << files[i].movie;
    }
    EXPECT_EQ(made[0]->image.size(), QSize(128, 96));
}

}  // namespace
}  // namespace nimbara::browser
