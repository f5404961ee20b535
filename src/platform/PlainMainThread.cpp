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

bool PlainMainThread::runOne(std::unique_lock<std::mutex>& lock) {
    if (m_queue.empty())
        return false;
    MainThread::Task task = std::move(m_queue.front());
    m_queue.pop_front();
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

void PlainMainThread::runFor(std::chrono::milliseconds duration) {
    runUntil([] { return false; }, duration);
}

bool PlainMainThread::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
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
        if (!m_cv.wait_until(lock, deadline, [this] { return !m_queue.empty(); }))
            break;
    }
    lock.unlock();
    return done();
}
