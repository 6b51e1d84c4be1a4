#include "privacy/photo_positions.h"

#include <libexif/exif-data.h>
#include <libexif/exif-tag.h>
#include <libexif/exif-utils.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <string>

#include "backup/backup_folder.h"

namespace nimbara::privacy {

namespace {

struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

ExifEntry* gpsEntry(ExifData& data, int tag) {
    ExifContent* gps = data.ifd[EXIF_IFD_GPS];
    return gps != nullptr ? exif_content_get_entry(gps, static_cast<ExifTag>(tag)) : nullptr;
}

// Up to three rationals (degrees, minutes, seconds; or one value) as one number.
std::optional<double> rationalValue(const ExifEntry* entry, ExifByteOrder order,
                                    unsigned long maxParts) {
    if (entry == nullptr || entry->data == nullptr || entry->format != EXIF_FORMAT_RATIONAL ||
        entry->components < 1) {
        return std::nullopt;
    }
    const unsigned long parts = std::min(entry->components, maxParts);
    const unsigned long width = exif_format_get_size(EXIF_FORMAT_RATIONAL);
    if (entry->size < parts * width) {
        return std::nullopt;
    }
    double value = 0;
    double scale = 1;
    for (unsigned long i = 0; i < parts; ++i) {
        const ExifRational part = exif_get_rational(entry->data + i * width, order);
        if (part.denominator == 0) {
            return std::nullopt;
        }
        value += static_cast<double>(part.numerator) / part.denominator / scale;
        scale *= 60;
    }
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// The first letter of a reference ("N", "S", "E", "W"); 0 when there is none.
char reference(const ExifEntry* entry) {
    if (entry == nullptr || entry->data == nullptr || entry->size < 1 ||
        entry->format != EXIF_FORMAT_ASCII) {
        return 0;
    }
    const char c = static_cast<char>(entry->data[0]);
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The first byte of a BYTE entry (the altitude's reference: 1 below sea level).
int byteValue(const ExifEntry* entry) {
    if (entry == nullptr || entry->data == nullptr || entry->size < 1 ||
        (entry->format != EXIF_FORMAT_BYTE && entry->format != EXIF_FORMAT_UNDEFINED)) {
        return 0;
    }
    return entry->data[0];
}

// The first `limit` bytes of a stored file of the backup (fewer when it is shorter).
std::optional<std::string> readHead(const backup::BackupFolder& folder, const std::string& relative,
                                    std::size_t limit, std::string& why) {
    const backup::UniqueFd fd = folder.openFile(relative, &why);
    if (!fd.valid()) {
        return std::nullopt;
    }
    std::string bytes(limit, '\0');
    std::size_t have = 0;
    while (have < limit) {
        const ssize_t got = ::read(fd.get(), bytes.data() + have, limit - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            why = "read failed";
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}

// Whether the bytes can hold an EXIF block libexif reads: a JPEG, a bare TIFF, or a bare block.
bool mayHoldExif(std::string_view head) {
    return head.starts_with("\xFF\xD8") || head.starts_with(std::string_view("II*\0", 4)) ||
           head.starts_with(std::string_view("MM\0*", 4)) ||
           head.starts_with(std::string_view("Exif\0\0", 6));
}

}  // namespace

std::optional<GpsPosition> exifPosition(std::string_view imageHead) {
    if (!mayHoldExif(imageHead)) {
        return std::nullopt;
    }
    const std::unique_ptr<ExifData, ExifDataRelease> data(exif_data_new());
    if (!data) {
        return std::nullopt;
    }
    // Read what is there; never add or repair entries.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    const std::size_t size = std::min(imageHead.size(), kExifHeadBytes);
    exif_data_load_data(data.get(), reinterpret_cast<const unsigned char*>(imageHead.data()),
                        static_cast<unsigned int>(size));
    const ExifByteOrder order = exif_data_get_byte_order(data.get());
    const auto latitude = rationalValue(gpsEntry(*data, EXIF_TAG_GPS_LATITUDE), order, 3);
    const auto longitude = rationalValue(gpsEntry(*data, EXIF_TAG_GPS_LONGITUDE), order, 3);
    if (!latitude || !longitude || *latitude > 90 || *longitude > 180) {
        return std::nullopt;
    }
    GpsPosition position;
    position.latitude =
        reference(gpsEntry(*data, EXIF_TAG_GPS_LATITUDE_REF)) == 'S' ? -*latitude : *latitude;
    position.longitude =
        reference(gpsEntry(*data, EXIF_TAG_GPS_LONGITUDE_REF)) == 'W' ? -*longitude : *longitude;
    if (const auto altitude = rationalValue(gpsEntry(*data, EXIF_TAG_GPS_ALTITUDE), order, 1)) {
        position.altitude =
            byteValue(gpsEntry(*data, EXIF_TAG_GPS_ALTITUDE_REF)) == 1 ? -*altitude : *altitude;
    }
    return position;
}

QString positionText(double value) {
    if (value == 0) {
        value = 0;  // no "-0"
    }
    QString text = QString::number(value, 'f', 6);
    while (text.endsWith(u'0')) {
        text.chop(1);
    }
    if (text.endsWith(u'.')) {
        text.chop(1);
    }
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

PrivacyReadReport readGPSLocationWithPath(const backup::BackupFolder& folder,
                                          const PrivacyList& photos, PrivacyList& positions,
                                          const StopCheck& stop) {
    PrivacyReadReport report("photo positions");
    for (const auto& photo : photos) {
        if (stop && stop()) {
            report.stopped = true;
            break;
        }
        const PrivacySourceRef source = photo ? photo->recordSource() : nullptr;
        if (!source || source->storedName.empty()) {
            continue;
        }
        report.found = true;
        std::string why;
        const std::optional<std::string> head =
            readHead(folder, source->storedName, kExifHeadBytes, why);
        if (!head) {
            report.fail(source->relativePath + " cannot be read: " + why);
            continue;
        }
        const std::optional<GpsPosition> position = exifPosition(*head);
        if (!position) {
            continue;
        }
        const QString altitude = position->altitude ? positionText(*position->altitude) : QString();
        const QString latitude = positionText(position->latitude);
        const QString longitude = positionText(position->longitude);
        photo->setAltitudeValue(altitude);
        photo->setLatitudeValue(latitude);
        photo->setLongitudeValue(longitude);
        photo->setFileName(QStringLiteral("Altitude: %1  Latitude: %2  Longitude: %3")
                               .arg(altitude, latitude, longitude));
        photo->setOtherInfo(QStringLiteral(" "));
        photo->setBSelected(true);
        positions.push_back(photo);
    }
    return report;
}

}  // namespace nimbara::privacy
