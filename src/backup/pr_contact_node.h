// One contact of an address book read from a backup or a device copy. Held by std::shared_ptr and
// handed from the readers to the pages; every accessor is thread-safe. Texts start empty (not
// null), the picture starts null, the row id -1 and both flags false.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <vector>

#include "platform/locked_value.h"

// One number or address of a contact with the label the address book gives it
// ("_$!<Mobile>!$_", "iPhone", a label of the user's own; empty when it has none).
struct PRContactValue {
    QString label;
    QString value;
    friend bool operator==(const PRContactValue&, const PRContactValue&) = default;
};

class PRContactNode {
  public:
    PRContactNode() = default;
    PRContactNode(const PRContactNode&) = delete;
    PRContactNode& operator=(const PRContactNode&) = delete;

    // the contact's row id in the address book
    int rowid() const { return rowid_.load(); }
    void setRowid(int value) { rowid_.store(value); }
    // full name
    QString contactName() const { return contactName_.get(); }
    void setContactName(const QString& value) { contactName_.set(value); }
    // phone numbers
    QString contactPhone() const { return contactPhone_.get(); }
    void setContactPhone(const QString& value) { contactPhone_.set(value); }
    // the phone numbers one by one, in the address book's order (contactPhone joins them)
    std::vector<PRContactValue> contactPhones() const { return contactPhones_.get(); }
    void setContactPhones(const std::vector<PRContactValue>& value) { contactPhones_.set(value); }
    // e-mail addresses
    QString contactEmail() const { return contactEmail_.get(); }
    void setContactEmail(const QString& value) { contactEmail_.set(value); }
    // the e-mail addresses one by one (contactEmail joins them)
    std::vector<PRContactValue> contactEmails() const { return contactEmails_.get(); }
    void setContactEmails(const std::vector<PRContactValue>& value) { contactEmails_.set(value); }
    // web addresses
    QString contactHomepage() const { return contactHomepage_.get(); }
    void setContactHomepage(const QString& value) { contactHomepage_.set(value); }
    // organisation and department
    QString contactCompany() const { return contactCompany_.get(); }
    void setContactCompany(const QString& value) { contactCompany_.set(value); }
    // birthday text
    QString contactBirthday() const { return contactBirthday_.get(); }
    void setContactBirthday(const QString& value) { contactBirthday_.set(value); }
    // job title
    QString contactJobtitle() const { return contactJobtitle_.get(); }
    void setContactJobtitle(const QString& value) { contactJobtitle_.set(value); }
    // note
    QString contactNote() const { return contactNote_.get(); }
    void setContactNote(const QString& value) { contactNote_.set(value); }
    // postal addresses
    QString contactAdress() const { return contactAdress_.get(); }
    void setContactAdress(const QString& value) { contactAdress_.set(value); }
    // the contact's picture; null when there is none
    QByteArray imageData() const { return imageData_.get(); }
    void setImageData(const QByteArray& value) { imageData_.set(value); }
    // the record comes from deleted rows
    bool bDeleted() const { return bDeleted_.load(); }
    void setBDeleted(bool value) { bDeleted_.store(value); }
    // ticked in a list; readers never set it
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }

  private:
    std::atomic<int> rowid_{-1};
    LockedValue<QString> contactName_{QLatin1String("")};
    LockedValue<QString> contactPhone_{QLatin1String("")};
    LockedValue<QString> contactEmail_{QLatin1String("")};
    LockedValue<std::vector<PRContactValue>> contactPhones_;
    LockedValue<std::vector<PRContactValue>> contactEmails_;
    LockedValue<QString> contactHomepage_{QLatin1String("")};
    LockedValue<QString> contactCompany_{QLatin1String("")};
    LockedValue<QString> contactBirthday_{QLatin1String("")};
    LockedValue<QString> contactJobtitle_{QLatin1String("")};
    LockedValue<QString> contactNote_{QLatin1String("")};
    LockedValue<QString> contactAdress_{QLatin1String("")};
    LockedValue<QByteArray> imageData_;
    std::atomic<bool> bDeleted_{false};
    std::atomic<bool> bSelected_{false};
};
