#pragma once

#include "MainThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

// A main-thread event loop without Qt, for tests and tools: posted tasks wait in a queue
// until the owning thread runs them with one of the run functions.
//
// Its clock is the steady clock plus a lead that advance() adds to, so a test can let the
// delay of a timer pass without sleeping.
class PlainMainThread : public MainThread::Executor {
public:
    using Clock = std::chrono::steady_clock;

    // Installs itself as the executor for the calling thread; removes itself on destruction.
    PlainMainThread();
    ~PlainMainThread() override;
    PlainMainThread(const PlainMainThread&) = delete;
    PlainMainThread& operator=(const PlainMainThread&) = delete;

    void post(MainThread::Task task) override;
    void postDelayed(std::chrono::milliseconds delay, MainThread::Task task) override;

    // Runs every task queued now or due now (and those they post) without waiting. Returns how
    // many ran.
    int processPending();
    // Moves the clock on by the duration, then runs what is due (processPending).
    int advance(std::chrono::milliseconds duration);
    // Runs tasks as they arrive until the deadline.
    void runFor(std::chrono::milliseconds duration);
    // Runs tasks as they arrive until done() is true (checked after each task and at start)
    // or the time is up. Returns done().
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // Timers not yet run.
    std::size_t timersPending();

private:
    Clock::time_point now() const { return Clock::now() + m_vorlauf; }
    bool runOne(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<MainThread::Task> m_queue;
    std::multimap<Clock::time_point, MainThread::Task> m_timers; // by due time, then posting order
    Clock::duration m_vorlauf{};
};
