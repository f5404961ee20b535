#pragma once

// The Rika SAG-1 component. While its port is open, a reader thread sends the start byte,
// reads the machine's version text (raising OnError with code 0 when nothing comes within 10
// seconds), then polls with SYN, reads each block the machine offers (SOH ... EOT and one more
// byte), hands the block text to the main thread as OnData (each CR written as ";") and confirms
// it with FF. Between polls it sends one queued settings command per cycle.
//
// The answer to a poll or a command is looked for every 50 ms, the first time 50 ms after the
// poll or command went out, so the machine is polled at most 20 times a second. A machine that does not
// answer for Silence() is told to the user once (OnHinweis) and polled on; so is its answering again. A block
// in which the machine falls silent for Silence() is dropped unconfirmed, with a notice.

#include "MachineComponent.h"
#include "Persistent.h"

#include <cstdint>
#include <string>

class TRikaCom;

enum RikaSchuss : std::uint8_t { sz1, sz2, sz3, sz4, sz5 };
enum RikaZehntelwertung : std::uint8_t { zwKZ, zwZR, zwZT, zwZRT };

// The machine's settings. Writing a property queues its command for the machine (sent at once
// while the port is open; while it is closed the value is only stored and goes out with all the
// others at the next opening). Serie, Teiler and Teilerfaktor outside their range are ignored.
class TRikaEinstellungen : public TPersistent {
public:
    explicit TRikaEinstellungen(TRikaCom* com);
    TRikaEinstellungen(const TRikaEinstellungen&) = delete;
    TRikaEinstellungen& operator=(const TRikaEinstellungen&) = delete;

    std::int32_t Serie() const { return m_serie; }
    void SetSerie(std::int32_t value); // 0..200: "S%03d"
    std::int32_t Teiler() const { return m_teiler; }
    void SetTeiler(std::int32_t value); // 0..6500: "T%04d"
    std::int32_t Teilerfaktor() const { return m_teilerfaktor; }
    void SetTeilerfaktor(std::int32_t value); // 1..99: "F%02d"
    RikaSchuss Schuss() const { return m_schuss; }
    void SetSchuss(RikaSchuss value); // "U1".."U5"
    RikaZehntelwertung Zehntelwertung() const { return m_zehntelwertung; }
    void SetZehntelwertung(RikaZehntelwertung value); // "Z0".."Z3"

    // Writes all five again, in the order Serie, Teiler, Teilerfaktor, Schuss, Zehntelwertung.
    void SendAll();

    const char* ClassName() const override { return "TRikaEinstellungen"; }
    // Copies the five values of another TRikaEinstellungen without sending anything. Each object stays
    // with its own component.
    void Assign(const TPersistent* Source) override;

private:
    void send(const char* format, int value);

    std::int32_t m_serie = 10;
    std::int32_t m_teiler = 0;
    std::int32_t m_teilerfaktor = 1;
    RikaSchuss m_schuss = sz1;
    RikaZehntelwertung m_zehntelwertung = zwKZ;
    TRikaCom* m_com;
};

class TRikaComThread final : public TMachineThread {
public:
    TRikaComThread(TRikaCom& com, std::string port) : m_com(com), m_port(std::move(port)) {}
    ~TRikaComThread() override { Stop(); }

protected:
    void Execute() override;
    void Failed() override;

private:
    // The machine's one-byte answer to a poll or a command, or TMachineComponent::ReadTimedOut
    // (after Silence()) or ReadStopped. Tells the user when the machine falls silent and when
    // it answers again.
    int Answer();
    // Sends the next queued command, if any, and reads the machine's one-byte reply.
    void ProcessCommand();

    TRikaCom& m_com;
    const std::string m_port; // for the notices
    bool m_silent = false;    // the last answer did not come
};

class TRikaCom : public TMachineComponent {
public:
    // How long the machine may take to answer the start byte.
    static constexpr std::chrono::seconds StartReplyLimit{10};

    TRikaCom();
    ~TRikaCom() override;

    TRikaEinstellungen& Einstellungen() { return *m_einstellungen; }
    const TRikaEinstellungen& Einstellungen() const { return *m_einstellungen; }
    // Copies the settings of value into Einstellungen (EAssignError unless it is a TRikaEinstellungen).
    void SetEinstellungen(const TPersistent* value) { m_einstellungen->Assign(value); }

    // Queues a command text for the reader; without a reader (port closed) nothing happens.
    void SendString(const std::string& text);

    // True if a Rika SAG-1 answers on Port (0x00 or 0x01 to a poll); version receives the
    // machine's version text whatever the result.
    bool Test(std::string& version);
    bool Test() override;

    bool ReaderRunning() const { return m_reader != nullptr; }

protected:
    void OnAfterOpenEvent(TCustomComPort* Sender) override;
    void OnBeforeCloseEvent(TCustomComPort* Sender) override;

private:
    friend class TRikaComThread;
    std::unique_ptr<TRikaComThread> m_reader;
    std::unique_ptr<TRikaEinstellungen> m_einstellungen;
};
