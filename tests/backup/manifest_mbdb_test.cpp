#include "backup/manifest_mbdb.h"
#include "backup/shah.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nimbara::backup;

namespace {

std::vector<MbdbRecord> sampleRecords() {
    MbdbRecord sms;
    sms.domain = "HomeDomain";
    sms.path = "Library/SMS/sms.db";
    sms.dataHash = std::string("\x01\x02\x03", 3);
    sms.mode = 0100644;
    sms.inode = 0x0102030405060708ull;
    sms.uid = 501;
    sms.gid = 501;
    sms.mtime = 1300000000;
    sms.atime = 1300000001;
    sms.ctime = 1300000002;
    sms.size = 123456;
    sms.protectionClass = 4;
    sms.properties = {{"com.apple.attr", "value"}, {"empty", ""}};

    MbdbRecord folder;
    folder.domain = "CameraRollDomain";
    folder.path = "Media/DCIM";
    folder.mode = 040755;

    MbdbRecord link;
    link.domain = "HomeDomain";
    link.path = "Library/link";
    link.linkTarget = "/var/mobile/target";
    link.mode = 0120777;
    return {sms, folder, link};
}

std::span<const std::uint8_t> bytesOf(const std::string& s, std::size_t length) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), length};
}

MbdbReadResult parse(const std::string& s) {
    return parseMbdb(bytesOf(s, s.size()));
}

}  // namespace

TEST(MbdbTest, RoundTripKeepsEveryField) {
    const auto records = sampleRecords();
    const MbdbReadResult result = parse(writeMbdb(records));
    ASSERT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.records.size(), 3u);
    const MbdbRecord& r = result.records[0];
    EXPECT_EQ(r.domain, "HomeDomain");
    EXPECT_EQ(r.path, "Library/SMS/sms.db");
    EXPECT_FALSE(r.linkTarget.has_value());
    EXPECT_EQ(r.dataHash, std::string("\x01\x02\x03", 3));
    EXPECT_FALSE(r.encryptionKey.has_value());
    EXPECT_EQ(r.mode, 0100644);
    EXPECT_EQ(r.inode, 0x0102030405060708ull);
    EXPECT_EQ(r.uid, 501u);
    EXPECT_EQ(r.mtime, 1300000000u);
    EXPECT_EQ(r.atime, 1300000001u);
    EXPECT_EQ(r.ctime, 1300000002u);
    EXPECT_EQ(r.size, 123456u);
    EXPECT_EQ(r.protectionClass, 4);
    ASSERT_EQ(r.properties.size(), 2u);
    EXPECT_EQ(r.properties[0].second, "value");
    EXPECT_EQ(r.properties[1].second, "");

    const BackupEntry entry = r.toEntry();
    EXPECT_EQ(entry.fileKey, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ(entry.size, 123456u);
    EXPECT_EQ(entry.modified, 1300000000);
    EXPECT_FALSE(entry.isDirectory);
    EXPECT_TRUE(result.records[1].isDirectory());
    EXPECT_TRUE(result.records[1].toEntry().isDirectory);
    EXPECT_TRUE(result.records[2].isSymlink());
    EXPECT_EQ(result.records[2].linkTarget, "/var/mobile/target");
}

TEST(MbdbTest, AbsentStringsAndRawBytes) {
    // header only: a valid, empty list
    const MbdbReadResult empty = parse(std::string("mbdb\x05\x00", 6));
    EXPECT_TRUE(empty.ok());
    EXPECT_TRUE(empty.records.empty());

    MbdbRecord noPath;
    noPath.domain = "MediaDomain";
    MbdbRecord raw;
    raw.domain = "HomeDomain";
    raw.path = std::string("Media/\xff\xfe.jpg");
    const MbdbReadResult result = parse(writeMbdb({noPath, raw}));
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_FALSE(result.records[0].path.has_value());
    // an absent path hashes the domain and the hyphen alone
    EXPECT_EQ(result.records[0].toEntry().fileKey, sha1Hex("MediaDomain-"));
    // bytes that are not UTF-8 are kept as they are, so the key matches the stored file
    EXPECT_EQ(result.records[1].path, raw.path);
    EXPECT_EQ(result.records[1].toEntry().fileKey, sha1Hex("HomeDomain-" + *raw.path));

    // a zero length is "no value" too
    std::string zeroLength("mbdb\x05\x00", 6);
    zeroLength += std::string("\x00\x00\x00\x00\xff\xff\xff\xff\xff\xff", 10);
    zeroLength += std::string(40, '\0');
    const MbdbReadResult zero = parse(zeroLength);
    ASSERT_TRUE(zero.ok()) << zero.error;
    ASSERT_EQ(zero.records.size(), 1u);
    EXPECT_FALSE(zero.records[0].domain.has_value());
}

TEST(MbdbTest, DamagedFilesGiveErrorsNotCrashes) {
    EXPECT_FALSE(parse("").ok());
    EXPECT_FALSE(parse("mbdb").ok());
    EXPECT_FALSE(parse(std::string("mbdb\x04\x00", 6)).ok());
    EXPECT_FALSE(parse(std::string("mbdx\x05\x00", 6)).ok());

    // a text length that runs past the end
    const MbdbReadResult pastEnd =
        parse(std::string("mbdb\x05\x00\x00\x10"
                          "ab",
                          10));
    EXPECT_FALSE(pastEnd.ok());
    EXPECT_TRUE(pastEnd.records.empty());

    // a property pair cut short after a count of 255
    std::string manyProperties = writeMbdb({sampleRecords()[1]});
    manyProperties.back() = '\xff';
    manyProperties += std::string("\x00\x01x", 3);
    EXPECT_FALSE(parse(manyProperties).ok());

    // every prefix of a valid file: complete records survive, a cut record is an error
    const std::string whole = writeMbdb(sampleRecords());
    const std::size_t firstEnd = writeMbdb({sampleRecords()[0]}).size();
    const std::size_t secondEnd = writeMbdb({sampleRecords()[0], sampleRecords()[1]}).size();
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        // a copy of exactly `length` bytes, so a read past it is caught by the sanitizers
        const std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + length);
        const MbdbReadResult r = parseMbdb(prefix);
        const bool boundary =
            length == 6 || length == firstEnd || length == secondEnd || length == whole.size();
        EXPECT_EQ(r.ok(), boundary) << "length " << length;
        const std::size_t expected = length >= whole.size() ? 3
                                     : length >= secondEnd  ? 2
                                     : length >= firstEnd   ? 1
                                                            : 0;
        EXPECT_EQ(r.records.size(), expected) << "length " << length;
    }
}

TEST(MbdbTest, ReadsFilesFromDisk) {
    nimbara::test::TempDir dir;
    EXPECT_FALSE(readMbdbFile((dir / "missing.mbdb").string()).ok());
    nimbara::test::writeText(dir / "Manifest.mbdb", writeMbdb(sampleRecords()));
    const MbdbReadResult r = readMbdbFile((dir / "Manifest.mbdb").string());
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.records.size(), 3u);
}

namespace {

MbdbRecord withProperties(std::size_t count) {
    MbdbRecord r = sampleRecords()[1];
    r.properties.assign(count, {std::string(), std::string()});
    return r;
}

}  // namespace

TEST(MbdbTest, ARecordWithMoreThanAHandfulOfPropertiesIsRefused) {
    // 255 empty properties: 1,020 bytes of file that once cost 17 times their size each.
    const MbdbReadResult refused =
        parse(writeMbdb({sampleRecords()[0], withProperties(255), sampleRecords()[2]}));
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.error.find("255 properties"), std::string::npos) << refused.error;
    EXPECT_NE(refused.error.find("record 2"), std::string::npos) << refused.error;
    ASSERT_EQ(refused.records.size(), 1u);  // the records before it are kept

    const MbdbReadResult atTheCap = parse(writeMbdb({withProperties(kMaxMbdbProperties)}));
    ASSERT_TRUE(atTheCap.ok()) << atTheCap.error;
    EXPECT_EQ(atTheCap.records[0].properties.size(), kMaxMbdbProperties);
    EXPECT_FALSE(parse(writeMbdb({withProperties(kMaxMbdbProperties + 1)})).ok());
}

TEST(MbdbTest, RecordsAreHandedOnOneByOneAndAStopEndsTheRead) {
    const std::string bytes = writeMbdb(sampleRecords());
    std::vector<std::string> paths;
    const EntryStreamResult all = streamMbdb(bytesOf(bytes, bytes.size()), [&](MbdbRecord&& r) {
        paths.push_back(r.path.value_or(""));
        return true;
    });
    EXPECT_TRUE(all.ok()) << all.error;
    EXPECT_FALSE(all.stopped);
    EXPECT_EQ(all.entries, 3u);
    EXPECT_EQ(paths,
              (std::vector<std::string>{"Library/SMS/sms.db", "Media/DCIM", "Library/link"}));

    int seen = 0;
    const EntryStreamResult stopped =
        streamMbdb(bytesOf(bytes, bytes.size()), [&](MbdbRecord&&) { return ++seen < 2; });
    EXPECT_TRUE(stopped.stopped);
    EXPECT_TRUE(stopped.ok());
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(stopped.entries, 2u);
}

TEST(MbdbTest, AFileIsReadInBlocksWithTheSameRecordsAsInMemory) {
    // Far more than one block, with texts that straddle the block ends.
    std::vector<MbdbRecord> records;
    for (int i = 0; i < 3000; ++i) {
        MbdbRecord r = sampleRecords()[i % 3];
        r.path =
            "Media/" + std::string(static_cast<std::size_t>(50 + i % 700), 'p') + std::to_string(i);
        r.size = static_cast<std::uint64_t>(i);
        records.push_back(r);
    }
    const std::string bytes = writeMbdb(records);
    ASSERT_GT(bytes.size(), 3u * 256 * 1024);
    nimbara::test::TempDir dir;
    nimbara::test::writeText(dir / "Manifest.mbdb", bytes);
    const MbdbReadResult fromFile = readMbdbFile((dir / "Manifest.mbdb").string());
    const MbdbReadResult fromMemory = parse(bytes);
    ASSERT_TRUE(fromFile.ok()) << fromFile.error;
    ASSERT_EQ(fromFile.records.size(), records.size());
    ASSERT_EQ(fromMemory.records.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(fromFile.records[i].path, records[i].path) << i;
        EXPECT_EQ(fromFile.records[i].size, records[i].size) << i;
        EXPECT_EQ(fromFile.records[i].properties, fromMemory.records[i].properties) << i;
    }
    // A file cut inside its last record: the same records and error as in memory.
    nimbara::test::writeText(dir / "cut.mbdb", bytes.substr(0, bytes.size() - 5));
    const MbdbReadResult cutFile = readMbdbFile((dir / "cut.mbdb").string());
    const MbdbReadResult cutMemory = parse(bytes.substr(0, bytes.size() - 5));
    EXPECT_FALSE(cutFile.ok());
    EXPECT_EQ(cutFile.records.size(), records.size() - 1);
    EXPECT_EQ(cutMemory.records.size(), records.size() - 1);
    EXPECT_NE(cutFile.error.find(cutMemory.error), std::string::npos)
        << cutFile.error << " / " << cutMemory.error;
}
