#pragma once

#include "MainThread.h"

#include <QObject>
#include <memory>

// The main-thread hand-over of the running program: a posted task runs in the Qt event loop of
// the main thread, in posting order (also inside a modal dialog's loop); a delayed task is a
// single-shot timer of that loop. Tasks and timers still waiting when the executor goes are
// dropped.
class QtMainThread : public MainThread::Executor {
public:
    QtMainThread();
    ~QtMainThread() override;
    QtMainThread(const QtMainThread&) = delete;
    QtMainThread& operator=(const QtMainThread&) = delete;

    void post(MainThread::Task task) override;
    void postDelayed(std::chrono::milliseconds delay, MainThread::Task task) override;

private:
    std::unique_ptr<QObject> m_receiver; // lives on the main thread; runs the posted tasks
};
