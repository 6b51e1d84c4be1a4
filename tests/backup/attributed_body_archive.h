// Message bodies archived byte by byte the way a device lays them out, for the tests of the
// decoder and of the message readers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nimbara::test {

namespace archive_detail {

using Bytes = std::vector<std::uint8_t>;

inline void append(Bytes& out, const std::string& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A class record: new-class tags, the name's length and name, the class version.
inline void appendClass(Bytes& out, const std::string& name, std::uint8_t version) {
    out.insert(out.end(), {0x84, 0x84, static_cast<std::uint8_t>(name.size())});
    append(out, name);
    out.push_back(version);
}

// The byte count the way the archive stores it.
inline void appendCount(Bytes& out, std::size_t count) {
    if (count < 0x80) {
        out.push_back(static_cast<std::uint8_t>(count));
    } else if (count <= 0xFFFF) {
        out.insert(out.end(),
                   {0x81, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)});
    } else {
        out.insert(
            out.end(),
            {0x82, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
             static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 24)});
    }
}

// An archived attributed string as a device stores a message: header, the object's class chain,
// the mutable string's chain, its bytes, then the attribute run that follows them.
inline Bytes archive(const std::string& text, bool mutableString = true) {
    Bytes out{0x04, 0x0B};
    append(out, "streamtyped");
    out.insert(out.end(), {0x81, 0xE8, 0x03, 0x84, 0x01, 0x40, 0x84});
    appendClass(out, "NSMutableAttributedString", 0);
    appendClass(out, "NSAttributedString", 0);
    appendClass(out, "NSObject", 0);
    out.insert(out.end(), {0x85, 0x92, 0x84});
    if (mutableString) {
        appendClass(out, "NSMutableString", 1);
    }
    appendClass(out, "NSString", 1);
    out.insert(out.end(), {0x95, 0x84, 0x01, 0x2B});
    appendCount(out, text.size());
    append(out, text);
    out.insert(out.end(), {0x86, 0x84, 0x02, 0x69, 0x49, 0x01, 0x05, 0x92, 0x84});
    appendClass(out, "NSDictionary", 0);
    out.insert(out.end(), {0x95, 0x84, 0x01, 0x69, 0x01, 0x92, 0x86, 0x86});
    return out;
}

}  // namespace archive_detail

using archive_detail::archive;

}  // namespace nimbara::test
