#include "SerialPort.h"

#include "ComDevice.h"
#include "ComThread.h"
#include "PlatformFile.h"
#include "Uebertragungslog.h"

#include <algorithm>
#include <array>
#include <climits>
#include <system_error>
#include <utility>

// ---------------------------------------------------------------------------------------------
// EComPort

namespace {
std::string comPortMessage(int code, int winCode) {
    std::string text = EComPort::codeText(code);
    if (winCode != -1)
        text += " (win error code: " + std::to_string(winCode) + ")";
    return text;
}
} // namespace

EComPort::EComPort(int errorCode, int winCode)
    : std::runtime_error(comPortMessage(errorCode, winCode)), m_code(errorCode), m_winCode(winCode) {}

const char* EComPort::codeText(int errorCode) {
    static constexpr std::array<const char*, 22> texts = {
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set SyncMethod while connected",
        "EnumPorts function failed",
        "Failed to store settings",
        "Failed to load settings",
        "Link (un)registration failed",
        "Cannot change led state if ComPort is selected",
        "Cannot wait for event if event thread is created",
        "WaitForEvent method failed",
        "A component is linked to OnRxBuf event",
    };
    if (errorCode < 1 || errorCode > static_cast<int>(texts.size()))
        return "";
    return texts[static_cast<std::size_t>(errorCode - 1)];
}

std::string schnittstellenfehler(const EComPort& e, const std::string& port) {
    // What failed, with the port between the two parts.
    static constexpr std::array<std::pair<const char*, const char*>, 22> texte = {{
        {"Schnittstelle ", " konnte nicht ge\u00f6ffnet werden"},
        {"Schreiben an die Schnittstelle ", " fehlgeschlagen"},
        {"Lesen von der Schnittstelle ", " fehlgeschlagen"},
        {"Ung\u00fcltige Angabe f\u00fcr eine \u00dcbertragung an der Schnittstelle ", ""},
        {"Die Puffer der Schnittstelle ", " konnten nicht geleert werden"},
        {"Der Stand einer \u00dcbertragung an der Schnittstelle ", " ist nicht abfragbar"},
        {"Die Schnittstelle ",
         " nimmt die Einstellungen (Baudrate, Datenbits, Parit\u00e4t, Stoppbits) nicht an"},
        {"Die Zeitgrenzen der Schnittstelle ", " konnten nicht gesetzt werden"},
        {"Die Puffergr\u00f6\u00dfen der Schnittstelle ", " konnten nicht gesetzt werden"},
        {"Der Zustand der Schnittstelle ", " konnte nicht abgefragt werden"},
        {"Die Steuerleitungen der Schnittstelle ", " konnten nicht abgefragt werden"},
        {"Die Steuerleitungen der Schnittstelle ", " konnten nicht gesetzt werden"},
        {"Ein Zeichen konnte nicht an die Schnittstelle ", " gesendet werden"},
        {"Die Art der \u00dcbergabe der Ereignisse der Schnittstelle ",
         " kann nur bei geschlossener Schnittstelle ge\u00e4ndert werden"},
        {"Die Schnittstellen konnten nicht aufgez\u00e4hlt werden", ""},
        {"Die Einstellungen der Schnittstelle ", " konnten nicht gespeichert werden"},
        {"Die Einstellungen der Schnittstelle ", " konnten nicht geladen werden"},
        {"Die Verkn\u00fcpfung mit der Schnittstelle ", " ist fehlgeschlagen"},
        {"Die Anzeige der Schnittstelle ", " kann nicht ge\u00e4ndert werden"},
        {"Auf Ereignisse der Schnittstelle ",
         " kann nicht gewartet werden, solange sie selbst darauf wartet"},
        {"Das Warten auf Ereignisse der Schnittstelle ", " ist fehlgeschlagen"},
        {"Der Empfangspuffer der Schnittstelle ", " ist schon vergeben"},
    }};
    const int code = e.ErrorCode();
    std::string text;
    if (code >= 1 && code <= static_cast<int>(texte.size())) {
        const auto& [vorher, nachher] = texte[static_cast<std::size_t>(code - 1)];
        text = vorher;
        if (code != ecEnumPorts)
            text += port + nachher;
    } else {
        text = "Fehler " + std::to_string(code) + " an der Schnittstelle " + port;
    }
    if (e.WinCode() > 0)
        text += " (" + platform::systemErrorText(e.WinCode()) + ")";
    return text;
}

// ---------------------------------------------------------------------------------------------
// Waiting

namespace {

int shorter(int a, int b) {
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}

std::uint32_t dword(int value) {
    return static_cast<std::uint32_t>(value);
} // -1 -> MAXDWORD

} // namespace

// ---------------------------------------------------------------------------------------------
// Settings groups

void TComParity::SetBits(TParityBits value) {
    if (value != m_bits) {
        m_bits = value;
        m_port.ApplyDCB();
    }
}
void TComParity::SetCheck(bool value) {
    if (value != m_check) {
        m_check = value;
        m_port.ApplyDCB();
    }
}
void TComParity::SetReplace(bool value) {
    if (value != m_replace) {
        m_replace = value;
        m_port.ApplyDCB();
    }
}
void TComParity::SetReplaceChar(char value) {
    if (value != m_replaceChar) {
        m_replaceChar = value;
        m_port.ApplyDCB();
    }
}

template <class T> void TComFlowControl::change(T& field, T value) {
    if (value != field) {
        field = value;
        m_port.ApplyDCB();
    }
}
void TComFlowControl::SetOutCTSFlow(bool value) {
    change(m_outCTSFlow, value);
}
void TComFlowControl::SetOutDSRFlow(bool value) {
    change(m_outDSRFlow, value);
}
void TComFlowControl::SetControlDTR(TDTRFlowControl value) {
    change(m_controlDTR, value);
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value) {
    change(m_controlRTS, value);
}
void TComFlowControl::SetXonXoffOut(bool value) {
    change(m_xonXoffOut, value);
}
void TComFlowControl::SetXonXoffIn(bool value) {
    change(m_xonXoffIn, value);
}
void TComFlowControl::SetDSRSensitivity(bool value) {
    change(m_dsrSensitivity, value);
}
void TComFlowControl::SetTxContinueOnXoff(bool value) {
    change(m_txContinueOnXoff, value);
}
void TComFlowControl::SetXonChar(char value) {
    change(m_xonChar, value);
}
void TComFlowControl::SetXoffChar(char value) {
    change(m_xoffChar, value);
}

TFlowControl TComFlowControl::FlowControl() const {
    if (m_controlRTS == rtsHandshake && m_outCTSFlow && !m_xonXoffIn && !m_xonXoffOut)
        return fcHardware;
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && m_xonXoffIn && m_xonXoffOut)
        return fcSoftware;
    if (m_controlRTS == rtsDisable && !m_outCTSFlow && !m_xonXoffIn && !m_xonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
    switch (value) {
    case fcHardware:
        m_controlRTS = rtsHandshake;
        m_outCTSFlow = true;
        m_xonXoffIn = m_xonXoffOut = false;
        break;
    case fcSoftware:
        m_controlRTS = rtsDisable;
        m_outCTSFlow = false;
        m_xonXoffIn = m_xonXoffOut = true;
        break;
    case fcNone:
        m_controlRTS = rtsDisable;
        m_outCTSFlow = m_xonXoffIn = m_xonXoffOut = false;
        break;
    case fcCustom:
        break;
    }
    m_port.ApplyDCB();
}

void TComTimeouts::change(int& field, int value) {
    if (value != field) {
        field = value;
        m_port.ApplyTimeouts();
    }
}
void TComTimeouts::SetReadInterval(int value) {
    change(m_readInterval, value);
}
void TComTimeouts::SetReadTotalMultiplier(int value) {
    change(m_readTotalMultiplier, value);
}
void TComTimeouts::SetReadTotalConstant(int value) {
    change(m_readTotalConstant, value);
}
void TComTimeouts::SetWriteTotalMultiplier(int value) {
    change(m_writeTotalMultiplier, value);
}
void TComTimeouts::SetWriteTotalConstant(int value) {
    change(m_writeTotalConstant, value);
}

void TComBuffer::change(int& field, int value) {
    if (value % 2 != 0)
        --value;
    if (value != field) {
        field = value;
        m_port.ApplyBuffer();
    }
}
void TComBuffer::SetInputSize(int value) {
    change(m_inputSize, value);
}
void TComBuffer::SetOutputSize(int value) {
    change(m_outputSize, value);
}

// ---------------------------------------------------------------------------------------------
// The port: life, opening and closing

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
    try {
        Close();
    } catch (...) {
        // A handler that fails while the port is destroyed must not end the program.
    }
    if (m_thread) {
        m_thread->Stop();
        m_thread.reset();
    }
    {
        std::lock_guard lock(m_deviceMutex);
        m_device.reset();
    }
    joinRetiredThreads();
}

std::shared_ptr<TComDevice> TCustomComPort::device() const {
    std::lock_guard lock(m_deviceMutex);
    return m_device;
}

void TCustomComPort::SetConnected(bool value) {
    if (value == m_connected)
        return;
    if (value)
        Open();
    else
        Close();
}

std::string TCustomComPort::LineSettingsText() const {
    static constexpr char parity[] = {'N', 'O', 'E', 'M', 'S'};
    static constexpr const char* stopBits[] = {"1", "1,5", "2"};
    const int baud = m_baudRate == brCustom ? m_customBaudRate : BaudRateToInt(m_baudRate);
    return std::to_string(baud) + " Baud, " + std::to_string(5 + static_cast<int>(m_dataBits)) +
           parity[m_parity.Bits()] + stopBits[m_stopBits];
}

void TCustomComPort::BeginCapture() {
    std::lock_guard lock(m_captureMutex);
    m_capture = std::string();
    m_capturing = true;
}

std::string TCustomComPort::EndCapture() {
    std::lock_guard lock(m_captureMutex);
    std::string bytes = m_capture.value_or(std::string());
    m_capture.reset();
    m_capturing = false;
    return bytes;
}

void TCustomComPort::Open() {
    if (m_connected)
        return;
    joinRetiredThreads();
    m_logName = m_port; // read by the threads that use the port, which start below
    DoBeforeOpen();
    try {
        CreateHandle();
        m_connected = true;
        SetupComPort();
    } catch (const EComPort& e) {
        DestroyHandle();
        m_connected = false;
        logEreignis(m_logName, "Fehler: " + schnittstellenfehler(e, m_logName));
        throw;
    } catch (...) {
        DestroyHandle();
        m_connected = false;
        throw;
    }
    logEreignis(m_logName, "ge\xC3\xB6"
                           "ffnet, " +
                               LineSettingsText());
    if (!m_events.empty()) {
        try {
            auto dispatch = [this](TComEvents events, const std::atomic<bool>* cancelled, bool deviceLost) {
                dispatchEvents(events, cancelled, deviceLost);
            };
            m_thread = std::make_unique<TComThread>(dispatch, device(), m_simulator, m_events, m_syncMethod);
            m_thread->Start();
        } catch (...) { // no thread could be started: the port stays closed
            m_thread.reset();
            DestroyHandle();
            m_connected = false;
            throw;
        }
        m_threadCreated = true;
    }
    DoAfterOpen();
    DoCTSChange(Signals().contains(csCTS));
    DoDSRChange(Signals().contains(csDSR));
    DoRLSDChange(Signals().contains(csRLSD));
}

void TCustomComPort::Close() {
    if (!m_connected)
        return;
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    // Abort pending transfers: every wait of a Read, Write or WaitForInput ends now.
    if (auto dev = device())
        dev->abort();
    stopThread();
    DestroyHandle();
    m_connected = false;
    logEreignis(m_logName, "geschlossen");
    DoAfterClose();
}

void TCustomComPort::stopThread() {
    if (!m_thread)
        return;
    if (m_thread->IsCurrentThread()) {
        // Closed from a handler on the event thread: it ends when the handler returns.
        m_thread->RequestStop();
        m_retiredThreads.push_back(std::move(m_thread));
    } else {
        m_thread->Stop();
        m_thread.reset();
    }
    m_threadCreated = false;
}

void TCustomComPort::joinRetiredThreads() {
    std::erase_if(m_retiredThreads, [](const std::unique_ptr<TComThread>& t) {
        if (t->IsCurrentThread())
            return false;
        t->Stop();
        return true;
    });
}

void TCustomComPort::CreateHandle() {
    std::shared_ptr<TComDevice> dev;
    try {
        dev = TComDevice::open(m_port);
    } catch (const std::system_error& e) {
        throw EComPort(ecOpen, e.code().value());
    }
    std::lock_guard lock(m_deviceMutex);
    m_device = std::move(dev);
}

void TCustomComPort::DestroyHandle() {
    std::lock_guard lock(m_deviceMutex);
    m_device.reset(); // the descriptor closes when the last operation using it has ended
}

void TCustomComPort::SetupComPort() {
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
}

// ---------------------------------------------------------------------------------------------
// Properties

void TCustomComPort::SetPort(const std::string& value) {
    if (value == m_port)
        return;
    m_port = value;
    if (m_connected) {
        Close();
        Open();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
    if (value != m_baudRate) {
        m_baudRate = value;
        ApplyDCB();
    }
}

void TCustomComPort::SetCustomBaudRate(int value) {
    if (value != m_customBaudRate) {
        m_customBaudRate = value;
        ApplyDCB();
    }
}

void TCustomComPort::SetStopBits(TStopBits value) {
    if (value != m_stopBits) {
        m_stopBits = value;
        ApplyDCB();
    }
}

void TCustomComPort::SetDataBits(TDataBits value) {
    if (value != m_dataBits) {
        m_dataBits = value;
        ApplyDCB();
    }
}

void TCustomComPort::SetDiscardNull(bool value) {
    if (value != m_discardNull) {
        m_discardNull = value;
        ApplyDCB();
    }
}

void TCustomComPort::SetEventChar(char value) {
    if (value != m_eventChar) {
        m_eventChar = value;
        ApplyDCB();
    }
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (m_connected)
        throw EComPort(ecSyncWhileConnected);
    m_syncMethod = value;
}

void TCustomComPort::SetLineSimulator(std::shared_ptr<TComLineSimulator> simulator) {
    m_simulator = std::move(simulator);
}

TComDCB TCustomComPort::BuildDCB() const {
    TComDCB dcb;
    dcb.BaudRate =
        static_cast<std::uint32_t>(m_baudRate == brCustom ? m_customBaudRate : BaudRateToInt(m_baudRate));
    dcb.fBinary = true;
    dcb.fParity = m_parity.Check();
    dcb.fOutxCtsFlow = m_flowControl.OutCTSFlow();
    dcb.fOutxDsrFlow = m_flowControl.OutDSRFlow();
    dcb.fDtrControl = m_flowControl.ControlDTR();
    dcb.fDsrSensitivity = m_flowControl.DSRSensitivity();
    dcb.fTXContinueOnXoff = m_flowControl.TxContinueOnXoff();
    dcb.fOutX = m_flowControl.XonXoffOut();
    dcb.fInX = m_flowControl.XonXoffIn();
    dcb.fErrorChar = m_parity.Check() && m_parity.Replace();
    dcb.fNull = m_discardNull;
    dcb.fRtsControl = m_flowControl.ControlRTS();
    dcb.fAbortOnError = false;
    dcb.XonLim = static_cast<std::uint16_t>(m_buffer.InputSize() / 4);
    dcb.XoffLim = dcb.XonLim;
    dcb.ByteSize = static_cast<std::uint8_t>(5 + m_dataBits);
    dcb.Parity = m_parity.Bits();
    dcb.StopBits = m_stopBits;
    dcb.XonChar = m_flowControl.XonChar();
    dcb.XoffChar = m_flowControl.XoffChar();
    dcb.ErrorChar = dcb.fErrorChar ? m_parity.ReplaceChar() : 0;
    dcb.EofChar = 0;
    dcb.EvtChar = m_eventChar;
    return dcb;
}

void TCustomComPort::ApplyDCB() {
    auto dev = device();
    if (!dev)
        return;
    const TComDCB dcb = BuildDCB();
    if (static_cast<std::int32_t>(dcb.BaudRate) <= 0)
        throw EComPort(ecSetState, ComSystemCodes().invalid);
    if (int err = dev->applyDCB(dcb, !m_simulator))
        throw EComPort(ecSetState, err);
    if (m_simulator)
        m_simulator->setOutputs(dcb.fDtrControl != dtrDisable,
                                dcb.fRtsControl == rtsEnable || dcb.fRtsControl == rtsHandshake);
}

void TCustomComPort::ApplyTimeouts() {
    auto dev = device();
    if (!dev)
        return;
    dev->setTimeouts({dword(m_timeouts.ReadInterval()), dword(m_timeouts.ReadTotalMultiplier()),
                      dword(m_timeouts.ReadTotalConstant()), dword(m_timeouts.WriteTotalMultiplier()),
                      dword(m_timeouts.WriteTotalConstant())});
}

void TCustomComPort::ApplyBuffer() {
    auto dev = device();
    if (!dev)
        return;
    if (m_buffer.InputSize() <= 0 || m_buffer.OutputSize() <= 0)
        throw EComPort(ecSetupComm, ComSystemCodes().invalid);
    if (int err = dev->setQueueSizes(m_buffer.InputSize(), m_buffer.OutputSize()))
        throw EComPort(ecSetupComm, err);
}

// ---------------------------------------------------------------------------------------------
// Transfers

int TCustomComPort::Read(void* Buffer, int Count) {
    auto dev = device();
    if (!dev)
        throw EComPort(ecRead, ComSystemCodes().closed);
    if (Count <= 0)
        return 0;
    const auto t = dev->timeouts();
    constexpr std::uint32_t Max = ComMaxDword;
    // Read interval at the maximum and no totals: what has arrived, at once.
    const bool immediate = t.readInterval == Max && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    // Read interval and multiplier at the maximum, a constant: wait that long for the first byte.
    const bool firstByte = t.readInterval == Max && t.readTotalMultiplier == Max && t.readTotalConstant > 0 &&
                           t.readTotalConstant < Max;
    const bool useInterval = !firstByte && t.readInterval != Max && t.readInterval > 0;
    const TComDeadline total =
        firstByte ? TComDeadline::in(t.readTotalConstant)
        : (t.readTotalMultiplier || t.readTotalConstant)
            ? TComDeadline::in(std::uint64_t{t.readTotalMultiplier} * static_cast<std::uint64_t>(Count) +
                               t.readTotalConstant)
            : TComDeadline::never();
    TComDeadline interval = TComDeadline::never();

    char* out = static_cast<char*>(Buffer);
    const auto wanted = static_cast<std::size_t>(Count);
    std::size_t got = 0;
    for (;;) {
        std::size_t n = dev->take(out + got, wanted - got);
        if (got + n < wanted) {
            dev->fill();
            n += dev->take(out + got + n, wanted - got - n);
        }
        if (n > 0) {
            got += n;
            if (useInterval)
                interval = TComDeadline::in(t.readInterval);
        }
        if (got == wanted || (got > 0 && (immediate || firstByte)))
            break;
        if (dev->lost()) {
            if (got > 0)
                break; // the failure is raised by the next operation
            throw EComPort(ecRead, ComSystemCodes().io);
        }
        if (immediate || total.passed() || (got > 0 && useInterval && interval.passed()))
            break;
        const int wait = shorter(total.remainingMs(), got > 0 && useInterval ? interval.remainingMs() : -1);
        if (dev->waitForInput(wait, nullptr) == TComWoken::Aborted) {
            if (got > 0)
                break;
            throw EComPort(ecRead, ComSystemCodes().cancelled);
        }
    }
    if (got > 0) {
        logDaten(m_logName, Uebertragungslog::vonDerMaschine, out, got);
        if (m_capturing.load(std::memory_order_relaxed)) {
            std::lock_guard lock(m_captureMutex);
            if (m_capture)
                m_capture->append(out, got);
        }
    }
    return static_cast<int>(got);
}

int TCustomComPort::ReadStr(std::string& Str, int Count) {
    Str.assign(static_cast<std::size_t>(std::max(Count, 0)), '\0');
    const int n = Read(Str.data(), Count);
    Str.resize(static_cast<std::size_t>(n));
    return n;
}

int TCustomComPort::Write(const void* Buffer, int Count) {
    auto dev = device();
    if (!dev)
        throw EComPort(ecWrite, ComSystemCodes().closed);
    if (dev->lost())
        throw EComPort(ecWrite, ComSystemCodes().io);
    if (Count <= 0)
        return 0;
    const auto t = dev->timeouts();
    const TComDeadline deadline =
        (t.writeTotalMultiplier || t.writeTotalConstant)
            ? TComDeadline::in(std::uint64_t{t.writeTotalMultiplier} * static_cast<std::uint64_t>(Count) +
                               t.writeTotalConstant)
            : TComDeadline::never();

    std::size_t done = 0;
    if (int err = dev->write(static_cast<const char*>(Buffer), static_cast<std::size_t>(Count), deadline,
                             true, done)) {
        logDaten(m_logName, Uebertragungslog::zurMaschine, Buffer, done);
        throw EComPort(ecWrite, err);
    }
    logDaten(m_logName, Uebertragungslog::zurMaschine, Buffer, done);
    return static_cast<int>(done);
}

int TCustomComPort::WriteStr(const std::string& Str) {
    return Write(Str.data(), static_cast<int>(Str.size()));
}

int TCustomComPort::InputCount() {
    auto dev = device();
    if (!dev)
        throw EComPort(ecClearCommError, ComSystemCodes().closed);
    const std::size_t n = dev->available();
    if (n == 0 && dev->lost())
        throw EComPort(ecClearCommError, ComSystemCodes().io);
    dev->takeErrors(); // reading the status clears the pending line errors
    return static_cast<int>(std::min<std::size_t>(n, INT_MAX));
}

TComSignals TCustomComPort::Signals() {
    auto dev = device();
    if (!dev)
        throw EComPort(ecModemStatus, ComSystemCodes().closed);
    if (dev->lost())
        throw EComPort(ecModemStatus, ComSystemCodes().io);
    if (m_simulator)
        return m_simulator->Signals();
    TComSignals lines;
    if (int err = dev->modemLines(lines))
        throw EComPort(ecModemStatus, err);
    return lines;
}

void TCustomComPort::ClearBuffer(bool Input, bool Output) {
    auto dev = device();
    if (!dev)
        throw EComPort(ecPurge, ComSystemCodes().closed);
    if (int err = dev->purge(Input, Output))
        throw EComPort(ecPurge, err);
}

void TCustomComPort::TransmitChar(char Ch) {
    auto dev = device();
    if (!dev)
        throw EComPort(ecTransmitChar, ComSystemCodes().closed);
    const auto t = dev->timeouts();
    const TComDeadline deadline =
        TComDeadline::in(std::uint64_t{t.writeTotalMultiplier} + t.writeTotalConstant);
    std::size_t done = 0;
    if (int err = dev->write(&Ch, 1, deadline, false, done))
        throw EComPort(ecTransmitChar, err);
    logDaten(m_logName, Uebertragungslog::zurMaschine, &Ch, done);
    if (done != 1)
        throw EComPort(ecTransmitChar, ComSystemCodes().timedOut);
}

TComErrors TCustomComPort::LastErrors() {
    auto dev = device();
    if (!dev)
        throw EComPort(ecClearCommError, ComSystemCodes().closed);
    if (dev->lost())
        throw EComPort(ecClearCommError, ComSystemCodes().io);
    return dev->takeErrors();
}

TWaitResult TCustomComPort::WaitForInput(std::chrono::milliseconds Timeout, const TStopSignal* Stop) {
    auto dev = device();
    if (!dev)
        throw EComPort(ecRead, ComSystemCodes().closed);
    const TComDeadline deadline =
        Timeout.count() < 0 ? TComDeadline::never() : TComDeadline::in(Timeout.count());
    for (;;) {
        if ((Stop && Stop->Signalled()) || dev->aborted())
            return wrStopped;
        if (dev->available() > 0)
            return wrInput;
        if (dev->lost())
            throw EComPort(ecRead, ComSystemCodes().io);
        if (deadline.passed())
            return wrTimeout;
        switch (dev->waitForInput(deadline.remainingMs(), Stop)) {
        case TComWoken::Timeout:
            return wrTimeout;
        case TComWoken::Aborted:
        case TComWoken::Stopped:
            return wrStopped;
        case TComWoken::Ready:
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Notifications

void TCustomComPort::dispatchEvents(TComEvents events, const std::atomic<bool>* cancelled, bool deviceLost) {
    auto goOn = [cancelled] { return !cancelled || !cancelled->load(); };
    if (events.contains(evError)) {
        const TComErrors errors = LastErrors();
        if (!errors.empty())
            DoError(errors);
    }
    if (goOn() && events.contains(evRxChar)) {
        const int count = InputCount();
        if (count > 0)
            DoRxChar(count);
    }
    if (goOn() && events.contains(evTxEmpty))
        DoTxEmpty();
    if (goOn() && events.contains(evBreak))
        DoBreak();
    if (goOn() && events.contains(evRing))
        DoRing();
    if (goOn() && events.contains(evCTS))
        DoCTSChange(Signals().contains(csCTS));
    if (goOn() && events.contains(evDSR))
        DoDSRChange(Signals().contains(csDSR));
    if (goOn() && events.contains(evRxFlag))
        DoRxFlag();
    if (goOn() && events.contains(evRLSD))
        DoRLSDChange(Signals().contains(csRLSD));
    if (goOn() && events.contains(evRx80Full))
        DoRx80Full();
    if (goOn() && deviceLost)
        DoDeviceLost();
}

void TCustomComPort::DoDeviceLost() {
    logEreignis(m_logName, "Fehler: das Ger\xC3\xA4t ist nicht mehr da");
    OnDeviceLost(this);
}

void TCustomComPort::DoAfterClose() {
    OnAfterClose(this);
}
void TCustomComPort::DoAfterOpen() {
    OnAfterOpen(this);
}
void TCustomComPort::DoBeforeClose() {
    OnBeforeClose(this);
}
void TCustomComPort::DoBeforeOpen() {
    OnBeforeOpen(this);
}
void TCustomComPort::DoRxChar(int Count) {
    OnRxChar(this, Count);
}
void TCustomComPort::DoTxEmpty() {
    OnTxEmpty(this);
}
void TCustomComPort::DoBreak() {
    OnBreak(this);
}
void TCustomComPort::DoRing() {
    OnRing(this);
}
void TCustomComPort::DoRxFlag() {
    OnRxFlag(this);
}
void TCustomComPort::DoCTSChange(bool OnOff) {
    OnCTSChange(this, OnOff);
}
void TCustomComPort::DoDSRChange(bool OnOff) {
    OnDSRChange(this, OnOff);
}
void TCustomComPort::DoError(TComErrors Errors) {
    OnError(this, Errors);
}
void TCustomComPort::DoRLSDChange(bool OnOff) {
    OnRLSDChange(this, OnOff);
}
void TCustomComPort::DoRx80Full() {
    OnRx80Full(this);
}
