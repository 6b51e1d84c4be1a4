// The process's private scratch space: one folder per process, readable only by the user.
//
// The root is made on first use under $TMPDIR (or /tmp) with a random name and mode 0700, and is
// removed with its contents when the process exits normally. Fixed scratch names ("DB", "Photos",
// "tmp/<device>") live below it, so no two users or processes share a scratch path.
#pragma once

#include <filesystem>
#include <string>

namespace nimbara {

// The scratch root; created on first use. Empty when it could not be made.
std::filesystem::path scratchRoot();

// "<root>/<name>", created (with any missing levels, each mode 0700) when it does not exist yet.
// `name` is a relative path whose components are plain names: empty, absolute or dotted names
// ("", "/x", "..", "a/../b") and anything that exists but is not a real folder give an empty path.
std::filesystem::path scratchFolder(const std::string& name);

// True when `name` can be used as one path component: not empty, not "." or "..", at most 255
// bytes, and only letters, digits, '.', '-' and '_'.
bool isSafePathComponent(const std::string& name);

// Removes the root with its contents now (also done at normal exit). A later call of
// scratchRoot() makes a fresh one.
void removeScratchRoot();

}  // namespace nimbara
