// The detail texts beside each record table: the exact wording per family, values inserted as
// they stand, and which labels a contact hides.
#include "browser/record_details.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_note_node.h"

namespace nimbara::browser {
namespace {

// Outlet, text and the widget shown or hidden, per line.
using Lines = std::vector<std::pair<std::string, QString>>;
using Shown = std::vector<std::pair<std::string, bool>>;

Lines texts(const std::vector<DetailLine>& lines) {
    Lines out;
    for (const DetailLine& line : lines) {
        out.emplace_back(line.outlet, line.text);
    }
    return out;
}

Shown shown(const std::vector<DetailLine>& lines) {
    Shown out;
    for (const DetailLine& line : lines) {
        out.emplace_back(line.shownWidget(), line.shown);
    }
    return out;
}

TEST(RecordDetailsTest, AContactHidesTheLabelsOfEmptyFieldsAndAnEmptyNote) {
    PRContactNode ann;
    ann.setContactName(QStringLiteral("Ann Lee"));
    ann.setContactPhone(QStringLiteral("+1 415 555 0188"));
    ann.setContactJobtitle(QStringLiteral("Pilot"));
    const auto lines = contactDetails(ann);
    EXPECT_EQ(texts(lines), (Lines{{"contactNamelab", "Ann Lee"},
                                   {"contactPhonelab", "Phone: +1 415 555 0188"},
                                   {"contactEmaillab", "Email: "},
                                   {"contactHomePagelab", "HomePage: "},
                                   {"contactCompanylab", "Company: "},
                                   {"contactJobTitlelab", "JobTitle: Pilot"},
                                   {"contactBirthdaylab", "Birthday: "},
                                   {"contactNotelab", "Note: "}}));
    // The note is a text view: its scroll view is what is hidden.
    EXPECT_EQ(shown(lines), (Shown{{"contactNamelab", true},
                                   {"contactPhonelab", true},
                                   {"contactEmaillab", false},
                                   {"contactHomePagelab", false},
                                   {"contactCompanylab", false},
                                   {"contactJobTitlelab", true},
                                   {"contactBirthdaylab", false},
                                   {"contactNoteScrollView", false}}));

    PRContactNode noName;
    noName.setContactEmail(QStringLiteral("x@example.org"));
    noName.setContactHomepage(QStringLiteral("h"));
    noName.setContactCompany(QStringLiteral("c"));
    noName.setContactBirthday(QStringLiteral("b"));
    noName.setContactNote(QStringLiteral("gate code 1234"));
    EXPECT_EQ(shown(contactDetails(noName)), (Shown{{"contactNamelab", false},
                                                    {"contactPhonelab", false},
                                                    {"contactEmaillab", true},
                                                    {"contactHomePagelab", true},
                                                    {"contactCompanylab", true},
                                                    {"contactJobTitlelab", false},
                                                    {"contactBirthdaylab", true},
                                                    {"contactNoteScrollView", true}}));
    EXPECT_EQ(contactDetails(noName).back().text, QStringLiteral("Note: gate code 1234"));
}

// Every other family shows every line, empty or not, in its own wording; texts from a backup go
// in as they stand ("%1" or "%@" in them is no place holder).
TEST(RecordDetailsTest, EachFamilyHasItsWordingAndShowsEveryLine) {
    PRMessageNode m;
    m.setMessageName(QStringLiteral("Bob %1"));
    m.setMessagePhone(QStringLiteral("%@"));
    m.setMessageType(QStringLiteral("Received"));
    m.setMessageContent(QStringLiteral("see you"));
    const auto message = messageDetails(m);
    EXPECT_EQ(texts(message), (Lines{{"messageNamelab", "Name: Bob %1"},
                                     {"messagePhonelab", "Phone: %@"},
                                     {"messageTypelab", "Type: Received"},
                                     {"messageDatelab", "Date: "},
                                     {"messageConteView", "see you"},
                                     {"messageContentlab", "Message: \n\nsee you"}}));
    EXPECT_EQ(shown(message)[4], (std::pair<std::string, bool>{"messageScrollView", true}));

    PRCallHistoryNode c;
    c.setCallPhone(QStringLiteral("5550100"));
    c.setCallType(QStringLiteral("Incoming"));
    c.setCallDuration(QStringLiteral("Missed"));
    c.setCallDate(QStringLiteral("12-31-2022 23:59"));
    EXPECT_EQ(texts(callHistoryDetails(c)), (Lines{{"callNamelab", "Name: "},
                                                   {"callPhonelab", "Phone: 5550100"},
                                                   {"callTypelab", "Type: Incoming"},
                                                   {"callTimelab", "Duration: Missed"},
                                                   {"callDatelab", "Date: 12-31-2022 23:59"}}));

    PRNoteNode n;
    n.setNoteTitle(QStringLiteral("Shopping"));
    n.setNoteContent(QStringLiteral("milk"));
    const auto note = noteDetails(n);
    EXPECT_EQ(texts(note), (Lines{{"noteTitlelab", "Title: Shopping"},
                                  {"noteDatelab", "Date: "},
                                  {"noteContentView", "milk"},
                                  {"noteContentlab", "Note: milk"}}));
    EXPECT_EQ(shown(note)[2], (std::pair<std::string, bool>{"noteScrollView", true}));

    PRBookMarkNode b;
    b.setBookMarkTitle(QStringLiteral("News"));
    b.setBookMarkURL(QStringLiteral("https://example.org/"));
    EXPECT_EQ(texts(bookMarkDetails(b)),
              (Lines{{"bookMarkTitlelab", "Title: \nNews"},
                     {"bookMarkURLlab", "URL: \nhttps://example.org/"}}));

    PRCalenderNode e;
    e.setCalTitle(QStringLiteral("Dentist"));
    e.setStartDate(QStringLiteral("s"));
    e.setEndDate(QStringLiteral("e"));
    EXPECT_EQ(texts(calenderDetails(e)), (Lines{{"calTitlelab", "Title: \nDentist"},
                                                {"calNotelab", "Note: \n"},
                                                {"calStartDatelab", "Start Date: s"},
                                                {"calEndDatelab", "Start End: e"}}));

    for (const auto& lines :
         {message, callHistoryDetails(c), note, bookMarkDetails(b), calenderDetails(e)}) {
        for (const DetailLine& line : lines) {
            EXPECT_TRUE(line.shown) << line.outlet;
        }
    }
}

TEST(RecordDetailsTest, ASocialAppFileShowsItsPictureOrTheOpenButton) {
    PRFaceTwitterNode f;
    f.setFaceTwitterFileName(QStringLiteral("avatar.png"));
    f.setFileSize(QStringLiteral("12.50KB"));
    const auto picture = faceTwitterDetails(f, true);
    EXPECT_EQ(texts(picture), (Lines{{"faceTwitterFileNamelab", "Name: avatar.png"},
                                     {"faceTwitterFileSizelab", "Size: 12.50KB"},
                                     {"faceTwitterShowImageView", ""},
                                     {"previewBtn", ""}}));
    EXPECT_EQ(shown(picture), (Shown{{"faceTwitterFileNamelab", true},
                                     {"faceTwitterFileSizelab", true},
                                     {"faceTwitterShowImageView", true},
                                     {"previewBtn", false}}));
    const auto other = shown(faceTwitterDetails(f, false));
    EXPECT_FALSE(other[2].second);
    EXPECT_TRUE(other[3].second);
}

}  // namespace
}  // namespace nimbara::browser
