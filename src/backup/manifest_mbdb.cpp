#include "backup/manifest_mbdb.h"

#include "backup/shah.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace nimbara::backup {

namespace {

// Bytes read from a file at a time.
constexpr std::size_t kBlockBytes = 256 * 1024;

// The bytes of a manifest, either all in memory or read from a file a block at a time. A record
// is at most a few megabytes (its texts are at most 64 KB each), so a block plus one text is all
// that is held at once.
class ByteSource {
  public:
    explicit ByteSource(std::span<const std::uint8_t> bytes) : memory_(bytes) {}
    explicit ByteSource(int fd) : fd_(fd) {}

    // Makes `n` bytes available at data(); false when fewer are left.
    bool fill(std::size_t n) {
        if (fd_ < 0) {
            return memory_.size() - memoryPos_ >= n;
        }
        if (end_ - begin_ >= n) {
            return true;
        }
        if (begin_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (buffer_.size() < std::max(n, kBlockBytes)) {
            buffer_.resize(std::max(n, kBlockBytes));
        }
        while (end_ < n && !ended_) {
            const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                ended_ = true;
                failed_ = got < 0;
                break;
            }
            end_ += static_cast<std::size_t>(got);
            readTotal_ += static_cast<std::uint64_t>(got);
        }
        return end_ >= n;
    }
    const std::uint8_t* data() const {
        return fd_ < 0 ? memory_.data() + memoryPos_ : buffer_.data() + begin_;
    }
    void consume(std::size_t n) {
        if (fd_ < 0) {
            memoryPos_ += n;
        } else {
            begin_ += n;
        }
    }
    bool atEnd() { return !fill(1); }
    bool failed() const { return failed_; }
    // Bytes taken so far.
    std::uint64_t consumed() const { return fd_ < 0 ? memoryPos_ : readTotal_ - (end_ - begin_); }

  private:
    std::span<const std::uint8_t> memory_;
    std::size_t memoryPos_ = 0;
    int fd_ = -1;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::uint64_t readTotal_ = 0;
    bool ended_ = false;
    bool failed_ = false;
};

class ByteReader {
  public:
    explicit ByteReader(ByteSource& source) : source_(source) {}

    bool readUint(int width, std::uint64_t& value) {
        if (!source_.fill(static_cast<std::size_t>(width))) {
            return false;
        }
        const std::uint8_t* bytes = source_.data();
        value = 0;
        for (int i = 0; i < width; ++i) {
            value = (value << 8) | bytes[i];
        }
        source_.consume(static_cast<std::size_t>(width));
        return true;
    }
    template <class T>
    bool read(T& value) {
        std::uint64_t v = 0;
        if (!readUint(sizeof(T), v)) {
            return false;
        }
        value = static_cast<T>(v);
        return true;
    }
    // A length-prefixed string; FFFF and 0 mean no value.
    bool readString(std::optional<std::string>& value) {
        std::uint16_t length = 0;
        if (!read(length)) {
            return false;
        }
        if (length == 0xFFFF || length == 0) {
            value.reset();
            return true;
        }
        if (!source_.fill(length)) {
            return false;
        }
        value.emplace(reinterpret_cast<const char*>(source_.data()), length);
        source_.consume(length);
        return true;
    }

  private:
    ByteSource& source_;
};

bool readRecord(ByteReader& in, MbdbRecord& r, std::string& error) {
    if (!in.readString(r.domain) || !in.readString(r.path) || !in.readString(r.linkTarget) ||
        !in.readString(r.dataHash) || !in.readString(r.encryptionKey)) {
        error = "a text runs past the end of the file";
        return false;
    }
    std::uint8_t propertyCount = 0;
    if (!in.read(r.mode) || !in.read(r.inode) || !in.read(r.uid) || !in.read(r.gid) ||
        !in.read(r.mtime) || !in.read(r.atime) || !in.read(r.ctime) || !in.read(r.size) ||
        !in.read(r.protectionClass) || !in.read(propertyCount)) {
        error = "a record is cut short";
        return false;
    }
    if (propertyCount > kMaxMbdbProperties) {
        error = "a record has " + std::to_string(propertyCount) + " properties (at most " +
                std::to_string(kMaxMbdbProperties) + " are read)";
        return false;
    }
    r.properties.reserve(propertyCount);
    for (int i = 0; i < propertyCount; ++i) {
        std::optional<std::string> name;
        std::optional<std::string> value;
        if (!in.readString(name) || !in.readString(value)) {
            error = "a property runs past the end of the file";
            return false;
        }
        r.properties.emplace_back(name.value_or(std::string()), value.value_or(std::string()));
    }
    return true;
}

EntryStreamResult streamRecords(ByteSource& source, const MbdbVisitor& visit,
                                std::uint64_t total = 0, const ListPosition& position = {}) {
    EntryStreamResult result;
    if (!source.fill(sizeof kMbdbMagic) ||
        std::memcmp(source.data(), kMbdbMagic, sizeof kMbdbMagic) != 0) {
        result.error =
            source.failed() ? "the file cannot be read" : "not a Manifest.mbdb file (wrong header)";
        return result;
    }
    source.consume(sizeof kMbdbMagic);
    ByteReader in(source);
    while (!source.atEnd()) {
        MbdbRecord record;
        if (!readRecord(in, record, result.error)) {
            if (source.failed()) {
                result.error = "the file cannot be read";
            }
            result.error += " (record " + std::to_string(result.entries + 1) + ")";
            return result;
        }
        ++result.entries;
        if (position) {
            position(source.consumed(), total);
        }
        if (!visit(std::move(record))) {
            result.stopped = true;
            return result;
        }
    }
    if (source.failed()) {
        result.error = "the file cannot be read";
    }
    return result;
}

void putUint(std::string& out, std::uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void putString(std::string& out, const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        putUint(out, 0xFFFF, 2);
        return;
    }
    const std::size_t length = std::min<std::size_t>(text->size(), 0xFFFE);
    putUint(out, length, 2);
    out.append(text->data(), length);
}

}  // namespace

BackupEntry MbdbRecord::toEntry() const {
    BackupEntry entry;
    entry.domain = domain.value_or(std::string());
    entry.relativePath = path.value_or(std::string());
    entry.fileKey = fileKey(entry.domain, entry.relativePath);
    entry.size = size;
    entry.mode = mode;
    entry.modified = mtime;
    entry.isDirectory = isDirectory();
    entry.isLink = isSymlink();
    return entry;
}

EntryStreamResult streamMbdb(std::span<const std::uint8_t> bytes, const MbdbVisitor& visit) {
    ByteSource source(bytes);
    return streamRecords(source, visit);
}

EntryStreamResult streamMbdbFile(int fd, const MbdbVisitor& visit, const ListPosition& position) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return {0, "the file cannot be read", false};
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxManifestBytes) {
        return {0,
                "the file is larger than any manifest (" + std::to_string(st.st_size) + " bytes)",
                false};
    }
    ByteSource source(fd);
    return streamRecords(source, visit, static_cast<std::uint64_t>(st.st_size), position);
}

namespace {

MbdbVisitor keepInto(MbdbReadResult& result) {
    return [&result](MbdbRecord&& record) {
        result.records.push_back(std::move(record));
        return true;
    };
}

}  // namespace

MbdbReadResult parseMbdb(std::span<const std::uint8_t> bytes) {
    MbdbReadResult result;
    result.error = streamMbdb(bytes, keepInto(result)).error;
    return result;
}

MbdbReadResult readMbdbFile(const std::string& path) {
    MbdbReadResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = "cannot open " + path;
        return result;
    }
    result.error = streamMbdbFile(fd, keepInto(result)).error;
    ::close(fd);
    if (!result.error.empty()) {
        result.error = path + ": " + result.error;
    }
    return result;
}

std::string writeMbdb(const std::vector<MbdbRecord>& records) {
    std::string out(reinterpret_cast<const char*>(kMbdbMagic), sizeof kMbdbMagic);
    for (const MbdbRecord& r : records) {
        putString(out, r.domain);
        putString(out, r.path);
        putString(out, r.linkTarget);
        putString(out, r.dataHash);
        putString(out, r.encryptionKey);
        putUint(out, r.mode, 2);
        putUint(out, r.inode, 8);
        putUint(out, r.uid, 4);
        putUint(out, r.gid, 4);
        putUint(out, r.mtime, 4);
        putUint(out, r.atime, 4);
        putUint(out, r.ctime, 4);
        putUint(out, r.size, 8);
        putUint(out, r.protectionClass, 1);
        const std::size_t count = std::min<std::size_t>(r.properties.size(), 255);
        putUint(out, count, 1);
        for (std::size_t i = 0; i < count; ++i) {
            putString(out, r.properties[i].first);
            putString(out, r.properties[i].second);
        }
    }
    return out;
}

}  // namespace nimbara::backup
