#pragma once

#include <chrono>
#include <functional>
#include <memory>

// The hand-over to the main thread. Worker threads never call an event handler themselves;
// they post a task that the main thread runs, in posting order, from its event loop.
//
// The program installs a Qt executor (it posts into the Qt event loop); tests and tools
// install a PlainMainThread. Without an installed executor, posted tasks are dropped.
namespace MainThread {

using Task = std::function<void()>;

class Executor {
public:
    virtual ~Executor() = default;
    // Called from any thread. Must keep the order of posts.
    virtual void post(Task task) = 0;
    // Called from any thread. Runs the task on the main thread once the delay has passed, also
    // inside a modal dialog's loop. Tasks due at the same moment run in posting order.
    virtual void postDelayed(std::chrono::milliseconds delay, Task task) = 0;
};

// Installs the executor (nullptr removes it). Called on the main thread before any worker runs.
void install(Executor* executor);

// Posts a task to the main thread. Safe from any thread.
void post(Task task);

// Posts a task that runs on the main thread once the delay has passed (a timer; dropped without
// an installed executor). Safe from any thread.
void postDelayed(std::chrono::milliseconds delay, Task task);

// A token that a component owns for its whole life. A task posted with the token's watcher
// runs only while the token still exists, so a post that arrives after its component is gone
// is dropped safely.
class LifeToken {
public:
    LifeToken() : m_alive(std::make_shared<char>(0)) {}
    LifeToken(const LifeToken&) = delete;
    LifeToken& operator=(const LifeToken&) = delete;
    std::weak_ptr<void> watcher() const { return m_alive; }

private:
    std::shared_ptr<char> m_alive;
};

// Posts a task that runs only if the component owning the watched token is still alive
// when the main thread gets to it. Tokens are destroyed on the main thread.
void postGuarded(std::weak_ptr<void> watcher, Task task);
void postDelayedGuarded(std::chrono::milliseconds delay, std::weak_ptr<void> watcher, Task task);

// True on the thread that installed the executor.
bool isMainThread();

} // namespace MainThread
