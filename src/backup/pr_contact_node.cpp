#include "backup/pr_contact_node.h"

PRContactNode::PRContactNode()
    : contactName_(QLatin1String("")),
      contactPhone_(QLatin1String("")),
      contactEmail_(QLatin1String("")),
      contactHomepage_(QLatin1String("")),
      contactCompany_(QLatin1String("")),
      contactBirthday_(QLatin1String("")),
      contactJobtitle_(QLatin1String("")),
      contactNote_(QLatin1String("")),
      contactAdress_(QLatin1String("")) {}

QString PRContactNode::get(const QString& field) const {
    std::lock_guard lock(mutex_);
    return field;
}

void PRContactNode::set(QString& field, const QString& value) {
    std::lock_guard lock(mutex_);
    field = value;
}

QString PRContactNode::contactName() const {
    return get(contactName_);
}
void PRContactNode::setContactName(const QString& value) {
    set(contactName_, value);
}
QString PRContactNode::contactPhone() const {
    return get(contactPhone_);
}
void PRContactNode::setContactPhone(const QString& value) {
    set(contactPhone_, value);
}
QString PRContactNode::contactEmail() const {
    return get(contactEmail_);
}
void PRContactNode::setContactEmail(const QString& value) {
    set(contactEmail_, value);
}
QString PRContactNode::contactHomepage() const {
    return get(contactHomepage_);
}
void PRContactNode::setContactHomepage(const QString& value) {
    set(contactHomepage_, value);
}
QString PRContactNode::contactCompany() const {
    return get(contactCompany_);
}
void PRContactNode::setContactCompany(const QString& value) {
    set(contactCompany_, value);
}
QString PRContactNode::contactBirthday() const {
    return get(contactBirthday_);
}
void PRContactNode::setContactBirthday(const QString& value) {
    set(contactBirthday_, value);
}
QString PRContactNode::contactJobtitle() const {
    return get(contactJobtitle_);
}
void PRContactNode::setContactJobtitle(const QString& value) {
    set(contactJobtitle_, value);
}
QString PRContactNode::contactNote() const {
    return get(contactNote_);
}
void PRContactNode::setContactNote(const QString& value) {
    set(contactNote_, value);
}
QString PRContactNode::contactAdress() const {
    return get(contactAdress_);
}
void PRContactNode::setContactAdress(const QString& value) {
    set(contactAdress_, value);
}

QByteArray PRContactNode::imageData() const {
    std::lock_guard lock(mutex_);
    return imageData_;
}

void PRContactNode::setImageData(const QByteArray& value) {
    std::lock_guard lock(mutex_);
    imageData_ = value;
}
