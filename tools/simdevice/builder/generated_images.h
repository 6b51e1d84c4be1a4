// Real image files for simulated devices, drawn with QPainter on a QImage (no application
// object needed).
#pragma once

#include <cstdint>
#include <string>

namespace nimbara::simdev {

// A JPEG photo of `width` x `height`: a small landscape whose colours follow `seed`. Throws
// std::runtime_error when the JPEG writer is not available.
std::string makePhotoJpeg(int width, int height, std::uint32_t seed);

// A PNG app icon of `size` x `size`: a rounded square coloured after `colourKey` (the bundle
// identifier) carrying the first letter or digit of `name`.
std::string makeAppIconPng(const std::string& name, const std::string& colourKey, int size = 60);

}  // namespace nimbara::simdev
