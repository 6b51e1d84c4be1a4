// A folder that a simulated service exposes (the media root, the crash area, an app container),
// and the rules that keep every path a caller gives inside it.
//
// An area is a trusted base folder (a device's folder, reached through its open descriptor) and
// a path below it whose every component must be a real folder: an area that is a link, or lies
// below one, is refused, so it can never lead out of the device's folder.
//
// Paths are normalised lexically first: empty and "." components vanish and ".." never climbs
// above the area's root. Then the real location is checked: parent folders are resolved with
// their symbolic links and must stay inside the area; the last component is followed only by
// the operations that open it (a file or a folder listing), and then must stay inside too. What
// an operation finally acts on is named through the base, never through a path that was looked
// up separately.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace nimbara::md::sim {

// A bundle identifier that can name a folder: not empty, no "/", no "..", no NUL, no leading
// ".", at most 255 bytes.
bool isValidBundleId(const std::string& id);

// One path component that names an entry: not empty, not "." or "..", no "/" and no NUL.
bool isValidFileName(const std::string& name);

// Maps an errno value to the closest AFC status code.
int afcErrorFromErrno(int error);

class Area {
  public:
    explicit Area(std::filesystem::path base, std::filesystem::path sub = {});

    // The area's root, named through the base.
    const std::filesystem::path& root() const { return root_; }

    // AfcError::Ok when the area can be used; PermissionDenied when it is (or lies below) a
    // link, NotFound when it is missing.
    int check() const;

    enum class Follow { No, Yes };

    // The real location of an area path. With Follow::No the last component is left as it is
    // (so a symbolic link names itself); with Follow::Yes a link there is resolved and must
    // stay inside. The parent folder must exist. Returns an AFC status code.
    int resolve(const std::string& path, Follow follow, std::filesystem::path& out) const;

    // Creates the folder and its missing parents, following links only where they stay inside.
    int makeDirectory(const std::string& path, std::filesystem::path* out = nullptr) const;

    // Removes a file, a link or an empty folder; never the area's root.
    int removePath(const std::string& path) const;

    int renamePath(const std::string& from, const std::string& to) const;

    // The entry names of a folder sorted by name, without "." and "..".
    int listDirectory(const std::string& path, std::vector<std::string>& names) const;

  private:
    // The real (resolved) location of the area's root.
    int realRoot(std::filesystem::path& out) const;
    // Splits `path` and resolves the area's root: the common start of every operation.
    int begin(const std::string& path, std::vector<std::string>& parts,
              std::filesystem::path& real) const;
    // resolve() for a split path below the already resolved root.
    int locate(const std::filesystem::path& real, const std::vector<std::string>& parts,
               Follow follow, std::filesystem::path& out) const;
    // The location `path` (resolved, inside `real`) named through the base.
    std::filesystem::path reach(const std::filesystem::path& real,
                                const std::filesystem::path& path) const;

    std::filesystem::path base_;
    std::filesystem::path sub_;
    std::filesystem::path root_;
};

}  // namespace nimbara::md::sim
