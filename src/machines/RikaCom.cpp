#include "RikaCom.h"

#include <cstdio>
#include <thread>

namespace {
constexpr std::uint8_t kStart = 0xD3; // sent when the reader starts; the machine sends its version
constexpr std::uint8_t kStop = 0xD0;  // sent when the reader stops
constexpr std::size_t kMaxVersion = 256;
// How often the reader looks for the answer to a poll or a command: the machine is polled at
// most 20 times a second.
constexpr auto kLook = std::chrono::milliseconds(50);
} // namespace

// --- TRikaEinstellungen

TRikaEinstellungen::TRikaEinstellungen(TRikaCom* com) : m_com(com) {}

void TRikaEinstellungen::send(const char* format, int value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    if (m_com)
        m_com->SendString(text);
}

void TRikaEinstellungen::SetSerie(std::int32_t value) {
    if (value < 0 || value > 200)
        return;
    m_serie = value;
    send("S%03d", value);
}

void TRikaEinstellungen::SetTeiler(std::int32_t value) {
    if (value < 0 || value > 6500)
        return;
    m_teiler = value;
    send("T%04d", value);
}

void TRikaEinstellungen::SetTeilerfaktor(std::int32_t value) {
    if (value < 1 || value > 99)
        return;
    m_teilerfaktor = value;
    send("F%02d", value);
}

void TRikaEinstellungen::SetSchuss(RikaSchuss value) {
    if (value > sz5)
        return;
    m_schuss = value;
    send("U%d", static_cast<int>(value) + 1);
}

void TRikaEinstellungen::SetZehntelwertung(RikaZehntelwertung value) {
    if (value > zwZRT)
        return;
    m_zehntelwertung = value;
    send("Z%d", static_cast<int>(value));
}

void TRikaEinstellungen::SendAll() {
    SetSerie(m_serie);
    SetTeiler(m_teiler);
    SetTeilerfaktor(m_teilerfaktor);
    SetSchuss(m_schuss);
    SetZehntelwertung(m_zehntelwertung);
}

void TRikaEinstellungen::Assign(const TPersistent* Source) {
    const auto* other = dynamic_cast<const TRikaEinstellungen*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    m_serie = other->m_serie;
    m_teiler = other->m_teiler;
    m_teilerfaktor = other->m_teilerfaktor;
    m_schuss = other->m_schuss;
    m_zehntelwertung = other->m_zehntelwertung;
}

// --- TRikaComThread

int TRikaComThread::Answer() {
    const auto deadline = std::chrono::steady_clock::now() + m_com.Silence();
    // Every look follows a pause, the first one too: on the line the answer takes a few
    // milliseconds anyway, and a machine that answers at once is still polled at this pace.
    for (;;) {
        if (!Sleep(kLook))
            return TMachineComponent::ReadStopped;
        switch (m_com.WaitForInput(std::chrono::milliseconds(0), &StopSignal())) {
        case wrStopped:
            return TMachineComponent::ReadStopped;
        case wrInput:
            if (const auto byte = m_com.ReadPending()) {
                m_com.ReportAnswer();
                if (m_silent) {
                    m_silent = false;
                    m_com.PostHinweis("Die Rika SAG-1 an " + m_port + " antwortet wieder.");
                }
                return *byte;
            }
            break;
        case wrTimeout:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_com.ReportSilence();
            if (!m_silent) {
                m_silent = true;
                m_com.PostHinweis("Die Rika SAG-1 an " + m_port +
                                  " antwortet nicht mehr.\n\r"
                                  "Trefflux fragt weiter an; bitte Kabel und Maschine pr\xFC"
                                  "fen.");
            }
            return TMachineComponent::ReadTimedOut;
        }
    }
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
    Answer(); // the machine's reply, not evaluated
}

void TRikaComThread::Execute() {
    m_com.WriteByte(kStart);
    if (Sleep(std::chrono::milliseconds(100))) {
        const int first = m_com.ReadByte(TRikaCom::StartReplyLimit, StopSignal());
        if (first == TMachineComponent::ReadTimedOut)
            m_com.PostError(0);
        else if (first >= 0)
            m_com.ReportAnswer();
        // The rest of the version text.
        for (std::size_t n = 0; first >= 0 && n < kMaxVersion && m_com.ReadPending(); ++n) {
        }
    }
    while (!Terminated()) {
        ProcessCommand();
        if (Terminated())
            break;
        m_com.WriteByte(Ascii::SYN);
        const int reply = Answer();
        if (reply != Ascii::SOH) {
            // 0x00: nothing waiting. Any other byte is noise on the line: what came with it is
            // dropped too, so the next poll starts afresh.
            if (reply > 0)
                m_com.DiscardInput();
            continue;
        }

        TMachineBlock block = m_com.ReadBlock(Ascii::SOH, Ascii::EOT, 1, *this);
        if (block.End == TMachineBlock::Silent) {
            // Unconfirmed, the block stays with the machine, which offers it again.
            m_com.PostHinweis("Die \xDC"
                              "bertragung von der Rika SAG-1 an " +
                              m_port +
                              " ist mitten in einer Serie abgebrochen.\n\r"
                              "Die Serie wurde nicht gespeichert; die Maschine bietet sie noch einmal an.");
            m_com.DiscardInput();
        }
        // A block cut off by a stop stays unconfirmed too; one that grows past its limit
        // without an end is garbage.
        if (block.End != TMachineBlock::Complete)
            continue;
        m_com.PostData(std::move(block.Text));
        m_com.WriteByte(Ascii::FF);
    }
    m_com.WriteClosingByte(kStop);
}

void TRikaComThread::Failed() {
    // The port failed (device gone): the user gets the machine's error message.
    m_com.PostError(0);
}

// --- TRikaCom

TRikaCom::TRikaCom() : m_einstellungen(std::make_unique<TRikaEinstellungen>(this)) {
    ApplyMachineLineSettings(br9600, false, TComEvents{}, smThreadSync);
}

TRikaCom::~TRikaCom() {
    Shutdown();
}

void TRikaCom::SendString(const std::string& text) {
    if (m_reader)
        m_reader->Commands().Post(text);
}

void TRikaCom::OnAfterOpenEvent(TCustomComPort*) {
    if (m_reader)
        return;
    // The commands are queued before the reader starts, so each goes out at the start of a
    // poll cycle, after the start byte and the version text.
    m_reader = std::make_unique<TRikaComThread>(*this, Port());
    m_einstellungen->SendAll();
    m_reader->Start();
}

void TRikaCom::OnBeforeCloseEvent(TCustomComPort*) {
    if (!m_reader)
        return;
    m_reader->Stop();
    m_reader.reset();
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
