// Feeds arbitrary bytes to the cookie file parser: it must never read past its input, loop or
// allocate without bound, and every cookie it reads must come back the same when the cookies are
// written again and read back (what an edit of the file relies on).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "privacy/binary_cookies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace nimbara::privacy;
    // A buffer of exactly the input's size, so that a read past it is caught.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const BinaryCookieFile file = parseBinaryCookies(bytes);
    if (!file.ok) {
        if (file.error.empty() || !file.cookies.empty()) {
            std::abort();
        }
        return 0;
    }
    std::vector<std::string> records;
    for (const BinaryCookie& cookie : file.cookies) {
        records.push_back(cookie.record);
    }
    const BinaryCookieFile again = parseBinaryCookies(writeBinaryCookies(records, file.trailer));
    if (!again.complete() || again.cookies.size() != file.cookies.size() ||
        again.trailer != file.trailer) {
        std::abort();
    }
    for (std::size_t i = 0; i < file.cookies.size(); ++i) {
        const BinaryCookie& a = file.cookies[i];
        const BinaryCookie& b = again.cookies[i];
        if (a.url != b.url || a.name != b.name || a.path != b.path || a.value != b.value ||
            a.record != b.record || b.ordinal != i) {
            std::abort();
        }
    }
    return 0;
}
