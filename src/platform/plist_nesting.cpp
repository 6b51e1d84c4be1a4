#include "platform/plist_nesting.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace nimbara {

namespace {

std::string tooDeep(int maxDepth) {
    return "The property list nests arrays and dictionaries more than " + std::to_string(maxDepth) +
           " levels deep.";
}

// ---- XML -------------------------------------------------------------------------------------
//
// The scanner follows libplist's XML reader step by step: where that reader skips to a marker,
// honouring double quotes or not, so does the scanner, so both see the same tags.

class XmlScan {
  public:
    XmlScan(const char* data, std::size_t length) : d_(data), end_(length) {}

    std::optional<std::string> run(int maxDepth);

  private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    bool startsWith(std::size_t pos, std::string_view text) const {
        return pos <= end_ && end_ - pos >= text.size() &&
               std::memcmp(d_ + pos, text.data(), text.size()) == 0;
    }

    std::size_t skipSpace(std::size_t pos) const {
        while (pos < end_ && isSpace(d_[pos])) {
            ++pos;
        }
        return pos;
    }

    // The next `c` at or after pos, quotes not honoured; end_ when there is none.
    std::size_t findChar(std::size_t pos, char c) const {
        if (pos >= end_) {
            return end_;
        }
        const void* hit = std::memchr(d_ + pos, c, end_ - pos);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - d_) : end_;
    }

    // Just past the next occurrence of `text`; with `quotes`, text inside double quotes does
    // not count. end_ when there is none.
    std::size_t skipPast(std::size_t pos, std::string_view text, bool quotes) const {
        while (pos < end_ && end_ - pos >= text.size()) {
            if (startsWith(pos, text)) {
                return pos + text.size();
            }
            if (quotes && d_[pos] == '"') {
                pos = findChar(pos + 1, '"');
                if (pos >= end_) {
                    return end_;
                }
            }
            ++pos;
        }
        return end_;
    }

    // The next character out of `chars`; with `quotes`, characters inside double quotes do not
    // count. end_ when there is none.
    std::size_t findAny(std::size_t pos, std::string_view chars, bool quotes) const {
        while (pos < end_) {
            if (quotes && d_[pos] == '"') {
                pos = findChar(pos + 1, '"');
                if (pos >= end_) {
                    return end_;
                }
            }
            if (chars.find(d_[pos]) != std::string_view::npos) {
                return pos;
            }
            ++pos;
        }
        return end_;
    }

    // Skips the content of a leaf element up to and including its end tag. Returns where the
    // scan goes on; at a stray "<" that is where that "<" stands, so it is read as a tag.
    std::size_t skipLeafContent(std::size_t pos, std::string_view name) const;
    // Skips "<!DOCTYPE ...>" from just after "<!DOCTYPE".
    std::size_t skipDoctype(std::size_t pos) const;

    const char* d_;
    const std::size_t end_;
};

std::size_t XmlScan::skipLeafContent(std::size_t pos, std::string_view name) const {
    for (;;) {
        const std::size_t open = findChar(pos, '<');
        if (open >= end_) {
            return end_;
        }
        pos = open + 1;
        if (pos >= end_) {
            return end_;
        }
        if (d_[pos] == '!') {
            ++pos;
            if (startsWith(pos, "--")) {
                pos = skipPast(pos + 2, "-->", false);
                continue;
            }
            if (startsWith(pos, "[CDATA[")) {
                pos = skipPast(pos + 7, "]]>", false);
                continue;
            }
            return open;  // not valid here: the parser stops, the scan reads on
        }
        if (d_[pos] != '/') {
            return open;
        }
        ++pos;
        if (!startsWith(pos, name)) {
            return pos;
        }
        pos = skipSpace(pos + name.size());
        return pos < end_ && d_[pos] == '>' ? pos + 1 : pos;
    }
}

std::size_t XmlScan::skipDoctype(std::size_t pos) const {
    while (pos < end_) {
        pos = findAny(pos, " \t\r\n[>", true);
        if (pos >= end_) {
            return end_;
        }
        if (d_[pos] == '[') {
            return skipPast(pos, "]>", true);
        }
        if (d_[pos] == '>') {
            return pos + 1;
        }
        pos = skipSpace(pos);
    }
    return end_;
}

std::optional<std::string> XmlScan::run(int maxDepth) {
    static constexpr std::string_view kLeafTags[] = {"key",  "string", "integer", "real",
                                                     "true", "false",  "data",    "date"};
    // The containers open around the current position. An empty container that is the first
    // value becomes the parent of what follows in libplist, so it counts as one level.
    int depth = 0;
    int base = 0;
    bool first = true;
    std::size_t pos = 0;
    while (pos < end_) {
        pos = skipSpace(pos);
        if (pos >= end_) {
            break;
        }
        if (d_[pos] != '<') {
            pos = findChar(pos, '<');  // text between tags: the parser stops, the scan reads on
            continue;
        }
        ++pos;
        if (pos >= end_) {
            break;
        }
        if (d_[pos] == '?') {
            pos = skipPast(pos, "?>", true);
            continue;
        }
        if (d_[pos] == '!') {
            if (startsWith(pos, "!--")) {
                pos = skipPast(pos + 3, "-->", false);
            } else if (startsWith(pos, "!DOCTYPE")) {
                pos = skipDoctype(pos + 8);
            }
            continue;
        }
        const std::size_t nameStart = pos;
        pos = findAny(pos, " \r\n\t<>", false);
        if (pos >= end_) {
            break;
        }
        std::size_t nameLength = pos - nameStart;
        if (d_[pos] != '>') {
            pos = findAny(pos, "<>", true);
            if (pos >= end_) {
                break;
            }
            if (d_[pos] != '>') {
                continue;  // a "<" inside the tag starts the next one
            }
        }
        const bool empty = d_[pos - 1] == '/';
        if (empty && pos - nameStart - 1 < nameLength) {
            nameLength = pos - nameStart - 1;
        }
        ++pos;
        const std::string_view name(d_ + nameStart, nameLength);
        if (name == "dict" || name == "array") {
            if (first && empty) {
                base = 1;
            }
            first = false;
            if (!empty) {
                ++depth;
                if (base + depth > maxDepth) {
                    return tooDeep(maxDepth);
                }
            }
        } else if (name == "/dict" || name == "/array") {
            if (depth > 0) {
                --depth;
            }
        } else {
            for (std::string_view leaf : kLeafTags) {
                if (name == leaf) {
                    first = false;
                    if (!empty) {
                        pos = skipLeafContent(pos, name);
                    }
                    break;
                }
            }
        }
    }
    return std::nullopt;
}

// ---- binary ----------------------------------------------------------------------------------

class BinaryScan {
  public:
    BinaryScan(const std::uint8_t* data, std::size_t length) : d_(data), length_(length) {}

    std::optional<std::string> run(int maxDepth);

  private:
    // A container being walked: where its next object reference is and how many are left
    // (a dictionary's keys and values alike).
    struct Frame {
        std::size_t next = 0;
        std::uint64_t remaining = 0;
        std::uint64_t keys = 0;  // references still to come that are a dictionary's keys
    };
    enum class Kind { Damaged, Leaf, Container };

    std::uint64_t readUnsigned(std::size_t pos, unsigned bytes) const {
        std::uint64_t value = 0;
        for (unsigned i = 0; i < bytes; ++i) {
            value = (value << 8) | d_[pos + i];
        }
        return value;
    }

    // The offset of an object by its index; nullopt when either is out of range.
    std::optional<std::size_t> objectOffset(std::uint64_t index) const;
    // The element count of the object whose marker is at `pos`; `pos` moves past the marker and
    // the count. False when the count is unreadable.
    bool readCount(std::size_t& pos, std::uint64_t& count) const;
    // What the object at `offset` is; for a container, where its references are.
    Kind inspect(std::size_t offset, Frame& frame) const;
    // False for a UTF-16 string holding U+0000: libplist keeps such a key with a length that
    // disagrees with its text, and asserts on reading it back.
    bool isUsableKey(std::size_t offset) const;

    const std::uint8_t* d_;
    const std::size_t length_;
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::size_t tableOffset_ = 0;
};

std::optional<std::size_t> BinaryScan::objectOffset(std::uint64_t index) const {
    if (index >= objectCount_) {
        return std::nullopt;
    }
    const std::uint64_t offset =
        readUnsigned(tableOffset_ + static_cast<std::size_t>(index) * offsetSize_, offsetSize_);
    if (offset < 8 || offset >= tableOffset_) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(offset);
}

bool BinaryScan::readCount(std::size_t& pos, std::uint64_t& count) const {
    count = d_[pos] & 0x0F;
    ++pos;
    if (count != 0x0F) {
        return true;
    }
    if (pos >= tableOffset_ || (d_[pos] & 0xF0) != 0x10) {
        return false;
    }
    const unsigned bytes = 1u << (d_[pos] & 0x0F);
    ++pos;
    if (bytes > 8 || tableOffset_ - pos < bytes) {
        return false;
    }
    count = readUnsigned(pos, bytes);
    pos += bytes;
    return true;
}

BinaryScan::Kind BinaryScan::inspect(std::size_t offset, Frame& frame) const {
    const unsigned type = d_[offset] & 0xF0;
    if (type != 0xA0 && type != 0xC0 && type != 0xD0) {
        return Kind::Leaf;  // arrays, sets and dictionaries are the only containers
    }
    std::size_t pos = offset;
    std::uint64_t count = 0;
    if (!readCount(pos, count)) {
        return Kind::Damaged;
    }
    const std::uint64_t perEntry = type == 0xD0 ? 2 : 1;
    const std::uint64_t room = (tableOffset_ - pos) / refSize_;
    if (count > room / perEntry) {
        return Kind::Damaged;
    }
    frame.next = pos;
    frame.remaining = count * perEntry;
    frame.keys = type == 0xD0 ? count : 0;
    return Kind::Container;
}

bool BinaryScan::isUsableKey(std::size_t offset) const {
    if ((d_[offset] & 0xF0) != 0x60) {
        return true;
    }
    std::size_t pos = offset;
    std::uint64_t count = 0;
    if (!readCount(pos, count) || count > (tableOffset_ - pos) / 2) {
        return false;
    }
    for (std::uint64_t i = 0; i < count; ++i, pos += 2) {
        if (d_[pos] == 0 && d_[pos + 1] == 0) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> BinaryScan::run(int maxDepth) {
    const std::string damaged = "The binary property list is damaged.";
    constexpr std::size_t kHeader = 8;
    constexpr std::size_t kTrailer = 32;
    if (length_ < kHeader + kTrailer) {
        return damaged;
    }
    const std::size_t trailer = length_ - kTrailer;
    offsetSize_ = d_[trailer + 6];
    refSize_ = d_[trailer + 7];
    objectCount_ = readUnsigned(trailer + 8, 8);
    const std::uint64_t rootIndex = readUnsigned(trailer + 16, 8);
    const std::uint64_t tableOffset = readUnsigned(trailer + 24, 8);
    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8 || objectCount_ == 0 ||
        rootIndex >= objectCount_ || tableOffset < kHeader || tableOffset >= trailer ||
        objectCount_ > (trailer - tableOffset) / offsetSize_) {
        return damaged;
    }
    tableOffset_ = static_cast<std::size_t>(tableOffset);

    // A list without shared objects visits each object once per reference to it, and each
    // reference takes at least a byte: more visits than that mean objects shared over and over.
    const std::uint64_t budget = 2 * static_cast<std::uint64_t>(length_) + 64;
    std::uint64_t visits = 1;

    std::vector<Frame> stack;
    stack.reserve(static_cast<std::size_t>(maxDepth > 0 ? maxDepth : 0) + 1);
    const auto root = objectOffset(rootIndex);
    if (!root) {
        return damaged;
    }
    Frame frame;
    switch (inspect(*root, frame)) {
        case Kind::Damaged:
            return damaged;
        case Kind::Leaf:
            return std::nullopt;
        case Kind::Container:
            if (maxDepth < 1) {
                return tooDeep(maxDepth);
            }
            stack.push_back(frame);
            break;
    }
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.remaining == 0) {
            stack.pop_back();
            continue;
        }
        const std::uint64_t index = readUnsigned(top.next, refSize_);
        top.next += refSize_;
        --top.remaining;
        const bool isKey = top.keys > 0;
        if (isKey) {
            --top.keys;
        }
        const auto offset = objectOffset(index);
        if (!offset || (isKey && !isUsableKey(*offset))) {
            return damaged;
        }
        if (++visits > budget) {
            return "The binary property list refers to the same objects too many times.";
        }
        Frame child;
        const Kind kind = inspect(*offset, child);
        if (kind == Kind::Damaged) {
            return damaged;
        }
        if (kind == Kind::Container) {
            if (static_cast<int>(stack.size()) + 1 > maxDepth) {
                return tooDeep(maxDepth);
            }
            stack.push_back(child);
        }
    }
    return std::nullopt;
}

}  // namespace

bool isBinaryPlist(const void* data, std::size_t length) {
    return data && length >= 8 && std::memcmp(data, "bplist00", 8) == 0;
}

std::optional<std::string> plistNestingProblem(const void* data, std::size_t length, int maxDepth) {
    if (!data) {
        return std::nullopt;
    }
    if (isBinaryPlist(data, length)) {
        return BinaryScan(static_cast<const std::uint8_t*>(data), length).run(maxDepth);
    }
    return XmlScan(static_cast<const char*>(data), length).run(maxDepth);
}

}  // namespace nimbara
