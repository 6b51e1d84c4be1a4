#include "ui/page_worker.h"

#include <atomic>
#include <thread>
#include <utility>

#include "platform/main_thread.h"
#include "platform/worker_reaper.h"

namespace nimbara::ui {

struct PageWorker::Job {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
};

PageWorker::PageWorker()
    : self_(std::make_shared<PageWorker*>(this)), reaper_(std::make_unique<WorkerReaper>()) {}

PageWorker::~PageWorker() {
    stop();
    self_.reset();
    outliveOwner(std::move(reaper_));
}

bool PageWorker::start(Body body) {
    if (job_) {
        return false;
    }
    auto job = std::make_shared<Job>();
    std::weak_ptr<PageWorker*> owner = self_;
    std::weak_ptr<Job> weak = job;
    Post post = [owner, weak](std::function<void()> step) {
        postToMain([owner, weak, step = std::move(step)] {
            const std::shared_ptr<PageWorker*> worker = owner.lock();
            const std::shared_ptr<Job> alive = weak.lock();
            if (worker && alive && (*worker)->job_ == alive) {
                step();
            }
        });
    };
    StopCheck stopCheck = [cancel = job->cancel] { return cancel->load(); };
    job->thread = std::thread([body = std::move(body), stopCheck = std::move(stopCheck),
                               post = std::move(post), done = job->done] {
        body(stopCheck, post);
        done->store(true);
    });
    job_ = std::move(job);
    return true;
}

void PageWorker::retire() {
    if (!job_) {
        return;
    }
    if (job_->thread.joinable()) {
        if (job_->done->load()) {
            job_->thread.join();  // it has ended: returns at once
        } else {
            reaper_->retire(std::move(job_->thread), job_->done);
        }
    }
    job_.reset();
}

void PageWorker::finish() {
    retire();
}

void PageWorker::stop() {
    if (job_) {
        job_->cancel->store(true);
    }
    retire();
}

std::size_t PageWorker::ending() const {
    return reaper_ ? reaper_->pending() : 0;
}

}  // namespace nimbara::ui
