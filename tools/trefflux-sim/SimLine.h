#pragma once

// The line between a stand-in machine and the program: a pseudo-terminal (the program opens its
// other side) or a real serial device. A thread of its own reads what the program sends, logs
// every byte in hexadecimal with a time stamp, and lets the machine answer. Requests for the
// machine (a series, falling silent, ...) are run on that thread, in order with the bytes.

#include "SimMachine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

class SimLine : public SimWriter {
public:
    using Request = std::function<void(SimMachine&, SimWriter&)>;

    // A new pseudo-terminal; portName() is its name for the program ("pts/4").
    static std::unique_ptr<SimLine> openPty(std::unique_ptr<SimMachine> machine, std::string& error);
    // A serial device, raw, 8 data bits, no parity, one stop bit, at the given speed.
    static std::unique_ptr<SimLine> openDevice(const std::string& path, int baud,
                                               std::unique_ptr<SimMachine> machine, std::string& error);
    ~SimLine() override;
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    void start();
    void stop();
    // Ends the line as a pulled cable would: the thread stops and the line is closed, so the
    // program's side of a pseudo-terminal reports a hang-up.
    void hangUp();

    const std::string& portName() const { return m_portName; }
    // Every byte's log line goes here (nullptr: no log). Set before start().
    void setLog(std::ostream* log) { m_log = log; }

    // Runs the request on the line's thread.
    void post(Request request);
    // Posts the request and waits until it ran; false when the time ran out first.
    bool call(Request request, std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Every byte the program sent so far.
    std::string received() const;
    // When the last answer of the machine went to the line: taken right before the write that
    // handed its last bytes over.
    std::chrono::steady_clock::time_point lastSent() const;
    // Waits until done(received()) holds or the time runs out; returns done(received()).
    // done runs under the line's lock and must not call the line.
    bool waitReceived(const std::function<bool(const std::string&)>& done,
                      std::chrono::milliseconds timeout) const;

    // SimWriter, for the machine (line thread).
    void send(std::string_view bytes) override;
    void note(const std::string& text) override;

private:
    SimLine(int fd, int heldFd, std::string portName, std::unique_ptr<SimMachine> machine);
    void run();
    void runRequests();
    void log(const std::string& text);

    int m_fd = -1;     // the machine's side
    int m_heldFd = -1; // the program's side of a pseudo-terminal, kept open so that the line never
                       // hangs up while the program has it closed
    int m_wakeFd = -1; // requests are waiting
    int m_stopFd = -1; // stop() was called
    std::string m_portName;
    std::unique_ptr<SimMachine> m_machine;
    std::ostream* m_log = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    std::string m_received;
    std::deque<Request> m_requests;
    std::uint64_t m_requestsRun = 0;
    std::chrono::steady_clock::time_point m_lastSent;
};
