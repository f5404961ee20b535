// Figures of the Disag remote-mode driver on a pseudo-terminal: the time from the CR of a
// received line to its ACK on the wire, the time from the CR of "WSE" to the series in the
// protocol file, both without and with the journal that keeps every line on disk, and a burst of
// 10,000 shot lines sent as fast as the pseudo-terminal takes them; then what the journal costs
// for a line and for a series. Prints the figures beside their targets; never fails.
#include "DisagCom.h"
#include "Serienpfad.h"

#include "Figures.h"
#include "LogAn.h"
#include "Profilliste.h"
#include "PtyPair.h"
#include "ScratchDir.h"

#include "PlainMainThread.h"
#include "Serienjournal.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <optional>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char STX = 0x02, ENQ = 0x05, ACK = 0x06, CR = 0x0D;

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[i];
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string framed(const std::string& text) {
    return text + static_cast<char>(DisagCheckChar(text)) + CR;
}

// The machine's side of a pseudo-terminal: writes lines and reads what the program sends,
// answering its enquiries (STX) and commands (ACK) as a Disag does.
class Machine {
public:
    // The program's side is kept open so that the line never hangs up while the program has it
    // closed.
    Machine() : m_held(::open(m_pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~Machine() { ::close(m_held); }
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const std::string& port() const { return m_pty.slavePath(); }

    void write(const std::string& bytes) { m_pty.send(bytes); }

    // Reads what the program sent until an ACK for a line arrived (true) or the time ran out;
    // enquiries and commands on the way are answered.
    bool awaitAck(std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            char c;
            if (!readByte(c, deadline))
                return false;
            if (answer(c))
                return true;
        }
    }

    // Answers the program; true for an ACK of a line.
    bool answer(char c) {
        if (m_inCommand) {
            if (c == CR) {
                m_inCommand = false;
                write(std::string(1, ACK));
                ++m_commands;
            }
            return false;
        }
        if (c == ENQ) {
            m_inCommand = true;
            write(std::string(1, STX));
            return false;
        }
        return c == ACK;
    }

    bool readByte(char& c, Clock::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            pollfd p{m_pty.master(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) > 0 && ::read(m_pty.master(), &c, 1) == 1)
                return true;
        }
    }

    // Reads what the program sent until it has sent n commands in all.
    bool awaitCommands(int n, std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        char c;
        while (m_commands.load() < n)
            if (!readByte(c, deadline))
                return false;
            else
                answer(c);
        return true;
    }

    int commands() const { return m_commands.load(); }
    int fd() const { return m_pty.master(); }

private:
    PtyPair m_pty;
    int m_held = -1;
    bool m_inCommand = false;
    std::atomic<int> m_commands{0};
};

// The journal as the series path keeps a Disag's lines in it.
class Journalablage : public TMachineDataKeeper {
public:
    explicit Journalablage(Serienjournal& journal) : m_journal(journal) {}
    std::uint64_t Keep(const std::string& data) override {
        return m_journal.aufnehmen(Serienjournal::Quelle::disag, data);
    }
    void Handle(std::uint64_t kept, const std::function<void()>& onData) override {
        {
            const Serienjournal::Bearbeitung b(m_journal, Serienjournal::Quelle::disag, kept);
            onData();
        }
        m_journal.bearbeitet(Serienjournal::Quelle::disag, kept);
    }

private:
    Serienjournal& m_journal;
};

// A journal of its own on the disk of the scratch folder.
std::shared_ptr<Serienjournal> neuesJournal(const ScratchDir& dir) {
    Serienjournal::Optionen o;
    o.pfad = dir / "serien.journal";
    return std::make_shared<Serienjournal>(std::move(o));
}

const char* mitOhne(bool journal) {
    return journal ? "with journal" : "without journal";
}

void crToAck(bool mitJournal) {
    constexpr int Lines = 2000;
    const ScratchDir dir("disag-bench");
    const auto journal = mitJournal ? neuesJournal(dir) : nullptr;
    Machine machine;
    PlainMainThread mainThread;
    TDisagCom com;
    std::optional<Journalablage> ablage;
    if (journal) {
        ablage.emplace(*journal);
        com.SetDataKeeper(&*ablage);
    }
    com.SetPort(machine.port());
    com.Open();
    machine.awaitCommands(1, 3s); // the settings string at opening
    std::vector<double> us;
    std::thread side([&] {
        for (int i = 0; i < Lines; ++i) {
            const std::string line = framed("SCH=" + std::to_string(i % 99 + 1) + ";9.8;123.4;45.0;G");
            machine.write(line.substr(0, line.size() - 1));
            const auto sent = Clock::now();
            machine.write(std::string(1, CR));
            if (!machine.awaitAck(2s))
                break;
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        }
    });
    side.join();
    mainThread.processPending();
    com.Close();
    const double p99 = percentile(us, 0.99) / 1000;
    bench::below(
        bench::format("CR of a Disag line to its ACK (%zu lines, %s)", us.size(), mitOhne(mitJournal)),
        bench::format("p99 %.3f ms (median %.3f, max %.3f)", p99, percentile(us, 0.5) / 1000,
                      percentile(us, 1.0) / 1000),
        p99, 1, "ms");
}

void wseToRecord(bool mitJournal) {
    constexpr int Series = 200;
    constexpr int Shots = 10;
    const ScratchDir dir("disag-bench");
    // The series path takes the process's journal: the protocol file is then flushed to disk
    // before the journal lets each series go.
    setSerienjournal(mitJournal ? neuesJournal(dir) : nullptr);
    Profilliste liste;
    liste.appendStandard(dir.path());
    liste.aktiv().Datensatz = {0, 1, 2, 3, 4, 5};
    liste.aktiv().Maschine = maDisag;

    Machine machine;
    PlainMainThread mainThread;
    setText(liste.aktiv().Port, machine.port());
    // The series path as the program has it, timed where its Disag handler has taken "WSE".
    Serienpfad pfad(liste);
    std::atomic<Clock::rep> wseSent{0};
    std::vector<double> latency;
    std::mutex mutex;
    std::condition_variable cv;
    int written = 0;
    pfad.Komponente(maDisag).OnData = [&](TCustomComPort*, const std::string& text) {
        pfad.Teil(maDisag).daten(text);
        if (text == "WSE") {
            latency.push_back(ms(Clock::now() - Clock::time_point(Clock::duration(wseSent.load()))));
            std::lock_guard lock(mutex);
            ++written;
            cv.notify_all();
        }
    };
    pfad.MaschineOeffnen();
    machine.awaitCommands(1, 3s);
    std::thread side([&] {
        for (int s = 0; s < Series; ++s) {
            machine.write(framed("STA"));
            machine.awaitAck(2s);
            for (int i = 1; i <= Shots; ++i) {
                machine.write(framed("SCH=" + std::to_string(i) + ";10.4;123.4;90.0;G"));
                machine.awaitAck(2s);
            }
            const std::string wse = framed("WSE");
            machine.write(wse.substr(0, wse.size() - 1));
            wseSent.store(Clock::now().time_since_epoch().count());
            machine.write(std::string(1, CR));
            machine.awaitAck(2s);
            {
                std::unique_lock lock(mutex); // the series is in the file
                if (!cv.wait_for(lock, 5s, [&] { return written > s; }))
                    break;
            }
            if (!machine.awaitCommands(s + 2, 5s)) // the settings string after "WSE"
                break;
        }
    });
    mainThread.runUntil(
        [&] {
            std::lock_guard lock(mutex);
            return written == Series;
        },
        120s);
    side.join();
    pfad.MaschinenSchliessen();
    setSerienjournal(nullptr);
    std::error_code ec;
    const auto size = std::filesystem::file_size(dir / "Protokoll1.rls", ec);
    const double p99 = percentile(latency, 0.99);
    bench::below(bench::format("CR of \"WSE\" to series in protocol file (%zu series of %d shots, %s)",
                               latency.size(), Shots, mitOhne(mitJournal)),
                 bench::format("p99 %.3f ms (median %.3f, max %.3f)", p99, percentile(latency, 0.5),
                               percentile(latency, 1.0)),
                 p99, 5, "ms");
    if (latency.size() != Series || size == 0 || size == static_cast<std::uintmax_t>(-1))
        bench::figure("Disag series in the protocol file",
                      bench::format("%zu of %d series", latency.size(), Series),
                      bench::format("all %d", Series), "MISSED");
}

void burst() {
    constexpr int Lines = 10000;
    Machine machine;
    PlainMainThread mainThread;
    TDisagCom com;
    com.SetPort(machine.port());
    int delivered = 0;
    bool inOrder = true;
    com.OnData = [&](TCustomComPort*, const std::string& text) {
        inOrder = inOrder && text == "SCH=" + std::to_string(delivered + 1) + ";9.8;123.4;45.0;G";
        ++delivered;
    };
    com.Open();
    machine.awaitCommands(1, 3s);

    std::string all;
    for (int i = 1; i <= Lines; ++i)
        all += framed("SCH=" + std::to_string(i) + ";9.8;123.4;45.0;G");
    std::atomic<int> acks{0};
    const auto start = Clock::now();
    std::thread reader([&] {
        const auto deadline = Clock::now() + 60s;
        char c;
        while (acks.load() < Lines && machine.readByte(c, deadline))
            if (machine.answer(c))
                acks.fetch_add(1);
    });
    machine.write(all); // as fast as the pseudo-terminal takes it
    mainThread.runUntil([&] { return delivered == Lines; }, 60s);
    reader.join();
    const auto end = Clock::now();
    com.Close();
    const bool complete = acks.load() == Lines && delivered == Lines && inOrder;
    bench::figure(bench::format("burst of %d Disag lines as fast as the line takes them", Lines),
                  bench::format("%d acknowledged, %d delivered%s, %.0f lines/s", acks.load(), delivered,
                                inOrder ? " in order" : " OUT OF ORDER", Lines / (ms(end - start) / 1000)),
                  bench::format("all %d, in order", Lines), complete ? "ok" : "MISSED");
}

} // namespace

// What the journal costs: on the thread that hands a piece in (the port's event thread for a
// Disag line, the main thread for a series), and until it is on disk, one at a time as a
// machine hands them over.
void journalKosten() {
    constexpr int Anzahl = 500;
    const ScratchDir dir("disag-bench");
    const auto journal = neuesJournal(dir);
    journal->setZiel({(dir / "Protokoll1.rls"), 0, false, ""});
    const std::string zeile = "SCH=10;10.4;123.4;90.0;G";
    const std::string datei(10 * 30, '9'); // ten shots with all six elements
    std::vector<double> zeileUs, zeileMs, serieUs, serieMs;
    for (int i = 0; i < Anzahl; ++i) {
        auto start = Clock::now();
        const std::uint64_t nr = journal->aufnehmen(Serienjournal::Quelle::disag, zeile);
        zeileUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        journal->sichernAbwarten();
        zeileMs.push_back(ms(Clock::now() - start));

        // a series: made at "WSE", then finished once the protocol file has it
        start = Clock::now();
        std::uint64_t serie = 0;
        {
            const Serienjournal::Bearbeitung b(*journal, Serienjournal::Quelle::disag, nr);
            serie = journal->serieAufnehmen({dir / "Protokoll1.rls", 0, false, ""}, datei, datei);
        }
        journal->bearbeitet(Serienjournal::Quelle::disag, nr);
        journal->erledigt(serie);
        serieUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        journal->sichernAbwarten();
        serieMs.push_back(ms(Clock::now() - start));
    }
    bench::below(
        "journal: a Disag line handed in, on the event thread",
        bench::format("p99 %.1f us (median %.1f)", percentile(zeileUs, 0.99), percentile(zeileUs, 0.5)),
        percentile(zeileUs, 0.99), 50, "us");
    bench::below(
        "journal: a Disag line on disk (fsync)",
        bench::format("p99 %.2f ms (median %.2f)", percentile(zeileMs, 0.99), percentile(zeileMs, 0.5)),
        percentile(zeileMs, 0.99), 1000, "ms");
    bench::below(
        "journal: a series recorded and finished, on the main thread",
        bench::format("p99 %.1f us (median %.1f)", percentile(serieUs, 0.99), percentile(serieUs, 0.5)),
        percentile(serieUs, 0.99), 100, "us");
    bench::below(
        "journal: a series and its end on disk (fsync)",
        bench::format("p99 %.2f ms (median %.2f)", percentile(serieMs, 0.99), percentile(serieMs, 0.5)),
        percentile(serieMs, 0.99), 1000, "ms");
}

int main() {
    bench::LogAn log; // as in the program
    for (const bool mitJournal : {false, true})
        crToAck(mitJournal);
    for (const bool mitJournal : {false, true})
        wseToRecord(mitJournal);
    burst();
    journalKosten();
    log.figur();
    return 0;
}
