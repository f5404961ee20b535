// A machine's device vanishes while its port is open (the pseudo-terminal's other side closes),
// once on an idle line and once in the middle of a block or a command handshake. The component
// reports the loss exactly once, no thread spins on the dead device, Close returns at once, and
// the component works again on a new device.

#include "DisagCom.h"
#include "DisagRm3FernCom.h"
#include "RikaCom.h"
#include "SamCom.h"

#include "DisagMachine.h"
#include "DisagRm3FernMachine.h"
#include "MachineRig.h"
#include "RikaMachine.h"
#include "SamMachine.h"

#include <ctime>

namespace {

using SamRig = MachineRig<TSamCom, SamMachine>;
using RikaRig = MachineRig<TRikaCom, RikaMachine>;
using DisagRig = MachineRig<TDisagCom, DisagMachine>;
using DisagRm3FernRig = MachineRig<TDisagRm3FernCom, DisagRm3FernMachine>;

constexpr char ENQ = 0x05, SYN = 0x16;

// How long the process is watched after the loss, and the CPU time it may use meanwhile: one
// thread spinning on the dead device would use about the whole period.
constexpr auto kWatch = 2s;
constexpr auto kCpuLimit = 200ms;
// Close waits for the component's threads; on a dead device that must not take long.
constexpr auto kCloseLimit = 1s;

std::chrono::nanoseconds processCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The process stays idle for a while after the loss, the main thread delivering meanwhile.
void expectNoSpinning(PlainMainThread& main) {
    const auto before = processCpuTime();
    main.runFor(kWatch);
    const auto cpu = std::chrono::duration_cast<std::chrono::milliseconds>(processCpuTime() - before);
    EXPECT_LT(cpu, kCpuLimit) << "CPU time over the watch: " << cpu.count() << " ms";
}

template <class Rig> void expectPromptClose(Rig& b) {
    const std::vector<std::int32_t> reports = b.errors;
    const auto start = std::chrono::steady_clock::now();
    b.com.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, kCloseLimit);
    EXPECT_FALSE(b.com.Connected());
    b.main.runFor(100ms);
    EXPECT_EQ(b.errors, reports);
}

// After the loss: exactly one report with the code, no spinning, a prompt Close.
template <class Rig> void expectLossReportedOnce(Rig& b, std::int32_t code) {
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 5s));
    expectNoSpinning(b.main);
    EXPECT_EQ(b.errors, std::vector<std::int32_t>{code});
    expectPromptClose(b);
}

// A new pseudo-terminal with a fresh machine of the kind, running.
template <class Machine> std::unique_ptr<SimLine> newLine() {
    std::string error;
    auto line = SimLine::openPty(std::make_unique<Machine>(), error);
    if (!line)
        throw std::runtime_error(error);
    line->start();
    return line;
}

// Opens the component on a new device, lets the machine send, and expects the text to arrive;
// no further report comes with it.
template <class Machine, class Rig>
void expectWorksOnNewDevice(Rig& b, const std::function<void(Machine&, SimWriter&)>& send,
                            const std::string& expected) {
    const std::vector<std::int32_t> reports = b.errors;
    b.data.clear();
    auto line = newLine<Machine>();
    b.com.SetPort(line->portName());
    b.com.Open();
    ASSERT_TRUE(b.com.Connected());
    ASSERT_TRUE(line->call([&](SimMachine& m, SimWriter& out) { send(static_cast<Machine&>(m), out); }));
    EXPECT_TRUE(b.runUntil([&] { return !b.data.empty(); }, 10s));
    if (!b.data.empty()) {
        EXPECT_EQ(b.data.front(), expected);
    }
    b.com.Close();
    line->stop();
    b.main.runFor(50ms);
    EXPECT_EQ(b.errors, reports);
}

// --- SAM and Rika: the reader polls (the Rika after its start handshake); a dead device ends it
// with one report, on an idle line as inside a block.

void samSeries(SamMachine& m, SimWriter&) {
    m.queueTelegram("A\rB");
}

void rikaSeries(RikaMachine& m, SimWriter&) {
    m.queueTelegram("R\r1");
}

template <class Machine, class Rig>
void lostOnAnIdleLine(char poll, void (*series)(Machine&, SimWriter&), const std::string& data) {
    Rig b;
    b.com.Open();
    ASSERT_TRUE(b.waitSent(poll, 3));
    b.line->hangUp();
    expectLossReportedOnce(b, 0);
    expectWorksOnNewDevice<Machine>(b, series, data);
}

template <class Machine, class Rig>
void lostInsideABlock(char poll, void (*series)(Machine&, SimWriter&), const std::string& data) {
    Rig b;
    b.machine([](Machine& m) {
        m.queueTelegram(std::string(200, 'Z'));
        m.cutNextBlock(); // the block's start and half of it, then nothing
    });
    b.com.Open();
    ASSERT_TRUE(b.waitSent(poll, 1));
    b.main.runFor(200ms); // the reader waits inside the block for its rest
    b.line->hangUp();
    expectLossReportedOnce(b, 0);
    EXPECT_TRUE(b.data.empty()); // half a block is never handed on
    expectWorksOnNewDevice<Machine>(b, series, data);
}

TEST(DriverFaults, SamDeviceLostOnAnIdleLine) {
    lostOnAnIdleLine<SamMachine, SamRig>(ENQ, samSeries, "A;B");
}

TEST(DriverFaults, SamDeviceLostInsideABlock) {
    lostInsideABlock<SamMachine, SamRig>(ENQ, samSeries, "A;B");
}

TEST(DriverFaults, RikaDeviceLostOnAnIdleLine) {
    lostOnAnIdleLine<RikaMachine, RikaRig>(SYN, rikaSeries, "R;1");
}

TEST(DriverFaults, RikaDeviceLostInsideABlock) {
    lostInsideABlock<RikaMachine, RikaRig>(SYN, rikaSeries, "R;1");
}

// --- Disag remote mode: receive side on the port's event thread, commands on the send thread.

void disagLine(DisagMachine& m, SimWriter& out) {
    m.sendLines({"STA"}, out);
}

bool waitEnquiries(DisagRig& b, std::size_t n) {
    return b.waitSent([n](const std::string& s) { return std::count(s.begin(), s.end(), ENQ) >= long(n); },
                      10s);
}

TEST(DriverFaults, DisagDeviceLostOnAnIdleLine) {
    DisagRig b;
    b.com.Open();
    ASSERT_TRUE(waitEnquiries(b, 1));
    b.main.runFor(300ms); // the settings string is through
    b.line->hangUp();
    // The port's event thread tells the component at once; commands that follow add nothing.
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 5s));
    expectNoSpinning(b.main);
    b.com.Einstellstring().SetTeilergrenze("100");
    b.com.Einstellstring().SetTeilergrenze("200");
    b.main.runFor(300ms);
    EXPECT_EQ(b.errors, std::vector<std::int32_t>{0});
    expectPromptClose(b);
    expectWorksOnNewDevice<DisagMachine>(b, disagLine, "STA");
}

TEST(DriverFaults, DisagDeviceLostDuringACommandHandshake) {
    DisagRig b;
    b.com.Open();
    ASSERT_TRUE(waitEnquiries(b, 1));
    b.main.runFor(300ms);
    b.machine([](DisagMachine& m, SimWriter&) { m.setSilent(true); });
    const std::size_t before = b.sent(ENQ);
    b.com.Einstellstring().SetTeilergrenze("100"); // the send thread enquires, nobody answers
    ASSERT_TRUE(waitEnquiries(b, before + 1));
    b.line->hangUp();
    expectLossReportedOnce(b, 0);
    expectWorksOnNewDevice<DisagMachine>(b, disagLine, "STA");
}

// --- Disag RM III in its older remote program: everything on the port's event thread and the main thread.

void rm3Lines(DisagRm3FernMachine&, SimWriter& out) {
    out.send("START\r");
}

bool waitSettings(DisagRm3FernRig& b) {
    return b.waitSent([](const std::string& s) { return s.find('\r') != std::string::npos; }, 5s);
}

TEST(DriverFaults, DisagRm3FernDeviceLostOnAnIdleLine) {
    DisagRm3FernRig b;
    b.com.Open();
    ASSERT_TRUE(waitSettings(b));
    b.line->hangUp();
    // The port's event thread tells the component: one report.
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 5s));
    expectNoSpinning(b.main);
    EXPECT_EQ(b.errors, std::vector<std::int32_t>{1});
    expectPromptClose(b);
    expectWorksOnNewDevice<DisagRm3FernMachine>(b, rm3Lines, "START");
}

TEST(DriverFaults, DisagRm3FernDeviceLostInsideALine) {
    DisagRm3FernRig b;
    b.com.Open();
    ASSERT_TRUE(waitSettings(b));
    b.line->call([](SimMachine&, SimWriter& out) { out.send("START\r01 10."); });
    ASSERT_TRUE(b.runUntil([&] { return !b.data.empty(); }));
    b.line->hangUp();
    ASSERT_TRUE(b.runUntil([&] { return !b.errors.empty(); }, 5s));
    expectNoSpinning(b.main);
    EXPECT_EQ(b.errors, std::vector<std::int32_t>{1});
    expectPromptClose(b);
    EXPECT_EQ(b.data, std::vector<std::string>{"START"}); // the cut line is not handed on
    expectWorksOnNewDevice<DisagRm3FernMachine>(b, rm3Lines, "START");
}

} // namespace
