#include "device/afc_service.h"

#include <array>

#include "device/afc_file_ops.h"

namespace amd {

namespace md = nimbara::md;

namespace {
constexpr std::size_t kChunkSize = 4096;
constexpr const char* kAfcServiceName = "com.apple.afc";
constexpr const char* kAfc2ServiceName = "com.apple.afc2";
}  // namespace

AfcService::AfcService() = default;

AfcService::~AfcService() {
    CloseAfcConnection();
}

int AfcService::Init(int deviceIndex) {
    return InitWithService(deviceIndex, kAfcServiceName);
}

int AfcService::InitOn(int deviceIndex, const std::shared_ptr<BaseDevice>& device) {
    const int rc = Bind(deviceIndex, device);
    return rc != 0 ? rc : StartAfc(kAfcServiceName);
}

int AfcService::InitWithService(int deviceIndex, const std::string& serviceName) {
    const int rc = BaseService::Init(deviceIndex);
    return rc != 0 ? rc : StartAfc(serviceName);
}

int AfcService::StartAfc(const std::string& serviceName) {
    CloseAfcConnection();
    const int rc = StartService(serviceName);
    if (rc != 0) {
        return rc;
    }
    return OpenAfcConnection();
}

int AfcService::OpenAfcConnection() {
    return afc::OpenConnection(socket_.get(), afc_connection_);
}

void AfcService::CloseAfcConnection() {
    if (afc_connection_) {
        afc_connection_->close();
        afc_connection_.reset();
    }
}

std::optional<std::vector<std::string>> AfcService::ReadDirectory(const std::string& path) {
    return afc::ReadDirectory(afc_connection_.get(), path);
}

std::optional<std::map<std::string, std::string>> AfcService::GetFileInfo(const std::string& path) {
    return afc::ReadFileInfo(afc_connection_.get(), path);
}

std::optional<afc::FileKindAndSize> AfcService::GetFileKindAndSize(const std::string& path) {
    return afc::ReadFileKindAndSize(afc_connection_.get(), path);
}

int AfcService::CopyFileToLocal(const std::string& devicePath, const std::string& localPath) {
    std::array<std::uint8_t, kChunkSize> buffer;
    return afc::CopyToLocal(afc_connection_.get(), devicePath, localPath, buffer);
}

int AfcService::CopyFileToDevice(const std::string& localPath, const std::string& devicePath,
                                 const std::function<bool()>& stop) {
    std::array<std::uint8_t, kChunkSize> buffer;
    return afc::CopyToDevice(afc_connection_.get(), localPath, devicePath, buffer, stop);
}

int AfcService::RemovePath(const std::string& path) {
    return afc_connection_ ? afc_connection_->removePath(path) : 1;
}

int AfcService::CreateDirectory(const std::string& path) {
    return afc_connection_ ? afc_connection_->makeDirectory(path) : 1;
}

int AfcService::RenamePath(const std::string& from, const std::string& to) {
    return afc_connection_ ? afc_connection_->renamePath(from, to) : 1;
}

std::vector<std::uint8_t> AfcService::ReadFile(const std::string& path) {
    auto bytes = afc::ReadWholeFile(afc_connection_.get(), path, kChunkSize);
    return bytes ? std::move(*bytes) : std::vector<std::uint8_t>{};
}

int AfcService::WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<md::AfcFile> file = OpenFile(path, md::AfcMode::Write);
    if (!file) {
        return 1;
    }
    const int written = bytes.empty() ? 0 : file->write(bytes.data(), bytes.size());
    const int closed = CloseFile(file);
    return written != 0 ? written : closed;
}

std::unique_ptr<md::AfcFile> AfcService::OpenFile(const std::string& path, int mode) {
    return afc::OpenFile(afc_connection_.get(), path, mode);
}

int AfcService::CloseFile(std::unique_ptr<md::AfcFile>& file) {
    return afc::CloseFile(afc_connection_.get(), file);
}

int AfcService::TransferApplication(const std::string& localPath,
                                    const md::StatusCallback& callback) {
    if (!socket_) {
        return 1;
    }
    return md::transferApplication(*socket_, localPath, callback);
}

int Afc2Service::Init(int deviceIndex) {
    return InitWithService(deviceIndex, kAfc2ServiceName);
}

}  // namespace amd
