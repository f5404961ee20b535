#include "SamCom.h"

#include <thread>

namespace {
constexpr std::uint8_t kStart = 0xB2; // sent when the reader starts
constexpr std::uint8_t kStop = 0xB0;  // sent when the reader stops
constexpr auto kCycle = std::chrono::milliseconds(10);
constexpr auto kBeforeAck = std::chrono::milliseconds(300);
} // namespace

// --- TSamComThread

int TSamComThread::ReadByte(bool withLimit) {
    const int byte =
        m_com.ReadByte(withLimit ? TSamCom::ReplyLimit : std::chrono::milliseconds(-1), StopSignal());
    if (byte == TMachineComponent::ReadTimedOut)
        m_com.PostError(0);
    return byte;
}

void TSamComThread::Execute() {
    m_com.WriteByte(kStart);
    while (!Terminated()) {
        if (!Sleep(kCycle))
            break;
        m_com.WriteByte(Ascii::ENQ);
        const int reply = ReadByte(true);
        if (reply != Ascii::STX) {
            // NAK or ACK: nothing waiting. Any other byte is noise on the line: what came with
            // it is dropped too, so the next enquiry starts afresh.
            if (reply >= 0 && reply != Ascii::NAK && reply != Ascii::ACK)
                m_com.DiscardInput();
            continue;
        }

        // A block that is cut off by a stop stays unconfirmed, so the machine keeps it and
        // offers it again; one that grows past its limit without an end is garbage.
        std::optional<std::string> block = m_com.ReadBlock(Ascii::ETB, 2, *this);
        if (!block)
            continue;
        m_com.PostData(std::move(*block));
        Sleep(kBeforeAck);
        m_com.WriteByte(Ascii::ACK);
    }
    m_com.WriteClosingByte(kStop);
}

void TSamComThread::Failed() {
    // The port failed (device gone): the user gets the machine's error message.
    m_com.PostError(0);
}

// --- TSamCom

TSamCom::TSamCom() {
    ApplyMachineLineSettings(br9600, false, TComEvents{}, smThreadSync);
}

TSamCom::~TSamCom() {
    Shutdown();
}

void TSamCom::OnAfterOpenEvent(TCustomComPort*) {
    if (FThread)
        return;
    FThread = std::make_unique<TSamComThread>(*this);
    FThread->Start();
}

void TSamCom::OnBeforeCloseEvent(TCustomComPort*) {
    if (!FThread)
        return;
    FThread->Stop();
    FThread.reset();
}

bool TSamCom::Test() {
    Close();
    TTestGuard guard(*this);
    Open();
    WriteByte(kStart);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    WriteByte(Ascii::ENQ);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto reply = ReadPending();
    const bool found = reply && (*reply == Ascii::NAK || *reply == Ascii::ACK);
    WriteClosingByte(kStop);
    return found;
}
