#include "QtMainThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

// ThreadSanitizer cannot see the locking inside Qt's event queue (an uninstrumented library),
// so the hand-over of each task is announced to it explicitly: released by the posting thread
// once the event is complete, acquired by the main thread before it touches the event.
#if defined(__SANITIZE_THREAD__)
#define TREFFLUX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TREFFLUX_TSAN 1
#endif
#endif

#ifdef TREFFLUX_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace {

const QEvent::Type TaskEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TaskEvent : public QEvent {
public:
    explicit TaskEvent(MainThread::Task task) : QEvent(TaskEventType), m_task(std::move(task)) {}
    MainThread::Task m_task;
};

class TaskReceiver : public QObject {
public:
    bool event(QEvent* e) override {
#ifdef TREFFLUX_TSAN
        __tsan_acquire(e); // before the first look at the event, its type included
#endif
        if (e->type() != TaskEventType)
            return QObject::event(e);
        // Moved out first: a task that opens a modal dialog lets the next tasks run inside it.
        MainThread::Task task = std::move(static_cast<TaskEvent*>(e)->m_task);
        task();
        return true;
    }
};

} // namespace

QtMainThread::QtMainThread() : m_receiver(std::make_unique<TaskReceiver>()) {
    MainThread::install(this);
}

QtMainThread::~QtMainThread() {
    MainThread::install(nullptr);
}

void QtMainThread::post(MainThread::Task task) {
    // Events posted to one receiver are delivered in the order they were posted.
    auto* event = new TaskEvent(std::move(task));
#ifdef TREFFLUX_TSAN
    __tsan_release(event);
#endif
    QCoreApplication::postEvent(m_receiver.get(), event); // Qt owns the event from here
}

void QtMainThread::postDelayed(std::chrono::milliseconds delay, MainThread::Task task) {
    // A timer belongs to the thread that starts it: from another thread, the main thread starts it.
    QObject* receiver = m_receiver.get();
    auto starten = [receiver, delay, task = std::move(task)]() mutable {
        QTimer::singleShot(delay, Qt::PreciseTimer, receiver, std::move(task)); // never early
    };
    if (MainThread::isMainThread())
        starten();
    else
        post(std::move(starten));
}
