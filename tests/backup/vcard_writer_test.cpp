// Contact cards read back with a vCard reader: valid 3.0 with FN and a structured N, escaped
// values, folded lines that keep every character whole, CR LF after every line; and one file per
// contact even when names repeat or are hostile.
#include "backup/pr_contact_node.h"
#include "backup/writers/pr_vcf_controller.h"

#include "export_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::test::folderNames;
using nimbara::test::parseVCard;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::VCard;

TEST(VCardWriterTest, AFullContactReadsBackFieldByField) {
    PRContactNode contact;
    contact.setContactName(QStringLiteral("Anna Maria Berg"));
    contact.setContactCompany(QStringLiteral("Berg, Son; and \\Co"));
    contact.setContactJobtitle(QStringLiteral("Chef"));
    contact.setContactEmail(QStringLiteral("anna@example.org"));
    contact.setContactPhone(QStringLiteral("+46 70 123 45 67"));
    contact.setContactAdress(QStringLiteral("Storgatan 1\r\n111 22 Stockholm"));
    contact.setContactHomepage(QStringLiteral("https://example.org/a,b"));
    contact.setContactNote(QStringLiteral("line one\nline two\rline three"));

    const std::string text = vCardText(contact);
    const VCard card = parseVCard(text);
    ASSERT_TRUE(card.error.empty()) << card.error << "\n" << text;
    EXPECT_EQ(text.substr(text.size() - 11), "END:VCARD\r\n");
    EXPECT_EQ(card.find("FN")->value(), "Anna Maria Berg");
    EXPECT_EQ(card.find("N")->components,
              (std::vector<std::string>{"Berg", "Anna", "Maria", "", ""}));
    // ORG is one component: its ";" was escaped, not taken as a separator.
    EXPECT_EQ(card.find("ORG")->components, std::vector<std::string>{"Berg, Son; and \\Co"});
    EXPECT_EQ(card.find("TITLE")->value(), "Chef");
    EXPECT_EQ(card.find("EMAIL")->value(), "anna@example.org");
    EXPECT_EQ(card.find("EMAIL")->params, "TYPE=INTERNET,HOME,PREF");
    EXPECT_EQ(card.find("TEL")->value(), "+46 70 123 45 67");
    EXPECT_EQ(card.find("ADR")->components.at(2), "Storgatan 1\n111 22 Stockholm");
    EXPECT_EQ(card.find("URL")->value(), "https://example.org/a,b");
    EXPECT_EQ(card.find("NOTE")->value(), "line one\nline two\nline three");
    EXPECT_EQ(card.find("PHOTO"), nullptr);
}

// Every number and address is a line of its own, its label as the TYPE, the first preferred.
TEST(VCardWriterTest, EachNumberAndAddressIsALineWithItsLabelAsType) {
    PRContactNode contact;
    contact.setContactName(QStringLiteral("Mom"));
    contact.setContactPhone(QStringLiteral(" +1 (707) 555-0119 +1 (707) 555-0177"));
    contact.setContactPhones(
        {{QStringLiteral("_$!<Mobile>!$_"), QStringLiteral("+1 (707) 555-0119")},
         {QStringLiteral("_$!<Work>!$_"), QStringLiteral("+1 (707) 555-0177")},
         {QStringLiteral("_$!<HomeFAX>!$_"), QStringLiteral("555-0100")},
         {QStringLiteral("iPhone"), QStringLiteral("555-0101")},
         {QString(), QStringLiteral("555-0102")},
         {QStringLiteral("Boat; deck 2"), QStringLiteral("555-0103")},
         {QStringLiteral("_$!<Other>!$_"), QStringLiteral(" ")}});
    contact.setContactEmails({{QStringLiteral("_$!<Home>!$_"), QStringLiteral("mom@example.org")},
                              {QStringLiteral("_$!<Work>!$_"), QStringLiteral("m@work.example")},
                              {QString(), QStringLiteral("m@else.example")}});
    const VCard card = parseVCard(vCardText(contact));
    ASSERT_TRUE(card.error.empty()) << card.error;
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& p : card.properties) {
        if (p.name == "TEL" || p.name == "EMAIL") {
            lines.emplace_back(p.name + ";" + p.params, p.value());
        }
    }
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"EMAIL;TYPE=INTERNET,HOME,PREF", "mom@example.org"},
        {"EMAIL;TYPE=INTERNET,WORK", "m@work.example"},
        {"EMAIL;TYPE=INTERNET", "m@else.example"},
        {"TEL;TYPE=CELL,PREF", "+1 (707) 555-0119"},
        {"TEL;TYPE=WORK", "+1 (707) 555-0177"},
        {"TEL;TYPE=HOME,FAX", "555-0100"},
        {"TEL;TYPE=IPHONE", "555-0101"},
        {"TEL;", "555-0102"},
        {"TEL;TYPE=BOATDECK2", "555-0103"},
    };
    EXPECT_EQ(lines, expected);
}

TEST(VCardWriterTest, LongValuesAreFoldedWithoutSplittingACharacter) {
    PRContactNode contact;
    // Three-byte and four-byte characters at every possible offset of the fold.
    QString note;
    for (int i = 0; i < 60; ++i) {
        note += QString::fromUtf8(i % 2 ? "\xE4\xB8\xAD" : "\xF0\x9F\x98\x80");
        note += QString(i % 3, QLatin1Char('x'));
    }
    contact.setContactName(QString::fromUtf8("\xC3\x85sa ") + QString(200, QLatin1Char('L')));
    contact.setContactNote(note);
    contact.setImageData(QByteArray(3000, '\x7f'));
    const std::string text = vCardText(contact);
    const VCard card = parseVCard(text);  // checks 75 bytes and whole characters per line
    ASSERT_TRUE(card.error.empty()) << card.error;
    EXPECT_EQ(QString::fromStdString(card.find("NOTE")->value()), note);
    EXPECT_EQ(card.find("N")->components.at(0), std::string(200, 'L'));
    EXPECT_EQ(card.find("PHOTO")->value(), QByteArray(3000, '\x7f').toBase64().toStdString());
    EXPECT_EQ(card.find("PHOTO")->params, "ENCODING=b;TYPE=JPEG");
}

TEST(VCardWriterTest, NamelessContactsAndEmptyFields) {
    // No name at all: FN falls back on the company, then the phone, and N stays structured.
    PRContactNode company;
    company.setContactCompany(QStringLiteral("ACME"));
    company.setImageData(QByteArray("\x89PNG\r\n", 6));
    VCard card = parseVCard(vCardText(company));
    ASSERT_TRUE(card.error.empty()) << card.error;
    EXPECT_EQ(card.find("FN")->value(), "ACME");
    EXPECT_EQ(card.find("N")->components, std::vector<std::string>(5));
    EXPECT_EQ(card.find("PHOTO")->params, "ENCODING=b;TYPE=PNG");
    // Empty fields are left out rather than written empty, an empty picture too.
    EXPECT_EQ(card.find("EMAIL"), nullptr);
    EXPECT_EQ(card.find("TEL"), nullptr);

    PRContactNode nobody;
    nobody.setImageData(QByteArray(""));
    card = parseVCard(vCardText(nobody));
    ASSERT_TRUE(card.error.empty()) << card.error;
    EXPECT_EQ(card.find("FN")->value(), "Unknown");
    EXPECT_EQ(card.find("PHOTO"), nullptr);
}

TEST(VCardWriterTest, TwoContactsOfOneNameAndHostileNamesEachGetTheirOwnFile) {
    TempDir dir;
    const fs::path folder = dir / "Contact";
    fs::create_directories(folder);
    struct Person {
        const char* name;
        const char* company;
        int rowid;
        const char* phone;
    };
    const std::vector<Person> people = {
        {"Anna", "", 1, "111"},        {"Anna", "", 2, "222"}, {"", "ACME", 3, "333"},
        {"", "", 17, "444"},           {"", "", -1, "555"},    {"../../x", "", 4, "666"},
        {"a/b", "", 5, "777"},         {".", "", 6, "888"},    {"..", "", 7, "999"},
        {"$(rm -rf ~)", "", 8, "000"},
    };
    std::vector<std::string> written;
    for (const Person& p : people) {
        PRContactNode contact;
        contact.setContactName(QString::fromUtf8(p.name));
        contact.setContactCompany(QString::fromUtf8(p.company));
        contact.setRowid(p.rowid);
        contact.setContactPhone(QString::fromUtf8(p.phone));
        PRVCFController writer;
        const ExportWriteResult result = writer.creatFile(contact, folder);
        ASSERT_TRUE(result.ok) << p.name << ": " << result.error;
        EXPECT_EQ(readText(result.path), writer.strContent());
        // Each file holds its own contact.
        const VCard card = parseVCard(readText(result.path));
        ASSERT_TRUE(card.error.empty()) << card.error;
        EXPECT_EQ(card.find("TEL")->value(), p.phone);
        written.push_back(result.path.filename().string());
    }
    EXPECT_EQ(written,
              (std::vector<std::string>{"Anna.vcf", "Anna (2).vcf", "ACME.vcf", "unknown 17.vcf",
                                        "unknown -1.vcf", "__._x.vcf", "a_b.vcf", "_.vcf",
                                        "_ (2).vcf", "$(rm -rf ~).vcf"}));
    EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"Contact"});
    EXPECT_EQ(folderNames(folder).size(), people.size());
}

TEST(VCardWriterTest, AnEarlierExportIsNeverReplaced) {
    TempDir dir;
    nimbara::test::writeText(dir / "Anna.vcf", "earlier");
    PRContactNode contact;
    contact.setContactName(QStringLiteral("Anna"));
    const ExportWriteResult result = writeContactVCard(contact, dir.path());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.path, dir / "Anna (2).vcf");
    EXPECT_EQ(readText(dir / "Anna.vcf"), "earlier");

    // A folder that isn't there is reported.
    const ExportWriteResult missing = writeContactVCard(contact, dir / "missing");
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.error.empty());
}

}  // namespace
