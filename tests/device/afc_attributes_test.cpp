// Attribute reads as the walks take them: the kind and size out of one read follow the same
// rules as the full attribute map, whatever the device answers, and one read never shows what an
// earlier one answered.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/afc_file_ops.h"

namespace {

namespace md = nimbara::md;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// Answers every attribute read with the next scripted list (or a failure for an empty one).
class AttributeAfc : public md::AfcConnection {
  public:
    std::vector<Pairs> answers;

    int readDirectory(const std::string&, std::vector<std::string>&) override { return 1; }
    int fileInfo(const std::string&, Pairs& info) override {
        if (next_ >= answers.size() || answers[next_].empty()) {
            ++next_;
            info.clear();
            return md::AfcError::NotFound;
        }
        info = answers[next_++];
        return 0;
    }
    int openFile(const std::string&, int, std::unique_ptr<md::AfcFile>&) override { return 1; }
    int removePath(const std::string&) override { return 1; }
    int renamePath(const std::string&, const std::string&) override { return 1; }
    int makeDirectory(const std::string&) override { return 1; }
    int close() override { return 0; }

  private:
    std::size_t next_ = 0;
};

}  // namespace

TEST(AfcAttributes, KindAndSizeFollowTheRulesOfTheFullMap) {
    struct Case {
        const char* what;
        Pairs answer;
        std::string kind;
        std::uint64_t size;
    };
    const std::vector<Case> cases = {
        {"plain",
         {{"st_size", "5000"}, {"st_ifmt", "S_IFREG"}, {"st_mtime", "1"}},
         "S_IFREG",
         5000},
        {"cut off at an empty key",
         {{"st_ifmt", "S_IFDIR"}, {"", "x"}, {"st_size", "7"}},
         "S_IFDIR",
         0},
        {"cut off at an empty value", {{"st_size", ""}, {"st_ifmt", "S_IFREG"}}, "", 0},
        {"the first of a key counts",
         {{"st_size", "1"}, {"st_size", "2"}, {"st_ifmt", "S_IFLNK"}},
         "S_IFLNK",
         1},
        {"negative", {{"st_size", "-1"}, {"st_ifmt", "S_IFREG"}}, "S_IFREG", 0},
        {"trailing text", {{"st_size", "12abc"}}, "", 0},
        {"too large", {{"st_size", "99999999999999999999999"}}, "", 0},
        {"the largest", {{"st_size", "18446744073709551615"}}, "", 18446744073709551615ULL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AttributeAfc afc;
        afc.answers = {c.answer, c.answer};
        const auto lean = amd::afc::ReadFileKindAndSize(&afc, "/f");
        const auto full = amd::afc::ReadFileInfo(&afc, "/f");
        ASSERT_TRUE(lean.has_value());
        ASSERT_TRUE(full.has_value());
        EXPECT_EQ(lean->kind, c.kind);
        EXPECT_EQ(lean->size, c.size);
        EXPECT_EQ(full->count("st_ifmt") ? full->at("st_ifmt") : std::string(), c.kind);
        EXPECT_EQ(full->count("st_size") ? amd::afc::ParseFileSize(full->at("st_size")) : 0u,
                  c.size);
    }
}

TEST(AfcAttributes, AReadShowsOnlyItsOwnAnswer) {
    AttributeAfc afc;
    afc.answers = {
        {{"st_ifmt", "S_IFREG"}, {"st_size", "9"}, {"st_nlink", "1"}, {"st_blocks", "8"}},
        {{"st_ifmt", "S_IFDIR"}},
        {},
        {{"st_nlink", "2"}}};
    auto first = amd::afc::ReadFileInfo(&afc, "/a");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->size(), 4u);
    auto second = amd::afc::ReadFileKindAndSize(&afc, "/b");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->kind, "S_IFDIR");
    EXPECT_EQ(second->size, 0u) << "not the size of the read before";
    EXPECT_FALSE(amd::afc::ReadFileKindAndSize(&afc, "/missing").has_value());
    auto fourth = amd::afc::ReadFileInfo(&afc, "/c");
    ASSERT_TRUE(fourth.has_value());
    EXPECT_EQ(*fourth, (std::map<std::string, std::string>{{"st_nlink", "2"}}));

    EXPECT_FALSE(amd::afc::ReadFileKindAndSize(nullptr, "/a").has_value());
    EXPECT_FALSE(amd::afc::ReadFileInfo(nullptr, "/a").has_value());
}
