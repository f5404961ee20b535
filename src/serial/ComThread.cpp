#include "ComThread.h"

#include "ComDevice.h"
#include "ComLineSimulator.h"
#include "MainThread.h"

struct TComThread::THandOver {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool failed = false;
    std::atomic<bool> cancelled{false};
};

TComThread::TComThread(TComDispatch dispatch, std::shared_ptr<TComDevice> device,
                       std::shared_ptr<TComLineSimulator> simulator, TComEvents events,
                       TSyncMethod syncMethod)
    : m_dispatch(std::move(dispatch)), m_device(std::move(device)), m_simulator(std::move(simulator)),
      m_events(events), m_syncMethod(syncMethod) {}

TComThread::~TComThread() {
    Stop();
    if (m_thread.joinable()) // destroyed on its own thread: nothing can wait for it
        m_thread.detach();
}

void TComThread::Start() {
    if (m_simulator) {
        if (!(m_events & ComLineEvents).empty())
            m_simulator->setListener(
                [this](TComSignals before, TComSignals after) { addLineEvents(before, after); });
        m_device->startEvents(m_events - ComLineEvents);
    } else {
        m_device->startEvents(m_events);
    }
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
    if (m_simulator)
        m_simulator->setListener(nullptr);
    m_device->stopEvents();
    if (m_thread.joinable() && !IsCurrentThread())
        m_thread.join();
}

bool TComThread::IsCurrentThread() const {
    return m_thread.get_id() == std::this_thread::get_id();
}

void TComThread::addLineEvents(TComSignals before, TComSignals after) {
    const TComEvents events = ComLineChanges(before, after) & m_events;
    if (events.empty())
        return;
    m_lineEvents.fetch_or(events.bits());
    m_device->wake();
}

void TComThread::execute() {
    bool failed = false;
    bool lostReported = false;
    while (!m_stop.load()) {
        TComEvents events;
        if (!m_device->waitEvents(events)) {
            failed = true;
            break;
        }
        if (m_stop.load())
            break;
        events = (events | TComEvents::fromBits(m_lineEvents.exchange(0))) & m_events;
        const bool lostNow = m_device->lost() && !lostReported;
        lostReported = lostReported || lostNow;
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
            m_dispatch(events, &m_stop, deviceLost);
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
    MainThread::post([this, handOver, events, deviceLost] {
        if (handOver->cancelled.load())
            return; // the port closed (or is gone) before the main thread got here
        bool failed = false;
        try {
            m_dispatch(events, &handOver->cancelled, deviceLost);
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
