#include "device/afc_file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/partial_file.h"

namespace amd::afc {

namespace md = nimbara::md;

namespace {

// A file descriptor closed on scope exit.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

// Reads up to `length` bytes; the count (0 at the end), or -1 on an error.
ssize_t readSome(int fd, std::uint8_t* data, std::size_t length) {
    for (;;) {
        const ssize_t n = ::read(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n;
    }
}

}  // namespace

int OpenConnection(md::ServiceConnection* socket, std::unique_ptr<md::AfcConnection>& afc) {
    if (!socket) {
        return 1;
    }
    std::unique_ptr<md::AfcConnection> opened;
    const int rc = socket->openAfc(opened);
    if (rc != 0) {
        return rc;
    }
    if (!opened) {
        return 1;
    }
    if (afc) {
        afc->close();
    }
    afc = std::move(opened);
    return 0;
}

std::optional<std::vector<std::string>> ReadDirectory(md::AfcConnection* afc,
                                                      const std::string& path) {
    if (!afc) {
        return std::nullopt;
    }
    std::vector<std::string> entries;
    if (afc->readDirectory(path, entries) != 0) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (std::string& name : entries) {
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
            continue;
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<std::map<std::string, std::string>> ReadFileInfo(md::AfcConnection* afc,
                                                               const std::string& path) {
    if (!afc) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    if (afc->fileInfo(path, pairs) != 0) {
        return std::nullopt;
    }
    std::map<std::string, std::string> info;
    for (auto& [key, value] : pairs) {
        if (key.empty() || value.empty()) {
            break;
        }
        info.emplace(std::move(key), std::move(value));
    }
    return info;
}

int CopyToLocal(md::AfcConnection* afc, const std::string& devicePath, const std::string& localPath,
                std::span<std::uint8_t> buffer) {
    if (!afc || buffer.empty()) {
        return 1;
    }
    std::unique_ptr<md::AfcFile> source;
    if (afc->openFile(devicePath, md::AfcMode::Read, source) != 0 || !source) {
        return 1;
    }
    nimbara::PartialFile target(localPath);
    if (!target.valid()) {
        source->close();
        return 1;
    }
    bool complete = false;
    for (;;) {
        std::size_t got = buffer.size();
        if (source->read(buffer.data(), got) != 0 || got > buffer.size()) {
            break;
        }
        if (got == 0) {
            complete = true;
            break;
        }
        if (!target.write(buffer.data(), got)) {
            break;
        }
    }
    source->close();
    return complete && target.commit() ? 0 : 1;
}

int CopyToDevice(md::AfcConnection* afc, const std::string& localPath,
                 const std::string& devicePath, std::span<std::uint8_t> buffer) {
    if (!afc || buffer.empty()) {
        return 1;
    }
    Fd source(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!source.valid() || ::fstat(source.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return 1;
    }
    std::unique_ptr<md::AfcFile> target;
    if (afc->openFile(devicePath, md::AfcMode::Write, target) != 0 || !target) {
        return 1;
    }
    bool complete = false;
    for (;;) {
        const ssize_t got = readSome(source.get(), buffer.data(), buffer.size());
        if (got < 0) {
            break;
        }
        if (got == 0) {
            complete = true;
            break;
        }
        if (target->write(buffer.data(), static_cast<std::size_t>(got)) != 0) {
            break;
        }
    }
    if (target->close() != 0) {
        complete = false;
    }
    if (!complete) {
        // Don't leave a cut-short copy that looks like the whole file.
        afc->removePath(devicePath);
        return 1;
    }
    return 0;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(md::AfcConnection* afc,
                                                       const std::string& path,
                                                       std::size_t chunkSize) {
    if (!afc || chunkSize == 0) {
        return std::nullopt;
    }
    std::unique_ptr<md::AfcFile> file;
    if (afc->openFile(path, md::AfcMode::Read, file) != 0 || !file) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    for (;;) {
        const std::size_t used = bytes.size();
        bytes.resize(used + chunkSize);
        std::size_t got = chunkSize;
        if (file->read(bytes.data() + used, got) != 0 || got > chunkSize) {
            file->close();
            return std::nullopt;
        }
        bytes.resize(used + got);
        if (got == 0) {
            break;
        }
    }
    file->close();
    return bytes;
}

std::unique_ptr<md::AfcFile> OpenFile(md::AfcConnection* afc, const std::string& path, int mode) {
    if (!afc) {
        return nullptr;
    }
    std::unique_ptr<md::AfcFile> file;
    if (afc->openFile(path, mode, file) != 0) {
        return nullptr;
    }
    return file;
}

int CloseFile(md::AfcConnection* afc, std::unique_ptr<md::AfcFile>& file) {
    if (!afc || !file) {
        return 1;
    }
    const int rc = file->close();
    file.reset();
    return rc;
}

}  // namespace amd::afc
