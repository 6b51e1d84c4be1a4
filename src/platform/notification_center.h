// Named notifications delivered synchronously on the posting thread.
//
// An observer is registered with a name and a handler and stays registered until its
// `ObserverToken` is destroyed (or `removeObserver` is called with its owner). A handler may post,
// register or remove observers while it is being delivered; an observer added during a delivery
// receives the next post, not the current one. Removing an observer waits until handlers of it
// running on other threads have returned, so the owner can be destroyed right after.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace nimbara {

struct Notification {
    std::string name;
    std::any object;  // the payload: a number, a record node, the posting control, or nothing

    // The payload as T, or a default T when it holds something else.
    template <class T>
    T objectAs(T fallback = T{}) const {
        if (const T* p = std::any_cast<T>(&object)) {
            return *p;
        }
        return fallback;
    }
};

class NotificationCenter;

// Unregisters its observer when destroyed.
class ObserverToken {
  public:
    ObserverToken() = default;
    ObserverToken(NotificationCenter* center, std::uint64_t id) : center_(center), id_(id) {}
    ObserverToken(ObserverToken&& o) noexcept : center_(o.center_), id_(o.id_) {
        o.center_ = nullptr;
    }
    ObserverToken& operator=(ObserverToken&& o) noexcept;
    ObserverToken(const ObserverToken&) = delete;
    ObserverToken& operator=(const ObserverToken&) = delete;
    ~ObserverToken() { reset(); }
    void reset();
    bool active() const { return center_ != nullptr; }

  private:
    NotificationCenter* center_ = nullptr;
    std::uint64_t id_ = 0;
};

// Keeps several tokens for one owner.
class ObserverBag {
  public:
    void add(ObserverToken token) { tokens_.push_back(std::move(token)); }
    void clear() { tokens_.clear(); }

  private:
    std::vector<ObserverToken> tokens_;
};

class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process's default centre; lives until exit.
    static NotificationCenter& defaultCenter();

    [[nodiscard]] ObserverToken addObserver(const std::string& name, Handler handler);
    void post(const std::string& name, std::any object = {});
    void post(const Notification& notification);

    // Number of live observers of a name (for tests and diagnostics).
    std::size_t observerCount(const std::string& name) const;

  private:
    friend class ObserverToken;
    struct Observer;
    void remove(std::uint64_t id);

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Observer>> observers_;
    std::uint64_t nextId_ = 1;
};

}  // namespace nimbara
