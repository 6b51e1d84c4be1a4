#include "privacy/privacy_file_edits.h"

#include <libexif/exif-data.h>

#include <cstdlib>
#include <memory>

#include "platform/plist_value.h"
#include "privacy/binary_cookies.h"
#include "privacy/photo_positions.h"
#include "privacy/privacy_plists.h"

namespace nimbara::privacy {

namespace {

// Which of `count` entries the keys name: each key takes the entry at its place when that entry
// still has the key's digest, else the first other entry with it. nullopt (with `error`) when a
// key finds none.
template <class DigestAt>
std::optional<std::vector<bool>> claimEntries(std::size_t count,
                                              const std::vector<ListEntryKey>& keys,
                                              DigestAt&& digestAt, std::string& error) {
    std::vector<QByteArray> digests(count);
    std::vector<bool> known(count, false);
    auto digest = [&](std::size_t i) -> const QByteArray& {
        if (!known[i]) {
            digests[i] = digestAt(i);
            known[i] = true;
        }
        return digests[i];
    };
    std::vector<bool> claimed(count, false);
    for (const ListEntryKey& key : keys) {
        const bool inPlace = key.index >= 0 && static_cast<std::uint64_t>(key.index) < count &&
                             !claimed[static_cast<std::size_t>(key.index)] &&
                             digest(static_cast<std::size_t>(key.index)) == key.digest;
        if (inPlace) {
            claimed[static_cast<std::size_t>(key.index)] = true;
            continue;
        }
        bool found = false;
        for (std::size_t i = 0; i < count && !found; ++i) {
            if (!claimed[i] && digest(i) == key.digest) {
                claimed[i] = true;
                found = true;
            }
        }
        if (!found) {
            error = "an entry to remove is no longer in the file";
            return std::nullopt;
        }
    }
    return claimed;
}

std::string plistBytes(const PlistValue& root, PrivacyFileFormat format) {
    if (format == PrivacyFileFormat::BinaryPlist) {
        const PlistValue::Bytes binary = root.toBinary();
        return std::string(binary.begin(), binary.end());
    }
    return root.toXml();
}

struct ExifRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

// The EXIF block (an APP1 payload starting "Exif\0\0") without its GPS entries; the same bytes
// when it has none.
std::optional<std::string> exifWithoutGps(std::string_view payload, std::string& error) {
    const std::unique_ptr<ExifData, ExifRelease> data(exif_data_new());
    if (!data) {
        error = "no memory for the EXIF data";
        return std::nullopt;
    }
    // Keep every other entry as it is: nothing is added, repaired or dropped.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_set_option(data.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(payload.data()),
                        static_cast<unsigned int>(payload.size()));
    ExifContent* gps = data->ifd[EXIF_IFD_GPS];
    if (gps == nullptr || gps->count == 0) {
        return std::string(payload);
    }
    while (gps->count > 0) {
        exif_content_remove_entry(gps, gps->entries[gps->count - 1]);
    }
    unsigned char* saved = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data.get(), &saved, &size);
    if (saved == nullptr || size == 0) {
        error = "the EXIF data cannot be written back";
        return std::nullopt;
    }
    std::string out(reinterpret_cast<const char*>(saved), size);
    std::free(saved);
    return out;
}

// An XMP packet that names a position.
bool xmpWithPosition(std::string_view payload) {
    constexpr std::string_view kXmp("http://ns.adobe.com/xap/1.0/\0", 29);
    return payload.starts_with(kXmp) && (payload.find("GPSLatitude") != std::string_view::npos ||
                                         payload.find("GPSLongitude") != std::string_view::npos);
}

}  // namespace

std::optional<std::string> withoutPlistEntries(std::string_view bytes, const std::string& listKey,
                                               const std::vector<ListEntryKey>& entries,
                                               std::size_t& removed, std::string& error) {
    removed = 0;
    if (bytes.size() > kMaxPrivacyPlistBytes) {
        error = "the property list is too large";
        return std::nullopt;
    }
    std::optional<PlistValue> root = PlistValue::parse(bytes.data(), bytes.size(), &error);
    if (!root || !root->isDict()) {
        error = root ? "the property list is not a dictionary" : "not a property list: " + error;
        return std::nullopt;
    }
    if (!listKey.empty()) {
        PlistValue* list = nullptr;
        if (root->contains(listKey)) {
            list = &(*root)[listKey];
        }
        if (list == nullptr || !list->isArray()) {
            error = "the property list has no \"" + listKey + "\" list";
            return std::nullopt;
        }
        PlistValue::Array& items = list->asArray();
        const auto claimed = claimEntries(
            items.size(), entries, [&](std::size_t i) { return plistEntryDigest(items[i]); },
            error);
        if (!claimed) {
            return std::nullopt;
        }
        PlistValue::Array kept;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if ((*claimed)[i]) {
                ++removed;
            } else {
                kept.push_back(std::move(items[i]));
            }
        }
        items = std::move(kept);
    } else {
        PlistValue::Dict& dict = root->asDict();
        std::vector<PlistValue::Dict::iterator> places;
        for (auto it = dict.begin(); it != dict.end(); ++it) {
            places.push_back(it);
        }
        // A dictionary entry's place is its key: a key that no longer names the entry counts as
        // no place at all.
        std::vector<ListEntryKey> keys = entries;
        for (ListEntryKey& key : keys) {
            key.index = -1;
            for (std::size_t i = 0; i < places.size(); ++i) {
                if (places[i]->first == key.name) {
                    key.index = static_cast<std::int64_t>(i);
                }
            }
        }
        const auto claimed = claimEntries(
            places.size(), keys, [&](std::size_t i) { return plistEntryDigest(places[i]->second); },
            error);
        if (!claimed) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < places.size(); ++i) {
            if ((*claimed)[i]) {
                dict.erase(places[i]);
                ++removed;
            }
        }
    }
    return plistBytes(*root, plistFormatOf(bytes));
}

std::optional<std::string> withoutCookies(std::string_view bytes,
                                          const std::vector<ListEntryKey>& entries,
                                          std::size_t& removed, std::string& error) {
    removed = 0;
    const BinaryCookieFile file = parseBinaryCookies(bytes);
    if (!file.ok) {
        error = "not a cookie file: " + file.error;
        return std::nullopt;
    }
    const auto claimed = claimEntries(
        file.cookies.size(), entries, [&](std::size_t i) { return file.cookies[i].digest(); },
        error);
    if (!claimed) {
        return std::nullopt;
    }
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < file.cookies.size(); ++i) {
        if ((*claimed)[i]) {
            ++removed;
        } else {
            kept.push_back(file.cookies[i].record);
        }
    }
    return writeBinaryCookies(kept, file.trailer);
}

std::optional<std::string> withoutGpsPosition(std::string_view image, std::string& error) {
    if (!image.starts_with("\xFF\xD8")) {
        error = "the photo is no JPEG image, so its position cannot be removed";
        return std::nullopt;
    }
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(image[at]); };
    std::string out(image.substr(0, 2));
    std::size_t at = 2;
    while (at < image.size()) {
        if (image.size() - at < 2 || byte(at) != 0xFF) {
            error = "the photo's header is damaged";
            return std::nullopt;
        }
        const unsigned char marker = byte(at + 1);
        if (marker == 0xFF) {  // a fill byte before a marker
            out.push_back('\xFF');
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {  // the image data follows: nothing more to see
            out.append(image.substr(at));
            at = image.size();
            break;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without length
            out.append(image.substr(at, 2));
            at += 2;
            continue;
        }
        if (image.size() - at < 4) {
            error = "the photo's header is cut short";
            return std::nullopt;
        }
        const std::size_t length = (std::size_t{byte(at + 2)} << 8) | byte(at + 3);
        if (length < 2 || length > image.size() - at - 2) {
            error = "a segment of the photo's header runs past its end";
            return std::nullopt;
        }
        const std::string_view payload = image.substr(at + 4, length - 2);
        const std::string_view segment = image.substr(at, length + 2);
        at += length + 2;
        if (marker == 0xE1 && payload.starts_with(std::string_view("Exif\0\0", 6))) {
            const std::optional<std::string> cleaned = exifWithoutGps(payload, error);
            if (!cleaned) {
                return std::nullopt;
            }
            if (cleaned->size() + 2 > 0xFFFF) {
                error = "the photo's EXIF data is too large to write back";
                return std::nullopt;
            }
            out.append("\xFF\xE1", 2);
            out.push_back(static_cast<char>((cleaned->size() + 2) >> 8));
            out.push_back(static_cast<char>((cleaned->size() + 2) & 0xFF));
            out += *cleaned;
        } else if (marker == 0xE1 && xmpWithPosition(payload)) {
            continue;  // the XMP packet names the position as well: it goes whole
        } else {
            out.append(segment);
        }
    }
    if (exifPosition(std::string_view(out).substr(0, kExifHeadBytes))) {
        error = "the photo still holds a position after its GPS data was removed";
        return std::nullopt;
    }
    return out;
}

}  // namespace nimbara::privacy
