// The demo iPhone's crash reports.
#include "demo_device_parts.h"

namespace nimbara::simdev::demo {

void addCrashLogs(SimDeviceBuilder& b) {
    b.addCrashLog("/Nimbara-2026-11-30-101500.ips", 14 * kKB);
    b.addCrashLog("/JetsamEvent-2026-12-01-083011.ips", 22 * kKB);
    b.addCrashLog("/PocketLedger-2026-11-20-130501.ips", 16 * kKB);
    b.addCrashLog("/log-aggregated-2026-11-29-000000.ips", 5 * kKB);
    b.addCrashLog("/Panics/panic-full-2026-10-14-221503.ips", 48 * kKB);
    b.addCrashLog("/Panics/panic-base-2026-10-14-221503.ips", 9 * kKB);
    b.addCrashLog("/Retired/Nimbara-2026-09-02-114233.ips", 12 * kKB);
    b.addCrashLog("/Retired/stacks-2026-08-19-070512.ips", 30 * kKB);
    b.addCrashLog("/Retired/Older/JetsamEvent-2026-07-01-120000.ips", 20 * kKB);
    b.addCrashLog("/Assistant/SpeechLogs/speech-2026-11-28-201512.log", 3 * kKB);
    b.addCrashLog("/Assistant/SpeechLogs/speech-2026-11-29-080102.log", 0);
    b.addCrashLog("/Assistant/SpeechLogs/speech-2026-11-30-074455.log", 1500);
}

}  // namespace nimbara::simdev::demo
