#include "PlainMainThread.h"

PlainMainThread::PlainMainThread() {
    MainThread::install(this);
}

PlainMainThread::~PlainMainThread() {
    MainThread::install(nullptr);
}

void PlainMainThread::post(MainThread::Task task) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(task));
    }
    m_cv.notify_one();
}

void PlainMainThread::postDelayed(std::chrono::milliseconds delay, MainThread::Task task) {
    {
        std::lock_guard lock(m_mutex);
        m_timers.emplace(now() + delay, std::move(task));
    }
    m_cv.notify_one();
}

std::size_t PlainMainThread::timersPending() {
    std::lock_guard lock(m_mutex);
    return m_timers.size();
}

// Runs the first queued task, or else the first timer that is due. Called with the lock held.
bool PlainMainThread::runOne(std::unique_lock<std::mutex>& lock) {
    MainThread::Task task;
    if (!m_queue.empty()) {
        task = std::move(m_queue.front());
        m_queue.pop_front();
    } else if (!m_timers.empty() && m_timers.begin()->first <= now()) {
        task = std::move(m_timers.begin()->second);
        m_timers.erase(m_timers.begin());
    } else {
        return false;
    }
    lock.unlock();
    task();
    lock.lock();
    return true;
}

int PlainMainThread::processPending() {
    std::unique_lock lock(m_mutex);
    int count = 0;
    while (runOne(lock))
        ++count;
    return count;
}

int PlainMainThread::advance(std::chrono::milliseconds duration) {
    {
        std::lock_guard lock(m_mutex);
        m_vorlauf += duration;
    }
    return processPending();
}

void PlainMainThread::runFor(std::chrono::milliseconds duration) {
    runUntil([] { return false; }, duration);
}

bool PlainMainThread::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (runOne(lock)) {
            lock.unlock();
            const bool finished = done();
            lock.lock();
            if (finished)
                return true;
        }
        lock.unlock();
        if (done())
            return true;
        lock.lock();
        // Wake for a post, for the first timer, or at the deadline, whichever comes first.
        auto wecken = deadline;
        if (!m_timers.empty() && m_timers.begin()->first - m_vorlauf < wecken)
            wecken = m_timers.begin()->first - m_vorlauf;
        m_cv.wait_until(lock, wecken, [this] { return !m_queue.empty(); });
        if (m_queue.empty() && Clock::now() >= deadline)
            break;
    }
    lock.unlock();
    return done();
}
