#include "device_link.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "backup/backup_folder.h"
#include "socket_io.h"

namespace fs = std::filesystem;

namespace nimbara::usbmuxsim {

namespace {

constexpr std::size_t kBlockBytes = 64 * 1024;
// A name longer than this is no path of a backup folder: the stream is malformed.
constexpr std::uint32_t kMaxNameBytes = 4096;
constexpr const char* kEmptyParameter = "___EmptyParameterString___";

PlistValue message(const char* name) {
    return PlistValue(PlistValue::Array{name});
}

void putBe32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool writeFile(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool DeviceLink::open() {
    PlistValue hello = message("DLMessageVersionExchange");
    hello.append(300);
    hello.append(0);
    if (!send(hello)) {
        return false;
    }
    auto answer = receive();
    if (!answer || answer->toArray()[0].toString() != "DLMessageVersionExchange" ||
        answer->size() < 2 || answer->toArray()[1].toString() != "DLVersionsOk") {
        return false;
    }
    return send(message("DLMessageDeviceReady"));
}

bool DeviceLink::send(const PlistValue& value) {
    return writeFrame(fd_, value);
}

std::optional<PlistValue> DeviceLink::receive() {
    auto body = readFrame(fd_);
    if (!body) {
        return std::nullopt;
    }
    auto value = PlistValue::parse(body->data(), body->size());
    if (!value || !value->isArray() || value->size() == 0 || !value->toArray()[0].isString()) {
        return std::nullopt;
    }
    return value;
}

std::optional<StatusResponse> DeviceLink::ask(const PlistValue& request) {
    if (!send(request)) {
        return std::nullopt;
    }
    auto answer = receive();
    if (!answer || answer->toArray()[0].toString() != "DLMessageStatusResponse" ||
        answer->size() < 2) {
        return std::nullopt;
    }
    const auto& items = answer->toArray();
    StatusResponse status;
    // Negative codes come as the unsigned number of the same bits.
    status.code = static_cast<std::int32_t>(static_cast<std::uint32_t>(items[1].toInt64()));
    if (items.size() > 2 && items[2].toString() != kEmptyParameter) {
        status.text = items[2].toString();
    }
    if (items.size() > 3) {
        status.value = items[3];
    }
    return status;
}

bool DeviceLink::sendBlock(std::uint8_t code, const void* data, std::size_t length) {
    std::uint8_t header[5];
    putBe32(header, static_cast<std::uint32_t>(length + 1));
    header[4] = code;
    return writeAll(fd_, header, sizeof header) && (length == 0 || writeAll(fd_, data, length));
}

bool DeviceLink::sendName(const std::string& name) {
    std::uint8_t length[4];
    putBe32(length, static_cast<std::uint32_t>(name.size()));
    return writeAll(fd_, length, sizeof length) && writeAll(fd_, name.data(), name.size());
}

bool DeviceLink::uploadOne(const Upload& file, bool cutShort) {
    // The host files the upload by its second name; the first is where it lies on the device.
    if (!sendName(file.hostPath) || !sendName(file.hostPath)) {
        return false;
    }
    if (cutShort) {
        // A block announced with more bytes than follow.
        std::uint8_t header[5];
        putBe32(header, static_cast<std::uint32_t>(kBlockBytes + 1));
        header[4] = DeviceLinkCode::FileData;
        writeAll(fd_, header, sizeof header);
        return false;
    }
    if (file.local.empty()) {
        for (std::size_t at = 0; at < file.bytes.size(); at += kBlockBytes) {
            const std::size_t length = std::min(kBlockBytes, file.bytes.size() - at);
            if (!sendBlock(DeviceLinkCode::FileData, file.bytes.data() + at, length)) {
                return false;
            }
        }
        return sendBlock(DeviceLinkCode::Success, nullptr, 0);
    }
    Fd in{::open(file.local.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
    if (in.fd < 0) {
        const std::string why = std::strerror(errno);
        return sendBlock(DeviceLinkCode::RemoteError, why.data(), why.size());
    }
    std::vector<char> buffer(kBlockBytes);
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const std::string why = std::strerror(errno);
            return sendBlock(DeviceLinkCode::RemoteError, why.data(), why.size());
        }
        if (n == 0) {
            return sendBlock(DeviceLinkCode::Success, nullptr, 0);
        }
        if (!sendBlock(DeviceLinkCode::FileData, buffer.data(), static_cast<std::size_t>(n))) {
            return false;
        }
    }
}

bool DeviceLink::upload(const std::vector<Upload>& files, double progress,
                        const std::function<bool(int uploaded)>& goOn) {
    std::uint64_t total = 0;
    for (const Upload& file : files) {
        std::error_code ec;
        total += file.local.empty() ? file.bytes.size() : fs::file_size(file.local, ec);
    }
    PlistValue announce = message("DLMessageUploadFiles");
    announce.append(PlistValue::dict());
    announce.append(progress);
    announce.append(static_cast<std::uint64_t>(total));
    if (!send(announce)) {
        return false;
    }
    for (const Upload& file : files) {
        if (goOn && !goOn(uploaded_)) {
            uploadOne(file, true);
            return false;
        }
        if (!uploadOne(file)) {
            return false;
        }
        ++uploaded_;
    }
    const std::uint8_t end[4] = {0, 0, 0, 0};
    if (!writeAll(fd_, end, sizeof end)) {
        return false;
    }
    auto answer = receive();
    if (!answer || answer->toArray()[0].toString() != "DLMessageStatusResponse") {
        return false;
    }
    return answer->size() > 1 && answer->toArray()[1].toInt64() == 0;
}

std::optional<std::uint32_t> DeviceLink::readNumber() {
    std::uint8_t bytes[4];
    if (!readExactly(fd_, bytes, sizeof bytes)) {
        return std::nullopt;
    }
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
           (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]);
}

bool DeviceLink::download(const std::vector<std::string>& hostPaths, const fs::path& into,
                          double progress, std::set<std::string>& missing) {
    std::set<std::string> wanted;
    PlistValue paths = PlistValue::array();
    for (const std::string& path : hostPaths) {
        if (!backup::isPlainRelativePath(path)) {
            return false;
        }
        wanted.insert(path);
        paths.append(path);
    }
    PlistValue request = message("DLMessageDownloadFiles");
    request.append(std::move(paths));
    request.append(PlistValue::dict());
    request.append(progress);
    if (!send(request)) {
        return false;
    }
    std::vector<char> buffer(kBlockBytes);
    for (;;) {
        const auto nameLength = readNumber();
        if (!nameLength || *nameLength > kMaxNameBytes) {
            return false;
        }
        if (*nameLength == 0) {
            break;  // every file was sent
        }
        std::string name(*nameLength, '\0');
        if (!readExactly(fd_, name.data(), name.size()) || !wanted.count(name)) {
            return false;
        }
        wanted.erase(name);
        const fs::path target = into / name;
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        Fd out{::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
        if (out.fd < 0) {
            return false;
        }
        for (bool done = false; !done;) {
            const auto length = readNumber();
            std::uint8_t code = 0;
            if (!length || *length == 0 || !readExactly(fd_, &code, 1)) {
                return false;
            }
            std::uint64_t left = *length - 1;
            if (code != DeviceLinkCode::FileData) {
                // The file is done, or an error text replaces it.
                done = true;
                if (code != DeviceLinkCode::Success) {
                    missing.insert(name);
                    ::unlink(target.c_str());
                }
            }
            while (left > 0) {
                const std::size_t chunk =
                    static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
                if (!readExactly(fd_, buffer.data(), chunk)) {
                    return false;
                }
                if (code == DeviceLinkCode::FileData && !writeFile(out.fd, buffer.data(), chunk)) {
                    return false;
                }
                left -= chunk;
            }
        }
    }
    for (const std::string& name : wanted) {
        missing.insert(name);  // the host never named it
    }
    auto answer = receive();
    return answer && answer->toArray()[0].toString() == "DLMessageStatusResponse";
}

}  // namespace nimbara::usbmuxsim
