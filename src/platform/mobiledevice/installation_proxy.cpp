// Installation proxy operations over any backend's service connections: length-prefixed
// property lists, a command frame out and status frames back until "Complete" or "Error".
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace fs = std::filesystem;

namespace nimbara::md {

namespace {

constexpr const char* kInstallationProxy = "com.apple.mobile.installation_proxy";
constexpr const char* kStagingFolder = "/PublicStaging";
constexpr std::size_t kUploadChunk = 64 * 1024;

// Sends one command and reads its status frames until the operation ends.
int runCommand(ServiceConnection& proxy, const PlistValue& request,
               const StatusCallback& callback) {
    if (int rc = sendFrame(proxy, request)) {
        return rc;
    }
    for (;;) {
        auto reply = receiveFrame(proxy);
        if (!reply || !reply->isDict()) {
            return proxy.timedOut() ? Error::Timeout : Error::ProtocolError;
        }
        if (callback) {
            callback(*reply);
        }
        if (reply->contains("Error")) {
            return Error::Refused;
        }
        if ((*reply)["Status"].toString() == "Complete") {
            return Error::Ok;
        }
    }
}

PlistValue command(const char* name, const PlistValue& options) {
    PlistValue request = PlistValue::dict();
    request["Command"] = name;
    request["ClientOptions"] = options.isDict() ? options : PlistValue::dict();
    return request;
}

int appCommand(const char* name, ServiceConnection& proxy, const std::string& bundleId,
               const PlistValue& options, const StatusCallback& callback) {
    if (bundleId.empty()) {
        return Error::InvalidArgument;
    }
    PlistValue request = command(name, options);
    request["ApplicationIdentifier"] = bundleId;
    return runCommand(proxy, request, callback);
}

// The last component of a local path, ignoring trailing separators.
std::string baseName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    const auto slash = trimmed.find_last_of('/');
    std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || name == "." || name == ".." || name == "/") {
        return {};
    }
    return name;
}

// Removes a staged tree left by an earlier transfer (AFC removes only files and empty folders).
int removeTree(AfcConnection& afc, const std::string& path) {
    std::vector<std::pair<std::string, std::string>> info;
    if (afc.fileInfo(path, info) != AfcError::Ok) {
        return AfcError::Ok;  // nothing there
    }
    const bool isDir = std::any_of(info.begin(), info.end(), [](const auto& pair) {
        return pair.first == "st_ifmt" && pair.second == "S_IFDIR";
    });
    if (isDir) {
        std::vector<std::string> names;
        if (int rc = afc.readDirectory(path, names)) {
            return rc;
        }
        for (const auto& name : names) {
            if (name != "." && name != "..") {
                if (int rc = removeTree(afc, path + "/" + name)) {
                    return rc;
                }
            }
        }
    }
    return afc.removePath(path);
}

class Uploader {
  public:
    Uploader(AfcConnection& afc, const StatusCallback& callback, std::uint64_t total)
        : afc_(afc), callback_(callback), total_(total) {}

    int uploadFile(const fs::path& local, const std::string& remote) {
        report(remote);
        std::ifstream in(local, std::ios::binary);
        if (!in) {
            return Error::InvalidArgument;
        }
        std::unique_ptr<AfcFile> file;
        if (int rc = afc_.openFile(remote, AfcMode::Write, file)) {
            return rc;
        }
        std::vector<char> buffer(kUploadChunk);
        while (in) {
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            const auto n = static_cast<std::size_t>(in.gcount());
            if (n == 0) {
                break;
            }
            if (int rc = file->write(buffer.data(), n)) {
                return rc;
            }
            done_ += n;
        }
        if (in.bad()) {
            return Error::InvalidArgument;
        }
        return file->close();
    }

    int uploadFolder(const fs::path& local, const std::string& remote) {
        report(remote);
        if (int rc = afc_.makeDirectory(remote)) {
            return rc;
        }
        std::vector<fs::directory_entry> entries;
        std::error_code ec;
        for (fs::directory_iterator it(local, ec); !ec && it != fs::directory_iterator();
             it.increment(ec)) {
            entries.push_back(*it);
        }
        if (ec) {
            return Error::InvalidArgument;
        }
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a.path().filename() < b.path().filename();
        });
        for (const auto& entry : entries) {
            const auto status = entry.symlink_status(ec);
            const std::string target = remote + "/" + entry.path().filename().string();
            int rc = Error::Ok;
            if (fs::is_directory(status)) {
                rc = uploadFolder(entry.path(), target);
            } else if (fs::is_regular_file(status)) {
                rc = uploadFile(entry.path(), target);
            }  // links and special files stay behind
            if (rc) {
                return rc;
            }
        }
        return Error::Ok;
    }

  private:
    void report(const std::string& remote) {
        if (!callback_) {
            return;
        }
        PlistValue status = PlistValue::dict();
        status["Status"] = "CopyingFile";
        status["Path"] = remote;
        status["PercentComplete"] = static_cast<int>(total_ ? done_ * 100 / total_ : 0);
        callback_(status);
    }

    AfcConnection& afc_;
    const StatusCallback& callback_;
    const std::uint64_t total_;
    std::uint64_t done_ = 0;
};

std::uint64_t localSize(const fs::path& path) {
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(path, ec))) {
        return fs::file_size(path, ec);
    }
    std::uint64_t total = 0;
    for (fs::recursive_directory_iterator it(path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeError;
        if (!it->is_symlink(sizeError) && it->is_regular_file(sizeError)) {
            total += it->file_size(sizeError);
        }
    }
    return total;
}

// "Install" or "Upgrade" of a package staged by transferApplication under its own name.
int installCommand(const char* name, ServiceConnection& proxy, const std::string& packagePath,
                   const PlistValue& options, const StatusCallback& callback) {
    std::string devicePath = packagePath;
    if (!devicePath.starts_with("PublicStaging/")) {
        const std::string base = baseName(packagePath);
        if (base.empty()) {
            return Error::InvalidArgument;
        }
        devicePath = "PublicStaging/" + base;
    }
    PlistValue request = command(name, options);
    request["PackagePath"] = devicePath;
    return runCommand(proxy, request, callback);
}

}  // namespace

int lookupApplications(Device& device, const PlistValue& options, PlistValue& result) {
    result = PlistValue::dict();
    std::unique_ptr<ServiceConnection> proxy;
    if (int rc = device.startService(kInstallationProxy, proxy)) {
        return rc;
    }
    return lookupApplications(*proxy, options, result);
}

int lookupApplications(ServiceConnection& proxy, const PlistValue& options, PlistValue& result) {
    result = PlistValue::dict();
    // The apps come in several frames; the result holds them all, or nothing on a failure.
    PlistValue merged = PlistValue::dict();
    const int rc = runCommand(proxy, command("Lookup", options), [&](const PlistValue& reply) {
        for (const auto& [bundleId, attributes] : reply["LookupResult"].toDict()) {
            merged[bundleId] = attributes;
        }
    });
    if (rc == Error::Ok) {
        result = std::move(merged);
    }
    return rc;
}

int installApplication(ServiceConnection& proxy, const std::string& packagePath,
                       const PlistValue& options, const StatusCallback& callback) {
    return installCommand("Install", proxy, packagePath, options, callback);
}

int upgradeApplication(ServiceConnection& proxy, const std::string& packagePath,
                       const PlistValue& options, const StatusCallback& callback) {
    return installCommand("Upgrade", proxy, packagePath, options, callback);
}

int uninstallApplication(ServiceConnection& proxy, const std::string& bundleId,
                         const PlistValue& options, const StatusCallback& callback) {
    return appCommand("Uninstall", proxy, bundleId, options, callback);
}

int archiveApplication(ServiceConnection& proxy, const std::string& bundleId,
                       const PlistValue& options, const StatusCallback& callback) {
    return appCommand("Archive", proxy, bundleId, options, callback);
}

int removeApplicationArchive(ServiceConnection& proxy, const std::string& bundleId,
                             const PlistValue& options, const StatusCallback& callback) {
    return appCommand("RemoveArchive", proxy, bundleId, options, callback);
}

int transferApplication(ServiceConnection& afcService, const std::string& packagePath,
                        const StatusCallback& callback) {
    const std::string name = baseName(packagePath);
    std::error_code ec;
    const fs::path local(packagePath);
    const auto status = fs::status(local, ec);
    if (name.empty() || (!fs::is_directory(status) && !fs::is_regular_file(status))) {
        return Error::InvalidArgument;
    }
    std::unique_ptr<AfcConnection> afc;
    if (int rc = afcService.openAfc(afc)) {
        return rc;
    }
    if (int rc = afc->makeDirectory(kStagingFolder)) {
        return rc;
    }
    const std::string remote = std::string(kStagingFolder) + "/" + name;
    if (int rc = removeTree(*afc, remote)) {
        return rc;
    }
    Uploader uploader(*afc, callback, localSize(local));
    const int rc = fs::is_directory(status) ? uploader.uploadFolder(local, remote)
                                            : uploader.uploadFile(local, remote);
    afc->close();
    return rc;
}

}  // namespace nimbara::md
