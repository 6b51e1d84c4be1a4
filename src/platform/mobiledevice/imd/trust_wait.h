// How long the watcher waits before it asks a device that waits for its user again: every
// question may reach the device's screen, so it asks less and less often while the answer stays
// the same.
#pragma once

#include <chrono>

namespace nimbara::md::imd {

// The longest wait between two questions, unless `first` is longer.
inline constexpr std::chrono::milliseconds kLongestTrustWait{30000};

// The wait after a check that found the device waiting: `first` when the reason is new
// (`changed`), otherwise twice the `last` wait, up to 16 times `first` or kLongestTrustWait,
// and never less than `first`.
std::chrono::milliseconds nextTrustWait(std::chrono::milliseconds first,
                                        std::chrono::milliseconds last, bool changed);

}  // namespace nimbara::md::imd
