// One app of the transfer page's app list: file name, version and size texts, null until set.
// Held by std::shared_ptr; every accessor is thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

class PRTranAppNode {
  public:
    PRTranAppNode() = default;
    PRTranAppNode(const PRTranAppNode&) = delete;
    PRTranAppNode& operator=(const PRTranAppNode&) = delete;

    QString appFileName() const { return appFileName_.get(); }
    void setAppFileName(const QString& value) { appFileName_.set(value); }
    QString appVersion() const { return appVersion_.get(); }
    void setAppVersion(const QString& value) { appVersion_.set(value); }
    QString appFileSize() const { return appFileSize_.get(); }
    void setAppFileSize(const QString& value) { appFileSize_.set(value); }

  private:
    LockedValue<QString> appFileName_;
    LockedValue<QString> appVersion_;
    LockedValue<QString> appFileSize_;
};
