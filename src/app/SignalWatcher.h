#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread. The handler itself only
// notes the request (see EndRequests.h); the Qt side watches its descriptor through a socket
// notifier.
class SignalWatcher : public QObject {
    Q_OBJECT

public:
    // Installs the handlers. Called first thing in main(), so that a request to end that arrives
    // while the program starts is kept and acted on as soon as a watcher exists.
    static void installHandlers();

    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

signals:
    void terminationRequested();

private:
    void readPipe();
    QSocketNotifier* m_notifier = nullptr;
};
