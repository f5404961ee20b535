// Figures of the serial port on a pseudo-terminal: how fast a received byte reaches OnRxChar,
// how long Close takes with the event thread running, and what an open idle port costs in CPU.
// Prints the figures beside their targets; never fails.
#include "SerialPort.h"

#include "Figures.h"
#include "PlainMainThread.h"
#include "PtyPair.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[i];
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void rxCharLatency() {
    constexpr int Bytes = 10000;
    PtyPair pty;
    TCustomComPort port;
    port.SetPort(pty.slavePath());
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    std::atomic<int> received{0};
    Clock::time_point arrived;
    port.OnRxChar = [&](TCustomComPort* sender, int count) {
        arrived = Clock::now();
        char buf[64];
        sender->Read(buf, std::min<int>(count, sizeof buf));
        received.fetch_add(1, std::memory_order_release);
        received.notify_one();
    };
    port.Open();
    std::vector<double> us;
    us.reserve(Bytes);
    for (int i = 0; i < Bytes; ++i) {
        const char b = static_cast<char>('0' + i % 10);
        const auto sent = Clock::now();
        if (::write(pty.master(), &b, 1) != 1)
            break;
        received.wait(i, std::memory_order_acquire);
        us.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
    }
    port.Close();
    const double p99 = percentile(us, 0.99);
    bench::below(
        bench::format("byte to OnRxChar, smNone (%zu bytes)", us.size()),
        bench::format("p99 %.1f us (median %.1f, max %.1f)", p99, percentile(us, 0.5), percentile(us, 1.0)),
        p99, 200, "us");
}

void closeTime() {
    constexpr int Rounds = 200;
    PtyPair pty;
    PlainMainThread mainThread;
    TCustomComPort port; // all events, smThreadSync: the event thread and its line watch run
    port.SetPort(pty.slavePath());
    std::vector<double> ms;
    for (int i = 0; i < Rounds; ++i) {
        port.Open();
        std::this_thread::sleep_for(1ms); // let the event thread settle into its wait
        const auto start = Clock::now();
        port.Close();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const double p99 = percentile(ms, 0.99);
    bench::below(
        bench::format("Close with the event thread running (%d rounds)", Rounds),
        bench::format("p99 %.3f ms (median %.3f, max %.3f)", p99, percentile(ms, 0.5), percentile(ms, 1.0)),
        p99, 5, "ms");
}

void idleCpu() {
    PtyPair pty;
    PlainMainThread mainThread;
    TCustomComPort port; // all events
    port.SetPort(pty.slavePath());
    port.Open();
    const double before = cpuSeconds();
    mainThread.runFor(5s);
    const double used = cpuSeconds() - before;
    port.Close();
    bench::below("CPU of an open idle port over 5 s", bench::format("%.3f ms", used * 1000.0), used * 1000.0,
                 1, "ms");
}

} // namespace

int main() {
    rxCharLatency();
    closeTime();
    idleCpu();
    return 0;
}
