// The catalogue reader on libraries shaped unlike the ones our devices write: ids stored as
// text, repeated join rows, missing tables, odd values; and a read asked to stop.
#include <gtest/gtest.h>

#include <string>

#include "backup/sqlite_db.h"
#include "test_support.h"
#include "transfer/media_library.h"
#include "ui/core/text_utilities.h"

namespace nimbara::test {
namespace {

using transfer::MediaLibraryReader;
using transfer::MediaLibraryStatus;

std::string writeLibrary(const TempDir& tmp, const char* sql) {
    const std::string path = (tmp.path() / "MediaLibrary.sqlitedb").string();
    auto db = SqliteDb::open(path, SqliteDb::Mode::ReadWriteCreate);
    EXPECT_TRUE(db);
    EXPECT_TRUE(db && db->exec(sql)) << (db ? db->lastError() : "");
    return path;
}

TEST(MediaLibraryShapes, MessyRowsAreReadAsFarAsTheyGo) {
    TempDir tmp;
    const std::string path = writeLibrary(
        tmp,
        "CREATE TABLE item_extra (item_pid, title, file_size, media_kind, total_time_ms, "
        "location);"
        "CREATE TABLE item_artist (item_artist_pid, item_artist, representative_item_pid);"
        "CREATE TABLE item (item_pid, item_artist_pid, album_pid, base_location_id);"
        // Two artists naming one item as theirs: still one track.
        "INSERT INTO item_extra VALUES (1, 'Twice', 10, 1, 1000, 'a.m4a');"
        "INSERT INTO item_artist VALUES (5, 'First', 1), (6, 'Second', 1);"
        "INSERT INTO item VALUES (1, 5, 7, 3);"
        // An id stored as text, a size below zero, a fractional time, no title.
        "INSERT INTO item_extra VALUES ('-42', NULL, -5, 2, 61000.7, 'b.m4v');"
        // A blob where a title should be, and an empty media kind.
        "INSERT INTO item_extra VALUES (3, x'00ff', 1, '', 1, 'c.m4a');");
    const auto result = MediaLibraryReader::readCopy(path, {}, nullptr, {}, {});
    ASSERT_EQ(result.status, MediaLibraryStatus::Done);
    ASSERT_EQ(result.music.size(), 1u);
    const auto& twice = result.music[0];
    EXPECT_EQ(twice->musicTitle(), QStringLiteral("Twice"));
    EXPECT_EQ(twice->musicArtist(), QStringLiteral("First"));
    EXPECT_EQ(twice->artistPid(), QStringLiteral("5"));
    EXPECT_EQ(twice->albumPid(), QStringLiteral("7"));
    // No album or folder tables: nothing made up.
    EXPECT_TRUE(twice->musicAlbm().isNull());
    EXPECT_TRUE(twice->musicLoctionpath().isEmpty());

    ASSERT_EQ(result.videos.size(), 1u);
    const auto& video = result.videos[0];
    EXPECT_EQ(video->musicPid(), QStringLiteral("-42"));
    EXPECT_EQ(video->musicTitle(), QStringLiteral(" "));
    EXPECT_EQ(video->fileSizeNumber(), 0u);
    EXPECT_EQ(video->musicFileSize(), shell::size_to_unit(0));
    EXPECT_EQ(video->musicTime(), QStringLiteral("00:01:01"));
    EXPECT_EQ(result.withoutKind, 1u);
}

TEST(MediaLibraryShapes, NoCatalogueTableIsUnreadableAndAStopDropsEverything) {
    TempDir tmp;
    std::string path = writeLibrary(tmp, "CREATE TABLE something_else (x);");
    int finished = 0;
    transfer::MediaLibrarySink sink;
    sink.finished = [&](const transfer::MediaLibraryResult&) { ++finished; };
    EXPECT_EQ(MediaLibraryReader::readCopy(path, {}, nullptr, sink, {}).status,
              MediaLibraryStatus::Unreadable);
    EXPECT_EQ(finished, 1);

    TempDir other;
    path = writeLibrary(other,
                        "CREATE TABLE item_extra (item_pid, title, file_size, media_kind, "
                        "total_time_ms, location);"
                        "CREATE TABLE album_artist (album_artist, representative_item_pid);"
                        "INSERT INTO item_extra VALUES (1, 'One', 1, 1, 1, 'a');"
                        "INSERT INTO item_extra VALUES (2, 'Two', 1, 1, 1, 'b');");
    const auto stopped = MediaLibraryReader::readCopy(path, {}, nullptr, sink, [] { return true; });
    EXPECT_EQ(stopped.status, MediaLibraryStatus::Stopped);
    EXPECT_TRUE(stopped.music.empty());
    EXPECT_EQ(finished, 2);
    const auto read = MediaLibraryReader::readCopy(path, {}, nullptr, sink, [] { return false; });
    EXPECT_EQ(read.status, MediaLibraryStatus::Done);
    EXPECT_EQ(read.query, transfer::MediaLibraryQuery::AlbumArtist);
    EXPECT_EQ(read.music.size(), 2u);
    EXPECT_EQ(finished, 3);
    // A path with no file.
    EXPECT_EQ(MediaLibraryReader::readCopy((other.path() / "none").string(), {}, nullptr, sink, {})
                  .status,
              MediaLibraryStatus::NoLibrary);
    EXPECT_EQ(finished, 4);
}

}  // namespace
}  // namespace nimbara::test
