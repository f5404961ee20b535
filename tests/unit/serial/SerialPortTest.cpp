// The port without its event thread: opening, settings, transfers, failures.
#include "SerialPort.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A port on a pseudo-terminal without an event thread.
struct QuietPort : TCustomComPort {
    explicit QuietPort(const std::string& path) {
        SetPort(path);
        SetEvents({});
    }
};

template <class F> EComPort raised(F&& f) {
    try {
        f();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort(0, -1);
}

TEST(EComPortTest, MessageCarriesTheSystemCodeOnlyWhenThereIsOne) {
    EXPECT_STREQ(EComPort(ecOpen, 2).what(), "Unable to open com port (win error code: 2)");
    EXPECT_STREQ(EComPort(ecSyncWhileConnected).what(), "Cannot set SyncMethod while connected");
    EXPECT_EQ(EComPort(ecSyncWhileConnected).WinCode(), -1);
    EXPECT_STREQ(EComPort::codeText(22), "A component is linked to OnRxBuf event");
    EXPECT_STREQ(EComPort::codeText(23), "");
    // What the user reads: German, with the port, and the reason only where there is one.
    EXPECT_EQ(schnittstellenfehler(EComPort(ecWrite, EIO), "ttyUSB0"),
              "Schreiben an die Schnittstelle ttyUSB0 fehlgeschlagen (Systemfehler 5: Ein-/Ausgabefehler)");
    EXPECT_EQ(schnittstellenfehler(EComPort(ecSyncWhileConnected), "ttyS0"),
              "Die Art der \u00dcbergabe der Ereignisse der Schnittstelle ttyS0 kann nur bei geschlossener "
              "Schnittstelle ge\u00e4ndert werden");
}

TEST(ComSetTest, MaskBitsFollowTheEventTable) {
    EXPECT_EQ(EventsToMask({evRxChar}), 0x0001u);
    EXPECT_EQ(EventsToMask({evTxEmpty, evRxFlag}), 0x0006u);
    EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0x0410), (TComEvents{evDSR, evRx80Full}));
    EXPECT_EQ(ErrorsToFlags({ceFrame, ceTxFull}), 0x0108u);
    EXPECT_EQ(FlagsToErrors(0x8001), (TComErrors{ceMode, ceRxOver}));
}

TEST(SerialPortTest, DefaultsAndDeviceControlBlock) {
    TCustomComPort port;
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.Events(), AllComEvents);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);

    port.SetBaudRate(br38400);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.SetDiscardNull(true);
    port.SetEventChar('\r');
    port.Parity().SetBits(prEven);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar('?');
    TComDCB dcb = port.BuildDCB();
    EXPECT_EQ(dcb.BaudRate, 38400u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.StopBits, sbTwoStopBits);
    EXPECT_TRUE(dcb.fNull);
    EXPECT_EQ(dcb.EvtChar, '\r');
    EXPECT_EQ(dcb.Parity, prEven);
    EXPECT_FALSE(dcb.fErrorChar) << "replacing needs parity checking";
    EXPECT_EQ(dcb.ErrorChar, 0);
    port.Parity().SetCheck(true);
    dcb = port.BuildDCB();
    EXPECT_TRUE(dcb.fParity);
    EXPECT_TRUE(dcb.fErrorChar);
    EXPECT_EQ(dcb.ErrorChar, '?');

    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(250000);
    EXPECT_EQ(port.BuildDCB().BaudRate, 250000u);
}

TEST(SerialPortTest, OddBufferSizesAreLoweredAndSetTheXonXoffLimits) {
    TCustomComPort port;
    port.Buffer().SetInputSize(1025);
    port.Buffer().SetOutputSize(77);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), 76);
    EXPECT_EQ(port.BuildDCB().XonLim, 256);
    EXPECT_EQ(port.BuildDCB().XoffLim, 256);
}

// Counts how often the line settings reach the device.
struct CountingPort : QuietPort {
    using QuietPort::QuietPort;
    int applied = 0;
    void ApplyDCB() override {
        if (Connected())
            ++applied;
        TCustomComPort::ApplyDCB();
    }
};

TEST(SerialPortTest, FlowControlIsComputedFromItsMembersAndAlwaysReapplied) {
    PtyPair pty;
    CountingPort port(pty.slavePath());
    TComFlowControl& fc = port.FlowControl();
    fc.SetFlowControl(fcHardware);
    EXPECT_EQ(fc.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(fc.OutCTSFlow());
    EXPECT_EQ(fc.FlowControl(), fcHardware);
    fc.SetFlowControl(fcSoftware);
    EXPECT_TRUE(fc.XonXoffIn() && fc.XonXoffOut());
    EXPECT_EQ(fc.FlowControl(), fcSoftware);
    fc.SetXonXoffIn(false);
    EXPECT_EQ(fc.FlowControl(), fcCustom);

    // The machine drivers' settings: DTR and RTS on, TxContinueOnXoff, then fcCustom.
    fc.SetFlowControl(fcNone);
    fc.SetControlDTR(dtrEnable);
    fc.SetControlRTS(rtsEnable);
    fc.SetTxContinueOnXoff(true);
    port.Open();
    const int before = port.applied;
    fc.SetFlowControl(fcCustom);
    EXPECT_EQ(port.applied, before + 1) << "fcCustom re-applies the line settings";
    EXPECT_EQ(fc.ControlDTR(), dtrEnable);
    EXPECT_EQ(fc.ControlRTS(), rtsEnable);
    EXPECT_TRUE(fc.TxContinueOnXoff());
    EXPECT_EQ(fc.FlowControl(), fcCustom);
    fc.SetControlDTR(dtrEnable); // unchanged: not applied again
    EXPECT_EQ(port.applied, before + 1);
    port.SetBaudRate(br2400);
    EXPECT_EQ(port.applied, before + 2);
    port.Close();
}

TEST(SerialPortTest, OpeningAMissingDeviceRaisesCode1WithFileNotFound) {
    QuietPort port("ttyTreffluxMissing7");
    std::vector<std::string> seen;
    port.OnBeforeOpen = [&](TCustomComPort*) { seen.push_back("before"); };
    port.OnAfterOpen = [&](TCustomComPort*) { seen.push_back("after"); };
    const EComPort e = raised([&] { port.Open(); });
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_EQ(e.WinCode(), ENOENT);
    EXPECT_EQ(schnittstellenfehler(e, port.Port()), "Schnittstelle ttyTreffluxMissing7 konnte nicht "
                                                    "ge\u00f6ffnet werden (Systemfehler 2: nicht vorhanden)");
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(seen, std::vector<std::string>{"before"});
}

TEST(SerialPortTest, ADeviceThatIsHeldOrNotATerminalCannotBeOpened) {
    PtyPair pty;
    QuietPort first(pty.slavePath());
    first.Open();
    QuietPort second(pty.slavePath());
    EXPECT_EQ(raised([&] { second.Open(); }).ErrorCode(), 1);
    EXPECT_FALSE(second.Connected());
    first.Close();
    second.Open(); // released by closing
    EXPECT_TRUE(second.Connected());

    QuietPort notTty("/dev/null");
    const EComPort e = raised([&] { notTty.Open(); });
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_EQ(e.WinCode(), ENOTTY);
}

TEST(SerialPortTest, ARejectedSettingClosesTheDeviceAgain) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(0);
    EXPECT_EQ(raised([&] { port.Open(); }).ErrorCode(), 7);
    EXPECT_FALSE(port.Connected());
    port.SetCustomBaudRate(14400); // no B constant: set through termios2
    port.Open();
    EXPECT_TRUE(port.Connected());
    // While open, a rejected setting raises and leaves the port open with the new value.
    EXPECT_EQ(raised([&] { port.SetCustomBaudRate(-5); }).ErrorCode(), 7);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.CustomBaudRate(), -5);
}

TEST(SerialPortTest, OperationsOnAClosedPortFailWithTheirOwnCode) {
    TCustomComPort port;
    char c;
    EXPECT_EQ(raised([&] { port.Read(&c, 1); }).ErrorCode(), 3);
    EXPECT_EQ(raised([&] { port.Write("x", 1); }).ErrorCode(), 2);
    EXPECT_EQ(raised([&] { port.InputCount(); }).ErrorCode(), 10);
    EXPECT_EQ(raised([&] { port.LastErrors(); }).ErrorCode(), 10);
    EXPECT_EQ(raised([&] { port.Signals(); }).ErrorCode(), 11);
    EXPECT_EQ(raised([&] { port.ClearBuffer(true, true); }).ErrorCode(), 5);
    EXPECT_EQ(raised([&] { port.TransmitChar('x'); }).ErrorCode(), 13);
    EXPECT_EQ(raised([&] { port.WaitForInput(0ms); }).ErrorCode(), 3);
    EXPECT_EQ(raised([&] { port.InputCount(); }).WinCode(), EBADF);
}

TEST(SerialPortTest, SyncMethodChangesOnlyWhileClosed) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.SetSyncMethod(smNone);
    port.Open();
    const EComPort e = raised([&] { port.SetSyncMethod(smThreadSync); });
    EXPECT_EQ(e.ErrorCode(), 14);
    EXPECT_EQ(e.WinCode(), -1);
    EXPECT_STREQ(e.what(), "Cannot set SyncMethod while connected");
    EXPECT_EQ(port.SyncMethod(), smNone);
    port.Close();
    port.SetSyncMethod(smThreadSync);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
}

TEST(SerialPortTest, ReadWriteAndInputCountOnAPseudoTerminal) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.SetConnected(true);
    EXPECT_FALSE(port.ThreadCreated()) << "an empty event set starts no thread";

    char buf[16];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, sizeof buf), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms)
        << "a read with nothing pending returns at once";
    EXPECT_EQ(port.InputCount(), 0);

    pty.send("hello");
    EXPECT_EQ(port.WaitForInput(2s), wrInput);
    port.WaitForInput(20ms); // let the rest arrive
    EXPECT_EQ(port.InputCount(), 5);
    std::string s;
    EXPECT_EQ(port.ReadStr(s, 3), 3);
    EXPECT_EQ(s, "hel");
    EXPECT_EQ(port.InputCount(), 2) << "what a read leaves stays queued";
    EXPECT_EQ(port.ReadStr(s, 10), 2);
    EXPECT_EQ(s, "lo");

    EXPECT_EQ(port.WriteStr("\x05"
                            "ab"),
              3);
    port.TransmitChar('\x06');
    EXPECT_EQ(pty.receive(), "\x05"
                             "ab\x06");

    pty.send("xyz");
    port.WaitForInput(2s);
    port.ClearBuffer(true, false);
    EXPECT_EQ(port.InputCount(), 0);
    EXPECT_EQ(port.Signals(), (TComSignals{csCTS, csDSR, csRLSD}))
        << "a pseudo-terminal reports the lines on";
    EXPECT_TRUE(port.LastErrors().empty());
    port.SetConnected(false);
    EXPECT_FALSE(port.Connected());
}

TEST(SerialPortTest, APortOpensWithAnEmptyInputQueue) {
    // A late answer to the last poll before the port closed waits in the device's queue; after
    // the port reopens it must not be taken for the answer to the next question.
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.SetConnected(true);
    port.SetConnected(false);
    pty.send("\x15");
    port.SetConnected(true);
    char buf[4];
    EXPECT_EQ(port.Read(buf, sizeof buf), 0);
    EXPECT_EQ(port.InputCount(), 0);
    pty.send("\x02");
    ASSERT_EQ(port.WaitForInput(2s), wrInput);
    ASSERT_EQ(port.Read(buf, sizeof buf), 1);
    EXPECT_EQ(buf[0], '\x02');
}

TEST(SerialPortTest, DiscardNullDropsZeroBytes) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.SetDiscardNull(true);
    port.Open();
    pty.send(std::string("a\0b\0\0c", 6));
    port.WaitForInput(2s);
    port.WaitForInput(20ms);
    EXPECT_EQ(port.InputCount(), 3);
    std::string s;
    port.ReadStr(s, 10);
    EXPECT_EQ(s, "abc");

    port.SetDiscardNull(false); // applied while open
    pty.send(std::string("\0d", 2));
    port.WaitForInput(2s);
    port.WaitForInput(20ms);
    port.ReadStr(s, 10);
    EXPECT_EQ(s, std::string("\0d", 2));
}

TEST(SerialPortTest, ReadHonoursTheTimeouts) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.Open();
    // Wait up to 100 ms for the first byte, then return what is there.
    port.Timeouts().SetReadTotalMultiplier(-1);
    port.Timeouts().SetReadTotalConstant(100);
    char buf[8];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, sizeof buf), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    pty.send("ab");
    EXPECT_GE(port.Read(buf, sizeof buf), 1);

    // A total timeout: the read ends with fewer bytes when the time is up.
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalMultiplier(0);
    port.Timeouts().SetReadTotalConstant(60);
    port.ClearBuffer(true, true);
    pty.send("xyz");
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Read(buf, sizeof buf), 3);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 55ms);
}

TEST(SerialPortTest, ADeviceThatGoesAwayFailsTheNextOperation) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.Open();
    pty.closeMaster();
    char c;
    EXPECT_EQ(raised([&] { port.WaitForInput(1s); }).WinCode(), EIO);
    EXPECT_EQ(raised([&] { port.Read(&c, 1); }).ErrorCode(), 3);
    EXPECT_EQ(raised([&] { port.InputCount(); }).ErrorCode(), 10);
    EXPECT_EQ(raised([&] { port.Write("x", 1); }).ErrorCode(), 2);
    EXPECT_EQ(raised([&] { port.Signals(); }).ErrorCode(), 11);
    port.Close(); // closing a lost device still works
    EXPECT_FALSE(port.Connected());
}

TEST(SerialPortTest, ModemLinesComeFromTheSimulator) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    auto sim = std::make_shared<TComLineSimulator>(TComSignals{csCTS});
    port.SetLineSimulator(sim);
    port.FlowControl().SetControlDTR(dtrEnable);
    std::vector<std::string> seen;
    port.OnDSRChange = [&](TCustomComPort*, bool on) { seen.push_back(on ? "DSR on" : "DSR off"); };
    port.Open();
    EXPECT_EQ(seen, std::vector<std::string>{"DSR off"});
    EXPECT_TRUE(sim->DTR());
    EXPECT_FALSE(sim->RTS());
    sim->SetSignals({csDSR, csRing});
    EXPECT_EQ(port.Signals(), (TComSignals{csDSR, csRing}));
    port.FlowControl().SetControlRTS(rtsEnable);
    EXPECT_TRUE(sim->RTS());
    port.Close(); // before seen goes
}

TEST(SerialPortTest, HandlersCanBeTakenOffAndPutBack) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    int opened = 0;
    port.OnAfterOpen = [&](TCustomComPort* sender) {
        EXPECT_EQ(sender, &port);
        ++opened;
    };
    TNotifyEvent saved = port.OnAfterOpen.get();
    port.OnAfterOpen = nullptr;
    EXPECT_FALSE(port.OnAfterOpen);
    port.Open();
    port.Close();
    EXPECT_EQ(opened, 0);
    port.OnAfterOpen = saved;
    port.Open();
    EXPECT_EQ(opened, 1);
}

TEST(SerialPortTest, WaitForInputEndsOnAStopSignalAndOnTimeout) {
    PtyPair pty;
    QuietPort port(pty.slavePath());
    port.Open();
    TStopSignal stop;
    EXPECT_EQ(port.WaitForInput(30ms, &stop), wrTimeout);
    stop.Signal();
    EXPECT_TRUE(stop.Signalled());
    EXPECT_EQ(port.WaitForInput(-1ms, &stop), wrStopped);
    EXPECT_TRUE(stop.WaitFor(10s)) << "a signalled stop ends a pause at once";
    stop.Reset();
    EXPECT_FALSE(stop.Signalled());
    EXPECT_FALSE(stop.WaitFor(10ms));
}

} // namespace
