// One picture or movie of the transfer page's image browser. Held by std::shared_ptr; every
// accessor is thread-safe. The path is the item's identity: two items of one path are one item
// to the browser.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class IKImageItem {
  public:
    // How the browser draws an item: from the picture file itself, or through a preview of the
    // file (movies and anything else).
    enum class RepresentationType { Path, QuickLookPath };

    IKImageItem() = default;
    IKImageItem(const IKImageItem&) = delete;
    IKImageItem& operator=(const IKImageItem&) = delete;

    // path of the picture or movie as the page found it; the browser shows this file
    QString filePath() const { return filePath_.get(); }
    void setFilePath(const QString& value) { filePath_.set(value); }
    // "Image" or "Movie"
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    // a local copy of the file exists
    bool bhasCopy() const { return bhasCopy_.load(); }
    void setBhasCopy(bool value) { bhasCopy_.store(value); }
    // path of that local copy
    QString hasCopy() const { return hasCopy_.get(); }
    void setHasCopy(const QString& value) { hasCopy_.set(value); }

    // Path for "Image"; any other type, "Movie" included, through a preview.
    RepresentationType imageRepresentationType() const {
        return fileType() == QLatin1String("Image") ? RepresentationType::Path
                                                    : RepresentationType::QuickLookPath;
    }
    QString imageRepresentation() const { return filePath(); }
    QString imageUID() const { return filePath(); }

  private:
    LockedValue<QString> filePath_;
    LockedValue<QString> fileType_{QStringLiteral("Image")};
    std::atomic<bool> bhasCopy_{false};
    LockedValue<QString> hasCopy_;
};
