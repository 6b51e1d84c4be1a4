#include <mutex>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md {

namespace {
std::mutex g_libraryMutex;
std::shared_ptr<Library> g_library;
}  // namespace

Library* library() {
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    return g_library.get();
}

void setLibrary(std::shared_ptr<Library> lib) {
    std::lock_guard<std::mutex> lock(g_libraryMutex);
    g_library = std::move(lib);
}

}  // namespace nimbara::md
