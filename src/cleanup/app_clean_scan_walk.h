// Pieces shared by the clean-up page's scans and removals: the device a job is bound to, the
// list of installed apps, the app icons, and the category walk of one app container.
//
// The category walk lists a folder of an app container ("/Library/Caches", "/Library/Cookies",
// "/tmp" or "/Documents") at any depth (at most kMaxWalkDepth levels) and hands every file it
// keeps to its caller as a PRCleanDirNode record. Documents are kept only when their extension
// is one of the document table's (documentFileType). Names that could leave their folder are
// skipped. After every entry the walk asks the job's stop check and returns at once when the
// job must stop.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/clean_category.h"
#include "ui/core/app_tree_nodes.h"

namespace amd {
class AfcService;
class AppDirService;
class SBService;
}  // namespace amd

namespace nimbara::cleanup {

// The device a clean-up job was started for, and the caller's stop check. A job stops for good
// when the caller asks it to, or when ITS device (this index AND serial) is no longer attached,
// even when another device took the same index meanwhile.
class CleanJobDevice {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now

    // `serial` 0: the serial of the device at `index` now.
    CleanJobDevice(int index, std::uint64_t serial, StopCheck cancel);

    int index() const { return index_; }
    std::uint64_t serial() const { return serial_; }
    // Asks the stop check and the device manager; once true, always true.
    bool shouldStop();
    bool stopped() const { return stopped_; }

    // Binds `service` (Init with the job's index and `args`) and checks afterwards that the
    // bound device is the job's own. 0 on success; the service's nonzero code when the device
    // refused; kStopped when the job stopped (no code is kept then).
    static constexpr int kStopped = std::numeric_limits<int>::min();
    template <class Service, class... Args>
    int bind(Service& service, const Args&... args) {
        if (shouldStop()) {
            return kStopped;
        }
        const int rc = service.Init(index_, args...);
        if (shouldStop()) {
            return kStopped;
        }
        return rc;
    }

  private:
    int index_;
    std::uint64_t serial_;
    StopCheck cancel_;
    bool stopped_ = false;
};

class CleanAppIcons;

// One installed app as the clean-up page needs it.
struct CleanAppInfo {
    std::string bundleId;
    QString displayName;   // "CFBundleDisplayName", else "CFBundleName", else the identifier
    QString version;       // "CFBundleShortVersionString", else "CFBundleVersion"
    bool userApp = false;  // "ApplicationType" is "User"
};

// The installed apps in the lookup's key order; identifiers that can't name an app folder are
// left out. nullopt when the installation service can't be bound or the lookup fails, with the
// device's code in `refused` (0 when the job stopped: stopping is no refusal).
std::optional<std::vector<CleanAppInfo>> lookupCleanApps(CleanJobDevice& device, int& refused);

// Visits the apps in order, each with the job's icons, until the job stops; after each app
// visited in full, `appDone` with the number of apps done so far. Logs the identifiers.
void visitCleanApps(CleanJobDevice& device, const std::vector<CleanAppInfo>& apps,
                    const std::function<void(const CleanAppInfo&, CleanAppIcons&)>& visit,
                    const std::function<void(int done, const CleanAppInfo&)>& appDone);

// Opens the app's container for the job. False when it can't: a container the device refused
// (for any reason but the app having none, as built-in apps don't) is added to `refused`.
bool openContainer(amd::AppDirService& container, CleanJobDevice& device,
                   const std::string& bundleId, std::vector<std::string>& refused);

// App icons over one home-screen service connection, bound on first use (and not again once it
// failed). Icons are kept per identifier for the job's length.
class CleanAppIcons {
  public:
    explicit CleanAppIcons(CleanJobDevice& device);
    ~CleanAppIcons();
    CleanAppIcons(const CleanAppIcons&) = delete;
    CleanAppIcons& operator=(const CleanAppIcons&) = delete;

    // PNG data; empty when the device has none for the app or the service can't be bound.
    QByteArray iconFor(const std::string& bundleId);

  private:
    CleanJobDevice& device_;
    std::unique_ptr<amd::SBService> service_;
    bool tried_ = false;
    std::vector<std::pair<std::string, QByteArray>> known_;
};

// The document table's index of `extension` (without the dot, any letter case); -1 for a null
// or unlisted extension.
int documentFileType(const char* extension);
// The table itself, in lookup order (46 names, without the closing empty entry).
const std::vector<const char*>& documentFileTypeTable();

// The extension of a file name: the text after its last ".", not counting a leading "." (a
// hidden file named ".mp3" has none). Empty when there is none.
std::string cleanFileExtension(const std::string& name);

// The text of a path label: a path of fewer than 36 characters whole, a longer one as "..." and
// its last 34 characters.
QString cleanPathLabelText(const QString& path);

// A record of one found file. Every record carries fileType "FILE", isFile and the app's icon
// (as PNG data, or the image name "NULLImage.png" without one).
std::shared_ptr<PRCleanDirNode> makeCleanFileRecord(const std::string& path, std::uint64_t size,
                                                    const CleanAppInfo& app,
                                                    const QByteArray& icon);

class CategoryWalk {
  public:
    static constexpr int kMaxWalkDepth = 64;
    using FileFound = std::function<void(CleanCategory, std::shared_ptr<PRCleanDirNode>)>;

    CategoryWalk(amd::AfcService& container, CleanJobDevice& device, const CleanAppInfo& app,
                 QByteArray icon, FileFound onFile);

    // Visits the category's top-level path: a folder is walked, a regular file becomes one
    // record (a document only when its extension is listed). A missing path adds nothing.
    void visitCategoryPath(const std::string& path, CleanCategory category);
    // Keeps every document, whatever its extension (the large-file finder's walk).
    void keepEveryDocument() { everyDocument_ = true; }
    // Walks the folder `path` (its sub-folders too).
    void traverseDirWithpath(const std::string& path, CleanCategory category, int depth = 0);

  private:
    void fileFound(const std::string& path, std::uint64_t size, CleanCategory category);

    amd::AfcService& container_;
    CleanJobDevice& device_;
    const CleanAppInfo& app_;
    QByteArray icon_;
    FileFound onFile_;
    bool everyDocument_ = false;
};

// The files of one category with their bytes.
struct CleanCategoryList {
    std::vector<std::shared_ptr<PRCleanDirNode>> files;
    std::uint64_t bytes = 0;

    std::uint64_t count() const { return files.size(); }
    void add(std::shared_ptr<PRCleanDirNode> record);
};

}  // namespace nimbara::cleanup
