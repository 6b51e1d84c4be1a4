#include "backup/shah.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using nimbara::backup::fileKey;
using nimbara::backup::sha1Hex;
using nimbara::backup::SHAH;

TEST(ShahTest, MatchesStandardVectors) {
    EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    // padding edges: 55, 56 and 64 bytes cross the length field boundary differently
    EXPECT_EQ(sha1Hex(std::string(55, 'a')), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
    EXPECT_EQ(sha1Hex(std::string(56, 'a')), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
    EXPECT_EQ(sha1Hex(std::string(64, 'a')), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
}

TEST(ShahTest, FeedingInPiecesAndResetting) {
    SHAH hash;
    hash.input("a");
    hash.input(std::uint8_t{'b'});
    hash.input("c", 1);
    hash.input(nullptr, 0);  // nothing
    SHAH::Digest digest{};
    ASSERT_TRUE(hash.finish(digest));
    std::string text;
    ASSERT_TRUE(nimbara::backup::digestToHexString(digest, text));
    EXPECT_EQ(text, "a9993e364706816aba3e25717850c26c9cd0d89d");

    // finishing twice gives the same digest; input afterwards corrupts until reset
    SHAH::Digest again{};
    ASSERT_TRUE(hash.finish(again));
    EXPECT_EQ(again, digest);
    hash.input("x");
    EXPECT_TRUE(hash.corrupted());
    EXPECT_FALSE(hash.finish(again));

    hash.reset();
    EXPECT_FALSE(hash.corrupted());
    hash.input("abc");
    ASSERT_TRUE(hash.finish(again));
    EXPECT_EQ(again, digest);
}

TEST(ShahTest, FileKeysOfKnownPaths) {
    EXPECT_EQ(fileKey("HomeDomain", "Library/SMS/sms.db"),
              "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ(fileKey("HomeDomain", "Library/SMS/sms.db"),
              sha1Hex("HomeDomain-Library/SMS/sms.db"));
    // an absent path still hashes the domain and the hyphen
    EXPECT_EQ(fileKey("MediaDomain", ""), sha1Hex("MediaDomain-"));
    EXPECT_NE(fileKey("HomeDomain", "a"), fileKey("HomeDomai", "na"));
}

TEST(ShahTest, AMessageBeyondTheLengthLimitIsRefusedUnread) {
    // More than 2^64 bits cannot be hashed: the object is corrupted before a byte is read.
    const char one = 'a';
    SHAH hash;
    hash.input(&one, std::numeric_limits<std::size_t>::max());
    EXPECT_TRUE(hash.corrupted());
    SHAH::Digest digest{};
    EXPECT_FALSE(hash.finish(digest));
    hash.reset();
    hash.input(&one, 1);
    ASSERT_TRUE(hash.finish(digest));
    std::string text;
    ASSERT_TRUE(nimbara::backup::digestToHexString(digest, text));
    EXPECT_EQ(text, "86f7e437faa5a7fce15d1ddcb9eaeaea377667b8");
}
