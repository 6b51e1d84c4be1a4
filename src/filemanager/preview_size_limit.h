// The largest device file a page copies to show its preview.
#pragma once

#include <cstdint>

namespace nimbara::filemanager {

inline constexpr std::uint64_t kPreviewSizeLimit = 64ull * 1024 * 1024;

}  // namespace nimbara::filemanager
