#include "RikaCom.h"

#include <cstdio>
#include <thread>

namespace {
constexpr std::uint8_t kStart = 0xD3; // sent when the reader starts; the machine sends its version
constexpr std::uint8_t kStop = 0xD0;  // sent when the reader stops
constexpr std::size_t kMaxVersion = 256;
} // namespace

// --- TRikaConfig

TRikaConfig::TRikaConfig(TRikaCom* com) : FCom(com) {}

void TRikaConfig::send(const char* format, int value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    if (FCom)
        FCom->SendString(text);
}

void TRikaConfig::SetSerie(std::int32_t value) {
    if (value < 0 || value > 200)
        return;
    FSerie = value;
    send("S%03d", value);
}

void TRikaConfig::SetTeiler(std::int32_t value) {
    if (value < 0 || value > 6500)
        return;
    FTeiler = value;
    send("T%04d", value);
}

void TRikaConfig::SetTeilerfaktor(std::int32_t value) {
    if (value < 1 || value > 99)
        return;
    FTeilerfaktor = value;
    send("F%02d", value);
}

void TRikaConfig::SetSchuss(RikaSchuss value) {
    if (value > sz5)
        return;
    FSchuss = value;
    send("U%d", static_cast<int>(value) + 1);
}

void TRikaConfig::SetZehntelwertung(RikaZehntelwertung value) {
    if (value > zwZRT)
        return;
    FZehntelwertung = value;
    send("Z%d", static_cast<int>(value));
}

void TRikaConfig::SendAll() {
    SetSerie(FSerie);
    SetTeiler(FTeiler);
    SetTeilerfaktor(FTeilerfaktor);
    SetSchuss(FSchuss);
    SetZehntelwertung(FZehntelwertung);
}

void TRikaConfig::Assign(const TPersistent* Source) {
    const auto* other = dynamic_cast<const TRikaConfig*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    FSerie = other->FSerie;
    FTeiler = other->FTeiler;
    FTeilerfaktor = other->FTeilerfaktor;
    FSchuss = other->FSchuss;
    FZehntelwertung = other->FZehntelwertung;
}

// --- TRikaComThread

int TRikaComThread::ReadByte(int limitSeconds) {
    const auto limit = limitSeconds >= 1 ? std::chrono::milliseconds(std::chrono::seconds(limitSeconds))
                                         : std::chrono::milliseconds(-1);
    const int byte = m_com.ReadByte(limit, StopSignal());
    if (byte == TMachineComponent::ReadTimedOut)
        m_com.PostError(0);
    return byte;
}

void TRikaComThread::ProcessCommand() {
    std::optional<std::string> text = Commands().TryTake();
    if (!text)
        return;
    std::string command(1, static_cast<char>(Ascii::ESC));
    command += *text;
    if (command.back() != static_cast<char>(Ascii::CR))
        command += static_cast<char>(Ascii::CR);
    m_com.WriteStr(command);
    ReadByte(0); // the machine's reply, not evaluated
}

void TRikaComThread::Execute() {
    m_com.WriteByte(kStart);
    if (Sleep(std::chrono::milliseconds(100)) && ReadByte(TRikaCom::StartReplyLimitSeconds) >= 0) {
        // The rest of the version text.
        for (std::size_t n = 0; n < kMaxVersion && m_com.ReadPending(); ++n) {
        }
    }
    while (!Terminated()) {
        ProcessCommand();
        if (Terminated())
            break;
        m_com.WriteByte(Ascii::SYN);
        const int reply = ReadByte(0);
        if (reply != Ascii::SOH) {
            // 0x00: nothing waiting. Any other byte is noise on the line: what came with it is
            // dropped too, so the next poll starts afresh.
            if (reply > 0)
                m_com.DiscardInput();
            continue;
        }

        // A block that is cut off by a stop stays unconfirmed; one that grows past its limit
        // without an end is garbage.
        std::optional<std::string> block = m_com.ReadBlock(Ascii::EOT, 1, *this);
        if (!block)
            continue;
        m_com.PostData(std::move(*block));
        m_com.WriteByte(Ascii::FF);
    }
    m_com.WriteClosingByte(kStop);
}

void TRikaComThread::Failed() {
    // The port failed (device gone): the user gets the machine's error message.
    m_com.PostError(0);
}

// --- TRikaCom

TRikaCom::TRikaCom() : FEinstellungen(std::make_unique<TRikaConfig>(this)) {
    ApplyMachineLineSettings(br9600, false, TComEvents{}, smThreadSync);
}

TRikaCom::~TRikaCom() {
    Shutdown();
}

void TRikaCom::SendString(const std::string& text) {
    if (FThread)
        FThread->Commands().Post(text);
}

void TRikaCom::OnAfterOpenEvent(TCustomComPort*) {
    if (FThread)
        return;
    // The commands are queued before the reader starts, so each goes out at the start of a
    // poll cycle, after the start byte and the version text.
    FThread = std::make_unique<TRikaComThread>(*this);
    FEinstellungen->SendAll();
    FThread->Start();
}

void TRikaCom::OnBeforeCloseEvent(TCustomComPort*) {
    if (!FThread)
        return;
    FThread->Stop();
    FThread.reset();
}

bool TRikaCom::Test(std::string& version) {
    Close();
    TTestGuard guard(*this);
    version.clear();
    Open();
    WriteByte(kStart);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    while (const auto byte = ReadPending()) {
        if (version.size() >= kMaxVersion) {
            ClearBuffer(true, false);
            break;
        }
        version += static_cast<char>(*byte);
    }
    WriteByte(Ascii::SYN);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto reply = ReadPending();
    const bool found = reply && (*reply == Ascii::NUL || *reply == Ascii::SOH);
    WriteByte(kStop);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ClearBuffer(true, false);
    return found;
}

bool TRikaCom::Test() {
    std::string version;
    return Test(version);
}
