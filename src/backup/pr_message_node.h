// One text message. Held by std::shared_ptr; every accessor is thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QByteArray>
#include <QString>

#include <atomic>

class PRMessageNode {
  public:
    PRMessageNode() = default;
    PRMessageNode(const PRMessageNode&) = delete;
    PRMessageNode& operator=(const PRMessageNode&) = delete;

    // contact name of the other party
    QString messageName() const { return messageName_.get(); }
    void setMessageName(const QString& value) { messageName_.set(value); }
    // the other party's address (phone number or e-mail)
    QString messagePhone() const { return messagePhone_.get(); }
    void setMessagePhone(const QString& value) { messagePhone_.set(value); }
    // message text
    QString messageContent() const { return messageContent_.get(); }
    void setMessageContent(const QString& value) { messageContent_.set(value); }
    // date as display text
    QString messageDate() const { return messageDate_.get(); }
    void setMessageDate(const QString& value) { messageDate_.set(value); }
    // "Send", "Received" or "unknown"
    QString messageType() const { return messageType_.get(); }
    void setMessageType(const QString& value) { messageType_.set(value); }
    // sent through the messaging service rather than as SMS
    bool bImessage() const { return bImessage_.load(); }
    void setBImessage(bool value) { bImessage_.store(value); }
    // ticked in a list; readers never set it
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }
    // the record comes from deleted rows
    bool bDeleted() const { return bDeleted_.load(); }
    void setBDeleted(bool value) { bDeleted_.store(value); }
    // address row of the message
    int handle_id() const { return handle_id_.load(); }
    void setHandle_id(int value) { handle_id_.store(value); }
    // the message has an attachment
    bool isHasAttach() const { return isHasAttach_.load(); }
    void setIsHasAttach(bool value) { isHasAttach_.store(value); }
    // backup file that holds the attachment; null when none
    QString attachmentPath() const { return attachmentPath_.get(); }
    void setAttachmentPath(const QString& value) { attachmentPath_.set(value); }
    // the attachment's type text; null when none
    QString attachType() const { return attachType_.get(); }
    void setAttachType(const QString& value) { attachType_.set(value); }
    // message row id
    int rowId() const { return rowId_.load(); }
    void setRowId(int value) { rowId_.store(value); }
    // picture of the other party; null when none
    QByteArray contactImageData() const { return contactImageData_.get(); }
    void setContactImageData(const QByteArray& value) { contactImageData_.set(value); }

  private:
    LockedValue<QString> messageName_{QLatin1String("")};
    LockedValue<QString> messagePhone_{QLatin1String("")};
    LockedValue<QString> messageContent_{QLatin1String("")};
    LockedValue<QString> messageDate_{QLatin1String("")};
    LockedValue<QString> messageType_{QLatin1String("")};
    std::atomic<bool> bImessage_{false};
    std::atomic<bool> bSelected_{false};
    std::atomic<bool> bDeleted_{false};
    std::atomic<int> handle_id_{-1};
    std::atomic<bool> isHasAttach_{false};
    LockedValue<QString> attachmentPath_;
    LockedValue<QString> attachType_;
    std::atomic<int> rowId_{-1};
    LockedValue<QByteArray> contactImageData_;
};
