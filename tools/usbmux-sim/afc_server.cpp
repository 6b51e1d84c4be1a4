#include "afc_server.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "afc_locks.h"
#include "socket_io.h"

namespace nimbara::usbmuxsim {

namespace {

constexpr char kMagic[8] = {'C', 'F', 'A', '6', 'L', 'P', 'A', 'A'};

// AFC open modes of the protocol.
constexpr std::uint64_t kOpenReadOnly = 1;
constexpr std::uint64_t kOpenReadWrite = 2;     // create
constexpr std::uint64_t kOpenWriteOnly = 3;     // create and truncate
constexpr std::uint64_t kOpenReadWriteNew = 4;  // create and truncate

// The operations of a lock request, as flock(2) numbers them.
constexpr std::uint64_t kLockShared = 1;
constexpr std::uint64_t kLockExclusive = 2;
constexpr std::uint64_t kLockNoWait = 4;
constexpr std::uint64_t kLockRelease = 8;
// How often, and how long at most, a lock request that may wait asks again.
constexpr auto kLockRetry = std::chrono::milliseconds(10);
constexpr auto kLongestLockWait = std::chrono::seconds(120);

void putLe64(std::uint8_t* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

std::uint64_t getLe64(const std::uint8_t* in) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | in[i];
    }
    return value;
}

// The parameter at `offset` as a number; nullopt when the parameters are too short.
std::optional<std::uint64_t> numberAt(const std::vector<std::uint8_t>& parameters,
                                      std::size_t offset) {
    if (parameters.size() < offset + 8) {
        return std::nullopt;
    }
    return getLe64(parameters.data() + offset);
}

// The NUL-terminated string at `offset`, and where the next one starts.
std::string stringAt(const std::vector<std::uint8_t>& parameters, std::size_t& offset) {
    std::string text;
    while (offset < parameters.size() && parameters[offset] != 0) {
        text.push_back(static_cast<char>(parameters[offset++]));
    }
    ++offset;  // the NUL
    return text;
}

bool isDirectory(const std::vector<std::pair<std::string, std::string>>& info) {
    for (const auto& [key, value] : info) {
        if (key == "st_ifmt") {
            return value == "S_IFDIR";
        }
    }
    return false;
}

}  // namespace

AfcServer::AfcServer(int fd, std::unique_ptr<md::AfcConnection> afc,
                     std::vector<std::pair<std::string, std::string>> deviceInfo,
                     std::function<bool()> attached, MoreNames moreNames)
    : fd_(fd),
      afc_(std::move(afc)),
      deviceInfo_(std::move(deviceInfo)),
      attached_(std::move(attached)),
      moreNames_(std::move(moreNames)) {}

AfcServer::~AfcServer() {
    for (const auto& [handle, open] : files_) {
        AfcLocks::instance().release(lockKey(open.path), open.lockOwner);
    }
    files_.clear();
    if (afc_) {
        afc_->close();
    }
}

void AfcServer::shareLocks(std::string scope, BeforeLock beforeLock) {
    lockScope_ = std::move(scope);
    beforeLock_ = std::move(beforeLock);
}

std::string AfcServer::lockKey(const std::string& path) const {
    std::string key = lockScope_.empty()
                          ? "connection " + std::to_string(reinterpret_cast<std::uintptr_t>(this))
                          : lockScope_;
    key += ':';
    // One name for one file: "/a//b/" is "/a/b".
    std::string clean = "/";
    for (const char c : path) {
        if (c != '/' || clean.back() != '/') {
            clean.push_back(c);
        }
    }
    if (clean.size() > 1 && clean.back() == '/') {
        clean.pop_back();
    }
    return key + clean;
}

bool AfcServer::lockFile(const Request& request) {
    OpenFile* open = findFile(request.parameters);
    const auto operation = numberAt(request.parameters, 8);
    if (!open || !operation) {
        return answerStatus(request, md::AfcError::InvalidArgument);
    }
    const std::string key = lockKey(open->path);
    const std::uint64_t what = *operation & ~kLockNoWait;
    if (what == kLockRelease) {
        AfcLocks::instance().release(key, open->lockOwner);
        return answerStatus(request, md::AfcError::Ok);
    }
    if (what != kLockShared && what != kLockExclusive) {
        return answerStatus(request, md::AfcError::InvalidArgument);
    }
    const auto kind = what == kLockShared ? AfcLocks::Kind::Shared : AfcLocks::Kind::Exclusive;
    const auto deadline = std::chrono::steady_clock::now() + kLongestLockWait;
    for (;;) {
        if (beforeLock_) {
            beforeLock_(key);
        }
        if (AfcLocks::instance().take(key, open->lockOwner, kind)) {
            return answerStatus(request, md::AfcError::Ok);
        }
        if ((*operation & kLockNoWait) != 0 || std::chrono::steady_clock::now() > deadline) {
            return answerU64(request, AfcOp::Status, AfcStatus::OpWouldBlock);
        }
        if (!attached_()) {
            return false;
        }
        std::this_thread::sleep_for(kLockRetry);
    }
}

void AfcServer::run() {
    for (;;) {
        std::uint8_t header[kHeaderSize];
        if (!readExactly(fd_, header, sizeof header) ||
            std::memcmp(header, kMagic, sizeof kMagic) != 0) {
            return;
        }
        const std::uint64_t entire = getLe64(header + 8);
        const std::uint64_t withParameters = getLe64(header + 16);
        if (withParameters < kHeaderSize || entire < withParameters ||
            entire - kHeaderSize > kMaxRequestBytes) {
            return;
        }
        Request request;
        request.number = getLe64(header + 24);
        request.operation = getLe64(header + 32);
        request.parameters.resize(withParameters - kHeaderSize);
        request.payload.resize(entire - withParameters);
        if (!readExactly(fd_, request.parameters.data(), request.parameters.size()) ||
            !readExactly(fd_, request.payload.data(), request.payload.size()) || !handle(request)) {
            return;
        }
    }
}

bool AfcServer::answer(const Request& request, std::uint64_t operation, const void* data,
                       std::size_t length) {
    // Data answers carry their bytes as payload; the other answers as parameters.
    const bool asPayload = operation == AfcOp::Data;
    std::vector<std::uint8_t> packet(kHeaderSize + length);
    std::memcpy(packet.data(), kMagic, sizeof kMagic);
    putLe64(packet.data() + 8, packet.size());
    putLe64(packet.data() + 16, asPayload ? kHeaderSize : packet.size());
    putLe64(packet.data() + 24, request.number);
    putLe64(packet.data() + 32, operation);
    if (length > 0) {
        std::memcpy(packet.data() + kHeaderSize, data, length);
    }
    return writeAll(fd_, packet.data(), packet.size());
}

bool AfcServer::answerU64(const Request& request, std::uint64_t operation, std::uint64_t value) {
    std::uint8_t bytes[8];
    putLe64(bytes, value);
    return answer(request, operation, bytes, sizeof bytes);
}

bool AfcServer::answerStatus(const Request& request, int rc) {
    if (rc == md::AfcError::NotConnected || rc == md::Error::DeviceGone) {
        if (!attached_()) {
            return false;  // the device went away: the connection drops unanswered
        }
    }
    std::uint64_t status = static_cast<std::uint64_t>(rc);
    if (rc < 0 || rc > 64) {  // a library code rather than an AFC status
        status = rc == md::Error::InvalidArgument ? md::AfcError::InvalidArgument
                                                  : md::AfcError::Unknown;
    }
    return answerU64(request, AfcOp::Status, status);
}

bool AfcServer::answerStrings(const Request& request, int rc,
                              const std::vector<std::string>& strings) {
    if (rc != md::AfcError::Ok) {
        return answerStatus(request, rc);
    }
    std::vector<std::uint8_t> data;
    for (const auto& text : strings) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
    }
    return answer(request, AfcOp::Data, data.data(), data.size());
}

AfcServer::OpenFile* AfcServer::findFile(const std::vector<std::uint8_t>& parameters) {
    const auto handle = numberAt(parameters, 0);
    if (!handle) {
        return nullptr;
    }
    auto it = files_.find(*handle);
    return it == files_.end() ? nullptr : &it->second;
}

int AfcServer::removeTree(const std::string& path, int depth) {
    std::vector<std::pair<std::string, std::string>> info;
    if (int rc = afc_->fileInfo(path, info)) {
        return rc;
    }
    if (isDirectory(info)) {
        if (depth >= kMaxRemoveDepth) {
            return md::AfcError::PermissionDenied;
        }
        std::vector<std::string> names;
        if (int rc = afc_->readDirectory(path, names)) {
            return rc;
        }
        const std::string prefix = path.ends_with('/') ? path : path + "/";
        for (const auto& name : names) {
            if (name == "." || name == "..") {
                continue;
            }
            if (int rc = removeTree(prefix + name, depth + 1)) {
                return rc;
            }
        }
    }
    return afc_->removePath(path);
}

bool AfcServer::handle(const Request& request) {
    const auto& p = request.parameters;
    std::size_t offset = 0;
    switch (request.operation) {
        case AfcOp::ReadDir: {
            std::vector<std::string> names;
            const std::string path = stringAt(p, offset);
            const int rc = afc_->readDirectory(path, names);
            if (rc == md::AfcError::Ok && moreNames_) {
                for (auto& name : moreNames_(path)) {
                    names.push_back(std::move(name));
                }
            }
            return answerStrings(request, rc, names);
        }
        case AfcOp::GetFileInfo: {
            std::vector<std::pair<std::string, std::string>> info;
            const int rc = afc_->fileInfo(stringAt(p, offset), info);
            std::vector<std::string> strings;
            for (auto& [key, value] : info) {
                strings.push_back(std::move(key));
                strings.push_back(std::move(value));
            }
            return answerStrings(request, rc, strings);
        }
        case AfcOp::GetDevInfo: {
            std::vector<std::string> strings;
            for (const auto& [key, value] : deviceInfo_) {
                strings.push_back(key);
                strings.push_back(value);
            }
            return answerStrings(request, md::AfcError::Ok, strings);
        }
        case AfcOp::FileOpen: {
            const auto mode = numberAt(p, 0);
            offset = 8;
            const std::string path = stringAt(p, offset);
            if (!mode || path.empty()) {
                return answerStatus(request, md::AfcError::InvalidArgument);
            }
            int ourMode = 0;
            if (*mode == kOpenReadOnly) {
                ourMode = md::AfcMode::Read;
            } else if (*mode == kOpenWriteOnly) {
                ourMode = md::AfcMode::Write;
            } else if (*mode == kOpenReadWrite) {
                ourMode = md::AfcMode::ReadWrite;
            } else if (*mode == kOpenReadWriteNew) {
                ourMode = md::AfcMode::ReadWriteNew;
            } else {
                return answerU64(request, AfcOp::Status, AfcStatus::OpNotSupported);
            }
            if (files_.size() >= kMaxOpenFiles) {
                return answerU64(request, AfcOp::Status, AfcStatus::NoResources);
            }
            std::unique_ptr<md::AfcFile> file;
            if (int rc = afc_->openFile(path, ourMode, file)) {
                return answerStatus(request, rc);
            }
            const std::uint64_t handle = nextHandle_++;
            files_[handle] = OpenFile{std::move(file), 0, path, AfcLocks::instance().newOwner()};
            return answerU64(request, AfcOp::FileOpenResult, handle);
        }
        case AfcOp::FileRead: {
            OpenFile* open = findFile(p);
            const auto wanted = numberAt(p, 8);
            if (!open || !wanted) {
                return answerStatus(request, md::AfcError::InvalidArgument);
            }
            std::vector<std::uint8_t> bytes(std::min(*wanted, kMaxReadBytes));
            std::size_t got = 0;
            while (got < bytes.size()) {
                std::size_t length = bytes.size() - got;
                if (int rc = open->file->read(bytes.data() + got, length)) {
                    return answerStatus(request, rc);
                }
                if (length == 0) {
                    break;
                }
                got += length;
            }
            open->position += got;
            return answer(request, AfcOp::Data, bytes.data(), got);
        }
        case AfcOp::FileWrite: {
            OpenFile* open = findFile(p);
            if (!open) {
                return answerStatus(request, md::AfcError::InvalidArgument);
            }
            const int rc = open->file->write(request.payload.data(), request.payload.size());
            if (rc == md::AfcError::Ok) {
                open->position += request.payload.size();
            }
            return answerStatus(request, rc);
        }
        case AfcOp::FileTell: {
            OpenFile* open = findFile(p);
            if (!open) {
                return answerStatus(request, md::AfcError::InvalidArgument);
            }
            return answerU64(request, AfcOp::FileTellResult, open->position);
        }
        case AfcOp::FileSeek: {
            // Only a seek that stays where the file is: the files of the simulated device are
            // read and written straight through.
            OpenFile* open = findFile(p);
            const auto whence = numberAt(p, 8);
            const auto offsetValue = numberAt(p, 16);
            if (!open || !whence || !offsetValue) {
                return answerStatus(request, md::AfcError::InvalidArgument);
            }
            const auto delta = static_cast<std::int64_t>(*offsetValue);
            const bool stays =
                (*whence == 0 && *offsetValue == open->position) || (*whence == 1 && delta == 0);
            return answerU64(request, AfcOp::Status,
                             stays ? md::AfcError::Ok : AfcStatus::OpNotSupported);
        }
        case AfcOp::FileClose: {
            const auto handle = numberAt(p, 0);
            auto it = handle ? files_.find(*handle) : files_.end();
            if (it == files_.end()) {
                return answerStatus(request, md::AfcError::InvalidArgument);
            }
            const int rc = it->second.file->close();
            AfcLocks::instance().release(lockKey(it->second.path), it->second.lockOwner);
            files_.erase(it);
            return answerStatus(request, rc);
        }
        case AfcOp::RemovePath:
            return answerStatus(request, afc_->removePath(stringAt(p, offset)));
        case AfcOp::RemovePathAndContents:
            return answerStatus(request, removeTree(stringAt(p, offset), 0));
        case AfcOp::MakeDir:
            return answerStatus(request, afc_->makeDirectory(stringAt(p, offset)));
        case AfcOp::RenamePath: {
            const std::string from = stringAt(p, offset);
            const std::string to = stringAt(p, offset);
            return answerStatus(request, afc_->renamePath(from, to));
        }
        case AfcOp::FileLock:
            return lockFile(request);
        case AfcOp::Truncate:
            return answerU64(request, AfcOp::Status, AfcStatus::OpNotSupported);
        default:
            return answerU64(request, AfcOp::Status,
                             request.operation <= 0x28 ? AfcStatus::OpNotSupported
                                                       : AfcStatus::UnknownPacketType);
    }
}

}  // namespace nimbara::usbmuxsim
