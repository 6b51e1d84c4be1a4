#include "afc_locks.h"

namespace nimbara::usbmuxsim {

AfcLocks& AfcLocks::instance() {
    static AfcLocks locks;
    return locks;
}

std::uint64_t AfcLocks::newOwner() {
    std::lock_guard<std::mutex> lock(mutex_);
    return nextOwner_++;
}

bool AfcLocks::take(const std::string& key, std::uint64_t owner, Kind kind) {
    std::lock_guard<std::mutex> lock(mutex_);
    Holders& holders = locks_[key];
    if (holders.exclusive != 0 && holders.exclusive != owner) {
        return false;
    }
    if (kind == Kind::Shared) {
        holders.exclusive = 0;
        holders.shared.insert(owner);
        return true;
    }
    for (const std::uint64_t other : holders.shared) {
        if (other != owner) {
            return false;
        }
    }
    holders.shared.clear();
    holders.exclusive = owner;
    return true;
}

void AfcLocks::release(const std::string& key, std::uint64_t owner) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = locks_.find(key);
    if (it == locks_.end()) {
        return;
    }
    if (it->second.exclusive == owner) {
        it->second.exclusive = 0;
    }
    it->second.shared.erase(owner);
    if (it->second.exclusive == 0 && it->second.shared.empty()) {
        locks_.erase(it);
    }
}

OtherSyncHost& OtherSyncHost::instance() {
    static OtherSyncHost host;
    return host;
}

void OtherSyncHost::beforeLock(std::uint32_t deviceId, const std::string& key,
                               std::optional<std::chrono::milliseconds> letGoAfter) {
    if (!letGoAfter) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    State& state = devices_[deviceId];
    if (state.released) {
        return;
    }
    if (state.owner == 0) {
        state.owner = AfcLocks::instance().newOwner();
        AfcLocks::instance().take(key, state.owner, AfcLocks::Kind::Exclusive);
    }
    if (letGoAfter->count() >= 0 && state.askedAt &&
        std::chrono::steady_clock::now() >= *state.askedAt + *letGoAfter) {
        AfcLocks::instance().release(key, state.owner);
        state.released = true;
    }
}

void OtherSyncHost::lockRequested(std::uint32_t deviceId) {
    std::lock_guard<std::mutex> lock(mutex_);
    State& state = devices_[deviceId];
    if (!state.askedAt) {
        state.askedAt = std::chrono::steady_clock::now();
    }
}

}  // namespace nimbara::usbmuxsim
