#include "DisagRm3FernCom.h"

#include <exception>
#include <string_view>
#include <utility>

namespace {
using namespace std::chrono_literals;
constexpr int kDsrLooks = 10;        // after "ENDE": looks at DSR before the settings go out anyway
constexpr auto kDsrLookPause = 10ms; // between two looks
constexpr std::size_t kReadChunk = 1024;
constexpr auto kAntwortWarten = 2s;      // for the answer to "E"
constexpr std::size_t kMaxAntwort = 120; // the longest answer the machine gives

using Clock = std::chrono::steady_clock;

// The machine's answer to "E": its current settings, eight values separated by ";".
bool einstellungsantwort(std::string_view zeile) {
    std::size_t felder = 0;
    for (;;) {
        const std::size_t ende = zeile.find(';');
        if (zeile.substr(0, ende).find_first_not_of(' ') == std::string_view::npos)
            return false; // an empty value
        ++felder;
        if (ende == std::string_view::npos)
            return felder == 8;
        zeile.remove_prefix(ende + 1);
    }
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TTimeoutThread

TTimeoutThread::TTimeoutThread(std::chrono::milliseconds limit, std::function<void()> callback)
    : m_callback(std::move(callback)), m_thread([this, limit] { run(limit); }) {}

TTimeoutThread::~TTimeoutThread() {
    Terminate();
    if (m_thread.joinable())
        m_thread.join();
}

void TTimeoutThread::Terminate() {
    {
        std::lock_guard lock(m_mutex);
        m_terminated = true;
    }
    m_cv.notify_all();
}

void TTimeoutThread::run(std::chrono::milliseconds limit) {
    {
        std::unique_lock lock(m_mutex);
        if (m_cv.wait_for(lock, limit, [this] { return m_terminated; }))
            return;
        m_terminated = true;
    }
    m_callback();
}

// ---------------------------------------------------------------------------------------------
// TDisagRm3FernCom

TDisagRm3FernCom::TDisagRm3FernCom() {
    ApplyMachineLineSettings(br2400, true, TComEvents{evRxChar, evDSR}, smThreadSync);
    OnRxChar = [this](TCustomComPort* sender, int count) { RxCharEvent(sender, count); };
    OnDSRChange = [this](TCustomComPort* sender, bool on) { OnDSRChangeEvent(sender, on); };
    OnDeviceLost = [this](TCustomComPort*) { reportFailure(); };
}

TDisagRm3FernCom::~TDisagRm3FernCom() {
    OnRxChar = nullptr;
    OnDSRChange = nullptr;
    OnDeviceLost = nullptr;
    Shutdown(); // closes the port, which ends the watch, while this part still exists
}

void TDisagRm3FernCom::SetEinstellstring(const std::string& value) {
    m_einstellstring = value;
    if (m_opened)
        WriteStr(m_einstellstring + '\r');
}

void TDisagRm3FernCom::OnAfterOpenEvent(TCustomComPort*) {
    m_opened = true;
    m_failureReported = false;
    SetEinstellstring(m_einstellstring);
    // The port reports the DSR line's state right after this: a machine that is off already
    // is watched from the start.
}

void TDisagRm3FernCom::OnBeforeCloseEvent(TCustomComPort*) {
    m_opened = false;
    stopWatch();
    m_line.clear();
    m_discarding = false;
}

void TDisagRm3FernCom::stopWatch() {
    m_timeoutThread.reset(); // terminates the watch and waits for its end
}

void TDisagRm3FernCom::OnDSRChangeEvent(TCustomComPort*, bool OnOff) {
    if (!m_opened)
        return;
    stopWatch();
    if (!OnOff)
        m_timeoutThread = std::make_unique<TTimeoutThread>(m_dsrTimeout, [this] { DsrTimeoutError(); });
}

void TDisagRm3FernCom::DsrTimeoutError() {
    PostError(1); // from the watch: OnError runs on the main thread
}

void TDisagRm3FernCom::RxCharEvent(TCustomComPort*, int) {
    try {
        receive();
    } catch (const EComPort&) {
        reportFailure(); // the device failed under a read or the settings write
    }
}

void TDisagRm3FernCom::reportFailure() {
    // The machine is not reachable: said once per opening, whether a read or the port's event
    // thread noticed it first.
    if (m_opened && !m_failureReported) {
        m_failureReported = true;
        OnError(this, 1);
    }
}

void TDisagRm3FernCom::receive() {
    char buffer[kReadChunk];
    for (;;) {
        const int n = Read(buffer, static_cast<int>(sizeof buffer));
        for (int i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\0')
                continue;
            if (c == '\r') {
                lineEnd();
                if (!m_opened)
                    return; // a handler closed the port: the rest goes with it
            } else if (m_discarding) {
                // the rest of a line that is too long
            } else if (m_line.size() >= MaxLine) {
                m_line.clear();
                m_discarding = true;
            } else {
                m_line += c;
            }
        }
        if (n < static_cast<int>(sizeof buffer))
            return;
    }
}

void TDisagRm3FernCom::lineEnd() {
    if (std::exchange(m_discarding, false)) {
        m_line.clear();
        return;
    }
    std::string line = std::exchange(m_line, std::string());
    ReportAnswer();
    std::exception_ptr failure;
    if (line == "ENDE") {
        try {
            // The machine is ready for its settings once it raises DSR again.
            for (int i = 0; i < kDsrLooks && !Signals().contains(csDSR); ++i)
                std::this_thread::sleep_for(kDsrLookPause);
            WriteStr(m_einstellstring + '\r');
        } catch (const EComPort&) {
            failure = std::current_exception(); // reported once the line is delivered
        }
    }
    OnData(this, std::move(line));
    if (failure)
        std::rethrow_exception(failure);
}

bool TDisagRm3FernCom::Test() {
    Close();
    TTestGuard guard(*this, true); // no settings go out: they would start a new series
    Open();
    WriteStr("E\r");
    // Only the machine answers "E" with its settings; an echo ("E"), a DSR line that is merely
    // on, or other bytes are no machine.
    const Clock::time_point deadline = Clock::now() + kAntwortWarten;
    std::string zeile;
    bool zuLang = false;
    for (;;) {
        const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (rest <= 0ms || WaitForInput(rest) != wrInput)
            return false;
        std::string chunk;
        if (ReadStr(chunk, InputCount()) <= 0)
            return false;
        for (const char c : chunk) {
            if (c == '\0')
                continue;
            if (c != '\r') {
                zuLang = zuLang || zeile.size() >= kMaxAntwort;
                if (!zuLang)
                    zeile += c;
                continue;
            }
            if (!zuLang && einstellungsantwort(zeile))
                return true;
            zeile.clear();
            zuLang = false;
        }
    }
}
