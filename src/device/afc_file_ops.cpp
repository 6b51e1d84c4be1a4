#include "device/afc_file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

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

namespace {

using AttributePairs = std::vector<std::pair<std::string, std::string>>;

// One attribute read into a buffer of this thread that is kept between reads (a walk makes one
// read per entry); the pairs that count end at the first empty key or value. Null when the read
// failed.
const AttributePairs* readAttributes(md::AfcConnection* afc, const std::string& path,
                                     std::size_t& count) {
    thread_local AttributePairs pairs;
    if (!afc || afc->fileInfo(path, pairs) != 0) {
        return nullptr;
    }
    count = 0;
    while (count < pairs.size() && !pairs[count].first.empty() && !pairs[count].second.empty()) {
        ++count;
    }
    return &pairs;
}

}  // namespace

std::optional<std::map<std::string, std::string>> ReadFileInfo(md::AfcConnection* afc,
                                                               const std::string& path) {
    std::size_t count = 0;
    const AttributePairs* pairs = readAttributes(afc, path, count);
    if (!pairs) {
        return std::nullopt;
    }
    std::map<std::string, std::string> info;
    for (std::size_t i = 0; i < count; ++i) {
        info.emplace((*pairs)[i].first, (*pairs)[i].second);
    }
    return info;
}

std::optional<FileKindAndSize> ReadFileKindAndSize(md::AfcConnection* afc,
                                                   const std::string& path) {
    std::size_t count = 0;
    const AttributePairs* pairs = readAttributes(afc, path, count);
    if (!pairs) {
        return std::nullopt;
    }
    // The first of each key counts, as in the map ReadFileInfo gives.
    FileKindAndSize found;
    bool haveKind = false;
    bool haveSize = false;
    for (std::size_t i = 0; i < count && !(haveKind && haveSize); ++i) {
        const auto& [key, value] = (*pairs)[i];
        if (!haveKind && key == "st_ifmt") {
            found.kind = value;
            haveKind = true;
        } else if (!haveSize && key == "st_size") {
            found.size = ParseFileSize(value);
            haveSize = true;
        }
    }
    return found;
}

std::uint64_t ParseFileSize(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return 0;
    }
    return value;
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
                 const std::string& devicePath, std::span<std::uint8_t> buffer,
                 const std::function<bool()>& stop) {
    if (!afc || buffer.empty()) {
        return 1;
    }
    Fd source(::open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
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
        if (stop && stop()) {
            break;
        }
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
