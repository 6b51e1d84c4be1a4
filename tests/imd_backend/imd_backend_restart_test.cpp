// A restore that asks the device to reboot, end to end: the backup tool's real-device path says
// the device restarts, the device goes and comes back, and the wait for it sees that through the
// device manager's list.
#include <atomic>
#include <thread>

#include "backup/device_restart_wait.h"
#include "backup/real_device_backup.h"
#include "backup/tool_line.h"
#include "imd_backend_fixture.h"

namespace nimbara::test {
namespace {

using ImdBackendRestart = ImdBackendTest;

TEST_F(ImdBackendRestart, ARestoredDeviceIsWaitedForUntilItIsBackAsANewAttachment) {
    const int index = startWithDeviceManager();
    ASSERT_GE(index, 0);
    auto& manager = amd::DeviceManager::GetInstance();
    const std::uint64_t before = manager.SerialOfDevice("00008030-001a2b3c4d5e6f70");
    ASSERT_EQ(before, manager.DeviceSerial(index));  // the UDID in either case

    const std::filesystem::path root = tmp.path() / "backups";
    const backup::ToolAnswer backedUp = backup::backupRealDevice(kUdid, root);
    ASSERT_TRUE(backedUp.ok()) << backedUp.message;
    std::atomic<bool> restarting{false};
    const backup::ToolAnswer restored =
        backup::restoreRealDevice(kUdid, root / kUdid, root, {}, [&](const std::string& line) {
            restarting = restarting || line == backup::restartingLine();
        });
    ASSERT_TRUE(restored.ok()) << restored.message;
    EXPECT_TRUE(restarting);

    // The wait runs on a thread of its own while this one delivers the device events.
    std::atomic<bool> done{false};
    backup::RestartEnd end = backup::RestartEnd::Stopped;
    backup::RestartWaitSettings limits;
    limits.goneWithin = limits.backWithin = std::chrono::seconds(25);
    std::thread waiter([&] {
        end = backup::waitForRestart(QString::fromLatin1(kUdid), before, limits, {});
        done = true;
    });
    loopUntil([&] { return done.load(); });
    waiter.join();
    EXPECT_EQ(end, backup::RestartEnd::Back);
    EXPECT_NE(manager.SerialOfDevice(kUdid), before);
    EXPECT_NE(manager.SerialOfDevice(kUdid), 0u);
}

}  // namespace
}  // namespace nimbara::test
