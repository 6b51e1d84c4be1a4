#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace nimbara::ui {

// Returns the application image called `name` ("Close_Nom.png" and "Close_Nom" are the same
// image). Images are drawn by the application on first use and cached afterwards. An unknown
// name gives a null pixmap; each unknown name is logged once. Call from the GUI thread only.
QPixmap namedImage(const QString& name);

// True when `name` (with or without ".png") is a known image.
bool hasNamedImage(const QString& name);

// Every known image name, without the ".png" suffix, sorted.
QStringList namedImageList();

// The image as an icon (null icon for an unknown name).
QIcon namedIcon(const QString& name);

}  // namespace nimbara::ui
