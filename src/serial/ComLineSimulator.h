#pragma once

// Test seam for the modem status lines (see TCustomComPort::SetLineSimulator).

#include "ComTypes.h"

#include <functional>
#include <mutex>

class TComLineSimulator {
public:
    TComLineSimulator() = default;
    explicit TComLineSimulator(TComSignals initial) : m_signals(initial) {}
    TComLineSimulator(const TComLineSimulator&) = delete;
    TComLineSimulator& operator=(const TComLineSimulator&) = delete;

    // Sets the input lines as a device would; an open port's event thread sees the change.
    void SetSignals(TComSignals lines);
    TComSignals Signals() const;
    // The output lines as the port last set them.
    bool DTR() const;
    bool RTS() const;

private:
    friend class TCustomComPort;
    friend class TComThread;
    using TListener = std::function<void(TComSignals before, TComSignals after)>;
    void setOutputs(bool dtr, bool rts);
    void setListener(TListener listener);

    mutable std::mutex m_mutex;
    TComSignals m_signals{csCTS, csDSR, csRLSD};
    bool m_dtr = false;
    bool m_rts = false;
    TListener m_listener;
};
