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

    // The lines in the log file so far, and how many entries a full queue dropped, as a figure.
    void figur() const {
        long zeilen = 0, verworfen = 0;
        if (m_log) {
            m_log->schreibenAbwarten();
            std::ifstream in(m_log->pfad());
            for (std::string zeile; std::getline(in, zeile); ++zeilen) {
                const auto bis = zeile.find(" Eintr\xC3\xA4ge verworfen");
                if (bis != std::string::npos)
                    verworfen += std::atol(zeile.c_str() + zeile.rfind(' ', bis - 1) + 1);
            }
        }
        figure("transmission log on during these figures",
               format("%ld lines written, %ld entries dropped", zeilen, verworfen), "-", "-");
    }

private:
    ScratchDir m_ordner{"bench-log"};
    std::shared_ptr<Uebertragungslog> m_log;
};

} // namespace bench
