// Scaled copies of images.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QSize>

namespace nimbara::ui {

// A new image of `size`, white, with `image` drawn scaled over the whole of it: transparent
// parts of the source come out white. An empty size gives a null image; a null source gives a
// white image.
QImage resizeTo(const QImage& image, const QSize& size);
QPixmap resizeTo(const QPixmap& image, const QSize& size);

// A smoothly scaled copy of `image` at `size`, keeping transparency. A null source (or an empty
// size) is logged as "Invalid Image" and gives a null image.
QImage thumbnailImage(const QImage& image, const QSize& size);

}  // namespace nimbara::ui
