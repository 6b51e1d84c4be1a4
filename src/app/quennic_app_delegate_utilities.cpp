// The hub's size, file-kind, date and contact helpers: thin forwards to the shell's shared
// conversions, kept on the hub because every page reaches them through it.
#include "app/quennic_app_delegate.h"
#include "backup/pr_contact_node.h"
#include "ui/core/text_utilities.h"

QString QuennicAppDelegate::size_to_unit(std::uint64_t bytes) {
    return nimbara::shell::size_to_unit(bytes);
}

std::uint64_t QuennicAppDelegate::sizeFormString(const QString& text) {
    return nimbara::shell::sizeFormString(text);
}

int QuennicAppDelegate::GetImageType(const char* extension) {
    return nimbara::shell::GetImageType(extension);
}

int QuennicAppDelegate::GetViedoType(const char* extension) {
    return nimbara::shell::GetViedoType(extension);
}

int QuennicAppDelegate::GetAudioType(const char* extension) {
    return nimbara::shell::GetAudioType(extension);
}

QString QuennicAppDelegate::GetStringFormChar(const char* text) const {
    return nimbara::shell::GetStringFormChar(text);
}

std::optional<std::u32string> QuennicAppDelegate::GetDateTime(std::int64_t seconds,
                                                              int fileType) const {
    return nimbara::shell::GetDateTime(seconds, fileType);
}

QString QuennicAppDelegate::GetNSStringDate(const std::optional<std::u32string>& text) const {
    return nimbara::shell::GetNSStringDate(text);
}

QString QuennicAppDelegate::GetPhoneDate(std::int64_t value) const {
    return nimbara::shell::GetPhoneDate(value);
}

QString QuennicAppDelegate::getCallHistoryDate(int milliseconds) const {
    return nimbara::shell::getCallHistoryDate(milliseconds);
}

QString QuennicAppDelegate::getCallHistoryDuration(int seconds) const {
    return nimbara::shell::getCallHistoryDuration(seconds);
}

std::vector<std::shared_ptr<PRContactNode>> QuennicAppDelegate::contactArray() const {
    std::lock_guard<std::mutex> lock(contactMutex_);
    return contactArray_;
}

void QuennicAppDelegate::setContactArray(std::vector<std::shared_ptr<PRContactNode>> contacts) {
    std::lock_guard<std::mutex> lock(contactMutex_);
    contactArray_ = std::move(contacts);
}

// The look-ups search under the list's lock rather than copy the list for every number.
QString QuennicAppDelegate::getNameByPhoneNumber(const QString& phone, const QByteArray&) {
    QByteArray picture = messageContactData();
    QString name;
    {
        std::lock_guard<std::mutex> lock(contactMutex_);
        name = nimbara::shell::getNameByPhoneNumber(phone, contactArray_, picture);
    }
    if (!name.isNull()) {
        setMessageContactData(picture);
    }
    return name;
}

QString QuennicAppDelegate::getTransNameByPhoneNumber(const QString& phone, const QByteArray&) {
    QByteArray picture = messageContactData();
    const QString name =
        nimbara::shell::getTransNameByPhoneNumber(phone, transContactArray_, picture);
    if (!name.isNull()) {
        setMessageContactData(picture);
    }
    return name;
}

QString QuennicAppDelegate::getNameByPhoneNumber(const QString& phone) const {
    std::lock_guard<std::mutex> lock(contactMutex_);
    return nimbara::shell::getNameByPhoneNumber(phone, contactArray_);
}
