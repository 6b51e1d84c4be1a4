// The demo iPhone of the README.
#include <chrono>
#include <exception>

#include "backup_calendar.h"
#include "backup_calls.h"
#include "backup_messages.h"
#include "backup_privacy.h"
#include "backup_source.h"
#include "demo_device_parts.h"
#include "file_writer.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

namespace demo {

std::int64_t utc(int year, unsigned month, unsigned day, int hour, int minute) {
    using namespace std::chrono;
    const sys_days date =
        year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    return duration_cast<seconds>(date.time_since_epoch() + hours{hour} + minutes{minute}).count();
}

std::string sqliteLike(std::size_t size, std::uint32_t seed) {
    std::string bytes("SQLite format 3", 16);  // with its closing NUL
    if (size > bytes.size()) {
        bytes += fillerBytes(size - bytes.size(), seed);
    }
    bytes.resize(size);
    return bytes;
}

}  // namespace demo

bool makeDemoDevice(const std::filesystem::path& dir, std::string* error) {
    try {
        SimDeviceBuilder b(dir);
        b.setIdentity("Nora's iPhone", "3f8a1c0d9e6b4a7f2c5d8e1b0a9c7f6e5d4c3b2a", "iPhone10,4",
                      "12.4.1");
        b.setValue("Global", "SerialNumber", "F2LX3K1QJCLY");
        b.setValue("Global", "PhoneNumber", "+1 (415) 555-0142");
        b.setValue("Global", "DeviceColor", "#e4c1b9");
        b.setValue("com.apple.mobile.battery", "BatteryCurrentCapacity", 82);
        b.setValue("com.apple.mobile.battery", "BatteryIsCharging", true);
        // 64 GB, of which 60 GB hold data; about 21 GB are free.
        b.setDiskUsage(64000000000ULL, 21318450176ULL);

        demo::addMedia(b);
        demo::addFileSystemCorners(b);
        addDemoBackupSource(b);
        addDemoPrivacyData(b);
        addDemoBrowserAndCalendar(b);
        addDemoMessages(b);
        addDemoCallsAndNotes(b);
        demo::addCrashLogs(b);
        const std::int64_t apps = demo::addApps(b);
        // What the media-sync session reports: well below the 38.7 GB in use, the rest being
        // the system, caches and other data.
        b.setAssetMetrics(apps, 3412000000LL, 2850000000LL, 1940000000LL, 4125000000LL);
        if (!b.write()) {
            if (error) {
                *error = "cannot write device.plist in " + dir.string();
            }
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        if (error) {
            *error = e.what();
        }
        return false;
    }
}

}  // namespace nimbara::simdev
