// One picture or movie of the connected device's camera roll, as the camera-roll access lists
// it: its file name on the device and its type identifier ("public.image", "public.movie").
#pragma once

#include <QString>

#include <utility>

namespace nimbara {

class CameraItem {
  public:
    CameraItem(QString name, QString typeIdentifier)
        : name_(std::move(name)), typeIdentifier_(std::move(typeIdentifier)) {}

    const QString& name() const { return name_; }
    const QString& typeIdentifier() const { return typeIdentifier_; }

  private:
    QString name_;
    QString typeIdentifier_;
};

}  // namespace nimbara
