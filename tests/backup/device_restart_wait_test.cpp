// The wait for a device that restarts after a restore, through a probe that plays the device
// manager's list over time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "backup/device_restart_wait.h"

namespace nimbara::backup {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(DeviceRestartWaitTest, TheDeviceIsWaitedForUntilItIsBackAsAnotherAttachment) {
    // The serial listed for the device from each moment on (ms since the wait began).
    using Timeline = std::vector<std::pair<int, std::uint64_t>>;
    struct Row {
        const char* what;
        std::uint64_t before;
        Timeline listed;
        int stopAtMs;  // -1: never
        RestartEnd end;
        bool toldGone;  // the wait said it waits for the device to come back
    } rows[] = {
        {"goes and comes back", 5, {{0, 5}, {60, 0}, {120, 9}}, -1, RestartEnd::Back, true},
        {"back between two looks", 5, {{0, 9}}, -1, RestartEnd::Back, false},
        {"attachment not known", 0, {{0, 5}, {60, 0}, {100, 6}}, -1, RestartEnd::Back, true},
        {"never goes", 5, {{0, 5}}, -1, RestartEnd::NeverWent, false},
        {"never comes back", 5, {{0, 5}, {40, 0}}, -1, RestartEnd::NotBack, true},
        {"stopped while away", 5, {{0, 0}}, 80, RestartEnd::Stopped, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Clock::time_point start = Clock::now();
        auto elapsedMs = [start] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                .count();
        };
        RestartWaitSettings settings;
        settings.goneWithin = 200ms;
        settings.backWithin = 200ms;
        settings.attachedSerial = [&](const QString& udid) {
            EXPECT_EQ(udid, QStringLiteral("UDID-1"));
            std::uint64_t serial = 0;
            for (const auto& [fromMs, listed] : row.listed) {
                serial = elapsedMs() >= fromMs ? listed : serial;
            }
            return serial;
        };
        std::vector<RestartPhase> phases;
        const RestartEnd end = waitForRestart(
            QStringLiteral("UDID-1"), row.before, settings,
            [&] { return row.stopAtMs >= 0 && elapsedMs() >= row.stopAtMs; },
            [&](RestartPhase phase) { phases.push_back(phase); });
        EXPECT_EQ(end, row.end);
        using P = RestartPhase;
        const std::vector<P> told =
            row.toldGone ? std::vector<P>{P::Going, P::ComingBack} : std::vector<P>{P::Going};
        EXPECT_EQ(phases, told);
        if (row.stopAtMs >= 0) {
            EXPECT_LT(elapsedMs(), row.stopAtMs + 50);  // a stop ends it within 50 ms
        }
    }
}

}  // namespace
}  // namespace nimbara::backup
