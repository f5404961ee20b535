#pragma once

// The serial port component. One TCustomComPort wraps one serial device ("ttyUSB0", "ttyS0",
// or a path such as "/dev/pts/4"). It keeps the line settings as properties and applies them
// whenever the device is open; it opens and closes the device, reads and writes bytes, reports
// the received bytes waiting and the modem status lines, and while it is open it watches the
// device for line events on an event thread of its own and hands them to the handlers.
// Every failure is raised as EComPort; no operation returns an error code. The enumerations,
// sets, settings block and stop signal it shares with the device are in ComTypes.h.
//
// The machine drivers derive from TCustomComPort, set their line settings, events and delivery
// mode in their constructor and bind the handlers (OnRxChar, OnAfterOpen, OnBeforeClose, ...).

#include "ComLineSimulator.h"
#include "ComTypes.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class TCustomComPort;
class TComThread;
class TComDevice;

// ---------------------------------------------------------------------------------------------
// Errors

// The error codes of EComPort (texts in EComPort::codeText).
enum TComErrorCode : int {
    ecOpen = 1,                // "Unable to open com port"
    ecWrite = 2,               // "WriteFile function failed"
    ecRead = 3,                // "ReadFile function failed"
    ecInvalidAsync = 4,        // reserved
    ecPurge = 5,               // "PurgeComm function failed"
    ecAsyncStatus = 6,         // reserved
    ecSetState = 7,            // "SetCommState function failed"
    ecSetTimeouts = 8,         // "SetCommTimeouts failed"
    ecSetupComm = 9,           // "SetupComm function failed"
    ecClearCommError = 10,     // "ClearCommError function failed"
    ecModemStatus = 11,        // "GetCommModemStatus function failed"
    ecEscapeComm = 12,         // reserved
    ecTransmitChar = 13,       // "TransmitCommChar function failed"
    ecSyncWhileConnected = 14, // "Cannot set SyncMethod while connected"
    ecEnumPorts = 15,          // reserved
    ecStoreSettings = 16,      // reserved
    ecLoadSettings = 17,       // reserved
    ecLink = 18,               // reserved
    ecLedState = 19,           // reserved
    ecThreadCreated = 20,      // reserved
    ecWaitForEvent = 21,       // reserved
    ecRxBufLinked = 22         // reserved
};

// The single error type of the serial port. ErrorCode() is 1..22; WinCode() is the system
// error (errno) at the failure, or -1 where the failure has none. what() is the code's text,
// followed by " (win error code: N)" when there is a system error.
class EComPort : public std::runtime_error {
public:
    EComPort(int errorCode, int winCode);
    explicit EComPort(int errorCode) : EComPort(errorCode, -1) {}
    int ErrorCode() const { return m_code; }
    int WinCode() const { return m_winCode; }
    // The text of an error code ("" outside 1..22).
    static const char* codeText(int errorCode);

private:
    int m_code;
    int m_winCode;
};

// The error as the user reads it, in German (UTF-8): what failed on which port, and the system's
// reason where there is one: "Schnittstelle ttyS0 konnte nicht geöffnet werden (Systemfehler 2:
// nicht vorhanden)". Messages and the transmission log show this, never what().
std::string schnittstellenfehler(const EComPort& e, const std::string& port);

// ---------------------------------------------------------------------------------------------
// Handlers

using TNotifyEvent = std::function<void(TCustomComPort* Sender)>;
using TRxCharEvent = std::function<void(TCustomComPort* Sender, int Count)>;
using TComSignalEvent = std::function<void(TCustomComPort* Sender, bool OnOff)>;
using TComErrorEvent = std::function<void(TCustomComPort* Sender, TComErrors Errors)>;

// One handler slot. Assign a function to bind it, nullptr to unbind; get() returns the bound
// function so that it can be put back later. Binding, unbinding and calling are safe from any
// thread: a call runs the function that was bound when the call began.
template <class F> class TComHandler {
public:
    TComHandler() = default;
    TComHandler(const TComHandler&) = delete;
    TComHandler& operator=(const TComHandler&) = delete;

    TComHandler& operator=(F f) {
        auto p = f ? std::make_shared<const F>(std::move(f)) : nullptr;
        std::lock_guard lock(m_mutex);
        m_fn = std::move(p);
        return *this;
    }
    TComHandler& operator=(std::nullptr_t) { return *this = F(); }
    F get() const {
        auto p = current();
        return p ? *p : F();
    }
    explicit operator bool() const { return current() != nullptr; }
    // Calls the bound function, if any. Returns whether one was bound.
    template <class... A> bool operator()(A&&... args) const {
        auto p = current();
        if (!p)
            return false;
        (*p)(std::forward<A>(args)...);
        return true;
    }

private:
    std::shared_ptr<const F> current() const {
        std::lock_guard lock(m_mutex);
        return m_fn;
    }
    mutable std::mutex m_mutex;
    std::shared_ptr<const F> m_fn;
};

// ---------------------------------------------------------------------------------------------
// Waiting without spinning (TStopSignal: ComTypes.h)

// The outcome of TCustomComPort::WaitForInput.
enum TWaitResult : std::uint8_t {
    wrInput,   // received bytes are waiting
    wrTimeout, // the time ran out
    wrStopped  // the stop signal was set, or the port is being closed
};

// ---------------------------------------------------------------------------------------------
// Settings groups. Each member setter stores the value and re-applies the group to an open port.

class TComParity {
public:
    explicit TComParity(TCustomComPort& port) : m_port(port) {}
    TParityBits Bits() const { return m_bits; }
    void SetBits(TParityBits value);
    bool Check() const { return m_check; } // the device checks parity
    void SetCheck(bool value);
    bool Replace() const { return m_replace; } // bytes with a parity error are replaced
    void SetReplace(bool value);
    char ReplaceChar() const { return m_replaceChar; }
    void SetReplaceChar(char value);

private:
    TCustomComPort& m_port;
    TParityBits m_bits = prNone;
    bool m_check = false;
    bool m_replace = false;
    char m_replaceChar = 0;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort& port) : m_port(port) {}
    bool OutCTSFlow() const { return m_outCTSFlow; }
    void SetOutCTSFlow(bool value);
    bool OutDSRFlow() const { return m_outDSRFlow; }
    void SetOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return m_controlDTR; }
    void SetControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return m_controlRTS; }
    void SetControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return m_xonXoffOut; }
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const { return m_xonXoffIn; }
    void SetXonXoffIn(bool value);
    bool DSRSensitivity() const { return m_dsrSensitivity; }
    void SetDSRSensitivity(bool value);
    bool TxContinueOnXoff() const { return m_txContinueOnXoff; }
    void SetTxContinueOnXoff(bool value);
    char XonChar() const { return m_xonChar; }
    void SetXonChar(char value);
    char XoffChar() const { return m_xoffChar; }
    void SetXoffChar(char value);
    // Computed from the members above; setting it changes them (fcCustom changes nothing) and
    // re-applies the line settings in every case.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);

private:
    template <class T> void change(T& field, T value);
    TCustomComPort& m_port;
    bool m_outCTSFlow = false;
    bool m_outDSRFlow = false;
    TDTRFlowControl m_controlDTR = dtrDisable;
    TRTSFlowControl m_controlRTS = rtsDisable;
    bool m_xonXoffOut = false;
    bool m_xonXoffIn = false;
    bool m_dsrSensitivity = false;
    bool m_txContinueOnXoff = false;
    char m_xonChar = 17;
    char m_xoffChar = 19;
};

// Timeouts in milliseconds; -1 stands for the largest value (MAXDWORD).
class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort& port) : m_port(port) {}
    int ReadInterval() const { return m_readInterval; }
    void SetReadInterval(int value);
    int ReadTotalMultiplier() const { return m_readTotalMultiplier; }
    void SetReadTotalMultiplier(int value);
    int ReadTotalConstant() const { return m_readTotalConstant; }
    void SetReadTotalConstant(int value);
    int WriteTotalMultiplier() const { return m_writeTotalMultiplier; }
    void SetWriteTotalMultiplier(int value);
    int WriteTotalConstant() const { return m_writeTotalConstant; }
    void SetWriteTotalConstant(int value);

private:
    void change(int& field, int value);
    TCustomComPort& m_port;
    int m_readInterval = -1;
    int m_readTotalMultiplier = 0;
    int m_readTotalConstant = 0;
    int m_writeTotalMultiplier = 100;
    int m_writeTotalConstant = 1000;
};

// Queue sizes in bytes; an odd value is lowered by one.
class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort& port) : m_port(port) {}
    int InputSize() const { return m_inputSize; }
    void SetInputSize(int value);
    int OutputSize() const { return m_outputSize; }
    void SetOutputSize(int value);

private:
    void change(int& field, int value);
    TCustomComPort& m_port;
    int m_inputSize = 1024;
    int m_outputSize = 1024;
};

// ---------------------------------------------------------------------------------------------
// The port

class TCustomComPort {
public:
    TCustomComPort();
    // Closes an open port (handlers bound to a derived object should be unbound, or the port
    // closed, in the derived destructor: by the time this runs the derived part is gone).
    virtual ~TCustomComPort();
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // --- opening and closing (main thread)
    // Opens a closed port: OnBeforeOpen, open the device (code 1), apply buffer, line settings
    // and timeouts, start the event thread when Events is not empty, OnAfterOpen, then
    // OnCTSChange, OnDSRChange, OnRLSDChange with the current states. An open port is left as it is.
    void Open();
    // Closes an open port: OnCTSChange(false), OnDSRChange(false), OnRLSDChange(false),
    // OnBeforeClose, abort pending transfers, stop the event thread, close the device, OnAfterClose.
    // Never waits on the main thread, so it cannot deadlock with a hand-over in progress.
    void Close();
    bool Connected() const { return m_connected.load(); }
    void SetConnected(bool value);

    // --- properties
    // "ttyUSB0" opens /dev/ttyUSB0, "pts/4" /dev/pts/4; a name starting with "/" is a path.
    // On Windows "COM3" opens \\.\COM3.
    // Changing it on an open port closes the port and opens it again on the new name.
    const std::string& Port() const { return m_port; }
    void SetPort(const std::string& value);
    TBaudRate BaudRate() const { return m_baudRate; }
    void SetBaudRate(TBaudRate value);
    int CustomBaudRate() const { return m_customBaudRate; }
    void SetCustomBaudRate(int value);
    TStopBits StopBits() const { return m_stopBits; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return m_dataBits; }
    void SetDataBits(TDataBits value);
    // Received zero bytes are dropped.
    bool DiscardNull() const { return m_discardNull; }
    void SetDiscardNull(bool value);
    // The character that raises evRxFlag.
    char EventChar() const { return m_eventChar; }
    void SetEventChar(char value);
    // Takes effect at the next Open.
    TComEvents Events() const { return m_events; }
    void SetEvents(TComEvents value) { m_events = value; }
    // Only while closed (else code 14).
    TSyncMethod SyncMethod() const { return m_syncMethod; }
    void SetSyncMethod(TSyncMethod value);

    TComBuffer& Buffer() { return m_buffer; }
    const TComBuffer& Buffer() const { return m_buffer; }
    TComParity& Parity() { return m_parity; }
    const TComParity& Parity() const { return m_parity; }
    TComTimeouts& Timeouts() { return m_timeouts; }
    const TComTimeouts& Timeouts() const { return m_timeouts; }
    TComFlowControl& FlowControl() { return m_flowControl; }
    const TComFlowControl& FlowControl() const { return m_flowControl; }

    // The line settings block that ApplyDCB hands to the device.
    TComDCB BuildDCB() const;
    // Whether the event thread exists (the port is open with a non-empty Events set).
    bool ThreadCreated() const { return m_threadCreated; }
    // The port's name as of its latest opening (any thread; the transmission log's name for it).
    const std::string& LogName() const { return m_logName; }
    // Speed and framing as the transmission log names them: "9600 Baud, 8N1".
    std::string LineSettingsText() const;

    // Keeps every byte read from now on (any thread) until EndCapture, which returns them: what
    // a machine answered to a test.
    void BeginCapture();
    std::string EndCapture();

    // --- transfers; any thread, concurrently
    // Reads up to Count bytes; honours Timeouts (by default: returns at once with what has
    // arrived, possibly 0). Code 3.
    int Read(void* Buffer, int Count);
    int ReadStr(std::string& Str, int Count);
    // Writes Count bytes; returns how many were written when the transfer ended (complete, or
    // timed out after WriteTotalConstant + WriteTotalMultiplier * Count ms). Code 2.
    int Write(const void* Buffer, int Count);
    int WriteStr(const std::string& Str);
    // Received bytes waiting (also clears the pending line errors). Code 10.
    int InputCount();
    // The modem status lines. A device without modem lines (a pseudo-terminal) reports CTS,
    // DSR and RLSD on. Code 11.
    TComSignals Signals();
    // Discards waiting input and/or pending output. Code 5.
    void ClearBuffer(bool Input, bool Output);
    // Sends one character at once. Code 13.
    void TransmitChar(char Ch);
    // Reads and clears the line errors. Code 10.
    TComErrors LastErrors();

    // Blocks until received bytes are waiting (wrInput), Timeout has passed (wrTimeout; a
    // negative Timeout waits without limit), or Stop is signalled or the port is being closed
    // (wrStopped). Never spins: it sleeps on the device and the stop signal together.
    // A device that has gone away (adapter pulled, pseudo-terminal master closed) raises code 3,
    // as does a closed port.
    TWaitResult WaitForInput(std::chrono::milliseconds Timeout, const TStopSignal* Stop = nullptr);

    // Test seam: modem status lines from a simulator instead of the device (set while closed;
    // nullptr goes back to the device). Signals() and the line events follow the simulator, and
    // the DTR and RTS states that the port sets are recorded in it.
    void SetLineSimulator(std::shared_ptr<TComLineSimulator> simulator);

    // --- handlers
    TComHandler<TRxCharEvent> OnRxChar;
    TComHandler<TNotifyEvent> OnTxEmpty;
    TComHandler<TNotifyEvent> OnBreak;
    TComHandler<TNotifyEvent> OnRing;
    TComHandler<TComSignalEvent> OnCTSChange;
    TComHandler<TComSignalEvent> OnDSRChange;
    TComHandler<TComSignalEvent> OnRLSDChange;
    TComHandler<TComErrorEvent> OnError;
    TComHandler<TNotifyEvent> OnRxFlag;
    TComHandler<TNotifyEvent> OnAfterOpen;
    TComHandler<TNotifyEvent> OnAfterClose;
    TComHandler<TNotifyEvent> OnBeforeOpen;
    TComHandler<TNotifyEvent> OnBeforeClose;
    TComHandler<TNotifyEvent> OnRx80Full;
    TComHandler<TNotifyEvent> OnDeviceLost;

protected:
    virtual void CreateHandle();
    virtual void DestroyHandle();
    virtual void SetupComPort();
    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(int Count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool OnOff);
    virtual void DoDSRChange(bool OnOff);
    virtual void DoError(TComErrors Errors);
    virtual void DoRLSDChange(bool OnOff);
    virtual void DoRx80Full();
    // The device went away under the open port (adapter pulled): once per opening, after the
    // events that arrived before it, on the thread the port delivers its events on.
    virtual void DoDeviceLost();
    virtual void ApplyDCB();
    virtual void ApplyTimeouts();
    virtual void ApplyBuffer();

private:
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;

    // Runs the notifications of one wake-up in their fixed order; stops early when cancelled
    // becomes true (the port is closing while a hand-over runs).
    void dispatchEvents(TComEvents events, const std::atomic<bool>* cancelled, bool deviceLost = false);
    // The open device, shared with the operations that use it; null while closed.
    std::shared_ptr<TComDevice> device() const;
    void stopThread();
    void joinRetiredThreads();

    std::unique_ptr<TComThread> m_thread;
    bool m_threadCreated = false;
    mutable std::mutex m_deviceMutex;
    std::shared_ptr<TComDevice> m_device;
    std::shared_ptr<TComLineSimulator> m_simulator;
    // Event threads told to stop from their own thread (Close in an smNone handler): joined later.
    std::vector<std::unique_ptr<TComThread>> m_retiredThreads;

    // properties
    std::atomic<bool> m_connected{false}; // read by drivers' worker threads
    TBaudRate m_baudRate = br9600;
    int m_customBaudRate = 9600;
    std::string m_port = "COM1";
    // The port's name in the transmission log: set when it opens, read by the threads using it.
    std::string m_logName = "COM1";
    std::mutex m_captureMutex;
    std::optional<std::string> m_capture;
    std::atomic<bool> m_capturing{false}; // spares the reads the lock while nothing is kept
    TStopBits m_stopBits = sbOneStopBit;
    TDataBits m_dataBits = dbEight;
    bool m_discardNull = false;
    char m_eventChar = 0;
    TComEvents m_events = AllComEvents;
    TComBuffer m_buffer{*this};
    TComParity m_parity{*this};
    TComTimeouts m_timeouts{*this};
    TComFlowControl m_flowControl{*this};
    TSyncMethod m_syncMethod = smThreadSync;
};
