#include "PlatformFile.h"

#include <memory>
#include <mutex>

// What both implementations of the file layer share.
namespace platform {
namespace {

std::mutex observerMutex;
std::shared_ptr<const PlatformFile::FlushObserver> flushObserver;

} // namespace

void PlatformFile::setFlushObserver(FlushObserver observer) {
    std::lock_guard lock(observerMutex);
    flushObserver = observer ? std::make_shared<const FlushObserver>(std::move(observer)) : nullptr;
}

void PlatformFile::flushed() const {
    std::shared_ptr<const FlushObserver> observer;
    {
        std::lock_guard lock(observerMutex);
        observer = flushObserver;
    }
    if (observer)
        (*observer)(m_path);
}

} // namespace platform
