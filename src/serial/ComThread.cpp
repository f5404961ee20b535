#include "ComThread.h"

#include "MainThread.h"
#include "PosixComDevice.h"

#include <cerrno>
#include <csignal>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr TComEvents LineEvents{evCTS, evDSR, evRLSD, evRing};

// The signal that interrupts the helper blocked in TIOCMIWAIT; its handler does nothing and is
// installed without SA_RESTART, so the ioctl returns EINTR.
int lineWakeSignal() {
    static const int sig = [] {
        const int s = SIGRTMIN + 6;
        struct sigaction sa {};
        sa.sa_handler = +[](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        ::sigaction(s, &sa, nullptr);
        return s;
    }();
    return sig;
}

void drainEventFd(int fd) {
    std::uint64_t value;
    while (::read(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

TComEvents lineChanges(TComSignals before, TComSignals after) {
    TComEvents events;
    if (before.contains(csCTS) != after.contains(csCTS))
        events.include(evCTS);
    if (before.contains(csDSR) != after.contains(csDSR))
        events.include(evDSR);
    if (before.contains(csRLSD) != after.contains(csRLSD))
        events.include(evRLSD);
    if (!before.contains(csRing) && after.contains(csRing))
        events.include(evRing);
    return events;
}

} // namespace

struct TComThread::THandOver {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool failed = false;
    std::atomic<bool> cancelled{false};
};

TComThread::TComThread(TCustomComPort& port, std::shared_ptr<TPosixComDevice> device, TComEvents events,
                       TSyncMethod syncMethod)
    : m_port(port), m_device(std::move(device)), m_events(events), m_syncMethod(syncMethod) {}

TComThread::~TComThread() {
    Stop();
    if (m_thread.joinable()) // destroyed on its own thread: nothing can wait for it
        m_thread.detach();
    if (m_lineStopFd >= 0)
        ::close(m_lineStopFd);
}

void TComThread::Start() {
    const bool watchLines = !(m_events & LineEvents).empty();
    if (watchLines && m_device->simulator()) {
        m_device->simulator()->setListener(
            [this](TComSignals before, TComSignals after) { addLineEvents(before, after); });
    } else if (watchLines && m_device->hasModemLines()) {
        lineWakeSignal();
        m_lineStopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        m_lineThread = std::thread(&TComThread::lineWatch, this);
    }
    m_device->setWatchTxEmpty(m_events.contains(evTxEmpty));
    m_thread = std::thread(&TComThread::execute, this);
}

void TComThread::RequestStop() {
    std::shared_ptr<THandOver> handOver;
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
        handOver = m_handOver;
    }
    if (handOver) {
        {
            std::lock_guard lock(handOver->mutex);
            handOver->cancelled.store(true);
        }
        handOver->cv.notify_all();
    }
    m_device->wake();
}

void TComThread::Stop() {
    RequestStop();
    if (auto sim = m_device->simulator())
        sim->setListener(nullptr);
    stopLineWatch();
    m_device->setWatchTxEmpty(false);
    if (m_thread.joinable() && !IsCurrentThread())
        m_thread.join();
}

bool TComThread::IsCurrentThread() const {
    return m_thread.get_id() == std::this_thread::get_id();
}

void TComThread::addLineEvents(TComSignals before, TComSignals after) {
    const TComEvents events = lineChanges(before, after) & m_events;
    if (events.empty())
        return;
    m_lineEvents.fetch_or(events.bits());
    m_device->wake();
}

void TComThread::execute() {
    const bool wantInput = m_events.contains(evRxChar) || m_events.contains(evRxFlag) ||
                           m_events.contains(evRx80Full) || m_events.contains(evError) ||
                           m_events.contains(evBreak);
    pollfd fds[2] = {{m_device->handle(), static_cast<short>(wantInput ? POLLIN : 0), 0},
                     {m_device->wakeHandle(), POLLIN, 0}};
    const bool watchTx = m_events.contains(evTxEmpty);
    int timeout = -1; // only while sent bytes are still on their way, for evTxEmpty
    bool failed = false;
    bool lostReported = false;
    while (!m_stop.load()) {
        if (::poll(fds, 2, timeout) < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            break;
        }
        if (m_stop.load())
            break;
        if (fds[1].revents & POLLIN)
            drainEventFd(fds[1].fd);
        TComEvents events = TComEvents::fromBits(m_lineEvents.exchange(0));
        if (fds[0].revents & POLLIN)
            events = events | m_device->fill() | m_device->takeErrorEvents();
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            events = events | m_device->fill(); // what arrived before the hang-up
            m_device->markLost();
        }
        bool lostNow = false;
        if (m_device->lost()) {
            fds[0].fd = -1; // a device that is gone is not watched any more
            lostNow = !lostReported;
            lostReported = true;
        }
        timeout = -1;
        if (watchTx && m_device->txPending()) {
            const int queued = m_device->outputQueue();
            if (queued <= 0 && m_device->takeTxPending())
                events.include(evTxEmpty);
            else if (queued > 0)
                timeout = m_device->sendTimeMs(queued);
        }
        events = events & m_events;
        if ((!events.empty() || lostNow) && !deliver(events, lostNow)) {
            failed = !m_stop.load();
            break;
        }
    }
    if (!failed)
        m_device->purge(true, true);
}

bool TComThread::deliver(TComEvents events, bool deviceLost) {
    if (m_syncMethod == smNone) {
        try {
            m_port.dispatchEvents(events, &m_stop, deviceLost);
        } catch (...) {
            return false; // a failing handler ends the event thread
        }
        return !m_stop.load();
    }

    auto handOver = std::make_shared<THandOver>();
    {
        std::lock_guard lock(m_mutex);
        if (m_stop.load())
            return false;
        m_handOver = handOver;
    }
    TCustomComPort* port = &m_port;
    MainThread::post([port, handOver, events, deviceLost] {
        if (handOver->cancelled.load())
            return; // the port closed (or is gone) before the main thread got here
        bool failed = false;
        try {
            port->dispatchEvents(events, &handOver->cancelled, deviceLost);
        } catch (...) {
            failed = true;
        }
        {
            std::lock_guard lock(handOver->mutex);
            handOver->done = true;
            handOver->failed = failed;
        }
        handOver->cv.notify_all();
    });
    bool ok;
    {
        std::unique_lock lock(handOver->mutex);
        handOver->cv.wait(lock, [&] { return handOver->done || handOver->cancelled.load(); });
        ok = handOver->done && !handOver->failed;
    }
    {
        std::lock_guard lock(m_mutex);
        m_handOver.reset();
    }
    return ok && !m_stop.load();
}

void TComThread::lineWatch() {
    const int fd = m_device->handle();
    int mask = 0;
    if (m_events.contains(evCTS))
        mask |= TIOCM_CTS;
    if (m_events.contains(evDSR))
        mask |= TIOCM_DSR;
    if (m_events.contains(evRLSD))
        mask |= TIOCM_CD;
    if (m_events.contains(evRing))
        mask |= TIOCM_RNG;
    TComSignals last;
    m_device->modemLines(last);
    serial_icounter_struct base{};
    const bool counters = ::ioctl(fd, TIOCGICOUNT, &base) == 0;
    bool canWait = true;
    while (!m_stop.load()) {
        if (canWait) {
            if (::ioctl(fd, TIOCMIWAIT, mask) != 0) {
                if (errno == EINTR)
                    continue;
                if (errno == ENOTTY || errno == EINVAL) {
                    canWait = false; // the driver can't wait: look every 50 ms
                    continue;
                }
                break; // the device is gone
            }
        } else {
            pollfd p{m_lineStopFd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                break;
        }
        if (m_stop.load())
            break;
        TComSignals now;
        if (m_device->modemLines(now) != 0)
            break;
        TComEvents events = lineChanges(last, now);
        serial_icounter_struct count{};
        if (counters && ::ioctl(fd, TIOCGICOUNT, &count) == 0) {
            // The counters also catch a pulse that is over before the lines are read.
            if (count.cts != base.cts)
                events.include(evCTS);
            if (count.dsr != base.dsr)
                events.include(evDSR);
            if (count.dcd != base.dcd)
                events.include(evRLSD);
            if (count.rng != base.rng)
                events.include(evRing);
            base = count;
        }
        last = now;
        events = events & m_events;
        if (!events.empty()) {
            m_lineEvents.fetch_or(events.bits());
            m_device->wake();
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_lineDone = true;
    }
    m_lineDoneCv.notify_all();
}

void TComThread::stopLineWatch() {
    if (!m_lineThread.joinable())
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_lineStopFd, &one, sizeof one);
    {
        std::unique_lock lock(m_mutex);
        // A signal that arrives just before the helper enters TIOCMIWAIT is lost, so it is sent
        // again until the helper has answered.
        while (!m_lineDone) {
            ::pthread_kill(m_lineThread.native_handle(), lineWakeSignal());
            m_lineDoneCv.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    m_lineThread.join();
}
