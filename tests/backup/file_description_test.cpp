// The archived file description of a Manifest.db row: size and mode read in place must be what
// parsing the whole archive gives, for every shape, and damage must never be read past.
#include "backup/file_description.h"
#include "platform/plist_value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

using nimbara::PlistValue;
using nimbara::backup::FileDescription;
using nimbara::backup::readFileDescription;

namespace {

// The archive a device writes: the description with its dozen fields as the second object.
PlistValue archive(PlistValue description) {
    PlistValue top = PlistValue::dict();
    top.set("$version", 100000);
    top.set("$archiver", "NSKeyedArchiver");
    PlistValue root = PlistValue::dict();
    root.set("root", 1);
    top.set("$top", root);
    PlistValue objects = PlistValue::array();
    objects.append("$null");
    objects.append(std::move(description));
    objects.append("MBFile");
    top.set("$objects", objects);
    return top;
}

PlistValue description(PlistValue size, PlistValue mode) {
    PlistValue d = PlistValue::dict();
    d.set("RelativePath", "Library/SMS/sms.db");
    d.set("LastModified", 1500000000);
    d.set("InodeNumber", 123456);
    d.set("UserID", 501);
    d.set("GroupID", 501);
    d.set("ProtectionClass", 3);
    d.set("Flags", 0);
    if (!size.isNull()) {
        d.set("Size", std::move(size));
    }
    if (!mode.isNull()) {
        d.set("Mode", std::move(mode));
    }
    return d;
}

std::string binary(const PlistValue& value) {
    const auto bytes = value.toBinary();
    return std::string(bytes.begin(), bytes.end());
}

// What reading the whole archive gives, as the list reader always did.
FileDescription wholeParse(const std::string& blob) {
    FileDescription d;
    const auto parsed = PlistValue::parse(blob.data(), blob.size());
    if (!parsed) {
        return d;
    }
    const PlistValue::Array& objects = (*parsed)["$objects"].toArray();
    if (objects.size() < 2 || !objects[1].isDict()) {
        return d;
    }
    const std::int64_t size = objects[1]["Size"].toInt64();
    const std::int64_t mode = objects[1]["Mode"].toInt64();
    d.size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    d.mode = mode > 0 && mode <= 0xFFFF ? static_cast<std::uint32_t>(mode) : 0;
    d.modified = std::max<std::int64_t>(objects[1]["LastModified"].toInt64(), 0);
    return d;
}

void expectSame(const std::string& blob, const char* what) {
    const FileDescription fast = readFileDescription(blob);
    const FileDescription whole = wholeParse(blob);
    EXPECT_EQ(fast.size, whole.size) << what;
    EXPECT_EQ(fast.mode, whole.mode) << what;
    EXPECT_EQ(fast.modified, whole.modified) << what;
}

// Replaces the first `from` in the bytes by `to` (of the same length).
std::string patched(std::string bytes, const std::string& from, const std::string& to) {
    const std::size_t at = bytes.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        bytes.replace(at, from.size(), to);
    }
    return bytes;
}

}  // namespace

TEST(FileDescriptionTest, SizeAndModeOfEveryWidthAndRange) {
    const std::int64_t sizes[] = {
        0, 1, 200, 65535, 65536, 4294967295LL, 4294967296LL, -1, 9000000000000LL};
    const std::int64_t modes[] = {0100644, 040755, 0120755, 0, 0x10000, -5};
    for (std::int64_t size : sizes) {
        for (std::int64_t mode : modes) {
            const std::string blob = binary(archive(description(size, mode)));
            const FileDescription d = readFileDescription(blob);
            EXPECT_EQ(d.size, size > 0 ? static_cast<std::uint64_t>(size) : 0u) << size;
            EXPECT_EQ(d.mode, mode > 0 && mode <= 0xFFFF ? static_cast<std::uint32_t>(mode) : 0u)
                << mode;
            EXPECT_EQ(d.modified, 1500000000);
            expectSame(blob, "plain integers");
        }
    }
}

TEST(FileDescriptionTest, UnusualShapesGiveWhatTheWholeArchiveSays) {
    // Missing fields, a size given as a real number or as text, XML instead of binary.
    expectSame(binary(archive(description(PlistValue(), PlistValue()))), "no size or mode");
    expectSame(binary(archive(description(4242, PlistValue()))), "no mode");
    expectSame(binary(archive(description(PlistValue(4242.9), 0100644))), "a real size");
    expectSame(binary(archive(description(PlistValue("4242"), 0100644))), "a text size");
    const std::string xml = archive(description(4242, 0100644)).toXml();
    EXPECT_EQ(readFileDescription(xml).size, 4242u);
    expectSame(xml, "XML");

    // The second object is not a dictionary, or there is none, or no $objects at all.
    PlistValue notDict = archive(description(1, 1));
    PlistValue objects = PlistValue::array();
    objects.append("$null");
    objects.append("text");
    notDict.set("$objects", objects);
    expectSame(binary(notDict), "a text second object");
    PlistValue shortList = PlistValue::dict();
    shortList.set("$objects", PlistValue::array());
    expectSame(binary(shortList), "no second object");
    PlistValue other = PlistValue::dict();
    other.set("Size", 10);
    expectSame(binary(other), "no $objects");
    expectSame(binary(PlistValue::array()), "an array at the top");

    // The same key twice (the second "Mode" renamed "Size"): whichever the whole archive takes.
    const std::string twice = patched(binary(archive(description(77, 0100644))), "Mode", "Size");
    expectSame(twice, "Size twice");
}

TEST(FileDescriptionTest, DamagedOrOversizedDescriptionsDescribeNothingAndAreNeverReadPast) {
    EXPECT_EQ(readFileDescription("").size, 0u);
    EXPECT_EQ(readFileDescription("bplist00xx").size, 0u);
    EXPECT_EQ(readFileDescription(std::string(100, '\xff')).size, 0u);
    const std::string good = binary(archive(description(4242, 0100644)));
    // Longer than any description: not read at all.
    std::string padded = good;
    padded.insert(8, nimbara::backup::kMaxFileDescriptionBytes, '\0');
    EXPECT_EQ(readFileDescription(padded).size, 0u);
    // Cut anywhere: nothing read past the end (the sanitizers watch), and nothing made up.
    for (std::size_t length = 0; length < good.size(); ++length) {
        const FileDescription d = readFileDescription(good.substr(0, length));
        EXPECT_EQ(d.size, 0u) << length;
        EXPECT_EQ(d.mode, 0u) << length;
    }
    // Every byte changed in turn, and random damage: wherever the whole archive can still be
    // read, reading in place agrees with it.
    std::mt19937 random(11);
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (int round = 0; round < 8; ++round) {
            std::string damaged = good;
            damaged[at] = static_cast<char>(random() & 0xFF);
            const FileDescription fast = readFileDescription(damaged);
            if (PlistValue::parse(damaged.data(), damaged.size())) {
                const FileDescription whole = wholeParse(damaged);
                EXPECT_EQ(fast.size, whole.size) << "byte " << at;
                EXPECT_EQ(fast.mode, whole.mode) << "byte " << at;
            }
        }
    }
}
