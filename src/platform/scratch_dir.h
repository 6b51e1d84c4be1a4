// The process's private scratch space: one folder per process, readable only by the user.
//
// The root is made on first use under $TMPDIR (or /tmp) with mode 0700 and the name
// "nimbara-<pid>-<6 random letters>", and is removed with its contents when the process exits
// normally. The process holds a lock on the file ".lock" inside it for as long as the root
// exists, so a root whose lock anyone can take was left behind by a process that crashed or was
// killed; removeAbandonedScratchRoots() clears those at start-up. Fixed scratch names ("DB",
// "Photos", "tmp/<device>") live below the root, so no two users or processes share a scratch
// path.
#pragma once

#include <cstddef>
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

// Removes, with their contents, the scratch roots in `base` that their process left behind: real
// folders (not links) of this user with mode 0700 and a root's name, whose ".lock" nobody holds
// (or, while a root is still being made and has no lock yet, whose process is gone). Anything
// else is left alone, and no link is ever followed. The number of roots removed.
std::size_t removeAbandonedScratchRoots(const std::filesystem::path& base);
// The same in the temporary folder the roots are made in.
std::size_t removeAbandonedScratchRoots();

}  // namespace nimbara
