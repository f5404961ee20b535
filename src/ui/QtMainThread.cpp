#include "QtMainThread.h"

#include <QCoreApplication>
#include <QMetaObject>

QtMainThread::QtMainThread() {
    MainThread::install(this);
}

QtMainThread::~QtMainThread() {
    MainThread::install(nullptr);
}

void QtMainThread::post(MainThread::Task task) {
    // Queued calls to one receiver are delivered in the order they were posted.
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}
