#pragma once

// A machine component wired to a stand-in machine on a pseudo-terminal, with a plain main
// thread that delivers the component's events into lists.

#include "PlainMainThread.h"
#include "SimLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

template <class Component, class Machine> class MachineBench {
public:
    MachineBench() {
        auto machine = std::make_unique<Machine>();
        m_machine = machine.get();
        std::string error;
        line = SimLine::openPty(std::move(machine), error);
        if (!line)
            throw std::runtime_error(error);
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
        com.OnHinweis = [this](TCustomComPort* sender, std::string text) {
            EXPECT_EQ(sender, &com);
            hinweise.push_back(std::move(text));
        };
    }
    ~MachineBench() {
        com.Close();
        line->stop();
    }

    // Runs the main thread until done() or the time is up.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
        return main.runUntil(done, limit);
    }
    // Runs something on the machine (on its line's thread) and waits for it.
    void machine(const std::function<void(Machine&)>& request) {
        ASSERT_TRUE(line->call([&](SimMachine&, SimWriter&) { request(*m_machine); }));
    }
    template <class T> T ask(const std::function<T(Machine&)>& question) {
        T answer{};
        line->call([&](SimMachine&, SimWriter&) { answer = question(*m_machine); });
        return answer;
    }
    std::size_t sent(char byte) const {
        const std::string bytes = line->received();
        return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), byte));
    }
    bool waitSent(char byte, std::size_t times, std::chrono::milliseconds limit = 5s) {
        return line->waitReceived(
            [&](const std::string& bytes) {
                return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), byte)) >= times;
            },
            limit);
    }

    PlainMainThread main;
    std::unique_ptr<SimLine> line;
    Component com;
    std::vector<std::string> data;
    std::vector<std::int32_t> errors;
    std::vector<std::string> hinweise;

private:
    Machine* m_machine = nullptr;
};
