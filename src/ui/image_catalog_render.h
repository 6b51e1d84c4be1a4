#pragma once

#include "ui/image_catalog.h"

#include <QImage>

namespace nimbara::ui {

// Draws the image a recipe describes, at the recipe's size, on a transparent ground.
// Needs a QGuiApplication (labels use the application's fonts); any thread.
QImage renderImageRecipe(const ImageRecipe& recipe);

}  // namespace nimbara::ui
