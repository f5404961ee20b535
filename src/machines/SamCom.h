#pragma once

// The SAM 4000 component. While its port is open, a reader thread polls the machine with ENQ
// about every 10 ms, reads each block the machine offers (STX ... ETB and two more bytes), hands
// the block text to the main thread as OnData (each CR written as ";") and acknowledges it with
// ACK. A machine that does not answer an enquiry within 10 seconds raises OnError with code 0,
// once per enquiry; polling goes on.

#include "MachineComponent.h"

class TSamCom;

class TSamComThread final : public TMachineThread {
public:
    explicit TSamComThread(TSamCom& com) : m_com(com) {}
    ~TSamComThread() override { Stop(); }

protected:
    void Execute() override;
    void Failed() override;

private:
    // A byte, or TMachineComponent::ReadTimedOut (after the limit; OnError posted) or ReadStopped.
    int ReadByte(bool withLimit);

    TSamCom& m_com;
};

class TSamCom : public TMachineComponent {
public:
    // The enquiry byte's reply limit.
    static constexpr std::chrono::seconds ReplyLimit{10};

    TSamCom();
    ~TSamCom() override;

    // True if a SAM 4000 answers on Port (NAK or ACK to an enquiry).
    bool Test() override;

    // Whether the reader runs (the port is open).
    bool ReaderRunning() const { return FThread != nullptr; }

protected:
    void OnAfterOpenEvent(TCustomComPort* Sender) override;
    void OnBeforeCloseEvent(TCustomComPort* Sender) override;

private:
    friend class TSamComThread;
    std::unique_ptr<TSamComThread> FThread;
};
