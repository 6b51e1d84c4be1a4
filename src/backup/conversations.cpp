#include "backup/conversations.h"

#include <QHash>

#include "platform/log_categories.h"

namespace nimbara::backup {

namespace {

bool containsText(const QString& text, const QString& part) {
    return !part.isEmpty() && text.contains(part, Qt::CaseInsensitive);
}

QString withoutBlanks(const QString& text) {
    QString out = text;
    out.remove(u' ');
    return out;
}

}  // namespace

bool conversationAddressMatches(const QString& address, const QString& phone) {
    if (phone.size() < address.size()) {
        return containsText(address, phone);
    }
    return containsText(phone, address) || phone.compare(address, Qt::CaseInsensitive) == 0;
}

QString deletedMessageAddress(const QString& phone) {
    return withoutBlanks(phone).size() <= 2 ? QStringLiteral("Unknown") : phone;
}

std::size_t ConversationGrouping::KeyHash::operator()(const Key& key) const {
    return qHashMulti(0, std::get<0>(key), std::get<1>(key), std::get<2>(key));
}

ConversationGrouping::Conversation ConversationGrouping::findOrOpen(const Message& message,
                                                                    const QString& phone,
                                                                    bool deletedOnly) {
    auto& found = deletedOnly ? foundDeleted_ : found_;
    const auto known = found.find(phone);
    if (known != found.end()) {
        const Conversation& conversation = conversations_[known->second];
        conversation->addMessageNode(message);
        return conversation;
    }
    for (std::size_t i = 0; i < conversations_.size(); ++i) {
        const Conversation& conversation = conversations_[i];
        // A conversation passed over costs a step, one compared the characters compared.
        const bool passedOver = deletedOnly && !conversation->bdeleted();
        const std::uint64_t cost =
            passedOver ? 1
                       : static_cast<std::uint64_t>(conversation->messageTreeNodeAdress().size() +
                                                    phone.size());
        if (cost > walkAllowance_) {
            if (!walksCut_) {
                walksCut_ = true;
                qCInfo(lcBackup,
                       "Messages: so many addresses that later ones are grouped only with their "
                       "own spelling");
            }
            break;
        }
        walkAllowance_ -= cost;
        if (passedOver) {
            continue;
        }
        if (conversationAddressMatches(conversation->messageTreeNodeAdress(), phone)) {
            found.emplace(phone, i);
            conversation->addMessageNode(message);
            return conversation;
        }
    }
    auto conversation = std::make_shared<PRMessageTreeNode>();
    conversation->setBdeleted(deletedOnly);
    conversation->setMessageTreeNodeName(message->messageName());
    conversation->setMessageTreeNodeAdress(deletedOnly ? deletedMessageAddress(phone) : phone);
    conversation->addMessageNode(message);
    found.emplace(phone, conversations_.size());
    conversations_.push_back(conversation);
    return conversation;
}

ConversationGrouping::Conversation ConversationGrouping::addMessage(const Message& message) {
    if (!message) {
        return nullptr;
    }
    messages_.push_back(message);
    listed_.insert({message->messagePhone(), message->messageContent(), message->messageDate()});
    ++messageCount_;
    walkAllowance_ += kWalkAllowancePerMessage;
    return findOrOpen(message, message->messagePhone(), false);
}

ConversationGrouping::Conversation ConversationGrouping::addDeletedMessage(const Message& message) {
    if (!message) {
        return nullptr;
    }
    if (message->messagePhone().isEmpty() && message->messageContent().isEmpty()) {
        return nullptr;
    }
    if (withoutBlanks(message->messagePhone()).size() <= 2) {
        message->setMessagePhone(QStringLiteral("Unknown"));
    }
    const Key key{message->messagePhone(), message->messageContent(), message->messageDate()};
    if (listed_.contains(key)) {
        return nullptr;
    }
    walkAllowance_ += kWalkAllowancePerMessage;
    Conversation conversation = findOrOpen(message, message->messagePhone(), true);
    message->setBDeleted(true);
    messages_.push_back(message);
    listed_.insert(key);
    ++deletedCount_;
    return conversation;
}

void ConversationGrouping::clear() {
    messages_.clear();
    conversations_.clear();
    found_.clear();
    foundDeleted_.clear();
    listed_.clear();
    messageCount_ = 0;
    deletedCount_ = 0;
    walkAllowance_ = kWalkAllowanceAtStart;
    walksCut_ = false;
}

}  // namespace nimbara::backup
