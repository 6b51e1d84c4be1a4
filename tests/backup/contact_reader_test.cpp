#include "backup/contact_reader.h"

#include "address_book_fixture.h"
#include "backup_snapshot.h"
#include "cost_bound.h"
#include "platform/notification_center.h"
#include "record_backup_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace nimbara;
using namespace nimbara::backup;
using nimbara::test::AddressBookFixture;
using nimbara::test::ContactImagesFixture;
using nimbara::test::folderSnapshot;
using nimbara::test::Posted;
using nimbara::test::TempDir;

namespace {

constexpr int kPhone = 3;
constexpr int kEmail = 4;
constexpr int kAddress = 5;
constexpr int kHomepage = 22;

class ContactReaderTest : public ::testing::Test {
  protected:
    fs::path book() const { return dir / "book.db"; }
    fs::path images() const { return dir / "images.db"; }

    // Two ordinary contacts, a contact stored with row id 0 and one without a first name.
    void writeSample() {
        AddressBookFixture ab(book());
        ab.addPerson({.rowid = 1,
                      .first = "Ann",
                      .middle = "B",
                      .last = "Cole",
                      .department = "Sales",
                      .organization = "Acme",
                      .note = "met at fair",
                      .birthday = "1980-02-03"});
        ab.addPerson({.rowid = 2, .last = "Dow", .organization = "Globex", .jobTitle = "CTO"});
        ab.addPerson({.rowid = 0, .first = "Zero"});
        ab.addPerson({.rowid = 3, .first = "", .last = ""});
        ab.addValue(1, kPhone, "111");
        ab.addValue(1, kEmail, "ann@example.org");
        ab.addValue(1, kPhone, "222");
        ab.addValue(1, kHomepage, "http://ann.example.org");
        ab.addValue(1, kAddress, "1 Main St");
        ab.addValue(1, 46, "ignored kind");
        ab.addValue(1, kPhone, "");
        ab.addValue(1, kEmail, nullptr);
        ab.addValue(0, kPhone, "000");
        ab.addValue(2, kEmail, "dow@example.org");
        ab.addValue(2, kEmail, "d@example.org");

        ContactImagesFixture img(images());
        img.addImage(1, QByteArray("old-picture"));
        img.addImage(2, QByteArray("\x89PNG\0\x01", 6));
        img.addImage(1, QByteArray("new-picture"));
    }

    TempDir dir;
};

TEST_F(ContactReaderTest, FillsFieldsFromPersonAndMultiValueRows) {
    writeSample();
    const ContactReadResult result = readContacts(book().string(), images().string());
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.contacts.size(), 4u);
    EXPECT_EQ(result.images.size(), 3u);

    // Person rows come in row id order, so the row-0 contact is first.
    const auto& ann = *result.contacts[1];
    EXPECT_EQ(ann.rowid(), 1);
    EXPECT_EQ(ann.contactName(), "Ann B Cole");
    EXPECT_EQ(ann.contactCompany(), "Sales Acme");
    EXPECT_EQ(ann.contactNote(), "met at fair");
    EXPECT_EQ(ann.contactBirthday(), "1980-02-03");
    // Values in row order, each after one blank; empty, null and unknown kinds skipped.
    EXPECT_EQ(ann.contactPhone(), " 111 222");
    EXPECT_EQ(ann.contactEmail(), " ann@example.org");
    EXPECT_EQ(ann.contactHomepage(), " http://ann.example.org");
    EXPECT_EQ(ann.contactAdress(), " 1 Main St");
    // The last picture of the contact wins.
    EXPECT_EQ(ann.imageData(), QByteArray("new-picture"));

    const auto& dow = *result.contacts[2];
    EXPECT_EQ(dow.contactName(), " Dow");
    // The job title is a field of its own, never part of the company.
    EXPECT_EQ(dow.contactCompany(), " Globex");
    EXPECT_EQ(dow.contactJobtitle(), "CTO");
    EXPECT_EQ(dow.contactEmail(), " dow@example.org d@example.org");
    EXPECT_TRUE(dow.contactPhone().isEmpty());
    EXPECT_EQ(dow.imageData(), QByteArray("\x89PNG\0\x01", 6));

    // Row id 0 stays -1: neither the multi-values nor a picture of row 0 reach it.
    const auto& zero = *result.contacts[0];
    EXPECT_EQ(zero.rowid(), -1);
    EXPECT_EQ(zero.contactName(), "Zero");
    EXPECT_TRUE(zero.contactPhone().isEmpty());
    EXPECT_TRUE(zero.imageData().isNull());

    // Empty texts change nothing; the fields stay empty rather than null.
    const auto& blank = *result.contacts[3];
    EXPECT_TRUE(blank.contactName().isEmpty());
    EXPECT_FALSE(blank.contactName().isNull());
    EXPECT_TRUE(blank.imageData().isNull());
    EXPECT_FALSE(blank.bDeleted());
    EXPECT_FALSE(blank.bSelected());
}

// Each number and address one by one, with its label, as the joined texts list them.
TEST_F(ContactReaderTest, NumbersAndAddressesComeOneByOneWithTheirLabels) {
    {
        AddressBookFixture ab(book());
        ab.labels({"_$!<Mobile>!$_", "_$!<Work>!$_", "iPhone"});
        ab.addPerson({.rowid = 1, .first = "Mom"});
        ab.addValue(1, kPhone, "+1 (707) 555-0119", 1);
        ab.addValue(1, kPhone, "+1 (707) 555-0177", 2);
        ab.addValue(1, kPhone, "", 3);
        ab.addValue(1, kEmail, "mom@example.org", 2);
        ab.addValue(1, kPhone, "+1 (707) 555-0100", 9);  // a label row that is not there
        ab.addValue(1, kPhone, "+1 (707) 555-0101", 3);
    }
    const ContactReadResult result = readContacts(book().string(), {});
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(result.contacts.size(), 1u);
    const PRContactNode& mom = *result.contacts[0];
    EXPECT_EQ(mom.contactPhones(),
              (std::vector<PRContactValue>{{"_$!<Mobile>!$_", "+1 (707) 555-0119"},
                                           {"_$!<Work>!$_", "+1 (707) 555-0177"},
                                           {"", "+1 (707) 555-0100"},
                                           {"iPhone", "+1 (707) 555-0101"}}));
    EXPECT_EQ(mom.contactEmails(),
              (std::vector<PRContactValue>{{"_$!<Work>!$_", "mom@example.org"}}));
    EXPECT_EQ(mom.contactPhone(),
              " +1 (707) 555-0119 +1 (707) 555-0177 +1 (707) 555-0100 +1 (707) 555-0101");
}

TEST_F(ContactReaderTest, PlainReaderPostsEachContactThenProgress) {
    writeSample();
    Posted rec(NotificationCenter::defaultCenter(),
               {kScanContactInfo, kScanProgressInfo, kScanTransferContactInfo,
                kScanTransferContactFinished});
    const ContactReadResult result = scanContacts(book().string(), images().string());
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(rec.names(),
              (std::vector<std::string>{kScanContactInfo, kScanContactInfo, kScanContactInfo,
                                        kScanContactInfo, kScanProgressInfo}));
    for (std::size_t i = 0; i < 4; ++i) {
        auto node = rec.seen[i].objectAs<std::shared_ptr<PRContactNode>>();
        ASSERT_TRUE(node);
        EXPECT_EQ(node, result.contacts[i]);
    }
    // The node is complete when it is posted.
    EXPECT_EQ(rec.seen[1].objectAs<std::shared_ptr<PRContactNode>>()->contactPhone(), " 111 222");
    EXPECT_EQ(rec.seen[4].objectAs<int>(-1), 40);
}

TEST_F(ContactReaderTest, CopyReaderPostsTransferNamesAndFinishes) {
    writeSample();
    Posted rec(NotificationCenter::defaultCenter(),
               {kScanContactInfo, kScanProgressInfo, kScanTransferContactInfo,
                kScanTransferContactFinished});
    const ContactReadResult result = scanTransferContacts(book().string(), images().string());
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(rec.seen.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rec.seen[i].name, kScanTransferContactInfo);
        EXPECT_EQ(rec.seen[i].objectAs<std::shared_ptr<PRContactNode>>(), result.contacts[i]);
    }
    EXPECT_EQ(rec.seen[4].name, kScanTransferContactFinished);
    EXPECT_FALSE(rec.seen[4].object.has_value());
}

TEST_F(ContactReaderTest, DamagedOrMissingDatabases) {
    {
        // No address book: an error and not a single notification.
        Posted rec(NotificationCenter::defaultCenter(),
                   {kScanContactInfo, kScanProgressInfo, kScanTransferContactFinished});
        EXPECT_FALSE(scanContacts((dir / "none.db").string(), "").ok);
        EXPECT_FALSE(scanTransferContacts("", "").ok);
        EXPECT_TRUE(rec.seen.empty());
    }
    {
        // Not a database at all.
        nimbara::test::writeText(dir / "junk.db", "this is not a database file at all......");
        const ContactReadResult r = readContacts((dir / "junk.db").string(), "");
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.error.empty());
        EXPECT_TRUE(r.contacts.empty());
    }
    {
        // A database without the person table: a clear error, the end still posted.
        nimbara::test::SqlFixture other(dir / "other.db");
        other.exec("CREATE TABLE unrelated (x)");
        Posted rec(NotificationCenter::defaultCenter(), {kScanProgressInfo});
        const ContactReadResult r = scanContacts((dir / "other.db").string(), "");
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("person"), std::string::npos) << r.error;
        EXPECT_EQ(rec.seen.size(), 1u);
    }
    {
        // People without a multi-value table and without pictures are still read.
        AddressBookFixture ab(dir / "bare.db", /*withMultiValues=*/false);
        ab.addPerson({.rowid = 5, .first = "Solo"});
        const ContactReadResult r = readContacts((dir / "bare.db").string(), images().string());
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.contacts.size(), 1u);
        EXPECT_EQ(r.contacts[0]->contactName(), "Solo");
        EXPECT_TRUE(r.contacts[0]->contactPhone().isEmpty());
        EXPECT_TRUE(r.contacts[0]->imageData().isNull());
        EXPECT_FALSE(r.imageError.empty());
    }
    {
        // An empty address book reads fine and still ends with the progress value.
        AddressBookFixture ab(dir / "empty.db");
        Posted rec(NotificationCenter::defaultCenter(), {kScanContactInfo, kScanProgressInfo});
        const ContactReadResult r = scanContacts((dir / "empty.db").string(), "");
        EXPECT_TRUE(r.ok);
        EXPECT_TRUE(r.contacts.empty());
        EXPECT_EQ(rec.names(), std::vector<std::string>{kScanProgressInfo});
    }
}

// An address book whose values have no index on record_id (a crafted one) is still read in time
// that grows with its size, not with people times values.
TEST_F(ContactReaderTest, ReadingTakesTimeInProportionToTheBookWithoutAnIndex) {
    auto write = [&](const fs::path& file, int people) {
        AddressBookFixture ab(file);
        ab.exec("BEGIN");
        for (int id = 1; id <= people; ++id) {
            const std::string phone = std::to_string(5550000 + id);
            ab.addPerson({.rowid = id, .first = "P"});
            ab.addValue(id, kPhone, phone.c_str());
            ab.addValue(id, kEmail, (phone + "@example.org").c_str());
        }
        ab.exec("COMMIT");
    };
    constexpr int kPeople = 3000;
    ContactReadResult large;  // the last read, of the larger book
    nimbara::test::expectCostFollowsSize(
        [&](int people) {
            const fs::path file = dir / (std::to_string(people) + ".db");
            write(file, people);
            return [&large, file] { large = readContacts(file.string(), ""); };
        },
        kPeople, false);
    ASSERT_TRUE(large.ok) << large.error;
    ASSERT_EQ(large.contacts.size(), 4u * kPeople);
    EXPECT_EQ(large.contacts.back()->contactPhone(), " " + QString::number(5550000 + 4 * kPeople));
}

TEST_F(ContactReaderTest, ReadsBackupFolderInEitherLayoutWithoutChangingIt) {
    writeSample();
    for (bool sharded : {false, true}) {
        TempDir backup;
        auto place = [&](const fs::path& from, const std::string& key) {
            fs::path to = sharded ? backup / key.substr(0, 2) / key : backup / key;
            fs::create_directories(to.parent_path());
            fs::copy_file(from, to);
        };
        place(book(), kAddressBookKey);
        place(images(), kContactImagesKey);
        const auto before = folderSnapshot(backup.path());

        Posted rec(NotificationCenter::defaultCenter(),
                   {kScanTransferContactInfo, kScanTransferContactFinished});
        const ContactReadResult r = scanTransferContactThread(backup.str());
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.contacts.size(), 4u);
        EXPECT_EQ(r.contacts[1]->imageData(), QByteArray("new-picture"));
        EXPECT_EQ(rec.seen.size(), 5u);
        // Byte-identical, and no journal or log files appeared beside the databases.
        EXPECT_EQ(folderSnapshot(backup.path()), before) << (sharded ? "sharded" : "flat");
    }
}

TEST_F(ContactReaderTest, BackupFolderWithoutAddressBookPostsNothing) {
    TempDir backup;
    Posted rec(NotificationCenter::defaultCenter(), {kScanContactInfo, kScanProgressInfo});
    EXPECT_EQ(scanContactThread(backup.str()).error, "contactDB is not exist");
    EXPECT_FALSE(scanContactThread("").ok);
    EXPECT_TRUE(rec.seen.empty());
    // Only 40-digit lower-case keys name a file, so a key never leaves the folder.
    EXPECT_EQ(backupFilePath(backup.str(), "../../etc/passwd"), "");
    EXPECT_EQ(backupFilePath(backup.str(), std::string(40, 'A')), "");
}

TEST(ContactLookupTest, MatchesTheMiddleOfTheShorterNumber) {
    auto make = [](const char* name, const char* phones) {
        auto c = std::make_shared<PRContactNode>();
        c->setContactName(name);
        c->setContactPhone(phones);
        return c;
    };
    const ContactList contacts = {make("Nobody", ""), make("Ann", " (555) 123-4567 999"),
                                  make("Bob", " +1 555 987 6543"), make("Short", " 12")};
    // Formatting characters are ignored on both sides.
    EXPECT_EQ(findContactByPhone(contacts, "+1-555-123-4567", true)->contactName(), "Ann");
    EXPECT_EQ(findContactByPhone(contacts, "5559876543", true)->contactName(), "Bob");
    EXPECT_EQ(findContactByPhone(contacts, "5550000000", true), nullptr);
    // A short number only matches when long matches are not required.
    EXPECT_EQ(findContactByPhone(contacts, "12", true), nullptr);
    EXPECT_EQ(findContactByPhone(contacts, "9999", false)->contactName(), "Ann");
    // An empty number matches nobody, and an empty list finds nothing.
    EXPECT_EQ(findContactByPhone(contacts, "", false), nullptr);
    EXPECT_EQ(findContactByPhone({}, "5551234567", false), nullptr);
}

}  // namespace
