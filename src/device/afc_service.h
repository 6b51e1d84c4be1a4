// File access on the device over AFC: the media area ("com.apple.afc") by default.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/afc_file_ops.h"
#include "device/base_service.h"
#include "platform/mobiledevice/mobile_device.h"

namespace amd {

class AfcService : public BaseService {
  public:
    AfcService();
    // Closes the AFC connection; the base then closes the service connection.
    ~AfcService() override;

    // Binds to the device, starts "com.apple.afc" and opens AFC on it: the first nonzero result,
    // else 0.
    int Init(int deviceIndex) override;
    // The same on a device given by the caller (see BaseService::Bind).
    int InitOn(int deviceIndex, const std::shared_ptr<BaseDevice>& device);

    // The entry names without "." and ".."; nullopt when the folder can't be opened.
    std::optional<std::vector<std::string>> ReadDirectory(const std::string& path);
    // Every attribute the device reports ("st_ifmt", "st_size", "st_mtime", ...); nullopt when
    // the path doesn't exist.
    std::optional<std::map<std::string, std::string>> GetFileInfo(const std::string& path);
    // The kind and size out of the same attribute read, for walks over many entries.
    std::optional<afc::FileKindAndSize> GetFileKindAndSize(const std::string& path);

    // 0 once the whole device file is in `localPath` (an empty file included); else 1 and
    // `localPath` is left as it was.
    int CopyFileToLocal(const std::string& devicePath, const std::string& localPath);
    // 0 once the whole local file is on the device; else 1. A local file that can't be read, or
    // is not a regular file, leaves the device untouched; `stop` returning true ends the copy.
    int CopyFileToDevice(const std::string& localPath, const std::string& devicePath,
                         const std::function<bool()>& stop = {});

    // The AFC result (0 = done); 1 without a connection.
    int RemovePath(const std::string& path);
    int CreateDirectory(const std::string& path);
    int RenamePath(const std::string& from, const std::string& to);

    // The whole file; empty when it can't be opened or read to its end.
    std::vector<std::uint8_t> ReadFile(const std::string& path);
    // Creates or truncates the file and writes `bytes`: 0 on success, else 1 or the AFC code.
    int WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

    // Null on failure or without a connection.
    std::unique_ptr<nimbara::md::AfcFile> OpenFile(const std::string& path, int mode);
    // The AFC result; 1 for a null file or without a connection. Resets `file`.
    int CloseFile(std::unique_ptr<nimbara::md::AfcFile>& file);

    // Copies a local app package to the device's staging area over this service.
    int TransferApplication(const std::string& localPath,
                            const nimbara::md::StatusCallback& callback);

    bool hasConnection() const { return afc_connection_ != nullptr; }
    // Whether the device stopped answering the service: a call waited out the time limit, and
    // the connection is lost (every later call fails). A refusal, a missing file or a device
    // that went is no time-out.
    bool TimedOut() const { return socket_ && socket_->timedOut(); }

  protected:
    // Binds, starts `serviceName` and opens AFC on it.
    int InitWithService(int deviceIndex, const std::string& serviceName);
    // Starts `serviceName` on the bound device and opens AFC on it.
    int StartAfc(const std::string& serviceName);
    // Opens AFC on the object's service connection.
    int OpenAfcConnection();
    void CloseAfcConnection();

    std::unique_ptr<nimbara::md::AfcConnection> afc_connection_;  // null until Init succeeds
};

// The same operations over "com.apple.afc2".
class Afc2Service : public AfcService {
  public:
    int Init(int deviceIndex) override;
};

}  // namespace amd
