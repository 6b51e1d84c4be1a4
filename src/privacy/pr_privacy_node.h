// One private record of the privacy cleaner that is not a contact, message, call or note: a file
// of the backup (web cache, message attachment, photo), a Safari history entry or cookie, a known
// Wi-Fi network, a photo's position. Which fields a kind fills is up to the reader that makes it.
//
// Held by std::shared_ptr; every accessor is thread-safe (the scan fills a node on its worker,
// the page reads it and ticks it on the GUI thread). A new node has every text null, bSelected
// false and visitCount -1. A photo with a position is one node held by both the photo list and
// the position list.
//
// Besides what is shown, a record carries what removing it later needs: its source (the stored
// file, its format and the table or list it was read from), its key there (a primary key, an
// array index or a cookie's place in its file; -1 for a whole-file item) and, for records that
// are parts of a file, the digest of the record's bytes as read (a property-list entry, a cookie)
// so that an edit removes exactly that record and nothing else.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>

#include "platform/locked_value.h"
#include "privacy/privacy_source.h"

class PRPrivacyNode {
  public:
    PRPrivacyNode() = default;
    PRPrivacyNode(const PRPrivacyNode&) = delete;
    PRPrivacyNode& operator=(const PRPrivacyNode&) = delete;

    // file items: last path component; history: title (list file) or domain expansion
    // (database); cookie: name; Wi-Fi: network name; position: the "Altitude: … Latitude: …
    // Longitude: …" line
    QString fileName() const { return fileName_.get(); }
    void setFileName(const QString& value) { fileName_.set(value); }
    // history: last visit; Wi-Fi: last automatic join
    QString fileDate() const { return fileDate_.get(); }
    void setFileDate(const QString& value) { fileDate_.set(value); }
    // history and cookie: address
    QString fileURL() const { return fileURL_.get(); }
    void setFileURL(const QString& value) { fileURL_.set(value); }
    // history: visit count
    int visitCount() const { return visitCount_.load(); }
    void setVisitCount(int value) { visitCount_.store(value); }
    // file items: size text
    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    // file items and photos: path inside the domain
    QString backupFilePath() const { return backupFilePath_.get(); }
    void setBackupFilePath(const QString& value) { backupFilePath_.set(value); }
    // file items and photos: full path of the stored file in the backup folder
    QString backupFileKey() const { return backupFileKey_.get(); }
    void setBackupFileKey(const QString& value) { backupFileKey_.set(value); }
    // Wi-Fi: BSSID; position: " "
    QString otherInfo() const { return otherInfo_.get(); }
    void setOtherInfo(const QString& value) { otherInfo_.set(value); }
    // not set by any reader
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    // chosen for removal
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }
    // position: the decimal degrees (negative south and west) and metres read
    QString LongitudeValue() const { return longitudeValue_.get(); }
    void setLongitudeValue(const QString& value) { longitudeValue_.set(value); }
    QString latitudeValue() const { return latitudeValue_.get(); }
    void setLatitudeValue(const QString& value) { latitudeValue_.set(value); }
    QString altitudeValue() const { return altitudeValue_.get(); }
    void setAltitudeValue(const QString& value) { altitudeValue_.set(value); }
    // cookie: path
    QString filePath() const { return filePath_.get(); }
    void setFilePath(const QString& value) { filePath_.set(value); }
    // cookie: value
    QString fileVaule() const { return fileVaule_.get(); }
    void setFileVaule(const QString& value) { fileVaule_.set(value); }

    // Where the record was read from; null for a node made by hand.
    nimbara::privacy::PrivacySourceRef recordSource() const { return source_.get(); }
    void setRecordSource(nimbara::privacy::PrivacySourceRef value) { source_.set(value); }
    // The record's key in its source: a primary key, an array index or a cookie's place in its
    // file; -1 for a whole file.
    std::int64_t recordKey() const { return recordKey_.load(); }
    void setRecordKey(std::int64_t value) { recordKey_.store(value); }
    // The dictionary key of a property-list entry kept in a dictionary; null otherwise.
    QString recordName() const { return recordName_.get(); }
    void setRecordName(const QString& value) { recordName_.set(value); }
    // SHA-1 of the record's bytes as read (20 bytes); null when the key alone names it.
    QByteArray recordDigest() const { return recordDigest_.get(); }
    void setRecordDigest(const QByteArray& value) { recordDigest_.set(value); }
    // The size of a file item in bytes.
    std::uint64_t fileBytes() const { return fileBytes_.load(); }
    void setFileBytes(std::uint64_t value) { fileBytes_.store(value); }

  private:
    LockedValue<QString> fileName_;
    LockedValue<QString> fileDate_;
    LockedValue<QString> fileURL_;
    std::atomic<int> visitCount_{-1};
    LockedValue<QString> fileSize_;
    LockedValue<QString> backupFilePath_;
    LockedValue<QString> backupFileKey_;
    LockedValue<QString> otherInfo_;
    LockedValue<QString> fileType_;
    std::atomic<bool> bSelected_{false};
    LockedValue<QString> longitudeValue_;
    LockedValue<QString> latitudeValue_;
    LockedValue<QString> altitudeValue_;
    LockedValue<QString> filePath_;
    LockedValue<QString> fileVaule_;
    LockedValue<nimbara::privacy::PrivacySourceRef> source_;
    std::atomic<std::int64_t> recordKey_{-1};
    LockedValue<QString> recordName_;
    LockedValue<QByteArray> recordDigest_;
    std::atomic<std::uint64_t> fileBytes_{0};
};
