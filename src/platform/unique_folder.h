// A folder with a fresh name of its own, removed with its contents when the object goes away
// unless released: the staging area of a device, a backup or a restore being built, or a test's
// scratch.
#pragma once

#include <filesystem>
#include <string>

namespace nimbara {

class UniqueFolder {
  public:
    // Makes "<parent>/<prefix>-XXXXXX" (mode 0700); valid() tells whether that worked.
    UniqueFolder(const std::filesystem::path& parent, const std::string& prefix);
    ~UniqueFolder();
    UniqueFolder(const UniqueFolder&) = delete;
    UniqueFolder& operator=(const UniqueFolder&) = delete;

    bool valid() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    // Keeps the folder: it has been moved into place or must survive.
    void release() { path_.clear(); }

  private:
    std::filesystem::path path_;
};

}  // namespace nimbara
