#include "DisagCom.h"

#include "DisagSchusszeile.h"
#include "Uebertragungslog.h"
#include "Win1252.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kTries = 10;               // enquiries per command
constexpr int kSendings = 5;             // sendings of a command without acknowledgement
constexpr auto kEnquiryWait = 200ms;     // for the STX after each ENQ
constexpr auto kAckWait = 300ms;         // for the ACK after each sending
constexpr auto kReplyWait = 100ms;       // for the answer to "TYP"
constexpr auto kAckDrain = 20ms;         // for an acknowledgement to leave the port
constexpr std::size_t kReadChunk = 4096; // bytes taken from the port at a time
constexpr int kDamagedLinesTold = 3;     // damaged lines in a row, then the user is told
constexpr std::size_t kMaxKept = 1000;   // lines kept from tests until the next opening

// Sleeps for the time, or until the stop request when there is one.
void pause(Clock::duration time, const TStopSignal* stop) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(time);
    if (ms <= 0ms)
        return;
    if (stop)
        stop->WaitFor(ms);
    else
        std::this_thread::sleep_for(ms);
}

// The machine's control bytes of the handshake; its lines are text and never contain them.
bool isHandshakeByte(char c) {
    const auto b = static_cast<std::uint8_t>(c);
    return b == Ascii::STX || b == Ascii::ACK || b == Ascii::NAK;
}

std::chrono::milliseconds remaining(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left > 0ms ? left : 0ms;
}

std::uint8_t xorOf(std::string_view text) {
    std::uint8_t x = 0;
    for (const char c : text)
        x ^= static_cast<std::uint8_t>(c);
    return x;
}

} // namespace

std::uint8_t DisagCheckChar(std::string_view text) {
    const std::uint8_t x = xorOf(text);
    return x < 32 ? static_cast<std::uint8_t>(x + 32) : x;
}

bool DisagLineIntact(std::string_view line) {
    if (line.empty())
        return false;
    const std::string_view text = line.substr(0, line.size() - 1);
    const auto check = static_cast<std::uint8_t>(line.back());
    const std::uint8_t x = xorOf(text);
    return check == DisagCheckChar(text) || (x >= 0x80 && check == static_cast<std::uint8_t>(x + 32));
}

// ---------------------------------------------------------------------------------------------
// TDisagSendThread

TDisagSendThread::TDisagSendThread(TDisagCom& owner) : m_owner(owner) {}

TDisagSendThread::~TDisagSendThread() {
    Stop();
}

void TDisagSendThread::Execute() {
    while (!Terminated()) {
        std::optional<std::string> command = Commands().WaitTake(std::chrono::milliseconds(-1));
        if (!command)
            break; // stopped; commands still queued go with the queue
        SendCommand(*command, kTries, false);
        // Lines that came in behind the machine's answer were taken into the port's queue by the
        // handshake's reads; the port only reports bytes new on the device, so they are
        // handled here.
        m_owner.receivePending();
    }
}

void TDisagSendThread::Failed() {
    m_owner.reportFailure();
}

bool TDisagSendThread::SendCommand(const std::string& text, int tries, bool quiet) {
    TDisagCom& com = m_owner;
    const TStopSignal* const stop = quiet ? nullptr : &StopSignal();
    const auto stopped = [&] { return !quiet && Terminated(); };
    const auto failed = [&] {
        if (!stopped() && !quiet)
            com.PostError(0);
        return false;
    };

    std::lock_guard input(com.m_inputMutex);
    m_busy.store(true);
    struct BusyEnd {
        std::atomic<bool>& busy;
        ~BusyEnd() { busy.store(false); }
    } busyEnd{m_busy};

    std::string frame = text;
    frame += static_cast<char>(DisagCheckChar(text));
    frame += static_cast<char>(Ascii::CR);

    // Enquiry: ENQ until the machine answers STX. Each try takes its 200 ms, so a machine that
    // is busy for a while gets about two seconds before the command is given up.
    bool ready = false;
    for (int i = 0; i < tries && !ready; ++i) {
        if (stopped())
            return false;
        com.purgeForEnquiry(stop);
        com.WriteByte(Ascii::ENQ);
        const Clock::time_point deadline = Clock::now() + kEnquiryWait;
        while (!ready && com.WaitForInput(remaining(deadline), stop) == wrInput) {
            const std::optional<std::uint8_t> byte = com.ReadPending();
            if (!byte)
                break; // taken by nobody else, so not expected: no reason to wait on
            if (*byte == Ascii::STX)
                ready = true;
            else if (*byte == Ascii::NAK)
                break;
            else
                com.strayByte(*byte); // a machine line, not the answer
        }
        if (!ready)
            pause(deadline - Clock::now(), stop);
    }
    if (!ready)
        return failed();

    // Sending: the text until the machine acknowledges it.
    for (int i = 0; i < kSendings; ++i) {
        com.WriteStr(frame);
        const Clock::time_point deadline = Clock::now() + kAckWait;
        for (;;) {
            const TWaitResult w = com.WaitForInput(remaining(deadline), stop);
            if (w == wrStopped && stopped())
                return false;
            if (w != wrInput)
                break;
            const std::optional<std::uint8_t> byte = com.ReadPending();
            if (!byte)
                break; // taken by nobody else, so not expected: no reason to wait on
            if (*byte == Ascii::ACK) {
                if (!quiet)
                    com.ReportAnswer();
                return true;
            }
            if (*byte == Ascii::NAK)
                break;
            com.strayByte(*byte);
        }
    }
    return failed();
}

// ---------------------------------------------------------------------------------------------
// TDisagCom

TDisagCom::TDisagCom() : m_einstellstring([this] { Reset(); }) {
    ApplyMachineLineSettings(br38400, true, TComEvents{evRxChar}, smNone);
    OnRxChar = [this](TCustomComPort* sender, int count) { RxCharEvent(sender, count); };
    // An adapter pulled while the line is idle is reported at once, not at the next command.
    OnDeviceLost = [this](TCustomComPort*) { reportFailure(); };
    OnBeforeOpen = [this](TCustomComPort*) {
        std::lock_guard input(m_inputMutex);
        m_closing = false;
        m_damagedInRow = 0;
        if (!m_testing)
            handOverKept();
    };
}

TDisagCom::~TDisagCom() {
    OnRxChar = nullptr;
    OnDeviceLost = nullptr;
    OnBeforeOpen = nullptr;
    Shutdown(); // stops the send thread while this part still exists
}

void TDisagCom::OnAfterOpenEvent(TCustomComPort*) {
    m_failureReported.store(false);
    m_opened.store(true);
    {
        std::lock_guard lock(m_threadMutex);
        if (!m_sendThread) {
            m_sendThread = std::make_unique<TDisagSendThread>(*this);
            m_sendThread->Start();
        }
    }
    Reset();
}

void TDisagCom::OnBeforeCloseEvent(TCustomComPort*) {
    // The thread leaves the reach of the receive side first: a line that arrives now queues
    // nothing, and nobody waits for a thread that is ending.
    std::unique_ptr<TDisagSendThread> thread;
    {
        std::lock_guard lock(m_threadMutex);
        thread = std::move(m_sendThread);
    }
    if (thread)
        thread->Stop(); // ends a handshake at its next wait; queued commands are dropped with it
    thread.reset();
    m_opened.store(false);
    // Lines that arrive from now on are left to the closing port, unacknowledged, so the machine
    // sends them again later; the last acknowledgement is given time to leave before the port
    // drops its output.
    std::lock_guard input(m_inputMutex);
    m_closing = true;
    if (m_ackSent)
        pause(m_lastAck + kAckDrain - Clock::now(), nullptr);
    m_line.clear();
    m_resync = false;
    m_ackSent = false;
}

void TDisagCom::queue(std::vector<std::string> texts) {
    std::lock_guard lock(m_threadMutex); // texts queued together stay together
    if (m_sendThread)
        for (std::string& text : texts)
            m_sendThread->Commands().Post(std::move(text));
}

void TDisagCom::Reset() {
    if (m_opened.load() && !m_editing.load())
        queue({m_einstellstring.BuildString()});
}

void TDisagCom::ClearEditData() {
    if (m_editing.load())
        return;
    std::lock_guard lock(m_editMutex);
    m_editList.clear();
}

std::vector<TDisagEditShot> TDisagCom::EditList() const {
    std::lock_guard lock(m_editMutex);
    return m_editList;
}

void TDisagCom::reportFailure() {
    if (!m_failureReported.exchange(true))
        PostError(0);
}

// ---------------------------------------------------------------------------------------------
// Receiving (port event thread)

void TDisagCom::RxCharEvent(TCustomComPort*, int) {
    try {
        receivePending();
    } catch (const EComPort&) {
        reportFailure(); // the device went away
    }
}

void TDisagCom::receivePending() {
    char buffer[kReadChunk];
    for (;;) {
        // The lock is taken per chunk, so a handshake waiting for the input gets its turn.
        std::lock_guard input(m_inputMutex);
        if (m_closing)
            return;
        const int n = Read(buffer, static_cast<int>(sizeof buffer));
        if (n <= 0)
            return;
        receive(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof buffer)
            return;
    }
}

void TDisagCom::feed(const char* bytes, std::size_t count) {
    std::lock_guard input(m_inputMutex);
    receive(bytes, count);
}

void TDisagCom::answerLine(std::uint8_t answer) {
    if (m_handingOver)
        return; // a line kept from a test: acknowledged when it came
    TransmitChar(static_cast<char>(answer));
    ReportAnswer(); // a damaged line, too, comes from a machine that is there
}

void TDisagCom::receive(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (c == '\0')
            continue;
        if (c == static_cast<char>(Ascii::CR)) {
            lineEnd();
        } else if (m_resync) {
            // the rest of a broken line
        } else if (m_line.size() >= MaxLine) {
            m_line.clear(); // no machine line is this long: garbage
            m_resync = true;
        } else {
            m_line += c;
        }
    }
}

void TDisagCom::lineEnd() {
    if (m_resync) {
        // A line that lost bytes is neither acknowledged nor delivered: the machine sends it again.
        m_resync = false;
        m_line.clear();
        return;
    }
    // A bare CR is an empty line: acknowledged and delivered empty.
    const bool intact = m_line.empty() || DisagLineIntact(m_line);
    answerLine(intact ? Ascii::ACK : Ascii::NAK);
    m_ackSent = true;
    m_lastAck = Clock::now();
    if (!intact) {
        refuseLine();
        return;
    }

    if (!m_line.empty()) {
        m_line.pop_back(); // the check character
        m_damagedInRow = 0;
    }
    const std::string_view line = m_line;
    if (line.starts_with("WSE")) {
        Reset();
    } else if (line.starts_with("STA")) {
        ClearEditData();
    } else if (line.starts_with("WSC=-")) {
        {
            std::lock_guard lock(m_editMutex);
            m_editTarget = tryStrToInt(line.substr(5));
            if (m_editTarget && *m_editTarget < 0)
                m_editTarget.reset();
        }
        m_editing.store(true);
        PostEdit();
    } else if (line.starts_with("SCH=")) {
        const TDisagSchusszeile zeile = DisagSchusszeileLesen(line);
        std::lock_guard lock(m_editMutex);
        for (const TDisagSchuss& s : zeile.Schuesse)
            m_editList.push_back({s.Schussnr, s.Ringwert, s.Teiler, s.Kennung == 'G' ? 'U' : 'V'});
    }
    PostData(std::exchange(m_line, std::string()));
}

void TDisagCom::logRefused(std::string_view line) {
    logEreignis(LogName(), "Zeile mit falschem Pr\xC3\xBC"
                           "fzeichen abgelehnt (NAK): " +
                               Uebertragungslog::maskiert(line));
}

void TDisagCom::refuseLine() {
    logRefused(m_line);
    if (++m_damagedInRow == kDamagedLinesTold)
        PostHinweis("Die Maschine an " + LogName() +
                    " sendet besch\xE4"
                    "digte Zeilen (Pr\xFC"
                    "fzeichen falsch). Kabel und Stecker pr\xFC"
                    "fen.");
    m_line.clear();
}

void TDisagCom::purgeForEnquiry(const TStopSignal* stop) {
    if (m_ackSent) {
        pause(m_lastAck + kAckDrain - Clock::now(), stop);
        m_ackSent = false;
    }
    // Stale input is read and dropped here rather than purged, so that it is known whether a
    // line was cut: its rest, arriving later, must not pass for a line of its own.
    // Late handshake bytes among it (STX, ACK, NAK) belong to no line.
    std::string stale;
    if (const int n = InputCount(); n > 0)
        ReadStr(stale, n);
    const auto last = std::find_if(stale.rbegin(), stale.rend(), [](char c) { return !isHandshakeByte(c); });
    if (last != stale.rend())
        m_resync = *last != static_cast<char>(Ascii::CR);
    else if (!m_line.empty())
        m_resync = true;
    m_line.clear();
    ClearBuffer(false, true);
}

void TDisagCom::strayByte(std::uint8_t byte) {
    if (isHandshakeByte(static_cast<char>(byte)))
        return; // late or out of place: part of no line
    m_line.clear();
    m_resync = byte != Ascii::CR;
}

// ---------------------------------------------------------------------------------------------
// The edit pass (main thread)

void TDisagCom::ProcessEdit() {
    // The list is not held locked while OnEdit runs: the handler shows a message box, whose
    // event loop lets further machine lines (and another edit pass) in.
    for (std::size_t i = 0;; ++i) {
        TDisagEditShot shot;
        {
            std::lock_guard lock(m_editMutex);
            if (i >= m_editList.size())
                break;
            if (m_editList[i].Status != 'V')
                continue;
            m_editList[i].Status = 'U';
            shot = m_editList[i];
        }
        std::string ringwert = shot.Ringwert;
        OnEdit(this, shot.Schussnr, ringwert);
        std::lock_guard lock(m_editMutex);
        if (i < m_editList.size() && m_editList[i].Schussnr == shot.Schussnr)
            m_editList[i].Ringwert = std::move(ringwert);
    }
    SendEdit();
    m_editing.store(false);
}

void TDisagCom::SendEdit() {
    // "EDI=" the shots of the series ";" the shots of the target waiting (k of "WSC=-k"), then
    // "S=" number ";" ring ";" divisor ";" status for every shot.
    std::vector<std::string> answer;
    {
        std::lock_guard lock(m_editMutex);
        const auto n = static_cast<std::int32_t>(m_editList.size());
        answer.push_back("EDI=" + std::to_string(n) + ";" + std::to_string(m_editTarget.value_or(n)));
        for (const TDisagEditShot& shot : m_editList)
            answer.push_back("S=" + std::to_string(shot.Schussnr) + ";" + shot.Ringwert + ";" + shot.Teiler +
                             ";" + shot.Status);
    }
    queue(std::move(answer));
}

// ---------------------------------------------------------------------------------------------
// Test

bool TDisagCom::Test(std::string& model) {
    model.clear();
    Close();
    struct Testing {
        bool& flag;
        ~Testing() { flag = false; }
    } testing{m_testing = true}; // the test's opening hands nothing kept over
    TTestGuard guard(*this, true);
    Open();
    TDisagSendThread probe(*this); // not started: the handshake runs on this thread
    if (!probe.SendCommand("TYP", kTries, true))
        return false;
    model = modelFromReply();
    return true;
}

std::string TDisagCom::modelFromReply() {
    // The answer: "TYP=", the name, the check character and CR. A damaged one gets NAK, and the
    // machine sends it again; damaged twice (or not sent again), the machine is there but its
    // model unknown. A line the machine sends on its own meanwhile (a shot of a series in
    // progress) is acknowledged and kept. Reading goes on for as long as an answer takes to
    // leave, so a line that follows at once is not left unanswered.
    std::string model;
    std::string line;
    int damaged = 0;
    bool answered = false;
    bool sentAnswer = false;
    Clock::time_point deadline = Clock::now() + kReplyWait;
    while (WaitForInput(remaining(deadline)) == wrInput) {
        std::string chunk;
        if (ReadStr(chunk, InputCount()) <= 0)
            break;
        for (const char c : chunk) {
            if (c != static_cast<char>(Ascii::CR)) {
                if (line.size() < MaxLine)
                    line += c;
                continue;
            }
            if (!answered && line.starts_with("TYP=")) {
                sentAnswer = true;
                if (DisagLineIntact(line)) {
                    WriteByte(Ascii::ACK);
                    answered = true;
                    model = line.size() > 5 ? line.substr(4, line.size() - 5) : std::string();
                } else {
                    WriteByte(Ascii::NAK);
                    logRefused(line);
                    answered = ++damaged == 2;
                }
            } else if (keepUnasked(line)) {
                sentAnswer = true;
            }
            line.clear();
            deadline = Clock::now() + (answered ? kAckDrain : kReplyWait);
        }
    }
    if (sentAnswer)
        pause(kAckDrain, nullptr); // closing the port drops output that has not left yet
    if (damaged > 0 && model.empty())
        return ModellUnbekannt;
    return model;
}

bool TDisagCom::keepUnasked(const std::string& line) {
    if (line.size() < 2 || m_kept.size() >= kMaxKept || !DisagLineIntact(line))
        return false; // unanswered, the machine sends it again
    const std::string_view text = std::string_view(line).substr(0, line.size() - 1);
    WriteByte(Ascii::ACK);
    m_kept.push_back({Port(), line + static_cast<char>(Ascii::CR)});
    logEreignis(LogName(), "Zeile ohne Aufforderung w\xC3\xA4hrend des Tests angenommen, aufgehoben bis zur "
                           "n\xC3\xA4"
                           "chsten Anmeldung an dieser Schnittstelle: " +
                               win1252ToUtf8(std::string(text)));
    return true;
}

void TDisagCom::handOverKept() {
    std::vector<TKeptLine> kept = std::exchange(m_kept, {});
    m_line.clear();
    m_resync = false;
    for (const TKeptLine& k : kept) {
        const std::string text = win1252ToUtf8(k.bytes.substr(0, k.bytes.size() - 2));
        if (k.port != Port()) {
            logEreignis(k.port, "aufgehobene Zeile nicht \xC3\xBC"
                                "bergeben (die Disag ist an " +
                                    Port() + " angemeldet): " + text);
            continue;
        }
        logEreignis(k.port, "aufgehobene Zeile \xC3\xBC"
                            "bergeben: " +
                                text);
        m_handingOver = true;
        receive(k.bytes.data(), k.bytes.size());
        m_handingOver = false;
    }
}

bool TDisagCom::Test() {
    std::string model;
    return Test(model);
}
