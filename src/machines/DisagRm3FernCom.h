#pragma once

// The Disag RM III in its older remote program (display "FERN"), at 2400 baud. It sends
// CR-terminated lines without check character; each line goes to OnData. The component
// sends its settings text (and CR) when the port opens and again after every "ENDE" line, and
// reports through OnError (code 1) when the machine's DSR line stays off for more than 15 seconds,
// also when it is off already as the port opens. DTR and RTS stay on: the machine sends only while
// it sees them.
//
// The port delivers received bytes and DSR changes on the main thread; the only other thread is
// the DSR watch, which waits on a condition variable and posts its report to the main thread.

#include "MachineComponent.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Runs a callback once, on its own thread, when the limit passes without Terminate().
class TTimeoutThread {
public:
    TTimeoutThread(std::chrono::milliseconds limit, std::function<void()> callback);
    // Terminate(), then waits for the thread's end.
    ~TTimeoutThread();
    TTimeoutThread(const TTimeoutThread&) = delete;
    TTimeoutThread& operator=(const TTimeoutThread&) = delete;

    void Terminate();

private:
    void run(std::chrono::milliseconds limit);

    std::function<void()> m_callback;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_terminated = false;
    std::thread m_thread;
};

class TDisagRm3FernCom : public TMachineComponent {
public:
    TDisagRm3FernCom();
    ~TDisagRm3FernCom() override;

    // The settings text (without CR). Writing it while the port is open sends it at once.
    const std::string& Einstellstring() const { return m_einstellstring; }
    void SetEinstellstring(const std::string& value);

    // Opens the port, sends "E" and waits up to 2 seconds for the machine's answer: one line of
    // its eight settings separated by ";". Nothing else counts: a port that echoes, or a DSR line
    // that is on (a pseudo-terminal's always is), is no machine. No settings string is sent.
    // Closes the port first and leaves it closed.
    bool Test() override;

    // The machine is only heard when it sends: each line it sends counts as its answer.
    bool PollsItsMachine() const override { return false; }

    // How long DSR may stay off before OnError; 15 seconds. A seam for tests.
    void SetDSRTimeout(std::chrono::milliseconds limit) { m_dsrTimeout = limit; }

    // Longest line kept; a longer one without CR is garbage and is discarded.
    static constexpr std::size_t MaxLine = 4096;

protected:
    void OnAfterOpenEvent(TCustomComPort* Sender) override;
    void OnBeforeCloseEvent(TCustomComPort* Sender) override;

private:
    void RxCharEvent(TCustomComPort* Sender, int Count);
    void reportFailure();
    void receive();
    void OnDSRChangeEvent(TCustomComPort* Sender, bool OnOff);
    void lineEnd();
    void stopWatch();
    void DsrTimeoutError();

    bool m_opened = false;
    bool m_failureReported = false;
    std::string m_einstellstring = "131501121";
    std::string m_line;
    bool m_discarding = false; // the current line grew too long: drop it up to its CR
    std::unique_ptr<TTimeoutThread> m_timeoutThread;
    std::chrono::milliseconds m_dsrTimeout{15000};
};
