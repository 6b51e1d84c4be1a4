// The privacy cleaner's rewriters of whole files: a property list without some of its entries
// (written back in its own form, binary or XML), a cookie file without some of its cookies (in
// the same binary form, the others and the policy list after the pages kept as they were), and a
// photo without its position. Each works on bytes and gives new bytes or says why it cannot; the
// input comes from a backup and is untrusted.
//
// An entry is named by its place and the digest it had when it was read. When the place no longer
// holds it, the first entry with that digest not yet named is taken instead; when none has it the
// rewrite fails, so a file that changed since the scan is never edited by guesswork.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "privacy/privacy_clean_selection.h"

namespace nimbara::privacy {

// `bytes` without the `entries` of the array `listKey` of its root dictionary, or (empty
// `listKey`) without the root dictionary's entries they name. `removed` is how many went.
std::optional<std::string> withoutPlistEntries(std::string_view bytes, const std::string& listKey,
                                               const std::vector<ListEntryKey>& entries,
                                               std::size_t& removed, std::string& error);

// The cookie file `bytes` without the cookies `entries` name. A file whose pages could not all be
// read keeps only the cookies that could.
std::optional<std::string> withoutCookies(std::string_view bytes,
                                          const std::vector<ListEntryKey>& entries,
                                          std::size_t& removed, std::string& error);

// The JPEG `image` without a position: the GPS block of its EXIF data removed (libexif), and any
// XMP packet naming a position left out. The other segments and the image data stay as they
// are; an image without a position comes back unchanged. Fails for an image that is no JPEG, or
// when the result still holds a position.
std::optional<std::string> withoutGpsPosition(std::string_view image, std::string& error);

}  // namespace nimbara::privacy
