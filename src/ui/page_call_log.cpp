#include "ui/page_call_log.h"

#include <mutex>
#include <utility>

namespace nimbara::ui {

namespace {

struct Log {
    std::mutex mutex;
    std::vector<std::string> entries;
};

Log& log() {
    static Log instance;
    return instance;
}

}  // namespace

void PageCallLog::record(std::string entry) {
    Log& l = log();
    std::lock_guard lock(l.mutex);
    l.entries.push_back(std::move(entry));
}

std::vector<std::string> PageCallLog::entries() {
    Log& l = log();
    std::lock_guard lock(l.mutex);
    return l.entries;
}

void PageCallLog::clear() {
    Log& l = log();
    std::lock_guard lock(l.mutex);
    l.entries.clear();
}

}  // namespace nimbara::ui
