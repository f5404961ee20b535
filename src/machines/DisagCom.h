#pragma once

// The Disag RM II/III/IV under the maker's Windows remote control (display "FEr"), at 38400 baud.
// The machine sends text lines (shots, start and end of a series, edit requests), each ended by a
// check character and CR. The component verifies the check character and answers at once: ACK for a
// right one, NAK for a wrong one, after which the machine sends the line again. An acknowledged
// line goes to the main thread as OnData; a refused one goes nowhere but into the transmission log.
// The component reacts to four kinds of line itself: "WSE" (the machine wants its settings string),
// "STA" (a new series: forget the collected shots), "SCH=" (one shot or several: collect them) and
// "WSC=-k" (an edit request: show the unconfirmed shots through OnEdit and answer with the list of
// shots).
//
// Everything the component sends goes through its send thread, which performs the machine's
// handshake: ENQ, the machine's STX, the text with check character and CR, the machine's ACK.
//
// Threads: received bytes are handled on the port's event thread (RxCharEvent); commands are
// sent on the send thread; properties, Test, the edit pass and all events run on the main thread.
// The send thread's handshake and the receive side take the port's input in turns (a lock), so
// neither reads the other's bytes, and an acknowledgement written by the receive side always
// leaves the port before the handshake discards the output.

#include "DisagEinstellstring.h"
#include "MachineComponent.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The machine asks for a shot's ring value to be reviewed (main thread). The handler may change
// Ringwert; the changed text is sent back to the machine.
using TDisagEditEvent =
    std::function<void(TCustomComPort* Sender, std::int32_t Schussnr, std::string& Ringwert)>;

// One shot collected since the last "STA" line.
struct TDisagEditShot {
    std::int32_t Schussnr = 0;
    std::string Ringwert; // as the machine sent it, or as OnEdit changed it
    std::string Teiler;   // as the machine sent it
    char Status = 'V';    // 'U' confirmed by the machine (its flag 'G') or reviewed

    bool operator==(const TDisagEditShot&) const = default;
};

// The check character of a text: the XOR of its bytes, raised by 32 when it is below 32
// (0x00..0x1F). "TYP" gives 0x5D, "WSE" 'A', "SCH=1;7.2;2973.0;164.7;G" '#'.
std::uint8_t DisagCheckChar(std::string_view text);

// Whether a received line (the text and its check character, without CR) is intact. A text
// whose XOR is 0x80 or above may also carry that value raised by 32, as some senders compute it.
bool DisagLineIntact(std::string_view line);

class TDisagCom;

// Sends the queued commands to the machine, one at a time, in queue order.
class TDisagSendThread : public TMachineThread {
public:
    explicit TDisagSendThread(TDisagCom& owner);
    ~TDisagSendThread() override;

    // Runs the handshake for one text; true when the machine acknowledged it. With quiet set it
    // neither watches the stop request nor reports an error (Test). Runs on the calling thread.
    bool SendCommand(const std::string& text, int tries, bool quiet);
    // True while a handshake is in progress.
    bool Busy() const { return m_busy.load(); }

protected:
    void Execute() override;
    void Failed() override;

private:
    TDisagCom& m_owner;
    std::atomic<bool> m_busy{false};
};

class TDisagCom : public TMachineComponent {
public:
    TDisagCom();
    ~TDisagCom() override;

    // The settings string; its writers send it at once while the port is open.
    TDisagEinstellstring& Einstellstring() { return m_einstellstring; }
    const TDisagEinstellstring& Einstellstring() const { return m_einstellstring; }
    // Copies the settings without sending them (EAssignError for an object of another kind).
    void SetEinstellstring(const TPersistent* value) { m_einstellstring.Assign(value); }

    TComHandler<TDisagEditEvent> OnEdit;

    // Asks the machine for its model ("TYP"). True when the machine took the question; model is
    // the name it answered, empty when it answered nothing in time, ModellUnbekannt when its
    // answer came damaged twice. Closes the port first and leaves it closed; raises the port's
    // error when the port cannot be opened. A line that the machine sends on its own meanwhile
    // (its check character right) is acknowledged and kept: the next opening on that port hands
    // it on before anything the machine sends then.
    bool Test(std::string& model);
    bool Test() override;
    static constexpr const char* ModellUnbekannt = "unbekannt";

    // Queues the settings string while the port is open, a send thread runs and no edit request
    // is being answered (any thread).
    void Reset();
    // Forgets the collected shots unless an edit request is being answered (any thread).
    void ClearEditData();

    // The collected shots, a copy (any thread).
    std::vector<TDisagEditShot> EditList() const;
    bool Editing() const { return m_editing.load(); }
    bool Opened() const { return m_opened.load(); }
    // Heard only at its exchanges: a machine switched off shows at the next one.
    bool PollsItsMachine() const override { return false; }

    // Longest line the machine sends; a longer one without CR is garbage and is discarded.
    static constexpr std::size_t MaxLine = 4096;

protected:
    void OnAfterOpenEvent(TCustomComPort* Sender) override;
    void OnBeforeCloseEvent(TCustomComPort* Sender) override;
    void ProcessEdit() override;

    // Handles received bytes as if they had been read from the port (the receive side's own
    // entry; tests feed bytes through it without a device).
    void feed(const char* bytes, std::size_t count);
    // Answers a received line on the wire at once, ahead of queued output: ACK or NAK.
    virtual void answerLine(std::uint8_t answer);

private:
    friend class TDisagSendThread;

    void RxCharEvent(TCustomComPort* Sender, int Count);
    // Reads and handles every byte waiting in the port (receive thread, or the send thread after
    // a handshake).
    void receivePending();
    // The line handling of received bytes; called with m_inputMutex held.
    void receive(const char* bytes, std::size_t count);
    void lineEnd();
    // A line with a wrong check character: logged as received, counted, not delivered.
    void refuseLine();
    // Writes a refused line into the transmission log as it was received.
    void logRefused(std::string_view line);
    // The model in the answer to "TYP"; a damaged answer is refused once and read again.
    std::string modelFromReply();
    void SendEdit();
    // Hands texts to the send thread, if there is one.
    void queue(std::vector<std::string> texts);
    // Before an enquiry (m_inputMutex held): lets an acknowledgement just written leave the port,
    // discards stale input and output, and drops a line whose rest was discarded.
    void purgeForEnquiry(const TStopSignal* stop);
    // A byte that the handshake read but that belongs to a machine line (m_inputMutex held).
    void strayByte(std::uint8_t byte);
    // Reports a failure of the line once per opening (any thread).
    void reportFailure();
    // A line read by the test that is not its answer: acknowledged and kept when its check
    // character is right (main thread). Returns whether it was.
    bool keepUnasked(const std::string& line);
    // At an opening (m_inputMutex held): the kept lines of this port go through the receive
    // side as if they came now, unacknowledged; those of another port only into the log.
    void handOverKept();

    TDisagEinstellstring m_einstellstring;

    mutable std::mutex m_threadMutex; // m_sendThread
    std::unique_ptr<TDisagSendThread> m_sendThread;

    mutable std::mutex m_editMutex; // m_editList, m_editTarget
    std::vector<TDisagEditShot> m_editList;
    std::optional<std::int32_t> m_editTarget; // k of the edit request "WSC=-k"

    std::atomic<bool> m_opened{false};
    std::atomic<bool> m_editing{false};
    std::atomic<bool> m_failureReported{false};

    // Lines kept from tests (text, check character, CR) and their port; main thread.
    struct TKeptLine {
        std::string port;
        std::string bytes;
    };
    std::vector<TKeptLine> m_kept;
    bool m_testing = false; // Test opens the port

    // The port's input belongs to the receive side or to a handshake, never both at once.
    std::mutex m_inputMutex;    // everything below
    std::string m_line;         // the line being received, kept between notifications
    bool m_resync = false;      // the current line lost bytes: drop it up to its CR, unacknowledged
    bool m_closing = false;     // the port is closing: received bytes are left to it
    bool m_ackSent = false;     // an answer to a line (ACK or NAK) went out at m_lastAck
    bool m_handingOver = false; // kept lines go through the receive side
    std::chrono::steady_clock::time_point m_lastAck;
    int m_damagedInRow = 0; // lines with a wrong check character since the last intact one
};
