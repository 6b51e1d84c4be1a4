#include "platform/worker_reaper.h"

#include <QCoreApplication>

#include <utility>

namespace nimbara {

namespace {

constexpr int kReapIntervalMs = 10;

}  // namespace

WorkerReaper::WorkerReaper(QObject* parent) : QObject(parent) {
    timer_.setInterval(kReapIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { reap(); });
}

WorkerReaper::~WorkerReaper() {
    releaseAll();
}

void WorkerReaper::retire(std::shared_ptr<void> worker, std::function<bool()> ended) {
    if (!worker) {
        return;
    }
    retired_.push_back({std::move(worker), std::move(ended)});
    reap();
    if (!retired_.empty() && !timer_.isActive()) {
        timer_.start();
    }
}

void WorkerReaper::retire(std::thread thread, std::shared_ptr<std::atomic<bool>> done) {
    if (!thread.joinable()) {
        return;
    }
    // The holder joins when the last reference goes.
    std::shared_ptr<std::thread> holder(new std::thread(std::move(thread)), [](std::thread* t) {
        if (t->joinable()) {
            t->join();
        }
        delete t;
    });
    retire(std::move(holder), [done = std::move(done)] { return !done || done->load(); });
}

void WorkerReaper::reap() {
    // Taken out first: releasing a worker may run code that retires another.
    std::vector<Retired> ended;
    for (auto it = retired_.begin(); it != retired_.end();) {
        if (!it->ended || it->ended()) {
            ended.push_back(std::move(*it));
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
    ended.clear();
    if (retired_.empty()) {
        timer_.stop();
    }
}

void WorkerReaper::releaseAll() {
    timer_.stop();
    while (!retired_.empty()) {
        std::vector<Retired> all = std::move(retired_);
        retired_.clear();
        all.clear();  // each joins its worker, asked to stop before it was retired
    }
}

void outliveOwner(std::unique_ptr<WorkerReaper> reaper) {
    if (!reaper) {
        return;
    }
    reaper->reap();
    if (reaper->pending() == 0 || QCoreApplication::instance() == nullptr) {
        reaper->releaseAll();
        return;
    }
    WorkerReaper* orphan = reaper.release();
    orphan->setParent(QCoreApplication::instance());
    auto* check = new QTimer(orphan);
    QObject::connect(check, &QTimer::timeout, orphan, [orphan] {
        orphan->reap();
        if (orphan->pending() == 0) {
            orphan->deleteLater();
        }
    });
    check->start(20);
}

void waitForRetiredWorkers() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    // WorkerReaper has no meta-object of its own, so qobject_cast can't tell it apart.
    for (QObject* child : app->children()) {
        if (auto* reaper = dynamic_cast<WorkerReaper*>(child)) {
            reaper->releaseAll();
        }
    }
}

}  // namespace nimbara
