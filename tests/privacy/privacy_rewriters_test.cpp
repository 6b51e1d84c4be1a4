// The cleaner's rewriters of whole files: property lists lose exactly the named entries and keep
// their form, cookie files lose exactly the named cookies and keep the rest byte for byte, photos
// lose their position and nothing else, and a file list row gets its file's new size and digest.
// Hostile input gives an error, never a crash or a guess.
#include <gtest/gtest.h>

#include <plist/plist.h>

#include <QImage>

#include <string>
#include <vector>

#include "backup/file_description.h"
#include "backup_privacy.h"
#include "generated_images.h"
#include "platform/plist_value.h"
#include "privacy/binary_cookies.h"
#include "privacy/photo_positions.h"
#include "privacy/privacy_file_edits.h"
#include "privacy/privacy_manifest_update.h"
#include "privacy/privacy_plists.h"

namespace {

using namespace nimbara::privacy;
using nimbara::PlistValue;

PlistValue network(const std::string& name) {
    PlistValue entry = PlistValue::dict();
    entry["SSID_STR"] = name;
    entry["lastAutoJoined"] = PlistValue::date(800000000);
    return entry;
}

PlistValue wifiList(const std::vector<std::string>& names) {
    PlistValue list = PlistValue::array();
    for (const std::string& name : names) {
        list.append(network(name));
    }
    PlistValue root = PlistValue::dict();
    root["List of known networks"] = list;
    root["Version"] = 14;
    return root;
}

std::string binary(const PlistValue& value) {
    const PlistValue::Bytes bytes = value.toBinary();
    return std::string(bytes.begin(), bytes.end());
}

ListEntryKey keyOf(std::int64_t index, const PlistValue& entry, std::string name = {}) {
    return {index, std::move(name), plistEntryDigest(entry)};
}

std::vector<std::string> names(const std::string& bytes) {
    std::vector<std::string> out;
    const auto root = PlistValue::parse(bytes);
    for (const PlistValue& entry : (*root)["List of known networks"].toArray()) {
        out.push_back(entry["SSID_STR"].toString());
    }
    return out;
}

TEST(PlistRewrite, TheNamedEntriesGoAndTheListKeepsItsForm) {
    const PlistValue root = wifiList({"Home", "Cafe", "Office", "Airport"});
    for (bool xml : {false, true}) {
        SCOPED_TRACE(xml ? "XML" : "binary");
        const std::string bytes = xml ? root.toXml() : binary(root);
        std::size_t removed = 0;
        std::string error;
        const auto out = withoutPlistEntries(
            bytes, "List of known networks",
            {keyOf(1, network("Cafe")), keyOf(3, network("Airport"))}, removed, error);
        ASSERT_TRUE(out) << error;
        EXPECT_EQ(removed, 2u);
        EXPECT_EQ(names(*out), (std::vector<std::string>{"Home", "Office"}));
        EXPECT_EQ(plistFormatOf(*out),
                  xml ? PrivacyFileFormat::XmlPlist : PrivacyFileFormat::BinaryPlist);
        EXPECT_EQ((*PlistValue::parse(*out))["Version"].toInt64(), 14);
    }
}

TEST(PlistRewrite, AnEntryThatMovedIsFoundByItsDigestAndOneThatWentFailsTheRewrite) {
    const std::string bytes = binary(wifiList({"Office", "Home", "Cafe"}));
    std::size_t removed = 0;
    std::string error;
    // Read at place 0, now at place 1.
    const auto moved = withoutPlistEntries(bytes, "List of known networks",
                                           {keyOf(0, network("Home"))}, removed, error);
    ASSERT_TRUE(moved) << error;
    EXPECT_EQ(names(*moved), (std::vector<std::string>{"Office", "Cafe"}));

    // Two equal entries named twice both go; a third name for them finds none left.
    const std::string twice = binary(wifiList({"Home", "Home"}));
    EXPECT_TRUE(withoutPlistEntries(twice, "List of known networks",
                                    {keyOf(0, network("Home")), keyOf(0, network("Home"))}, removed,
                                    error));
    EXPECT_EQ(removed, 2u);
    EXPECT_FALSE(withoutPlistEntries(
        twice, "List of known networks",
        {keyOf(0, network("Home")), keyOf(1, network("Home")), keyOf(1, network("Home"))}, removed,
        error));

    EXPECT_FALSE(withoutPlistEntries(bytes, "List of known networks", {keyOf(2, network("Gone"))},
                                     removed, error));
    EXPECT_NE(error.find("no longer"), std::string::npos);
}

TEST(PlistRewrite, ADictionaryOfEntriesLosesTheNamedKeysOnly) {
    PlistValue root = PlistValue::dict();
    root["wifi.network.ssid.Home"] = network("Home");
    root["wifi.network.ssid.Cafe"] = network("Cafe");
    root["wifi.network.ssid.Other"] = network("Other");
    std::size_t removed = 0;
    std::string error;
    const auto out = withoutPlistEntries(
        root.toXml(), "", {keyOf(-1, network("Cafe"), "wifi.network.ssid.Cafe")}, removed, error);
    ASSERT_TRUE(out) << error;
    EXPECT_EQ(removed, 1u);
    const auto left = PlistValue::parse(*out);
    EXPECT_TRUE(left->contains("wifi.network.ssid.Home"));
    EXPECT_FALSE(left->contains("wifi.network.ssid.Cafe"));
    EXPECT_TRUE(left->contains("wifi.network.ssid.Other"));
    // A key whose entry changed is refused.
    EXPECT_FALSE(withoutPlistEntries(root.toXml(), "",
                                     {keyOf(-1, network("Changed"), "wifi.network.ssid.Home")},
                                     removed, error));
}

TEST(PlistRewrite, HostileListsAreRefused) {
    std::size_t removed = 0;
    std::string error;
    const std::vector<ListEntryKey> one = {keyOf(0, network("Home"))};
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<array>";
    }
    const std::vector<std::string> hostile = {
        "",
        "not a property list",
        "bplist00\xff\xff\xff",
        PlistValue(PlistValue::Array{network("Home")}).toXml(),  // no dictionary
        [] {
            PlistValue root = PlistValue::dict();
            root["List of known networks"] = "a text, not a list";
            return root.toXml();
        }(),
        "<?xml version=\"1.0\"?><plist><dict><key>List of known networks</key>" + deep,
    };
    for (const std::string& bytes : hostile) {
        EXPECT_FALSE(withoutPlistEntries(bytes, "List of known networks", one, removed, error))
            << bytes.substr(0, 40);
        EXPECT_FALSE(error.empty());
    }
}

std::vector<std::string> cookieRecords() {
    std::vector<std::string> records;
    for (const char* name : {"units", "session", "prefs", "uid"}) {
        records.push_back(makeCookieRecord({.url = ".site.example",
                                            .name = name,
                                            .path = "/",
                                            .value = std::string(name) + "=1",
                                            .flags = 0,
                                            .expiry = 0,
                                            .creation = 0}));
    }
    return records;
}

ListEntryKey cookieKey(const BinaryCookieFile& file, std::size_t i) {
    return {static_cast<std::int64_t>(i), {}, file.cookies[i].digest()};
}

TEST(CookieRewrite, TheNamedCookiesGoTheOthersStayByteForByte) {
    const std::string trailer = PlistValue::dict().toXml();
    const std::string bytes = writeBinaryCookies(cookieRecords(), trailer);
    const BinaryCookieFile read = parseBinaryCookies(bytes);
    std::size_t removed = 0;
    std::string error;
    const auto out =
        withoutCookies(bytes, {cookieKey(read, 1), cookieKey(read, 3)}, removed, error);
    ASSERT_TRUE(out) << error;
    EXPECT_EQ(removed, 2u);
    const BinaryCookieFile left = parseBinaryCookies(*out);
    ASSERT_TRUE(left.complete()) << left.error;
    ASSERT_EQ(left.cookies.size(), 2u);
    EXPECT_EQ(left.cookies[0].record, read.cookies[0].record);
    EXPECT_EQ(left.cookies[1].record, read.cookies[2].record);
    EXPECT_EQ(left.trailer, trailer);
    EXPECT_EQ(*out, writeBinaryCookies({read.cookies[0].record, read.cookies[2].record}, trailer));

    // All of them: a file with one empty page.
    const auto none = withoutCookies(
        bytes, {cookieKey(read, 0), cookieKey(read, 1), cookieKey(read, 2), cookieKey(read, 3)},
        removed, error);
    ASSERT_TRUE(none) << error;
    EXPECT_TRUE(parseBinaryCookies(*none).complete());
    EXPECT_TRUE(parseBinaryCookies(*none).cookies.empty());
}

TEST(CookieRewrite, HostileCookieFilesNeverStallOrGuess) {
    const std::string good = writeBinaryCookies(cookieRecords());
    const BinaryCookieFile read = parseBinaryCookies(good);
    std::size_t removed = 0;
    std::string error;
    // Not a cookie file at all.
    for (const std::string& bytes :
         {std::string(), std::string("cook"), std::string("kooc\0\0\0\1", 8),
          std::string("cook\xff\xff\xff\xff", 8)}) {
        EXPECT_FALSE(withoutCookies(bytes, {cookieKey(read, 0)}, removed, error));
    }
    // A record whose size is 0: it is left out, the others are read and rewritten.
    std::string zeroSize = good;
    const std::size_t page = 12;
    const std::size_t first = page + 8 + 4 * 4 + 4;
    zeroSize[first] = zeroSize[first + 1] = zeroSize[first + 2] = zeroSize[first + 3] = '\0';
    const auto rewritten = withoutCookies(zeroSize, {cookieKey(read, 2)}, removed, error);
    ASSERT_TRUE(rewritten) << error;
    EXPECT_EQ(removed, 1u);
    const BinaryCookieFile left = parseBinaryCookies(*rewritten);
    ASSERT_EQ(left.cookies.size(), 2u);
    EXPECT_EQ(left.cookies[0].name, "session");
    EXPECT_EQ(left.cookies[1].name, "uid");
    // A cookie that is not in the file is not taken for another.
    EXPECT_FALSE(withoutCookies(zeroSize, {cookieKey(read, 0)}, removed, error));
    // A page table running past the end.
    std::string cut = good.substr(0, good.size() / 2);
    EXPECT_FALSE(withoutCookies(cut, {cookieKey(read, 3)}, removed, error));
}

const std::string& photo() {
    static const std::string jpeg = nimbara::simdev::makePhotoJpeg(40, 30, 5);
    return jpeg;
}

TEST(PhotoRewrite, ThePositionGoesAndThePictureStays) {
    for (bool bigEndian : {true, false}) {
        const std::string placed =
            nimbara::simdev::withGpsExif(photo(), {51.5, -0.12, 35.0}, bigEndian);
        ASSERT_TRUE(exifPosition(placed));
        std::string error;
        const auto out = withoutGpsPosition(placed, error);
        ASSERT_TRUE(out) << error;
        EXPECT_FALSE(exifPosition(*out));
        // Everything after the EXIF segment is the photo as it was.
        EXPECT_TRUE(out->ends_with(photo().substr(2)));
        const QImage image = QImage::fromData(QByteArray::fromStdString(*out));
        EXPECT_EQ(image.size(), QSize(40, 30));
    }
    // A photo without a position comes back as it was.
    std::string error;
    EXPECT_EQ(withoutGpsPosition(photo(), error), photo());
}

TEST(PhotoRewrite, AnXmpPacketNamingThePositionGoesWithIt) {
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
                            "<x:xmpmeta><rdf:Description exif:GPSLatitude=\"51,30.0N\" "
                            "exif:GPSLongitude=\"0,7.2W\"/></x:xmpmeta>";
    std::string segment("\xFF\xE1", 2);
    segment.push_back(static_cast<char>((xmp.size() + 2) >> 8));
    segment.push_back(static_cast<char>((xmp.size() + 2) & 0xFF));
    const std::string withXmp = photo().substr(0, 2) + segment + xmp + photo().substr(2);
    std::string error;
    const auto out = withoutGpsPosition(withXmp, error);
    ASSERT_TRUE(out) << error;
    EXPECT_EQ(*out, photo());
}

TEST(PhotoRewrite, DamagedOrForeignImagesAreRefused) {
    const std::string placed = nimbara::simdev::withGpsExif(photo(), {10, 10, {}});
    std::string error;
    EXPECT_FALSE(withoutGpsPosition(nimbara::simdev::makeAppIconPng("P", "p", 16), error));
    EXPECT_FALSE(withoutGpsPosition("", error));
    EXPECT_FALSE(withoutGpsPosition("\xFF\xD8\xFF", error));
    // A segment whose length runs past the end of the file.
    std::string overlong = placed;
    overlong[4] = '\x7F';
    overlong[5] = '\xFF';
    EXPECT_FALSE(withoutGpsPosition(overlong.substr(0, 200), error));
    // A segment length below its own two bytes.
    std::string tiny = placed;
    tiny[4] = '\0';
    tiny[5] = '\x01';
    EXPECT_FALSE(withoutGpsPosition(tiny, error));
    // Garbage after the start marker.
    EXPECT_FALSE(withoutGpsPosition(std::string("\xFF\xD8") + std::string(64, 'x'), error));
}

// An archived description as the device writes it: the file's record refers to its digest.
std::string archivedDescription(std::uint64_t size, bool digestByReference) {
    plist_t file = plist_new_dict();
    plist_dict_set_item(file, "Size", plist_new_uint(size));
    plist_dict_set_item(file, "Mode", plist_new_uint(0100644));
    plist_dict_set_item(file, "RelativePath", plist_new_uid(2));
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_array_append_item(objects, file);
    plist_array_append_item(objects, plist_new_string("Library/SMS/sms.db"));
    const char old[20] = {};
    if (digestByReference) {
        plist_dict_set_item(file, "Digest", plist_new_uid(3));
        plist_array_append_item(objects, plist_new_data(old, sizeof old));
    } else {
        plist_dict_set_item(file, "Digest", plist_new_data(old, sizeof old));
    }
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "$objects", objects);
    plist_dict_set_item(root, "$archiver", plist_new_string("NSKeyedArchiver"));
    char* out = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &out, &length);
    std::string bytes(out, length);
    plist_to_bin_free(out);
    plist_free(root);
    return bytes;
}

QByteArray digestIn(const std::string& blob) {
    plist_t root = nullptr;
    plist_from_memory(blob.data(), static_cast<uint32_t>(blob.size()), &root);
    plist_t objects = plist_dict_get_item(root, "$objects");
    plist_t digest = plist_dict_get_item(plist_array_get_item(objects, 1), "Digest");
    if (plist_get_node_type(digest) == PLIST_UID) {
        uint64_t ref = 0;
        plist_get_uid_val(digest, &ref);
        digest = plist_array_get_item(objects, static_cast<uint32_t>(ref));
    }
    uint64_t length = 0;
    const char* data = plist_get_data_ptr(digest, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    plist_free(root);
    return bytes;
}

TEST(FileListRow, TheDescriptionGetsTheNewSizeAndDigestAndKeepsItsReferences) {
    const QByteArray sha1 = sha1Of("new contents");
    for (bool byReference : {true, false}) {
        std::string error;
        const auto out = describedFile(archivedDescription(123456, byReference), 12, sha1, error);
        ASSERT_TRUE(out) << error;
        const nimbara::backup::FileDescription read = nimbara::backup::readFileDescription(*out);
        EXPECT_EQ(read.size, 12u);
        EXPECT_EQ(read.mode, 0100644u);
        EXPECT_EQ(digestIn(*out), sha1);
        // The reference to the path is still a reference.
        plist_t root = nullptr;
        plist_from_memory(out->data(), static_cast<uint32_t>(out->size()), &root);
        plist_t file = plist_array_get_item(plist_dict_get_item(root, "$objects"), 1);
        EXPECT_EQ(plist_get_node_type(plist_dict_get_item(file, "RelativePath")), PLIST_UID);
        plist_free(root);
    }
    // An XML description stays XML.
    PlistValue archive = PlistValue::dict();
    PlistValue file = PlistValue::dict();
    file["Size"] = 5;
    archive["$objects"] = PlistValue(PlistValue::Array{"$null", file});
    std::string error;
    const auto xml = describedFile(archive.toXml(), 9, sha1, error);
    ASSERT_TRUE(xml) << error;
    EXPECT_TRUE(xml->starts_with("<?xml"));
    EXPECT_EQ((*PlistValue::parse(*xml))["$objects"].toArray()[1]["Size"].toInt64(), 9);

    for (const std::string& hostile :
         {std::string(), std::string("bplist00"), PlistValue::dict().toXml(),
          PlistValue(PlistValue::Array{1, 2}).toXml(), std::string(70000, 'x')}) {
        EXPECT_FALSE(describedFile(hostile, 1, sha1, error)) << hostile.substr(0, 20);
    }
}

}  // namespace
