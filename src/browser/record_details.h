// The detail texts the result page shows beside a record table for the selected record: one line
// per label or text view, named by the widget's object name, with whether the widget is shown.
// The texts are plain (the page never reads them as markup); a value is inserted as it stands.
//
// Contacts hide each label whose field is empty and the note's scroll view when the note is
// empty; the other families show every line. Pictures are the page's: a contact's comes from its
// `imageData`, or the image named kContactPlaceholderImage when it has none.
#pragma once

#include <QString>

#include <vector>

class PRBookMarkNode;
class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRFaceTwitterNode;
class PRMessageNode;
class PRNoteNode;

namespace nimbara::browser {

struct DetailLine {
    // Object name of the label or text view that takes the text.
    const char* outlet;
    QString text;
    bool shown = true;
    // The view shown or hidden in the line's stead (the scroll view around a text view), or
    // null when that is the outlet itself.
    const char* holder = nullptr;

    // The widget whose visibility `shown` sets.
    const char* shownWidget() const { return holder != nullptr ? holder : outlet; }
};

// Shown in `contactImageView` for a contact without a picture.
inline constexpr const char* kContactPlaceholderImage = "contact";

std::vector<DetailLine> contactDetails(const PRContactNode& node);
std::vector<DetailLine> messageDetails(const PRMessageNode& node);
std::vector<DetailLine> callHistoryDetails(const PRCallHistoryNode& node);
std::vector<DetailLine> noteDetails(const PRNoteNode& node);
std::vector<DetailLine> bookMarkDetails(const PRBookMarkNode& node);
std::vector<DetailLine> calenderDetails(const PRCalenderNode& node);
// A social-app file: its name and size, and either the picture view (when the page could load
// the file as an image) or the button that opens the file. Text-less lines only say which of
// `faceTwitterShowImageView` and `previewBtn` is shown.
std::vector<DetailLine> faceTwitterDetails(const PRFaceTwitterNode& node, bool loadsAsImage);

}  // namespace nimbara::browser
