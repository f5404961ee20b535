#pragma once

// A Disag component wired to a stand-in machine on a pseudo-terminal, with a plain main thread
// that collects the component's events.

#include "PlainMainThread.h"
#include "SimLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::chrono_literals;

template <class Component, class Machine> class DisagBench {
public:
    DisagBench() {
        auto machine = std::make_unique<Machine>();
        m_machine = machine.get();
        std::string error;
        line = SimLine::openPty(std::move(machine), error);
        if (!line)
            throw std::runtime_error(error);
        if (std::getenv("DISAG_SIM_LOG"))
            line->setLog(&std::cerr);
        line->start();
        com.SetPort(line->portName());
        com.OnData = [this](TCustomComPort* sender, std::string text) {
            EXPECT_EQ(sender, &com);
            data.push_back(std::move(text));
        };
        com.OnError = [this](TCustomComPort* sender, std::int32_t code) {
            EXPECT_EQ(sender, &com);
            errors.push_back(code);
        };
    }
    ~DisagBench() {
        com.Close();
        line->stop();
    }

    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        return main.runUntil(done, limit);
    }
    bool runUntilData(std::size_t count, std::chrono::milliseconds limit = 10s) {
        return runUntil([&] { return data.size() >= count; }, limit);
    }
    // Runs something on the machine's thread and waits for it.
    template <class R> R machine(const std::function<R(Machine&, SimWriter&)>& request) {
        R result{};
        EXPECT_TRUE(line->call([&](SimMachine&, SimWriter& out) { result = request(*m_machine, out); }));
        return result;
    }
    void machine(const std::function<void(Machine&, SimWriter&)>& request) {
        EXPECT_TRUE(line->call([&](SimMachine&, SimWriter& out) { request(*m_machine, out); }));
    }
    // Waits until the bytes the program sent satisfy the condition (no main thread needed).
    bool waitSent(const std::function<bool(const std::string&)>& done,
                  std::chrono::milliseconds limit = 10s) {
        return line->waitReceived(done, limit);
    }
    std::size_t sent(char byte) const {
        const std::string bytes = line->received();
        return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), byte));
    }

    PlainMainThread main;
    std::unique_ptr<SimLine> line;
    Component com;
    std::vector<std::string> data;
    std::vector<std::int32_t> errors;

private:
    Machine* m_machine = nullptr;
};
