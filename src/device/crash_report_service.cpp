#include "device/crash_report_service.h"

#include "device/afc_file_ops.h"

namespace amd {

namespace md = nimbara::md;

namespace {
constexpr const char* kCrashReportService = "com.apple.crashreportcopymobile";
constexpr std::size_t kCopyBufferSize = 1024 * 1024;
// Deeper folders than this are not walked: a device that reports a folder inside itself must
// not run the walk out of stack.
constexpr int kMaxDepth = 64;
}  // namespace

CrashReportService::CrashReportService() : buffer_(kCopyBufferSize) {}

CrashReportService::~CrashReportService() {
    if (afc_connection_) {
        afc_connection_->close();
    }
}

int CrashReportService::Init(int deviceIndex) {
    int rc = BaseService::Init(deviceIndex);
    if (rc != 0) {
        return rc;
    }
    rc = StartService(kCrashReportService);
    if (rc != 0) {
        return rc;
    }
    return afc::OpenConnection(socket_.get(), afc_connection_);
}

std::vector<std::string> CrashReportService::ListAllFiles() {
    std::vector<std::string> files;
    ListDirectory("/", files);
    return files;
}

void CrashReportService::ListDirectory(const std::string& path, std::vector<std::string>& files) {
    ListDirectoryAt(path, files, 0);
}

void CrashReportService::ListDirectoryAt(const std::string& path, std::vector<std::string>& files,
                                         int depth) {
    const auto names = afc::ReadDirectory(afc_connection_.get(), path);
    if (!names) {
        return;
    }
    const std::string prefix = !path.empty() && path.back() == '/' ? path : path + "/";
    for (const std::string& name : *names) {
        std::string full = prefix + name;
        if (IsDirectory(full)) {
            if (depth < kMaxDepth) {
                ListDirectoryAt(full, files, depth + 1);
            }
        } else {
            files.push_back(std::move(full));
        }
    }
}

bool CrashReportService::IsDirectory(const std::string& path) {
    const auto info = GetFileInfo(path);
    if (!info) {
        return false;
    }
    const auto kind = info->find("st_ifmt");
    return kind != info->end() && kind->second == "S_IFDIR";
}

std::optional<std::map<std::string, std::string>> CrashReportService::GetFileInfo(
    const std::string& path) {
    return afc::ReadFileInfo(afc_connection_.get(), path);
}

int CrashReportService::CopyToLocal(const std::string& devicePath, const std::string& localPath) {
    return afc::CopyToLocal(afc_connection_.get(), devicePath, localPath, buffer_);
}

int CrashReportService::RemovePath(const std::string& path) {
    return afc_connection_ ? afc_connection_->removePath(path) : 1;
}

std::unique_ptr<md::AfcFile> CrashReportService::OpenFile(const std::string& path, int mode) {
    return afc::OpenFile(afc_connection_.get(), path, mode);
}

int CrashReportService::CloseFile(std::unique_ptr<md::AfcFile>& file) {
    return afc::CloseFile(afc_connection_.get(), file);
}

}  // namespace amd
