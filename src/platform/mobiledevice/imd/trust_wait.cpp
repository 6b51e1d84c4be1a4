#include "platform/mobiledevice/imd/trust_wait.h"

#include <algorithm>

namespace nimbara::md::imd {

std::chrono::milliseconds nextTrustWait(std::chrono::milliseconds first,
                                        std::chrono::milliseconds last, bool changed) {
    const std::chrono::milliseconds longest =
        std::max(first, std::min(first * 16, kLongestTrustWait));
    return changed ? first : std::clamp(last * 2, first, longest);
}

}  // namespace nimbara::md::imd
