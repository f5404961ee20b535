#pragma once

#include "MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

// A main-thread event loop without Qt, for tests and tools: posted tasks wait in a queue
// until the owning thread runs them with one of the run functions.
class PlainMainThread : public MainThread::Executor {
public:
    // Installs itself as the executor for the calling thread; removes itself on destruction.
    PlainMainThread();
    ~PlainMainThread() override;
    PlainMainThread(const PlainMainThread&) = delete;
    PlainMainThread& operator=(const PlainMainThread&) = delete;

    void post(MainThread::Task task) override;

    // Runs every task queued now (and those they post) without waiting. Returns how many ran.
    int processPending();
    // Runs tasks as they arrive until the deadline.
    void runFor(std::chrono::milliseconds duration);
    // Runs tasks as they arrive until done() is true (checked after each task and at start)
    // or the time is up. Returns done().
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    bool runOne(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<MainThread::Task> m_queue;
};
