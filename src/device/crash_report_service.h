// The device's crash-log area ("com.apple.crashreportcopymobile"), spoken over AFC.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/base_service.h"
#include "platform/mobiledevice/mobile_device.h"

namespace amd {

class CrashReportService : public BaseService {
  public:
    CrashReportService();
    // Closes the AFC connection; the base then closes the service connection.
    ~CrashReportService() override;

    // Binds, starts the crash-report copy service and opens AFC on it: the first nonzero
    // result, else 0.
    int Init(int deviceIndex) override;

    // The full path of every file under "/", folders walked to any depth but not listed
    // themselves. Empty when unbound or nothing can be read.
    std::vector<std::string> ListAllFiles();
    // Appends the files under `path` (recursively) to `files`; an unreadable folder adds nothing.
    void ListDirectory(const std::string& path, std::vector<std::string>& files);
    bool IsDirectory(const std::string& path);
    std::optional<std::map<std::string, std::string>> GetFileInfo(const std::string& path);

    // 0 once the whole log is in `localPath` (an empty one included); else 1 and `localPath` is
    // left as it was. Copies through the object's one buffer.
    int CopyToLocal(const std::string& devicePath, const std::string& localPath);
    // The AFC result (0 = removed); 1 without a connection.
    int RemovePath(const std::string& path);
    std::unique_ptr<nimbara::md::AfcFile> OpenFile(const std::string& path, int mode);
    int CloseFile(std::unique_ptr<nimbara::md::AfcFile>& file);

    bool hasConnection() const { return afc_connection_ != nullptr; }

  protected:
    std::unique_ptr<nimbara::md::AfcConnection> afc_connection_;  // null until Init succeeds

  private:
    void ListDirectoryAt(const std::string& path, std::vector<std::string>& files, int depth);

    std::vector<std::uint8_t> buffer_;  // the copy buffer, 1 MiB, reused by every copy
};

}  // namespace amd
