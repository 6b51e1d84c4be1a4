// The unlock notice of a backup run, with the real backup tool: shown right after the launch,
// while the tool runs, and gone before the run reports, for every variant that shows it.
#include <QMessageBox>
#include <QPointer>

#include <filesystem>
#include <optional>
#include <string>

#include "../app/backup_run_fixture.h"
#include "backup/backup_runner.h"
#include "backup/pages/unlock_notice.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using backup::BackupVariant;

constexpr const char* kPhone = "5e6f708192a3b4c5d6e7f8091a2b3c4d1a2b3c4d";

class UnlockNoticeTest : public BackupRunTest {
  protected:
    static bool up(const QPointer<QMessageBox>& notice) { return notice && notice->isVisible(); }
};

TEST_F(UnlockNoticeTest, ShownWhileTheBackupRunsAndGoneBeforeTheReport) {
    const int index = attach(makeBackupDevice(kPhone, "Phone", waitingFaults()));
    ASSERT_GE(index, 0);
    for (BackupVariant variant : {BackupVariant::BackupPage, BackupVariant::PrivacyCleaner,
                                  BackupVariant::TransferPage, BackupVariant::OneCopyPage}) {
        SCOPED_TRACE(static_cast<int>(variant));
        fs::remove(tmp_ / kPhone / "go");
        QPointer<QMessageBox> notice;
        std::optional<bool> upAtReport;
        backup::BackupRunHooks hooks;
        hooks.unlockNotice = [&notice](const backup::BackupDevice&) {
            notice = backup::EnteriPhonePassCodetoUnlockScreen(nullptr);
        };
        hooks.report = [&](const backup::BackupRunResult&) { upAtReport = up(notice); };
        auto run = backup::DeviceBackupRun::start(
            variant, backup::backupDeviceFor(index, QString::fromLatin1(kPhone), "Phone"),
            std::move(hooks));
        // The tool runs and holds the device until released: the notice is up now.
        ASSERT_TRUE(waitUntilToolHolds(kPhone));
        const bool announced = backup::backupVariantTraits(variant).unlockNotice;
        EXPECT_EQ(pumpLong([&] { return up(notice); }), announced);
        EXPECT_FALSE(upAtReport);
        release(kPhone);
        ASSERT_TRUE(pumpLong([&] { return upAtReport.has_value(); }));
        // The backup has ended: its notice went with it, before the report.
        EXPECT_FALSE(*upAtReport);
        EXPECT_FALSE(up(notice));
        EXPECT_TRUE(pumpLong([&] { return run->ended(); }));
    }
}

}  // namespace
}  // namespace nimbara::test
