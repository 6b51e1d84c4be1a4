#include "platform/job_runner.h"

#include <atomic>
#include <thread>
#include <utility>

#include "platform/main_thread.h"
#include "platform/worker_reaper.h"

namespace nimbara {

struct JobRunner::Job {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
    Binding binding;
};

JobRunner::JobRunner()
    : self_(std::make_shared<JobRunner*>(this)), reaper_(std::make_unique<WorkerReaper>()) {}

JobRunner::~JobRunner() {
    stop();
    self_.reset();
    outliveOwner(std::move(reaper_));
}

bool JobRunner::start(Body body, Binding binding) {
    if (job_) {
        return false;
    }
    if (!binding) {
        binding = [] { return true; };
    }
    auto job = std::make_shared<Job>();
    std::weak_ptr<JobRunner*> owner = self_;
    std::weak_ptr<Job> weak = job;
    Post post = [owner, weak](std::function<void()> step) {
        postToMain([owner, weak, step = std::move(step)] {
            const std::shared_ptr<JobRunner*> worker = owner.lock();
            const std::shared_ptr<Job> alive = weak.lock();
            if (worker && alive && (*worker)->job_ == alive && alive->binding()) {
                step();
            }
        });
    };
    job->binding = binding;
    StopCheck stopCheck = [cancel = job->cancel, binding] { return cancel->load() || !binding(); };
    job->thread = std::thread([body = std::move(body), stopCheck = std::move(stopCheck),
                               post = std::move(post), done = job->done] {
        body(stopCheck, post);
        done->store(true);
    });
    job_ = std::move(job);
    return true;
}

void JobRunner::replace(Body body, Binding binding) {
    stop();
    start(std::move(body), std::move(binding));
}

void JobRunner::retire() {
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

void JobRunner::finish() {
    retire();
}

void JobRunner::stop() {
    if (job_) {
        job_->cancel->store(true);
    }
    retire();
}

std::size_t JobRunner::ending() const {
    return reaper_ ? reaper_->pending() : 0;
}

}  // namespace nimbara
