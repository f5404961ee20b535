#pragma once

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
};

// Installs the executor (nullptr removes it). Called on the main thread before any worker runs.
void install(Executor* executor);

// Posts a task to the main thread. Safe from any thread.
void post(Task task);

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

// True on the thread that installed the executor.
bool isMainThread();

} // namespace MainThread
