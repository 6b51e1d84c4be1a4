// A folder that a simulated service exposes (the media root, the crash area, an app container),
// and the rules that keep every path a caller gives inside it.
//
// An area is a trusted base folder (a device's folder, reached through its open descriptor) and
// a path below it whose every component must be a real folder: an area that is a link, or lies
// below one, is refused, so it can never lead out of the device's folder. The base is opened once
// when the area is made; the area's own folder is opened from it again by every operation, never
// following a link, so a folder swapped for a link later is refused from then on.
//
// Paths are normalised lexically first: empty and "." components vanish and ".." never climbs
// above the area's root. Then the real location is found relative to the opened root: links on
// the way are followed only while they stay inside the area (the kernel's RESOLVE_BENEATH where it
// has it, else name by name, reading each link ourselves); the last component is followed only by
// the operations that open it (a file or a folder listing), and then must stay inside too. What an
// operation acts on is named through an open folder (a Place), never through a path that was
// looked up separately, so the cost of an operation does not depend on how deep the device's
// folder lies on the host.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/device_path.h"

namespace nimbara::md::sim {

// Maps an errno value to the closest AFC status code.
int afcErrorFromErrno(int error);

// A file descriptor, closed on destruction when owned.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd), owned_(true) {}
    // A descriptor that someone else keeps open.
    static Fd borrowed(int fd);
    Fd(Fd&& other) noexcept;
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    bool owned_ = false;
};

// Where an area path leads: a folder inside the area held open, and the name of the entry in it.
// An empty name means the folder's own descriptor is the entry (the area's root, or what a link
// led to).
class Place {
  public:
    int folder() const { return folder_.get(); }
    const std::string& name() const { return name_; }
    // A host path naming the entry through the open descriptor; valid while the place lives.
    std::filesystem::path path() const;

  private:
    friend class Area;
    std::shared_ptr<const Fd> root_;  // keeps the area's root open when folder_ borrows it
    Fd folder_;
    std::string name_;
};

class Area {
  public:
    explicit Area(const std::filesystem::path& base, const std::filesystem::path& sub = {});

    // AfcError::Ok when the area can be used; PermissionDenied when it is (or lies below) a
    // link, NotFound when it is missing.
    int check() const;

    enum class Follow { No, Yes };

    // The real location of an area path. With Follow::No the last component is left as it is
    // (so a symbolic link names itself); with Follow::Yes a link there is resolved and must
    // stay inside. The parent folder must exist. Returns an AFC status code.
    int locate(const std::string& path, Follow follow, Place& out) const;

    // Creates the folder and its missing parents, following links only where they stay inside.
    // `out` receives the folder.
    int makeDirectory(const std::string& path, Place* out = nullptr) const;

    // Removes a file, a link or an empty folder; never the area's root.
    int removePath(const std::string& path) const;

    int renamePath(const std::string& from, const std::string& to) const;

    // The entry names of a folder sorted by name, without "." and "..".
    int listDirectory(const std::string& path, std::vector<std::string>& names) const;

    // Test hook: resolve name by name even where the kernel could do it, so that both ways are
    // tested.
    static void setNameByNameOnly(bool on);

  private:
    using Root = std::shared_ptr<const Fd>;
    // Opens the area's root (never through a link). An AFC status code.
    int openRoot(Root& root) const;
    // Splits `path` and opens the area's root: the common start of every operation.
    int begin(const std::string& path, std::vector<std::string>& parts, Root& root) const;
    // locate() for a split path below the opened root.
    int locate(const Root& root, const std::vector<std::string>& parts, Follow follow,
               Place& out) const;
    // The common case in one step: when no link lies on the way from the base to the entry's
    // folder (`folder`, relative to the base), the kernel opens that folder directly, and it
    // lies inside the area by construction. False when the general way must decide (a link on
    // the way or at `name` to be followed, a missing folder, no openat2).
    bool locateWithoutLinks(const std::string& folder, const std::string& name, Follow follow,
                            Place& out) const;
    // A folder below the area's root (names joined by "/") relative to the base.
    std::string relativeToBase(const std::string& folder) const;
    // Splits `path` and locates it: without links in one step, else from the opened root.
    int find(const std::string& path, Follow follow, std::vector<std::string>& parts,
             Place& out) const;

    std::shared_ptr<const Fd> base_;
    std::string sub_;  // the area's folder relative to the base, "" for the base itself
    bool subValid_ = true;
};

}  // namespace nimbara::md::sim
