#include "SignalWatcher.h"

#include "EndRequests.h"

#include <QSocketNotifier>

void SignalWatcher::installHandlers() {
    platform::installEndRequestHandlers();
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    installHandlers();
    const std::intptr_t notifier = platform::endRequestNotifier();
    if (notifier < 0)
        return;
    // Level-triggered: a request noted before the watcher existed is seen at once.
    m_notifier = new QSocketNotifier(static_cast<qintptr>(notifier), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
}

SignalWatcher::~SignalWatcher() = default;

void SignalWatcher::readPipe() {
    if (platform::takeEndRequests())
        emit terminationRequested();
}
