#include "mobilebackup2_service.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/backup_tool.h"
#include "device_extras.h"
#include "device_link.h"
#include "notification_proxy.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_backup_writer.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_device.h"
#include "platform/scratch_dir.h"
#include "platform/text_format.h"
#include "platform/unique_folder.h"
#include "restore_applications.h"
#include "sim_profile.h"

namespace fs = std::filesystem;

namespace nimbara::usbmuxsim {

namespace {

constexpr std::int64_t kErrorUnknown = 1;
constexpr std::int64_t kErrorNoSpace = 105;
constexpr std::int64_t kErrorWrongPassword = 207;
constexpr std::size_t kFilesPerMessage = 64;
constexpr auto kWaitStep = std::chrono::milliseconds(10);
constexpr auto kLongestWait = std::chrono::seconds(120);
const std::set<std::string> kDescriptions = {"Info.plist", "Manifest.plist", "Status.plist",
                                             "Manifest.db", "Manifest.mbdb"};

// The passcode wait of a backup: a delay or a flag file; none when the fault is not given.
struct PasscodeWait {
    std::optional<std::chrono::milliseconds> delay;
    std::string whileFileExists;
};

struct BackupFaults {
    std::optional<PasscodeWait> passcode;
    std::optional<std::int64_t> detachAfterFiles;
    std::vector<std::string> linkMessages;
    std::optional<std::string> statusState;  // "none": no Status.plist
};

// Whether a device of this iOS version asks for the passcode before a backup (16.1 and later).
bool asksForPasscode(const std::string& version) {
    const auto dot = version.find('.');
    const auto major = parseInt64(version.substr(0, dot));
    std::int64_t minor = 0;
    if (dot != std::string::npos) {
        const std::string rest = version.substr(dot + 1);
        minor = parseInt64(rest.substr(0, rest.find('.'))).value_or(0);
    }
    return major && (*major > 16 || (*major == 16 && minor >= 1));
}

// The backup faults of the device; the passcode wait only where the iOS version it serves by
// its profile asks for the passcode.
BackupFaults backupFaults(const md::sim::SimulatedDevice& device, Profile serverProfile) {
    BackupFaults faults;
    auto config = device.folder().readConfig(nullptr);
    if (!config) {
        return faults;
    }
    const PlistValue& f = (*config)[md::sim::kKeyFaults];
    const PlistValue& passcode = f[kFaultBackupPasscode];
    const std::string version = servedProductVersion(
        profileOf(readExtras(device), serverProfile),
        (*config)[md::sim::kKeyLockdown][md::sim::kGlobalDomain]["ProductVersion"].toString());
    if (asksForPasscode(version)) {
        if (passcode.isNumber()) {
            faults.passcode = PasscodeWait{std::chrono::milliseconds(passcode.toInt64()), {}};
        } else if (passcode.isString() && isSafePathComponent(passcode.toString())) {
            faults.passcode = PasscodeWait{std::nullopt, passcode.toString()};
        }
    }
    if (f[kFaultBackupDetachAfterFiles].isNumber()) {
        faults.detachAfterFiles = f[kFaultBackupDetachAfterFiles].toInt64();
    }
    for (const auto& name : f[kFaultBackupLinkMessages].toArray()) {
        if (name.isString()) {
            faults.linkMessages.push_back(name.toString());
        }
    }
    if (f[kFaultBackupStatus].isString()) {
        faults.statusState = f[kFaultBackupStatus].toString();
    }
    return faults;
}

// Whether the peer closed its end (or the socket failed), without taking anything it sent.
bool peerGone(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) {
        return false;
    }
    char byte = 0;
    return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
}

// A folder of its own to stage a backup or a restore in, in the process's private scratch
// space; null when none could be made.
std::unique_ptr<UniqueFolder> stagingFolder(const char* prefix) {
    const fs::path root = scratchFolder("mobilebackup2");
    if (root.empty()) {
        return nullptr;
    }
    auto folder = std::make_unique<UniqueFolder>(root, prefix);
    return folder->valid() ? std::move(folder) : nullptr;
}

PlistValue response(std::int64_t code, const std::string& description) {
    PlistValue reply = PlistValue::dict();
    reply["MessageName"] = "Response";
    reply["ErrorCode"] = code;
    if (code != 0) {
        reply["ErrorDescription"] = description;
    }
    return reply;
}

PlistValue linkMessage(const char* name, PlistValue argument) {
    PlistValue message(PlistValue::Array{name});
    message.append(std::move(argument));
    return message;
}

// The files of a built backup, in the order the device uploads them: the stored files (with
// their folders), then the descriptions the device writes.
struct BuiltBackup {
    std::vector<std::string> folders;  // relative to the backup folder
    std::vector<std::pair<std::string, fs::path>> stored;
    std::vector<std::pair<std::string, fs::path>> descriptions;
    std::uint64_t bytes = 0;
};

BuiltBackup listBuilt(const fs::path& folder) {
    BuiltBackup built;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    for (const fs::path& path : entries) {
        const std::string relative = path.lexically_relative(folder).string();
        const auto status = fs::symlink_status(path, ec);
        if (fs::is_directory(status)) {
            built.folders.push_back(relative);
        } else if (fs::is_regular_file(status)) {
            built.bytes += fs::file_size(path, ec);
            if (kDescriptions.count(relative)) {
                if (relative != "Info.plist") {
                    built.descriptions.emplace_back(relative, path);
                }
            } else {
                built.stored.emplace_back(relative, path);
            }
        }
    }
    // In name order the file list comes before Manifest.plist, and Status.plist last: a backup
    // counts as done once its Status.plist is.
    return built;
}

class Mobilebackup2Session {
  public:
    Mobilebackup2Session(UsbmuxServer& server, int fd, const AttachedDevice& device)
        : server_(server), fd_(fd), device_(device), link_(fd) {}

    void run() {
        if (!link_.open()) {
            return;
        }
        while (auto message = link_.receive()) {
            const std::string& name = message->toArray()[0].toString();
            if (name == "DLMessageDisconnect") {
                return;
            }
            if (name != "DLMessageProcessMessage" || message->size() < 2) {
                continue;
            }
            const PlistValue& request = message->toArray()[1];
            const std::string& what = request["MessageName"].toString();
            server_.log("mobilebackup2 " + what);
            std::optional<PlistValue> reply;
            if (what == "Hello") {
                reply = hello(request);
            } else if (what == "Backup") {
                reply = backup(request);
            } else if (what == "Restore") {
                reply = restore(request);
            } else {
                reply = response(kErrorUnknown, "Unsupported request " + what);
            }
            if (!reply || !link_.send(linkMessage("DLMessageProcessMessage", *reply))) {
                return;  // the device or the host went away
            }
        }
    }

  private:
    PlistValue hello(const PlistValue& request) {
        double chosen = 0;
        for (const auto& offered : request["SupportedProtocolVersions"].toArray()) {
            const double version = offered.toDouble();
            if ((version == 2.0 || version == 2.1) && version > chosen) {
                chosen = version;
            }
        }
        if (chosen == 0) {
            return response(kErrorUnknown, "No common protocol version");
        }
        PlistValue reply = response(0, {});
        reply["ProtocolVersion"] = chosen;
        return reply;
    }

    // The folder of the host's backup the request names; empty when it names none that may be.
    std::string hostFolder(const PlistValue& request, const char* key) const {
        std::string name = request[key].toString();
        if (name.empty()) {
            name = request["TargetIdentifier"].toString();
        }
        if (name.empty()) {
            name = device_.udid;
        }
        return md::sim::isPlainUdid(name) ? name : std::string();
    }

    std::unique_ptr<md::sim::BackupTarget> holdDevice(std::string& error) const {
        return md::sim::BackupTarget::open(device_.device->dir().parent_path(), device_.udid,
                                           &error);
    }

    // Waits behind the passcode dialog; false when the device or the host went away meanwhile.
    bool waitForPasscode(const PasscodeWait& wait, std::string& error) {
        NotificationHub::instance().post(device_.id, kPasscodePresented);
        const auto start = std::chrono::steady_clock::now();
        const fs::path flag = device_.device->anchor() / wait.whileFileExists;
        for (;;) {
            const auto waited = std::chrono::steady_clock::now() - start;
            std::error_code ec;
            if (wait.delay ? waited >= *wait.delay : !fs::exists(fs::symlink_status(flag, ec))) {
                break;
            }
            if (!device_.device->attached() || peerGone(fd_)) {
                return false;
            }
            if (waited > kLongestWait) {
                error = "The passcode was not entered on the device.";
                break;
            }
            std::this_thread::sleep_for(kWaitStep);
        }
        NotificationHub::instance().post(device_.id, kPasscodeDismissed);
        return true;
    }

    std::optional<PlistValue> backup(const PlistValue& request) {
        const std::string target = hostFolder(request, "TargetIdentifier");
        if (target.empty()) {
            return response(kErrorUnknown, "The target identifier cannot name a folder.");
        }
        std::string error;
        const auto held = holdDevice(error);
        if (!held) {
            return response(kErrorUnknown, error);
        }
        const BackupFaults faults = backupFaults(*device_.device, server_.profile());
        if (faults.passcode) {
            if (!waitForPasscode(*faults.passcode, error)) {
                return std::nullopt;
            }
            if (!error.empty()) {
                return response(kErrorUnknown, error);
            }
        }
        const auto staging = stagingFolder("backup");
        if (!staging) {
            return response(kErrorUnknown, "The device has no room to stage its backup.");
        }
        md::sim::BackupOptions options;
        options.encrypted = held->encryptsBackups();
        options.expectedUdid = device_.udid;
        const md::sim::BackupResult written =
            md::sim::writeDeviceBackup(held->anchor(), staging->path(), options);
        if (!written.ok) {
            return response(kErrorUnknown, written.error);
        }
        if (faults.statusState &&
            !endStatusAs(written.folder / "Status.plist", *faults.statusState)) {
            return response(kErrorUnknown, "The device cannot write its Status.plist.");
        }
        const BuiltBackup built = listBuilt(written.folder);

        auto space = link_.ask(PlistValue(PlistValue::Array{"DLMessageGetFreeDiskSpace"}));
        if (!space) {
            return std::nullopt;
        }
        if (space->code == 0 && space->value.isInteger() &&
            static_cast<std::uint64_t>(space->value.toInt64()) < built.bytes) {
            return response(kErrorNoSpace, "Not enough free disk space on the computer.");
        }
        if (faults.statusState != "none" &&
            !uploadStatus(target, written.folder / "Status.plist")) {
            return std::nullopt;
        }
        for (const std::string& folder : built.folders) {
            auto made = link_.ask(linkMessage("DLMessageCreateDirectory", target + "/" + folder));
            if (!made) {
                return std::nullopt;
            }
        }
        if (const auto refused = askFaultMessages(target, faults.linkMessages); !refused) {
            return std::nullopt;
        } else if (!refused->empty()) {
            return response(kErrorUnknown, *refused);
        }
        bool goneByFault = false;
        auto counted = [&](int uploaded) {
            goneByFault = faults.detachAfterFiles && uploaded >= *faults.detachAfterFiles;
            return !goneByFault && device_.device->attached();
        };
        std::vector<Upload> batch;
        const std::size_t total = built.stored.size() + built.descriptions.size();
        std::size_t sent = 0;
        auto flush = [&] {
            sent += batch.size();
            const bool done = batch.empty() || link_.upload(batch, 100.0 * sent / total, counted);
            batch.clear();
            if (goneByFault) {
                server_.log("mobilebackup2: the device goes away in the middle of a file");
                device_.device->detachByFault();
            }
            return done;
        };
        for (const auto& [relative, local] : built.stored) {
            batch.push_back({target + "/" + relative, local, {}});
            if (batch.size() == kFilesPerMessage && !flush()) {
                return std::nullopt;
            }
        }
        if (!flush()) {
            return std::nullopt;
        }
        for (const auto& [relative, local] : built.descriptions) {
            batch.push_back({target + "/" + relative, local, {}});
        }
        if (!flush() || !removeLeftovers(target, built)) {
            return std::nullopt;
        }
        return response(0, {});
    }

    // The messages of the "BackupLinkMessages" fault, each answered by the host before the next.
    // A move or a copy is of a file uploaded for it, checked in the host's listing and removed
    // again. nullopt when the host went away or answered otherwise; else what ends the backup
    // (empty: nothing).
    std::optional<std::string> askFaultMessages(const std::string& target,
                                                const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            const bool move = name == "DLMessageMoveItems";
            if (!move && name != "DLMessageCopyItem") {
                // A purge of the host's disk space asks for this many bytes; whatever the host
                // says, the device goes on with the space it has. Others carry nothing.
                PlistValue message(PlistValue::Array{name});
                if (name == "DLMessagePurgeDiskSpace") {
                    message.append(static_cast<std::uint64_t>(1) << 30);
                }
                if (!link_.ask(message)) {
                    return std::nullopt;
                }
                continue;
            }
            const std::string from = target + "/Scratch.tmp";
            const std::string to = target + (move ? "/Scratch.moved" : "/Scratch.copy");
            if (!link_.upload({{from, {}, "scratch"}}, 0.0, {})) {
                return std::nullopt;
            }
            PlistValue change(PlistValue::Array{name});
            if (move) {
                PlistValue items = PlistValue::dict();
                items[from] = to;
                change.append(std::move(items));
                change.append(PlistValue::dict());
                change.append(0.0);
            } else {
                change.append(from);
                change.append(to);
            }
            const auto answer = link_.ask(change);
            const auto listing = answer ? hostListing(target) : std::nullopt;
            if (!listing) {
                return std::nullopt;
            }
            auto listed = [&](const std::string& path) {
                const std::string file = path.substr(target.size() + 1);
                return std::any_of(listing->begin(), listing->end(),
                                   [&](const auto& entry) { return entry.first == file; });
            };
            if (answer->code != 0 || !listed(to) || listed(from) == move) {
                return std::string("The computer did not ") + (move ? "move" : "copy") +
                       " the backup's items.";
            }
            PlistValue removals(PlistValue::Array{from, to});
            PlistValue remove = linkMessage("DLMessageRemoveItems", std::move(removals));
            remove.append(PlistValue::dict());
            remove.append(0.0);
            if (!link_.ask(remove)) {
                return std::nullopt;
            }
        }
        return std::string();
    }

    // The "BackupStatus" fault: the built backup's Status.plist says `state`, or, for "none",
    // is no more. False when it cannot be written.
    static bool endStatusAs(const fs::path& file, const std::string& state) {
        std::error_code ec;
        if (state == "none") {
            fs::remove(file, ec);
            return !ec;
        }
        auto status = PlistValue::readFile(file.string());
        if (!status || !status->isDict()) {
            return false;
        }
        (*status)["SnapshotState"] = state;
        return status->writeFile(file.string());
    }

    // Status.plist as the device writes it while the backup is under way.
    bool uploadStatus(const std::string& target, const fs::path& finished) {
        auto status = PlistValue::readFile(finished.string());
        if (!status) {
            return false;
        }
        (*status)["SnapshotState"] = "uploading";
        const PlistValue::Bytes bytes = status->toBinary();
        return link_.upload(
            {{target + "/Status.plist", {}, std::string(bytes.begin(), bytes.end())}}, 0.0, {});
    }

    // The names in a folder of the host's backup; empty when it has none.
    std::optional<std::vector<std::pair<std::string, bool>>> hostListing(const std::string& path) {
        auto listed = link_.ask(linkMessage("DLContentsOfDirectory", path));
        if (!listed) {
            return std::nullopt;
        }
        std::vector<std::pair<std::string, bool>> names;
        for (const auto& [name, info] : listed->value.toDict()) {
            names.emplace_back(name, info["DLFileType"].toString() == "DLFileTypeDirectory");
        }
        return names;
    }

    // Removes the stored files and file lists an earlier backup left in the host's folder that
    // this backup does not have. False when the host went away.
    bool removeLeftovers(const std::string& target, const BuiltBackup& built) {
        std::set<std::string> keep(built.folders.begin(), built.folders.end());
        for (const auto& [relative, local] : built.stored) {
            keep.insert(relative);
        }
        for (const auto& [relative, local] : built.descriptions) {
            keep.insert(relative);
        }
        keep.insert("Info.plist");
        auto top = hostListing(target);
        if (!top) {
            return false;
        }
        PlistValue removals = PlistValue::array();
        for (const auto& [name, folder] : *top) {
            const bool shard =
                name.size() == 2 && std::all_of(name.begin(), name.end(), [](char c) {
                    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                });
            if (folder && shard) {
                auto inner = hostListing(target + "/" + name);
                if (!inner) {
                    return false;
                }
                for (const auto& [file, isFolder] : *inner) {
                    if (!isFolder && !keep.count(name + "/" + file)) {
                        removals.append(target + "/" + name + "/" + file);
                    }
                }
            } else if (!folder && !keep.count(name) &&
                       (kDescriptions.count(name) || name.size() == 40)) {
                removals.append(target + "/" + name);
            }
        }
        if (removals.size() == 0) {
            return true;
        }
        PlistValue remove = linkMessage("DLMessageRemoveItems", std::move(removals));
        remove.append(PlistValue::dict());
        remove.append(100.0);
        return link_.ask(remove).has_value();
    }

    std::optional<PlistValue> restore(const PlistValue& request) {
        const std::string source = hostFolder(request, "SourceIdentifier");
        if (source.empty()) {
            return response(kErrorUnknown, "The source identifier cannot name a folder.");
        }
        std::string error;
        const auto held = holdDevice(error);
        if (!held) {
            return response(kErrorUnknown, error);
        }
        if (!takeAppsToReinstall(device_.device->anchor())) {
            server_.log("mobilebackup2: the host left no apps to reinstall");
        }
        const auto staging = stagingFolder("restore");
        if (!staging) {
            return response(kErrorUnknown, "The device has no room to stage the restore.");
        }
        std::set<std::string> missing;
        const std::string manifest = source + "/Manifest.plist";
        if (!link_.download({manifest}, staging->path(), 0.0, missing)) {
            return std::nullopt;
        }
        auto description = PlistValue::readFile((staging->path() / manifest).string());
        if (!description || !description->isDict()) {
            return response(kErrorUnknown, "The backup has no readable Manifest.plist.");
        }
        if ((*description)["IsEncrypted"].toBool(false)) {
            return response(kErrorWrongPassword,
                            "Invalid password when restoring encrypted backup.");
        }
        if (!link_.download({source + "/Manifest.db", source + "/Manifest.mbdb",
                             source + "/Status.plist", source + "/Info.plist"},
                            staging->path(), 5.0, missing)) {
            return std::nullopt;
        }
        const fs::path local = staging->path() / source;
        std::string why;
        const backup::BackupFolder folder = backup::BackupFolder::open(local.string(), &why);
        if (!folder.isOpen()) {
            return response(kErrorUnknown, why);
        }
        const backup::ManifestKind kind = backup::detectManifestKind(folder);
        const auto layout = kind == backup::ManifestKind::Db ? backup::BackupLayout::Sharded
                                                             : backup::BackupLayout::Flat;
        std::vector<std::string> wanted;
        backup::BackupManifest::visit(folder, [&](backup::BackupEntry&& e) {
            if (e.isFile()) {
                const std::string name = backup::storedFileName(e.fileKey, layout);
                if (!name.empty()) {
                    wanted.push_back(source + "/" + name);
                }
            }
            return true;
        });
        for (std::size_t at = 0; at < wanted.size(); at += kFilesPerMessage) {
            const std::vector<std::string> batch(
                wanted.begin() + static_cast<std::ptrdiff_t>(at),
                wanted.begin() +
                    static_cast<std::ptrdiff_t>(std::min(wanted.size(), at + kFilesPerMessage)));
            if (!link_.download(batch, staging->path(), 10.0 + 80.0 * at / wanted.size(),
                                missing)) {
                return std::nullopt;
            }
        }
        // The restore proper checks what was downloaded against the list, files missing
        // included.
        const backup::ToolAnswer restored = backup::restoreToTarget(*held, folder);
        if (!device_.device->attached()) {
            return std::nullopt;
        }
        if (restored.ok() && request["Options"]["RestoreShouldReboot"].toBool(true)) {
            restarts_ = true;  // once the host has let go
        }
        return restored.ok() ? response(0, {}) : response(kErrorUnknown, restored.message);
    }

  public:
    // A restore that asked for it went well: the device restarts when the session ends.
    bool restarts() const { return restarts_; }

  private:
    UsbmuxServer& server_;
    const int fd_;
    const AttachedDevice& device_;
    DeviceLink link_;
    bool restarts_ = false;
};

}  // namespace

void serveMobileBackup2(UsbmuxServer& server, int fd, const AttachedDevice& device) {
    Mobilebackup2Session session(server, fd, device);
    session.run();
    if (session.restarts()) {
        // It comes back locked, not yet unlocked since the restart, where the fault says so.
        if (const fs::path flag = firstUnlockFlag(*device.device); !flag.empty()) {
            std::ofstream(flag, std::ios::binary | std::ios::app);
        }
        server.restartDevice(device);
    }
}

std::optional<PlistValue> backupDomainValue(const md::sim::SimulatedDevice& device,
                                            const std::optional<std::string>& domain,
                                            const std::optional<std::string>& key) {
    if (domain != kBackupDomain) {
        return std::nullopt;
    }
    auto config = device.folder().readConfig(nullptr);
    if (!config) {
        return std::nullopt;
    }
    PlistValue values = (*config)[md::sim::kKeyLockdown][kBackupDomain];
    if (!values.isDict()) {
        values = PlistValue::dict();
    }
    values["WillEncrypt"] = (*config)[md::sim::kKeyFaults][md::sim::kFaultBackupEncrypted].toBool(
        values["WillEncrypt"].toBool(false));
    if (!key) {
        return values;
    }
    const PlistValue* value = values.find(*key);
    return value ? std::optional<PlistValue>(*value) : std::nullopt;
}

}  // namespace nimbara::usbmuxsim
