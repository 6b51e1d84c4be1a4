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

std::shared_ptr<PRContactNode> personOf(const TableRow& row) {
    auto node = std::make_shared<PRContactNode>();
    if (row.rowid && *row.rowid != 0) {
        node->setRowid(static_cast<int>(*row.rowid));
    }
    auto apply = [&row](const char* column, auto&& assign) {
        const QString value = textOf(row.value(column));
        if (!value.isEmpty()) {
            assign(value);
        }
    };
    apply("First", [&](const QString& v) { node->setContactName(v); });
    apply("Department", [&](const QString& v) { node->setContactCompany(v); });
    apply("JobTitle", [&](const QString& v) { node->setContactJobtitle(v); });
    apply("Organization", [&](const QString& v) {
        node->setContactCompany(joinedContactText(node->contactCompany(), v));
    });
    apply("Middle", [&](const QString& v) {
        node->setContactName(joinedContactText(node->contactName(), v));
    });
    apply("Last", [&](const QString& v) {
        node->setContactName(joinedContactText(node->contactName(), v));
    });
    apply("Note", [&](const QString& v) { node->setContactNote(v); });
    apply("Birthday", [&](const QString& v) { node->setContactBirthday(birthdayText(v)); });
    return node;
}

// The multi-value rows of person `rowid`, live and carved, in row-id order (rows whose id was not
// recovered last).
std::vector<TableRow> valuesOf(DeletedRowSource& source, std::int64_t rowid) {
    std::vector<TableRow> rows = source.liveRowsWhere("ABMultiValue", "record_id", rowid);
    for (const TableRow& row : source.carved("ABMultiValue")) {
        if (integerOf(row.value("record_id")) == rowid) {
            rows.push_back(row);
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TableRow& a, const TableRow& b) {
        return a.rowid.has_value() && (!b.rowid || *a.rowid < *b.rowid);
    });
    return rows;
}

void applyValues(PRContactNode& contact, const std::vector<TableRow>& rows,
                 const LabelTexts& labels) {
    ContactValues values(contact);
    for (const TableRow& row : rows) {
        const QString value = textOf(row.value("value"));
        if (!value.isEmpty()) {
            values.add(integerOf(row.value("property")).value_or(0),
                       labelOf(row.value("label"), labels), value);
        }
    }
}

}  // namespace

std::size_t postDeletedContacts(FamilyRun& run) {
    DeletedPoster<PRContactNode> poster(run.center, kScanDelContactInfo);
    const LabelTexts labels = readLabels(run.source);
    for (const TableRow& row : run.source.carved("ABPerson")) {
        if (stopped(run.stop)) {
            break;
        }
        auto contact = personOf(row);
        if (row.rowid) {
            applyValues(*contact, valuesOf(run.source, *row.rowid), labels);
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
