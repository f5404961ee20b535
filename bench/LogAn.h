#pragma once

// The transmission log is always on in the program, so the benchmarks measure with it on: a
// log of their own in a scratch folder, installed for the whole run. Its line count is printed.
// TREFFLUX_BENCH_LOG=aus leaves it off, to see what it costs.

#include "Figures.h"
#include "ScratchDir.h"
#include "Uebertragungslog.h"

#include <cstdlib>
#include <fstream>
#include <memory>

namespace bench {

class LogAn {
public:
    LogAn() {
        if (const char* an = std::getenv("TREFFLUX_BENCH_LOG"); an && std::string(an) == "aus")
            return;
        Uebertragungslog::Optionen optionen;
        optionen.ordner = m_ordner.path();
        m_log = std::make_shared<Uebertragungslog>(optionen);
        setUebertragungslog(m_log);
    }
    ~LogAn() {
        if (m_log)
            m_log->schreibenAbwarten();
        setUebertragungslog(nullptr);
    }
    LogAn(const LogAn&) = delete;
    LogAn& operator=(const LogAn&) = delete;

    // The lines in the log file so far.
    long zeilen() const {
        if (!m_log)
            return 0;
        m_log->schreibenAbwarten();
        std::ifstream in(m_log->pfad());
        long n = 0;
        for (std::string zeile; std::getline(in, zeile);)
            ++n;
        return n;
    }

private:
    ScratchDir m_ordner{"bench-log"};
    std::shared_ptr<Uebertragungslog> m_log;
};

} // namespace bench
