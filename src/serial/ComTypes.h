#pragma once

// The types the serial port (SerialPort.h) and the device behind it (ComDevice.h) share: the
// enumerations and their sets, the line settings block, and the flags threads wait on. Nothing
// here knows the port or the device.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>

// ---------------------------------------------------------------------------------------------
// Enumerations (ordinal order matters: it is the order of the device values)

enum TBaudRate : std::uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
// smWindowSync delivers like smThreadSync (through the main thread).
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
enum TOperationKind : std::uint8_t { okWrite, okRead };
enum TComSignal : std::uint8_t { csCTS, csDSR, csRing, csRLSD };
enum TComEvent : std::uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
enum TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };

// The device value of a baud rate ordinal (brCustom gives 0: the port uses CustomBaudRate).
int BaudRateToInt(TBaudRate rate);

// A set of enumeration values; bit n of bits() stands for ordinal n.
template <class E> class TComSet {
public:
    constexpr TComSet() = default;
    constexpr TComSet(std::initializer_list<E> values) {
        for (E v : values)
            m_bits |= bit(v);
    }
    static constexpr TComSet fromBits(std::uint32_t bits) {
        TComSet s;
        s.m_bits = bits;
        return s;
    }
    constexpr bool contains(E v) const { return (m_bits & bit(v)) != 0; }
    constexpr TComSet& include(E v) {
        m_bits |= bit(v);
        return *this;
    }
    constexpr TComSet& exclude(E v) {
        m_bits &= ~bit(v);
        return *this;
    }
    constexpr bool empty() const { return m_bits == 0; }
    constexpr std::uint32_t bits() const { return m_bits; }
    friend constexpr TComSet operator|(TComSet a, TComSet b) { return fromBits(a.m_bits | b.m_bits); }
    friend constexpr TComSet operator&(TComSet a, TComSet b) { return fromBits(a.m_bits & b.m_bits); }
    friend constexpr TComSet operator-(TComSet a, TComSet b) { return fromBits(a.m_bits & ~b.m_bits); }
    friend constexpr bool operator==(TComSet a, TComSet b) = default;

private:
    static constexpr std::uint32_t bit(E v) { return std::uint32_t{1} << static_cast<unsigned>(v); }
    std::uint32_t m_bits = 0;
};

using TComEvents = TComSet<TComEvent>;
using TComSignals = TComSet<TComSignal>;
using TComErrors = TComSet<TComError>;

// Every event: the default of Events.
inline constexpr TComEvents AllComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                         evCTS,    evDSR,     evError,  evRLSD, evRx80Full};

// The event-mask bit each event stands for, and back (the values the design has always used).
std::uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(std::uint32_t mask);
// The communications error flags, and back.
std::uint32_t ErrorsToFlags(TComErrors errors);
TComErrors FlagsToErrors(std::uint32_t flags);

// ---------------------------------------------------------------------------------------------
// Waiting without spinning

// A flag that threads wait on with the system's own waits: set() makes its system object ready
// (a readable descriptor on POSIX, a signalled event on Windows) until reset(). The device's
// wake-ups and TStopSignal are made of it. Any thread. The constructor throws std::system_error
// when the system has no object left.
class TComFlag {
public:
    TComFlag();
    ~TComFlag();
    TComFlag(const TComFlag&) = delete;
    TComFlag& operator=(const TComFlag&) = delete;

    void set();
    void reset();
    bool isSet() const { return m_isSet.load(); }
    // Sleeps until the flag is set or timeoutMs (-1: no limit) has passed; true when it is set.
    bool waitFor(int timeoutMs) const;
    // The system object to wait on beside others (a descriptor, or an event handle).
    std::intptr_t native() const { return m_handle; }

private:
    std::intptr_t m_handle = -1;       // waited on
    std::intptr_t m_signalHandle = -1; // written to by set(): the same object, or a pipe's other end
    std::atomic<bool> m_isSet{false};  // answers isSet() without a system call
};

// A stop request that a worker thread owns and waits on beside the port: Signal() (from any
// thread) ends every current and later wait at once, until Reset().
class TStopSignal {
public:
    void Signal() { m_flag.set(); }
    void Reset() { m_flag.reset(); }
    bool Signalled() const { return m_flag.isSet(); }
    // Sleeps up to timeout (negative: no limit). True when it ended because of a stop request.
    bool WaitFor(std::chrono::milliseconds timeout) const;
    // The system object the serial device waits on beside its own (a descriptor readable while
    // signalled, or an event handle).
    std::intptr_t NativeHandle() const { return m_flag.native(); }

private:
    TComFlag m_flag;
};

// ---------------------------------------------------------------------------------------------
// Line settings

// The line settings as one block, built from the properties from scratch (the device's current
// settings are never read) and handed to the device by ApplyDCB.
struct TComDCB {
    std::uint32_t BaudRate = 9600;
    bool fBinary = true;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    TDTRFlowControl fDtrControl = dtrDisable;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    TRTSFlowControl fRtsControl = rtsDisable;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    TParityBits Parity = prNone;
    TStopBits StopBits = sbOneStopBit;
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
};
