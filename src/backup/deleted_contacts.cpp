// Deleted contacts: carved person rows, with their numbers and addresses from the live and the
// carved multi-value rows that name them, filled in as the contact reader fills its contacts.
#include <algorithm>
#include <unordered_map>

#include "backup/deleted_families.h"
#include "backup/pr_contact_node.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"

namespace nimbara::backup::deleted {

const std::vector<CarvedTable> kContactTables = {{"ABPerson", "guid"}, {"ABMultiValue", "guid"}};

namespace {

using LabelTexts = std::unordered_map<std::int64_t, QString>;

// The labels of the multi-values by row id; none when the table is missing or not a table.
LabelTexts readLabels(DeletedRowSource& source) {
    LabelTexts labels;
    SqliteDb* db = source.liveDatabase();
    if (db == nullptr || db->objectKind("ABMultiValueLabel") != SqliteDb::ObjectKind::Table) {
        return labels;
    }
    SqliteStatement st = db->prepare("SELECT rowid, value FROM ABMultiValueLabel");
    while (st.valid() && st.step()) {
        labels.emplace(st.columnInt64(0), st.columnText(1));
    }
    return labels;
}

// A value's label: the label row it names, or the text itself where it is kept as text.
QString labelOf(const carver::Value* label, const LabelTexts& labels) {
    if (label == nullptr) {
        return {};
    }
    if (label->kind == carver::Value::Kind::Text) {
        bool number = false;
        const qint64 id = textOf(label).toLongLong(&number);
        if (!number) {
            return textOf(label);
        }
        const auto it = labels.find(id);
        return it == labels.end() ? QString() : it->second;
    }
    const auto id = integerOf(label);
    const auto it = id ? labels.find(*id) : labels.end();
    return it == labels.end() ? QString() : it->second;
}

// The columns read, found once per table.
struct PersonColumns {
    explicit PersonColumns(const carver::Table* person)
        : first(columnIndex(person, "First")),
          department(columnIndex(person, "Department")),
          jobTitle(columnIndex(person, "JobTitle")),
          organization(columnIndex(person, "Organization")),
          middle(columnIndex(person, "Middle")),
          last(columnIndex(person, "Last")),
          note(columnIndex(person, "Note")),
          birthday(columnIndex(person, "Birthday")) {}
    int first, department, jobTitle, organization, middle, last, note, birthday;
};

struct ValueColumns {
    explicit ValueColumns(const carver::Table* values)
        : recordId(columnIndex(values, "record_id")),
          property(columnIndex(values, "property")),
          label(columnIndex(values, "label")),
          value(columnIndex(values, "value")) {}
    int recordId, property, label, value;
};

std::shared_ptr<PRContactNode> personOf(const TableRow& row, const PersonColumns& columns) {
    auto node = std::make_shared<PRContactNode>();
    if (row.rowid && *row.rowid != 0) {
        node->setRowid(static_cast<int>(*row.rowid));
    }
    auto apply = [&row](int column, auto&& assign) {
        const QString value = textOf(row.value(column));
        if (!value.isEmpty()) {
            assign(value);
        }
    };
    apply(columns.first, [&](const QString& v) { node->setContactName(v); });
    apply(columns.department, [&](const QString& v) { node->setContactCompany(v); });
    apply(columns.jobTitle, [&](const QString& v) { node->setContactJobtitle(v); });
    apply(columns.organization, [&](const QString& v) {
        node->setContactCompany(joinedContactText(node->contactCompany(), v));
    });
    apply(columns.middle, [&](const QString& v) {
        node->setContactName(joinedContactText(node->contactName(), v));
    });
    apply(columns.last, [&](const QString& v) {
        node->setContactName(joinedContactText(node->contactName(), v));
    });
    apply(columns.note, [&](const QString& v) { node->setContactNote(v); });
    apply(columns.birthday, [&](const QString& v) { node->setContactBirthday(birthdayText(v)); });
    return node;
}

// The join of people with their multi-value rows, live and carved: the carved rows are filed by
// the person they name once.
class ValueJoin {
  public:
    explicit ValueJoin(FamilyRun& run)
        : run_(run), columns_(run.source.table("ABMultiValue")), labels_(readLabels(run.source)) {}

    // Files the carved rows; false when the stop or the budget ended it.
    bool fileCarved() {
        for (const TableRow& row : run_.source.carved("ABMultiValue")) {
            if (!run_.goOn()) {
                return false;
            }
            if (const auto person = integerOf(row.value(columns_.recordId))) {
                carvedOf_[*person].push_back(&row);
            }
        }
        return true;
    }

    // Fills the contact with the values of person `rowid`, in row-id order (rows whose id was not
    // recovered last); false when the stop or the budget ended it.
    bool apply(PRContactNode& contact, std::int64_t rowid) {
        std::vector<const TableRow*> rows =
            run_.source.liveRowsWhere("ABMultiValue", "record_id", rowid);
        if (const auto carved = carvedOf_.find(rowid); carved != carvedOf_.end()) {
            rows.insert(rows.end(), carved->second.begin(), carved->second.end());
        }
        if (!run_.goOn(rows.size())) {
            return false;
        }
        std::stable_sort(rows.begin(), rows.end(), [](const TableRow* a, const TableRow* b) {
            return a->rowid.has_value() && (!b->rowid || *a->rowid < *b->rowid);
        });
        ContactValues values(contact);
        for (const TableRow* row : rows) {
            const QString value = textOf(row->value(columns_.value));
            if (!value.isEmpty()) {
                values.add(integerOf(row->value(columns_.property)).value_or(0),
                           labelOf(row->value(columns_.label), labels_), value);
            }
        }
        return true;
    }

  private:
    FamilyRun& run_;
    const ValueColumns columns_;
    const LabelTexts labels_;
    std::unordered_map<std::int64_t, std::vector<const TableRow*>> carvedOf_;
};

}  // namespace

std::size_t postDeletedContacts(FamilyRun& run) {
    DeletedPoster<PRContactNode> poster(run.center, kScanDelContactInfo);
    const PersonColumns columns(run.source.table("ABPerson"));
    ValueJoin values(run);
    if (!values.fileCarved()) {
        return poster.posted();
    }
    for (const TableRow& row : run.source.carved("ABPerson")) {
        if (!run.goOn()) {
            break;
        }
        auto contact = personOf(row, columns);
        if (row.rowid && !values.apply(*contact, *row.rowid)) {
            break;
        }
        const QString key = recordKey(
            {contact->contactName(), contact->contactPhone(), contact->contactEmail(),
             contact->contactCompany(), contact->contactJobtitle(), contact->contactNote(),
             contact->contactBirthday(), contact->contactAdress(), contact->contactHomepage()});
        if (key == recordKey({{}, {}, {}, {}, {}, {}, {}, {}, {}})) {
            continue;  // nothing of the person was recovered
        }
        poster.post(contact, key);
    }
    return poster.posted();
}

}  // namespace nimbara::backup::deleted
