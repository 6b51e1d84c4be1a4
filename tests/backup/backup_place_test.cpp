// Where a backup goes and what it replaces: the question before a backup made to read records
// takes the place of the device's backup, and the check of a folder the user chose instead of
// the backup root.
#include <gtest/gtest.h>

#include <QSettings>

#include <utime.h>

#include <string>

#include "backup/backup_location.h"
#include "backup/backup_replace_question.h"
#include "platform/plist_value.h"
#include "test_support.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
constexpr const char* kUdid = "3c2b1a0f9e8d7c6b5a4f3e2d1c0b9a8f7e6d5c4b";

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

// A backup of kUdid in `root` whose Info.plist is dated 2024-03-05 06:07 UTC.
void makeBackup(const fs::path& root) {
    writeText(root / kUdid / "Manifest.db", "db");
    ASSERT_TRUE(PlistValue::dict().writeFile((root / kUdid / "Info.plist").string()));
    const utimbuf when{1709618820, 1709618820};
    ASSERT_EQ(::utime((root / kUdid / "Info.plist").c_str(), &when), 0);
}

TEST(BackupReplaceQuestionTest, AsksOnlyWhenABackupWouldGoAndNamesItsDate) {
    TempDir tmp;
    QSettings settings(q(tmp / "Nimbara.ini"), QSettings::IniFormat);
    const QString root = q(tmp / "root");
    const auto message = [&] {
        const auto replaced = backup::backupReplaceQuestion(root, kUdid, settings);
        return replaced ? backup::backupReplaceTexts(*replaced, "Ann", "read it").message
                        : QStringLiteral("none");
    };
    EXPECT_EQ(message(), "none");  // nothing to replace
    fs::create_directories(tmp / "root" / kUdid / "stray");
    EXPECT_EQ(message(), "Replace the earlier backup of \"Ann\"?");  // no date to give
    makeBackup(tmp / "root");
    EXPECT_EQ(message(), "Replace the backup of \"Ann\" made on 2024-03-05 06:07 (UTC)?");
    backup::suppressBackupReplaceQuestion(settings);
    EXPECT_EQ(message(), "none");
}

TEST(BackupLocationTest, AFolderThatCantTakeTheBackupIsRefusedWithWhy) {
    TempDir tmp;
    writeText(tmp / "file", "x");
    makeBackup(tmp / "root");
    fs::create_directories(tmp / "taken" / kUdid);
    writeText(tmp / "taken" / kUdid / "notes.txt", "mine");
    struct Row {
        std::string text;
        const char* refusal;  // a part of the refusal; null: accepted
    };
    const Row rows[] = {
        {"", "No folder is given"},
        {"relative/folder", "is not a full path"},
        {(tmp / "file").string(), "is not a folder"},
        {(tmp / "file" / "below").string(), "is not a folder"},
        {(tmp / "root" / kUdid).string(), "is inside the backup"},
        {(tmp / "root" / kUdid / "deeper" / "new").string(), "is inside the backup"},
        {(tmp / "taken").string(), "which is not a backup"},
        {(tmp / "root").string(), nullptr},  // holds the device's own backup, to be replaced
        {(tmp / "new" / "folder/").string(), nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const backup::BackupLocationCheck check =
            backup::prepareBackupLocation(QString::fromStdString(row.text), kUdid);
        if (row.refusal == nullptr) {
            EXPECT_TRUE(check.ok()) << check.refusal.toStdString();
            EXPECT_TRUE(fs::is_directory(check.folder.toStdString()));
        } else {
            EXPECT_TRUE(check.refusal.contains(row.refusal)) << check.refusal.toStdString();
        }
    }
    EXPECT_FALSE(fs::exists(tmp / "root" / kUdid / "deeper"));  // nothing made when refused
}

}  // namespace
}  // namespace nimbara::test
