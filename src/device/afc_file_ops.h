// The AFC operations shared by the AFC-speaking services (media root, app containers, crash
// logs): listing, attributes, and whole-file copies in both directions.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace amd::afc {

// Opens an AFC client over a started service; replaces `afc` only on success.
int OpenConnection(nimbara::md::ServiceConnection* socket,
                   std::unique_ptr<nimbara::md::AfcConnection>& afc);

// The folder's entry names in the device's order, without "." and "..". Names that could not be
// a single entry (empty, or holding "/" or NUL) are dropped, so joining a name to its folder
// never leaves that folder. nullopt when the folder can't be read (or there is no connection).
std::optional<std::vector<std::string>> ReadDirectory(nimbara::md::AfcConnection* afc,
                                                      const std::string& path);

// The attribute pairs up to the first empty key or value; nullopt when the path doesn't exist.
std::optional<std::map<std::string, std::string>> ReadFileInfo(nimbara::md::AfcConnection* afc,
                                                               const std::string& path);

// What a walk needs of an entry: its kind ("st_ifmt") and size ("st_size") out of the same
// attribute read, with the same cut-off as ReadFileInfo; empty kind and size 0 when the device
// leaves them out, 0 when the size is not a plain non-negative number.
struct FileKindAndSize {
    std::string kind;
    std::uint64_t size = 0;
};
std::optional<FileKindAndSize> ReadFileKindAndSize(nimbara::md::AfcConnection* afc,
                                                   const std::string& path);

// The decimal size of an "st_size" value; 0 when it is not a plain non-negative number.
std::uint64_t ParseFileSize(const std::string& text);

// Copies a device file to a local file through `buffer` (its size is the chunk size). The bytes
// go to a fresh file beside `localPath`, which is renamed over `localPath` only once the device
// file was read to its end without error. 0 on success (an empty file included), else 1 and
// nothing is left behind.
int CopyToLocal(nimbara::md::AfcConnection* afc, const std::string& devicePath,
                const std::string& localPath, std::span<std::uint8_t> buffer);

// Copies a local regular file to the device through `buffer`. The local file is opened (without
// blocking, so a named pipe can't hold the copy) and checked to be a regular file before the
// device file is created or truncated: anything else changes nothing on the device. `stop` is
// asked before each chunk; true ends the copy. 0 once every byte was written; else 1, and a
// device file that was begun is removed again.
int CopyToDevice(nimbara::md::AfcConnection* afc, const std::string& localPath,
                 const std::string& devicePath, std::span<std::uint8_t> buffer,
                 const std::function<bool()>& stop = {});

// The whole file, or nullopt when it can't be opened or a read fails.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(nimbara::md::AfcConnection* afc,
                                                       const std::string& path,
                                                       std::size_t chunkSize);

std::unique_ptr<nimbara::md::AfcFile> OpenFile(nimbara::md::AfcConnection* afc,
                                               const std::string& path, int mode);
// The AFC result of closing; 1 for a null file or without a connection. Resets `file`.
int CloseFile(nimbara::md::AfcConnection* afc, std::unique_ptr<nimbara::md::AfcFile>& file);

}  // namespace amd::afc
