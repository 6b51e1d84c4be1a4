// The settings of a run: slider arithmetic at its edges, the settings file read back after a
// restart and what a damaged one gives, and the export-folder check.
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QString>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/core/preferences_settings.h"
#include "test_support.h"

namespace nimbara::app {
namespace {

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

TEST(PreferencesSliders, FileSliderSpansFiftyMegabytesWhateverItsRange) {
    struct Row {
        int value;
        int maximum;
        int megabytes;
        std::uint64_t limit;
    };
    std::vector<Row> rows = {
        {0, 50, 0, 2'000'000},                   // the bottom still gives 2 MB
        {1, 50, 1, 2'000'000},                   //
        {2, 50, 2, 2'000'000},                   // 2/50 of the range: still 2 MB
        {3, 50, 3, 3'000'000},                   // the first position above it
        {50, 50, 50, 50'000'000},                // the top
        {51, 50, 50, 50'000'000},                // beyond the range: held at the top
        {-1, 50, 0, 2'000'000},                  // below it: held at the bottom
        {1, 100, 0, 2'000'000},                  // half a megabyte rounds down
        {99, 100, 49, 49'000'000},               //
        {100, 100, 50, 50'000'000},              //
        {3, 7, 21, 21'000'000},                  // a coarse range
        {5, 0, 0, 2'000'000},                    // an empty range divides by nothing
        {INT_MAX - 1, INT_MAX, 49, 49'000'000},  // no overflow, no rounding up to 50
        {INT_MAX, INT_MAX, 50, 50'000'000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.value << " of " << row.maximum);
        EXPECT_EQ(largeFileMegabytes(row.value, row.maximum), row.megabytes);
        EXPECT_EQ(largeFileLimit(row.megabytes), row.limit);
    }
}

TEST(PreferencesSliders, SlidersStartWhereTheLimitInEffectIs) {
    struct Row {
        std::uint64_t limit;
        int maximum;
        int position;
    };
    // The lowest position that shows the limit's megabytes.
    const Row fileRows[] = {
        {2'000'000, 50, 2},     {5'000'000, 50, 5}, {5'999'999, 50, 5},   {50'000'000, 50, 50},
        {90'000'000, 50, 50},   {0, 50, 0},         {5'000'000, 100, 10}, {49'000'000, 100, 98},
        {5'000'000, 1000, 100}, {21'000'000, 7, 3}, {5'000'000, 0, 0},
    };
    for (const Row& row : fileRows) {
        SCOPED_TRACE(testing::Message() << "file " << row.limit << " of " << row.maximum);
        const int position = largeFileSliderPosition(row.limit, row.maximum);
        EXPECT_EQ(position, row.position);
        if (row.maximum >= 50 && row.limit <= 50'000'000) {
            EXPECT_EQ(std::uint64_t(largeFileMegabytes(position, row.maximum)),
                      row.limit / 1'000'000);
        }
    }
    const Row appRows[] = {
        {100'000'000, 2000, 100},    {0, 2000, 0},      {1'500'000, 2000, 1},
        {9'000'000'000, 2000, 2000}, {5'000'000, 0, 0},
    };
    for (const Row& row : appRows) {
        SCOPED_TRACE(testing::Message() << "app " << row.limit << " of " << row.maximum);
        EXPECT_EQ(largeAppSliderPosition(row.limit, row.maximum), row.position);
    }
    // The app slider's megabytes, in 64 bits; 0 makes every app with any size large.
    EXPECT_EQ(largeAppLimit(-5), 0u);
    EXPECT_EQ(largeAppLimit(INT_MAX), std::uint64_t{INT_MAX} * 1'000'000u);
}

class PreferencesStore : public ::testing::Test {
  protected:
    QString file() const { return qpath(tmp_ / "config" / "Nimbara" / "Nimbara.ini"); }

    void writeText(const std::string& text) {
        std::filesystem::create_directories(tmp_ / "config" / "Nimbara");
        std::ofstream(tmp_ / "config" / "Nimbara" / "Nimbara.ini") << text;
    }

    const RunSettings defaults_ = defaultRunSettings(QStringLiteral("/home/someone"));
    test::TempDir tmp_;
};

TEST_F(PreferencesStore, WhatOneRunSavesTheNextReads) {
    RunSettings run;
    run.exportFolder = QStringLiteral("/home/someone/My Exports/ünï");
    run.limitLargeFileSize = 7'000'000;
    run.limitLargeAppSize = 0;
    {
        QSettings writer(file(), QSettings::IniFormat);
        writer.setValue(QStringLiteral("CLPAlertSuppress"), true);
        ASSERT_TRUE(storeRunSettings(writer, run));
    }
    ASSERT_TRUE(QFile::exists(file()));
    const QSettings reader(file(), QSettings::IniFormat);
    EXPECT_EQ(loadRunSettings(reader, defaults_), run);
    // The other preferences of the file stay.
    EXPECT_TRUE(reader.value(QStringLiteral("CLPAlertSuppress")).toBool());
}

TEST_F(PreferencesStore, ValuesPreferencesCantSetGiveTheDefaults) {
    struct Row {
        const char* text;
        QString folder;
        std::uint64_t fileLimit;
        std::uint64_t appLimit;
    };
    const QString home = defaults_.exportFolder;
    std::vector<Row> rows = {
        {"", home, 5'000'000, 100'000'000},  // nothing saved
        {"LimitLargeFileSize=7000000\nLimitLargeAppSize=2000000000\n", home, 7'000'000,
         2'000'000'000},
        {"LimitLargeFileSize=abc\nLimitLargeAppSize=-1\n", home, 5'000'000, 100'000'000},
        {"LimitLargeFileSize=1999999\nLimitLargeAppSize=2000000001\n", home, 5'000'000,
         100'000'000},
        {"LimitLargeFileSize=50000001\nLimitLargeAppSize=0\n", home, 5'000'000, 0},
        {"LimitLargeFileSize=1, 2\n", home, 5'000'000, 100'000'000},  // a list
        {"NimbaraExportPath=relative/exports\n", home, 5'000'000, 100'000'000},
        {"NimbaraExportPath=\n", home, 5'000'000, 100'000'000},
        {"NimbaraExportPath=/srv/exports//today/\n", QStringLiteral("/srv/exports/today"),
         5'000'000, 100'000'000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        writeText(std::string("[General]\n") + row.text);
        const QSettings settings(file(), QSettings::IniFormat);
        const RunSettings run = loadRunSettings(settings, defaults_);
        EXPECT_EQ(run.exportFolder, row.folder);
        EXPECT_EQ(run.limitLargeFileSize, row.fileLimit);
        EXPECT_EQ(run.limitLargeAppSize, row.appLimit);
    }
}

TEST(PreferencesExportFolder, OnlyAFolderThatCanBeMadeAndWrittenIsTaken) {
    test::TempDir tmp;
    std::ofstream(tmp / "a-file") << "x";
    std::filesystem::create_directories(tmp / "there");
    std::filesystem::create_symlink("loop-b", tmp / "loop-a");
    std::filesystem::create_symlink("loop-a", tmp / "loop-b");
    std::filesystem::create_directories(tmp / "shut" / "inside");
    std::filesystem::permissions(tmp / "shut", std::filesystem::perms::owner_write);
    const QString base = qpath(tmp.path());
    struct Row {
        QString text;
        QString folder;   // empty: refused
        QString refusal;  // part of the sentence
    };
    std::vector<Row> rows = {
        {QString(), {}, QStringLiteral("No export folder is given")},
        {QStringLiteral("   "), {}, QStringLiteral("No export folder is given")},
        {QStringLiteral("Documents/Pellucor"), {}, QStringLiteral("is not a full path")},
        {base + QStringLiteral("/a-file"), {}, QStringLiteral("a file of that name is in the way")},
        {base + QStringLiteral("/a-file/below"), {}, QStringLiteral("could not be created")},
        {base + QStringLiteral("/there"), base + QStringLiteral("/there"), {}},
        {base + QStringLiteral("/new/My Exports/"), base + QStringLiteral("/new/My Exports"), {}},
        {base + QStringLiteral("/./there/../made"), base + QStringLiteral("/made"), {}},
        {base + QStringLiteral("/loop-a"),
         {},
         QStringLiteral("\"%1/loop-a\" can't be used (its path goes through a loop of symbolic "
                        "links)")
             .arg(base)},
        {base + QStringLiteral("/loop-a/below"), {}, QStringLiteral("loop of symbolic links")},
    };
    if (geteuid() != 0) {  // root searches every folder
        rows.push_back({base + QStringLiteral("/shut/inside"),
                        {},
                        QStringLiteral("\"%1/shut/inside\" can't be used (you may not open a "
                                       "folder on its path)")
                            .arg(base)});
        rows.push_back({base + QStringLiteral("/shut/inside/new"),
                        {},
                        QStringLiteral("you may not open a folder on its path")});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        const ExportFolderCheck check = prepareExportFolder(row.text);
        if (row.folder.isEmpty()) {
            EXPECT_FALSE(check.ok());
            EXPECT_TRUE(check.refusal.contains(row.refusal)) << check.refusal.toStdString();
        } else {
            EXPECT_TRUE(check.ok()) << check.refusal.toStdString();
            EXPECT_EQ(check.folder, row.folder);
            EXPECT_TRUE(std::filesystem::is_directory(row.folder.toStdString()));
        }
    }
    std::filesystem::permissions(tmp / "shut", std::filesystem::perms::owner_all);
}

}  // namespace
}  // namespace nimbara::app
