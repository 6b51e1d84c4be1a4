// The result page's search field: the shown category's list narrowed as the text is typed.
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>

#include "browser/pages/pr_result_view_controller.h"
#include "ui/fonts.h"

namespace nb = nimbara::browser;

namespace {

nb::SearchFamily searchFamilyOf(int row) {
    switch (row) {
        case PRResultViewController::kMessages:
            return nb::SearchFamily::Conversations;
        case PRResultViewController::kContacts:
            return nb::SearchFamily::Contacts;
        case PRResultViewController::kNotes:
            return nb::SearchFamily::Notes;
        case PRResultViewController::kCalls:
            return nb::SearchFamily::Calls;
        case PRResultViewController::kCalendar:
            return nb::SearchFamily::Calendar;
        default:
            return nb::SearchFamily::None;
    }
}

// What the field searches by, in its empty field.
QString searchPrompt(nb::SearchFamily family) {
    switch (family) {
        case nb::SearchFamily::Conversations:
            return QStringLiteral("Search name or address");
        case nb::SearchFamily::Contacts:
        case nb::SearchFamily::Calls:
            return QStringLiteral("Search name or phone");
        case nb::SearchFamily::Notes:
            return QStringLiteral("Search title or text");
        case nb::SearchFamily::Calendar:
            return QStringLiteral("Search title or note");
        case nb::SearchFamily::None:
            break;
    }
    return QStringLiteral("Search");
}

}  // namespace

QLineEdit* PRResultViewController::buildSearchField(QWidget* parent) {
    searchlab = new QLineEdit(parent);
    searchlab->setObjectName(QStringLiteral("searchlab"));
    searchlab->setFont(nimbara::ui::appFont(11));
    searchlab->setClearButtonEnabled(true);
    searchlab->setFixedWidth(200);  // as wide as the categories
    searchlab->setPlaceholderText(searchPrompt(nb::SearchFamily::None));
    searchlab->setEnabled(false);
    connect(searchlab, &QLineEdit::textChanged, this, [this] { actSearch(searchlab); });
    return searchlab;
}

void PRResultViewController::prepareSearchFor(int row) {
    search_.restore(records_);
    if (!searchlab) {
        return;
    }
    showConversationCount();
    const QSignalBlocker quiet(searchlab);
    searchlab->clear();
    const nb::SearchFamily family = searchFamilyOf(row);
    const bool searchable =
        family != nb::SearchFamily::None && scanFinished_ && categoryReadable_[row];
    searchlab->setEnabled(searchable);
    searchlab->setPlaceholderText(searchPrompt(searchable ? family : nb::SearchFamily::None));
}

void PRResultViewController::actSearch(QObject*) {
    const int row = categoryList ? categoryList->currentRow() : -1;
    nb::CategoryTable* shown = category(row);
    if (shown && searchlab->isEnabled()) {
        search_.search(*shown, searchFamilyOf(row), records_, searchlab->text());
        showConversationCount();
    }
}
