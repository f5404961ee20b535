#include "MachineComponent.h"

#include "Uebertragungslog.h"
#include "Win1252.h"

#include <algorithm>

// --- TMachineCommandQueue

void TMachineCommandQueue::Post(std::string command) {
    {
        std::lock_guard lock(m_mutex);
        m_commands.push_back(std::move(command));
    }
    m_cv.notify_one();
}

std::optional<std::string> TMachineCommandQueue::TryTake() {
    std::lock_guard lock(m_mutex);
    if (m_commands.empty())
        return std::nullopt;
    std::string command = std::move(m_commands.front());
    m_commands.pop_front();
    return command;
}

std::optional<std::string> TMachineCommandQueue::WaitTake(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const auto ready = [this] { return m_stopped || !m_commands.empty(); };
    if (timeout.count() < 0)
        m_cv.wait(lock, ready);
    else
        m_cv.wait_for(lock, timeout, ready);
    if (m_stopped || m_commands.empty())
        return std::nullopt;
    std::string command = std::move(m_commands.front());
    m_commands.pop_front();
    return command;
}

void TMachineCommandQueue::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_cv.notify_all();
}

bool TMachineCommandQueue::Stopped() const {
    std::lock_guard lock(m_mutex);
    return m_stopped;
}

std::size_t TMachineCommandQueue::Size() const {
    std::lock_guard lock(m_mutex);
    return m_commands.size();
}

// --- TMachineThread

TMachineThread::~TMachineThread() {
    // Normally stopped by the owner (and the derived destructor) already.
    Stop();
}

void TMachineThread::Start() {
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
}

void TMachineThread::Terminate() {
    m_terminated.store(true);
    m_stop.Signal();
    m_commands.Stop();
}

void TMachineThread::WaitFor() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void TMachineThread::Stop() {
    Terminate();
    WaitFor();
}

bool TMachineThread::Sleep(std::chrono::milliseconds time) const {
    return !m_stop.WaitFor(time);
}

void TMachineThread::run() {
    try {
        Execute();
    } catch (...) {
        if (!Terminated())
            Failed();
    }
}

// --- TMachineComponent

TMachineComponent::TMachineComponent()
    : m_token(std::make_unique<MainThread::LifeToken>()), m_watcher(m_token->watcher()) {
    OnAfterOpen = [this](TCustomComPort* sender) {
        m_answer.store(TMachineAnswer::Waiting);
        OnAfterOpenEvent(sender);
    };
    OnBeforeClose = [this](TCustomComPort* sender) { OnBeforeCloseEvent(sender); };
}

TMachineComponent::~TMachineComponent() {
    // The derived part is gone: its hooks must not run any more.
    OnAfterOpen = nullptr;
    OnBeforeClose = nullptr;
    Shutdown();
}

void TMachineComponent::ApplyMachineLineSettings(TBaudRate baudRate, bool discardNull, TComEvents events,
                                                 TSyncMethod syncMethod) {
    SetBaudRate(baudRate);
    SetDataBits(dbEight);
    Parity().SetBits(prNone);
    Parity().SetCheck(false);
    Parity().SetReplace(false);
    SetStopBits(sbOneStopBit);
    SetDiscardNull(discardNull);
    SetEvents(events);
    SetSyncMethod(syncMethod);
    TComFlowControl& flow = FlowControl();
    flow.SetControlDTR(dtrEnable);
    flow.SetControlRTS(rtsEnable);
    flow.SetDSRSensitivity(false);
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetTxContinueOnXoff(true);
    flow.SetXonXoffIn(false);
    flow.SetXonXoffOut(false);
    flow.SetFlowControl(fcCustom);
}

void TMachineComponent::PostData(std::string data) {
    TMachineDataKeeper* const keeper = m_keeper.load();
    if (!keeper) {
        MainThread::postGuarded(m_watcher, [this, data = std::move(data)] { OnData(this, data); });
        return;
    }
    const std::uint64_t kept = keeper->Keep(data);
    MainThread::postGuarded(m_watcher, [this, keeper, kept, data = std::move(data)] {
        keeper->Handle(kept, [&] { OnData(this, data); });
    });
}

void TMachineComponent::PostError(std::int32_t code) {
    logEreignis(LogName(), "Fehler: die Maschine antwortet nicht (Fehlercode " + std::to_string(code) + ")");
    MainThread::postGuarded(m_watcher, [this, code] { OnError(this, code); });
}

void TMachineComponent::PostHinweis(std::string text) {
    logEreignis(LogName(), "Hinweis: " + win1252ToUtf8(text));
    MainThread::postGuarded(m_watcher, [this, text = std::move(text)] { OnHinweis(this, text); });
}

void TMachineComponent::PostEdit() {
    MainThread::postGuarded(m_watcher, [this] { ProcessEdit(); });
}

void TMachineComponent::ReportAnswer() {
    m_lastAnswer.store(
        static_cast<std::int64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    const bool changed = m_answer.exchange(TMachineAnswer::Answering) != TMachineAnswer::Answering;
    if ((changed || !PollsItsMachine()) && OnAnswer)
        MainThread::postGuarded(m_watcher, [this] { OnAnswer(this); });
}

void TMachineComponent::ReportSilence() {
    if (m_answer.exchange(TMachineAnswer::Silent) != TMachineAnswer::Silent && OnAnswer)
        MainThread::postGuarded(m_watcher, [this] { OnAnswer(this); });
}

std::optional<std::chrono::system_clock::time_point> TMachineComponent::LastAnswer() const {
    const std::int64_t ticks = m_lastAnswer.load();
    if (ticks == 0)
        return std::nullopt;
    return std::chrono::system_clock::time_point(
        std::chrono::system_clock::duration(static_cast<std::chrono::system_clock::rep>(ticks)));
}

void TMachineComponent::Shutdown() {
    m_token.reset();
    try {
        Close();
    } catch (...) {
        // Closing never reports anything worth keeping a dying component for.
    }
}

std::optional<std::uint8_t> TMachineComponent::ReadPending() {
    std::uint8_t byte = 0;
    if (Read(&byte, 1) == 1)
        return byte;
    return std::nullopt;
}

int TMachineComponent::ReadByte(std::chrono::milliseconds limit, const TStopSignal& stop) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto wait = std::chrono::milliseconds(-1);
        if (limit.count() >= 0)
            wait = std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(
                                                              deadline - std::chrono::steady_clock::now()));
        switch (WaitForInput(wait, &stop)) {
        case wrStopped:
            return ReadStopped;
        case wrTimeout:
            if (limit.count() >= 0 && std::chrono::steady_clock::now() >= deadline)
                return ReadTimedOut;
            break;
        case wrInput:
            if (const auto byte = ReadPending())
                return *byte;
            break;
        }
    }
}

TMachineBlock TMachineComponent::ReadBlock(std::uint8_t start, std::uint8_t end, int trailing,
                                           const TMachineThread& worker) {
    // Inside a block the bytes are mostly there already: they are taken without a wait.
    const auto next = [&]() -> int {
        if (worker.Terminated())
            return ReadStopped;
        if (const auto byte = ReadPending())
            return *byte;
        return ReadByte(m_silenceLimit, worker.StopSignal());
    };
    const auto ended = [](int byte) {
        return byte == ReadStopped ? TMachineBlock::Stopped : TMachineBlock::Silent;
    };
    TMachineBlock block;
    block.Check = start;
    int byte = next();
    for (; byte != end; byte = next()) {
        if (byte < 0) {
            block.End = ended(byte);
            return block;
        }
        if (block.Text.size() >= MaxMachineBlock) {
            DiscardInput();
            block.End = TMachineBlock::Garbage;
            return block;
        }
        block.Check ^= static_cast<std::uint8_t>(byte);
        block.Text += byte == Ascii::CR ? ';' : static_cast<char>(byte);
    }
    block.Check ^= end;
    for (int i = 0; i < trailing; ++i) {
        byte = next();
        if (byte < 0) {
            block.End = ended(byte);
            return block;
        }
        block.Trailing += static_cast<char>(byte);
    }
    block.End = TMachineBlock::Complete;
    return block;
}

void TMachineComponent::WriteByte(std::uint8_t byte) {
    // One write of the byte, without the bookkeeping of a longer transfer: the workers send a
    // byte about a hundred times a second.
    TransmitChar(static_cast<char>(byte));
}

void TMachineComponent::WriteClosingByte(std::uint8_t byte) {
    WriteByte(byte);
    // One byte takes about 1 ms at 9600 baud, 4 ms at 2400.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void TMachineComponent::DiscardInput() {
    ClearBuffer(true, false);
}

// --- TMachineComponent::TTestGuard

TMachineComponent::TTestGuard::TTestGuard(TMachineComponent& component, bool rxChar)
    : m_component(component), m_rxChar(rxChar), m_afterOpen(component.OnAfterOpen.get()),
      m_beforeClose(component.OnBeforeClose.get()) {
    m_component.OnAfterOpen = nullptr;
    m_component.OnBeforeClose = nullptr;
    if (m_rxChar) {
        m_rxCharHandler = component.OnRxChar.get();
        m_component.OnRxChar = nullptr;
        m_deviceLostHandler = component.OnDeviceLost.get();
        m_component.OnDeviceLost = nullptr;
    }
}

TMachineComponent::TTestGuard::~TTestGuard() {
    try {
        m_component.Close();
    } catch (...) {
        // The port is closed as far as it can be; the hooks go back in any case.
    }
    m_component.OnAfterOpen = std::move(m_afterOpen);
    m_component.OnBeforeClose = std::move(m_beforeClose);
    if (m_rxChar) {
        m_component.OnRxChar = std::move(m_rxCharHandler);
        m_component.OnDeviceLost = std::move(m_deviceLostHandler);
    }
}
