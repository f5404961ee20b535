#include "SamCom.h"

#include <thread>

namespace {
constexpr std::uint8_t kStart = 0xB2; // sent when the reader starts
constexpr std::uint8_t kStop = 0xB0;  // sent when the reader stops
constexpr auto kCycle = std::chrono::milliseconds(10);
constexpr auto kBeforeAck = std::chrono::milliseconds(300);
constexpr int kMaxNaks = 3; // damaged copies of one block answered with NAK
// The test: the first answer to its enquiry, then each further byte of a block the machine has
// waiting. At 9600 baud a byte takes about 1 ms and a block of ten shots (271 bytes) 0.3 s; the
// longest block (99 shots) is 2407 bytes.
constexpr auto kTestReply = std::chrono::milliseconds(100);
constexpr auto kTestByte = std::chrono::milliseconds(100);
constexpr std::size_t kTestBlockMax = 2600;
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
        if (reply == Ascii::STX) {
            ReadOffer();
        } else if (reply == Ascii::NAK || reply == Ascii::ACK) {
            m_com.ReportAnswer(); // nothing waiting
        } else if (reply >= 0) {
            // Any other byte is noise on the line: what came with it is dropped too, so the
            // next enquiry starts afresh.
            m_com.DiscardInput();
        }
    }
    m_com.WriteClosingByte(kStop);
}

void TSamComThread::ReadOffer() {
    // The machine sends a copy again at once when it gets NAK. After the last NAK allowed, a
    // damaged copy is kept rather than lost, and the user is told to check it.
    for (int naks = 0;; ++naks) {
        TMachineBlock block = m_com.ReadBlock(Ascii::STX, Ascii::ETB, 2, *this);
        switch (block.End) {
        case TMachineBlock::Complete:
            m_com.ReportAnswer();
            break;
        case TMachineBlock::Silent:
            BrokenOff();
            return;
        case TMachineBlock::Stopped: // unconfirmed: the machine keeps it
        case TMachineBlock::Garbage:
            return;
        }
        const bool intact = static_cast<std::uint8_t>(block.Trailing[0]) == block.Check;
        if (intact || naks == kMaxNaks) {
            m_com.PostData(std::move(block.Text));
            if (!intact)
                m_com.PostHinweis(
                    "Die Serie von der SAM an " + m_port +
                    " kam viermal mit falscher Pr\xFC"
                    "fsumme an.\n\r"
                    "Sie wurde trotzdem gespeichert; bitte die Werte mit der Maschine vergleichen.");
            Sleep(kBeforeAck);
            m_com.WriteByte(Ascii::ACK);
            return;
        }
        m_com.WriteByte(Ascii::NAK);
        const int again = m_com.ReadByte(m_com.Silence(), StopSignal());
        if (again == Ascii::STX)
            continue;
        if (again == TMachineComponent::ReadTimedOut)
            BrokenOff();
        else if (again >= 0)
            m_com.DiscardInput();
        return;
    }
}

void TSamComThread::BrokenOff() {
    // Unconfirmed, the block stays with the machine, which offers it again.
    m_com.PostHinweis("Die \xDC"
                      "bertragung von der SAM an " +
                      m_port +
                      " ist mitten in einer Serie abgebrochen.\n\r"
                      "Die Serie wurde nicht gespeichert; die Maschine bietet sie noch einmal an.");
    m_com.DiscardInput();
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
    if (m_reader)
        return;
    m_reader = std::make_unique<TSamComThread>(*this, Port());
    m_reader->Start();
}

void TSamCom::OnBeforeCloseEvent(TCustomComPort*) {
    if (!m_reader)
        return;
    m_reader->Stop();
    m_reader.reset();
}

bool TSamCom::Test() {
    Close();
    TTestGuard guard(*this);
    Open();
    WriteByte(kStart);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    WriteByte(Ascii::ENQ);
    bool found = false;
    if (WaitForInput(kTestReply) == wrInput) {
        const auto reply = ReadPending();
        if (reply && (*reply == Ascii::NAK || *reply == Ascii::ACK)) {
            found = true;
        } else if (reply == Ascii::STX && WholeBlockFollows()) {
            // A series waits. NAK leaves it with the machine, which offers it again once the
            // reader polls; ACK would take it from the machine for nobody.
            found = true;
            WriteByte(Ascii::NAK);
        }
    }
    WriteClosingByte(kStop);
    return found;
}

bool TSamCom::WholeBlockFollows() {
    std::uint8_t check = Ascii::STX;
    bool ended = false;
    for (std::size_t n = 0; n < kTestBlockMax; ++n) {
        if (WaitForInput(kTestByte) != wrInput)
            return false;
        const auto byte = ReadPending();
        if (!byte)
            return false;
        if (!ended) {
            check ^= *byte;
            ended = *byte == Ascii::ETB;
        } else if (*byte != check) {
            return false;
        } else {
            const auto last = WaitForInput(kTestByte) == wrInput ? ReadPending() : std::nullopt;
            return last == '$';
        }
    }
    return false;
}
