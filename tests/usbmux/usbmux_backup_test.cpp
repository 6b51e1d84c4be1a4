// Backups and restores of the protocol-level device with the library's own backup tool
// (idevicebackup2), the backup read back by our reader.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <libimobiledevice/notification_proxy.h>
#include <usbmuxd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "backup/backup_folder.h"
#include "backup/backup_list.h"
#include "backup/backup_manifest.h"
#include "device_extras.h"
#include "mobilebackup2_service.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "restore_applications.h"

#include "usbmux_fixture.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using backup::isEncryptedBackup;
using backup::readBackupFolder;

// The path of idevicebackup2, or empty when it is not installed.
std::string backupToolPath() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin"}) {
        const fs::path path = fs::path(dir) / "idevicebackup2";
        if (::access(path.c_str(), X_OK) == 0) {
            return path.string();
        }
    }
    return {};
}

// The files of a folder by relative path, with their contents.
std::map<std::string, std::string> contentsBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& name : filesBelow(folder)) {
        files[name] = readText(folder / name);
    }
    return files;
}

// idevicebackup2 run as a child process with an argument list, its output in a file.
// Asks `done` every 20 ms until it holds or `seconds` passed.
bool waitUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class BackupToolRun {
  public:
    BackupToolRun(const std::string& tool, const std::vector<std::string>& arguments,
                  const fs::path& output)
        : output_(output) {
        std::vector<const char*> argv = {tool.c_str()};
        for (const auto& argument : arguments) {
            argv.push_back(argument.c_str());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (posix_spawn(&pid_, tool.c_str(), &actions, nullptr,
                        const_cast<char* const*>(argv.data()), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~BackupToolRun() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
        }
        wait();
    }

    // The exit status (-1 when it did not exit normally or never ran).
    int wait() {
        if (pid_ > 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
        }
        return exit_;
    }
    // Whether the tool ended within `seconds` (its status is then wait()'s).
    bool endsWithin(double seconds) {
        return waitUntil(
            [this] {
                int status = 0;
                if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
                    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                    pid_ = -1;
                }
                return pid_ <= 0;
            },
            seconds);
    }
    std::string output() const { return readText(output_); }

  private:
    fs::path output_;
    pid_t pid_ = -1;
    int exit_ = -1;
};

// The notifications a device relays to a host that observes them.
class NotificationLog {
  public:
    NotificationLog(idevice_t device, lockdownd_client_t lockdown,
                    const std::vector<const char*>& names) {
        lockdownd_service_descriptor_t service = nullptr;
        if (lockdownd_start_service(lockdown, NP_SERVICE_NAME, &service) == LOCKDOWN_E_SUCCESS) {
            np_client_new(device, service, &client_);
            lockdownd_service_descriptor_free(service);
        }
        if (client_) {
            for (const char* name : names) {
                np_observe_notification(client_, name);
            }
            np_set_notify_callback(client_, &NotificationLog::told, this);
        }
    }
    ~NotificationLog() {
        if (client_) {
            np_client_free(client_);
        }
    }
    bool connected() const { return client_ != nullptr; }
    // Waits until `name` was relayed (a limit only so that a broken device fails the test).
    bool waitFor(const std::string& name) {
        std::unique_lock<std::mutex> lock(mutex_);
        return seen_cv_.wait_for(lock, std::chrono::seconds(30), [&] { return seen_.count(name); });
    }

  private:
    static void told(const char* name, void* self) {
        auto* log = static_cast<NotificationLog*>(self);
        std::lock_guard<std::mutex> lock(log->mutex_);
        log->seen_.insert(name);
        log->seen_cv_.notify_all();
    }

    np_client_t client_ = nullptr;
    std::mutex mutex_;
    std::condition_variable seen_cv_;
    std::set<std::string> seen_;
};

class UsbmuxBackup : public UsbmuxTest {
  protected:
    void SetUp() override {
        tool_ = backupToolPath();
        if (tool_.empty()) {
            GTEST_SKIP() << "idevicebackup2 is not installed";
        }
        fs::create_directories(hostFolder());
        writeText(source() / "HomeDomain/Library/Notes/notes.txt", "first note");
        writeText(source() / "HomeDomain/Library/Preferences/empty.plist", "");
        writeText(source() / "MediaDomain/Media/DCIM/100APPLE/IMG_0001.JPG",
                  std::string(100000, 'j'));
        writeText(source() / "AppDomain-com.example.app/Documents/data.bin", "\x01\x02\x03");
    }
    fs::path source() const { return phone.dir() / md::sim::kBackupSourceDir; }
    fs::path hostFolder() const { return server.folder() / "host-backups"; }
    fs::path backupOf() const { return hostFolder() / kUdid; }

    int runTool(const std::vector<std::string>& arguments, std::string* output = nullptr) {
        BackupToolRun run(tool_, arguments, server.folder() / "tool-output.txt");
        const int status = run.wait();
        if (output) {
            *output = run.output();
        }
        return status;
    }
    int backUp(std::string* output = nullptr) {
        return runTool({"backup", "--full", hostFolder().string()}, output);
    }
    int restore(std::string* output = nullptr, const std::vector<std::string>& more = {}) {
        std::vector<std::string> arguments = {"restore", "--system", "--settings"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        arguments.push_back(hostFolder().string());
        return runTool(arguments, output);
    }
    // The device's files as the backup holds them, by "<domain>/<relative path>", read through
    // the backup's own file list.
    std::map<std::string, std::string> filesOfBackup() const {
        std::map<std::string, std::string> files;
        const auto folder = backup::BackupFolder::open(backupOf().string());
        backup::BackupManifest::visit(folder, [&](backup::BackupEntry&& e) {
            if (e.isFile()) {
                auto bytes = folder.readFile(
                    backup::storedFileName(e.fileKey, backup::BackupLayout::Sharded), 1 << 24);
                files[e.domain + "/" + e.relativePath] = bytes.value_or("(not stored)");
            }
            return true;
        });
        return files;
    }
    std::vector<std::string> listedDevices() const {
        char** list = nullptr;
        int count = 0;
        std::vector<std::string> udids;
        if (idevice_get_device_list(&list, &count) == IDEVICE_E_SUCCESS) {
            udids.assign(list, list + count);
            idevice_device_list_free(list);
        }
        return udids;
    }

    // Our backup tool, as a child process that reaches the device as a real one.
    int runOurs(const std::vector<std::string>& arguments, std::string* output) {
        const ScopedEnv root("NIMBARA_BACKUP_ROOT", ourRoot().string());
        const ScopedEnv real("NIMBARA_SIMULATED_DEVICES", "");
        BackupToolRun run(NIMBARA_BACKUP_TOOL_PATH, arguments, server.folder() / "ours.txt");
        const int status = run.wait();
        *output = run.output();
        return status;
    }
    fs::path ourRoot() const { return server.folder() / "our-backups"; }
    // A store app with its icon, one a developer installed and a built-in one; a file the
    // device keeps for its host.
    void addApps() {
        addApp("com.example.ledger", "Ledger");
        simdev::AppSpec developers;
        developers.bundleId = "com.example.devtool";
        developers.displayName = "Dev Tool";
        developers.fromStore = false;
        phone.addApp(developers);
        addApp("com.apple.mobilesafari", "Safari", false, false, "System");
        writeText(phone.mediaPath("/iTunes_Control/iTunes/iTunesPrefs"), "prefs of the host");
    }
    // Larger than a host keeps of such a file, and of an icon.
    void addOversizedFiles() {
        writeText(phone.mediaPath("/iTunes_Control/iTunes/IC-Info.sidb"),
                  std::string(16 * 1024 * 1024 + 1, 'x'));
        addApp("com.example.huge", "Huge");
        writeText(phone.appPath("com.example.huge") / md::sim::kAppIcon,
                  std::string(4 * 1024 * 1024 + 1, 'i'));
    }
    // What the last restore left the device to reinstall.
    PlistValue appsToReinstall() const {
        return PlistValue::readFile((phone.dir() / usbmuxsim::kRestoreAppsRecord).string())
            .value_or(PlistValue());
    }
    // The daemon's number of the attached device; 0 when none is.
    std::uint32_t attachedHandle() const {
        usbmuxd_device_info_t* list = nullptr;
        const int count = usbmuxd_get_device_list(&list);
        const std::uint32_t handle = count > 0 ? list[0].handle : 0;
        usbmuxd_device_list_free(&list);
        return handle;
    }
    // Once a restore restarted the device (it attaches anew), it is back.
    void waitForRestart(std::uint32_t before) {
        ASSERT_TRUE(
            waitUntil([&] { return attachedHandle() != 0 && attachedHandle() != before; }, 30));
    }

    std::string tool_;
};

TEST_F(UsbmuxBackup, TheLibrarysToolBacksUpWhatOurReaderReadsAndALaterBackupDropsStaleFiles) {
    startServer();
    std::string output;
    ASSERT_EQ(backUp(&output), 0) << output;
    ASSERT_TRUE(readBackupFolder(QString::fromStdString(backupOf().string())).ok()) << output;
    EXPECT_FALSE(isEncryptedBackup(QString::fromStdString(backupOf().string())));
    EXPECT_EQ(filesOfBackup(), contentsBelow(source()));
    EXPECT_TRUE(fs::exists(backupOf() / "Info.plist"));

    // The next backup leaves no stored copy of a file the device no longer has.
    const std::size_t storedBefore = filesBelow(backupOf()).size();
    fs::remove(source() / "HomeDomain/Library/Notes/notes.txt");
    writeText(source() / "HomeDomain/Library/Notes/later.txt", "second note");
    ASSERT_EQ(backUp(&output), 0) << output;
    EXPECT_EQ(filesOfBackup(), contentsBelow(source()));
    EXPECT_EQ(filesBelow(backupOf()).size(), storedBefore);
}

TEST_F(UsbmuxBackup, ARestoreWritesTheBackedUpFilesBack) {
    startServer();
    const auto original = contentsBelow(source());
    std::string output;
    ASSERT_EQ(backUp(&output), 0) << output;

    writeText(source() / "HomeDomain/Library/Notes/notes.txt", "changed");
    writeText(source() / "HomeDomain/Library/Notes/new.txt", "not in the backup");
    fs::remove(source() / "AppDomain-com.example.app/Documents/data.bin");
    ASSERT_EQ(restore(&output), 0) << output;
    EXPECT_EQ(contentsBelow(source()), original);
    // The restore was built beside backup-source/ and nothing of it is left there.
    EXPECT_EQ(folderNames(phone.dir()),
              (std::vector<std::string>{"apps", "backup-source", "crashes", "device.plist", "media",
                                        usbmuxsim::kRestoreAppsRecord}));
}

TEST_F(UsbmuxBackup, OurInfoPlistHoldsWhatTheLibrarysToolWrites) {
    addApps();
    addOversizedFiles();
    startServer();
    std::string output;
    ASSERT_EQ(backUp(&output), 0) << output;
    ASSERT_EQ(runOurs({"--backup", "--target", kUdid}, &output), 0) << output;
    auto theirs = PlistValue::readFile((backupOf() / "Info.plist").string());
    const auto ours = PlistValue::readFile((ourRoot() / kUdid / "Info.plist").string());
    ASSERT_TRUE(theirs && ours);
    using Type = PlistValue::Type;
    const std::pair<const char*, Type> rows[] = {
        {"Applications", Type::Dict},
        {"Installed Applications", Type::Array},
        {"GUID", Type::String},
        {"iTunes Files", Type::Dict},
        {"iTunes Settings", Type::Dict},
        {"iTunes Version", Type::String},
        {"Unique Identifier", Type::String},
        {"Last Backup Date", Type::Date},
    };
    for (const auto& [key, type] : rows) {
        EXPECT_EQ((*ours)[key].type(), type) << key;
    }
    // The same keys and values, but what is too large to keep: a file and an icon.
    PlistValue& theirHuge = (*theirs)["Applications"]["com.example.huge"];
    EXPECT_EQ((*theirs)["iTunes Files"].asDict().erase("IC-Info.sidb"), 1u);
    EXPECT_EQ(theirHuge.asDict().erase("PlaceholderIcon"), 1u);
    EXPECT_EQ(ours->size(), theirs->size());
    for (const auto& [key, value] : theirs->toDict()) {
        EXPECT_TRUE(ours->contains(key)) << key;
        if (key != "GUID" && key != "Last Backup Date") {
            EXPECT_EQ((*ours)[key], value) << key;
        }
    }
    // Only store apps are given back; the developer's app is listed.
    EXPECT_EQ((*ours)["Applications"]["com.example.ledger"].size(), 3u);
    EXPECT_EQ((*ours)["Installed Applications"].size(), 3u);
    EXPECT_EQ((*ours)["iTunes Files"]["iTunesPrefs"].toData().size(), 17u);
}

TEST_F(UsbmuxBackup, EachToolRestoresWhatTheOtherBackedUpAppsIncluded) {
    addApps();
    startServer();
    const auto original = contentsBelow(source());
    std::string output;
    const std::uint32_t handle = attachedHandle();
    ASSERT_EQ(runOurs({"--backup", "--target", kUdid}, &output), 0) << output;
    const auto ourInfo = PlistValue::readFile((ourRoot() / kUdid / "Info.plist").string());
    ASSERT_TRUE(ourInfo);

    writeText(source() / "HomeDomain/Library/Notes/notes.txt", "changed");
    fs::remove(source() / "AppDomain-com.example.app/Documents/data.bin");
    ASSERT_EQ(runTool({"restore", "--system", "--settings", ourRoot().string()}, &output), 0)
        << output;
    EXPECT_EQ(contentsBelow(source()), original);
    EXPECT_EQ(appsToReinstall(), (*ourInfo)["Applications"]);
    waitForRestart(handle);

    ASSERT_EQ(backUp(&output), 0) << output;
    const auto theirInfo = PlistValue::readFile((backupOf() / "Info.plist").string());
    ASSERT_TRUE(theirInfo);
    writeText(source() / "HomeDomain/Library/Notes/new.txt", "not in the backup");
    fs::remove(phone.dir() / usbmuxsim::kRestoreAppsRecord);
    ASSERT_EQ(runOurs({"--restore", "--target", kUdid, "--source", backupOf().string()}, &output),
              0)
        << output;
    EXPECT_EQ(contentsBelow(source()), original);
    EXPECT_EQ(appsToReinstall(), (*theirInfo)["Applications"]);
    EXPECT_EQ(appsToReinstall().size(), 1u);
}

TEST_F(UsbmuxBackup, AnEncryptedBackupSaysSoAndIsNotRestored) {
    phone.setFault(md::sim::kFaultBackupEncrypted, true);
    startServer();
    connect();
    EXPECT_TRUE(getValue(lockdown.get(), usbmuxsim::kBackupDomain, "WillEncrypt").toBool());
    lockdown.reset();
    std::string output;
    ASSERT_EQ(backUp(&output), 0) << output;
    EXPECT_TRUE(isEncryptedBackup(QString::fromStdString(backupOf().string())));

    writeText(source() / "HomeDomain/Library/Notes/notes.txt", "changed");
    const auto changed = contentsBelow(source());
    EXPECT_NE(restore(&output, {"--password", "secret"}), 0) << output;
    EXPECT_NE(output.find("207"), std::string::npos) << output;
    EXPECT_EQ(contentsBelow(source()), changed);
}

TEST_F(UsbmuxBackup, ADeviceGoneInTheMiddleOfABackupFailsItAndTheServerCarriesOn) {
    phone.setFault(usbmuxsim::kFaultBackupDetachAfterFiles, 2);
    startServer();
    BackupToolRun run(tool_, {"backup", "--full", hostFolder().string()},
                      server.folder() / "tool-output.txt");
    // The library's tool notices the lost device only where its read of the connection ends
    // the right way: cut inside a block, it can spin on the closed connection for ever. What is
    // ours to check is that the device left, the tool did not succeed, and the server goes on.
    ASSERT_TRUE(waitUntil([&] { return listedDevices().empty(); }, 60)) << run.output();
    if (run.endsWithin(20)) {
        EXPECT_NE(run.wait(), 0) << run.output();
    }
    EXPECT_EQ(server.control("SimRescan"), 0);
}

TEST_F(UsbmuxBackup, ABackupWaitsBehindThePasscodeDialogUntilItIsDismissed) {
    phone.setIdentity("Test iPhone", kUdid, "iPhone15,2", "17.0");
    writeText(phone.dir() / "passcode-asked", "");
    phone.setFault(usbmuxsim::kFaultBackupPasscode, "passcode-asked");
    startServer();
    connect();
    NotificationLog log(device.get(), lockdown.get(),
                        {usbmuxsim::kPasscodePresented, usbmuxsim::kPasscodeDismissed});
    ASSERT_TRUE(log.connected());

    BackupToolRun run(tool_, {"backup", "--full", hostFolder().string()},
                      server.folder() / "tool-output.txt");
    ASSERT_TRUE(log.waitFor(usbmuxsim::kPasscodePresented)) << run.output();
    // Nothing is uploaded while the dialog is on screen.
    EXPECT_FALSE(fs::exists(backupOf() / "Status.plist"));
    fs::remove(phone.dir() / "passcode-asked");
    EXPECT_TRUE(log.waitFor(usbmuxsim::kPasscodeDismissed));
    EXPECT_EQ(run.wait(), 0) << run.output();
    EXPECT_EQ(filesOfBackup(), contentsBelow(source()));
}

TEST_F(UsbmuxBackup, TheLibrarysToolAsksForTheSyncLockAndBacksUpOnceAnotherProgramLetGo) {
    phone.setFault(usbmuxsim::kFaultSyncLockHeld, 1500);
    startServer();
    connect();
    NotificationLog log(device.get(), lockdown.get(),
                        {NP_SYNC_LOCK_REQUEST, NP_SYNC_DID_START, NP_SYNC_DID_FINISH});
    ASSERT_TRUE(log.connected());
    std::string output;
    ASSERT_EQ(backUp(&output), 0) << output;
    EXPECT_EQ(filesOfBackup(), contentsBelow(source()));
    for (const char* told : {NP_SYNC_LOCK_REQUEST, NP_SYNC_DID_START, NP_SYNC_DID_FINISH}) {
        EXPECT_TRUE(log.waitFor(told)) << told;
    }
}

}  // namespace
}  // namespace nimbara::test
