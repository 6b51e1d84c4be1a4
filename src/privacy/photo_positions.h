// Where the photos of a backup were taken: the GPS position in a photo's EXIF block, read with
// libexif from the head of the stored file (only a regular file inside the backup, never through
// a link, and never more than kExifHeadBytes of it).
#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <string_view>

#include "privacy/privacy_backup.h"
#include "privacy/privacy_reader.h"

namespace nimbara::backup {
class BackupFolder;
}

namespace nimbara::privacy {

// How much of a photo is read: its EXIF block (at most 64 KiB) lies near the start.
inline constexpr std::size_t kExifHeadBytes = 192 * 1024;

struct GpsPosition {
    double latitude = 0;             // decimal degrees, negative south of the equator
    double longitude = 0;            // decimal degrees, negative west of Greenwich
    std::optional<double> altitude;  // metres, negative below sea level
};

// The position in the EXIF block of a JPEG (or of a bare TIFF or "Exif" block); nullopt when
// there is none, or it is not a position: degrees, minutes and seconds as rationals with nonzero
// denominators, the latitude within ±90 and the longitude within ±180 degrees.
std::optional<GpsPosition> exifPosition(std::string_view imageHead);

// A number as the position texts show it: up to six decimals, no trailing zeros, "." as the
// decimal point whatever the locale.
QString positionText(double value);

// For each photo item whose stored file holds a position: sets its altitude, latitude and
// longitude texts, the "Altitude: …  Latitude: …  Longitude: …" line as its name, " " as its
// other information, ticks it, and appends the same node to `positions`.
PrivacyReadReport readGPSLocationWithPath(const backup::BackupFolder& folder,
                                          const PrivacyList& photos, PrivacyList& positions,
                                          const StopCheck& stop = {});

}  // namespace nimbara::privacy
