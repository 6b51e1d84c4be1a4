// Writing a local backup of a simulated device from its backup-source/ folder.
#include "platform/mobiledevice/sim/sim_backup_writer.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "backup/backup_entry.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "platform/folder_exchange.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/text_format.h"
#include "platform/unique_folder.h"

namespace nimbara::md::sim {

namespace fs = std::filesystem;

namespace {

constexpr double kSecondsFrom1970To2001 = 978307200.0;
constexpr std::uint16_t kModeFolder = 040755;
constexpr std::uint16_t kModeFile = 0100644;
constexpr std::uint32_t kMobileUser = 501;
constexpr int kFlagFile = 1;
constexpr int kFlagFolder = 2;

// One entry of the file list: a folder (the domain itself has the empty relative path) or a
// file with its local copy in backup-source/ (none for a row listed without a stored file).
struct Entry {
    std::string domain;
    std::string relativePath;
    bool folder = false;
    fs::path local;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;  // seconds since 1970
    std::uint64_t inode = 0;
};

// What the backup says about the device.
struct DeviceInfo {
    std::string udid;
    std::string name;
    std::string productType;
    std::string productVersion;
    std::string buildVersion;
    std::string serial;
    std::string phone;
};

// Writes `contents` to a new file in the folder being built. Throws on failure.
void writeBytes(const fs::path& file, const std::string& contents) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw fs::filesystem_error("cannot create file", file,
                                   std::error_code(errno ? errno : EIO, std::generic_category()));
    }
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) {
        throw fs::filesystem_error("cannot write file", file,
                                   std::error_code(EIO, std::generic_category()));
    }
}

// Throws when a hidden folder beside the backup ("." + udid + ".partial-XXXXXX", where a backup
// is built or an earlier one waits while it is replaced) could not be made.
void checkMade(const UniqueFolder& folder, const fs::path& root) {
    if (!folder.valid()) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot create a folder in " + root.string());
    }
}

std::int64_t secondsOf(fs::file_time_type time) {
    using namespace std::chrono;
    return duration_cast<seconds>(fs::file_time_type::clock::to_sys(time).time_since_epoch())
        .count();
}

std::int64_t nowSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

PlistValue plistDate(std::int64_t unixSeconds) {
    return PlistValue::date(static_cast<double>(unixSeconds) - kSecondsFrom1970To2001);
}

void addTree(const std::string& domain, const fs::path& dir, const std::string& prefix,
             std::vector<Entry>& entries) {
    std::vector<fs::directory_entry> children;
    for (const auto& child : fs::directory_iterator(dir)) {
        children.push_back(child);
    }
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    for (const auto& child : children) {
        // Links and special files are not part of a backup; following a link could leave
        // the device folder. One lstat gives the kind, the size and the time.
        struct stat st {};
        if (::lstat(child.path().c_str(), &st) != 0) {
            throw fs::filesystem_error("cannot read", child.path(),
                                       std::error_code(errno, std::generic_category()));
        }
        const bool folder = S_ISDIR(st.st_mode);
        if (!folder && !S_ISREG(st.st_mode)) {
            continue;
        }
        Entry e;
        e.domain = domain;
        e.relativePath = prefix + child.path().filename().string();
        e.folder = folder;
        e.local = child.path();
        e.size = folder ? 0 : static_cast<std::uint64_t>(st.st_size);
        e.mtime = static_cast<std::int64_t>(st.st_mtime);
        e.inode = entries.size() + 1000;
        entries.push_back(e);
        if (folder) {
            addTree(domain, child.path(), e.relativePath + "/", entries);
        }
    }
}

std::vector<Entry> collectEntries(const fs::path& source) {
    std::vector<Entry> entries;
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(source, ec))) {
        return entries;
    }
    std::vector<fs::path> domains;
    for (const auto& d : fs::directory_iterator(source)) {
        const std::string name = d.path().filename().string();
        if (fs::is_directory(d.symlink_status()) && name.front() != '.') {
            domains.push_back(d.path());
        }
    }
    std::sort(domains.begin(), domains.end());
    for (const fs::path& d : domains) {
        Entry root;
        root.domain = d.filename().string();
        root.folder = true;
        root.mtime = secondsOf(fs::last_write_time(d));
        root.inode = entries.size() + 1000;
        entries.push_back(root);
        addTree(root.domain, d, "", entries);
    }
    return entries;
}

std::string keyOf(const Entry& e) {
    std::string key = backup::fileKey(e.domain, e.relativePath);
    if (key.size() != 40) {
        throw std::runtime_error("cannot compute the file key of " + e.domain + "-" +
                                 e.relativePath);
    }
    return key;
}

// The 20 bytes of the SHA-1 of a file's contents.
std::string contentDigest(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    backup::SHAH sha;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        sha.input(buf, static_cast<std::size_t>(in.gcount()));
    }
    backup::SHAH::Digest digest{};
    if (in.bad() || !sha.finish(digest)) {
        throw std::runtime_error("cannot read " + file.string());
    }
    std::string bytes;
    for (std::uint32_t word : digest) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((word >> shift) & 0xFF);
        }
    }
    return bytes;
}

// Copies a regular file without following a link, keeping its holes: only the parts that hold
// data are copied, so a large sparse file costs no more than its data.
void copyStoredFile(const fs::path& from, const fs::path& to) {
    auto fail = [](const char* what, const fs::path& file) {
        throw fs::filesystem_error(what, file, std::error_code(errno, std::generic_category()));
    };
    const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        fail("cannot open", from);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closeIn{in};
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        fail("not a regular file", from);
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
        fail("cannot create", to);
    }
    Closer closeOut{out};
    const off_t size = st.st_size;
    std::vector<char> buffer;
    for (off_t at = 0; at < size;) {
        off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            break;  // only a hole is left
        }
        if (data < 0) {
            data = at;  // the file system does not tell holes apart: copy everything
        }
        off_t end = ::lseek(in, data, SEEK_HOLE);
        if (end < 0 || end <= data) {
            end = size;
        }
        buffer.resize(static_cast<std::size_t>(std::min<off_t>(end - data, 1 << 20)));
        for (off_t pos = data; pos < end;) {
            const auto want = static_cast<std::size_t>(std::min<off_t>(end - pos, 1 << 20));
            const ssize_t n = ::pread(in, buffer.data(), want, pos);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                fail("cannot read", from);
            }
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::pwrite(out, buffer.data() + done,
                                           static_cast<std::size_t>(n - done), pos + done);
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    fail("cannot write", to);
                }
                done += w;
            }
            pos += n;
        }
        at = end;
    }
    if (::ftruncate(out, size) != 0) {
        fail("cannot size", to);
    }
}

// Big-endian writers of the legacy file list.
void putBE(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void putString(std::string& out, const std::string* text) {
    if (!text) {
        putBE(out, 0xFFFF, 2);
        return;
    }
    if (text->size() >= 0xFFFF) {
        throw std::runtime_error("path too long for the file list: " + *text);
    }
    putBE(out, text->size(), 2);
    out += *text;
}

std::string mbdbRecord(const Entry& e, const std::string* digest) {
    std::string out;
    putString(out, &e.domain);
    putString(out, &e.relativePath);
    putString(out, nullptr);  // link target
    putString(out, digest);
    putString(out, nullptr);  // encryption key
    putBE(out, e.folder ? kModeFolder : kModeFile, 2);
    putBE(out, e.inode, 8);
    putBE(out, kMobileUser, 4);
    putBE(out, kMobileUser, 4);
    const auto time = static_cast<std::uint32_t>(e.mtime);
    putBE(out, time, 4);  // modified
    putBE(out, time, 4);  // accessed
    putBE(out, time, 4);  // changed
    putBE(out, e.size, 8);
    putBE(out, e.folder ? 0 : 4, 1);  // protection class
    putBE(out, 0, 1);                 // no properties
    return out;
}

// The archived file record of a Manifest.db row.
QByteArray fileRecord(const Entry& e) {
    PlistValue file = PlistValue::dict();
    file["RelativePath"] = e.relativePath;
    file["Size"] = e.size;
    file["LastModified"] = e.mtime;
    file["LastStatusChange"] = e.mtime;
    file["Birth"] = e.mtime;
    file["Mode"] = static_cast<int>(e.folder ? kModeFolder : kModeFile);
    file["InodeNumber"] = e.inode;
    file["UserID"] = static_cast<int>(kMobileUser);
    file["GroupID"] = static_cast<int>(kMobileUser);
    file["ProtectionClass"] = e.folder ? 0 : 4;
    file["Flags"] = 0;
    PlistValue archive = PlistValue::dict();
    archive["$version"] = 100000;
    archive["$archiver"] = "NSKeyedArchiver";
    archive["$top"]["root"] = 1;
    archive["$objects"] = PlistValue(PlistValue::Array{"$null", file});
    const PlistValue::Bytes bytes = archive.toBinary();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

void writeManifestDb(const fs::path& file, const std::vector<Entry>& entries) {
    std::string error;
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate, &error);
    auto fail = [&file](const std::string& why) {
        throw std::runtime_error("cannot write " + file.string() + ": " + why);
    };
    if (!db) {
        fail(error);
    }
    // A new file in the folder being built: no journal is needed, every row goes in one
    // transaction, and the indexes are made once the rows are in.
    if (!db->exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
                  "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
                  "flags INTEGER, file BLOB);"
                  "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);"
                  "BEGIN;")) {
        fail(db->lastError());
    }
    SqliteStatement insert = db->prepare(
        "INSERT INTO Files (fileID, domain, relativePath, flags, file) VALUES (?, ?, ?, ?, ?)");
    if (!insert.valid()) {
        fail(db->lastError());
    }
    for (const Entry& e : entries) {
        insert.bind(1, keyOf(e));
        insert.bind(2, e.domain);
        insert.bind(3, e.relativePath);
        insert.bind(4, static_cast<std::int64_t>(e.folder ? kFlagFolder : kFlagFile));
        insert.bind(5, fileRecord(e));
        insert.step();
        if (!insert.done()) {
            fail(db->lastError());
        }
        insert.reset();
    }
    if (!db->exec("CREATE INDEX FilesDomainIdx ON Files(domain);"
                  "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);"
                  "CREATE INDEX FilesFlagsIdx ON Files(flags);"
                  "COMMIT")) {
        fail(db->lastError());
    }
}

void writePlist(const fs::path& file, const PlistValue& value, bool binary) {
    if (binary) {
        const PlistValue::Bytes bytes = value.toBinary();
        writeBytes(file, std::string(bytes.begin(), bytes.end()));
    } else {
        writeBytes(file, value.toXml());
    }
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// Stands in for the key bag of an encrypted backup: its tagged form, not real keys.
PlistValue::Bytes placeholderKeyBag() {
    const std::uint8_t bag[] = {'V', 'E', 'R', 'S', 0, 0, 0, 4, 0, 0, 0, 3,
                                'T', 'Y', 'P', 'E', 0, 0, 0, 4, 0, 0, 0, 1};
    return PlistValue::Bytes(std::begin(bag), std::end(bag));
}

void writeDescriptions(const fs::path& folder, const DeviceInfo& d, bool legacy,
                       const BackupOptions& options) {
    const std::int64_t now = nowSeconds();
    PlistValue info = PlistValue::dict();
    info["Build Version"] = d.buildVersion;
    info["Device Name"] = d.name;
    info["Display Name"] = d.name;
    info["GUID"] = upper(QUuid::createUuid().toString(QUuid::Id128).toStdString());
    info["Last Backup Date"] = plistDate(now);
    info["Phone Number"] = d.phone;
    info["Product Name"] = "iPhone";
    info["Product Type"] = d.productType;
    info["Product Version"] = d.productVersion;
    info["Serial Number"] = d.serial;
    info["Target Identifier"] = upper(d.udid);
    info["Target Type"] = "Device";
    info["Unique Identifier"] = upper(d.udid);
    info["iTunes Version"] = "12.10.11";
    writePlist(folder / "Info.plist", info, options.binaryInfoPlist);

    PlistValue manifest = PlistValue::dict();
    manifest["Applications"] = PlistValue::dict();
    manifest["BackupKeyBag"] =
        PlistValue(options.encrypted ? placeholderKeyBag() : PlistValue::Bytes{});
    manifest["Date"] = plistDate(now);
    manifest["IsEncrypted"] = options.encrypted;
    manifest["SystemDomainsVersion"] = legacy ? "22.0" : "24.0";
    manifest["Version"] = legacy ? "9.1" : "10.0";
    manifest["WasPasscodeSet"] = false;
    PlistValue& lockdown = manifest["Lockdown"];
    lockdown = PlistValue::dict();
    lockdown["BuildVersion"] = d.buildVersion;
    lockdown["DeviceName"] = d.name;
    lockdown["ProductType"] = d.productType;
    lockdown["ProductVersion"] = d.productVersion;
    lockdown["SerialNumber"] = d.serial;
    lockdown["UniqueDeviceID"] = d.udid;
    lockdown["com.apple.mobile.data_sync"] = PlistValue::dict();
    if (options.manifestPlist) {
        writePlist(folder / "Manifest.plist", manifest, true);
    }

    PlistValue status = PlistValue::dict();
    status["BackupState"] = "new";
    status["Date"] = plistDate(now);
    status["IsFullBackup"] = false;
    status["SnapshotState"] = "finished";
    status["UUID"] = upper(QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString());
    status["Version"] = legacy ? "2.4" : "3.3";
    if (options.statusPlist) {
        writePlist(folder / "Status.plist", status, true);
    }
}

DeviceInfo readDevice(const fs::path& deviceDir) {
    const fs::path plist = deviceDir / md::sim::kDevicePlist;
    auto value = PlistValue::readFile(plist.string());
    if (!value || !value->isDict()) {
        throw std::runtime_error(deviceDir.string() + " is not a simulated device (no readable " +
                                 md::sim::kDevicePlist + ")");
    }
    const PlistValue& global = (*value)[md::sim::kKeyLockdown][md::sim::kGlobalDomain];
    DeviceInfo d;
    d.udid = global["UniqueDeviceID"].toString();
    d.name = global["DeviceName"].toString();
    d.productType = global["ProductType"].toString();
    d.productVersion = global["ProductVersion"].toString();
    d.buildVersion = global["BuildVersion"].toString();
    d.serial = global["SerialNumber"].toString();
    d.phone = global["PhoneNumber"].toString();
    return d;
}

}  // namespace

void putBackupInPlace(const fs::path& built, const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) {
        fs::rename(built, target);
        return;
    }
    if (!fs::is_directory(status)) {
        throw std::runtime_error(target.string() + " exists and is not a backup folder");
    }
    // The earlier backup then lies in `built` and goes with it; where the exchange is not one
    // step, a kill in between leaves it parked for the next run to put back.
    std::string error;
    if (!exchangeFolders(built, target, error)) {
        throw std::runtime_error("cannot replace " + target.string() + ": " + error);
    }
}

bool usesLegacyLayout(const std::string& productVersion) {
    const std::string major = productVersion.substr(0, productVersion.find('.'));
    const auto number = parseInt64(major);
    return !number || *number < 10;
}

std::string partialBackupPrefix(const std::string& udid) {
    return "." + udid + ".partial";
}

bool isPlainUdid(const std::string& udid) {
    if (udid.empty() || udid.size() > 64) {
        return false;
    }
    return std::all_of(udid.begin(), udid.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-';
    });
}

BackupResult writeDeviceBackup(const fs::path& deviceDir, const fs::path& backupRoot,
                               const BackupOptions& options) {
    BackupResult result;
    try {
        DeviceInfo device = readDevice(deviceDir);
        if (!options.expectedUdid.empty() && device.udid != options.expectedUdid) {
            throw std::runtime_error("the device now says it is \"" + device.udid + "\", not \"" +
                                     options.expectedUdid + "\"");
        }
        if (!isPlainUdid(device.udid)) {
            throw std::runtime_error("the device's UniqueDeviceID \"" + device.udid +
                                     "\" cannot name a backup folder");
        }
        if (options.iosVersionOverride) {
            if (!parseInt64(
                    options.iosVersionOverride->substr(0, options.iosVersionOverride->find('.')))) {
                throw std::runtime_error("\"" + *options.iosVersionOverride +
                                         "\" is not an iOS version");
            }
            device.productVersion = *options.iosVersionOverride;
        }
        const bool legacy = options.legacyLayout.value_or(usesLegacyLayout(device.productVersion));
        std::vector<Entry> entries = collectEntries(deviceDir / md::sim::kBackupSourceDir);
        for (const ListedOnlyEntry& listed : options.listedOnly) {
            Entry e;
            e.domain = listed.domain;
            e.relativePath = listed.relativePath;
            e.folder = listed.folder;
            e.size = listed.folder ? 0 : listed.size;
            e.mtime = nowSeconds();
            e.inode = entries.size() + 1000;
            entries.push_back(std::move(e));
        }
        std::erase_if(entries, [&result](const Entry& e) {
            if (backup::isAcceptableEntryPath(e.domain, e.relativePath)) {
                return false;
            }
            if (!e.folder) {
                result.leftOut.push_back(e.domain + "/" + e.relativePath);
            }
            return true;
        });

        fs::create_directories(backupRoot);
        const fs::path root = fs::canonical(backupRoot);
        const fs::path target = root / device.udid;
        UniqueFolder partial(root, partialBackupPrefix(device.udid));
        checkMade(partial, root);
        auto checkInterruption = [&options, &result] {
            if (options.interruption) {
                if (std::string why = options.interruption(result.files); !why.empty()) {
                    throw std::runtime_error(why);
                }
            }
        };
        std::string mbdb("mbdb\x05\x00", 6);
        std::set<std::string> shardsMade;
        for (const Entry& e : entries) {
            if (e.folder) {
                ++result.folders;
                if (legacy) {
                    mbdb += mbdbRecord(e, nullptr);
                }
                continue;
            }
            if (e.local.empty()) {
                ++result.listedOnlyFiles;
                if (legacy) {
                    mbdb += mbdbRecord(e, nullptr);
                }
                continue;
            }
            checkInterruption();
            const std::string key = keyOf(e);
            fs::path stored = partial.path();
            if (!legacy) {
                stored /= key.substr(0, 2);
                if (shardsMade.insert(key.substr(0, 2)).second) {
                    fs::create_directories(stored);
                }
            }
            // A device of an older iOS keeps some files in another form.
            Entry written = e;
            if (options.variantWriter &&
                options.variantWriter(e.domain, e.relativePath, e.local, device.productVersion,
                                      stored / key)) {
                written.local = stored / key;
                written.size = fs::file_size(written.local);
            } else {
                copyStoredFile(e.local, stored / key);
            }
            ++result.files;
            if (legacy) {
                const std::string digest = contentDigest(written.local);
                mbdb += mbdbRecord(written, &digest);
            }
        }
        if (legacy) {
            writeBytes(partial.path() / "Manifest.mbdb", mbdb);
        } else {
            writeManifestDb(partial.path() / "Manifest.db", entries);
        }
        writeDescriptions(partial.path(), device, legacy, options);
        checkInterruption();
        putBackupInPlace(partial.path(), target);
        result.ok = true;
        result.folder = target;
        result.legacyLayout = legacy;
    } catch (const std::exception& e) {
        result.error = e.what();
        result.files = result.folders = result.listedOnlyFiles = 0;
        result.leftOut.clear();
    }
    return result;
}

}  // namespace nimbara::md::sim
