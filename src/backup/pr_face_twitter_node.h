// One file of a social-network app found in a backup. Held by std::shared_ptr; every accessor is
// thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class PRFaceTwitterNode {
  public:
    PRFaceTwitterNode() = default;
    PRFaceTwitterNode(const PRFaceTwitterNode&) = delete;
    PRFaceTwitterNode& operator=(const PRFaceTwitterNode&) = delete;

    // file name
    QString faceTwitterFileName() const { return faceTwitterFileName_.get(); }
    void setFaceTwitterFileName(const QString& value) { faceTwitterFileName_.set(value); }
    // full path of the file
    QString faceTwitterFilePath() const { return faceTwitterFilePath_.get(); }
    void setFaceTwitterFilePath(const QString& value) { faceTwitterFilePath_.set(value); }
    // size as display text
    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    // ticked in a list
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }

  private:
    LockedValue<QString> faceTwitterFileName_{QLatin1String("")};
    LockedValue<QString> faceTwitterFilePath_{QLatin1String("")};
    LockedValue<QString> fileSize_{QLatin1String("")};
    std::atomic<bool> bSelected_{false};
};
