// Deleted messages: carved message rows of the layout with a `handle` table, their address from
// the live or carved handle row they name, their words from `text` or, where that is empty, from
// `attributedBody`, named from the contacts as the message reader names its messages.
#include <span>
#include <unordered_map>
#include <utility>

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

// The columns read, found once per table.
struct MessageColumns {
    explicit MessageColumns(DeletedRowSource& source)
        : text(columnIndex(source.table("message"), "text")),
          attributedBody(columnIndex(source.table("message"), "attributedBody")),
          hasAttachments(columnIndex(source.table("message"), "cache_has_attachments")),
          date(columnIndex(source.table("message"), "date")),
          isFromMe(columnIndex(source.table("message"), "is_from_me")),
          service(columnIndex(source.table("message"), "service")),
          handleId(columnIndex(source.table("message"), "handle_id")),
          handleAddress(columnIndex(source.table("handle"), "id")),
          handleService(columnIndex(source.table("handle"), "service")) {}
    int text, attributedBody, hasAttachments, date, isFromMe, service, handleId;
    int handleAddress, handleService;
};

// The message's words: its text, else the text archived in its attributed body.
QString wordsOf(const TableRow& row, const MessageColumns& columns) {
    if (const QString text = textOf(row.value(columns.text)); !text.isEmpty()) {
        return text;
    }
    const carver::Value* body = row.value(columns.attributedBody);
    if (body == nullptr || body->kind != carver::Value::Kind::Blob) {
        return {};
    }
    const auto decoded = attributedBodyText(
        std::span(reinterpret_cast<const std::uint8_t*>(body->bytes.data()), body->bytes.size()));
    return decoded ? QString::fromStdString(*decoded) : QString();
}

// The join of messages with their handles and their parties' names: each name is looked up once.
class MessageJoin {
  public:
    MessageJoin(DeletedRowSource& source, const ContactList& contacts)
        : source_(source),
          columns_(source),
          nameOf_(contactNameLookup(contacts)),
          contactCount_(contacts.size()) {}

    std::shared_ptr<PRMessageNode> messageOf(const TableRow& row) {
        auto node = std::make_shared<PRMessageNode>();
        if (row.rowid) {
            node->setRowId(static_cast<int>(*row.rowid));
        }
        if (const auto has = integerOf(row.value(columns_.hasAttachments))) {
            node->setIsHasAttach(*has != 0);
        }
        if (const QString words = wordsOf(row, columns_); !words.isEmpty()) {
            node->setMessageContent(words);
        }
        if (const auto date = numberOf(row.value(columns_.date))) {
            node->setMessageDate(recordDateText(referenceDateSeconds(*date)));
        }
        if (const auto fromMe = integerOf(row.value(columns_.isFromMe))) {
            node->setMessageType(directionOf(*fromMe));
        }
        QString service = textOf(row.value(columns_.service));
        if (const auto handleId = integerOf(row.value(columns_.handleId))) {
            node->setHandle_id(static_cast<int>(*handleId));
            // The handle row the message names: the live one, else a carved one.
            if (const TableRow* handle = source_.row("handle", *handleId)) {
                if (const QString address = textOf(handle->value(columns_.handleAddress));
                    !address.isEmpty()) {
                    node->setMessagePhone(address);
                }
                if (service.isEmpty()) {
                    service = textOf(handle->value(columns_.handleService));
                }
            }
        }
        if (!service.isEmpty()) {
            node->setBImessage(service != QLatin1String("SMS"));
        }
        if (!node->messagePhone().isEmpty()) {
            const auto& [name, picture] = partyOf(node->messagePhone());
            if (!name.isEmpty()) {
                node->setMessageName(name);
            }
            node->setContactImageData(name.isNull() ? QByteArray() : picture);
        }
        return node;
    }

  private:
    // The name and picture the contacts give an address.
    const std::pair<QString, QByteArray>& partyOf(const QString& address) {
        auto it = parties_.find(address);
        if (it == parties_.end()) {
            // A look-up compares the address with every contact.
            source_.budget().spend(contactCount_);
            QByteArray picture;
            QString name = nameOf_(address, picture);
            it = parties_.emplace(address, std::pair{std::move(name), std::move(picture)}).first;
        }
        return it->second;
    }

    DeletedRowSource& source_;
    const MessageColumns columns_;
    const MessageNameLookup nameOf_;
    const std::size_t contactCount_;
    std::unordered_map<QString, std::pair<QString, QByteArray>> parties_;
};

}  // namespace

std::size_t postDeletedMessages(FamilyRun& run) {
    DeletedPoster<PRMessageNode> poster(run.center, kScanDelMessageInfo);
    const carver::Table* message = run.source.table("message");
    // Only the layout with handles is read: the older one keeps its addresses elsewhere.
    if (message == nullptr || message->columnIndex("handle_id") < 0) {
        return 0;
    }
    MessageJoin join(run.source, run.inputs.contacts);
    for (const TableRow& row : run.source.carved("message")) {
        if (!run.goOn()) {
            break;
        }
        auto node = join.messageOf(row);
        if (node->messagePhone().isEmpty() && node->messageContent().isEmpty()) {
            continue;  // neither who nor what: nothing to show
        }
        poster.post(node, recordKey({node->messagePhone(), node->messageContent(),
                                     node->messageDate(), node->messageType()}));
    }
    return poster.posted();
}

}  // namespace nimbara::backup::deleted
