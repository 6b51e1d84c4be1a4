// Deleted messages: carved message rows of the layout with a `handle` table, their address from
// the live or carved handle row they name, their words from `text` or, where that is empty, from
// `attributedBody`, named from the contacts as the message reader names its messages.
#include <span>

#include "backup/attributed_body.h"
#include "backup/deleted_families.h"
#include "backup/message_reader.h"
#include "backup/pr_message_node.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"

namespace nimbara::backup::deleted {

const std::vector<CarvedTable> kMessageTables = {{"message", "guid"}, {"handle"}};

namespace {

QString directionOf(std::int64_t isFromMe) {
    return isFromMe == 0   ? QStringLiteral("Received")
           : isFromMe == 1 ? QStringLiteral("Send")
                           : QStringLiteral("unknown");
}

// The message's words: its text, else the text archived in its attributed body.
QString wordsOf(const TableRow& row) {
    if (const QString text = textOf(row.value("text")); !text.isEmpty()) {
        return text;
    }
    const carver::Value* body = row.value("attributedBody");
    if (body == nullptr || body->kind != carver::Value::Kind::Blob) {
        return {};
    }
    const auto decoded = attributedBodyText(
        std::span(reinterpret_cast<const std::uint8_t*>(body->bytes.data()), body->bytes.size()));
    return decoded ? QString::fromStdString(*decoded) : QString();
}

// The handle row a message names: the live one, else a carved one.
std::optional<TableRow> handleOf(DeletedRowSource& source, std::int64_t handleId) {
    if (auto live = source.liveRow("handle", handleId)) {
        return live;
    }
    if (const TableRow* carved = source.carvedRow("handle", handleId)) {
        return *carved;
    }
    return std::nullopt;
}

std::shared_ptr<PRMessageNode> messageOf(const TableRow& row, DeletedRowSource& source,
                                         const MessageNameLookup& nameOf) {
    auto node = std::make_shared<PRMessageNode>();
    if (row.rowid) {
        node->setRowId(static_cast<int>(*row.rowid));
    }
    if (const auto has = integerOf(row.value("cache_has_attachments"))) {
        node->setIsHasAttach(*has != 0);
    }
    if (const QString words = wordsOf(row); !words.isEmpty()) {
        node->setMessageContent(words);
    }
    if (const auto date = numberOf(row.value("date"))) {
        node->setMessageDate(recordDateText(referenceDateSeconds(*date)));
    }
    if (const auto fromMe = integerOf(row.value("is_from_me"))) {
        node->setMessageType(directionOf(*fromMe));
    }
    QString service = textOf(row.value("service"));
    if (const auto handleId = integerOf(row.value("handle_id"))) {
        node->setHandle_id(static_cast<int>(*handleId));
        if (const auto handle = handleOf(source, *handleId)) {
            if (const QString address = textOf(handle->value("id")); !address.isEmpty()) {
                node->setMessagePhone(address);
            }
            if (service.isEmpty()) {
                service = textOf(handle->value("service"));
            }
        }
    }
    if (!service.isEmpty()) {
        node->setBImessage(service != QLatin1String("SMS"));
    }
    if (nameOf && !node->messagePhone().isEmpty()) {
        QByteArray picture;
        const QString name = nameOf(node->messagePhone(), picture);
        if (!name.isEmpty()) {
            node->setMessageName(name);
        }
        node->setContactImageData(name.isNull() ? QByteArray() : picture);
    }
    return node;
}

}  // namespace

std::size_t postDeletedMessages(FamilyRun& run) {
    DeletedPoster<PRMessageNode> poster(run.center, kScanDelMessageInfo);
    const carver::Table* message = run.source.table("message");
    // Only the layout with handles is read: the older one keeps its addresses elsewhere.
    if (message == nullptr || message->columnIndex("handle_id") < 0) {
        return 0;
    }
    const MessageNameLookup nameOf = contactNameLookup(run.inputs.contacts);
    for (const TableRow& row : run.source.carved("message")) {
        if (stopped(run.stop)) {
            break;
        }
        auto node = messageOf(row, run.source, nameOf);
        if (node->messagePhone().isEmpty() && node->messageContent().isEmpty()) {
            continue;  // neither who nor what: nothing to show
        }
        poster.post(node, recordKey({node->messagePhone(), node->messageContent(),
                                     node->messageDate(), node->messageType()}));
    }
    return poster.posted();
}

}  // namespace nimbara::backup::deleted
