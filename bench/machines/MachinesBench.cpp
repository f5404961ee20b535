// Figures of the SAM 4000 and Rika SAG-1 components: the CPU time the program uses over 10 s
// with an open SAM port whose machine answers NAK to every enquiry, the same with a silent Rika
// (the stand-in machine runs as a process of its own, so only the program's time is counted),
// the pace at which a Rika that answers at once is polled, with the CPU time for it, and the
// time from the last byte of a SAM block to the series being in the protocol file; all with the
// transmission log on, as in the program. And the lines the log takes for an hour of idle SAM
// polling, on an hour that the benchmark's clock passes at once.
// Prints the figures beside their targets; never fails.

#include "RikaCom.h"
#include "SamCom.h"
#include "Serienpfad.h"

#include "Figures.h"
#include "LogAn.h"
#include "PlainMainThread.h"
#include "Profilliste.h"
#include "SamMachine.h"
#include "ScratchDir.h"
#include "ScriptedDesktop.h"
#include "SimLine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// trefflux-sim as a child process; its first line names the port.
class SimProcess {
public:
    SimProcess(const char* kind, std::initializer_list<const char*> options, const char* log = "/dev/null") {
        int out[2];
        if (pipe(out) != 0)
            std::abort();
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            std::vector<const char*> argv{TREFFLUX_SIM, kind, "--log", log};
            argv.insert(argv.end(), options);
            argv.push_back(nullptr);
            execv(TREFFLUX_SIM, const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        m_out = out[0];
        if (line.rfind("Port: ", 0) == 0)
            m_port = line.substr(6);
    }
    ~SimProcess() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        close(m_out);
    }
    const std::string& port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_port;
};

template <class Component>
void idleCpu(const char* title, const char* kind, std::initializer_list<const char*> options,
             double targetPercent) {
    SimProcess sim(kind, options);
    if (sim.port().empty()) {
        bench::figure(title, "not measured: trefflux-sim did not start",
                      bench::format("< %g %%", targetPercent), "FAILED");
        return;
    }
    PlainMainThread main;
    Component com;
    int errors = 0;
    com.OnError = [&](TCustomComPort*, std::int32_t) { ++errors; };
    com.SetPort(sim.port());
    com.Open();
    main.runFor(500ms); // past the start
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    main.runFor(10s);
    const double cpu = cpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    com.Close();
    const double percent = 100.0 * cpu / wall;
    bench::below(title, bench::format("%.3f %% of one core (%.3f s in %.1f s)", percent, cpu, wall), percent,
                 targetPercent, "%");
}

// The polls (SYN) in the stand-in's log of what it received.
long pollsLogged(const std::string& log) {
    std::ifstream in(log);
    long polls = 0;
    for (std::string line; std::getline(in, line);) {
        const std::size_t from = line.find("<- ");
        if (from == std::string::npos)
            continue;
        std::istringstream bytes(line.substr(from + 3));
        for (std::string byte; bytes >> byte;)
            polls += byte == "16";
    }
    return polls;
}

// A Rika that answers every poll at once: how often the program polls it, and the CPU it
// uses for that (the machine runs as a process of its own).
void rikaPace() {
    constexpr const char* PollTitle = "Rika polls per second, machine answers at once";
    constexpr const char* CpuTitle = "CPU, open Rika port, machine answers at once";
    const ScratchDir folder("bench");
    const std::string log = folder / "sim.log";
    {
        SimProcess sim("rika", {}, log.c_str());
        if (sim.port().empty()) {
            bench::figure(PollTitle, "not measured: trefflux-sim did not start", "<= 20 /s", "FAILED");
            return;
        }
        PlainMainThread main;
        TRikaCom com;
        com.SetPort(sim.port());
        com.Open();
        main.runFor(1s); // past the start and the five settings
        const long polls0 = pollsLogged(log);
        const double cpu0 = cpuSeconds();
        const auto t0 = Clock::now();
        main.runFor(10s);
        const double cpu = cpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const long polls = pollsLogged(log) - polls0;
        com.Close();
        const double rate = static_cast<double>(polls) / wall;
        bench::figure(PollTitle, bench::format("%.1f /s (%ld in %.1f s)", rate, polls, wall), "<= 20 /s",
                      rate <= 20 ? "ok" : "OVER");
        const double percent = 100.0 * cpu / wall;
        bench::below(CpuTitle, bench::format("%.3f %% of one core (%.3f s in %.1f s)", percent, cpu, wall),
                     percent, 0.1, "%");
    }
}

constexpr const char* LatencyTitle = "SAM block's last byte to series in protocol file";

void latency(int series) {
    const ScratchDir folder("bench");
    PlainMainThread main;
    ScriptedDesktop desk;
    Profilliste profile;
    profile.appendStandard(folder.path());
    profile.aktiv().Datensatz = {2, 3, 4, 5, -1, -1};
    profile.aktiv().Maschine = maSam;

    std::string error;
    auto line = SimLine::openPty(std::make_unique<SamMachine>(), error);
    if (!line) {
        bench::figure(LatencyTitle, "not measured: " + error, "p99 < 5 ms", "FAILED");
        return;
    }
    line->start();
    setText(profile.aktiv().Port, line->portName());
    // The series path as the program has it, timed where its SAM handler has written the series.
    Serienpfad pfad(profile);
    std::vector<double> ms;
    pfad.Komponente(maSam).OnData = [&](TCustomComPort*, std::string data) {
        pfad.Teil(maSam).daten(data);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - line->lastSent()).count());
    };
    std::string shots;
    for (int i = 0; i < 10; ++i)
        shots += " 10.4/123.4/12/-5";
    std::string text;
    const auto parsed = parseSeries("LG 1" + shots, text);
    for (int i = 0; i < series; ++i)
        line->post([&parsed](SimMachine& m, SimWriter&) { m.queue(*parsed); });
    pfad.MaschineOeffnen();
    main.runUntil([&] { return static_cast<int>(ms.size()) >= series; }, std::chrono::seconds(series));
    pfad.MaschinenSchliessen();
    line->stop();
    if (ms.empty()) {
        bench::figure(LatencyTitle, "not measured: no series arrived", "p99 < 5 ms", "FAILED");
        return;
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p99 =
        ms[std::min(ms.size() - 1, static_cast<std::size_t>(0.99 * static_cast<double>(ms.size())))];
    bench::below(LatencyTitle, bench::format("p99 %.3f ms (median %.3f, %zu series)", p99, median, ms.size()),
                 p99, 5, "ms");
}

// An hour of a SAM without a series, as its port sees it: the program's ENQ and the machine's
// NAK a byte's time later, once a cycle (10 ms pause plus the answer), on a clock that this
// benchmark moves; the lines of the log file are counted.
void idleLogLines() {
    constexpr const char* Title = "log lines per hour of idle SAM polling (simulated hour)";
    const ScratchDir folder("bench");
    std::atomic<std::int64_t> ms{0};
    Uebertragungslog::Optionen optionen;
    optionen.ordner = folder.path();
    optionen.uhr = [&ms] { return Uebertragungslog::Zeitpunkt(std::chrono::milliseconds(ms.load())); };
    optionen.warteschlange = 1 << 21; // the hour comes at once; in service 200 entries a second
    long exchanges = 0;
    std::string pfad;
    {
        Uebertragungslog log(optionen);
        pfad = log.pfad();
        const char enq = 0x05, nak = 0x15;
        log.ereignisMelden("ttyUSB0", "ge\xC3\xB6"
                                      "ffnet, 9600 Baud, 8N1");
        for (; ms < 3'600'000; ++exchanges) {
            log.daten("ttyUSB0", Uebertragungslog::zurMaschine, &enq, 1);
            ms += 1;
            log.daten("ttyUSB0", Uebertragungslog::vonDerMaschine, &nak, 1);
            ms += 10;
        }
    }
    std::ifstream in(pfad);
    long lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    bench::figure(Title, bench::format("%ld lines (%ld exchanges)", lines, exchanges), "< 100",
                  lines < 100 ? "ok" : "OVER");
}

} // namespace

int main() {
    idleLogLines();
    bench::LogAn log;
    idleCpu<TSamCom>("CPU, open SAM port, machine answers NAK", "sam", {}, 1.0);
    idleCpu<TRikaCom>("CPU, open Rika port, machine silent", "rika", {"--stumm"}, 0.1);
    rikaPace();
    latency(50);
    log.figur();
    return 0;
}
