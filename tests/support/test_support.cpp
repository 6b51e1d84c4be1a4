#include "test_support.h"

#include "device/device_manager.h"

#include <QCoreApplication>

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
