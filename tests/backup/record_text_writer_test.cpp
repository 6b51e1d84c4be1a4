// The plain-text record lists: each family's labels in order, one empty line after each record
// and nowhere inside one, the family's file name, and a second export that never replaces the
// first.
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_note_node.h"
#include "backup/writers/pr_rtf_controller.h"
#include "backup/writers/record_formatters.h"

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
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

// The records of a list file: the text split at its empty lines.
std::vector<std::string> records(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find("\n\n", pos);
        if (end == std::string::npos) {
            out.push_back(text.substr(pos));
            break;
        }
        out.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return out;
}

TEST(RecordTextWriterTest, EachFamilyWritesItsLabelsInOrderUnderItsName) {
    TempDir dir;
    PRContactNode contact;
    contact.setContactName(QStringLiteral("Anna Berg"));
    contact.setContactPhone(QStringLiteral("+46 70 123"));
    contact.setContactEmail(QStringLiteral("anna@example.org"));
    contact.setContactCompany(QStringLiteral("Firma"));
    contact.setContactJobtitle(QStringLiteral("Chef"));
    contact.setContactHomepage(QStringLiteral("https://a.example"));
    contact.setContactBirthday(QStringLiteral("1980-02-03"));
    contact.setContactNote(QStringLiteral("n"));
    PRCallHistoryNode call;
    call.setCallName(QStringLiteral("Bo"));
    call.setCallPhone(QStringLiteral("555"));
    call.setCallDate(QStringLiteral("06-01-2021 10:00"));
    call.setCallType(QStringLiteral("Outgoing"));
    call.setCallDuration(QStringLiteral("00:01:05"));
    PRNoteNode note;
    note.setNoteTitle(QStringLiteral("T"));
    note.setNoteContent(QStringLiteral("body"));
    note.setNoteDate(QStringLiteral("d"));
    PRBookMarkNode bookmark;
    bookmark.setBookMarkTitle(QStringLiteral("abc"));
    bookmark.setBookMarkURL(QStringLiteral("x"));
    PRCalenderNode event;
    event.setCalTitle(QStringLiteral("Meet"));
    event.setCalNote(QStringLiteral("room 4"));
    event.setStartDate(QStringLiteral("s"));
    event.setEndDate(QStringLiteral("e"));
    PRMessageNode message;
    message.setMessageName(QStringLiteral("Cy"));
    message.setMessagePhone(QStringLiteral("777"));
    message.setMessageDate(QStringLiteral("d"));
    message.setMessageType(QStringLiteral("Received"));
    message.setMessageContent(QStringLiteral("hi"));

    struct Case {
        const char* type;
        std::function<void(PRRtfController&)> add;
        const char* file;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"Contact", [&](PRRtfController& r) { recoverContactNode(contact, r); }, "Contacts.txt",
         "Name:Anna Berg  Phone:+46 70 123  Email:anna@example.org  Company:Firma  JobTitle:Chef  "
         "Home Page:https://a.example  Birthday:1980-02-03  Note:n  \n\n"},
        {"CallHistory", [&](PRRtfController& r) { recoverCallHistoryNode(call, r); },
         "Call History.txt",
         "Name:Bo  Phone:555  Date:06-01-2021 10:00  Type:Outgoing  Duration:00:01:05  \n\n"},
        {"Note", [&](PRRtfController& r) { recoverNoteNode(note, r); }, "Notes.txt",
         "Title:T  Note:body  Date:d  \n\n"},
        {"BookMark", [&](PRRtfController& r) { recoverBookMarkNode(bookmark, r); }, "BookMark.txt",
         "Title:abc  URL:x  \n\n"},
        {"Calendar&Reminder", [&](PRRtfController& r) { recoverCalenderNode(event, r); },
         "Calendar&Reminder.txt", "Title:Meet  Note:room 4  Start Date:s  End Date:e  \n\n"},
        {"Message", [&](PRRtfController& r) { recoverMessageNode(message, r); }, "Messages.txt",
         "Name:Cy  Phone:777  Date:d  Type:Received  Content:hi  \n\n"},
    };
    for (const Case& c : cases) {
        const fs::path folder = dir / c.type;
        fs::create_directories(folder);
        PRRtfController rtf;
        c.add(rtf);
        const ExportWriteResult result = rtf.writeRtfInPath(folder, QString::fromUtf8(c.type));
        ASSERT_TRUE(result.ok) << c.type << ": " << result.error;
        EXPECT_EQ(result.path, folder / c.file);
        EXPECT_EQ(readText(folder / c.file), c.text) << c.type;
        EXPECT_EQ(folderNames(folder), std::vector<std::string>{c.file}) << c.type;
    }
}

TEST(RecordTextWriterTest, LineBreaksInValuesNeverEndARecord) {
    TempDir dir;
    PRRtfController rtf;
    PRNoteNode first;
    first.setNoteTitle(QStringLiteral("Shopping"));
    first.setNoteContent(QStringLiteral("milk\n\n\nbread\r\n\r\neggs\rjam\n"));
    first.setNoteDate(QStringLiteral("today"));
    PRNoteNode second;
    second.setNoteTitle(QStringLiteral("\nLeading break"));
    recoverNoteNode(first, rtf);
    recoverNoteNode(second, rtf);
    const ExportWriteResult result = rtf.writeRtfInPath(dir.path(), QStringLiteral("Note"));
    ASSERT_TRUE(result.ok) << result.error;
    const std::string text = readText(result.path);
    const std::vector<std::string> blocks = records(text);
    ASSERT_EQ(blocks.size(), 2u) << text;
    // Every line of the value is kept, in order; the empty ones hold one blank.
    EXPECT_EQ(blocks[0], "Title:Shopping  Note:milk\n \n \nbread\n \neggs\njam\n  Date:today  ");
    EXPECT_EQ(blocks[1], "Title:\nLeading break  Note:  Date:  ");
}

TEST(RecordTextWriterTest, ASecondExportIntoTheSameFolderKeepsBoth) {
    TempDir dir;
    writeText(dir / "TXT.txt", "someone else's file");
    for (const char* title : {"first", "second", "third"}) {
        PRRtfController rtf;
        PRBookMarkNode node;
        node.setBookMarkTitle(QString::fromUtf8(title));
        recoverBookMarkNode(node, rtf);
        ASSERT_TRUE(rtf.writeRtfInPath(dir.path(), QStringLiteral("BookMark")).ok);
    }
    EXPECT_EQ(folderNames(dir.path()),
              (std::vector<std::string>{"BookMark (2).txt", "BookMark (3).txt", "BookMark.txt",
                                        "TXT.txt"}));
    EXPECT_EQ(readText(dir / "BookMark.txt"), "Title:first  URL:  \n\n");
    EXPECT_EQ(readText(dir / "BookMark (2).txt"), "Title:second  URL:  \n\n");
    EXPECT_EQ(readText(dir / "TXT.txt"), "someone else's file");
}

TEST(RecordTextWriterTest, EmptyListsAndUnknownTypes) {
    TempDir dir;
    // No records still gives the family's (empty) file.
    PRRtfController empty;
    const ExportWriteResult result = empty.writeRtfInPath(dir.path(), QStringLiteral("Contact"));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.path, dir / "Contacts.txt");
    EXPECT_EQ(readText(result.path), "");
    // A type the table does not hold (a plural, another letter case) is written as TXT.txt.
    for (const char* type : {"Contacts", "note", ""}) {
        PRRtfController rtf;
        rtf.addRtfContent(QString::fromUtf8(type));
        EXPECT_TRUE(rtf.writeRtfInPath(dir.path(), QString::fromUtf8(type)).ok);
    }
    EXPECT_EQ(folderNames(dir.path()),
              (std::vector<std::string>{"Contacts.txt", "TXT (2).txt", "TXT (3).txt", "TXT.txt"}));
    EXPECT_EQ(readText(dir / "TXT.txt"), "Contacts\n\n");
}

TEST(RecordTextWriterTest, TheBrowsersContactExportCountsAndWritesEachVCardBeside) {
    TempDir dir;
    PRRtfController rtf;
    int counted = 0;
    RecordExportOptions options;
    options.counted = [&counted] { ++counted; };
    options.vCardFolder = dir.path();
    std::vector<fs::path> cards;
    for (const char* name : {"Anna", "Anna", "../etc/passwd"}) {
        PRContactNode contact;
        contact.setContactName(QString::fromUtf8(name));
        const auto card = recoverContactNode(contact, rtf, options);
        ASSERT_TRUE(card.has_value());
        ASSERT_TRUE(card->ok) << card->error;
        cards.push_back(card->path);
    }
    EXPECT_EQ(counted, 3);
    EXPECT_EQ(cards, (std::vector<fs::path>{dir / "Anna.vcf", dir / "Anna (2).vcf",
                                            dir / "__etc_passwd.vcf"}));
    ASSERT_TRUE(rtf.writeRtfInPath(dir.path(), QStringLiteral("Contact")).ok);
    EXPECT_EQ(records(readText(dir / "Contacts.txt")).size(), 3u);

    // The other pages count nothing and write no card.
    PRRtfController plain;
    PRContactNode contact;
    EXPECT_FALSE(recoverContactNode(contact, plain).has_value());
}

TEST(RecordTextWriterTest, AFailedListWriteIsReported) {
    TempDir dir;
    PRRtfController rtf;
    PRNoteNode note;
    note.setNoteContent(QString(20000, QLatin1Char('x')));
    recoverNoteNode(note, rtf);
    ExportWriteResult result;
    {
        nimbara::test::FileSizeLimit limit(1024);
        result = rtf.writeRtfInPath(dir.path(), QStringLiteral("Note"));
    }
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_TRUE(folderNames(dir.path()).empty());
}

}  // namespace
