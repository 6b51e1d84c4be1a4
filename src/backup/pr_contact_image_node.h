// One contact picture from the pictures database, matched to its contact by row id. Held by
// std::shared_ptr; every accessor is thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QByteArray>

#include <atomic>

class PRContactImageNode {
  public:
    PRContactImageNode() = default;
    PRContactImageNode(const PRContactImageNode&) = delete;
    PRContactImageNode& operator=(const PRContactImageNode&) = delete;

    // the contact's row id
    int rowid() const { return rowid_.load(); }
    void setRowid(int value) { rowid_.store(value); }
    // the picture; null when there is none
    QByteArray imageData() const { return imageData_.get(); }
    void setImageData(const QByteArray& value) { imageData_.set(value); }

  private:
    std::atomic<int> rowid_{-1};
    LockedValue<QByteArray> imageData_;
};
