#pragma once

// What every scoring-machine component shares: the events it raises on the main thread, the
// hand-over of a worker's messages to the main thread, the worker thread with its stop request
// and command queue, and the guard that takes the component's port hooks off while Test runs.
//
// A component is a serial port (TCustomComPort) that fixes its machine's line settings, starts
// its worker when the port opens and stops it before the port closes. Workers never call an
// event handler: they post the data text (or the error code, the notice, the edit request) to
// the main thread, which raises OnData / OnError / OnHinweis there in posting order. Every post is guarded by
// the component's life token, so a post that arrives after the component is gone is dropped.

#include "MainThread.h"
#include "SerialPort.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// One complete message from the machine (main thread).
using TMachineDataEvent = std::function<void(TCustomComPort* Sender, std::string Data)>;
// The machine did not answer (main thread). Codes: 0 for the SAM, Rika and Disag components, 1
// for the DisagRm3Fern component.
using TMachineErrorEvent = std::function<void(TCustomComPort* Sender, std::int32_t ErrorCode)>;
// Something the user should know while the machine keeps running (main thread): a transfer
// that broke off, a machine that stopped or started answering again. The port stays open.
using TMachineNoticeEvent = std::function<void(TCustomComPort* Sender, std::string Text)>;
// Whether the machine answers changed, or a machine that is not polled answered once more
// (main thread); TMachineComponent::Answer() tells the state.
using TMachineAnswerEvent = std::function<void(TCustomComPort* Sender)>;

// Whether the machine on an open port answers.
enum class TMachineAnswer : std::uint8_t {
    Waiting,   // opened, no answer yet
    Answering, // the last poll or exchange was answered
    Silent     // the machine stopped answering; the component asks on
};

// The line bytes that every machine protocol uses under these names.
namespace Ascii {
constexpr std::uint8_t NUL = 0x00;
constexpr std::uint8_t SOH = 0x01;
constexpr std::uint8_t STX = 0x02;
constexpr std::uint8_t ETX = 0x03;
constexpr std::uint8_t EOT = 0x04;
constexpr std::uint8_t ENQ = 0x05;
constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t FF = 0x0C;
constexpr std::uint8_t CR = 0x0D;
constexpr std::uint8_t NAK = 0x15;
constexpr std::uint8_t SYN = 0x16;
constexpr std::uint8_t ETB = 0x17;
constexpr std::uint8_t ESC = 0x1B;
} // namespace Ascii

// A block that grows past this many bytes without its end byte is garbage: it is discarded.
constexpr std::size_t MaxMachineBlock = 64 * 1024;

// Keeps what a component's machine handed over from the moment the component has taken it until
// the main thread has handled it, so that a crash in between loses nothing (the series path's
// journal).
class TMachineDataKeeper {
public:
    virtual ~TMachineDataKeeper() = default;
    // The component has taken the data (its worker or the port's event thread, around the
    // machine's acknowledgement, which this must never hold up). Returns what Handle gets back.
    virtual std::uint64_t Keep(const std::string& data) = 0;
    // Raises OnData for the data kept under this number (main thread).
    virtual void Handle(std::uint64_t kept, const std::function<void()>& onData) = 0;
};

// How a block read with TMachineComponent::ReadBlock ended.
struct TMachineBlock {
    enum TEnd : std::uint8_t {
        Complete, // end byte and trailing bytes came
        Stopped,  // the worker was asked to stop
        Silent,   // the machine fell silent inside the block
        Garbage   // past MaxMachineBlock without the end byte
    } End = Stopped;
    std::string Text;       // the bytes between start and end byte, each CR written as ";"
    std::uint8_t Check = 0; // XOR of every byte from the start byte through the end byte
    std::string Trailing;   // the bytes after the end byte
};

// The commands queued for a worker (settings commands for the machine), in posting order.
// Any thread may post; the worker takes them. Stop() wakes every wait at once.
class TMachineCommandQueue {
public:
    void Post(std::string command);
    // The next command, or nothing when none is waiting.
    std::optional<std::string> TryTake();
    // Blocks until a command is waiting, the time has passed (negative: no limit) or Stop() was
    // called; returns nothing in the last two cases.
    std::optional<std::string> WaitTake(std::chrono::milliseconds timeout);
    void Stop();
    bool Stopped() const;
    std::size_t Size() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::string> m_commands;
    bool m_stopped = false;
};

// A machine component's worker thread. Derived classes implement Execute(), which reads and
// writes the port and waits only through the stop signal (WaitForInput on the port with
// &StopSignal(), Sleep, the command queue), so that Terminate() ends every wait at once.
//
// The owner calls Start() once and Stop() before destroying it; a derived destructor must call
// Stop() too, because Execute() uses the derived part.
class TMachineThread {
public:
    TMachineThread() = default;
    virtual ~TMachineThread();
    TMachineThread(const TMachineThread&) = delete;
    TMachineThread& operator=(const TMachineThread&) = delete;

    void Start();
    // Sets the terminate flag, signals the stop request and stops the command queue. Any thread.
    void Terminate();
    bool Terminated() const { return m_terminated.load(); }
    // Waits until Execute() has returned (never call it from the worker itself).
    void WaitFor();
    // Terminate(), then WaitFor().
    void Stop();

    TMachineCommandQueue& Commands() { return m_commands; }
    const TStopSignal& StopSignal() const { return m_stop; }

protected:
    virtual void Execute() = 0;
    // Called on the worker when Execute() ended with an exception (a port that went away, for
    // instance) without a stop request. The thread then ends.
    virtual void Failed() {}
    // Sleeps for the time unless a stop request comes first. True when it slept the whole time.
    bool Sleep(std::chrono::milliseconds time) const;

private:
    void run();

    std::thread m_thread;
    std::atomic<bool> m_terminated{false};
    TStopSignal m_stop;
    TMachineCommandQueue m_commands;
};

// The base of the machine components.
//
// A derived class fixes its line settings in its constructor (ApplyMachineLineSettings), and
// calls Shutdown() first thing in its destructor: that drops every post still on its way to the
// main thread and closes the port while the derived part (its worker) still exists.
class TMachineComponent : public TCustomComPort {
public:
    ~TMachineComponent() override;

    // The machine events, raised on the main thread in the order the worker posted them. This
    // OnError stands for the machine's error event; the port's own line-error event is not used
    // by machine components.
    TComHandler<TMachineDataEvent> OnData;
    TComHandler<TMachineErrorEvent> OnError;
    // Notices for the user; the port stays open and the worker goes on.
    TComHandler<TMachineNoticeEvent> OnHinweis;
    // The machine's answering changed (see TMachineAnswer), or a machine that is not polled
    // answered again.
    TComHandler<TMachineAnswerEvent> OnAnswer;

    // Whether the machine answers, since the port last opened (any thread). A closed port keeps
    // the state it had.
    TMachineAnswer Answer() const { return m_answer.load(); }
    // When the machine last answered a poll or an exchange, or sent something whole; nothing
    // before its first answer (any thread).
    std::optional<std::chrono::system_clock::time_point> LastAnswer() const;
    // False for a machine that is only heard at its exchanges (it may have been switched off
    // since its last answer), true for one that is polled all the time.
    virtual bool PollsItsMachine() const { return true; }

    // The longest the worker waits for the next byte inside a block, and (Rika) for the answer
    // to a poll or a command, before it gives the block or the answer up. 10 s in service;
    // tests shorten it. Set while the port is closed.
    static constexpr std::chrono::milliseconds SilenceLimit{10000};
    void SetSilenceLimit(std::chrono::milliseconds limit) { m_silenceLimit = limit; }
    std::chrono::milliseconds Silence() const { return m_silenceLimit; }

    // Where the data is kept until the main thread has handled it; none: nowhere. Set while the
    // port is closed.
    void SetDataKeeper(TMachineDataKeeper* keeper) { m_keeper.store(keeper); }

    // True if a machine of this kind answers on Port. The caller closes the port first (an open
    // port is closed here, which stops the worker); Test opens it without the component's open
    // and close handling, runs the machine's short handshake on the calling thread, closes it
    // and puts the handling back, also when opening raises (the EComPort goes on to the caller).
    // It raises no OnData and no OnError.
    virtual bool Test() = 0;

    // What ReadByte gives instead of a byte.
    static constexpr int ReadTimedOut = -1;
    static constexpr int ReadStopped = -2;

protected:
    // Binds the port's OnAfterOpen and OnBeforeClose to OnAfterOpenEvent and OnBeforeCloseEvent.
    TMachineComponent();

    // The settings that all machine components share, with the given speed, NUL handling, port
    // events and delivery: 8 data bits, no parity, one stop bit, DTR and RTS on, no handshake.
    void ApplyMachineLineSettings(TBaudRate baudRate, bool discardNull, TComEvents events,
                                  TSyncMethod syncMethod);

    // Called by the port right after it opened: start the worker.
    virtual void OnAfterOpenEvent(TCustomComPort* Sender) = 0;
    // Called by the port right before it closes: stop the worker and wait for its end.
    virtual void OnBeforeCloseEvent(TCustomComPort* Sender) = 0;

    // The hand-over; any thread. The text is moved into the posted task.
    void PostData(std::string data);
    void PostError(std::int32_t code);
    void PostHinweis(std::string text);
    void PostEdit();
    // The worker heard the machine answer, or found it silent (any thread). A change is posted
    // as OnAnswer when a handler is bound; for a machine that is not polled, every answer is.
    void ReportAnswer();
    void ReportSilence();
    // The edit pass of a component that has one (main thread, in posting order).
    virtual void ProcessEdit() {}

    // Drops posts still on their way and closes the port. Idempotent.
    void Shutdown();

    // Takes the component's open and close handling (and, with rxChar, the OnRxChar handler)
    // off the port for the duration of Test; the destructor closes the port and puts them back.
    class TTestGuard {
    public:
        explicit TTestGuard(TMachineComponent& component, bool rxChar = false);
        ~TTestGuard();
        TTestGuard(const TTestGuard&) = delete;
        TTestGuard& operator=(const TTestGuard&) = delete;

    private:
        TMachineComponent& m_component;
        bool m_rxChar;
        TNotifyEvent m_afterOpen;
        TNotifyEvent m_beforeClose;
        TRxCharEvent m_rxCharHandler;
        TNotifyEvent m_deviceLostHandler;
    };

    // Reads one byte that is already waiting; nothing when none is.
    std::optional<std::uint8_t> ReadPending();
    // One byte from the machine (worker): waits for it up to the limit (negative: no limit)
    // unless the stop signal comes first. Returns the byte, ReadTimedOut or ReadStopped.
    int ReadByte(std::chrono::milliseconds limit, const TStopSignal& stop);
    void WriteByte(std::uint8_t byte);
    // Reads the rest of a machine block after its start byte (worker): every byte up to the end
    // byte, then the given number of trailing bytes. Each wait for a byte lasts at most
    // Silence(); a stop (the worker's terminate flag or stop signal) ends it at once. A block
    // past MaxMachineBlock without its end byte is garbage, and whatever else the machine has
    // sent is dropped with it.
    TMachineBlock ReadBlock(std::uint8_t start, std::uint8_t end, int trailing, const TMachineThread& worker);
    // Writes a worker's closing byte and gives it time to leave the line: the port drops
    // unsent output when it closes right after.
    void WriteClosingByte(std::uint8_t byte);
    // Drops what the machine has sent so far (after garbage), so the next poll starts afresh.
    void DiscardInput();

private:
    std::unique_ptr<MainThread::LifeToken> m_token;
    const std::weak_ptr<void> m_watcher; // taken once, so workers never touch m_token
    std::chrono::milliseconds m_silenceLimit = SilenceLimit;
    std::atomic<TMachineAnswer> m_answer{TMachineAnswer::Waiting};
    std::atomic<std::int64_t> m_lastAnswer{0}; // system clock ticks; 0: none yet
    std::atomic<TMachineDataKeeper*> m_keeper{nullptr};
};
