// Photo positions: the GPS block of a photo's EXIF data in decimal degrees, in both byte orders,
// on every side of the equator and of Greenwich, and never from a block made to hurt the reader.
#include <gtest/gtest.h>

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>

#include "../backup/record_backup_fixture.h"
#include "backup/backup_folder.h"
#include "backup_privacy.h"
#include "generated_images.h"
#include "privacy/photo_positions.h"
#include "privacy/privacy_backup.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;
using nimbara::simdev::gpsExifSegment;
using nimbara::simdev::PhotoPosition;
using nimbara::simdev::withGpsExif;

const std::string& photo() {
    static const std::string jpeg = nimbara::simdev::makePhotoJpeg(64, 48, 7);
    return jpeg;
}

// Where the parts of a GPS block made by gpsExifSegment lie, counted from the JPEG's start: the
// TIFF block follows the start marker, the segment's marker and length, and "Exif\0\0".
constexpr std::size_t kTiff = 2 + 4 + 6;
constexpr std::size_t kGpsPointer = kTiff + 8 + 2 + 8;  // IFD0's one entry, its value
constexpr std::size_t kLatitudeEntry = kTiff + 26 + 2 + 12 * 2;
constexpr std::size_t kLatitudeData = kTiff + 26 + 2 + 12 * 7 + 4;  // with an altitude

void putBig32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    }
}

void putBig16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value & 0xFF);
}

TEST(PhotoPositions, DegreesMinutesAndSecondsBecomeSignedDecimalDegrees) {
    struct Case {
        PhotoPosition where;
        bool bigEndian;
    };
    const Case cases[] = {
        {{37.795490, -122.393700, 4.0}, true},   {{-33.856800, 151.215300, 5.0}, false},
        {{-0.180700, -78.467800, 2850.0}, true}, {{45.464200, 9.190000, {}}, false},
        {{31.559000, 35.473200, -430.5}, true},  // below sea level
    };
    for (const Case& c : cases) {
        const auto read = exifPosition(withGpsExif(photo(), c.where, c.bigEndian));
        ASSERT_TRUE(read) << c.where.latitude;
        EXPECT_NEAR(read->latitude, c.where.latitude, 1e-6);
        EXPECT_NEAR(read->longitude, c.where.longitude, 1e-6);
        ASSERT_EQ(read->altitude.has_value(), c.where.altitude.has_value());
        if (c.where.altitude) {
            EXPECT_NEAR(*read->altitude, *c.where.altitude, 1e-6);
        }
    }
}

TEST(PhotoPositions, PhotosWithoutAPositionHaveNone) {
    EXPECT_FALSE(exifPosition(photo()));
    EXPECT_FALSE(exifPosition(""));
    EXPECT_FALSE(exifPosition(nimbara::simdev::makeAppIconPng("P", "png", 16)));
    EXPECT_FALSE(exifPosition("\xFF\xD8\xFF"));
}

TEST(PhotoPositions, BlocksMadeToHurtTheReaderGiveNoPosition) {
    const std::string good = withGpsExif(photo(), {37.5, -122.25, 10.0});
    ASSERT_TRUE(exifPosition(good));
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        bool word;  // 32 bits, else 16
    };
    const Damage damages[] = {
        {"a zero denominator", kLatitudeData + 4, 0, true},
        {"the latitude as text", kLatitudeEntry + 2, 2, false},
        {"the latitude's values past the end", kLatitudeEntry + 8, 0xFFFFFF00, true},
        {"a count no block can hold", kLatitudeEntry + 4, 0x20000000, true},
        {"the GPS block past the end", kGpsPointer, 0xFFFF0000, true},
        {"the GPS block pointing at itself", kGpsPointer, 8, true},
    };
    for (const Damage& damage : damages) {
        std::string bytes = good;
        if (damage.word) {
            putBig32(bytes, damage.at, damage.value);
        } else {
            putBig16(bytes, damage.at, static_cast<std::uint16_t>(damage.value));
        }
        EXPECT_FALSE(exifPosition(bytes)) << damage.what;
    }
    // Out of range: no place lies there.
    EXPECT_FALSE(exifPosition(withGpsExif(photo(), {95.0, 10.0, {}})));
    EXPECT_FALSE(exifPosition(withGpsExif(photo(), {10.0, 181.0, {}})));
}

TEST(PhotoPositions, EveryCutOfTheBlockReadsWithinItsBytes) {
    const std::string good = withGpsExif(photo(), {-33.8568, 151.2153, 5.0}, false);
    const std::size_t end = 2 + gpsExifSegment({-33.8568, 151.2153, 5.0}, false).size();
    for (std::size_t length = 0; length <= end; ++length) {
        const std::string cut = good.substr(0, length);  // a buffer of its own for the sanitizers
        const auto read = exifPosition(cut);
        if (read) {
            EXPECT_NEAR(read->latitude, -33.8568, 1e-6) << length;
        }
    }
}

TEST(PhotoPositions, TextsUseAPointAndNoTrailingZeros) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(positionText(-33.8568), QStringLiteral("-33.8568"));
    EXPECT_EQ(positionText(151.0), QStringLiteral("151"));
    EXPECT_EQ(positionText(-0.0000001), QStringLiteral("0"));
    EXPECT_EQ(positionText(37.7954901), QStringLiteral("37.79549"));
    QLocale::setDefault(previous);
}

// The position reader over the photos of a backup: each photo with a position is ticked, named
// by its position line and listed twice (as a photo and as a position); the others stay as they
// were.
TEST(PhotoPositions, ReaderFillsThePhotoNodesItFindsPositionsIn) {
    nimbara::test::RecordBackup backup;
    const auto& b = backup.builder();
    nimbara::simdev::addBackupCameraRollPhoto(b, "IMG_0001.JPG", photo(),
                                              PhotoPosition{-33.8568, 151.2153, 5.0});
    nimbara::simdev::addBackupCameraRollPhoto(b, "IMG_0002.JPG", photo());
    nimbara::simdev::addBackupCameraRollPhoto(b, "IMG_0003.JPG", photo(),
                                              PhotoPosition{37.5, -122.25, {}});
    for (bool legacy : {false, true}) {
        const fs::path folder = backup.write(legacy);
        const PrivacyFileList files = scanBackupDataAnalyThread(folder.string());
        ASSERT_EQ(files.PhotoPrivacyArray.size(), 3u);
        for (const auto& item : files.PhotoPrivacyArray) {
            EXPECT_FALSE(item->bSelected());
        }
        PrivacyList positions;
        const PrivacyReadReport report =
            readGPSLocationWithPath(nimbara::backup::BackupFolder::open(folder.string()),
                                    files.PhotoPrivacyArray, positions);
        EXPECT_TRUE(report.ok) << report.error;
        ASSERT_EQ(positions.size(), 2u) << legacy;
        std::map<QString, std::shared_ptr<PRPrivacyNode>> byPath;
        for (const auto& item : files.PhotoPrivacyArray) {
            byPath[item->backupFilePath()] = item;
        }
        const auto sydney = byPath.at(QStringLiteral("Media/DCIM/100APPLE/IMG_0001.JPG"));
        EXPECT_NE(std::find(positions.begin(), positions.end(), sydney), positions.end());
        EXPECT_TRUE(sydney->bSelected());
        EXPECT_EQ(sydney->latitudeValue(), QStringLiteral("-33.8568"));
        EXPECT_EQ(sydney->LongitudeValue(), QStringLiteral("151.2153"));
        EXPECT_EQ(sydney->altitudeValue(), QStringLiteral("5"));
        EXPECT_EQ(sydney->fileName(),
                  QStringLiteral("Altitude: 5  Latitude: -33.8568  Longitude: 151.2153"));
        EXPECT_EQ(sydney->otherInfo(), QStringLiteral(" "));
        const auto none = byPath.at(QStringLiteral("Media/DCIM/100APPLE/IMG_0002.JPG"));
        EXPECT_FALSE(none->bSelected());
        EXPECT_TRUE(none->latitudeValue().isNull());
        const auto noAltitude = byPath.at(QStringLiteral("Media/DCIM/100APPLE/IMG_0003.JPG"));
        EXPECT_TRUE(noAltitude->bSelected());
        EXPECT_EQ(noAltitude->altitudeValue(), QString());
        EXPECT_EQ(noAltitude->latitudeValue(), QStringLiteral("37.5"));
    }
}

TEST(PhotoPositions, AStoredFileThatIsALinkIsNotRead) {
    nimbara::test::TempDir tmp;
    const fs::path folder = tmp / "backup";
    const std::string key(40, 'a');
    fs::create_directories(folder / "aa");
    nimbara::test::writeText(tmp / "outside.jpg", withGpsExif(photo(), {1.0, 2.0, {}}));
    fs::create_symlink(tmp / "outside.jpg", folder / "aa" / key);

    auto source = std::make_shared<PrivacySource>();
    source->storedName = "aa/" + key;
    source->relativePath = "Media/DCIM/100APPLE/IMG_0009.JPG";
    auto item = std::make_shared<PRPrivacyNode>();
    item->setRecordSource(source);
    PrivacyList positions;
    const PrivacyReadReport report = readGPSLocationWithPath(
        nimbara::backup::BackupFolder::open(folder.string()), {item}, positions);
    EXPECT_TRUE(positions.empty());
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(item->latitudeValue().isNull());
}

}  // namespace
