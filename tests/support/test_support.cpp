#include "test_support.h"

#include "device/device_manager.h"

#include <QCoreApplication>

#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <sys/stat.h>
#include <zip.h>

#include "platform/plist_value.h"

namespace nimbara::test {

TempDir::TempDir() : folder_(std::filesystem::temp_directory_path(), "nimbara-test") {
    if (!folder_.valid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
        previous_ = old;
    }
    setenv("TZ", zone, 1);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    if (previous_) {
        setenv("TZ", previous_->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> folderNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> filesBelow(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        if (entry.is_regular_file(ec)) {
            files.push_back(std::filesystem::relative(entry.path(), folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        previous_ = old;
    }
    ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (previous_) {
        ::setenv(name_, previous_->c_str(), 1);
    } else {
        ::unsetenv(name_);
    }
}

bool folderIsLocked(const std::filesystem::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return false;
    }
    // "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF": the third field after the kind names
    // the file as major:minor:inode.
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        if (!(fields >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK") {
            continue;
        }
        const auto colon = file.rfind(':');
        if (colon != std::string::npos &&
            file.substr(colon + 1) ==
                std::to_string(static_cast<unsigned long long>(info.st_ino))) {
            return true;
        }
    }
    return false;
}

bool writeZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        return false;
    }
    bool ok = true;
    for (const auto& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.text.data(), entry.text.size(), 0);
        const zip_int64_t at = source ? zip_file_add(archive, entry.name.c_str(), source, 0) : -1;
        if (at < 0) {
            zip_source_free(source);
            ok = false;
            break;
        }
        if (entry.mode != 0 && zip_file_set_external_attributes(
                                   archive, static_cast<zip_uint64_t>(at), 0, ZIP_OPSYS_UNIX,
                                   static_cast<zip_uint32_t>(entry.mode) << 16) != 0) {
            ok = false;
            break;
        }
    }
    if (!ok) {
        zip_discard(archive);
        return false;
    }
    return zip_close(archive) == 0;
}

std::set<std::string> zipNames(const std::filesystem::path& file) {
    std::set<std::string> names;
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!archive) {
        return names;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        if (const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0)) {
            names.insert(name);
        }
    }
    zip_discard(archive);
    return names;
}

std::filesystem::path writeAppPackage(const std::filesystem::path& folder,
                                      const std::string& bundleId, const std::string& name,
                                      const std::string& executable) {
    const std::filesystem::path package = folder / (name + ".app");
    std::filesystem::create_directories(package);
    PlistValue info = PlistValue::dict();
    info["CFBundleIdentifier"] = bundleId;
    info["CFBundleDisplayName"] = name;
    info["CFBundleName"] = name;
    info["CFBundleExecutable"] = name;
    info["CFBundleShortVersionString"] = "1.0";
    info["CFBundleVersion"] = "1";
    info.writeFile((package / "Info.plist").string());
    writeText(package / name, executable);
    return package;
}

bool waitForDeviceBinds() {
    const amd::DeviceManager& manager = amd::DeviceManager::GetInstance();
    // A bind on a busy machine may take a while: up to half a minute.
    for (int i = 0; i < 15000; ++i) {
        if (QCoreApplication::instance()) {
            QCoreApplication::processEvents();
        }
        if (manager.BindingIdle()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return manager.BindingIdle();
}

}  // namespace nimbara::test
