#pragma once

#include "MainThread.h"

// The main-thread hand-over of the running program: a posted task runs in the Qt event loop of
// the main thread, in posting order (also inside a modal dialog's loop).
class QtMainThread : public MainThread::Executor {
public:
    QtMainThread();
    ~QtMainThread() override;
    QtMainThread(const QtMainThread&) = delete;
    QtMainThread& operator=(const QtMainThread&) = delete;

    void post(MainThread::Task task) override;
};
