// One contact of an address book read from a backup or a device copy. Held by std::shared_ptr and
// handed from the readers to the pages; every accessor is thread-safe. Texts start empty (not
// null), the picture starts null, the row id -1 and both flags false.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>

class PRContactNode {
  public:
    PRContactNode();
    PRContactNode(const PRContactNode&) = delete;
    PRContactNode& operator=(const PRContactNode&) = delete;

    // the contact's row id in the address book
    int rowid() const { return rowid_.load(); }
    void setRowid(int value) { rowid_.store(value); }
    // full name
    QString contactName() const;
    void setContactName(const QString& value);
    // phone numbers
    QString contactPhone() const;
    void setContactPhone(const QString& value);
    // e-mail addresses
    QString contactEmail() const;
    void setContactEmail(const QString& value);
    // web addresses
    QString contactHomepage() const;
    void setContactHomepage(const QString& value);
    // organisation and department
    QString contactCompany() const;
    void setContactCompany(const QString& value);
    // birthday text
    QString contactBirthday() const;
    void setContactBirthday(const QString& value);
    // job title
    QString contactJobtitle() const;
    void setContactJobtitle(const QString& value);
    // note
    QString contactNote() const;
    void setContactNote(const QString& value);
    // postal addresses
    QString contactAdress() const;
    void setContactAdress(const QString& value);
    // the contact's picture; null when there is none
    QByteArray imageData() const;
    void setImageData(const QByteArray& value);
    // the record comes from deleted rows
    bool bDeleted() const { return bDeleted_.load(); }
    void setBDeleted(bool value) { bDeleted_.store(value); }
    // ticked in a list; readers never set it
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }

  private:
    QString get(const QString& field) const;
    void set(QString& field, const QString& value);

    mutable std::mutex mutex_;
    std::atomic<int> rowid_{-1};
    QString contactName_;
    QString contactPhone_;
    QString contactEmail_;
    QString contactHomepage_;
    QString contactCompany_;
    QString contactBirthday_;
    QString contactJobtitle_;
    QString contactNote_;
    QString contactAdress_;
    QByteArray imageData_;
    std::atomic<bool> bDeleted_{false};
    std::atomic<bool> bSelected_{false};
};
