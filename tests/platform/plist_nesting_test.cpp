// Hostile property lists: nesting that would exhaust a recursive parser's stack, binary object
// graphs that loop or share their objects over and over, and files that are not files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_list.h"
#include "platform/plist_nesting.h"
#include "platform/plist_value.h"
#include "test_support.h"

namespace fs = std::filesystem;
using nimbara::kMaxPlistDepth;
using nimbara::plistNestingProblem;
using nimbara::PlistValue;
using nimbara::test::TempDir;
using nimbara::test::writeText;

namespace {

constexpr const char* kXmlHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

// `levels` arrays inside one another, the innermost holding a string.
std::string nestedXml(int levels) {
    std::string xml = kXmlHead;
    xml.reserve(xml.size() + static_cast<std::size_t>(levels) * 15 + 64);
    for (int i = 0; i < levels; ++i) {
        xml += "<array>";
    }
    xml += "<string>deep</string>";
    for (int i = 0; i < levels; ++i) {
        xml += "</array>";
    }
    return xml + "</plist>\n";
}

PlistValue nestedValue(int levels, const char* leaf = "deep") {
    PlistValue value(leaf);
    for (int i = 0; i < levels; ++i) {
        value = PlistValue(PlistValue::Array{std::move(value)});
    }
    return value;
}

// A binary property list written by hand: one-byte markers, four-byte references and offsets.
class BinaryWriter {
  public:
    // Adds an array (or, with `dict`, a dictionary whose refs are keys then values) and returns
    // its index; the references are set with refs().
    std::size_t container(std::vector<std::uint32_t> refs, bool dict = false) {
        objects_.push_back({dict ? 0xD0 : 0xA0, std::move(refs), 0, {}});
        return objects_.size() - 1;
    }
    std::size_t string(char c) {
        objects_.push_back({0x51, {}, c, {}});
        return objects_.size() - 1;
    }
    // A UTF-16 string of at most 14 code units.
    std::size_t unicode(std::u16string text) {
        objects_.push_back({0x60, {}, 0, std::move(text)});
        return objects_.size() - 1;
    }
    std::vector<std::uint8_t> bytes(std::uint32_t root = 0) const {
        std::vector<std::uint8_t> out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<std::uint32_t> offsets;
        for (const auto& object : objects_) {
            offsets.push_back(static_cast<std::uint32_t>(out.size()));
            if (object.marker == 0x51) {
                out.push_back(0x51);
                out.push_back(static_cast<std::uint8_t>(object.text));
                continue;
            }
            if (object.marker == 0x60) {
                out.push_back(static_cast<std::uint8_t>(0x60 | object.utf16.size()));
                for (char16_t unit : object.utf16) {
                    put(out, unit, 2);
                }
                continue;
            }
            const std::size_t count =
                object.marker == 0xD0 ? object.refs.size() / 2 : object.refs.size();
            if (count < 15) {
                out.push_back(static_cast<std::uint8_t>(object.marker | count));
            } else {
                out.push_back(static_cast<std::uint8_t>(object.marker | 0x0F));
                out.push_back(0x12);
                put(out, static_cast<std::uint32_t>(count), 4);
            }
            for (std::uint32_t ref : object.refs) {
                put(out, ref, 4);
            }
        }
        const auto table = static_cast<std::uint64_t>(out.size());
        for (std::uint32_t offset : offsets) {
            put(out, offset, 4);
        }
        for (int i = 0; i < 6; ++i) {
            out.push_back(0);
        }
        out.push_back(4);  // offset size
        out.push_back(4);  // reference size
        put(out, objects_.size(), 8);
        put(out, root, 8);
        put(out, table, 8);
        return out;
    }

  private:
    struct Object {
        int marker;
        std::vector<std::uint32_t> refs;
        char text = 0;
        std::u16string utf16;
    };
    static void put(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) {
            out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    }
    std::vector<Object> objects_;
};

// Arrays each holding the next one; the last holds a string.
std::vector<std::uint8_t> nestedBinary(int levels) {
    BinaryWriter writer;
    for (int i = 0; i < levels; ++i) {
        writer.container({static_cast<std::uint32_t>(i + 1)});
    }
    writer.string('x');
    return writer.bytes();
}

}  // namespace

TEST(PlistNesting, DeepXmlIsRefusedBeforeAnyParserSeesIt) {
    // About 3 MB: libplist would build 200,000 levels and free them recursively.
    const std::string hostile = nestedXml(200000);
    std::string error;
    EXPECT_FALSE(PlistValue::parse(hostile, &error));
    EXPECT_NE(error.find("more than 256 levels"), std::string::npos) << error;

    // Up to the limit the list reads; one level more is refused.
    auto atLimit = PlistValue::parse(nestedXml(kMaxPlistDepth));
    ASSERT_TRUE(atLimit);
    EXPECT_EQ(*atLimit, nestedValue(kMaxPlistDepth));
    EXPECT_FALSE(PlistValue::parse(nestedXml(kMaxPlistDepth + 1)));
    EXPECT_FALSE(PlistValue::parse(nestedValue(kMaxPlistDepth + 1).toXml()));
}

TEST(PlistNesting, DeepBinaryIsRefusedBeforeAnyParserSeesIt) {
    const auto hostile = nestedBinary(100000);
    std::string error;
    EXPECT_FALSE(PlistValue::parse(hostile.data(), hostile.size(), &error));
    EXPECT_NE(error.find("more than 256 levels"), std::string::npos) << error;

    const auto atLimit = nestedBinary(kMaxPlistDepth);
    auto value = PlistValue::parse(atLimit.data(), atLimit.size());
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, nestedValue(kMaxPlistDepth, "x"));
    const auto over = nestedValue(kMaxPlistDepth + 1).toBinary();
    EXPECT_FALSE(PlistValue::parse(over.data(), over.size()));
}

TEST(PlistNesting, BinaryLoopsAndSharedObjectsEndTheWalk) {
    // An array that holds itself: no parser may follow it forever.
    BinaryWriter loop;
    loop.container({0});
    auto bytes = loop.bytes();
    EXPECT_TRUE(plistNestingProblem(bytes.data(), bytes.size()));
    EXPECT_FALSE(PlistValue::parse(bytes.data(), bytes.size()));

    // Dictionaries whose key and value are their own child: the key is walked too.
    BinaryWriter keys;
    keys.container({0, 0}, true);
    bytes = keys.bytes();
    EXPECT_FALSE(PlistValue::parse(bytes.data(), bytes.size()));

    // 60 arrays each holding the next one twice: a few hundred bytes that expand to 2^60 objects.
    BinaryWriter shared;
    for (std::uint32_t i = 0; i < 60; ++i) {
        shared.container({i + 1, i + 1});
    }
    shared.string('x');
    bytes = shared.bytes();
    std::string error;
    EXPECT_FALSE(PlistValue::parse(bytes.data(), bytes.size(), &error));
    EXPECT_NE(error.find("too many times"), std::string::npos) << error;

    // Sharing a few leaves, as writers do with repeated strings and numbers, is fine.
    BinaryWriter reused;
    reused.container({1, 2, 2, 2}, true);
    reused.string('k');
    reused.string('v');
    bytes = reused.bytes();
    EXPECT_FALSE(plistNestingProblem(bytes.data(), bytes.size()));

    // References and offsets that leave the data are damage, not a crash.
    BinaryWriter outside;
    outside.container({7});
    bytes = outside.bytes();
    EXPECT_TRUE(plistNestingProblem(bytes.data(), bytes.size()));
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_FALSE(PlistValue::parse(bytes.data(), cut)) << cut;
    }
}

TEST(PlistNesting, XmlCountsOnlyWhatTheParserBuilds) {
    std::string many;
    for (int i = 0; i < 400; ++i) {
        many += "<dict>";
    }
    const std::string body =
        "<array>"
        "<string><![CDATA[" +
        many +
        "]]></string>"
        "<!-- " +
        many +
        " -->"
        "<string>&lt;dict&gt;</string>" +
        std::string(400 * 7, ' ') + "<dict/><array/><dict />" + "</array>";
    std::string xml = std::string(kXmlHead) + "<?note " + many + "?>" + body + "</plist>";
    EXPECT_FALSE(plistNestingProblem(xml.data(), xml.size())) << "skipped text counts for nothing";
    auto value = PlistValue::parse(xml);
    ASSERT_TRUE(value);
    ASSERT_EQ(value->size(), 5u);
    EXPECT_EQ(value->toArray()[0].toString(), many);

    // A quoted "?>" does not end a processing instruction for the parser, so not for the scan
    // either: here the parser builds every array before it fails on the stray "-->".
    const std::string arrays = nestedXml(300).substr(std::string(kXmlHead).size());
    const std::string quoted = "<?note \"?><!--\" ?><plist>" + arrays + "-->";
    EXPECT_TRUE(plistNestingProblem(quoted.data(), quoted.size()));
    // Broken XML still counts every container the parser would build before it gives up.
    std::string broken = nestedXml(300);
    broken.resize(broken.size() / 2);
    EXPECT_TRUE(plistNestingProblem(broken.data(), broken.size()));
}

TEST(PlistNesting, TextWithNulCharactersIsReadNotAnAssertion) {
    // libplist's text getters assert that a text holds no NUL character; the text ends there.
    const std::string xml = std::string(kXmlHead) + "<array><string>a" + std::string(1, '\0') +
                            "b</string></array></plist>";
    auto value = PlistValue::parse(xml);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->toArray().at(0).toString(), "a");

    BinaryWriter values;
    values.container({1});
    values.unicode(std::u16string(u"a\0b", 3));
    auto bytes = values.bytes();
    value = PlistValue::parse(bytes.data(), bytes.size());
    ASSERT_TRUE(value);
    EXPECT_EQ(value->toArray().at(0).toString(), "a");

    // A key like that cannot be read back out of libplist at all: refused as damage.
    BinaryWriter keys;
    keys.container({1, 2}, true);
    keys.unicode(std::u16string(u"k\0", 2));
    keys.string('v');
    bytes = keys.bytes();
    std::string error;
    EXPECT_FALSE(PlistValue::parse(bytes.data(), bytes.size(), &error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;
}

TEST(PlistValueFile, OnlyRegularFilesOfBoundedSizeAreRead) {
    TempDir tmp;
    PlistValue value = PlistValue::dict();
    value["Name"] = "phone";
    ASSERT_TRUE(value.writeFile((tmp / "small.plist").string()));
    std::string error;
    auto read = PlistValue::readFile((tmp / "small.plist").string(), &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(*read, value);

    // Larger than allowed: refused before it is read.
    EXPECT_FALSE(PlistValue::readFile((tmp / "small.plist").string(), &error, 16));
    EXPECT_NE(error.find("larger than the 16 bytes"), std::string::npos) << error;

    // A fifo with no writer would block a plain read forever.
    ASSERT_EQ(::mkfifo((tmp / "fifo.plist").c_str(), 0600), 0);
    EXPECT_FALSE(PlistValue::readFile((tmp / "fifo.plist").string(), &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(PlistValue::readFile((tmp / "missing.plist").string(), &error));
    EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;
}

TEST(PlistValueFile, ABackupWithADeepInfoPlistIsSkippedNotACrash) {
    TempDir tmp;
    const fs::path backup = tmp / "0123456789abcdef0123456789abcdef01234567";
    fs::create_directories(backup);
    writeText(backup / "Info.plist", nestedXml(200000));
    writeText(backup / "3d0d7e5fb2ce288813306e4d4636395e047a3d28", "stored file");
    const auto listing = nimbara::backup::scanLocalBackups(QString::fromStdString(tmp.str()));
    EXPECT_TRUE(listing.backups.empty());
    EXPECT_EQ(listing.skipped.size(), 1u);
}
