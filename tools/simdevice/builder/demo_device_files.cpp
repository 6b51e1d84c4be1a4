// The demo iPhone's odd corners of the media root, as a device's file system really has them:
// a deep folder chain, empty folders, names beginning with a dot (one of them beside its
// dot-less twin) and files of zero bytes.
#include "demo_device_parts.h"
#include "file_writer.h"

namespace nimbara::simdev::demo {

void addFileSystemCorners(SimDeviceBuilder& b) {
    // The sync lock the computer leaves on the root: an empty file.
    b.addMediaFile("/com.apple.itunes.lock_sync", "");
    // Folders the system makes and leaves empty.
    b.addMediaDir("/Purchases");
    b.addMediaDir("/AirFair/sync");
    b.addMediaDir("/.Trashes/501");

    // The media analysis caches: nine levels deep, with a zero-byte lock at the bottom.
    const std::string deep = "/MediaAnalysis/Fingerprints/v2/0A/1B/2C/3D/4E/5F";
    b.addMediaFile(deep + "/fp-0001.dat", fillerBytes(2048, 41));
    b.addMediaFile(deep + "/fp-0002.dat", fillerBytes(1536, 42));
    b.addMediaFile(deep + "/.lock", "");
    b.addMediaFile("/MediaAnalysis/Fingerprints/v2/index.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>version</key><integer>2</integer></dict></plist>\n");
    // A hidden cache beside a plain one of the same name, and a hidden file on the root.
    b.addMediaFile("/MediaAnalysis/.cache/model.bin", fillerBytes(4096, 43));
    b.addMediaFile("/MediaAnalysis/cache/model.bin", fillerBytes(3072, 44));
    b.addMediaFile("/MediaAnalysis/.DS_Store", fillerBytes(6148, 45));
    b.addMediaFile("/Radio/Radio.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict/>"
                   "</plist>\n");
    b.addMediaFile("/Radio/.empty", "");
}

}  // namespace nimbara::simdev::demo
