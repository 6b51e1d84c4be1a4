// The storage manager's book scan: the device's purchased books as its list
// "/Books/Purchases/Purchases.plist" names them (the root dictionary's "Books" array of
// dictionaries with "Path", the book's file or folder below "/Books/Purchases", and "Name").
//
// Each listed book becomes a PRBookNode, in the list's order: its path, extension, name with the
// extension, size and artwork. A book stored as a folder (an unpacked epub) is sized by every
// file below it and has the artwork "iTunesArtwork" inside it; one stored as a single file is
// sized by that file. A book the list names but the device doesn't hold is still listed, marked
// missing, with no size. Entries whose "Path" is no plain relative path (empty, absolute, or with
// "." or ".." parts) are left out: they could name a file outside the books' folder. The list and
// the artwork are read into memory (each up to a limit), never copied to a local file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "filemanager/pr_book_node.h"
#include "filemanager/storage_scan.h"

namespace nimbara::filemanager {

inline constexpr const char* kBooksFolder = "/Books/Purchases";
inline constexpr const char* kBookListPath = "/Books/Purchases/Purchases.plist";
inline constexpr std::uint64_t kMaxBookListBytes = 16 * 1024 * 1024;
inline constexpr std::uint64_t kMaxArtworkBytes = 8 * 1024 * 1024;

struct BookScanResult {
    StorageDeviceTarget device;
    StorageScanStatus status = StorageScanStatus::Done;
    std::vector<std::shared_ptr<PRBookNode>> books;
    std::uint64_t totalBytes = 0;
    // The device holds no readable list (none, too large, or no property list with "Books").
    bool listMissing = false;
    std::size_t leftOut = 0;  // entries without a usable "Path"
};

BookScanResult scanDeviceBooks(StorageDeviceTarget target, const StorageStopCheck& stop,
                               const StorageProgress& progress);

}  // namespace nimbara::filemanager
