#include "backup/device_link.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>
#include <vector>

#include "backup/backup_folder.h"
#include "platform/log_categories.h"
#include "platform/partial_file.h"

namespace nimbara::backup {

namespace {

namespace fs = std::filesystem;

// The codes that head each block of a file stream.
constexpr char kCodeSuccess = 0x00;
constexpr char kCodeErrorLocal = 0x06;
constexpr char kCodeErrorRemote = 0x0b;
constexpr char kCodeFileData = 0x0c;
// Longer names are no backup's.
constexpr std::uint32_t kLongestName = 4096;
constexpr std::size_t kChunk = 32768;
// The answer to what this host does not do for a device.
constexpr int kNotSupportedCode = -1;
constexpr const char* kNotSupportedText = "Operation not supported";
// Seconds between the Unix epoch and the property-list epoch (2001-01-01).
constexpr double kPlistEpoch = 978307200.0;

std::uint32_t bigEndian(const unsigned char* b) {
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
           std::uint32_t(b[3]);
}

void putBigEndian(std::uint32_t value, char* out) {
    out[0] = static_cast<char>(value >> 24);
    out[1] = static_cast<char>(value >> 16);
    out[2] = static_cast<char>(value >> 8);
    out[3] = static_cast<char>(value);
}

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('\0') == std::string_view::npos;
}

double itemReal(const PlistValue& message, std::size_t index) {
    const auto& items = message.toArray();
    return index < items.size() && items[index].isNumber() ? items[index].toDouble(-1) : -1;
}

const std::string& itemString(const PlistValue& message, std::size_t index) {
    static const std::string none;
    const auto& items = message.toArray();
    return index < items.size() ? items[index].toString() : none;
}

class LinkSession {
  public:
    LinkSession(DeviceLinkTransport& link, const DeviceLinkOptions& options)
        : link_(link), options_(options) {}

    DeviceLinkEnd run();

  private:
    // False when the link failed (or the run was stopped): the session ends.
    bool uploadFiles(const PlistValue& message);
    bool downloadFiles(const PlistValue& message);
    bool answerChange(const PlistValue& message, const std::string& name);
    bool listDirectory(const PlistValue& message);
    bool freeSpace();

    // The local path of a device name, or nullopt (the reason in `error`).
    std::optional<fs::path> localPath(const std::string& name, int* error) const;
    bool receiveName(std::string& name, bool& end);
    bool receiveBlockHead(std::uint32_t& length, char& code);
    bool drain(std::uint64_t length);
    bool stopped() const { return options_.stop && options_.stop(); }
    void progress(double value) {
        if (value >= 0 && options_.progress) {
            options_.progress(value);
        }
    }
    void noteHostError(const std::string& what, int error) {
        result_.hostError = what + ": " + std::strerror(error);
        qCWarning(lcBackup) << "device link:" << result_.hostError.c_str();
    }

    DeviceLinkTransport& link_;
    const DeviceLinkOptions& options_;
    DeviceLinkEnd result_;
};

std::optional<fs::path> LinkSession::localPath(const std::string& name, int* error) const {
    const auto relative = linkedPath(options_.top, name);
    if (!relative) {
        *error = EACCES;
        return std::nullopt;
    }
    // A link on the way would lead elsewhere (the last name itself is never followed either).
    fs::path path = options_.folder;
    for (std::size_t start = 0; !relative->empty();) {
        const std::size_t slash = relative->find('/', start);
        path /= relative->substr(start, slash == std::string::npos ? slash : slash - start);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            *error = ELOOP;
            return std::nullopt;
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return path;
}

bool LinkSession::receiveName(std::string& name, bool& end) {
    unsigned char head[4];
    if (!link_.receiveRaw(head, sizeof head)) {
        return false;
    }
    const std::uint32_t length = bigEndian(head);
    end = length == 0;
    if (end) {
        return true;
    }
    if (length > kLongestName) {
        return false;  // not a name: the stream cannot be followed any further
    }
    name.assign(length, '\0');
    return link_.receiveRaw(name.data(), length);
}

bool LinkSession::receiveBlockHead(std::uint32_t& length, char& code) {
    unsigned char head[4];
    if (!link_.receiveRaw(head, sizeof head)) {
        return false;
    }
    length = bigEndian(head);
    code = kCodeSuccess;
    return length == 0 || link_.receiveRaw(&code, 1);
}

bool LinkSession::drain(std::uint64_t length) {
    std::array<char, kChunk> buffer;
    while (length > 0) {
        const std::size_t part = std::min<std::uint64_t>(length, buffer.size());
        if (!link_.receiveRaw(buffer.data(), part)) {
            return false;
        }
        length -= part;
    }
    return true;
}

bool LinkSession::uploadFiles(const PlistValue& message) {
    progress(itemReal(message, 2));
    int status = 0;
    std::string statusText;
    std::array<char, kChunk> buffer;
    while (true) {
        std::string deviceName;
        std::string name;
        bool end = false;
        if (!receiveName(deviceName, end)) {
            return false;
        }
        if (end) {
            break;
        }
        if (!receiveName(name, end) || end) {
            return false;
        }
        int error = 0;
        std::optional<fs::path> target;
        if (options_.readOnly) {
            error = EROFS;
        } else {
            target = localPath(name, &error);
        }
        std::optional<PartialFile> file;
        if (target) {
            std::error_code ec;
            fs::create_directories(target->parent_path(), ec);
            file.emplace(*target, 0644);
            if (!file->valid()) {
                error = file->error();
                file.reset();
            }
        }
        bool hadData = false;
        bool complete = false;
        while (true) {
            std::uint32_t length = 0;
            char code = 0;
            if (!receiveBlockHead(length, code) || stopped()) {
                return false;  // the partial file goes with `file`
            }
            if (length == 0) {
                return false;  // the stream ended inside a file
            }
            const std::uint64_t body = length - 1;
            if (code == kCodeFileData) {
                hadData = true;
                for (std::uint64_t left = body; left > 0;) {
                    const std::size_t part = std::min<std::uint64_t>(left, buffer.size());
                    if (!link_.receiveRaw(buffer.data(), part)) {
                        return false;
                    }
                    if (file && !file->write(buffer.data(), part)) {
                        error = errno != 0 ? errno : EIO;
                        file.reset();
                    }
                    left -= part;
                }
                continue;
            }
            if (!drain(body)) {
                return false;
            }
            // A file sent as data may end with the remote-error code instead of success.
            complete = code == kCodeSuccess || (code == kCodeErrorRemote && hadData);
            if (code == kCodeErrorRemote && !hadData) {
                qCInfo(lcBackup) << "the device could not send" << name.c_str();
            }
            break;
        }
        if (file && complete) {
            if (file->commit()) {
                ++result_.filesReceived;
            } else {
                error = file->error() != 0 ? file->error() : EIO;
            }
        }
        if (error != 0 && status == 0) {
            status = deviceErrorCode(error);
            statusText = std::strerror(error);
            noteHostError("The file " + name + " could not be stored", error);
        }
    }
    return link_.sendStatus(status, statusText, PlistValue::dict());
}

bool LinkSession::downloadFiles(const PlistValue& message) {
    progress(itemReal(message, 3));
    const auto& items = message.toArray();
    std::string why;
    const BackupFolder folder = BackupFolder::open(options_.folder.string(), &why);
    PlistValue errors = PlistValue::dict();
    std::vector<char> buffer(kChunk + 5);
    for (const PlistValue& item : items.size() > 1 ? items[1].toArray() : PlistValue::Array{}) {
        const std::string& name = item.toString();
        if (!item.isString() || name.empty()) {
            continue;
        }
        char head[4];
        putBigEndian(static_cast<std::uint32_t>(name.size()), head);
        if (!link_.sendRaw(head, 4) || !link_.sendRaw(name.data(), name.size())) {
            return false;
        }
        int error = ENOENT;
        UniqueFd fd;
        const auto relative = linkedPath(options_.top, name);
        if (relative && !relative->empty() && folder.isOpen()) {
            fd = folder.openFile(*relative);
        }
        struct stat st {};
        if (fd.valid() && ::fstat(fd.get(), &st) == 0) {
            error = 0;
            for (off_t sent = 0; sent < st.st_size;) {
                const ssize_t got = ::read(fd.get(), buffer.data() + 5, kChunk);
                if (got <= 0) {
                    if (got < 0 && errno == EINTR) {
                        continue;
                    }
                    return false;  // the file shrank under us: the stream cannot be mended
                }
                putBigEndian(static_cast<std::uint32_t>(got) + 1, buffer.data());
                buffer[4] = kCodeFileData;
                if (!link_.sendRaw(buffer.data(), static_cast<std::size_t>(got) + 5)) {
                    return false;
                }
                sent += got;
            }
        }
        if (error == 0) {
            char done[5];
            putBigEndian(1, done);
            done[4] = kCodeSuccess;
            if (!link_.sendRaw(done, 5)) {
                return false;
            }
            continue;
        }
        const std::string text = std::strerror(error);
        std::string block(5, '\0');
        putBigEndian(static_cast<std::uint32_t>(text.size()) + 1, block.data());
        block[4] = kCodeErrorLocal;
        block += text;
        if (!link_.sendRaw(block.data(), block.size())) {
            return false;
        }
        PlistValue entry = PlistValue::dict();
        entry.set("DLFileErrorString", text);
        entry.set("DLFileErrorCode",
                  static_cast<std::uint64_t>(static_cast<std::uint32_t>(deviceErrorCode(error))));
        errors.set(name, entry);
    }
    const char zero[4] = {0, 0, 0, 0};
    if (!link_.sendRaw(zero, 4)) {
        return false;
    }
    if (errors.size() == 0) {
        return link_.sendStatus(0, {}, PlistValue::dict());
    }
    return link_.sendStatus(-13, "Multi status", errors);
}

// Moves, removals, new folders and copies: one answer for the whole message.
bool LinkSession::answerChange(const PlistValue& message, const std::string& name) {
    int error = 0;
    auto fail = [&](int e) {
        if (error == 0) {
            error = e;
        }
    };
    auto local = [&](const std::string& deviceName) {
        int e = 0;
        auto path = localPath(deviceName, &e);
        if (!path) {
            fail(e);
        }
        return path;
    };
    const auto& items = message.toArray();
    std::error_code ec;
    if (options_.readOnly) {
        fail(EROFS);
    } else if (name == "DLMessageMoveFiles" || name == "DLMessageMoveItems") {
        progress(itemReal(message, 3));
        for (const auto& [from, to] : items.size() > 1 ? items[1].toDict() : PlistValue::Dict{}) {
            const auto source = local(from);
            const auto target = local(to.toString());
            if (!source || !target || *source == options_.folder || *target == options_.folder) {
                fail(EACCES);
                continue;
            }
            fs::remove_all(*target, ec);
            fs::rename(*source, *target, ec);
            if (ec) {
                fail(ec.value());
            }
        }
    } else if (name == "DLMessageRemoveFiles" || name == "DLMessageRemoveItems") {
        progress(itemReal(message, 3));
        for (const PlistValue& item : items.size() > 1 ? items[1].toArray() : PlistValue::Array{}) {
            const auto path = local(item.toString());
            if (path && *path != options_.folder) {
                fs::remove_all(*path, ec);
                if (ec && ec.value() != ENOENT) {
                    fail(ec.value());
                }
            } else if (path) {
                fail(EACCES);
            }
        }
    } else if (name == "DLMessageCreateDirectory") {
        if (const auto path = local(itemString(message, 1))) {
            fs::create_directories(*path, ec);
            if (ec) {
                fail(ec.value());
            }
        }
    } else {  // DLMessageCopyItem
        const auto source = local(itemString(message, 1));
        const auto target = local(itemString(message, 2));
        if (source && target) {
            fs::remove_all(*target, ec);
            fs::copy(*source, *target,
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
            if (ec) {
                fail(ec.value());
            }
        }
    }
    if (error != 0) {
        noteHostError("The device's " + name.substr(9) + " could not be carried out", error);
        return link_.sendStatus(deviceErrorCode(error), std::strerror(error), PlistValue::dict());
    }
    return link_.sendStatus(0, {}, PlistValue::dict());
}

bool LinkSession::listDirectory(const PlistValue& message) {
    int error = 0;
    const auto path = localPath(itemString(message, 1), &error);
    if (!path) {
        return link_.sendStatus(deviceErrorCode(error), std::strerror(error), PlistValue::dict());
    }
    PlistValue entries = PlistValue::dict();
    std::error_code ec;
    for (fs::directory_iterator it(*path, ec), end; !ec && it != end; it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) {
            continue;
        }
        PlistValue entry = PlistValue::dict();
        entry.set("DLFileType", S_ISDIR(st.st_mode)   ? "DLFileTypeDirectory"
                                : S_ISREG(st.st_mode) ? "DLFileTypeRegular"
                                                      : "DLFileTypeUnknown");
        entry.set("DLFileSize", static_cast<std::uint64_t>(st.st_size));
        entry.set("DLFileModificationDate",
                  PlistValue::date(static_cast<double>(st.st_mtim.tv_sec) - kPlistEpoch));
        entries.set(it->path().filename().string(), entry);
    }
    return link_.sendStatus(0, {}, entries);
}

bool LinkSession::freeSpace() {
    struct statvfs fs {};
    if (::statvfs(options_.spaceOf.c_str(), &fs) != 0) {
        noteHostError("The free space of the backup folder cannot be read", errno);
        return link_.sendStatus(-1, {}, PlistValue(std::uint64_t{0}));
    }
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
    return link_.sendStatus(0, {}, PlistValue(bytes));
}

DeviceLinkEnd LinkSession::run() {
    bool first = true;
    while (true) {
        if (stopped()) {
            result_.kind = DeviceLinkEnd::Kind::Stopped;
            return result_;
        }
        PlistValue message;
        const auto received = link_.receiveMessage(message);
        if (received == DeviceLinkTransport::Receive::Timeout) {
            continue;
        }
        if (received == DeviceLinkTransport::Receive::Failed) {
            result_.kind = DeviceLinkEnd::Kind::Gone;
            return result_;
        }
        if (first && options_.firstMessage) {
            options_.firstMessage();
        }
        first = false;
        const std::string name = itemString(message, 0);
        bool linked = true;
        if (name == "DLMessageUploadFiles") {
            linked = uploadFiles(message);
        } else if (name == "DLMessageDownloadFiles") {
            linked = downloadFiles(message);
        } else if (name == "DLMessageMoveFiles" || name == "DLMessageMoveItems" ||
                   name == "DLMessageRemoveFiles" || name == "DLMessageRemoveItems" ||
                   name == "DLMessageCreateDirectory" || name == "DLMessageCopyItem") {
            linked = answerChange(message, name);
        } else if (name == "DLContentsOfDirectory") {
            linked = listDirectory(message);
        } else if (name == "DLMessageGetFreeDiskSpace") {
            linked = freeSpace();
        } else if (name == "DLMessagePurgeDiskSpace") {
            // Nothing of this host's is ours to free for the device: it goes on with the space
            // there is.
            linked = link_.sendStatus(kNotSupportedCode, kNotSupportedText, PlistValue::dict());
        } else if (name == "DLMessageProcessMessage") {
            const auto& items = message.toArray();
            const PlistValue none;
            const PlistValue& said = items.size() > 1 ? items[1] : none;
            result_.code = said["ErrorCode"].isInteger() ? said["ErrorCode"].toInt64() : -1;
            result_.text = said["ErrorDescription"].toString();
            result_.kind = result_.code == 0 ? DeviceLinkEnd::Kind::Finished
                                             : DeviceLinkEnd::Kind::DeviceError;
            return result_;
        } else if (name == "DLMessageDisconnect") {
            result_.kind = DeviceLinkEnd::Kind::DeviceError;
            result_.code = -1;
            return result_;
        } else {
            // The device waits for an answer to each of its messages: left unanswered it stalls.
            qCInfo(lcBackup) << "a device-link message not handled:" << name.c_str();
            linked = link_.sendStatus(kNotSupportedCode, kNotSupportedText, PlistValue::dict());
        }
        if (!linked) {
            result_.kind = stopped() ? DeviceLinkEnd::Kind::Stopped : DeviceLinkEnd::Kind::Gone;
            return result_;
        }
    }
}

}  // namespace

std::optional<std::string> linkedPath(std::string_view top, std::string_view name) {
    if (top.empty() || !name.starts_with(top)) {
        return std::nullopt;
    }
    name.remove_prefix(top.size());
    if (name.empty() || name == "/") {
        return std::string();
    }
    if (name.front() != '/') {
        return std::nullopt;  // another name that merely starts the same
    }
    name.remove_prefix(1);
    if (name.ends_with('/')) {
        name.remove_suffix(1);
    }
    std::string relative;
    while (true) {
        const std::size_t slash = name.find('/');
        const std::string_view part = name.substr(0, slash);
        if (!isPlainName(part)) {
            return std::nullopt;
        }
        relative += relative.empty() ? "" : "/";
        relative += part;
        if (slash == std::string_view::npos) {
            return relative;
        }
        name.remove_prefix(slash + 1);
    }
}

int deviceErrorCode(int error) {
    switch (error) {
        case ENOENT:
            return -6;
        case EEXIST:
            return -7;
        case ENOTDIR:
            return -8;
        case EISDIR:
            return -9;
        case ELOOP:
            return -10;
        case EIO:
            return -11;
        case ENOSPC:
            return -15;
        default:
            return -1;
    }
}

DeviceLinkEnd runDeviceLink(DeviceLinkTransport& link, const DeviceLinkOptions& options) {
    return LinkSession(link, options).run();
}

}  // namespace nimbara::backup
