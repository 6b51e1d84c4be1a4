// The builder's steps on folders and files, each through the error-code forms of
// std::filesystem: a failure throws std::filesystem::filesystem_error naming the step and the
// path, as the builder's other writes do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

namespace nimbara::simdev {

void makeFolders(const std::filesystem::path& folder);
// Removes a file; one that is not there is fine.
void removeFile(const std::filesystem::path& file);
// Whether `file` is a regular file (following a link); false when that can't be told.
bool isRegularFile(const std::filesystem::path& file);
// A hard link `link` to `file`.
void linkFile(const std::filesystem::path& file, const std::filesystem::path& link);
void resizeFile(const std::filesystem::path& file, std::uintmax_t size);
void addExecutePermission(const std::filesystem::path& file);
// Copies `from` over `to`, keeping its modification time.
void copyFileAndTime(const std::filesystem::path& from, const std::filesystem::path& to);
// The path with links and "..", as far as they exist, resolved.
std::filesystem::path resolvedPath(const std::filesystem::path& path);
// Every entry of `folder` (and, when `recursive`, below it) in turn; a folder that is not there,
// or not a folder, has none.
void forEachEntry(const std::filesystem::path& folder, bool recursive,
                  const std::function<void(const std::filesystem::directory_entry&)>& visit);

}  // namespace nimbara::simdev
