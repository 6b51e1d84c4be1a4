// A library wrapper that holds media-sync session starts at a gate until the test opens it, to
// catch a thread that waits for a device call in progress. A closed gate gives way by itself
// after a while, so such a wait shows up as a failed expectation instead of a hang.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::test {

class GatedLibrary : public md::Library {
  public:
    // The first `passFree` session starts go through at once; the later ones wait.
    explicit GatedLibrary(std::shared_ptr<md::Library> inner, int passFree = 0)
        : inner_(std::move(inner)), passFree_(passFree) {}

    int subscribe(md::NotificationCallback callback,
                  std::unique_ptr<md::Subscription>& subscription) override {
        return inner_->subscribe(std::move(callback), subscription);
    }
    std::unique_ptr<md::MediaSyncConnection> createMediaSyncConnection(
        const std::string& libraryId, const std::string& deviceId) override {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            threads_.insert(std::this_thread::get_id());
            if (++entered_ > passFree_) {
                ++held_;
                changed_.notify_all();
                if (!changed_.wait_for(lock, std::chrono::seconds(3), [this] { return open_; })) {
                    gaveWay_ = true;
                }
                --held_;
            }
        }
        return inner_->createMediaSyncConnection(libraryId, deviceId);
    }

    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until `count` session starts have reached the gate (passed or held).
    bool waitEntered(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return entered_ >= count; });
    }
    // Session starts held at the gate now.
    int held() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return held_;
    }
    // A held start went on because nobody opened the gate in time.
    bool gaveWay() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return gaveWay_;
    }
    std::set<std::thread::id> threads() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return threads_;
    }

  private:
    std::shared_ptr<md::Library> inner_;
    const int passFree_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool gaveWay_ = false;
    int entered_ = 0;
    int held_ = 0;
    std::set<std::thread::id> threads_;
};

}  // namespace nimbara::test
