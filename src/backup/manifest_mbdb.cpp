#include "backup/manifest_mbdb.h"

#include "backup/shah.h"

#include <cstring>
#include <fstream>

namespace nimbara::backup {

namespace {

// A manifest larger than this is not a manifest we can hold in memory sensibly.
constexpr std::uint64_t kMaxManifestBytes = 512ull * 1024 * 1024;

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t position() const { return pos_; }
    bool atEnd() const { return pos_ >= bytes_.size(); }
    std::size_t left() const { return bytes_.size() - pos_; }

    bool readUint(int width, std::uint64_t& value) {
        if (left() < static_cast<std::size_t>(width)) {
            return false;
        }
        value = 0;
        for (int i = 0; i < width; ++i) {
            value = (value << 8) | bytes_[pos_++];
        }
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
        if (left() < length) {
            return false;
        }
        value.emplace(reinterpret_cast<const char*>(bytes_.data() + pos_), length);
        pos_ += length;
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
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
    entry.isDirectory = isDirectory();
    entry.isLink = isSymlink();
    return entry;
}

MbdbReadResult parseMbdb(std::span<const std::uint8_t> bytes) {
    MbdbReadResult result;
    if (bytes.size() < sizeof kMbdbMagic ||
        std::memcmp(bytes.data(), kMbdbMagic, sizeof kMbdbMagic) != 0) {
        result.error = "not a Manifest.mbdb file (wrong header)";
        return result;
    }
    ByteReader in(bytes.subspan(sizeof kMbdbMagic));
    while (!in.atEnd()) {
        MbdbRecord record;
        if (!readRecord(in, record, result.error)) {
            result.error += " (record " + std::to_string(result.records.size() + 1) + ")";
            return result;
        }
        result.records.push_back(std::move(record));
    }
    return result;
}

MbdbReadResult readMbdbFile(const std::string& path) {
    MbdbReadResult result;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        result.error = "cannot open " + path;
        return result;
    }
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxManifestBytes) {
        result.error = "cannot read " + path + " (size)";
        return result;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    file.seekg(0);
    if (!bytes.empty() && !file.read(reinterpret_cast<char*>(bytes.data()), size)) {
        result.error = "cannot read " + path;
        return result;
    }
    return parseMbdb(bytes);
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
