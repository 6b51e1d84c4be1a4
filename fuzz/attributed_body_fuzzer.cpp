// Feeds arbitrary bytes to the message body decoder: it must never read past its input, and a
// text it gives must be bytes of the input itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "backup/attributed_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A buffer of exactly the input's size, so that a read past it is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto text = nimbara::backup::attributedBodyText(bytes);
    if (!text) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text->size() >= size || (!text->empty() && input.find(*text) == std::string_view::npos)) {
        std::abort();
    }
    return 0;
}
