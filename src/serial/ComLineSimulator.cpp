#include "ComLineSimulator.h"

void TComLineSimulator::SetSignals(TComSignals lines) {
    std::lock_guard lock(m_mutex);
    const TComSignals before = m_signals;
    m_signals = lines;
    if (m_listener)
        m_listener(before, lines);
}

TComSignals TComLineSimulator::Signals() const {
    std::lock_guard lock(m_mutex);
    return m_signals;
}

bool TComLineSimulator::DTR() const {
    std::lock_guard lock(m_mutex);
    return m_dtr;
}

bool TComLineSimulator::RTS() const {
    std::lock_guard lock(m_mutex);
    return m_rts;
}

void TComLineSimulator::setOutputs(bool dtr, bool rts) {
    std::lock_guard lock(m_mutex);
    m_dtr = dtr;
    m_rts = rts;
}

void TComLineSimulator::setListener(TListener listener) {
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}
