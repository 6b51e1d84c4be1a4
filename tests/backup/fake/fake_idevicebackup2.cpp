// A stand-in for idevicebackup2 in the tests of the backup tool's real-device path; the tool runs
// it when NIMBARA_IDEVICEBACKUP2 names it. It reads its command line the way the real program
// does ([-u UDID] [-s UDID] backup|restore [flags] DIRECTORY), and behaves as the environment
// asks:
//
//   FAKE_IDB2_RECORD  a file: its argument list is written there, each argument ended by a NUL;
//                     its process id goes to FILE.pid once it is ready (after writing, or before
//                     hanging); a restore writes the real path of DIRECTORY/<UDID> to FILE.source
//   FAKE_IDB2_DEVICE  the simulated device whose backup a backup writes, into DIRECTORY/<UDID>
//   FAKE_IDB2_MODE    ok (the default), encrypted (an encrypted backup), unfinished (a backup
//                     without Status.plist), says-failed (a whole backup, but the words of a
//                     failure, and status 0), nothing (status 0, writes nothing), fail (a device
//                     error), nodevice, locked, untrusted, password (a restore that wants one),
//                     hang (starts a backup and waits to be ended), stubborn (the same, ignoring
//                     SIGTERM)
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/mobiledevice/sim/sim_backup_writer.h"

namespace fs = std::filesystem;

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void writeFile(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

void ready(const std::string& record) {
    if (!record.empty()) {
        writeFile(record + ".pid", std::to_string(::getpid()));
    }
}

int say(const std::string& lines, int status) {
    std::fputs(lines.c_str(), stdout);
    std::fflush(stdout);
    return status;
}

[[noreturn]] void hang(const fs::path& dir, const std::string& udid, const std::string& record,
                       bool stubborn) {
    if (stubborn) {
        ::signal(SIGTERM, SIG_IGN);
    }
    // As the real program does first: the device's folder and a fresh Info.plist.
    fs::create_directories(dir / udid);
    writeFile(dir / udid / "Info.plist", "<?xml version=\"1.0\"?><plist><dict/></plist>");
    say("Backup directory is \"" + dir.string() + "\"\nStarting backup...\n", 0);
    ready(record);
    while (true) {
        ::pause();
    }
}

int backup(const fs::path& dir, const std::string& udid, const std::string& mode,
           const std::string& record) {
    if (mode == "hang" || mode == "stubborn") {
        hang(dir, udid, record, mode == "stubborn");
    }
    if (mode == "nothing") {
        ready(record);
        return say("Backup Successful.\n", 0);
    }
    if (mode == "fail") {
        fs::create_directories(dir / udid);
        writeFile(dir / udid / "Info.plist", "<?xml version=\"1.0\"?><plist><dict/></plist>");
        ready(record);
        return say(
            "Receiving files\n[=====        ] 10% Finished\n"
            "ErrorCode 105: Insufficient free disk space on drive to backup\n"
            "Backup Failed (Error Code 105).\n",
            151);
    }
    nimbara::md::sim::BackupOptions options;
    options.encrypted = mode == "encrypted";
    options.statusPlist = mode != "unfinished";
    options.expectedUdid = udid;
    const auto written = nimbara::md::sim::writeDeviceBackup(env("FAKE_IDB2_DEVICE"), dir, options);
    ready(record);
    if (!written.ok) {
        return say("ERROR: " + written.error + "\n", 255);
    }
    say("\r[==================================================] 100% Finished\n", 0);
    if (mode == "says-failed") {
        return say("Backup Failed (Error Code 1).\n", 0);
    }
    return say("Received " + std::to_string(written.files) + " files from device.\n" +
                   "Backup Successful.\n",
               0);
}

int restore(const fs::path& dir, const std::string& udid, const std::string& mode,
            const std::string& record) {
    std::error_code ec;
    const fs::path source = fs::canonical(dir / udid, ec);
    if (!record.empty()) {
        writeFile(record + ".source", ec ? std::string() : source.string());
    }
    ready(record);
    if (mode == "password") {
        return say(
            "This is an encrypted backup.\nERROR: a backup password is required to "
            "restore an encrypted backup. Cannot continue.\n",
            255);
    }
    if (mode == "fail") {
        return say(
            "Backup password: No\nErrorCode 205: The device is busy\n"
            "Restore Failed (Error Code 205).\n",
            51);
    }
    if (ec || !fs::exists(source / "Info.plist") || !fs::exists(source / "Status.plist")) {
        return say("ERROR: Backup directory \"" + dir.string() + "\" is invalid. No Info.plist " +
                       "found for UDID " + udid + ".\n",
                   255);
    }
    return say("Backup password: No\nRestore Successful.\n", 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string record = env("FAKE_IDB2_RECORD");
    if (!record.empty()) {
        std::string all;
        for (int i = 1; i < argc; ++i) {
            all += argv[i];
            all.push_back('\0');
        }
        writeFile(record, all);
    }
    std::string udid;
    std::string command;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-u" || arg == "-s") && i + 1 < argc) {
            if (arg == "-u") {
                udid = argv[i + 1];
            }
            ++i;
        } else if (arg == "backup" || arg == "restore") {
            command = arg;
        } else if (arg.rfind("-", 0) != 0) {
            positional.push_back(arg);
        }
    }
    if (command.empty() || positional.size() != 1 || udid.empty()) {
        return say("Usage: idevicebackup2 [OPTIONS] CMD [CMDOPTIONS] DIRECTORY\n", 255);
    }
    const std::string mode = env("FAKE_IDB2_MODE").empty() ? "ok" : env("FAKE_IDB2_MODE");
    if (mode == "nodevice") {
        ready(record);
        return say("No device found with udid " + udid + ".\n", 255);
    }
    if (mode == "locked" || mode == "untrusted") {
        ready(record);
        return say(std::string("ERROR: Could not connect to lockdownd, error code ") +
                       (mode == "locked" ? "-17" : "-19") + "\n",
                   255);
    }
    const fs::path dir = positional.front();
    if (!fs::is_directory(dir)) {
        return say("ERROR: Backup directory \"" + dir.string() + "\" does not exist!\n", 255);
    }
    return command == "backup" ? backup(dir, udid, mode, record) : restore(dir, udid, mode, record);
}
