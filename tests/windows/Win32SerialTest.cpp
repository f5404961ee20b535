// The serial port on Windows, through the Win32 device. scripts/test-windows runs this under
// wine with COM ports mapped to pseudo-terminals, and names them in the environment:
//   TREFFLUX_ECHO_PORT   a port whose other end sends back every byte
//   TREFFLUX_GONE_PORT   a port whose other end goes away after the first byte it receives
//   TREFFLUX_SAM_PORT, TREFFLUX_RIKA_PORT, TREFFLUX_DISAG_PORT
//                        the stand-in machines, each holding the series
//                        "LG 1 10.4/123.4/12/-5 9.7/5.0/0/3"
// A test whose port is not named is skipped.

#include "DisagCom.h"
#include "PlainMainThread.h"
#include "RikaCom.h"
#include "SamCom.h"
#include "SerialPort.h"
#include "SerialPortSelect.h"

#include <gtest/gtest.h>
// Lean: the full header set defines SetPort as a macro of the printer API.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string portFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool underWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

#define PORT_OR_SKIP(var, name)                                                                              \
    const std::string var = portFromEnvironment(name);                                                       \
    if (var.empty())                                                                                         \
    GTEST_SKIP() << name " is not set"

// A port with no event thread, for the transfers themselves.
struct QuietPort : TCustomComPort {
    explicit QuietPort(const std::string& name) {
        SetPort(name);
        SetEvents({});
    }
};

// Collects what OnRxChar delivers on the event thread.
struct ListeningPort : TCustomComPort {
    explicit ListeningPort(const std::string& name) {
        SetPort(name);
        SetEvents({evRxChar, evTxEmpty});
        SetSyncMethod(smNone);
        OnRxChar = [this](TCustomComPort*, int count) {
            std::string chunk;
            ReadStr(chunk, count);
            {
                std::lock_guard lock(mutex);
                received += chunk;
            }
            arrived.notify_all();
        };
        OnTxEmpty = [this](TCustomComPort*) {
            {
                std::lock_guard lock(mutex);
                ++txEmpty;
            }
            arrived.notify_all();
        };
    }
    ~ListeningPort() override { Close(); }
    std::string text() {
        std::lock_guard lock(mutex);
        return received;
    }
    // Waits until n bytes came back and the event thread reported the output sent.
    bool waitFor(std::size_t n, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, limit, [&] { return received.size() >= n && txEmpty > 0; });
    }
    std::mutex mutex;
    std::condition_variable arrived;
    std::string received;
    int txEmpty = 0;
};

} // namespace

TEST(Win32ComPort, OpeningFailuresCarryTheWindowsErrorCode) {
    QuietPort missing("COM199");
    try {
        missing.Open();
        FAIL() << "COM199 opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), ecOpen);
        EXPECT_EQ(e.WinCode(), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(schnittstellenfehler(e, missing.Port()),
                  "Schnittstelle COM199 konnte nicht ge\u00f6ffnet werden (Systemfehler 2: nicht vorhanden)");
    }
    EXPECT_FALSE(missing.Connected());
}

TEST(Win32ComPort, APortHeldByAnotherPortObjectDoesNotOpen) {
    if (underWine())
        GTEST_SKIP() << "wine does not enforce the share mode 0 of CreateFile on a device";
    PORT_OR_SKIP(echo, "TREFFLUX_ECHO_PORT");
    QuietPort first(echo), second(echo);
    first.Open();
    try {
        second.Open();
        FAIL() << "a port held by another port object opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), ecOpen);
        EXPECT_EQ(e.WinCode(), ERROR_ACCESS_DENIED);
    }
    first.Close();
    second.Open(); // free again
    EXPECT_TRUE(second.Connected());
}

TEST(Win32ComPort, BytesGoOutAndComeBackWholeInOrderWithEverySetting) {
    PORT_OR_SKIP(echo, "TREFFLUX_ECHO_PORT");
    // Every byte value, NUL included, several times: more than one read of the device.
    std::string block;
    for (int i = 0; i < 3000; ++i)
        block.push_back(static_cast<char>(i % 256));

    ListeningPort port(echo);
    port.Open();
    EXPECT_EQ(port.Signals(), (TComSignals{csCTS, csDSR, csRLSD})); // no modem lines: a looped-back cable
    // The line settings reach the device while it is open (the bytes then go back to 8N1).
    // (Not 8E2: wine refuses it on a pseudo-terminal once two stop bits are set.)
    port.SetBaudRate(br19200);
    port.Parity().SetBits(prEven);
    port.Parity().SetBits(prNone);
    port.SetStopBits(sbTwoStopBits);
    port.SetStopBits(sbOneStopBit);
    port.FlowControl().SetFlowControl(fcNone);
    EXPECT_EQ(port.WriteStr(block), static_cast<int>(block.size()));
    ASSERT_TRUE(port.waitFor(block.size(), 10s)) << port.text().size() << " bytes back (or no evTxEmpty)";
    EXPECT_EQ(port.text(), block);
    EXPECT_TRUE(port.LastErrors().empty());

    // Without the event thread: WaitForInput, InputCount and Read see the same bytes.
    port.Close();
    QuietPort quiet(echo);
    quiet.Open();
    const auto written = Clock::now();
    quiet.WriteStr("abc\r"); // back once the bytes have left, long before the write limit
    EXPECT_LT(Clock::now() - written, 200ms);
    ASSERT_EQ(quiet.WaitForInput(2s), wrInput);
    quiet.Timeouts().SetReadTotalConstant(1000); // wait up to 1 s for all four
    std::string text;
    EXPECT_EQ(quiet.ReadStr(text, 4), 4);
    EXPECT_EQ(text, "abc\r");
    quiet.WriteStr("xyz");
    ASSERT_EQ(quiet.WaitForInput(2s), wrInput);
    std::this_thread::sleep_for(200ms); // the other two follow the first within microseconds
    EXPECT_EQ(quiet.InputCount(), 3);
    quiet.ClearBuffer(true, true);
    EXPECT_EQ(quiet.InputCount(), 0);
}

TEST(Win32ComPort, WaitsEndAtTheirLimitOnStopAndOnCloseWithoutSpinning) {
    PORT_OR_SKIP(echo, "TREFFLUX_ECHO_PORT");
    QuietPort port(echo);
    port.Open();

    auto start = Clock::now();
    EXPECT_EQ(port.WaitForInput(300ms), wrTimeout);
    EXPECT_GE(Clock::now() - start, 300ms);

    port.Timeouts().SetReadTotalConstant(300);
    char byte;
    start = Clock::now();
    EXPECT_EQ(port.Read(&byte, 1), 0);
    EXPECT_GE(Clock::now() - start, 300ms);

    TStopSignal stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop.Signal();
    });
    start = Clock::now();
    EXPECT_EQ(port.WaitForInput(-1ms, &stop), wrStopped);
    EXPECT_LT(Clock::now() - start, 2s);
    stopper.join();

    // A wait without limit ends when the port closes; the process used no CPU meanwhile.
    FILETIME created, ended, kernelBefore, userBefore, kernelAfter, userAfter;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernelBefore, &userBefore);
    std::thread closer([&] {
        std::this_thread::sleep_for(1s);
        port.Close();
    });
    start = Clock::now();
    EXPECT_EQ(port.WaitForInput(-1ms), wrStopped);
    EXPECT_LT(Clock::now() - start, 3s);
    closer.join();
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernelAfter, &userAfter);
    auto ticks = [](FILETIME t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const auto cpu100ns = ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore);
    EXPECT_LT(cpu100ns, 2'000'000u) << "100 ns units of CPU in one second of waiting";
}

TEST(Win32ComPort, ADeviceThatGoesAwayIsReportedOnceAndLaterTransfersFail) {
    PORT_OR_SKIP(gone, "TREFFLUX_GONE_PORT");
    TCustomComPort port;
    port.SetPort(gone);
    port.SetSyncMethod(smNone);
    std::atomic<int> lost{0};
    TStopSignal reported;
    port.OnDeviceLost = [&](TCustomComPort*) {
        ++lost;
        reported.Signal();
    };
    port.Open();
    port.WriteStr("x"); // the other end goes away
    ASSERT_TRUE(reported.WaitFor(5s));

    FILETIME created, ended, kernelBefore, userBefore, kernelAfter, userAfter;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernelBefore, &userBefore);
    std::this_thread::sleep_for(1s); // nothing may spin on the dead device
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernelAfter, &userAfter);
    auto ticks = [](FILETIME t) {
        return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    EXPECT_LT(ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore), 2'000'000u);
    EXPECT_EQ(lost.load(), 1);

    for (auto transfer : {+[](TCustomComPort& p) { p.WriteStr("y"); },
                          +[](TCustomComPort& p) {
                              char byte;
                              p.Read(&byte, 1);
                          }}) {
        try {
            transfer(port);
            ADD_FAILURE() << "a transfer on a device that is gone succeeded";
        } catch (const EComPort& e) {
            EXPECT_TRUE(e.ErrorCode() == ecWrite || e.ErrorCode() == ecRead) << e.what();
            EXPECT_NE(e.WinCode(), -1);
        }
    }
    port.Close();
}

TEST(Win32ComPort, ModemLinesAreReadFromTheDevice) {
    if (underWine())
        GTEST_SKIP() << "wine answers GetCommModemStatus, EscapeCommFunction and WaitCommEvent for "
                        "modem lines with error 50 on a pseudo-terminal: no modem lines to read or watch";
    PORT_OR_SKIP(echo, "TREFFLUX_ECHO_PORT");
    // Without a cable that switches them, this checks the states the port reports at opening
    // against the device's own answer.
    TCustomComPort port;
    port.SetPort(echo);
    port.SetSyncMethod(smNone);
    std::vector<bool> cts;
    port.OnCTSChange = [&](TCustomComPort*, bool on) { cts.push_back(on); };
    port.Open();
    EXPECT_EQ(cts, std::vector<bool>{port.Signals().contains(csCTS)});
    port.Close();
}

TEST(Win32ComPort, PortListComesFromTheRegistrySorted) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TreffluxTest\\SERIALCOMM", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::vector<std::pair<const char*, const char*>> values = {
        {"\\Device\\Serial2", "COM3"}, {"\\Device\\VCP0", "COM10"}, {"\\Device\\Serial0", "COM1"}};
    for (const auto& [name, data] : values)
        ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                         static_cast<DWORD>(std::strlen(data) + 1));
    ::RegCloseKey(key);
    std::vector<std::string> list{"stale"};
    EnumComPorts(list, "SOFTWARE\\TreffluxTest\\SERIALCOMM");
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\TreffluxTest");
    EXPECT_EQ(list, (std::vector<std::string>{"COM1", "COM10", "COM3"}));

    EnumComPorts(list, "SOFTWARE\\TreffluxTest\\NotThere");
    EXPECT_TRUE(list.empty());
}

// The series the stand-in machines hold, end to end through the machine components: the block
// texts as the machines send them (each CR as ";"), the Disag lines one by one.
template <class Component> std::vector<std::string> seriesFrom(const std::string& port, std::size_t count) {
    PlainMainThread main;
    Component com;
    std::vector<std::string> data;
    std::vector<std::int32_t> errors;
    com.SetPort(port);
    com.OnData = [&](TCustomComPort*, std::string text) { data.push_back(std::move(text)); };
    com.OnError = [&](TCustomComPort*, std::int32_t code) { errors.push_back(code); };
    com.Open();
    main.runUntil([&] { return data.size() >= count; }, 20s);
    main.runFor(300ms); // the confirmation goes out; nothing else may arrive
    com.Close();
    EXPECT_TRUE(errors.empty()) << errors.size() << " errors, the first " << errors.front();
    return data;
}

TEST(Win32Machines, SeriesOfTheStandInMachinesArriveWhole) {
    int ran = 0;
    if (const std::string port = portFromEnvironment("TREFFLUX_SAM_PORT"); !port.empty()) {
        ++ran;
        EXPECT_EQ(seriesFrom<TSamCom>(port, 1),
                  (std::vector<std::string>{
                      "SAM 4000;         LG;   1;  02;10.4;123.4; 12;   -5;   9.7; 5.0;   0;    3;    "}))
            << "SAM 4000";
    }
    if (const std::string port = portFromEnvironment("TREFFLUX_RIKA_PORT"); !port.empty()) {
        ++ran;
        EXPECT_EQ(seriesFrom<TRikaCom>(port, 1),
                  (std::vector<std::string>{
                      "RIKA SAG-1;           LG;1; 02; 104;01234;12;    -5;    097;00050;0;     3;     "}))
            << "Rika SAG-1";
    }
    if (const std::string port = portFromEnvironment("TREFFLUX_DISAG_PORT"); !port.empty()) {
        ++ran;
        // The component's own settings ask for whole rings (RIA=GR), and the machine sends them.
        EXPECT_EQ(seriesFrom<TDisagCom>(port, 4),
                  (std::vector<std::string>{"STA", "SCH=1;10;123.4;-22.6;G", "SCH=2;9;5.0;90.0;G", "WSE"}))
            << "Disag RM";
    }
    if (ran == 0)
        GTEST_SKIP() << "no stand-in machine named";
}
