#include "platform/scratch_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <vector>

namespace nimbara {

namespace fs = std::filesystem;

namespace {

std::mutex g_scratchMutex;
fs::path g_root;        // guarded by g_scratchMutex
pid_t g_rootOwner = 0;  // the process that made g_root
bool g_cleanupRegistered = false;

fs::path temporaryBase() {
    const char* env = std::getenv("TMPDIR");
    if (env && env[0] == '/') {
        std::error_code ec;
        if (fs::is_directory(fs::path(env), ec)) {
            return fs::path(env);
        }
    }
    return fs::path("/tmp");
}

void removeRootLocked() {
    // A forked child that exits must not remove its parent's folder.
    if (!g_root.empty() && g_rootOwner == getpid()) {
        std::error_code ec;
        fs::remove_all(g_root, ec);
    }
    g_root.clear();
    g_rootOwner = 0;
}

void removeAtExit() {
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    removeRootLocked();
}

fs::path rootLocked() {
    if (!g_root.empty()) {
        return g_root;
    }
    const std::string pattern = (temporaryBase() / "nimbara-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {  // mode 0700
        return {};
    }
    g_root = fs::path(buf.data());
    g_rootOwner = getpid();
    if (!g_cleanupRegistered) {
        g_cleanupRegistered = std::atexit(removeAtExit) == 0;
    }
    return g_root;
}

// A real folder (not a link to one) owned by us.
bool isOwnFolder(const fs::path& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

}  // namespace

bool isSafePathComponent(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

fs::path scratchRoot() {
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    return rootLocked();
}

fs::path scratchFolder(const std::string& name) {
    const fs::path relative(name);
    if (name.empty() || relative.is_absolute()) {
        return {};
    }
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    fs::path current = rootLocked();
    if (current.empty()) {
        return {};
    }
    for (const fs::path& part : relative) {
        const std::string component = part.string();
        if (component.empty()) {
            continue;  // a trailing "/"
        }
        if (!isSafePathComponent(component)) {
            return {};
        }
        current /= component;
        if (mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) {
            return {};
        }
        if (!isOwnFolder(current)) {
            return {};
        }
    }
    return current;
}

void removeScratchRoot() {
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    removeRootLocked();
}

}  // namespace nimbara
