// A folder that a simulated service exposes (the media root, the crash area, an app container),
// and the rules that keep every path a caller gives inside it.
//
// An area is a trusted base folder (a device's folder, reached through its open descriptor) and
// a path below it whose every component must be a real folder: an area that is a link, or lies
// below one, is refused, so it can never lead out of the device's folder. The base is opened once
// when the area is made; the area's own folder is opened from it again by every operation (or
// held by a FolderChain, which lets go of it when it moves), never following a link, so a folder
// swapped for a link later is refused from then on.
//
// Paths are normalised lexically first: empty and "." components vanish and ".." never climbs
// above the area's root. Then the real location is found relative to the opened root: links on
// the way are followed only while they stay inside the area (the kernel's RESOLVE_BENEATH where it
// has it, else name by name, reading each link ourselves); the last component is followed only by
// the operations that open it (a file or a folder listing), and then must stay inside too. What an
// operation acts on is named through an open folder (a Place), never through a path that was
// looked up separately, so the cost of an operation does not depend on how deep the device's
// folder lies on the host.
//
// A connection may keep the folders it listed last open in a FolderChain (see below), so that a
// walk's attribute reads need no lookup from the area's root.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
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

class Area;
struct FolderWatcher;

// The folders of the path a connection listed last, held open: a walk lists a folder and then
// asks for the attributes of each of its entries, and with the folder held each of those is one
// look relative to it rather than a lookup from the area's root. The chain runs from the area's
// base down to the folder listed last; each folder is opened relative to the one above it, never
// through a link (so the area's own folders are checked as a lookup from the base checks them).
//
// A held folder could be moved out of the area, or its name given to something else (a link out,
// say), while it is held. So every folder of the chain that has another below it is watched
// (inotify) for its own move or end and for the name the chain goes on with being removed, moved
// away or moved over (the last folder's name is watched in the one above it); the news is read
// before every use, and a folder concerned is let go with everything below it, so that the call
// looks its path up afresh, as it would without the chain. Where the folders cannot be watched
// nothing is held.
//
// The watch's queue is read on every listing; before an attribute read only when the calling
// thread's doorbell rang: the kernel marks memory the thread looks at the moment it queues news,
// whichever thread or process caused them, so no system call is spent while nothing happens
// (where it can't, the queue is read every time). Safe to use from several threads.
class FolderChain {
  public:
    FolderChain();
    ~FolderChain();
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;

    // Lets go of every folder held.
    void clear();
    // Lets go of the folders at or below `path` (an area path that a rename or a removal named);
    // of all of them when the path is not in normal form.
    void forget(const std::string& path);
    // How many folders below the area's root are held (for tests).
    std::size_t heldBelowRoot();

    // Test hook: read the watch's queue before every use of a held folder, as where there is no
    // doorbell (see sim_area.cpp), so that both ways are tested.
    static void setQueueReadEveryUse(bool on);

  private:
    friend class Area;
    struct Link {
        std::string name;  // its name in the link before ("" for the base)
        Fd fd;             // O_PATH; the base's is borrowed
    };

    // The descriptor of `folder` (an area path in normal form, "" for the area's root) of `area`
    // when the chain holds it; else, with `extend`, the chain is made to end there (-1 when it
    // can't be). Needs mutex_.
    int folderLocked(const Area& area, std::string_view folder, bool extend);
    // The link of `folder` when the chain holds it, else -1. Needs mutex_.
    std::ptrdiff_t findLocked(std::string_view folder) const;
    // Keeps the first `count` links. Needs mutex_.
    void truncateLocked(std::size_t count);

    std::mutex mutex_;
    std::shared_ptr<const Fd> base_;  // the base of the area the links belong to
    std::vector<Link> links_;         // links_[0] is the base; each next one a folder in the last
    std::size_t watched_ = 0;         // the links from the base on that are watched
    std::size_t rootIndex_ = 0;       // the link of the area's root
    std::string areaPath_;            // the area path of the last link, when the root is held
    std::vector<std::size_t> ends_;   // areaPath_'s length at each link from the root on
    std::unique_ptr<FolderWatcher> watcher_;
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

    // The entry names of a folder sorted by name, without "." and "..". With a chain, a folder
    // reached without links is listed through it, and the chain then ends at that folder.
    int listDirectory(const std::string& path, std::vector<std::string>& names,
                      FolderChain* chain = nullptr) const;

    // The attributes of the entry at `path` itself (a link describes itself); an AFC status code.
    // An entry of a folder the chain holds is looked at relative to it.
    int describe(const std::string& path, struct statx& st, FolderChain* chain = nullptr) const;

    // Test hook: resolve name by name even where the kernel could do it, so that both ways are
    // tested.
    static void setNameByNameOnly(bool on);

  private:
    friend class FolderChain;
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
