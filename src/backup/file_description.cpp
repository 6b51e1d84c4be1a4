#include "backup/file_description.h"

#include "platform/plist_value.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace nimbara::backup {

namespace {

std::uint64_t readBigEndian(const unsigned char* at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | at[i];
    }
    return value;
}

// A binary property list ("bplist00") read in place: its trailer, its offset table and single
// objects, every position checked against the bounds first. Whatever this reader does not
// expect makes it give up (nullopt), never guess.
class BinaryPlist {
  public:
    explicit BinaryPlist(std::string_view bytes)
        : data_(reinterpret_cast<const unsigned char*>(bytes.data())), size_(bytes.size()) {}

    bool open() {
        constexpr std::size_t kHeader = 8;
        constexpr std::size_t kTrailer = 32;
        if (size_ < kHeader + kTrailer || std::memcmp(data_, "bplist00", kHeader) != 0) {
            return false;
        }
        const unsigned char* trailer = data_ + size_ - kTrailer;
        offsetSize_ = trailer[6];
        refSize_ = trailer[7];
        objects_ = readBigEndian(trailer + 8, 8);
        top_ = readBigEndian(trailer + 16, 8);
        table_ = readBigEndian(trailer + 24, 8);
        const std::uint64_t end = size_ - kTrailer;
        return offsetSize_ >= 1 && offsetSize_ <= 8 && refSize_ >= 1 && refSize_ <= 8 &&
               objects_ > 0 && top_ < objects_ && table_ >= kHeader && table_ < end &&
               objects_ <= (end - table_) / offsetSize_;
    }

    std::uint64_t top() const { return top_; }

    // Where object `ref` starts; its marker byte is there.
    std::optional<std::size_t> object(std::uint64_t ref) const {
        if (ref >= objects_) {
            return std::nullopt;
        }
        const std::uint64_t at = readBigEndian(data_ + table_ + ref * offsetSize_, offsetSize_);
        if (at < 8 || at >= table_) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(at);
    }

    unsigned char marker(std::size_t at) const { return data_[at]; }

    // The element count of the container or string at `at` (in its marker, or in the integer
    // after it) and where its contents begin; `unitsPerElement` references of refSize bytes
    // (arrays 1, dictionaries 2) or bytes (ASCII strings, with refSize 1) must fit.
    bool contents(std::size_t at, std::size_t unitsPerElement, std::size_t unitSize,
                  std::uint64_t& count, std::size_t& body) const {
        count = marker(at) & 0x0F;
        body = at + 1;
        if (count == 0x0F) {
            if (body >= table_ || (data_[body] & 0xF0) != 0x10) {
                return false;
            }
            const std::size_t width = std::size_t{1} << (data_[body] & 0x0F);
            if (width > 8 || body + 1 + width > table_) {
                return false;
            }
            count = readBigEndian(data_ + body + 1, width);
            body += 1 + width;
        }
        return body <= table_ && count <= (table_ - body) / (unitsPerElement * unitSize);
    }

    std::uint64_t reference(std::size_t body, std::uint64_t index) const {
        return readBigEndian(data_ + body + index * refSize_, refSize_);
    }

    // The integer object `ref`, as the whole-list parser gives it (8 bytes are signed).
    std::optional<std::int64_t> integer(std::uint64_t ref) const {
        const auto at = object(ref);
        if (!at || (marker(*at) & 0xF0) != 0x10) {
            return std::nullopt;
        }
        const std::size_t width = std::size_t{1} << (marker(*at) & 0x0F);
        if (width > 8 || *at + 1 + width > table_) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(readBigEndian(data_ + *at + 1, width));
    }

    // The value of `key` in the dictionary object `ref`: nullopt when this reader cannot tell
    // (a key that is not a plain ASCII string, the key listed twice, damage); found = false when
    // the dictionary simply lacks it.
    std::optional<std::uint64_t> lookup(std::uint64_t ref, std::string_view key,
                                        bool& found) const {
        found = false;
        const auto at = object(ref);
        std::uint64_t count = 0;
        std::size_t body = 0;
        if (!at || (marker(*at) & 0xF0) != 0xD0 || !contents(*at, 2, refSize_, count, body)) {
            return std::nullopt;
        }
        std::uint64_t value = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto keyAt = object(reference(body, i));
            std::uint64_t length = 0;
            std::size_t text = 0;
            if (!keyAt || (marker(*keyAt) & 0xF0) != 0x50 ||
                !contents(*keyAt, 1, 1, length, text)) {
                return std::nullopt;
            }
            if (length == key.size() && std::memcmp(data_ + text, key.data(), key.size()) == 0) {
                if (found) {
                    return std::nullopt;
                }
                found = true;
                value = reference(body, count + i);
            }
        }
        return value;
    }

    // The values of several keys of the dictionary object `ref`, found in one walk over its keys:
    // false when this reader cannot tell (as lookup); values[i] stays empty for a key the
    // dictionary lacks.
    template <std::size_t N>
    bool lookupAll(std::uint64_t ref, const std::array<std::string_view, N>& keys,
                   std::array<std::optional<std::uint64_t>, N>& values) const {
        const auto at = object(ref);
        std::uint64_t count = 0;
        std::size_t body = 0;
        if (!at || (marker(*at) & 0xF0) != 0xD0 || !contents(*at, 2, refSize_, count, body)) {
            return false;
        }
        for (std::uint64_t i = 0; i < count; ++i) {
            const auto keyAt = object(reference(body, i));
            std::uint64_t length = 0;
            std::size_t text = 0;
            if (!keyAt || (marker(*keyAt) & 0xF0) != 0x50 ||
                !contents(*keyAt, 1, 1, length, text)) {
                return false;
            }
            for (std::size_t k = 0; k < N; ++k) {
                if (length == keys[k].size() &&
                    std::memcmp(data_ + text, keys[k].data(), keys[k].size()) == 0) {
                    if (values[k]) {
                        return false;  // listed twice
                    }
                    values[k] = reference(body, count + i);
                }
            }
        }
        return true;
    }

    // Element `index` of the array object `ref`; nullopt when it is no array or too short.
    std::optional<std::uint64_t> element(std::uint64_t ref, std::uint64_t index) const {
        const auto at = object(ref);
        std::uint64_t count = 0;
        std::size_t body = 0;
        if (!at || (marker(*at) & 0xF0) != 0xA0 || !contents(*at, 1, refSize_, count, body) ||
            index >= count) {
            return std::nullopt;
        }
        return reference(body, index);
    }

    bool isDictionary(std::uint64_t ref) const {
        const auto at = object(ref);
        return at && (marker(*at) & 0xF0) == 0xD0;
    }

  private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t offsetSize_ = 0;
    std::size_t refSize_ = 0;
    std::uint64_t objects_ = 0;
    std::uint64_t top_ = 0;
    std::uint64_t table_ = 0;
};

FileDescription fromValues(std::int64_t size, std::int64_t mode, std::int64_t modified) {
    FileDescription d;
    d.modified = std::max<std::int64_t>(modified, 0);
    d.size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    d.mode = mode > 0 && mode <= 0xFFFF ? static_cast<std::uint32_t>(mode) : 0;
    return d;
}

// The usual shape read in place; nullopt when the whole list has to be parsed to be sure.
std::optional<FileDescription> readInPlace(std::string_view blob) {
    BinaryPlist plist(blob);
    if (!plist.open()) {
        return std::nullopt;
    }
    bool found = false;
    const auto objects = plist.lookup(plist.top(), "$objects", found);
    if (!objects || !found) {
        return std::nullopt;
    }
    const auto description = plist.element(*objects, 1);
    if (!description || !plist.isDictionary(*description)) {
        return std::nullopt;
    }
    static constexpr std::array<std::string_view, 3> kKeys = {"Size", "Mode", "LastModified"};
    std::array<std::optional<std::uint64_t>, 3> refs;
    if (!plist.lookupAll(*description, kKeys, refs)) {
        return std::nullopt;
    }
    std::int64_t values[3] = {0, 0, 0};
    for (std::size_t i = 0; i < refs.size(); ++i) {
        if (refs[i]) {
            const auto number = plist.integer(*refs[i]);
            if (!number) {
                return std::nullopt;
            }
            values[i] = *number;
        }
    }
    return fromValues(values[0], values[1], values[2]);
}

// The whole archive parsed: the second archived object's "Size", "Mode" and "LastModified".
FileDescription readWhole(std::string_view blob) {
    const std::optional<PlistValue> archive = PlistValue::parse(blob.data(), blob.size());
    if (!archive) {
        return {};
    }
    const PlistValue::Array& objects = (*archive)["$objects"].toArray();
    if (objects.size() < 2 || !objects[1].isDict()) {
        return {};
    }
    return fromValues(objects[1]["Size"].toInt64(), objects[1]["Mode"].toInt64(),
                      objects[1]["LastModified"].toInt64());
}

}  // namespace

FileDescription readFileDescription(std::string_view blob) {
    if (blob.empty() || blob.size() > kMaxFileDescriptionBytes) {
        return {};
    }
    if (const auto quick = readInPlace(blob)) {
        return *quick;
    }
    return readWhole(blob);
}

}  // namespace nimbara::backup
