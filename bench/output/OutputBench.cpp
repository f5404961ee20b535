// Writing one series: format a 10-shot series with all six elements and append it to the
// protocol file (open, lock, one write, close) plus the clipboard text. Target: the median
// under 100 microseconds per series.
#include "Desktop.h"
#include "Figures.h"
#include "Profilliste.h"
#include "ProtokollAusgabe.h"
#include "ScratchDir.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

// Keeps the latest clipboard text, as the real clipboard does.
class BenchDesktop : public Desktop {
public:
    BenchDesktop() { setDesktop(this); }
    ~BenchDesktop() override { setDesktop(nullptr); }
    int messageBox(const std::string&, const std::string&, unsigned) override {
        ++boxes;
        return IdOk;
    }
    void setClipboardText(const std::string& text) override { clipboard = text; }
    int overwriteWarning(const std::string&) override { return mrIgnore; }
    bool overwriteWarningVisible() const override { return false; }
    void trayMessage(const std::string&, const std::string&) override {}

    std::string clipboard;
    int boxes = 0;
};

TSerienDatensatz zehnSchuesse() {
    TSerienDatensatz s;
    s.Scheibentyp = "LG";
    s.Teilerfaktor = "1";
    s.Schusszahl = "10";
    for (int i = 0; i < 10; ++i) {
        TSchussDatensatz schuss;
        schuss.Ringwert = std::to_string(95 + i);
        schuss.Teiler = std::to_string(123 + 37 * i);
        schuss.XKoordinate = std::to_string(-50 + 11 * i);
        schuss.YKoordinate = std::to_string(40 - 7 * i);
        s.Schuesse.push_back(schuss);
    }
    return s;
}

void writeSeries(benchmark::State& state, int dateimodus) {
    const ScratchDir scratch("bench");
    const std::string& ordner = scratch.path();
    BenchDesktop desk;
    Profilliste liste;
    liste.appendStandard(ordner);
    liste.aktiv().Datensatz = {0, 1, 2, 3, 4, 5};
    liste.aktiv().Dateimodus = dateimodus;
    liste.aktiv().Warnen = 0;
    TProtokollAusgabe ausgabe(liste);
    const TSerienDatensatz serie = zehnSchuesse();

    for (auto _ : state)
        ausgabe.WriteSeries(serie);

    if (desk.boxes != 0)
        state.SkipWithError("the protocol file could not be written");
    state.counters["file_bytes"] = static_cast<double>(desk.clipboard.size() + 1);
}

void BM_WriteSeriesAppend(benchmark::State& state) {
    writeSeries(state, 0);
}
void BM_WriteSeriesOneRecord(benchmark::State& state) {
    writeSeries(state, 1);
}

} // namespace

BENCHMARK(BM_WriteSeriesAppend)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteSeriesOneRecord)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

namespace {

// The console table of Google Benchmark, plus the median of each benchmark for the figures.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(OO_Tabular) {} // no colour codes in the log
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.aggregate_name == "median")
                medians[run.run_name.function_name] = run.GetAdjustedRealTime(); // microseconds
    }
    std::map<std::string, double> medians;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (const auto it = reporter.medians.find("BM_WriteSeriesAppend"); it != reporter.medians.end())
        bench::below("10-shot series to protocol file, append mode",
                     bench::format("median %.1f us", it->second), it->second, 100, "us");
    if (const auto it = reporter.medians.find("BM_WriteSeriesOneRecord"); it != reporter.medians.end())
        bench::figure("10-shot series to protocol file, one-record mode",
                      bench::format("median %.1f us", it->second), "none", "-");
    return 0;
}
