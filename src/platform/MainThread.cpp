#include "MainThread.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace MainThread {
namespace {
std::mutex g_mutex;
Executor* g_executor = nullptr;
std::atomic<std::thread::id> g_mainId{};
} // namespace

void install(Executor* executor) {
    std::lock_guard lock(g_mutex);
    g_executor = executor;
    g_mainId.store(executor ? std::this_thread::get_id() : std::thread::id{});
}

void post(Task task) {
    std::lock_guard lock(g_mutex);
    if (g_executor)
        g_executor->post(std::move(task));
}

void postDelayed(std::chrono::milliseconds delay, Task task) {
    std::lock_guard lock(g_mutex);
    if (g_executor)
        g_executor->postDelayed(delay, std::move(task));
}

namespace {
Task guarded(std::weak_ptr<void> watcher, Task task) {
    return [watcher = std::move(watcher), task = std::move(task)] {
        if (auto alive = watcher.lock())
            task();
    };
}
} // namespace

void postGuarded(std::weak_ptr<void> watcher, Task task) {
    post(guarded(std::move(watcher), std::move(task)));
}

void postDelayedGuarded(std::chrono::milliseconds delay, std::weak_ptr<void> watcher, Task task) {
    postDelayed(delay, guarded(std::move(watcher), std::move(task)));
}

bool isMainThread() {
    return g_mainId.load() == std::this_thread::get_id();
}

} // namespace MainThread
