#pragma once

// The SAM 4000 component. While its port is open, a reader thread polls the machine with ENQ
// about every 10 ms, reads each block the machine offers (STX ... ETB, a check byte and "$"),
// hands the block text to the main thread as OnData (each CR written as ";") and acknowledges it
// with ACK. The check byte is the XOR of every byte from STX through ETB: a copy that does not
// match it is answered with NAK, and the machine sends the block again at once; the fourth
// damaged copy in a row is handed on all the same, with a notice (OnHinweis). A block in which
// the machine falls silent for Silence() is dropped unconfirmed, with a notice. A machine that
// does not answer an enquiry within 10 seconds raises OnError with code 0, once per enquiry;
// polling goes on.

#include "MachineComponent.h"

class TSamCom;

class TSamComThread final : public TMachineThread {
public:
    TSamComThread(TSamCom& com, std::string port) : m_com(com), m_port(std::move(port)) {}
    ~TSamComThread() override { Stop(); }

protected:
    void Execute() override;
    void Failed() override;

private:
    // A byte, or TMachineComponent::ReadTimedOut (after the limit; OnError posted) or ReadStopped.
    int ReadByte(bool withLimit);
    // Reads the block the machine offers (its STX has come), checks it and confirms it.
    void ReadOffer();
    // The machine fell silent inside a block: the user is told, the rest is dropped.
    void BrokenOff();

    TSamCom& m_com;
    const std::string m_port; // for the notices
};

class TSamCom : public TMachineComponent {
public:
    // The enquiry byte's reply limit.
    static constexpr std::chrono::seconds ReplyLimit{10};

    TSamCom();
    ~TSamCom() override;

    // True if a SAM 4000 answers on Port: NAK or ACK to an enquiry, or STX and a whole block
    // (up to ETB, the right check byte and "$"), which is refused with NAK so that the machine
    // keeps it. A bare STX is no SAM: a Disag in remote mode answers an enquiry with it too.
    bool Test() override;

    // Whether the reader runs (the port is open).
    bool ReaderRunning() const { return m_reader != nullptr; }

protected:
    void OnAfterOpenEvent(TCustomComPort* Sender) override;
    void OnBeforeCloseEvent(TCustomComPort* Sender) override;

private:
    friend class TSamComThread;
    // The test's read of the block after its STX: whether it is whole.
    bool WholeBlockFollows();

    std::unique_ptr<TSamComThread> m_reader;
};
