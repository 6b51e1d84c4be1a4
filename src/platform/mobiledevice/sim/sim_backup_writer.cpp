// Writing a local backup of a simulated device from its backup-source/ folder.
//
// The source is walked once, folder by folder: a folder is opened relative to its parent's
// descriptor and held while its entries are handled, each file is opened relative to it and
// looked at once (fstat on the opened file), and its contents are read once, for the stored copy
// and, for the older layout, the digest together. The rows of the file list come from that walk.
#include "platform/mobiledevice/sim/sim_backup_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QUuid>

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <utility>
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

// A descriptor, closed with the object.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd& operator=(UniqueFd&&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

constexpr double kSecondsFrom1970To2001 = 978307200.0;
constexpr std::uint16_t kModeFolder = 040755;
constexpr std::uint16_t kModeFile = 0100644;
constexpr std::uint32_t kMobileUser = 501;
constexpr int kFlagFile = 1;
constexpr int kFlagFolder = 2;
// The buffer a backup copies files and reads folder listings through.
constexpr std::size_t kBufferBytes = 1 << 20;

// One entry of the file list: a folder (the domain itself has the empty relative path), a file
// stored in the backup, or a row listed without a stored file.
struct Entry {
    std::string domain;
    std::string relativePath;
    std::string key;  // the file key: SHA-1 of "<domain>-<relativePath>"
    bool folder = false;
    bool stored = false;
    std::uint64_t size = 0;  // of the stored copy
    std::int64_t mtime = 0;  // seconds since 1970
    std::uint64_t inode = 0;
    std::string digest;  // older layout: the 20 bytes of the stored copy's SHA-1
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

[[noreturn]] void failOn(const char* what, const fs::path& file, int error) {
    throw fs::filesystem_error(what, file,
                               std::error_code(error != 0 ? error : EIO, std::generic_category()));
}

// Writes `contents` to a new file in the folder being built. Throws on failure.
void writeBytes(const fs::path& file, const std::string& contents) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        failOn("cannot create file", file, errno);
    }
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) {
        failOn("cannot write file", file, EIO);
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

std::int64_t nowSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

PlistValue plistDate(std::int64_t unixSeconds) {
    return PlistValue::date(static_cast<double>(unixSeconds) - kSecondsFrom1970To2001);
}

std::string keyOf(const std::string& domain, const std::string& relativePath) {
    std::string key = backup::fileKey(domain, relativePath);
    if (key.size() != 40) {
        throw std::runtime_error("cannot compute the file key of " + domain + "-" + relativePath);
    }
    return key;
}

std::string digestBytes(backup::SHAH& sha, const fs::path& file) {
    backup::SHAH::Digest digest{};
    if (!sha.finish(digest)) {
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

int openIn(int dirFd, const char* name, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::openat(dirFd, name, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// A name of an open folder, with the kind its listing gives (DT_UNKNOWN where the file system
// does not tell).
struct Child {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

// The names in the open folder `fd` but "." and "..", sorted. Throws, naming `where`, when the
// folder cannot be read.
std::vector<Child> listFolder(int fd, std::vector<char>& buffer, const fs::path& where) {
    std::vector<Child> children;
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failOn("cannot read", where, errno);
        }
        if (n == 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
            at += d->d_reclen;
            const std::string_view name(d->d_name);
            if (name != "." && name != "..") {
                children.push_back({std::string(name), d->d_type});
            }
        }
    }
    std::sort(children.begin(), children.end(),
              [](const Child& a, const Child& b) { return a.name < b.name; });
    return children;
}

// The kind of `child` of the open folder `fd`: DT_DIR, DT_REG, or another (a link, a special
// file). Asks the file system only where the listing did not tell.
unsigned char kindOf(int fd, const Child& child, const fs::path& where) {
    if (child.type != DT_UNKNOWN) {
        return child.type;
    }
    struct stat st {};
    if (::fstatat(fd, child.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        failOn("cannot read", where / child.name, error);
    }
    return S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
}

// Why a copy failed: what could not be done, on which side, and the errno value.
struct CopyFailure {
    const char* what = nullptr;  // null: the copy was made
    bool source = false;         // the source failed (else the copy)
    int error = 0;
    explicit operator bool() const { return what != nullptr; }
};

CopyFailure copyFailure(const char* what, bool source, int error) {
    return {what, source, error != 0 ? error : EIO};
}

// Copies opened regular files into new files, keeping their holes: only the parts that hold data
// are copied, so a large sparse file costs no more than its data.
class FileCopier {
  public:
    FileCopier() : buffer_(kBufferBytes) {}

    std::vector<char>& buffer() { return buffer_; }

    // Copies `in`, which fstat described as `st`, into the new empty file `out`; every byte
    // (holes as zeros) goes to `sha` too when given.
    CopyFailure copy(int in, const struct stat& st, int out, backup::SHAH* sha) {
        const off_t size = st.st_size;
        // Fewer blocks than the size needs: the file may have holes, which are looked for.
        bool holes =
            static_cast<std::uint64_t>(st.st_blocks) * 512 < static_cast<std::uint64_t>(size);
        off_t at = 0;
        off_t filled = 0;  // where the data written to `out` ends
        while (at < size) {
            off_t data = at;
            off_t end = size;
            if (holes) {
                data = ::lseek(in, at, SEEK_DATA);
                if (data < 0 && errno == ENXIO) {
                    data = size;  // only a hole is left
                } else if (data < 0) {
                    data = at;  // the file system does not tell holes apart: copy everything
                    holes = false;
                } else {
                    end = ::lseek(in, data, SEEK_HOLE);
                    if (end < 0 || end <= data || end > size) {
                        end = size;
                    }
                }
                data = std::min(data, size);
            }
            if (sha != nullptr) {
                hashZeros(*sha, data - at);
            }
            if (data < end) {
                if (const CopyFailure failure = copyRange(in, out, data, end, sha)) {
                    return failure;
                }
                filled = end;
            }
            at = end;
        }
        if (filled < size && ::ftruncate(out, size) != 0) {
            return copyFailure("cannot size", false, errno);
        }
        return {};
    }

  private:
    static void hashZeros(backup::SHAH& sha, off_t length) {
        static const std::array<char, 65536> zeros{};
        for (; length > 0; length -= static_cast<off_t>(zeros.size())) {
            sha.input(zeros.data(), static_cast<std::size_t>(
                                        std::min<off_t>(length, static_cast<off_t>(zeros.size()))));
        }
    }

    CopyFailure copyRange(int in, int out, off_t pos, off_t end, backup::SHAH* sha) {
        // Without a digest to take, the kernel copies (or shares) the data itself.
        while (sha == nullptr && rangeCopies_ && pos < end) {
            loff_t inAt = pos;
            loff_t outAt = pos;
            const ssize_t n =
                ::copy_file_range(in, &inAt, out, &outAt, static_cast<std::size_t>(end - pos), 0);
            if (n > 0) {
                pos += n;
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                rangeCopies_ = false;  // not between these file systems
            }
            break;  // whatever else went wrong, the plain copy below tells what
        }
        while (pos < end) {
            const auto want = static_cast<std::size_t>(
                std::min<off_t>(end - pos, static_cast<off_t>(buffer_.size())));
            const ssize_t n = ::pread(in, buffer_.data(), want, pos);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return copyFailure("cannot read", true, n == 0 ? EIO : errno);
            }
            if (sha != nullptr) {
                sha->input(buffer_.data(), static_cast<std::size_t>(n));
            }
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::pwrite(out, buffer_.data() + done,
                                           static_cast<std::size_t>(n - done), pos + done);
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    return copyFailure("cannot write", false, w == 0 ? EIO : errno);
                }
                done += w;
            }
            pos += n;
        }
        return {};
    }

    std::vector<char> buffer_;
    bool rangeCopies_ = true;
};

// The binary property list of a file record, written the way libplist writes one: the objects in
// the order a depth-first walk meets them (a dictionary's key, then its value), equal strings and
// equal integers written once (keys apart from strings), references one byte wide, offsets as
// wide as the offset table's own offset needs.
class RecordWriter {
  public:
    using Ref = std::uint8_t;

    Ref integer(std::uint64_t value) { return leaf(Kind::Integer, integerBytes(value)); }
    // `text` is ASCII: it is written a byte a character.
    Ref string(std::string_view text) { return leaf(Kind::String, asciiBytes(text)); }
    Ref key(std::string_view text) { return leaf(Kind::Key, asciiBytes(text)); }
    // A dictionary or array, filled in once its contents have their references.
    Ref container() { return add(Kind::Container, {}); }
    void dictionary(Ref at, std::initializer_list<std::pair<Ref, Ref>> entries) {
        std::string& bytes = objects_[at].bytes;
        bytes = static_cast<char>(0xD0 | entries.size());
        for (const auto& entry : entries) {
            bytes += static_cast<char>(entry.first);
        }
        for (const auto& entry : entries) {
            bytes += static_cast<char>(entry.second);
        }
    }
    void array(Ref at, std::initializer_list<Ref> items) {
        std::string& bytes = objects_[at].bytes;
        bytes = static_cast<char>(0xA0 | items.size());
        for (const Ref item : items) {
            bytes += static_cast<char>(item);
        }
    }

    std::string finish() const {
        std::string out = "bplist00";
        std::array<std::size_t, kMostObjects> offsets{};
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            offsets[i] = out.size();
            out += objects_[i].bytes;
        }
        const std::size_t table = out.size();
        const int width = widthOf(table);
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            putBigEndian(out, offsets[i], width);
        }
        out.append(6, '\0');
        out += static_cast<char>(width);
        out += static_cast<char>(1);  // the width of a reference
        putBigEndian(out, objects_.size(), 8);
        putBigEndian(out, 0, 8);  // the top object
        putBigEndian(out, table, 8);
        return out;
    }

  private:
    // A file record has 32 objects at most: one-byte references always reach them.
    static constexpr std::size_t kMostObjects = 32;
    enum class Kind { Integer, String, Key, Container };
    struct Object {
        Kind kind;
        std::string bytes;
    };

    static int widthOf(std::uint64_t value) {
        return value <= 0xFF ? 1 : value <= 0xFFFF ? 2 : value <= 0xFFFFFFFF ? 4 : 8;
    }
    static void putBigEndian(std::string& out, std::uint64_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) {
            out += static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    }
    static std::string integerBytes(std::uint64_t value) {
        const int width = widthOf(value);
        std::string bytes(1, static_cast<char>(0x10 | std::countr_zero(unsigned(width))));
        putBigEndian(bytes, value, width);
        return bytes;
    }
    static std::string asciiBytes(std::string_view text) {
        std::string bytes;
        if (text.size() < 15) {
            bytes = static_cast<char>(0x50 | text.size());
        } else {
            bytes = static_cast<char>(0x5F);
            bytes += integerBytes(text.size());
        }
        bytes += text;
        return bytes;
    }
    Ref leaf(Kind kind, std::string bytes) {
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            if (objects_[i].kind == kind && objects_[i].bytes == bytes) {
                return static_cast<Ref>(i);
            }
        }
        return add(kind, std::move(bytes));
    }
    Ref add(Kind kind, std::string bytes) {
        objects_.push_back({kind, std::move(bytes)});
        return static_cast<Ref>(objects_.size() - 1);
    }

    std::vector<Object> objects_;
};

// The file record through libplist: for a path that is not ASCII, which a binary property list
// holds in another form.
std::string fileRecordThroughPlist(const std::string& relativePath, std::uint64_t size,
                                   std::int64_t modified, std::uint64_t inode, bool folder) {
    PlistValue file = PlistValue::dict();
    file["RelativePath"] = relativePath;
    file["Size"] = size;
    file["LastModified"] = modified;
    file["LastStatusChange"] = modified;
    file["Birth"] = modified;
    file["Mode"] = static_cast<int>(folder ? kModeFolder : kModeFile);
    file["InodeNumber"] = inode;
    file["UserID"] = static_cast<int>(kMobileUser);
    file["GroupID"] = static_cast<int>(kMobileUser);
    file["ProtectionClass"] = folder ? 0 : 4;
    file["Flags"] = 0;
    PlistValue archive = PlistValue::dict();
    archive["$version"] = 100000;
    archive["$archiver"] = "NSKeyedArchiver";
    archive["$top"]["root"] = 1;
    archive["$objects"] = PlistValue(PlistValue::Array{"$null", file});
    const PlistValue::Bytes bytes = archive.toBinary();
    return std::string(bytes.begin(), bytes.end());
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

void appendMbdbRecord(std::string& out, const Entry& e, const std::string* digest) {
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
    // transaction through one statement, and the indexes are made once the rows are in. The
    // cache (up to 64 MB, the list of some 100,000 files) holds the whole file until it is written
    // out at the end: a page evicted early is written and read back while the indexes are made.
    if (!db->exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
                  "PRAGMA locking_mode = EXCLUSIVE; PRAGMA cache_size = -65536;"
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
        const std::string record =
            manifestFileRecord(e.relativePath, e.size, e.mtime, e.inode, e.folder);
        insert.bind(1, e.key);
        insert.bind(2, e.domain);
        insert.bind(3, e.relativePath);
        insert.bind(4, static_cast<std::int64_t>(e.folder ? kFlagFolder : kFlagFile));
        insert.bind(5,
                    QByteArray::fromRawData(record.data(), static_cast<qsizetype>(record.size())));
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

std::string manifestMbdb(const std::vector<Entry>& entries) {
    std::string mbdb("mbdb\x05\x00", 6);
    for (const Entry& e : entries) {
        appendMbdbRecord(mbdb, e, e.stored ? &e.digest : nullptr);
    }
    return mbdb;
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

// Walks backup-source/ and stores its files in the folder being built, in the order of the file
// list: domains, then each folder's entries by name, a folder's contents right after it.
class SourceWalk {
  public:
    SourceWalk(fs::path source, fs::path built, int builtFd, bool legacy,
               const std::string& productVersion, const BackupOptions& options,
               BackupResult& result)
        : source_(std::move(source)),
          built_(std::move(built)),
          builtFd_(builtFd),
          legacy_(legacy),
          productVersion_(productVersion),
          options_(options),
          result_(result) {}

    // Every domain of the open backup-source/ folder (a folder whose name does not start with
    // a dot).
    void walk(int sourceFd) {
        for (const Child& child : listFolder(sourceFd, copier_.buffer(), source_)) {
            if (child.name.front() != '.' && kindOf(sourceFd, child, source_) == DT_DIR) {
                folder(sourceFd, child.name, child.name, "");
            }
        }
    }

    // The rows listed without stored files, after those of the walk.
    void addListedOnly(const ListedOnlyEntry& listed) {
        const std::uint64_t inode = nextInode();
        if (!acceptable(listed.domain, listed.relativePath, listed.folder)) {
            return;
        }
        Entry e;
        e.domain = listed.domain;
        e.relativePath = listed.relativePath;
        e.key = keyOf(e.domain, e.relativePath);
        e.folder = listed.folder;
        e.size = listed.folder ? 0 : listed.size;
        e.mtime = nowSeconds();
        e.inode = inode;
        if (listed.folder) {
            ++result_.folders;
        } else {
            ++result_.listedOnlyFiles;
        }
        entries_.push_back(std::move(e));
    }

    const std::vector<Entry>& entries() const { return entries_; }

  private:
    // Entries are numbered as the walk meets them, also those left out.
    std::uint64_t nextInode() { return 1000 + met_++; }

    // Whether a backup's readers take the path; a file they would refuse is named as left out.
    bool acceptable(const std::string& domain, const std::string& relativePath, bool folder) {
        if (backup::isAcceptableEntryPath(domain, relativePath)) {
            return true;
        }
        if (!folder) {
            result_.leftOut.push_back(domain + "/" + relativePath);
        }
        return false;
    }

    fs::path sourcePath(const std::string& domain, const std::string& relativePath) const {
        return relativePath.empty() ? source_ / domain : source_ / domain / relativePath;
    }

    // The folder `name` of the open folder `parentFd`, and everything below it.
    void folder(int parentFd, const std::string& name, const std::string& domain,
                const std::string& relativePath) {
        const std::uint64_t inode = nextInode();
        const UniqueFd fd(openIn(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        struct stat st {};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
            const int error = errno;
            failOn("cannot read", sourcePath(domain, relativePath), error);
        }
        if (acceptable(domain, relativePath, true)) {
            Entry e;
            e.domain = domain;
            e.relativePath = relativePath;
            e.key = keyOf(domain, relativePath);
            e.folder = true;
            e.mtime = static_cast<std::int64_t>(st.st_mtime);
            e.inode = inode;
            ++result_.folders;
            entries_.push_back(std::move(e));
        }
        const std::string prefix = relativePath.empty() ? std::string() : relativePath + "/";
        const fs::path where = sourcePath(domain, relativePath);
        // Links and special files are not part of a backup; following a link could leave the
        // device folder.
        for (const Child& child : listFolder(fd.get(), copier_.buffer(), where)) {
            const unsigned char kind = kindOf(fd.get(), child, where);
            if (kind == DT_DIR) {
                folder(fd.get(), child.name, domain, prefix + child.name);
            } else if (kind == DT_REG) {
                file(fd.get(), child.name, domain, prefix + child.name);
            }
        }
    }

    // Stores the regular file `name` of the open folder `dirFd`.
    void file(int dirFd, const std::string& name, const std::string& domain,
              const std::string& relativePath) {
        const std::uint64_t inode = nextInode();
        if (!acceptable(domain, relativePath, false)) {
            return;
        }
        if (options_.interruption) {
            if (std::string why = options_.interruption(result_.files, false); !why.empty()) {
                throw std::runtime_error(why);
            }
        }
        // The paths are made only for a message, or for a variant writer.
        auto from = [&] { return sourcePath(domain, relativePath); };
        // Never through a link, and never waiting on a fifo put in the file's place.
        const UniqueFd in(openIn(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
        if (!in.valid()) {
            const int error = errno;
            failOn("cannot open", from(), error);
        }
        struct stat st {};
        if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            failOn("not a regular file", from(), EINVAL);
        }
        Entry e;
        e.domain = domain;
        e.relativePath = relativePath;
        e.key = keyOf(domain, relativePath);
        e.stored = true;
        e.size = static_cast<std::uint64_t>(st.st_size);
        e.mtime = static_cast<std::int64_t>(st.st_mtime);
        e.inode = inode;

        const std::string storedName = legacy_ ? e.key : shardOf(e.key) + "/" + e.key;
        auto to = [&] { return built_ / storedName; };
        sha_.reset();
        // A device of an older iOS keeps some files in another form.
        if (options_.variantWriter &&
            options_.variantWriter(domain, relativePath, from(), productVersion_, to())) {
            storedVariant(storedName, e);
        } else {
            const UniqueFd out(openIn(builtFd_, storedName.c_str(),
                                      O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644));
            if (!out.valid()) {
                const int error = errno;
                failOn("cannot create", to(), error);
            }
            if (const CopyFailure failure =
                    copier_.copy(in.get(), st, out.get(), legacy_ ? &sha_ : nullptr)) {
                failOn(failure.what, failure.source ? from() : to(), failure.error);
            }
            if (legacy_) {
                e.digest = digestBytes(sha_, from());
            }
        }
        ++result_.files;
        entries_.push_back(std::move(e));
    }

    // The subfolder of the built backup a key's file goes in, made the first time.
    std::string shardOf(const std::string& key) {
        std::string shard = key.substr(0, 2);
        const auto index = static_cast<std::size_t>(std::stoul(shard, nullptr, 16));
        if (!shards_.test(index)) {
            if (::mkdirat(builtFd_, shard.c_str(), 0777) != 0 && errno != EEXIST) {
                const int error = errno;
                failOn("cannot create directory", built_ / shard, error);
            }
            shards_.set(index);
        }
        return shard;
    }

    // The size (and digest, for the older layout) of the other form a variant writer stored.
    void storedVariant(const std::string& storedName, Entry& e) {
        const UniqueFd written(openIn(builtFd_, storedName.c_str(), O_RDONLY | O_NOFOLLOW));
        struct stat st {};
        if (!written.valid() || ::fstat(written.get(), &st) != 0) {
            const int error = errno;
            failOn("cannot read", built_ / storedName, error);
        }
        e.size = static_cast<std::uint64_t>(st.st_size);
        if (!legacy_) {
            return;
        }
        std::vector<char>& buffer = copier_.buffer();
        for (off_t at = 0; at < st.st_size;) {
            const ssize_t n = ::pread(written.get(), buffer.data(), buffer.size(), at);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                const int error = n == 0 ? EIO : errno;
                failOn("cannot read", built_ / storedName, error);
            }
            sha_.input(buffer.data(), static_cast<std::size_t>(n));
            at += n;
        }
        e.digest = digestBytes(sha_, built_ / storedName);
    }

    const fs::path source_;
    const fs::path built_;
    const int builtFd_;
    const bool legacy_;
    const std::string& productVersion_;
    const BackupOptions& options_;
    BackupResult& result_;
    FileCopier copier_;
    backup::SHAH sha_;
    std::vector<Entry> entries_;
    std::bitset<256> shards_;
    std::uint64_t met_ = 0;
};

// The device's backup-source/, opened; an invalid descriptor when the device has none (or a link
// in its place): the backup then lists nothing of it.
UniqueFd openSource(const fs::path& deviceDir) {
    const UniqueFd device(openIn(AT_FDCWD, deviceDir.c_str(), O_RDONLY | O_DIRECTORY));
    if (!device.valid()) {
        failOn("cannot read", deviceDir, errno);
    }
    UniqueFd source(openIn(device.get(), kBackupSourceDir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!source.valid() && errno != ENOENT && errno != ENOTDIR && errno != ELOOP) {
        const int error = errno;
        failOn("cannot read", deviceDir / kBackupSourceDir, error);
    }
    return source;
}

// The regular files below the open folder `fd`, from the folders' listings alone.
std::int64_t filesBelow(int fd, std::vector<char>& buffer, bool domainsOnly) {
    std::int64_t files = 0;
    std::vector<std::string> folders;
    for (;;) {
        const ssize_t n = ::getdents64(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer.data() + at);
            at += d->d_reclen;
            const std::string_view name(d->d_name);
            if (name == "." || name == ".." || (domainsOnly && name.front() == '.')) {
                continue;
            }
            unsigned char type = d->d_type;
            if (type == DT_UNKNOWN) {
                struct stat st {};
                type = ::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ? DT_UNKNOWN
                       : S_ISDIR(st.st_mode)                                   ? DT_DIR
                       : S_ISREG(st.st_mode)                                   ? DT_REG
                                                                               : DT_UNKNOWN;
            }
            if (type == DT_DIR) {
                folders.emplace_back(name);
            } else if (type == DT_REG && !domainsOnly) {
                ++files;
            }
        }
    }
    for (const std::string& name : folders) {
        const UniqueFd sub(openIn(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        if (sub.valid()) {
            files += filesBelow(sub.get(), buffer, false);
        }
    }
    return files;
}

}  // namespace

std::string manifestFileRecord(const std::string& relativePath, std::uint64_t size,
                               std::int64_t modified, std::uint64_t inode, bool folder) {
    const bool ascii = std::all_of(relativePath.begin(), relativePath.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii || relativePath.size() > backup::kMaxPathBytes) {
        return fileRecordThroughPlist(relativePath, size, modified, inode, folder);
    }
    // Integers are written unsigned, as libplist takes them.
    const auto time = static_cast<std::uint64_t>(modified);
    RecordWriter w;
    const auto top = w.container();
    const auto archiverKey = w.key("$archiver");
    const auto archiver = w.string("NSKeyedArchiver");
    const auto objectsKey = w.key("$objects");
    const auto objects = w.container();
    const auto null = w.string("$null");
    const auto file = w.container();
    // The file object's entries, by their keys' order.
    const auto birthKey = w.key("Birth");
    const auto birth = w.integer(time);
    const auto flagsKey = w.key("Flags");
    const auto flags = w.integer(0);
    const auto groupKey = w.key("GroupID");
    const auto group = w.integer(kMobileUser);
    const auto inodeKey = w.key("InodeNumber");
    const auto inodeValue = w.integer(inode);
    const auto modifiedKey = w.key("LastModified");
    const auto modifiedValue = w.integer(time);
    const auto changedKey = w.key("LastStatusChange");
    const auto changed = w.integer(time);
    const auto modeKey = w.key("Mode");
    const auto mode = w.integer(folder ? kModeFolder : kModeFile);
    const auto protectionKey = w.key("ProtectionClass");
    const auto protection = w.integer(folder ? 0 : 4);
    const auto pathKey = w.key("RelativePath");
    const auto path = w.string(relativePath);
    const auto sizeKey = w.key("Size");
    const auto sizeValue = w.integer(size);
    const auto userKey = w.key("UserID");
    const auto user = w.integer(kMobileUser);
    w.dictionary(file, {{birthKey, birth},
                        {flagsKey, flags},
                        {groupKey, group},
                        {inodeKey, inodeValue},
                        {modifiedKey, modifiedValue},
                        {changedKey, changed},
                        {modeKey, mode},
                        {protectionKey, protection},
                        {pathKey, path},
                        {sizeKey, sizeValue},
                        {userKey, user}});
    w.array(objects, {null, file});
    const auto topKey = w.key("$top");
    const auto root = w.container();
    const auto rootKey = w.key("root");
    const auto rootValue = w.integer(1);
    w.dictionary(root, {{rootKey, rootValue}});
    const auto versionKey = w.key("$version");
    const auto version = w.integer(100000);
    w.dictionary(
        top,
        {{archiverKey, archiver}, {objectsKey, objects}, {topKey, root}, {versionKey, version}});
    return w.finish();
}

std::int64_t sourceFileCount(int deviceFd) {
    const UniqueFd source(openIn(deviceFd, kBackupSourceDir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!source.valid()) {
        return 0;
    }
    std::vector<char> buffer(64 * 1024);
    return filesBelow(source.get(), buffer, true);
}

void putBackupInPlace(const fs::path& built, const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) {
        fs::rename(built, target, ec);
        if (ec) {
            throw std::runtime_error("cannot put the backup in place as " + target.string() + ": " +
                                     ec.message());
        }
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
        const UniqueFd source = openSource(deviceDir);

        std::error_code ec;
        fs::create_directories(backupRoot, ec);
        const fs::path root = ec ? fs::path() : fs::canonical(backupRoot, ec);
        if (ec) {
            throw std::runtime_error("the backup folder " + backupRoot.string() +
                                     " can't be used: " + ec.message());
        }
        const fs::path target = root / device.udid;
        UniqueFolder partial(root, partialBackupPrefix(device.udid));
        checkMade(partial, root);
        const UniqueFd built(openIn(AT_FDCWD, partial.path().c_str(), O_RDONLY | O_DIRECTORY));
        if (!built.valid()) {
            failOn("cannot read", partial.path(), errno);
        }

        SourceWalk walk(deviceDir / kBackupSourceDir, partial.path(), built.get(), legacy,
                        device.productVersion, options, result);
        if (source.valid()) {
            walk.walk(source.get());
        }
        for (const ListedOnlyEntry& listed : options.listedOnly) {
            walk.addListedOnly(listed);
        }
        if (legacy) {
            writeBytes(partial.path() / "Manifest.mbdb", manifestMbdb(walk.entries()));
        } else {
            writeManifestDb(partial.path() / "Manifest.db", walk.entries());
        }
        writeDescriptions(partial.path(), device, legacy, options);
        if (options.interruption) {
            if (std::string why = options.interruption(result.files, true); !why.empty()) {
                throw std::runtime_error(why);
            }
        }
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
